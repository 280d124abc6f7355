#pragma once

#include "dialogs/tool_dialog.h"

#include <memory>

namespace Ui {
class frmAbout;
}

// frmAbout: the program's title, copyright, licence notice and contacts beside a photograph.
class AboutDialog : public ToolDialog {
    Q_OBJECT

public:
    explicit AboutDialog(QWidget &frmMain);
    ~AboutDialog() override;

    const Ui::frmAbout &form() const { return *ui; }

private:
    std::unique_ptr<Ui::frmAbout> ui;
};
