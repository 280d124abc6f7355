#include "picture/picture_file.h"

#include "picture/bmp_decoder.h"
#include "picture/gif_decoder.h"
#include "picture/icon_decoder.h"
#include "picture/jpeg_decoder.h"
#include "picture/metafile/emf_decoder.h"
#include "picture/metafile/wmf_decoder.h"
#include "picture/pcx_decoder.h"
#include "picture/picture_errors.h"
#include "picture/qt_image_reader.h"
#include "picture/regular_file.h"

#include <QBuffer>
#include <QFile>

namespace picture {

namespace {

struct Decoder {
    bool (*canRead)(QIODevice &);
    LoadResult (*read)(QIODevice &, QSize);
};

// Tried in order; the first whose signature matches decodes the file.
constexpr Decoder decoders[] = {
    {gif::canRead, gif::read},
    {jpeg::canRead, jpeg::read},
    {icon::canRead, icon::read},
    {pcx::canRead, pcx::read},
    {wmf::canRead, wmf::read},
    {emf::canRead, emf::read},
    // Last: besides "BM" files it takes bitmaps with no file header, known only by their header.
    {bmp::canRead, bmp::read},
};

// The decoders seek; a pipe or socket is read into memory first, never past what a picture of
// MaxPixels could plausibly take.
constexpr qint64 maxStreamBytes = MaxPixels * 4;

} // namespace

LoadResult loadPictureFile(const std::filesystem::path &file, QSize visible) {
    return loadPictureFile({}, file, visible);
}

LoadResult loadPictureFile(const std::filesystem::path &folder, const std::filesystem::path &name,
                           QSize visible) {
    QFile device;
    const QString error = openRegularFile(folder, name, device);
    if (!error.isEmpty())
        return LoadResult::failure(error);
    if (device.size() == 0)
        return LoadResult::failure(errors::empty());
    return readPicture(device, visible);
}

LoadResult readPicture(QIODevice &device, QSize visible) {
    if (device.isSequential()) {
        QByteArray bytes;
        for (QByteArray chunk; !(chunk = device.read(64 * 1024)).isEmpty();) {
            bytes += chunk;
            if (bytes.size() > maxStreamBytes)
                return LoadResult::failure(errors::tooLarge());
        }
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        return readPicture(buffer, visible);
    }
    if (device.atEnd())
        return LoadResult::failure(errors::empty());
    for (const Decoder &decoder : decoders) {
        if (decoder.canRead(device))
            return decoder.read(device, visible);
    }
    return LoadResult::failure(errors::unsupported());
}

} // namespace picture
