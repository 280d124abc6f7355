#include "fuzz/fuzz_application.h"
#include "picture/metafile/emf_decoder.h"

#include <QBuffer>

// Plays arbitrary bytes as an enhanced metafile onto a small raster.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    startApplication("fuzz_emf");
    QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    picture::emf::read(buffer, QSize(256, 256));
    return 0;
}
