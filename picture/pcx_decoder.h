#pragma once

#include "picture/picture.h"

#include <QSize>
#include <QtGlobal>

class QIODevice;

// PCX pictures: a 128-byte header, run-length coded scanlines of one or more bit planes,
// and for 256 colours a palette at the very end of the file.
namespace picture::pcx {

inline constexpr int HeaderSize = 128;

struct PcxHeader {
    quint8 Manufacturer = 0; // always 0x0A
    quint8 Version = 0;
    quint8 Encoding = 0;                            // 1 run-length coded, 0 stored raw
    quint8 BitsPerPixel = 0;                        // per plane
    quint16 XMin = 0, YMin = 0, XMax = 0, YMax = 0; // inclusive bounds
    quint16 HDpi = 0, VDpi = 0;
    quint8 ColorMap[48] = {}; // 16 RGB entries for pictures of up to 16 colours
    quint8 Reserved = 0;
    quint8 NPlanes = 0;
    quint16 BytesPerLine = 0; // per plane, padding included
    quint16 PaletteInfo = 0;  // 1 colour, 2 greyscale
    quint16 HScreenSize = 0, VScreenSize = 0;

    // Parses the first HeaderSize bytes of `bytes`; a default header if there are fewer.
    static PcxHeader parse(const char *bytes, qsizetype size);

    // The signature bytes name a layout this decoder knows: the file is ours, maybe broken.
    bool isRecognised() const;
    // Recognised, with a non-empty extent and a BytesPerLine that holds a whole row.
    bool isValid() const;

    int width() const;  // 0 when XMax < XMin
    int height() const; // 0 when YMax < YMin
    // Bytes of one plane's row with no padding: the least BytesPerLine may be.
    qint64 minimumBytesPerLine() const;
};

// Peeks at the header only; the device's position does not move.
bool canRead(QIODevice &device);

// Decodes the picture at the device's position. With a non-empty `visible`, decodes only that
// top-left part (the image has that size, clipped to the picture), and stops reading once its
// last row is done; `Picture::size` is always the natural size.
LoadResult read(QIODevice &device, QSize visible = {});

} // namespace picture::pcx
