#include "dialogs/info_dialog.h"

#include "controls/file_list_box.h"
#include "controls/file_names.h"
#include "controls/image_box.h"
#include "dialogs/number_text.h"
#include "resources/resources.h"

#include "ui_info_dialog.h"

#include <array>

InfoDialog::InfoDialog(QWidget &frmMain, const controls::FileListBox &boxFile,
                       const controls::ImageBox &Pic, bool chosenIsShown)
    : ToolDialog(frmMain)
    , ui(std::make_unique<Ui::frmInfo>()) {
    resources::load();
    ui->setupUi(this);
    finishLoading();
    connect(ui->Image1, &controls::ImageBox::click, this, &ToolDialog::Image1_Click);
    Form_Load(boxFile, Pic, chosenIsShown);
}

InfoDialog::~InfoDialog() = default;

void InfoDialog::Form_Load(const controls::FileListBox &boxFile, const controls::ImageBox &Pic,
                           bool chosenIsShown) {
    ui->txtName->setText(controls::displayName(boxFile.fileName()));
    if (ui->txtName->text().isEmpty())
        return;
    // The folder the chosen file is in: the file list's, which is the directory list's unless
    // the file list could not follow it there.
    ui->txtFolder->setText(controls::displayName(boxFile.path()));
    // After a failed load the picture on display is another file's; its size is not this one's.
    // The picture's own pixels are counted, also where the screen is scaled and the control is
    // smaller.
    if (chosenIsShown) {
        const QSize size = Pic.naturalSize().isValid() ? Pic.naturalSize() : Pic.size();
        ui->txtSize->setText(sizeText(float(size.width()), float(size.height())));
    }
    if (const auto name = formatName(ui->txtName->text()))
        ui->txtFormat->setText(*name);
    // A text longer than its field shows its start, cut off at the field's right edge.
    for (QLineEdit *field : {ui->txtName, ui->txtFolder, ui->txtFormat, ui->txtSize})
        field->setCursorPosition(0);
}

QString InfoDialog::sizeText(float width, float height) {
    // The width loses its leading blank; the height keeps it, and that blank is the one after
    // the star.
    const QString w = dialogs::numberText(width);
    return w.right(w.size() - 1) + QStringLiteral(" *") + dialogs::numberText(height) +
           QStringLiteral(" пиксела");
}

std::optional<QString> InfoDialog::formatName(const QString &fileName) {
    struct Entry {
        const char16_t *ending;
        const char16_t *name;
    };
    static constexpr std::array<Entry, 20> table{{
        {u"JPG", u"JPEG изображение"},
        {u"jpg", u"JPEG изображение"},
        {u"JPE", u"JPEG изображение"},
        {u"jpe", u"JPEG изображение"},
        {u"BMP", u"Bitmap изображение"},
        {u"bmp", u"Bitmap изображение"},
        {u"DIB", u"Bitmap изображение"},
        {u"dib", u"Bitmap изображение"},
        {u"PCX", u"Bitmap изображение"},
        {u"pcx", u"Bitmap изображение"},
        {u"WMF", u"Windows Meta файл"},
        {u"wmf", u"Windows Meta файл"},
        {u"EMF", u"Enchanced Meta файл"},
        {u"emf", u"Enchanced Meta файл"},
        {u"ICO", u"Икона"},
        {u"ico", u"Икона"},
        {u"CUR", u"Курсор"},
        {u"cur", u"Курсор"},
        {u"GIF", u"GIF изображение"},
        {u"gif", u"GIF изображение"},
    }};
    const QString ending = fileName.right(3);
    for (const Entry &entry : table) {
        if (ending == QStringView(entry.ending))
            return QString::fromUtf16(entry.name);
    }
    return std::nullopt;
}
