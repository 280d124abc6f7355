#include "fuzz/fuzz_application.h"
#include "picture/picture_file.h"

#include <QBuffer>
#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// Any bytes at all come back as a picture or as a reason, never a crash, a hang or a picture
// with a reason.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    startApplication("fuzz_picture_file");
    QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    const picture::LoadResult result = picture::readPicture(buffer);
    if (result.ok() == result.error.isEmpty())
        return 0;
    std::abort();
}
