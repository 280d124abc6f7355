#pragma once

#include <QByteArray>

// What the JPEG suite and its contract row read from a file's markers.
namespace jpeg_test {

// Qt's reader links the same libjpeg-turbo with the same IDCT and upsampling, so colour and
// greyscale pictures come out identical. CMYK may differ by one step: Qt truncates the
// product of ink and black where we round it.
inline int toleranceAgainstQt(int components) {
    return components == 4 ? 1 : 0;
}

// Offset of the frame header's height field (SOF0, SOF1 or SOF2), or -1. Walks the markers,
// so a thumbnail inside an application marker is not taken for the picture.
inline qsizetype frameSizeOffset(const QByteArray &file) {
    qsizetype i = 2;
    while (i + 8 < file.size() && quint8(file[i]) == 0xFF) {
        const auto marker = quint8(file[i + 1]);
        if (marker >= 0xC0 && marker <= 0xC2)
            return i + 5;
        i += 2 + ((quint8(file[i + 2]) << 8) | quint8(file[i + 3]));
    }
    return -1;
}

// Components in the frame header, or 0 when there is none.
inline int componentCount(const QByteArray &file) {
    const qsizetype at = frameSizeOffset(file);
    return at < 0 ? 0 : quint8(file[at + 4]);
}

} // namespace jpeg_test
