#include "picture/dib.h"

#include "picture/bmp_decoder.h"

#include <QBuffer>

namespace picture {

namespace {

// Reads the bytes in place; the caller's data outlives the buffer.
class ByteView {
public:
    explicit ByteView(QByteArrayView bytes)
        : data_(QByteArray::fromRawData(bytes.data(), bytes.size()))
        , buffer_(&data_) {
        buffer_.open(QIODevice::ReadOnly);
    }
    QIODevice &device() { return buffer_; }

private:
    QByteArray data_;
    QBuffer buffer_;
};

QImage imageOf(const LoadResult &result) {
    return result.ok() ? result.picture->image : QImage();
}

} // namespace

QImage decodeDib(QByteArrayView info, QByteArrayView bits) {
    ByteView view(bits);
    return imageOf(bmp::readDib(info, view.device()));
}

QImage decodePackedDib(QByteArrayView packed) {
    // A packed DIB begins with its info header; a "BM" file header can't be one, so refuse it
    // rather than read the bytes as a file.
    if (packed.startsWith("BM") || packed.startsWith("BA"))
        return {};
    ByteView view(packed);
    return imageOf(bmp::read(view.device()));
}

} // namespace picture
