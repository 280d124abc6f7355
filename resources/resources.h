#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

class QWidget;

namespace resources {

// Makes the pictures of the windows (":/glimra.ico" and the rest) available. Call before
// building a window; calling again does nothing.
void load();

// A picture of the resources (":/exit.bmp") decoded by our own decoders, the same pixels Qt's
// readers give but without their search for image plugins, which costs a window's start-up
// more than the decoding; null if it can't be read.
QPixmap picture(const QString &path);
// Every image of an icon of the resources (":/glimra.ico"), read the same way.
QIcon icon(const QString &path);

// Gives a window built from its form the pictures the form names: the window's `iconFile`
// is its icon, and each control's `pictureFile` its `picture`.
void showPictures(QWidget &window);

} // namespace resources
