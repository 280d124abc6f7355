#pragma once

#include <QByteArrayView>
#include <QtGlobal>

#include <bit>
#include <cstring>
#include <optional>

namespace picture {

// Reads little-endian fields from a byte range it never leaves. A read past the end yields zero
// and marks the reader failed for good, so a record is parsed in one go and checked once.
class ByteReader {
public:
    ByteReader() = default;
    explicit ByteReader(QByteArrayView data)
        : m_data(data) {}

    qsizetype size() const { return m_data.size(); }
    qsizetype pos() const { return m_pos; }
    qsizetype remaining() const { return m_data.size() - m_pos; }
    bool ok() const { return !m_failed; }
    QByteArrayView data() const { return m_data; }

    bool seek(qsizetype pos) {
        if (pos < 0 || pos > m_data.size())
            return fail();
        m_pos = pos;
        return true;
    }
    bool skip(qsizetype count) {
        if (count < 0 || count > remaining())
            return fail();
        m_pos += count;
        return true;
    }

    quint8 u8() { return quint8(readLe(1)); }
    quint16 u16() { return quint16(readLe(2)); }
    qint16 i16() { return qint16(quint16(readLe(2))); }
    quint32 u32() { return quint32(readLe(4)); }
    qint32 i32() { return qint32(quint32(readLe(4))); }
    float f32() { return std::bit_cast<float>(u32()); }

    // The next `count` bytes, or an empty view (and failure) if there are fewer.
    QByteArrayView bytes(qsizetype count) {
        if (count < 0 || count > remaining()) {
            fail();
            return {};
        }
        QByteArrayView part = m_data.sliced(m_pos, count);
        m_pos += count;
        return part;
    }

    // `length` bytes from `offset`, counted from the start of this reader's range; nothing when
    // the range would leave it.
    std::optional<QByteArrayView> slice(quint64 offset, quint64 length) const {
        const auto total = quint64(m_data.size());
        if (offset > total || length > total - offset)
            return std::nullopt;
        return m_data.sliced(qsizetype(offset), qsizetype(length));
    }

private:
    bool fail() {
        m_failed = true;
        return false;
    }
    quint64 readLe(int width) {
        if (remaining() < width) {
            m_pos = m_data.size();
            fail();
            return 0;
        }
        quint64 value = 0;
        for (int i = 0; i < width; ++i)
            value |= quint64(quint8(m_data[m_pos + i])) << (8 * i);
        m_pos += width;
        return value;
    }

    QByteArrayView m_data;
    qsizetype m_pos = 0;
    bool m_failed = false;
};

} // namespace picture
