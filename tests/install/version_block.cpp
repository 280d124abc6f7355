#include "tests/install/version_block.h"

#include <QtEndian>

namespace {

quint16 wordAt(const QByteArray &bytes, qsizetype pos) {
    return qFromLittleEndian<quint16>(bytes.constData() + pos);
}

qsizetype alignedTo4(qsizetype pos) {
    return (pos + 3) & ~qsizetype(3);
}

// Reads the block at `pos`, which must end by `end`. Offsets count from the start of the
// resource, which is where the format's four-byte alignment is measured from.
std::optional<VersionBlock> parseAt(const QByteArray &bytes, qsizetype pos, qsizetype end,
                                    int depth) {
    if (depth > 8 || end - pos < 6)
        return std::nullopt;
    const qsizetype length = wordAt(bytes, pos);
    const qsizetype valueLength = wordAt(bytes, pos + 2);
    const quint16 type = wordAt(bytes, pos + 4);
    if (length < 6 || length > end - pos || type > 1)
        return std::nullopt;
    const qsizetype blockEnd = pos + length;

    VersionBlock block;
    block.isText = type == 1;
    qsizetype at = pos + 6;
    for (;;) {
        if (blockEnd - at < 2)
            return std::nullopt;
        const quint16 unit = wordAt(bytes, at);
        at += 2;
        if (unit == 0)
            break;
        block.key.append(QChar(unit));
    }
    at = alignedTo4(at);
    // Text values are counted in UTF-16 units, binary ones in bytes.
    const qsizetype valueBytes = block.isText ? valueLength * 2 : valueLength;
    if (valueBytes > blockEnd - at)
        return std::nullopt;
    block.value = bytes.mid(at, valueBytes);
    at = alignedTo4(at + valueBytes);

    while (at < blockEnd) {
        auto child = parseAt(bytes, at, blockEnd, depth + 1);
        if (!child)
            return std::nullopt;
        at = alignedTo4(at + wordAt(bytes, at));
        block.children.append(*child);
    }
    return block;
}

} // namespace

std::optional<VersionBlock> VersionBlock::parse(const QByteArray &bytes) {
    return parseAt(bytes, 0, bytes.size(), 0);
}

QString VersionBlock::text() const {
    QString result;
    for (qsizetype at = 0; at + 1 < value.size(); at += 2) {
        const quint16 unit = wordAt(value, at);
        if (unit == 0)
            break;
        result.append(QChar(unit));
    }
    return result;
}

const VersionBlock *VersionBlock::child(const QString &childKey) const {
    for (const VersionBlock &block : children)
        if (block.key == childKey)
            return &block;
    return nullptr;
}
