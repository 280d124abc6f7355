#pragma once

#include "dialogs/tool_dialog.h"

#include <memory>
#include <optional>

namespace Ui {
class frmInfo;
}
namespace controls {
class FileListBox;
class ImageBox;
} // namespace controls

// frmInfo: the chosen file's name, folder, format and size, as they are when it opens.
class InfoDialog : public ToolDialog {
    Q_OBJECT

public:
    // Reads the main window's file list and picture while it loads. `chosenIsShown`: the file
    // chosen in the list is the one whose picture is on display, so its size is the picture's.
    InfoDialog(QWidget &frmMain, const controls::FileListBox &boxFile,
               const controls::ImageBox &Pic, bool chosenIsShown);
    ~InfoDialog() override;

    const Ui::frmInfo &form() const { return *ui; }

    // "640 * 480 пиксела" for a picture control of 640 x 480.
    static QString sizeText(float width, float height);
    // The format name the last three characters of a file name give, compared letter case and
    // all; none for names that end otherwise.
    static std::optional<QString> formatName(const QString &fileName);

private:
    void Form_Load(const controls::FileListBox &boxFile, const controls::ImageBox &Pic,
                   bool chosenIsShown);

    std::unique_ptr<Ui::frmInfo> ui;
};
