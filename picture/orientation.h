#pragma once

#include <QByteArrayView>
#include <QImage>
#include <QRect>
#include <QSize>

// How a camera's picture is turned for showing: the Exif Orientation tag. Values 1 to 8 name
// where the stored rows and columns go; 5 to 8 swap width and height.
namespace picture::orientation {

// The Orientation tag of an APP1 segment's contents (starting "Exif\0\0"), or 1 when the
// segment is no Exif segment, the tag is missing, malformed or out of range. Every offset is
// checked against the segment, so any bytes are safe.
int fromExif(QByteArrayView segment);

// The picture's size as shown.
QSize shownSize(QSize stored, int orientation);

// The rectangle of the stored picture that becomes the shown picture's top-left `part`
// (already bounded by the shown size).
QRect storedRegion(QSize stored, int orientation, QSize part);

// The stored region turned as shown.
QImage apply(QImage region, int orientation);

} // namespace picture::orientation
