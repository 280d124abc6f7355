#pragma once

#include <QByteArray>
#include <QtEndian>

namespace testkit {

// Builds a file front to back in little-endian fields.
class Bytes {
public:
    Bytes &u8(quint8 v) {
        m_data.append(char(v));
        return *this;
    }
    Bytes &u16(quint16 v) { return put(v); }
    Bytes &i16(qint16 v) { return put(quint16(v)); }
    Bytes &u32(quint32 v) { return put(v); }
    Bytes &i32(qint32 v) { return put(quint32(v)); }
    Bytes &raw(const QByteArray &bytes) {
        m_data.append(bytes);
        return *this;
    }
    const QByteArray &data() const { return m_data; }
    qsizetype size() const { return m_data.size(); }

private:
    template <typename T> Bytes &put(T v) {
        char b[sizeof v];
        qToLittleEndian(v, b);
        m_data.append(b, sizeof v);
        return *this;
    }
    QByteArray m_data;
};

} // namespace testkit
