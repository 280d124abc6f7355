#pragma once

#include <QByteArrayView>
#include <QImage>

namespace picture {

struct MetafilePalette;

// Bitmaps as metafile records carry them, decoded through the DIB decoder. `usage` 1 means the
// colour table holds indices into the selected palette instead of colours.
namespace metafile_bitmap {

inline constexpr quint32 RgbColors = 0;
inline constexpr quint32 PaletteColors = 1;

// A DIB given as header-and-table plus separate bits (EMF).
QImage decode(QByteArrayView info, QByteArrayView bits, quint32 usage,
              const MetafilePalette &palette);

// A packed DIB: header, table and bits one after another (WMF).
QImage decodePacked(QByteArrayView packed, quint32 usage, const MetafilePalette &palette);

// A 32-bit DIB whose fourth byte is premultiplied alpha, as alpha-blended bitmaps carry it;
// other DIBs decode as opaque.
QImage decodeWithAlpha(QByteArrayView info, QByteArrayView bits);

// The old device-dependent bitmap of the first metafile records (monochrome or true colour).
QImage decodeBitmap16(QByteArrayView bitmap);

} // namespace metafile_bitmap
} // namespace picture
