#include "dialogs/about_dialog.h"

#include "resources/resources.h"

#include "ui_about_dialog.h"

AboutDialog::AboutDialog(QWidget &frmMain)
    : ToolDialog(frmMain)
    , ui(std::make_unique<Ui::frmAbout>()) {
    resources::load();
    ui->setupUi(this);
    finishLoading();
    connect(ui->Image1, &controls::ImageBox::click, this, &ToolDialog::Image1_Click);
}

AboutDialog::~AboutDialog() = default;
