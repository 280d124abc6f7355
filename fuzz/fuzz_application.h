#pragma once

#include "picture/metafile/metafile_fonts.h"

#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>

#include <cstdlib>

// Metafile text needs fonts, and fonts an application object; drawing into an image needs no
// display. Call at the start of every input: only the first call does anything.
inline void startApplication(const char *name) {
    static QGuiApplication *app = nullptr;
    if (app)
        return;
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char *argv[] = {const_cast<char *>(name), nullptr};
    app = new QGuiApplication(argc, argv);
    // Register the players' fonts and bring the font cache up before the first input, so that
    // neither counts as that input's allocations, and so that at exit the cache is torn down
    // after the application, whose destructor unloads those fonts and reaches for it.
    picture::metafile::loadFaceFiles();
    QFontMetricsF(QFont()).height();
    std::atexit([] { delete app; });
}
