#pragma once

#include <QByteArrayView>
#include <QColorTransform>
#include <QRgb>

#include <memory>

class QImage;

namespace picture {

// The conversion to sRGB of pixels whose colours are in an ICC profile. A profile Qt can't use
// (a LUT-based, CMYK or greyscale one, or a malformed one), an empty one or one that is sRGB
// already converts nothing: the pixels are then taken as sRGB. Only 32-bit RGB pictures
// (Format_RGB32 and Format_ARGB32) are converted.
//
// Matrix profiles, which cameras and phones write, are converted by tables of our own, built
// once per profile and kept for the next pictures with the same profile: row by row, so a
// decoder can convert rows while they are still in the cache. Others go through Qt's
// transform, over the whole picture.
class SrgbConversion {
public:
    struct Tables;

    explicit SrgbConversion(QByteArrayView profile);

    // Whether the pixels change at all.
    bool converts() const { return m_tables || !m_transform.isIdentity(); }
    // Whether convertRows() works; otherwise only convert() does.
    bool convertsRows() const { return bool(m_tables); }

    void convertRows(QImage &image, int first, int count) const;
    void convert(QImage &image) const;

private:
    std::shared_ptr<const Tables> m_tables;
    QColorTransform m_transform;
};

// Converts `image`, whose colours are in the ICC profile `profile`, to sRGB in place.
void convertToSrgb(QImage &image, QByteArrayView profile);

} // namespace picture
