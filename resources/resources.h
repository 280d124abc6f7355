#pragma once

#include <QIcon>
#include <QPixmap>
#include <QStringView>

namespace resources {

// Makes the pictures of the windows (":/glimra.ico" and the rest) available. Call before
// building a window; calling again does nothing.
void load();

// The pictures of the main window's first frame, baked into the program, as QIcon and QPixmap
// would read them from the resources above but without decoding them or searching for image
// plugins.
// The window's icon: every image of glimra.ico.
QIcon windowIcon();
// A picture by its file name in resources/ ("exit.bmp"); null for one not baked.
QPixmap picture(QStringView name);

} // namespace resources
