#include "picture/metafile_fonts.h"
#include "picture/wmf_decoder.h"

#include <QBuffer>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>

#include <cstdlib>

// Plays arbitrary bytes as a Windows metafile onto a small raster.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // Fonts need an application object; no display is needed for drawing into an image.
    static const bool platform =
        qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || qputenv("QT_QPA_PLATFORM", "offscreen");
    Q_UNUSED(platform);
    static int argc = 1;
    static char name[] = "fuzz_wmf";
    static char *argv[] = {name, nullptr};
    static QGuiApplication *app = nullptr;
    if (!app) {
        app = new QGuiApplication(argc, argv);
        // Register the player's fonts and bring the font cache up before the first input, so
        // that neither counts as that input's allocations, and so that at exit the cache is torn
        // down after the application, whose destructor unloads those fonts and reaches for it.
        picture::metafile::loadFaceFiles();
        QFontMetricsF(QFont()).height();
        std::atexit([] { delete app; });
    }
    QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    picture::wmf::read(buffer, QSize(256, 256));
    return 0;
}
