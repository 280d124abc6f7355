#include "viewer/interface_font.h"

#include <QFile>
#include <QFontDatabase>

namespace viewer {

void loadInterfaceFont() {
#if !defined(Q_OS_WIN)
    // Registering the files directly avoids a scan of every installed family at start-up.
    for (const char *file :
         {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"}) {
        if (QFile::exists(QString::fromLatin1(file)))
            QFontDatabase::addApplicationFont(QString::fromLatin1(file));
    }
#endif
}

} // namespace viewer
