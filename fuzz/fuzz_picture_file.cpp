#include "picture/picture_file.h"

#include <QBuffer>
#include <QByteArray>
#include <QGuiApplication>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// Any bytes at all come back as a picture or as a reason, never a crash, a hang or a picture
// with a reason.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // Metafile text needs fonts, and fonts an application object; drawing into an image needs
    // no display.
    static const bool platform =
        qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || qputenv("QT_QPA_PLATFORM", "offscreen");
    Q_UNUSED(platform);
    static int argc = 1;
    static char name[] = "fuzz_picture_file";
    static char *argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
    QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    const picture::LoadResult result = picture::readPicture(buffer);
    if (result.ok() == result.error.isEmpty())
        return 0;
    std::abort();
}
