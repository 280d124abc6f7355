#include "picture/jpeg_decoder.h"

#include "picture/picture_errors.h"
#include "picture/qt_image_reader.h"

#include <QIODevice>

#include <cstring>

namespace picture::jpeg {

namespace {

// Reads the stream in large pieces: the entropy-coded data of a photograph is megabytes long
// and has to be scanned byte by byte for markers.
class ByteStream {
public:
    explicit ByteStream(QIODevice &device)
        : device_(device)
        , buffer_(64 * 1024, Qt::Uninitialized) {}

    // The next byte, or -1 at the end of the stream.
    int next() {
        if (position_ == filled_ && !refill())
            return -1;
        return quint8(buffer_[position_++]);
    }

    // Skips to just after the next 0xFF byte; false at the end of the stream.
    bool skipPastFF() {
        for (;;) {
            const char *start = buffer_.constData() + position_;
            const void *found = std::memchr(start, 0xFF, size_t(filled_ - position_));
            if (found) {
                position_ += qsizetype(static_cast<const char *>(found) - start) + 1;
                return true;
            }
            position_ = filled_;
            if (!refill())
                return false;
        }
    }

    bool skip(qint64 count) {
        while (count > 0) {
            if (position_ == filled_ && !refill())
                return false;
            const qint64 step = std::min<qint64>(count, filled_ - position_);
            position_ += qsizetype(step);
            count -= step;
        }
        return true;
    }

private:
    bool refill() {
        const qint64 got = device_.read(buffer_.data(), buffer_.size());
        position_ = 0;
        filled_ = got > 0 ? qsizetype(got) : 0;
        return filled_ > 0;
    }

    QIODevice &device_;
    QByteArray buffer_;
    qsizetype position_ = 0;
    qsizetype filled_ = 0;
};

bool isStartOfFrame(int marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

bool standsAlone(int marker) {
    return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8);
}

// The code of the marker that follows, skipping fill bytes; -1 at the end of the stream.
int markerAfterFF(ByteStream &in) {
    int byte = in.next();
    while (byte == 0xFF)
        byte = in.next();
    return byte;
}

// Moves through entropy-coded data to the marker that ends it and returns that marker's code.
int markerAfterScan(ByteStream &in) {
    for (;;) {
        if (!in.skipPastFF())
            return -1;
        const int marker = markerAfterFF(in);
        if (marker < 0)
            return -1;
        // FF 00 is a stuffed data byte and FF D0..D7 a restart inside the scan.
        if (marker != 0x00 && !(marker >= 0xD0 && marker <= 0xD7))
            return marker;
    }
}

// Why the JPEG at the device's position can't be shown whole, or an empty string when it can:
// it reaches its end-of-image marker with a frame and a scan on the way, or, being progressive,
// stops between scans after at least one whole scan, which already gives every pixel its colour
// at one quality. A stream cut inside a scan's data would show a band of grey or of coarser
// pixels.
QString structureProblem(QIODevice &device) {
    ByteStream in(device);
    if (in.next() != 0xFF || in.next() != 0xD8)
        return errors::corrupt();
    bool frame = false;
    bool progressive = false;
    int wholeScans = 0;
    const auto cutShort = [&] {
        return progressive && wholeScans > 0 ? QString() : errors::truncated();
    };
    int marker = -1;
    for (;;) {
        if (marker < 0) {
            // Junk between segments is skipped up to the next marker, as libjpeg does.
            if (!in.skipPastFF())
                return cutShort();
            marker = markerAfterFF(in);
            if (marker < 0)
                return cutShort();
            if (marker == 0x00)
                marker = -1;
            continue;
        }
        if (marker == 0xD9)
            return frame && wholeScans > 0 ? QString() : errors::corrupt();
        if (standsAlone(marker)) {
            marker = -1;
            continue;
        }
        const int high = in.next();
        const int low = in.next();
        if (high < 0 || low < 0)
            return cutShort();
        const int length = (high << 8) | low;
        if (length < 2)
            return errors::corrupt();
        if (!in.skip(length - 2))
            return cutShort();
        if (isStartOfFrame(marker)) {
            frame = true;
            progressive = (marker & 0x03) == 0x02;
        }
        if (marker == 0xDA) {
            if (!frame)
                return errors::corrupt();
            marker = markerAfterScan(in);
            if (marker < 0)
                return errors::truncated();
            ++wholeScans;
        } else {
            marker = -1;
        }
    }
}

} // namespace

bool canRead(QIODevice &device) {
    const QByteArray head = device.peek(3);
    return head.size() == 3 && quint8(head[0]) == 0xFF && quint8(head[1]) == 0xD8 &&
           quint8(head[2]) == 0xFF;
}

LoadResult read(QIODevice &device, QSize) {
    const qint64 start = device.pos();
    const QString problem = structureProblem(device);
    if (!problem.isEmpty())
        return LoadResult::failure(problem);
    if (!device.seek(start))
        return LoadResult::failure(errors::cannotOpen());
    return readWithQt(device, "jpeg", Format::Jpeg);
}

} // namespace picture::jpeg
