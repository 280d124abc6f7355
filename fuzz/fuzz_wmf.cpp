#include "picture/wmf_decoder.h"

#include <QBuffer>
#include <QGuiApplication>

// Plays arbitrary bytes as a Windows metafile onto a small raster.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // Fonts need an application object; no display is needed for drawing into an image.
    static const bool platform =
        qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || qputenv("QT_QPA_PLATFORM", "offscreen");
    Q_UNUSED(platform);
    static int argc = 1;
    static char name[] = "fuzz_wmf";
    static char *argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
    QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    picture::wmf::read(buffer, QSize(256, 256));
    return 0;
}
