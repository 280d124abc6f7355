// Feeds arbitrary bytes to the PCX decoder, whole and in part, and checks that a part is the
// top-left corner of the whole whenever both decode.
#include "picture/pcx_decoder.h"

#include <QBuffer>
#include <QByteArray>

#include <cstdint>
#include <cstdlib>

namespace {

picture::LoadResult decode(const QByteArray &bytes, QSize visible) {
    QBuffer device;
    device.setData(bytes);
    device.open(QIODevice::ReadOnly);
    picture::pcx::canRead(device);
    return picture::pcx::read(device, visible);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const picture::LoadResult whole = decode(bytes, {});
    const picture::LoadResult part = decode(bytes, QSize(17, 9));
    if (whole.ok() && part.ok()) {
        const QImage corner =
            whole.picture->image.copy(0, 0, 17, 9).convertToFormat(QImage::Format_ARGB32);
        const QSize expected = whole.picture->size.boundedTo(QSize(17, 9));
        if (part.picture->size != whole.picture->size || part.picture->image.size() != expected ||
            part.picture->image.convertToFormat(QImage::Format_ARGB32) !=
                corner.copy(0, 0, expected.width(), expected.height()))
            std::abort();
    }
    return 0;
}
