// GIF in the decoder contract: inside the first frame every pixel is Qt's; around it the
// picture is see-through.
#include "decoder_contract.h"
#include "picture/gif_decoder.h"
#include "tests/support/image_compare.h"

#include <QBuffer>
#include <QImageReader>
#include <QtEndian>

#include <optional>

namespace {

// The logical screen and the first frame's place on it, as the file states them.
struct Layout {
    QSize screen;
    QRect frame;
};

std::optional<Layout> layoutOf(const QByteArray &file) {
    const auto *p = reinterpret_cast<const uchar *>(file.constData());
    qsizetype at = 13;
    if (file.size() < at)
        return std::nullopt;
    Layout layout{QSize(qFromLittleEndian<quint16>(p + 6), qFromLittleEndian<quint16>(p + 8)), {}};
    if (p[10] & 0x80)
        at += 3 * (2 << (p[10] & 7));
    while (at < file.size() && p[at] == 0x21) {
        at += 2;
        while (at < file.size() && p[at] != 0)
            at += p[at] + 1;
        ++at;
    }
    if (at + 9 > file.size() || p[at] != 0x2C)
        return std::nullopt;
    layout.frame =
        QRect(qFromLittleEndian<quint16>(p + at + 1), qFromLittleEndian<quint16>(p + at + 3),
              qFromLittleEndian<quint16>(p + at + 5), qFromLittleEndian<quint16>(p + at + 7));
    return layout;
}

QString checkGood(const contract::File &file, const picture::LoadResult &ours) {
    QByteArray bytes = file.data;
    QBuffer probe(&bytes);
    probe.open(QIODevice::ReadOnly);
    if (!picture::gif::canRead(probe))
        return QStringLiteral("not a GIF inside");
    const auto layout = layoutOf(bytes);
    if (!layout)
        return QStringLiteral("no frame");
    if (ours.picture->size != layout->screen || ours.picture->image.size() != layout->screen)
        return QStringLiteral("not the size of the logical screen");
    QImageReader reader(&probe, "gif");
    reader.setAllocationLimit(0);
    const QImage qt = reader.read();
    if (qt.isNull())
        return reader.errorString();
    const QRect frame = layout->frame & ours.picture->image.rect();
    const QString why = testkit::compare(ours.picture->image.copy(frame), qt.copy(frame), 0,
                                         testkit::Blend::Premultiplied)
                            .describe();
    if (!why.isEmpty())
        return QStringLiteral("inside the frame: ") + why;
    const QImage actual = ours.picture->image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < actual.height(); ++y)
        for (int x = 0; x < actual.width(); ++x)
            if (!frame.contains(x, y) && actual.pixel(x, y) != 0)
                return QStringLiteral("(%1,%2) around the frame is not see-through").arg(x).arg(y);
    return {};
}

} // namespace

contract::Format contract::gif() {
    Format f("gif", picture::gif::read);
    // Listed as bad, but their first frame, the picture shown, is whole.
    f.keptBad = {
        {"gif/gif-test-suite/plain-text.gif",
         "a whole 40 x 8 frame follows the plain-text block; only the text is left undrawn"},
        {"gif/qtbase/qmovie-corrupt.gif",
         "every block, frame and LZW stream in it is whole; only zero bytes follow the trailer"},
        {"gif/fuzzing-corpus/mozilla/wrong-block-length.gif",
         "its first frame is whole; the wrong length is in a later frame, which is never shown"},
        {"gif/pillow/decompression_bomb_extents.gif",
         "its first frame is whole; the later frame placed 65535 pixels away is off the screen"},
    };
    f.checkGood = checkGood;
    return f;
}
