// Feeds arbitrary bytes to the GIF decoder, whole and in part: a part decodes whenever the whole
// does, and is then the top-left corner of the whole.
#include "picture/gif_decoder.h"

#include <QBuffer>
#include <QByteArray>

#include <cstdint>
#include <cstdlib>

namespace {

picture::LoadResult decode(const QByteArray &bytes, QSize visible) {
    QBuffer device;
    device.setData(bytes);
    device.open(QIODevice::ReadOnly);
    if (!picture::gif::canRead(device))
        return picture::LoadResult::failure(QStringLiteral("not a GIF"));
    return picture::gif::read(device, visible);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const picture::LoadResult part = decode(bytes, QSize(17, 9));
    if (part.ok() != part.error.isEmpty())
        std::abort();
    // A screen of hundreds of megabytes takes seconds to clear under the sanitizers: only its
    // corner is decoded then.
    if (size >= 10 && qint64(data[6] | data[7] << 8) * (data[8] | data[9] << 8) > 4096 * 4096)
        return 0;
    const picture::LoadResult whole = decode(bytes, {});
    if (whole.ok() != whole.error.isEmpty())
        std::abort();
    if (!whole.ok())
        return 0;
    if (!part.ok())
        std::abort();
    const QSize expected = whole.picture->size.boundedTo(QSize(17, 9));
    const QImage corner = whole.picture->image.copy(0, 0, expected.width(), expected.height());
    if (whole.picture->image.size() != whole.picture->size ||
        part.picture->size != whole.picture->size || part.picture->image.size() != expected ||
        part.picture->image.convertToFormat(QImage::Format_ARGB32_Premultiplied) !=
            corner.convertToFormat(QImage::Format_ARGB32_Premultiplied))
        std::abort();
    return 0;
}
