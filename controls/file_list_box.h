#pragma once

#include "controls/list_box.h"

#include <filesystem>

namespace controls {

class FileListModel;

// The file list: the regular, non-hidden files of one folder whose names match the pattern,
// case-insensitively, in the order a file manager shows them.
class FileListBox : public ListBox {
    Q_OBJECT
    Q_PROPERTY(QString pattern READ pattern WRITE setPattern)

public:
    explicit FileListBox(QWidget *parent = nullptr);

    // "*.bmp;*.jpg": patterns separated by ';', blanks around them ignored.
    QString pattern() const;
    void setPattern(const QString &pattern);

    std::filesystem::path path() const;
    // Lists `folder` and clears the selection. False, changing nothing, when it can't be listed.
    bool setPath(const std::filesystem::path &folder);

    // Bare name of the chosen file as the file system holds it; empty when none is chosen.
    std::filesystem::path fileName() const;
    // Chooses the entry of that bare name, as code does: no click(). False when it isn't listed.
    bool choose(const std::filesystem::path &name);

signals:
    // A file was chosen with the mouse (on release) or by a keyboard move.
    void click();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    int chosenRow() const;

    FileListModel *m_model;
    QString m_pattern;
    std::filesystem::path m_path;
    // A left press on an entry that its release will complete as a choice.
    bool m_choosing = false;
};

} // namespace controls
