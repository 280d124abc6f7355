#pragma once

#include "controls/list_box.h"

#include <filesystem>
#include <map>

namespace controls {

class DirListModel;

// The directory list: the open folder's ancestors from its drive's root down, each one step
// deeper, then the open folder's subfolders. A click highlights; a double click or Enter opens.
class DirListBox : public ListBox {
    Q_OBJECT

public:
    explicit DirListBox(QWidget *parent = nullptr);

    // Full path of the open folder.
    std::filesystem::path path() const;
    // Root of the drive the list goes up to: the one the open folder was reached from.
    std::filesystem::path driveRoot() const;
    // Opens `folder` (absolute, or relative to the open folder). Returns false, changing
    // nothing, when it is not a folder that can be listed. Emits change() before it returns
    // when the open folder changes.
    bool setPath(const std::filesystem::path &folder);
    // Opens the folder last open on the drive with this root, else the root itself; false
    // when neither can be listed (unmounted, not ready, no permission).
    bool openDrive(const std::filesystem::path &driveRoot);

signals:
    void change();
    // A folder a person asked to open could not be listed (gone, no permission); the list
    // stays on the open folder.
    void openFailed(const std::filesystem::path &folder);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    bool open(const std::filesystem::path &folder, const std::filesystem::path &driveRoot);
    void openRow(const QModelIndex &index);

    DirListModel *m_model;
    std::filesystem::path m_path;
    std::filesystem::path m_driveRoot;
    // The folder last open on each drive, by the drive's root.
    std::map<std::filesystem::path, std::filesystem::path> m_lastFolder;
};

} // namespace controls
