#include "fuzz/fuzz_application.h"
#include "picture/metafile/emf_decoder.h"

#include <QBuffer>
#include <QtEndian>

namespace {

void append32(QByteArray &out, quint32 value) {
    char b[4];
    qToLittleEndian(value, b);
    out.append(b, 4);
}

// Arbitrary bytes as the EMF+ records of an enhanced metafile: after a header record, in one
// comment, so that mutations reach the EMF+ player rather than the classic framing. A whole
// enhanced metafile (a corpus file) is played as it is.
QByteArray asMetafile(const QByteArray &input) {
    if (input.size() >= 44 && qFromLittleEndian<quint32>(input.constData()) == 1 &&
        qFromLittleEndian<quint32>(input.constData() + 40) == 0x464D4520)
        return input;
    QByteArray records("EMF+", 4);
    for (quint32 v : {0x00004001u, 28u, 16u, 0xDBC01002u, 1u, 96u, 96u})
        append32(records, v);
    records += input;
    records.append(QByteArray((4 - records.size() % 4) % 4, '\0'));
    QByteArray file;
    for (quint32 v : {1u, 88u, 0u, 0u, 199u, 199u, 0u, 0u, 5292u, 5292u, 0x464D4520u, 0x10000u})
        append32(file, v);
    append32(file, quint32(88 + 12 + records.size() + 20));
    for (quint32 v : {3u, 8u, 0u, 0u, 0u, 960u, 960u, 254u, 254u})
        append32(file, v);
    for (quint32 v : {70u, quint32(12 + records.size()), quint32(records.size())})
        append32(file, v);
    file += records;
    for (quint32 v : {14u, 20u, 0u, 16u, 20u})
        append32(file, v);
    return file;
}

} // namespace

// Plays arbitrary EMF+ records onto a small raster.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    startApplication("fuzz_emfplus");
    QByteArray bytes =
        asMetafile(QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    picture::emf::read(buffer, QSize(256, 256));
    return 0;
}
