#include "picture/qt_image_reader.h"

#include "picture/picture_errors.h"

#include <QBuffer>
#include <QImageReader>

namespace picture {

namespace {

// Qt refuses images above 128 MB by default, which an ordinary 8000 x 6000 photograph already
// exceeds; the limit that matters is MaxPixels at four bytes a pixel.
constexpr int allocationLimitMegabytes = int((MaxPixels * 4) >> 20) + 1;

// The format was recognised before Qt was asked, so Qt turning the file down means it is broken,
// unless Qt has no reader for the format at all.
QString reasonFor(const QImageReader &reader, const QByteArray &qtFormat) {
    switch (reader.error()) {
    case QImageReader::UnsupportedFormatError:
        return QImageReader::supportedImageFormats().contains(qtFormat) ? errors::corrupt()
                                                                        : errors::unsupported();
    case QImageReader::DeviceError:
        return errors::cannotOpen();
    default:
        return errors::corrupt();
    }
}

} // namespace

LoadResult readWithQt(QIODevice &device, const QByteArray &qtFormat, Format format) {
    QImageReader::setAllocationLimit(allocationLimitMegabytes);
    QImageReader reader(&device, qtFormat);
    reader.setAutoDetectImageFormat(false);
    // A picture shows as it is stored: no EXIF rotation.
    reader.setAutoTransform(false);

    // Some readers give a top-down bitmap's height as negative.
    const QSize claimed = reader.size();
    if (qint64(qAbs(claimed.width())) * qAbs(claimed.height()) > MaxPixels)
        return LoadResult::failure(errors::tooLarge());

    QImage image;
    if (!reader.read(&image) || image.isNull())
        return LoadResult::failure(reasonFor(reader, qtFormat));
    if (image.hasAlphaChannel())
        image.convertTo(QImage::Format_ARGB32_Premultiplied);
    const QSize size = image.size();
    return {Picture{std::move(image), size, format}, {}};
}

LoadResult readWithQt(const QByteArray &data, const QByteArray &qtFormat, Format format) {
    QByteArray bytes = data;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return readWithQt(buffer, qtFormat, format);
}

} // namespace picture
