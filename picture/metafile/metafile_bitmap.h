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
inline constexpr quint32 PaletteIndices = 2; // no colour table at all

// A DIB given as header-and-table plus separate bits (EMF).
QImage decode(QByteArrayView info, QByteArrayView bits, quint32 usage,
              const MetafilePalette &palette);

// A packed DIB: header, table and bits one after another (WMF).
QImage decodePacked(QByteArrayView packed, quint32 usage, const MetafilePalette &palette);

// A 1-bit DIB as a monochrome pattern brush takes it, with or without a colour table: clear bits
// black and set bits white, in Format_Mono, for the brush to colour. Null for other depths.
QImage decodeMonochrome(QByteArrayView info, QByteArrayView bits);

// A packed 1-bit DIB that has no colour table (`usage` says so, or there is no room for one),
// decoded as decodeMonochrome does; null for any other DIB.
QImage decodePackedMonochrome(QByteArrayView packed, quint32 usage);

// A 32-bit DIB whose fourth byte is premultiplied alpha, as alpha-blended bitmaps carry it;
// other DIBs decode as opaque.
QImage decodeWithAlpha(QByteArrayView info, QByteArrayView bits);

// The old device-dependent bitmap of the first metafile records (monochrome or true colour).
QImage decodeBitmap16(QByteArrayView bitmap);

} // namespace metafile_bitmap
} // namespace picture
