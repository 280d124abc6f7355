#include "picture/gif_decoder.h"

#include "picture/picture_errors.h"
#include "picture/qt_image_reader.h"

#include <QIODevice>
#include <QRect>

#include <algorithm>
#include <array>

namespace picture::gif {

namespace {

constexpr int maxCodes = 4096;

// Thrown by the block walk and caught in walk(), which turns it into the sentence.
struct Problem {
    QString why;
};

class BlockReader {
public:
    explicit BlockReader(QIODevice &device)
        : device_(device) {}

    quint8 byte() {
        char c = 0;
        if (!device_.getChar(&c))
            throw Problem{errors::truncated()};
        return quint8(c);
    }
    quint16 word() {
        const quint8 low = byte();
        return quint16(low | (byte() << 8));
    }
    void skip(qint64 count) {
        std::array<char, 256> scratch;
        while (count > 0) {
            const qint64 chunk = std::min<qint64>(count, qint64(scratch.size()));
            if (device_.read(scratch.data(), chunk) != chunk)
                throw Problem{errors::truncated()};
            count -= chunk;
        }
    }
    void skipSubBlocks() {
        while (const quint8 length = byte())
            skip(length);
    }
    // The next data sub-block into `block`; 0 at the terminator, -1 at the end of the stream.
    int subBlock(std::array<quint8, 255> &block) {
        char c = 0;
        if (!device_.getChar(&c))
            return -1;
        const int length = quint8(c);
        if (device_.read(reinterpret_cast<char *>(block.data()), length) != length)
            return -1;
        return length;
    }
    bool atEnd() {
        char c = 0;
        return device_.peek(&c, 1) != 1;
    }

private:
    QIODevice &device_;
};

// Follows the LZW codes of one frame the way a decoder would, without producing pixels. A code
// that refers to a string not yet defined, a colour beyond the palette, or more pixels than the
// frame holds make the frame undecodable; too few pixels are left to the decoder, which shows
// the rest as background.
class LzwCheck {
public:
    LzwCheck(int minCodeSize, int paletteSize, qint64 pixels)
        : minCodeSize_(minCodeSize)
        , clear_(1 << minCodeSize)
        , paletteSize_(paletteSize)
        , pixelsLeft_(pixels) {
        reset();
    }

    void feed(const quint8 *data, int count) {
        for (int i = 0; i < count && !ended_; ++i) {
            bits_ |= quint32(data[i]) << bitCount_;
            bitCount_ += 8;
            while (!ended_ && bitCount_ >= codeSize_) {
                const int code = int(bits_ & ((1u << codeSize_) - 1));
                bits_ >>= codeSize_;
                bitCount_ -= codeSize_;
                take(code);
            }
        }
    }

    // True once the end code has come or every pixel of the frame has been given.
    bool complete() const { return ended_ || pixelsLeft_ == 0; }

private:
    void reset() {
        next_ = clear_ + 2;
        codeSize_ = minCodeSize_ + 1;
        previous_ = -1;
    }

    void take(int code) {
        if (code == clear_) {
            reset();
            return;
        }
        if (code == clear_ + 1) {
            ended_ = true;
            return;
        }
        int length = 1;
        if (code < clear_) {
            if (paletteSize_ > 0 && code >= paletteSize_)
                throw Problem{errors::corrupt()};
            lengths_[size_t(code)] = 1;
        } else if (previous_ < 0 || code > next_) {
            throw Problem{errors::corrupt()};
        } else {
            // The code just about to be defined stands for the previous string plus its own
            // first colour.
            length = code == next_ ? lengths_[size_t(previous_)] + 1 : lengths_[size_t(code)];
        }
        if (previous_ >= 0 && next_ < maxCodes) {
            lengths_[size_t(next_)] = lengths_[size_t(previous_)] + 1;
            ++next_;
            if (next_ == (1 << codeSize_) && codeSize_ < 12)
                ++codeSize_;
        }
        if (length > pixelsLeft_)
            throw Problem{errors::corrupt()};
        pixelsLeft_ -= length;
        previous_ = code;
    }

    const int minCodeSize_;
    const int clear_;
    const int paletteSize_;
    qint64 pixelsLeft_;
    // Left uninitialised: a GIF of many tiny frames would otherwise pay for clearing it each
    // time, and every slot is written before it is read.
    std::array<int, maxCodes> lengths_;
    int next_ = 0;
    int codeSize_ = 0;
    int previous_ = -1;
    quint32 bits_ = 0;
    int bitCount_ = 0;
    bool ended_ = false;
};

int colourTableSize(quint8 flags) {
    return (flags & 0x80) ? 2 << (flags & 7) : 0;
}

struct Layout {
    QSize screen;
    QRect firstFrame;
};

// Checks one frame; false when the stream ends inside it after all its pixels were given, which
// leaves a whole picture with only the file's tail missing.
bool checkFrame(BlockReader &in, QRect &frame, int globalPalette) {
    const int left = in.word();
    const int top = in.word();
    const int width = in.word();
    const int height = in.word();
    const quint8 flags = in.byte();
    if (width == 0 || height == 0)
        throw Problem{errors::corrupt()};
    if (qint64(width) * height > MaxPixels)
        throw Problem{errors::tooLarge()};
    frame = QRect(left, top, width, height);
    const int localPalette = colourTableSize(flags);
    in.skip(3 * localPalette);
    const int minCodeSize = in.byte();
    if (minCodeSize < 1 || minCodeSize > 11)
        throw Problem{errors::corrupt()};
    LzwCheck lzw(minCodeSize, localPalette ? localPalette : globalPalette, qint64(width) * height);
    std::array<quint8, 255> block;
    for (;;) {
        const int length = in.subBlock(block);
        if (length == 0)
            return true;
        if (length < 0) {
            if (lzw.complete())
                return false;
            throw Problem{errors::truncated()};
        }
        lzw.feed(block.data(), length);
    }
}

Layout checkStream(BlockReader &in) {
    in.skip(6); // signature, checked by canRead()
    Layout layout;
    const int screenWidth = in.word();
    const int screenHeight = in.word();
    const quint8 flags = in.byte();
    in.skip(2);
    if (screenWidth == 0 || screenHeight == 0)
        throw Problem{errors::corrupt()};
    if (qint64(screenWidth) * screenHeight > MaxPixels)
        throw Problem{errors::tooLarge()};
    layout.screen = QSize(screenWidth, screenHeight);
    const int globalPalette = colourTableSize(flags);
    in.skip(3 * globalPalette);

    // Frames may reach past the screen; a decoder that keeps the whole animation needs a canvas
    // that holds them all, and a frame placed tens of thousands of pixels away asks for one no
    // picture needs.
    QRect canvas(QPoint(0, 0), layout.screen);
    int frames = 0;
    // A stream that stops between blocks after a whole frame lacks only its trailer byte.
    while (!(frames > 0 && in.atEnd())) {
        const quint8 introducer = in.byte();
        if (introducer == 0x3B)
            break;
        if (introducer == 0x21) {
            in.byte(); // label
            in.skipSubBlocks();
        } else if (introducer == 0x2C) {
            QRect frame;
            const bool more = checkFrame(in, frame, globalPalette);
            canvas |= frame;
            if (qint64(canvas.width()) * canvas.height() > MaxPixels)
                throw Problem{errors::tooLarge()};
            if (frames++ == 0)
                layout.firstFrame = frame;
            if (!more)
                break;
        } else if (frames == 0) {
            throw Problem{errors::corrupt()};
        } else {
            break; // junk after the pictures, as some encoders leave
        }
    }
    if (frames == 0)
        throw Problem{errors::corrupt()};
    return layout;
}

// Where the first frame leaves the screen uncovered the picture is see-through, as browsers
// show it; Qt paints the background colour there instead.
void clearOutside(QImage &image, const QRect &frame) {
    const QRect covered = frame & image.rect();
    if (covered == image.rect())
        return;
    image.convertTo(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (!covered.contains(x, y))
                line[x] = 0;
    }
}

} // namespace

bool canRead(QIODevice &device) {
    const QByteArray head = device.peek(6);
    return head == "GIF87a" || head == "GIF89a";
}

LoadResult read(QIODevice &device, QSize) {
    const qint64 start = device.pos();
    BlockReader in(device);
    Layout layout;
    try {
        layout = checkStream(in);
    } catch (const Problem &problem) {
        return LoadResult::failure(problem.why);
    }
    if (!device.seek(start))
        return LoadResult::failure(errors::cannotOpen());
    LoadResult result = readWithQt(device, "gif", Format::Gif);
    if (!result.ok())
        return result;
    QImage &image = result.picture->image;
    // Qt widens the canvas to a first frame that reaches past the screen; the picture is the
    // screen.
    if (image.size() != layout.screen)
        image = image.copy(QRect(QPoint(0, 0), layout.screen));
    clearOutside(image, layout.firstFrame);
    if (image.hasAlphaChannel())
        image.convertTo(QImage::Format_ARGB32_Premultiplied);
    result.picture->size = image.size();
    return result;
}

} // namespace picture::gif
