// One libFuzzer target per decoder, all built from this source: GLIMRA_FUZZ_DECODER names the
// decoder ("bmp", "gif", …, or "picture_file" for the loading function that picks one). Each
// target feeds arbitrary bytes to its decoder, as a visible part and as the whole picture, and
// checks what every decoder promises: a picture or a reason, never both or neither, and where
// the decoder decodes parts exactly, a part that is the top-left corner of the whole.
#include "fuzz/fuzz_application.h"
#include "picture/bmp_decoder.h"
#include "picture/gif_decoder.h"
#include "picture/jpeg_decoder.h"
#include "picture/metafile/emf_decoder.h"
#include "picture/metafile/wmf_decoder.h"
#include "picture/pcx_decoder.h"
#include "picture/picture_file.h"

#include <QBuffer>
#include <QByteArray>
#include <QtEndian>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

using picture::LoadResult;

constexpr qint64 Unlimited = -1;
constexpr qint64 Never = 0;

struct Target {
    std::string_view name;
    LoadResult (*read)(QIODevice &, QSize);
    // Asked first when set; a decoder that is only handed what it claims returns early otherwise.
    bool (*canRead)(QIODevice &) = nullptr;
    bool onlyWhatItClaims = false;
    // The visible parts decoded, in turn, before the whole picture (an invalid size is none).
    std::array<QSize, 2> parts;
    // The whole picture is decoded too while its size is known to be within this many pixels:
    // under the sanitizers a huge raster takes seconds to clear and may pass the fuzzer's memory
    // limit.
    qint64 wholePixels = Unlimited;
    // The size the format's header states, when that is what the budget is held against;
    // otherwise it is the last part's natural size, when that part decodes.
    qint64 (*statedPixels)(const QByteArray &bytes) = nullptr;
    // A part decodes whenever the whole does, and is then exactly the whole's corner.
    bool exactParts = false;
    // Metafile text needs fonts, and fonts an application object.
    bool application = false;
    // Turns the fuzzer's bytes into the file the decoder is given, where they are only a part of
    // one.
    QByteArray (*wrap)(const QByteArray &bytes) = nullptr;
};

LoadResult readPicture(QIODevice &device, QSize visible) {
    return picture::readPicture(device, visible);
}

qint64 word(const QByteArray &b, int at) {
    return qint64(quint8(b[at]) | quint8(b[at + 1]) << 8);
}

// A GIF's logical screen, which its decoder clears before the first frame.
qint64 gifScreenPixels(const QByteArray &b) {
    return b.size() < 10 ? 0 : word(b, 6) * word(b, 8);
}

// A PCX picture's window, from its corners.
qint64 pcxWindowPixels(const QByteArray &b) {
    return b.size() < 12 ? 0 : (word(b, 8) - word(b, 4) + 1) * (word(b, 10) - word(b, 6) + 1);
}

void append32(QByteArray &out, quint32 value) {
    char b[4];
    qToLittleEndian(value, b);
    out.append(b, 4);
}

// Arbitrary bytes as the EMF+ records of an enhanced metafile: after an EMF+ header, in one
// comment, so that mutations reach the EMF+ player rather than the classic framing. A whole
// enhanced metafile (a corpus file) is played as it is.
QByteArray asEmfPlusMetafile(const QByteArray &input) {
    if (input.size() >= 44 && qFromLittleEndian<quint32>(input.constData()) == 1 &&
        qFromLittleEndian<quint32>(input.constData() + 40) == 0x464D4520)
        return input;
    QByteArray records("EMF+", 4);
    for (quint32 v : {0x00004001u, 28u, 16u, 0xDBC01002u, 1u, 96u, 96u})
        append32(records, v);
    records += input;
    records.append(QByteArray((4 - records.size() % 4) % 4, '\0'));
    QByteArray file;
    for (quint32 v : {1u, 88u, 0u, 0u, 199u, 199u, 0u, 0u, 5292u, 5292u, 0x464D4520u, 0x10000u})
        append32(file, v);
    append32(file, quint32(88 + 12 + records.size() + 20));
    for (quint32 v : {3u, 8u, 0u, 0u, 0u, 960u, 960u, 254u, 254u})
        append32(file, v);
    for (quint32 v : {70u, quint32(12 + records.size()), quint32(records.size())})
        append32(file, v);
    file += records;
    for (quint32 v : {14u, 20u, 0u, 16u, 20u})
        append32(file, v);
    return file;
}

constexpr qint64 ScreenBudget = 4096 * 4096;

constexpr std::string_view Decoder = GLIMRA_FUZZ_DECODER;

const Target &target() {
    static const Target targets[] = {
        {.name = "bmp",
         .read = picture::bmp::read,
         .parts = {QSize(16, 9)},
         .wholePixels = ScreenBudget},
        {.name = "gif",
         .read = picture::gif::read,
         .canRead = picture::gif::canRead,
         .onlyWhatItClaims = true,
         .parts = {QSize(17, 9)},
         .wholePixels = ScreenBudget,
         .statedPixels = gifScreenPixels,
         .exactParts = true},
        // Turned photographs are decoded from a region inside the stored picture: a small part
        // and a screenful.
        {.name = "jpeg",
         .read = picture::jpeg::read,
         .parts = {QSize(37, 19), QSize(1024, 768)},
         .wholePixels = 4'000'000},
        {.name = "pcx",
         .read = picture::pcx::read,
         .canRead = picture::pcx::canRead,
         .parts = {QSize(17, 9)},
         .wholePixels = ScreenBudget,
         .statedPixels = pcxWindowPixels,
         .exactParts = true},
        {.name = "wmf",
         .read = picture::wmf::read,
         .parts = {QSize(256, 256)},
         .wholePixels = Never,
         .application = true},
        {.name = "emf",
         .read = picture::emf::read,
         .parts = {QSize(256, 256)},
         .wholePixels = Never,
         .application = true},
        {.name = "emfplus",
         .read = picture::emf::read,
         .parts = {QSize(256, 256)},
         .wholePixels = Never,
         .application = true,
         .wrap = asEmfPlusMetafile},
        {.name = "picture_file", .read = readPicture, .application = true},
    };
    for (const Target &t : targets)
        if (t.name == Decoder)
            return t;
    std::abort();
}

LoadResult decode(const Target &t, const QByteArray &bytes, QSize visible) {
    QBuffer device;
    device.setData(bytes);
    device.open(QIODevice::ReadOnly);
    if (t.canRead && !t.canRead(device) && t.onlyWhatItClaims)
        return LoadResult::failure(QStringLiteral("not claimed"));
    LoadResult result = t.read(device, visible);
    if (result.ok() != result.error.isEmpty())
        std::abort();
    return result;
}

bool decodeWhole(const Target &t, const QByteArray &bytes, const LoadResult &part) {
    if (t.wholePixels == Unlimited)
        return true;
    if (t.statedPixels)
        return t.statedPixels(bytes) <= t.wholePixels;
    return part.ok() &&
           qint64(part.picture->size.width()) * part.picture->size.height() <= t.wholePixels;
}

bool sameCorner(const picture::Picture &whole, const picture::Picture &part, QSize visible) {
    const QSize expected = whole.size.boundedTo(visible);
    const auto premultiplied = [](const QImage &image) {
        return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    };
    return whole.image.size() == whole.size && part.size == whole.size &&
           part.image.size() == expected &&
           premultiplied(part.image) ==
               premultiplied(whole.image.copy(0, 0, expected.width(), expected.height()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const Target &t = target();
    if (t.application)
        startApplication(t.name.data());
    const QByteArray raw =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const QByteArray bytes = t.wrap ? t.wrap(raw) : raw;
    LoadResult part;
    QSize lastPart;
    for (const QSize visible : t.parts) {
        if (visible.isValid()) {
            part = decode(t, bytes, visible);
            lastPart = visible;
        }
    }
    if (!decodeWhole(t, bytes, part))
        return 0;
    const LoadResult whole = decode(t, bytes, {});
    if (t.exactParts && whole.ok() &&
        (!part.ok() || !sameCorner(*whole.picture, *part.picture, lastPart)))
        std::abort();
    return 0;
}
