#include "picture/orientation.h"

#include <QTransform>
#include <QtEndian>

namespace picture::orientation {

namespace {

constexpr quint16 OrientationTag = 0x0112;
constexpr quint16 TypeShort = 3;
constexpr quint16 TypeLong = 4;

// Fields of the TIFF structure inside the segment, in its own byte order; nothing past the end.
class Tiff {
public:
    explicit Tiff(QByteArrayView data)
        : m_data(data)
        , m_bigEndian(data.startsWith("MM")) {}

    bool fits(quint64 offset, quint64 length) const {
        return offset <= quint64(m_data.size()) && length <= quint64(m_data.size()) - offset;
    }
    std::optional<quint16> u16(quint64 offset) const {
        if (!fits(offset, 2))
            return std::nullopt;
        const char *p = m_data.data() + offset;
        return m_bigEndian ? qFromBigEndian<quint16>(p) : qFromLittleEndian<quint16>(p);
    }
    std::optional<quint32> u32(quint64 offset) const {
        if (!fits(offset, 4))
            return std::nullopt;
        const char *p = m_data.data() + offset;
        return m_bigEndian ? qFromBigEndian<quint32>(p) : qFromLittleEndian<quint32>(p);
    }

private:
    QByteArrayView m_data;
    bool m_bigEndian;
};

} // namespace

int fromExif(QByteArrayView segment) {
    static constexpr char Signature[] = {'E', 'x', 'i', 'f', '\0', '\0'};
    if (!segment.startsWith(QByteArrayView(Signature, sizeof Signature)))
        return 1;
    const QByteArrayView data = segment.sliced(sizeof Signature);
    if (!data.startsWith("II*\0") && !data.startsWith(QByteArrayView("MM\0*", 4)))
        return 1;
    const Tiff tiff(data);
    // The first directory: its entry count, then twelve bytes an entry. Only this one holds the
    // tag, so no chain of directories is followed.
    const auto directory = tiff.u32(4);
    if (!directory)
        return 1;
    const auto count = tiff.u16(*directory);
    if (!count)
        return 1;
    for (quint64 i = 0; i < *count; ++i) {
        const quint64 entry = quint64(*directory) + 2 + 12 * i;
        const auto tag = tiff.u16(entry);
        const auto type = tiff.u16(entry + 2);
        const auto values = tiff.u32(entry + 4);
        if (!tag || !type || !values)
            return 1;
        if (*tag != OrientationTag)
            continue;
        // One SHORT, as written; some writers use a LONG. The value sits in the entry itself.
        std::optional<quint32> value;
        if (*values == 1 && *type == TypeShort)
            value = tiff.u16(entry + 8);
        else if (*values == 1 && *type == TypeLong)
            value = tiff.u32(entry + 8);
        return value && *value >= 1 && *value <= 8 ? int(*value) : 1;
    }
    return 1;
}

QSize shownSize(QSize stored, int orientation) {
    return orientation >= 5 ? stored.transposed() : stored;
}

QRect storedRegion(QSize stored, int orientation, QSize part) {
    const int w = stored.width(), h = stored.height();
    // The shown part's width runs along the stored rows for 1 to 4, along the columns for 5 to 8.
    const QSize size = orientation >= 5 ? part.transposed() : part;
    // Whether the shown top-left corner comes from the stored right edge, or the bottom edge.
    bool right = false, bottom = false;
    switch (orientation) {
    case 2: // mirrored left to right
        right = true;
        break;
    case 3: // turned half round
        right = bottom = true;
        break;
    case 4: // mirrored top to bottom
        bottom = true;
        break;
    case 6: // turned a quarter clockwise: the stored bottom-left corner comes to the top left
        bottom = true;
        break;
    case 7: // turned a quarter clockwise and mirrored
        right = bottom = true;
        break;
    case 8: // turned a quarter anticlockwise: the stored top-right corner comes to the top left
        right = true;
        break;
    default: // 1 as stored, 5 mirrored along the main diagonal
        break;
    }
    return QRect(QPoint(right ? w - size.width() : 0, bottom ? h - size.height() : 0), size);
}

QImage apply(QImage region, int orientation) {
    switch (orientation) {
    case 2:
        return std::move(region).mirrored(true, false);
    case 3:
        return std::move(region).mirrored(true, true);
    case 4:
        return std::move(region).mirrored(false, true);
    case 5:
        return region.transformed(QTransform().rotate(90)).mirrored(true, false);
    case 6:
        return region.transformed(QTransform().rotate(90));
    case 7:
        return region.transformed(QTransform().rotate(90)).mirrored(false, true);
    case 8:
        return region.transformed(QTransform().rotate(270));
    default:
        return region;
    }
}

} // namespace picture::orientation
