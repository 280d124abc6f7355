#include "picture/metafile/metafile_common.h"

#include "picture/picture.h"

#include <QIODevice>
#include <QStringDecoder>

#include <cmath>

namespace picture::metafile {

std::optional<QByteArray> readAll(QIODevice &device) {
    QByteArray data;
    while (true) {
        const QByteArray chunk = device.read(1 << 20);
        if (chunk.isEmpty())
            break;
        if (data.size() + chunk.size() > MaxFileBytes)
            return std::nullopt;
        data += chunk;
    }
    return data;
}

qint64 mulDiv(qint64 a, qint64 b, qint64 c) {
    if (c == 0)
        return 0;
    return std::llround(double(a) * double(b) / double(c));
}

QSize clampedSize(double width, double height) {
    if (!std::isfinite(width) || !std::isfinite(height))
        return QSize(1, 1);
    width = std::max(1.0, std::round(std::abs(width)));
    height = std::max(1.0, std::round(std::abs(height)));
    // Keep each side within what QImage can address, and the area within MaxPixels.
    constexpr double MaxSide = 1 << 20;
    double scale = std::min({1.0, MaxSide / width, MaxSide / height});
    if (width * scale * height * scale > double(MaxPixels))
        scale = std::sqrt(double(MaxPixels) / (width * height));
    const auto w = qint64(std::max(1.0, std::floor(width * scale)));
    const auto h = qint64(std::max(1.0, std::floor(height * scale)));
    return QSize(int(w), int(h));
}

QSize rasterSize(QSize natural, QSize visible) {
    if (visible.isEmpty())
        return natural;
    return natural.boundedTo(visible);
}

QSize drawingSize(QSize natural, QSize visible) {
    constexpr int Margin = 128;
    if (visible.isEmpty())
        return natural;
    return natural.boundedTo(visible.boundedTo(natural) + QSize(Margin, Margin));
}

QImage visiblePart(QImage drawing, QSize natural, QSize visible) {
    const QSize part = rasterSize(natural, visible);
    if (drawing.size() == part || drawing.isNull())
        return drawing;
    // The part is the drawing's top-left corner: its rows, seen narrower and fewer, with no
    // copy. A copy would cost as much again in memory first touched as the drawing itself.
    auto *kept = new QImage(std::move(drawing));
    return QImage(
        kept->bits(), part.width(), part.height(), kept->bytesPerLine(), kept->format(),
        [](void *image) { delete static_cast<QImage *>(image); }, kept);
}

namespace {

const char *encodingForCharset(quint8 charset) {
    switch (charset) {
    case 77:
        return "macintosh";
    case 128:
        return "Shift_JIS";
    case 129:
        return "windows-949";
    case 134:
        return "GBK";
    case 136:
        return "Big5";
    case 161:
        return "windows-1253";
    case 162:
        return "windows-1254";
    case 163:
        return "windows-1258";
    case 177:
        return "windows-1255";
    case 178:
        return "windows-1256";
    case 186:
        return "windows-1257";
    case 204:
        return "windows-1251";
    case 222:
        return "windows-874";
    case 238:
        return "windows-1250";
    case 255:
        return "IBM437";
    default:
        return "windows-1252";
    }
}

} // namespace

QString decodeText(QByteArrayView bytes, quint8 charset) {
    // Symbol-set codes stay codes here; the face table knows what they show.
    if (charset == 2)
        return QString::fromLatin1(bytes);
    QStringDecoder decoder(encodingForCharset(charset));
    if (decoder.isValid()) {
        QString text = decoder.decode(bytes);
        if (!decoder.hasError())
            return text;
    }
    return QString::fromLatin1(bytes);
}

} // namespace picture::metafile
