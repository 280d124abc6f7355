#include "picture/bmp_decoder.h"

#include <QBuffer>

#include <cstddef>
#include <cstdint>

// Whole and partial decodes of arbitrary bytes: either may fail, neither may misbehave.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const QSize visible : {QSize(), QSize(16, 9)}) {
        QBuffer buffer;
        buffer.setData(bytes);
        buffer.open(QIODevice::ReadOnly);
        picture::bmp::read(buffer, visible);
    }
    return 0;
}
