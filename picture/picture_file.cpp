#include "picture/picture_file.h"

#include "picture/bmp_decoder.h"
#include "picture/gif_decoder.h"
#include "picture/icon_decoder.h"
#include "picture/jpeg_decoder.h"
#include "picture/pcx_decoder.h"
#include "picture/picture_errors.h"
#include "picture/qt_image_reader.h"
#include "picture/regular_file.h"

#include <QBuffer>
#include <QFile>
#include <QtEndian>

namespace picture {

namespace {

// Stand-ins for the formats whose own decoders are not here yet: each recognises its format by
// content, so a file is never mistaken for another kind, and refuses what it can't decode.
namespace pending {

quint16 word(const QByteArray &bytes, int at) {
    return qFromLittleEndian<quint16>(bytes.constData() + at);
}

bool isPlaceableWmf(QIODevice &device) {
    return device.peek(4) == "\xD7\xCD\xC6\x9A";
}

bool isPlainWmf(QIODevice &device) {
    const QByteArray head = device.peek(6);
    if (head.size() < 6)
        return false;
    const int type = word(head, 0);
    const int version = word(head, 4);
    return (type == 1 || type == 2) && word(head, 2) == 9 &&
           (version == 0x0100 || version == 0x0300);
}

bool isEmf(QIODevice &device) {
    const QByteArray head = device.peek(44);
    return head.size() == 44 && qFromLittleEndian<quint32>(head.constData()) == 1 &&
           head.mid(40, 4) == " EMF";
}

LoadResult refuse(QIODevice &, QSize) {
    return LoadResult::failure(errors::unsupported());
}

} // namespace pending

struct Decoder {
    Format format;
    bool (*canRead)(QIODevice &);
    LoadResult (*read)(QIODevice &, QSize);
};

// Tried in order; the first whose signature matches decodes the file.
constexpr Decoder decoders[] = {
    {Format::Gif, gif::canRead, gif::read},
    {Format::Jpeg, jpeg::canRead, jpeg::read},
    {Format::Icon, icon::canRead, icon::read},
    {Format::Pcx, pcx::canRead, pcx::read},
    {Format::Wmf, pending::isPlaceableWmf, pending::refuse},
    {Format::Wmf, pending::isPlainWmf, pending::refuse},
    {Format::Emf, pending::isEmf, pending::refuse},
    // Last: besides "BM" files it takes bitmaps with no file header, known only by their header.
    {Format::Bmp, bmp::canRead, bmp::read},
};

// The decoders seek; a pipe or socket is read into memory first, never past what a picture of
// MaxPixels could plausibly take.
constexpr qint64 maxStreamBytes = MaxPixels * 4;

} // namespace

LoadResult loadPictureFile(const std::filesystem::path &file, QSize visible) {
    QFile device;
    const QString error = openRegularFile(file, device);
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
