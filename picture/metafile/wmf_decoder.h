#pragma once

#include "picture/picture.h"

#include <QSize>

class QIODevice;

// Windows metafiles, with or without the placeable header in front.
namespace picture::wmf {

struct WmfPlaceableHeader {
    quint32 Key = 0;
    quint16 Hmf = 0;
    qint16 Left = 0, Top = 0, Right = 0, Bottom = 0;
    quint16 Inch = 0;
    quint32 Reserved = 0;
    quint16 Checksum = 0;

    static constexpr quint32 Signature = 0x9AC6CDD7;
    static constexpr int ByteSize = 22;
    bool isValid() const { return Key == Signature; }
};

struct WmfHeader {
    quint16 Type = 0, HeaderSize = 0, Version = 0;
    quint32 Size = 0;
    quint16 NumberOfObjects = 0;
    quint32 MaxRecord = 0;
    quint16 NumberOfMembers = 0;

    static constexpr int ByteSize = 18;
    bool isValid() const { return (Type == 1 || Type == 2) && HeaderSize == 9; }
};

// The picture size a placeable header gives, in pixels at 96 per inch.
QSize placeableSize(const WmfPlaceableHeader &header);

// Looks at the first bytes only; the device is left where it was.
bool canRead(QIODevice &device);

// Plays the metafile. With `visible` set, only the top-left part of that size is drawn (same
// scale); the natural size is reported either way.
LoadResult read(QIODevice &device, QSize visible = {});

} // namespace picture::wmf
