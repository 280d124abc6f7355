#include "picture/jpeg_decoder.h"

#include <QBuffer>
#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    QBuffer buffer;
    buffer.setData(QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)));
    buffer.open(QIODevice::ReadOnly);
    // A small part too: turned pictures are decoded from a region inside the stored one.
    picture::jpeg::read(buffer, QSize(37, 19));
    buffer.seek(0);
    const picture::LoadResult part = picture::jpeg::read(buffer, QSize(1024, 768));
    // The whole picture as well while its pixels stay within the fuzzer's memory budget.
    if (part.ok() &&
        qint64(part.picture->size.width()) * part.picture->size.height() <= 4'000'000) {
        buffer.seek(0);
        picture::jpeg::read(buffer);
    }
    return 0;
}
