#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <filesystem>
#include <optional>

class QIODevice;

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

// Loads a picture file, recognising its format by content, not by name. Relative names resolve
// against the current working directory. Never blocks on anything but a regular file.
// A valid `visible` size asks for the picture's top-left part of that size only (all that a
// window can show of it): `Picture::size` is still the natural size, `Picture::image` may be
// smaller. An empty `visible` asks for the whole picture.
LoadResult loadPictureFile(const std::filesystem::path &file, QSize visible = {});
// The same for the file `name` within `folder`, however long the two make the full path.
LoadResult loadPictureFile(const std::filesystem::path &folder, const std::filesystem::path &name,
                           QSize visible = {});

// Decodes a picture from an open, readable device (a file or a buffer).
LoadResult readPicture(QIODevice &device, QSize visible = {});

} // namespace picture
