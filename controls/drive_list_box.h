#pragma once

#include <QComboBox>

#include <filesystem>
#include <vector>

namespace controls {

// A drive a person can browse: on Linux a mounted file system, on Windows a drive letter.
struct Drive {
    std::filesystem::path root; // mount folder, or "C:\"
    QString label;              // volume label, may be empty
};

// The drives of this machine, in the order a person expects them.
std::vector<Drive> systemDrives();

// The drive that holds `path`: the one with the longest root that contains it.
const Drive *driveOf(const std::vector<Drive> &drives, const std::filesystem::path &path);

// The drive list: one entry per drive, shown by its root and label. Empty until the first
// setDrive() or setDrives().
class DriveListBox : public QComboBox {
    Q_OBJECT
    // Points, fractions too; the rest of the font is the parent's.
    Q_PROPERTY(qreal fontSize READ fontSize WRITE setFontSize)

public:
    explicit DriveListBox(QWidget *parent = nullptr);

    qreal fontSize() const;
    void setFontSize(qreal points);

    // Root of the drive on display.
    std::filesystem::path drive() const;
    // Shows the drive that holds `path`, re-reading the drives. Emits change() before it
    // returns when the drive on display changes.
    void setDrive(const std::filesystem::path &path);

    // Replaces the machine's drives (tests use made-up ones).
    void setDrives(std::vector<Drive> drives);
    const std::vector<Drive> &drives() const;

    void showPopup() override;

signals:
    // The drive changed, by the user or by setDrive().
    void change();

protected:
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void fillList();
    void showDrive(const std::filesystem::path &root);
    void onCurrentIndexChanged(int index);

    std::vector<Drive> m_drives;
    std::filesystem::path m_drive;
    bool m_drivesGiven = false;
    bool m_updating = false;
    bool m_shownBefore = false;
    // A change of font before the box was first shown, which its drop-down has yet to follow.
    bool m_popupFontPending = false;
};

} // namespace controls
