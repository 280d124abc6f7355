#include "dialogs/info_dialog.h"

#include "controls/dir_list_box.h"
#include "controls/file_list_box.h"
#include "controls/file_names.h"
#include "controls/image_box.h"
#include "dialogs/number_text.h"
#include "resources/resources.h"

#include "ui_info_dialog.h"

#include <array>

InfoDialog::InfoDialog(QWidget &frmMain, const controls::FileListBox &boxFile,
                       const controls::DirListBox &boxDir, const controls::ImageBox &Pic)
    : ToolDialog(frmMain)
    , ui(std::make_unique<Ui::frmInfo>()) {
    resources::load();
    ui->setupUi(this);
    finishLoading();
    connect(ui->Image1, &controls::ImageBox::click, this, &ToolDialog::Image1_Click);
    Form_Load(boxFile, boxDir, Pic);
}

InfoDialog::~InfoDialog() = default;

void InfoDialog::Form_Load(const controls::FileListBox &boxFile, const controls::DirListBox &boxDir,
                           const controls::ImageBox &Pic) {
    ui->txtName->setText(controls::displayName(boxFile.fileName()));
    if (ui->txtName->text().isEmpty())
        return;
    ui->txtFolder->setText(controls::displayName(boxDir.path()));
    // The picture's own pixels, also where the screen is scaled and the control is smaller.
    const QSize size = Pic.naturalSize().isValid() ? Pic.naturalSize() : Pic.size();
    ui->txtSize->setText(sizeText(float(size.width()), float(size.height())));
    if (const auto name = formatName(ui->txtName->text()))
        ui->txtFormat->setText(*name);
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
