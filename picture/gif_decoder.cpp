#include "picture/gif_decoder.h"

#include "picture/image_allocation.h"
#include "picture/picture_errors.h"

#include <QIODevice>
#include <QRect>

#include <algorithm>
#include <array>
#include <cstring>

namespace picture::gif {

namespace {

constexpr int MaxCodes = 4096;
constexpr qint64 ChunkSize = 64 * 1024;

// Thrown while reading and caught in read(), which turns it into the sentence.
struct Problem {
    QString why;
};

// The device a chunk at a time: the LZW codes are read a byte at a time, and a large file is
// never held whole.
class Input {
public:
    explicit Input(QIODevice &device)
        : m_device(device) {}

    // The next byte, or -1 at the end of the device.
    int next() {
        if (m_position == m_end && !refill())
            return -1;
        return *m_position++;
    }
    quint8 byte() {
        const int value = next();
        if (value < 0)
            throw Problem{errors::truncated()};
        return quint8(value);
    }
    quint16 word() {
        const quint8 low = byte();
        return quint16(low | (byte() << 8));
    }
    void bytes(quint8 *out, int count) {
        for (int i = 0; i < count; ++i)
            out[i] = byte();
    }
    // Up to `count` bytes into `out`; fewer only at the end of the device.
    int read(quint8 *out, int count) {
        int done = 0;
        while (done < count) {
            if (m_position == m_end && !refill())
                break;
            const int step = int(std::min<qint64>(count - done, m_end - m_position));
            std::memcpy(out + done, m_position, size_t(step));
            m_position += step;
            done += step;
        }
        return done;
    }
    void skip(qint64 count) {
        while (count > 0) {
            if (m_position == m_end && !refill())
                throw Problem{errors::truncated()};
            const qint64 step = std::min<qint64>(count, m_end - m_position);
            m_position += step;
            count -= step;
        }
    }
    void skipSubBlocks() {
        while (const quint8 length = byte())
            skip(length);
    }

private:
    bool refill() {
        m_chunk = m_device.read(ChunkSize);
        m_position = reinterpret_cast<const quint8 *>(m_chunk.constData());
        m_end = m_position + m_chunk.size();
        return !m_chunk.isEmpty();
    }

    QIODevice &m_device;
    QByteArray m_chunk;
    const quint8 *m_position = nullptr;
    const quint8 *m_end = nullptr;
};

// The LZW data of one frame as a stream of codes, across its sub-blocks.
class CodeReader {
public:
    explicit CodeReader(Input &in)
        : m_in(in) {}

    enum : int { DataEnd = -1, FileEnd = -2, CutShort = -3 };

    // The next code of `size` bits; DataEnd when the sub-blocks end first, FileEnd when the
    // file ends between two sub-blocks, CutShort when it ends inside one.
    int next(int size) {
        while (m_bitCount < size) {
            if (m_position == m_length) {
                if (const int status = nextBlock(); status < 0)
                    return status;
            }
            m_bits |= quint32(m_block[size_t(m_position++)]) << m_bitCount;
            m_bitCount += 8;
        }
        const int code = int(m_bits & ((1u << size) - 1));
        m_bits >>= size;
        m_bitCount -= size;
        return code;
    }

private:
    int nextBlock() {
        if (m_cut)
            return CutShort;
        const int length = m_in.next();
        if (length <= 0)
            return length < 0 ? FileEnd : DataEnd;
        m_length = m_in.read(m_block.data(), length);
        m_position = 0;
        // The bytes of a block cut short still count; the next code that needs more fails.
        m_cut = m_length < length;
        return m_length > 0 ? 0 : CutShort;
    }

    Input &m_in;
    std::array<quint8, 255> m_block;
    int m_position = 0;
    int m_length = 0;
    bool m_cut = false;
    quint32 m_bits = 0;
    int m_bitCount = 0;
};

// The order a frame's rows come in: top to bottom, or interlaced in four passes (every eighth
// row from 0, every eighth from 4, every fourth from 2, every second from 1).
class RowOrder {
public:
    RowOrder(int height, bool interlaced)
        : m_height(height)
        , m_pass(interlaced ? 0 : 4) {}

    int row() const { return m_row; }
    bool done() const { return m_row >= m_height; }
    void advance() {
        static constexpr int starts[] = {0, 4, 2, 1};
        static constexpr int steps[] = {8, 8, 4, 2, 1};
        m_row += steps[m_pass];
        while (m_row >= m_height && m_pass < 3) {
            ++m_pass;
            m_row = starts[m_pass];
        }
    }

private:
    int m_height;
    int m_pass; // 4: not interlaced
    int m_row = 0;
};

int colourTableSize(quint8 flags) {
    return (flags & 0x80) ? 2 << (flags & 7) : 0;
}

QList<QRgb> readColourTable(Input &in, int entries) {
    QList<QRgb> colours(entries);
    std::array<quint8, 3> rgb;
    for (QRgb &colour : colours) {
        in.bytes(rgb.data(), 3);
        colour = qRgb(rgb[0], rgb[1], rgb[2]);
    }
    return colours;
}

struct Frame {
    QRect rect; // where the frame says it lies, in screen coordinates
    bool interlaced = false;
    QList<QRgb> colours;
    int transparent = -1;
};

// Decodes the first frame's LZW codes into `image` (the top-left part of the screen), writing
// only the pixels that land in it, and stops once the last of its rows has come.
class FrameDecoder {
public:
    FrameDecoder(Input &in, const Frame &frame, QImage &image, QSize screen)
        : m_codes(in)
        , m_frame(frame)
        , m_image(image)
        , m_order(frame.rect.height(), frame.interlaced)
        , m_paletteSize(int(frame.colours.size())) {
        // The frame's columns that land in the image; the rest are decoded and dropped.
        const int left = frame.rect.left();
        m_firstColumn = std::clamp(-left, 0, frame.rect.width());
        m_endColumn = std::clamp(image.width() - left, m_firstColumn, frame.rect.width());
        // Rows that land in the image, and how many of them are still to come. A frame that
        // lies wholly off the screen is decoded all the same, so a broken one is refused; one
        // on the screen but outside the part wanted waits until that part grows.
        const int top = frame.rect.top();
        if (m_endColumn > m_firstColumn)
            m_endRow = std::clamp(image.height() - top, 0, frame.rect.height());
        const bool offScreen = !frame.rect.intersects(QRect(QPoint(0, 0), screen));
        m_countsEveryRow = offScreen;
        m_screenRows = std::clamp(screen.height() - top, 0, frame.rect.height());
        m_rowsLeft = offScreen ? frame.rect.height() : m_endRow;

        for (int i = 0; i < 256; ++i) {
            const QRgb colour = i < frame.colours.size() ? frame.colours[i] : qRgb(0, 0, 0);
            m_lookup[size_t(i)] = i == frame.transparent ? 0 : colour;
        }
        for (int code = 0; code < MaxCodes; ++code)
            m_table[size_t(code)] = {0, 1, quint8(code), quint8(code)};
        m_left = left;
        m_top = top;
        m_width = frame.rect.width();
        m_bits = m_image.bits();
        m_stride = m_image.bytesPerLine();
        enterRow();
    }

    // True when every row the image needs came; false when the data ended before that. Once
    // the whole frame has come, the rest of its data must hold no more pixels.
    bool run(int minCodeSize) {
        const int clear = 1 << minCodeSize;
        const int end = clear + 1;
        int codeSize = minCodeSize + 1;
        int next = clear + 2;
        int previous = -1;
        for (;;) {
            const bool whole = m_order.done();
            if (m_rowsLeft == 0 && !whole)
                return true; // the rows below the part wanted are left undecoded
            const int code = m_codes.next(codeSize);
            if (code == CodeReader::CutShort || (code == CodeReader::FileEnd && !whole))
                throw Problem{errors::truncated()};
            if (code < 0 || code == end)
                return whole;
            if (code == clear) {
                codeSize = minCodeSize + 1;
                next = clear + 2;
                previous = -1;
                continue;
            }
            if (whole)
                throw Problem{errors::corrupt()}; // more pixels than the frame holds
            if (code < clear) {
                if (m_paletteSize > 0 && code >= m_paletteSize)
                    throw Problem{errors::corrupt()};
            } else if (previous < 0 || code > next) {
                throw Problem{errors::corrupt()};
            }
            if (previous >= 0 && next < MaxCodes) {
                // The new string is the previous one and the first colour of this one, which
                // for the code about to be defined is the previous string's own first colour.
                // Where the previous string was written whole, with the pixel after it in the
                // same row, the new one can later be copied from there.
                const bool copyable =
                    m_lastStart && m_lastRow == m_rowPixels && m_column < m_endColumn;
                m_where[size_t(next)] = copyable ? m_lastStart : nullptr;
                const Entry &before = m_table[size_t(previous)];
                m_table[size_t(next)] = {quint16(previous), quint16(before.length + 1),
                                         code == next ? before.first : m_table[size_t(code)].first,
                                         before.first};
                ++next;
                if (next == (1 << codeSize) && codeSize < 12)
                    ++codeSize;
            }
            put(code);
            previous = code;
        }
        return true;
    }

    // Whether a frame whose data ended early is still worth showing: at least half of its
    // rows on the screen came whole. Less than that is a broken file, not a picture.
    bool mostlyGiven() const { return 2 * qint64(m_screenRowsGiven) >= m_screenRows; }

    // Makes the pixels the data never gave see-through: from where it stopped to the end of
    // the frame, in the order the rows would have come.
    void clearRest() {
        m_bits = m_image.bits();
        m_stride = m_image.bytesPerLine();
        bool first = true;
        for (; !m_order.done(); m_order.advance(), first = false) {
            const int y = m_frame.rect.top() + m_order.row();
            if (m_order.row() >= m_endRow || y < 0)
                continue;
            const int from = std::max(m_firstColumn, first ? m_column : 0);
            if (from < m_endColumn)
                std::memset(line(y) + m_frame.rect.left() + from, 0,
                            size_t(m_endColumn - from) * sizeof(QRgb));
        }
    }

private:
    QRgb *line(int y) { return reinterpret_cast<QRgb *>(m_bits + qsizetype(y) * m_stride); }

    // The pixels of one code's string, from the current position on, across rows.
    void put(int code) {
        int length = m_table[size_t(code)].length;
        const int width = m_width;
        m_lastStart = nullptr;
        // Most strings lie within one row: those that show nothing aren't even spelt out.
        if (length <= width - m_column) {
            if (!shows(m_column, m_column + length)) {
                advanceColumns(length);
                return;
            }
            if (m_column >= m_firstColumn && m_column + length <= m_endColumn) {
                // Wholly shown: spelt out backwards straight into the row.
                QRgb *start = m_rowPixels + m_column;
                if (const QRgb *from = length > 1 ? m_where[size_t(code)] : nullptr) {
                    // Copied forwards: a string that ends with its own first pixel overlaps
                    // the pixels it is copied from by that one pixel.
                    for (int i = 0; i < length; ++i)
                        start[i] = from[i];
                } else {
                    QRgb *pixel = start + length;
                    for (int c = code, left = length; left > 0; --left) {
                        const Entry &entry = m_table[size_t(c)];
                        *--pixel = m_lookup[entry.suffix];
                        c = entry.prefix;
                    }
                }
                m_lastStart = start;
                m_lastRow = m_rowPixels;
                advanceColumns(length);
                return;
            }
        }
        quint8 *out = m_string.data() + length;
        for (int c = code; out > m_string.data(); c = m_table[size_t(c)].prefix)
            *--out = m_table[size_t(c)].suffix;
        const quint8 *string = m_string.data();
        while (length > 0) {
            if (m_order.done())
                throw Problem{errors::corrupt()}; // more pixels than the frame holds
            const int count = std::min(length, width - m_column);
            const int from = std::max(m_column, m_firstColumn);
            const int to = std::min(m_column + count, m_endColumn);
            if (from < to && m_rowPixels) {
                const quint8 *indices = string - m_column;
                for (int x = from; x < to; ++x)
                    m_rowPixels[x] = m_lookup[indices[x]];
            }
            string += count;
            length -= count;
            advanceColumns(count);
            if (m_rowsLeft == 0 && !m_order.done())
                return;
        }
    }

    // Where the current row's pixels go, from the frame's left edge; null when it isn't shown.
    void enterRow() {
        m_rowPixels = !m_order.done() && m_order.row() < m_endRow
                          ? line(m_top + m_order.row()) + m_left
                          : nullptr;
    }

    bool shows(int from, int to) const {
        return m_rowPixels && from < m_endColumn && to > m_firstColumn;
    }

    void advanceColumns(int count) {
        if (m_order.done())
            throw Problem{errors::corrupt()}; // more pixels than the frame holds
        m_column += count;
        if (m_column < m_width)
            return;
        // A row is whole.
        if (m_countsEveryRow || m_order.row() < m_endRow)
            --m_rowsLeft;
        if (m_order.row() < m_screenRows)
            ++m_screenRowsGiven;
        m_column = 0;
        m_order.advance();
        enterRow();
    }

    CodeReader m_codes;
    const Frame &m_frame;
    QImage &m_image;
    RowOrder m_order;
    int m_paletteSize;
    int m_left = 0;
    int m_top = 0;
    int m_width = 0;
    QRgb *m_rowPixels = nullptr;
    int m_firstColumn = 0;
    int m_endColumn = 0;
    int m_endRow = 0;
    int m_rowsLeft = 0;
    bool m_countsEveryRow = false;
    int m_screenRows = 0;      // the frame's rows that lie on the screen
    int m_screenRowsGiven = 0; // of those, the rows whose every pixel came
    int m_column = 0;
    uchar *m_bits = nullptr;
    qsizetype m_stride = 0;
    std::array<QRgb, 256> m_lookup;
    // A string: the string one shorter, its last colour and its first.
    struct Entry {
        quint16 prefix;
        quint16 length;
        quint8 suffix;
        quint8 first;
    };
    std::array<Entry, MaxCodes> m_table;
    // Where each string was last written whole within one row of the image, if it was.
    std::array<const QRgb *, MaxCodes> m_where{};
    const QRgb *m_lastStart = nullptr; // the last string written whole, and its row
    const QRgb *m_lastRow = nullptr;
    std::array<quint8, MaxCodes + 1> m_string;
};

// Clears what the frame doesn't cover: there the picture is see-through, as browsers show a
// screen's uncovered background.
void clearOutside(QImage &image, const QRect &frame) {
    const QRect covered = frame & image.rect();
    uchar *bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    if (covered.isEmpty()) {
        std::memset(bits, 0, size_t(image.sizeInBytes()));
        return;
    }
    // The rows above and below the frame in one sweep each, then both sides of its rows.
    std::memset(bits, 0, size_t(stride * covered.top()));
    const qsizetype below = stride * (covered.bottom() + 1);
    std::memset(bits + below, 0, size_t(image.sizeInBytes() - below));
    for (int y = covered.top(); y <= covered.bottom(); ++y) {
        auto *pixels = reinterpret_cast<QRgb *>(bits + stride * y);
        std::memset(pixels, 0, sizeof(QRgb) * size_t(covered.left()));
        std::memset(pixels + covered.right() + 1, 0,
                    sizeof(QRgb) * size_t(image.width() - covered.right() - 1));
    }
}

LoadResult decode(Input &in, QSize visible) {
    in.skip(6); // signature, checked by canRead()
    const int screenWidth = in.word();
    const int screenHeight = in.word();
    const quint8 flags = in.byte();
    in.skip(2);
    if (screenWidth == 0 || screenHeight == 0)
        throw Problem{errors::corrupt()};
    if (qint64(screenWidth) * screenHeight > MaxPixels)
        throw Problem{errors::tooLarge()};
    const QSize screen(screenWidth, screenHeight);
    const QList<QRgb> globalColours = readColourTable(in, colourTableSize(flags));

    // Up to the first frame; later frames are never shown.
    Frame frame;
    for (;;) {
        const quint8 introducer = in.byte();
        if (introducer == 0x21) {
            const quint8 label = in.byte();
            if (label == 0xF9) {
                std::array<quint8, 255> block;
                const quint8 length = in.byte();
                in.bytes(block.data(), length);
                if (length >= 4)
                    frame.transparent = (block[0] & 1) ? block[3] : -1;
                if (length > 0)
                    in.skipSubBlocks();
            } else {
                in.skipSubBlocks();
            }
        } else if (introducer == 0x2C) {
            break;
        } else {
            throw Problem{errors::corrupt()}; // a trailer or junk before any picture
        }
    }
    const int left = in.word();
    const int top = in.word();
    const int width = in.word();
    const int height = in.word();
    const quint8 frameFlags = in.byte();
    if (width == 0 || height == 0)
        throw Problem{errors::corrupt()};
    frame.rect = QRect(left, top, width, height);
    frame.interlaced = frameFlags & 0x40;
    const int localSize = colourTableSize(frameFlags);
    frame.colours = localSize ? readColourTable(in, localSize) : globalColours;
    const int minCodeSize = in.byte();
    if (minCodeSize < 1 || minCodeSize > 11)
        throw Problem{errors::corrupt()};

    // The picture is the screen; a frame may reach past it or lie wholly outside, and only what
    // falls on the screen is kept.
    const QSize size = visible.isEmpty() ? screen : screen.boundedTo(visible);
    const bool covers = frame.rect.contains(QRect(QPoint(0, 0), screen));
    const bool seeThrough = frame.transparent >= 0 || !covers;
    std::optional<QImage> allocated = allocateImage(
        size, seeThrough ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    if (!allocated)
        throw Problem{errors::tooLarge()};
    QImage image = std::move(*allocated);
    if (!covers)
        clearOutside(image, frame.rect);

    FrameDecoder decoder(in, frame, image, screen);
    if (!decoder.run(minCodeSize)) {
        // The data ended early: the pixels it never gave are left see-through.
        if (!decoder.mostlyGiven())
            throw Problem{errors::truncated()};
        if (!image.hasAlphaChannel())
            image.convertTo(QImage::Format_ARGB32_Premultiplied);
        decoder.clearRest();
    }
    return {Picture{std::move(image), screen, Format::Gif}, {}};
}

} // namespace

bool canRead(QIODevice &device) {
    const QByteArray head = device.peek(6);
    return head == "GIF87a" || head == "GIF89a";
}

LoadResult read(QIODevice &device, QSize visible) {
    Input in(device);
    try {
        return decode(in, visible);
    } catch (const Problem &problem) {
        return LoadResult::failure(problem.why);
    }
}

} // namespace picture::gif
