#include "picture/colour_profile.h"

#include <QColorSpace>
#include <QImage>
#include <QRgbaFloat32>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <vector>

namespace picture {

namespace {

// Linear light in steps of 1/16384 indexes the table back to sRGB's 8 bits: a step is at most
// a fifth of an 8-bit level, in the darks, where sRGB's curve is steepest.
constexpr int LinearBits = 14;
constexpr int LinearSteps = 1 << LinearBits;
// The shares the tables hold carry this many bits below a step, so rounding happens once.
constexpr int ShareFraction = 4;
// A pixel's three sums share one 64-bit word, 21 bits each.
constexpr int FieldBits = 21;
constexpr std::int64_t FieldLimit = std::int64_t(1) << FieldBits;
constexpr std::uint64_t StepMask = (std::uint64_t(1) << (FieldBits - ShareFraction)) - 1;
// A matrix profile whose conversion to sRGB has a larger coefficient is no real one: sRGB from
// the widest working spaces needs about 2, from primaries at the very edge of what is seen 3.
constexpr float MaxCoefficient = 8.0f;

// Profiles kept with their conversion: a folder of photographs from one camera builds it once.
constexpr size_t CacheSize = 4;
constexpr qsizetype MaxCachedProfile = 1 << 20;

// 8-bit sRGB for linear light in steps of 1/LinearSteps.
const std::array<uchar, LinearSteps + 1> &srgbFromLinear() {
    static const auto table = [] {
        std::array<uchar, LinearSteps + 1> t{};
        for (int i = 0; i <= LinearSteps; ++i) {
            const double linear = double(i) / LinearSteps;
            const double encoded =
                linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
            t[size_t(i)] = uchar(std::lround(std::clamp(encoded, 0.0, 1.0) * 255));
        }
        return t;
    }();
    return table;
}

} // namespace

// For each of the three channels and each 8-bit value, its share of sRGB's three linear
// channels in 1/2^ShareFraction of a step, each raised by a bias so that it is never negative,
// packed into 21-bit fields of one word: a pixel's three sums take two additions, and no field
// carries into the next.
struct SrgbConversion::Tables {
    std::uint64_t share[3][256];
    // 8-bit sRGB for every step a sum can reach, and where each sum's biased steps start in it.
    std::vector<uchar> toSrgb;
    size_t origin[3];
};

namespace {

using Tables = SrgbConversion::Tables;

void convertRow(const Tables &tables, QRgb *row, int width) {
    const uchar *red = tables.toSrgb.data() + tables.origin[0];
    const uchar *green = tables.toSrgb.data() + tables.origin[1];
    const uchar *blue = tables.toSrgb.data() + tables.origin[2];
    for (int x = 0; x < width; ++x) {
        const QRgb pixel = row[x];
        const std::uint64_t sums = tables.share[0][qRed(pixel)] + tables.share[1][qGreen(pixel)] +
                                   tables.share[2][qBlue(pixel)];
        row[x] = (pixel & 0xff000000u) | uint(red[(sums >> ShareFraction) & StepMask]) << 16 |
                 uint(green[(sums >> (FieldBits + ShareFraction)) & StepMask]) << 8 |
                 uint(blue[sums >> (2 * FieldBits + ShareFraction)]);
    }
}

// A sample of colours, densest in the darks, where a conversion is most sensitive.
QImage sampleColours() {
    static constexpr uchar Levels[] = {0,  1,  2,   3,   5,   8,   12,  18,  27,  40,
                                       60, 90, 128, 160, 192, 224, 240, 250, 254, 255};
    constexpr int Count = int(std::size(Levels));
    QImage image(Count * Count, Count, QImage::Format_RGB32);
    for (int y = 0; y < Count; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < Count * Count; ++x)
            line[x] = qRgb(Levels[x / Count], Levels[x % Count], Levels[y]);
    }
    return image;
}

// Tables for a matrix profile: each channel's curve and the matrix to sRGB's primaries, both
// taken from Qt's own transform, so the tables give what it gives. Checked against it on a
// sample of colours; a profile whose tables disagree by more than one level anywhere is left
// to Qt.
std::shared_ptr<const Tables> buildTables(const QColorSpace &space,
                                          const QColorTransform &transform) {
    const QColorSpace linear = space.withTransferFunction(QColorSpace::TransferFunction::Linear);
    if (!linear.isValid())
        return {};
    const QColorTransform decode = space.transformationToColorSpace(linear);
    const QColorTransform mix = linear.transformationToColorSpace(QColorSpace::SRgbLinear);

    // Column c of the matrix is where the linear primary c lands in linear sRGB.
    float matrix[3][3];
    for (int c = 0; c < 3; ++c) {
        float primary[3] = {};
        primary[c] = 1.0f;
        const QRgbaFloat32 column = mix.map(QRgbaFloat32{primary[0], primary[1], primary[2], 1});
        const float values[3] = {column.r, column.g, column.b};
        for (int k = 0; k < 3; ++k) {
            if (!(std::abs(values[k]) <= MaxCoefficient))
                return {};
            matrix[k][c] = values[k];
        }
    }

    // Each channel's share of each sum, rounded once: the red shares carry half a step.
    constexpr double Scale = double(1 << (LinearBits + ShareFraction));
    std::int64_t shares[3][256][3];
    for (int c = 0; c < 3; ++c) {
        for (int v = 0; v < 256; ++v) {
            float in[3] = {};
            in[c] = float(v) / 255;
            const QRgbaFloat32 out = decode.map(QRgbaFloat32{in[0], in[1], in[2], 1});
            const float values[3] = {out.r, out.g, out.b};
            const float light = values[c];
            if (!(light >= -0.001f && light <= 1.001f))
                return {};
            for (int k = 0; k < 3; ++k)
                shares[c][v][k] = std::llround(matrix[k][c] * light * Scale) +
                                  (c == 0 ? 1 << (ShareFraction - 1) : 0);
        }
    }

    auto tables = std::make_shared<Tables>();
    std::fill_n(&tables->share[0][0], 3 * 256, 0);
    // Each sum's steps start at `first`, its bias, and end before `end`.
    std::int64_t first[3] = {}, end[3] = {};
    for (int k = 0; k < 3; ++k) {
        std::int64_t range = 0;
        for (int c = 0; c < 3; ++c) {
            std::int64_t low = shares[c][0][k], high = low;
            for (int v = 1; v < 256; ++v) {
                low = std::min(low, shares[c][v][k]);
                high = std::max(high, shares[c][v][k]);
            }
            // The bias is a whole number of steps.
            low = (low >> ShareFraction) * (1 << ShareFraction);
            range += high - low;
            first[k] += low >> ShareFraction;
            for (int v = 0; v < 256; ++v)
                tables->share[c][v] += std::uint64_t(shares[c][v][k] - low) << (FieldBits * k);
        }
        if (range >= FieldLimit)
            return {};
        end[k] = first[k] + (range >> ShareFraction) + 1;
    }
    const std::int64_t lowest = std::min({first[0], first[1], first[2]});
    const std::int64_t highest = std::max({end[0], end[1], end[2]});
    const auto &srgb = srgbFromLinear();
    tables->toSrgb.resize(size_t(highest - lowest));
    for (std::int64_t step = lowest; step < highest; ++step)
        tables->toSrgb[size_t(step - lowest)] =
            srgb[size_t(std::clamp<std::int64_t>(step, 0, LinearSteps))];
    for (int k = 0; k < 3; ++k)
        tables->origin[k] = size_t(first[k] - lowest);

    QImage ours = sampleColours();
    QImage qts = ours;
    qts.applyColorTransform(transform);
    for (int y = 0; y < ours.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(ours.scanLine(y));
        convertRow(*tables, line, ours.width());
        const auto *expected = reinterpret_cast<const QRgb *>(qts.constScanLine(y));
        for (int x = 0; x < ours.width(); ++x) {
            if (std::abs(qRed(line[x]) - qRed(expected[x])) > 1 ||
                std::abs(qGreen(line[x]) - qGreen(expected[x])) > 1 ||
                std::abs(qBlue(line[x]) - qBlue(expected[x])) > 1)
                return {};
        }
    }
    return tables;
}

struct CachedConversion {
    QByteArray profile;
    std::shared_ptr<const Tables> tables;
    QColorTransform transform;
};

std::mutex cacheMutex;
std::vector<CachedConversion> cache; // the most recently used first

bool isConvertible(const QImage &image) {
    return image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32;
}

} // namespace

SrgbConversion::SrgbConversion(QByteArrayView profile) {
    // Bytes 16 to 19 of the header name the colours the profile describes. Qt takes some
    // greyscale profiles too; on a colour picture those would be wrong.
    if (profile.size() < 20 || profile.sliced(16, 4) != "RGB ")
        return;
    const std::lock_guard lock(cacheMutex);
    const auto found = std::find_if(cache.begin(), cache.end(), [&](const CachedConversion &c) {
        return c.profile == profile;
    });
    if (found != cache.end()) {
        std::rotate(cache.begin(), found, found + 1);
        m_tables = cache.front().tables;
        m_transform = cache.front().transform;
        return;
    }
    const QColorSpace space = QColorSpace::fromIccProfile(profile.toByteArray());
    if (space.isValid() && space != QColorSpace(QColorSpace::SRgb)) {
        m_transform = space.transformationToColorSpace(QColorSpace::SRgb);
        m_tables = buildTables(space, m_transform);
        if (m_tables)
            m_transform = QColorTransform();
    }
    if (profile.size() > MaxCachedProfile)
        return;
    cache.insert(cache.begin(), {profile.toByteArray(), m_tables, m_transform});
    if (cache.size() > CacheSize)
        cache.pop_back();
}

void SrgbConversion::convertRows(QImage &image, int first, int count) const {
    if (!m_tables || !isConvertible(image))
        return;
    for (int y = first; y < first + count; ++y)
        convertRow(*m_tables, reinterpret_cast<QRgb *>(image.scanLine(y)), image.width());
}

void SrgbConversion::convert(QImage &image) const {
    if (image.isNull() || !isConvertible(image))
        return;
    if (m_tables)
        convertRows(image, 0, image.height());
    else if (!m_transform.isIdentity())
        image.applyColorTransform(m_transform);
}

void convertToSrgb(QImage &image, QByteArrayView profile) {
    if (profile.isEmpty() || image.isNull())
        return;
    SrgbConversion(profile).convert(image);
}

} // namespace picture
