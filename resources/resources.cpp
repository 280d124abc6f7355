#include "resources/resources.h"

#include "picture/bmp_decoder.h"
#include "picture/picture_file.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QWidget>
#include <QtEndian>

// Q_INIT_RESOURCE must stand outside any namespace.
static void initResources() {
    Q_INIT_RESOURCE(resources);
}

namespace resources {

namespace {

// One image of an icon: a bitmap twice its height (the colours, then a one-bit mask). Colours
// with alpha keep it; the mask makes the others' pixels transparent.
QImage iconImage(QByteArrayView entry) {
    const auto header = picture::bmp::BitmapInfoHeader::parse(entry);
    if (!header || header->biSize != 40)
        return {};
    const int width = header->biWidth;
    const int height = header->biHeight / 2;
    const int depth = header->biBitCount;
    const qint64 used = header->biClrUsed;
    const qint64 colours = depth <= 8 ? (used ? used : 1 << depth) : 0;
    const qint64 infoSize = header->biSize + 4 * colours;
    const qint64 colourStride = (qint64(width) * depth + 31) / 32 * 4;
    const qint64 maskStride = (qint64(width) + 31) / 32 * 4;
    if (width <= 0 || height <= 0 || depth == 0 ||
        entry.size() < infoSize + (colourStride + maskStride) * height)
        return {};
    QByteArray info = entry.first(infoSize).toByteArray();
    qToLittleEndian<qint32>(height, info.data() + 8);
    qToLittleEndian<quint32>(0, info.data() + 20); // biSizeImage: the colours alone now
    QByteArray bits = entry.sliced(infoSize, colourStride * height).toByteArray();
    QBuffer buffer(&bits);
    buffer.open(QIODevice::ReadOnly);
    const picture::LoadResult colour = picture::bmp::readDib(info, buffer);
    if (!colour.ok())
        return {};
    QImage image = colour.picture->image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (depth == 32)
        return image;
    const char *mask = entry.data() + infoSize + colourStride * height;
    for (int y = 0; y < height; ++y) {
        const auto *row = reinterpret_cast<const uchar *>(mask + (height - 1 - y) * maskStride);
        auto *pixels = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            if (row[x / 8] & (0x80 >> (x % 8)))
                pixels[x] = 0;
        }
    }
    return image;
}

} // namespace

void load() {
    static const bool loaded = (initResources(), true);
    (void)loaded;
}

QPixmap picture(const QString &path) {
    load();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const picture::LoadResult result = picture::readPicture(file);
    return result.ok() ? QPixmap::fromImage(result.picture->image) : QPixmap();
}

QIcon icon(const QString &path) {
    load();
    QFile source(path);
    const QByteArray file = source.open(QIODevice::ReadOnly) ? source.readAll() : QByteArray();
    QIcon icon;
    constexpr int DirectorySize = 6, EntrySize = 16;
    const int count =
        file.size() >= DirectorySize ? qFromLittleEndian<quint16>(file.data() + 4) : 0;
    for (int i = 0; i < count && DirectorySize + (i + 1) * EntrySize <= file.size(); ++i) {
        const char *entry = file.constData() + DirectorySize + i * EntrySize;
        const quint32 size = qFromLittleEndian<quint32>(entry + 8);
        const quint32 offset = qFromLittleEndian<quint32>(entry + 12);
        if (offset > quint32(file.size()) || size > file.size() - offset)
            continue;
        const QImage image = iconImage(QByteArrayView(file).sliced(offset, size));
        if (!image.isNull())
            icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

void showPictures(QWidget &window) {
    const QString iconFile = window.property("iconFile").toString();
    if (!iconFile.isEmpty())
        window.setWindowIcon(icon(iconFile));
    for (QWidget *control : window.findChildren<QWidget *>()) {
        const QString file = control->property("pictureFile").toString();
        if (!file.isEmpty())
            control->setProperty("picture", picture(file));
    }
}

} // namespace resources
