#include "tools/picture_writers.h"

#include <QImage>

#include <algorithm>
#include <array>
#include <limits>
#include <map>
#include <utility>
#include <vector>

namespace writers {

namespace {

void putU8(QByteArray &out, int value) {
    out.append(char(value & 0xFF));
}

void putU16(QByteArray &out, quint32 value) {
    putU8(out, int(value));
    putU8(out, int(value >> 8));
}

void putU32(QByteArray &out, quint32 value) {
    putU16(out, value & 0xFFFF);
    putU16(out, value >> 16);
}

// Green weighs most, blue least: roughly how strongly the eye tells the channels apart.
constexpr std::array<qint64, 3> ChannelWeight{2, 4, 3};

int channel(QRgb colour, int c) {
    return c == 0 ? qRed(colour) : c == 1 ? qGreen(colour) : qBlue(colour);
}

qint64 distance(QRgb a, QRgb b) {
    qint64 sum = 0;
    for (int c = 0; c < 3; ++c) {
        const qint64 d = channel(a, c) - channel(b, c);
        sum += ChannelWeight[c] * d * d;
    }
    return sum;
}

struct Bin {
    QRgb colour;
    qint64 count;
};

struct Box {
    qsizetype begin;
    qsizetype end;
};

// Weighted sums of a run of bins, for its mean and its spread along each channel.
struct Moments {
    qint64 count = 0;
    std::array<qint64, 3> sum{};
    std::array<qint64, 3> squares{};

    Moments(const std::vector<Bin> &bins, Box box) {
        for (qsizetype i = box.begin; i < box.end; ++i) {
            count += bins[i].count;
            for (int c = 0; c < 3; ++c) {
                const qint64 v = channel(bins[i].colour, c);
                sum[c] += bins[i].count * v;
                squares[c] += bins[i].count * v * v;
            }
        }
    }
    // Sum of squared deviations along one channel, times the count (kept in integers).
    qint64 spread(int c) const { return count * squares[c] - sum[c] * sum[c]; }
    QRgb mean() const {
        std::array<int, 3> m{};
        for (int c = 0; c < 3; ++c)
            m[c] = int((2 * sum[c] + count) / (2 * count));
        return qRgb(m[0], m[1], m[2]);
    }
};

// The channel along which a box is widest, weighted, and that width (0: one colour only).
std::pair<int, double> widestChannel(const std::vector<Bin> &bins, Box box) {
    if (box.end - box.begin < 2)
        return {0, 0.0};
    const Moments m(bins, box);
    int best = 0;
    double bestSpread = -1.0;
    for (int c = 0; c < 3; ++c) {
        const double s = double(ChannelWeight[c]) * double(m.spread(c)) / double(m.count);
        if (s > bestSpread) {
            best = c;
            bestSpread = s;
        }
    }
    return {best, bestSpread};
}

} // namespace

QList<QRgb> quantise(const QList<QRgb> &pixels, int maxColours) {
    std::map<QRgb, qint64> histogram;
    for (QRgb p : pixels)
        ++histogram[p | 0xFF000000u];
    std::vector<Bin> bins;
    bins.reserve(histogram.size());
    for (const auto &[colour, count] : histogram)
        bins.push_back({colour, count});
    if (qsizetype(bins.size()) <= maxColours) {
        QList<QRgb> all;
        for (const Bin &b : bins)
            all.append(b.colour);
        return all;
    }

    std::vector<Box> boxes{{0, qsizetype(bins.size())}};
    while (qsizetype(boxes.size()) < maxColours) {
        qsizetype chosen = -1;
        int axis = 0;
        double widest = 0.0;
        for (qsizetype i = 0; i < qsizetype(boxes.size()); ++i) {
            const auto [c, spread] = widestChannel(bins, boxes[i]);
            if (spread > widest) {
                chosen = i;
                axis = c;
                widest = spread;
            }
        }
        if (chosen < 0)
            break;
        const Box box = boxes[chosen];
        // A total order, so the split does not depend on the sort's algorithm.
        std::sort(bins.begin() + box.begin, bins.begin() + box.end,
                  [axis](const Bin &a, const Bin &b) {
                      const int va = channel(a.colour, axis), vb = channel(b.colour, axis);
                      return va != vb ? va < vb : a.colour < b.colour;
                  });
        const qint64 half = Moments(bins, box).count / 2;
        qint64 seen = 0;
        qsizetype split = box.begin + 1;
        for (qsizetype i = box.begin; i < box.end - 1; ++i) {
            seen += bins[i].count;
            split = i + 1;
            if (seen >= half)
                break;
        }
        boxes[chosen] = {box.begin, split};
        boxes.push_back({split, box.end});
    }

    QList<QRgb> palette;
    for (const Box &box : boxes)
        palette.append(Moments(bins, box).mean());

    // Median cut places the means well but not best; a few rounds of moving each entry to the
    // mean of the colours nearest to it lowers the error noticeably on smooth gradients.
    for (int round = 0; round < 6; ++round) {
        std::vector<qint64> count(palette.size());
        std::vector<std::array<qint64, 3>> sum(palette.size());
        for (const Bin &b : bins) {
            const int i = nearestIndex(palette, b.colour);
            count[i] += b.count;
            for (int c = 0; c < 3; ++c)
                sum[i][c] += b.count * channel(b.colour, c);
        }
        for (qsizetype i = 0; i < palette.size(); ++i) {
            if (count[i] == 0)
                continue;
            std::array<int, 3> m{};
            for (int c = 0; c < 3; ++c)
                m[c] = int((2 * sum[i][c] + count[i]) / (2 * count[i]));
            palette[i] = qRgb(m[0], m[1], m[2]);
        }
    }
    return palette;
}

int nearestIndex(const QList<QRgb> &palette, QRgb colour) {
    int best = 0;
    qint64 bestDistance = std::numeric_limits<qint64>::max();
    for (qsizetype i = 0; i < palette.size(); ++i) {
        const qint64 d = distance(palette[i], colour);
        if (d < bestDistance) {
            best = int(i);
            bestDistance = d;
        }
    }
    return best;
}

namespace {

// Maps opaque colours to a quantised palette placed in the 256 entries around one reserved
// index (none when negative); `reservedColour` fills the reserved entry.
class PaletteMapper {
public:
    PaletteMapper(const QList<QRgb> &colours, int reserved, QRgb reservedColour)
        : m_colours(quantise(colours, reserved >= 0 ? 255 : 256)) {
        m_palette.fill(qRgb(0, 0, 0), 256);
        if (reserved >= 0)
            m_palette[reserved] = reservedColour;
        int slot = 0;
        for (QRgb c : m_colours) {
            if (slot == reserved)
                ++slot;
            m_slots.append(slot);
            m_palette[slot++] = c;
        }
    }
    const QList<QRgb> &palette() const { return m_palette; }
    int indexOf(QRgb colour) {
        const auto known = m_cache.find(colour);
        if (known != m_cache.end())
            return known->second;
        const int index = m_slots[nearestIndex(m_colours, colour)];
        m_cache.emplace(colour, index);
        return index;
    }

private:
    QList<QRgb> m_colours;
    QList<int> m_slots;
    QList<QRgb> m_palette;
    std::map<QRgb, int> m_cache;
};

QRgb overPanel(QRgb pixel, QRgb panel) {
    const int a = qAlpha(pixel);
    auto mix = [a](int over, int under) {
        return (over * a + under * (255 - a) + 127) / 255;
    };
    return qRgb(mix(qRed(pixel), qRed(panel)), mix(qGreen(pixel), qGreen(panel)),
                mix(qBlue(pixel), qBlue(panel)));
}

// The icon's single transparency bit: what covers at least half the pixel shows.
bool iconShows(QRgb pixel) {
    return qAlpha(pixel) >= 128;
}

QByteArray andMask(const QImage &image) {
    const int stride = ((image.width() + 31) / 32) * 4;
    QByteArray mask;
    for (int y = image.height() - 1; y >= 0; --y) {
        QByteArray row(stride, '\0');
        for (int x = 0; x < image.width(); ++x) {
            if (!iconShows(image.pixel(x, y)))
                row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
        }
        mask += row;
    }
    return mask;
}

QByteArray infoHeader(int width, int height, int bitCount, quint32 imageBytes) {
    QByteArray out;
    putU32(out, 40);
    putU32(out, quint32(width));
    putU32(out, quint32(height));
    putU16(out, 1);
    putU16(out, quint32(bitCount));
    putU32(out, 0); // BI_RGB
    putU32(out, imageBytes);
    putU32(out, 0);
    putU32(out, 0);
    putU32(out, 0);
    putU32(out, 0);
    return out;
}

} // namespace

IndexedPicture toPanelIndexed(const QImage &image, QRgb panel, int transparentIndex) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    if (transparentIndex > 255)
        transparentIndex = -1;
    auto transparent = [transparentIndex](QRgb p) {
        return transparentIndex >= 0 && qAlpha(p) == 0;
    };
    QList<QRgb> shown;
    for (int y = 0; y < argb.height(); ++y)
        for (int x = 0; x < argb.width(); ++x)
            if (!transparent(argb.pixel(x, y)))
                shown.append(overPanel(argb.pixel(x, y), panel));
    PaletteMapper mapper(shown, transparentIndex, panel);

    IndexedPicture picture;
    picture.width = argb.width();
    picture.height = argb.height();
    picture.transparentIndex = transparentIndex;
    picture.indices.reserve(qsizetype(argb.width()) * argb.height());
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x) {
            const QRgb p = argb.pixel(x, y);
            picture.indices.append(
                char(transparent(p) ? transparentIndex : mapper.indexOf(overPanel(p, panel))));
        }
    }
    picture.palette = mapper.palette();
    return picture;
}

QByteArray gifLzw(const QByteArray &indices, int minCodeSize) {
    const int clearCode = 1 << minCodeSize;
    const int endCode = clearCode + 1;
    constexpr int MaxCodes = 4096;

    QByteArray out;
    quint32 bits = 0;
    int bitCount = 0;
    int codeSize = minCodeSize + 1;
    int nextCode = endCode + 1;
    // next[prefix * 256 + symbol]: the code for prefix followed by symbol, 0 when none yet
    // (0 can never be such a code: extended strings start after the end code).
    std::vector<quint16> next(size_t(MaxCodes) * 256, 0);

    auto writeCode = [&](int code) {
        bits |= quint32(code) << bitCount;
        bitCount += codeSize;
        while (bitCount >= 8) {
            putU8(out, int(bits));
            bits >>= 8;
            bitCount -= 8;
        }
        // The decoder adds its entry one code later than we do, so it widens its codes when
        // the entry we are about to add would not fit: widen at the same moment.
        if (nextCode >= (1 << codeSize) && codeSize < 12)
            ++codeSize;
    };
    auto restart = [&] {
        std::fill(next.begin(), next.end(), 0);
        codeSize = minCodeSize + 1;
        nextCode = endCode + 1;
    };

    writeCode(clearCode);
    if (indices.isEmpty()) {
        writeCode(endCode);
    } else {
        int prefix = quint8(indices[0]);
        for (qsizetype i = 1; i < indices.size(); ++i) {
            const int symbol = quint8(indices[i]);
            const quint16 known = next[size_t(prefix) * 256 + size_t(symbol)];
            if (known != 0) {
                prefix = known;
                continue;
            }
            writeCode(prefix);
            if (nextCode < MaxCodes - 1) {
                next[size_t(prefix) * 256 + size_t(symbol)] = quint16(nextCode++);
            } else {
                // A full table: start afresh rather than writeCode codes the decoder cannot grow.
                writeCode(clearCode);
                restart();
            }
            prefix = symbol;
        }
        writeCode(prefix);
        writeCode(endCode);
    }
    if (bitCount > 0)
        putU8(out, int(bits));
    return out;
}

QByteArray gifFile(const IndexedPicture &picture) {
    QByteArray out("GIF89a");
    putU16(out, quint32(picture.width));
    putU16(out, quint32(picture.height));
    putU8(out, 0xF7); // a global table of 256 entries, 8 bits per primary
    putU8(out, std::max(picture.transparentIndex, 0));
    putU8(out, 0);
    for (int i = 0; i < 256; ++i) {
        const QRgb c = i < picture.palette.size() ? picture.palette[i] : 0;
        putU8(out, qRed(c));
        putU8(out, qGreen(c));
        putU8(out, qBlue(c));
    }
    if (picture.transparentIndex >= 0) {
        out.append("\x21\xF9\x04\x01", 4);
        putU16(out, 0);
        putU8(out, picture.transparentIndex);
        putU8(out, 0);
    }
    putU8(out, 0x2C);
    putU16(out, 0);
    putU16(out, 0);
    putU16(out, quint32(picture.width));
    putU16(out, quint32(picture.height));
    putU8(out, 0);
    constexpr int MinCodeSize = 8;
    putU8(out, MinCodeSize);
    const QByteArray data = gifLzw(picture.indices, MinCodeSize);
    for (qsizetype at = 0; at < data.size(); at += 255) {
        const qsizetype n = std::min<qsizetype>(255, data.size() - at);
        putU8(out, int(n));
        out.append(data.constData() + at, n);
    }
    putU8(out, 0);
    putU8(out, 0x3B);
    return out;
}

IconImage iconPalette(const QImage &image) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    QList<QRgb> shown;
    for (int y = 0; y < argb.height(); ++y)
        for (int x = 0; x < argb.width(); ++x)
            if (iconShows(argb.pixel(x, y)))
                shown.append(argb.pixel(x, y));
    // Index 0 is black: where the AND mask lets the screen through, the XOR bits must be zero.
    PaletteMapper mapper(shown, 0, qRgb(0, 0, 0));

    const int stride = (argb.width() + 3) / 4 * 4;
    QByteArray pixels;
    for (int y = argb.height() - 1; y >= 0; --y) {
        QByteArray row(stride, '\0');
        for (int x = 0; x < argb.width(); ++x) {
            const QRgb p = argb.pixel(x, y);
            if (iconShows(p))
                row[x] = char(mapper.indexOf(p));
        }
        pixels += row;
    }
    const QByteArray mask = andMask(argb);

    IconImage icon;
    icon.size = argb.width();
    icon.bitCount = 8;
    icon.bitmap =
        infoHeader(argb.width(), 2 * argb.height(), 8, quint32(pixels.size() + mask.size()));
    for (QRgb c : mapper.palette()) {
        putU8(icon.bitmap, qBlue(c));
        putU8(icon.bitmap, qGreen(c));
        putU8(icon.bitmap, qRed(c));
        putU8(icon.bitmap, 0);
    }
    icon.bitmap += pixels;
    icon.bitmap += mask;
    return icon;
}

IconImage iconTrueColour(const QImage &image) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    QByteArray pixels;
    for (int y = argb.height() - 1; y >= 0; --y) {
        for (int x = 0; x < argb.width(); ++x) {
            const QRgb p = argb.pixel(x, y);
            const QRgb c = qAlpha(p) == 0 ? 0 : p;
            putU8(pixels, qBlue(c));
            putU8(pixels, qGreen(c));
            putU8(pixels, qRed(c));
            putU8(pixels, qAlpha(c));
        }
    }
    const QByteArray mask = andMask(argb);

    IconImage icon;
    icon.size = argb.width();
    icon.bitCount = 32;
    icon.bitmap =
        infoHeader(argb.width(), 2 * argb.height(), 32, quint32(pixels.size() + mask.size()));
    icon.bitmap += pixels;
    icon.bitmap += mask;
    return icon;
}

QByteArray icoFile(const QList<IconImage> &images) {
    QByteArray out;
    putU16(out, 0);
    putU16(out, 1); // an icon, not a cursor
    putU16(out, quint32(images.size()));
    quint32 offset = quint32(6 + 16 * images.size());
    for (const IconImage &image : images) {
        putU8(out, image.size >= 256 ? 0 : image.size);
        putU8(out, image.size >= 256 ? 0 : image.size);
        putU8(out, 0); // 0: 256 colours or more
        putU8(out, 0);
        putU16(out, 1);
        putU16(out, quint32(image.bitCount));
        putU32(out, quint32(image.bitmap.size()));
        putU32(out, offset);
        offset += quint32(image.bitmap.size());
    }
    for (const IconImage &image : images)
        out += image.bitmap;
    return out;
}

QByteArray bmpFile(const QImage &image) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    const quint32 pixelBytes = quint32(rgb.width()) * quint32(rgb.height()) * 4;
    QByteArray out("BM");
    putU32(out, 14 + 40 + pixelBytes);
    putU32(out, 0);
    putU32(out, 14 + 40);
    out += infoHeader(rgb.width(), rgb.height(), 32, pixelBytes);
    for (int y = rgb.height() - 1; y >= 0; --y) {
        for (int x = 0; x < rgb.width(); ++x) {
            const QRgb p = rgb.pixel(x, y);
            putU8(out, qBlue(p));
            putU8(out, qGreen(p));
            putU8(out, qRed(p));
            putU8(out, 0);
        }
    }
    return out;
}

} // namespace writers
