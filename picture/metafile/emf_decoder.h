#pragma once

#include "picture/picture.h"

#include <QRect>
#include <QSize>
#include <QString>

class QIODevice;

// Enhanced metafiles. Files that carry EMF+ records are drawn from those (emfplus_player.h), the
// classic records only where a GetDC record hands over to them, or where the EMF+ records draw
// nothing.
namespace picture::emf {

struct EmfHeader {
    QRect rclBounds; // device pixels, inclusive
    QRect rclFrame;  // 0.01 mm, inclusive
    quint32 dSignature = 0;
    quint32 nVersion = 0;
    quint32 nBytes = 0;
    quint32 nRecords = 0;
    quint16 nHandles = 0;
    quint16 sReserved = 0;
    quint32 nDescription = 0;
    quint32 offDescription = 0;
    quint32 nPalEntries = 0;
    QSize szlDevice;
    QSize szlMillimeters;

    static constexpr quint32 Signature = 0x464D4520; // " EMF"
    static constexpr int ByteSize = 88;
    bool isValid() const { return dSignature == Signature; }
};

// The picture size the header gives: the frame at 96 pixels per inch, or the bounds when the
// frame is degenerate.
QSize naturalSize(const EmfHeader &header);

// Looks at the first bytes only; the device is left where it was.
bool canRead(QIODevice &device);

// Plays the metafile. With `visible` set, only the top-left part of that size is drawn (same
// scale); the natural size is reported either way.
LoadResult read(QIODevice &device, QSize visible = {});

} // namespace picture::emf
