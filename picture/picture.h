#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <optional>

// What every decoder gives back: the types alone, so that decoders need not know the loader.
namespace picture {

enum class Format { Bmp, Gif, Jpeg, Icon, Cursor, Pcx, Wmf, Emf };

// The most pixels one picture may have. Every real photograph fits (16384 x 16384); a header
// that claims more is refused before anything is allocated.
inline constexpr qint64 MaxPixels = qint64(16384) * 16384;

// A decoded picture: its natural size and the pixels decoded for it.
struct Picture {
    QImage image; // transparent where the picture is see-through
    QSize size;   // natural size in pixels
    Format format = Format::Bmp;
};

// Either a picture or a short Bulgarian sentence that tells a person why there is none.
struct LoadResult {
    std::optional<Picture> picture;
    QString error;

    bool ok() const { return picture.has_value(); }
    static LoadResult failure(const QString &why) { return {std::nullopt, why}; }
};

} // namespace picture
