#include "fuzz/fuzz_application.h"
#include "picture/metafile/wmf_decoder.h"

#include <QBuffer>

// Plays arbitrary bytes as a Windows metafile onto a small raster.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    startApplication("fuzz_wmf");
    QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    picture::wmf::read(buffer, QSize(256, 256));
    return 0;
}
