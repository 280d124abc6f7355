#include "tests/install/res_file.h"

#include <QtEndian>

#include <algorithm>

namespace {

class Cursor {
public:
    explicit Cursor(const QByteArray &bytes)
        : bytes_(bytes) {}

    bool has(qsizetype count) const { return count >= 0 && bytes_.size() - pos_ >= count; }
    qsizetype pos() const { return pos_; }
    bool atEnd() const { return pos_ >= bytes_.size(); }

    std::optional<quint16> word() {
        if (!has(2))
            return std::nullopt;
        const auto value = qFromLittleEndian<quint16>(bytes_.constData() + pos_);
        pos_ += 2;
        return value;
    }
    std::optional<quint32> dword() {
        if (!has(4))
            return std::nullopt;
        const auto value = qFromLittleEndian<quint32>(bytes_.constData() + pos_);
        pos_ += 4;
        return value;
    }
    bool skipTo(qsizetype to) {
        if (to < pos_ || to > bytes_.size())
            return false;
        pos_ = to;
        return true;
    }
    bool alignTo4(qsizetype from) { return skipTo(pos_ + (4 - (pos_ - from) % 4) % 4); }
    // The padding after the last entry may be missing.
    void alignTo4OrEnd() { pos_ = std::min(pos_ + (4 - pos_ % 4) % 4, bytes_.size()); }

    // A type or name: 0xFFFF followed by a number, or a NUL-terminated UTF-16 string.
    std::optional<ResFile::Id> id() {
        const auto first = word();
        if (!first)
            return std::nullopt;
        if (*first == 0xFFFF) {
            const auto number = word();
            if (!number)
                return std::nullopt;
            return ResFile::Id{*number, {}};
        }
        QString text;
        for (auto unit = first; *unit != 0;) {
            text.append(QChar(*unit));
            if (!(unit = word()))
                return std::nullopt;
        }
        return ResFile::Id{0, text};
    }

    QByteArray take(qsizetype count) {
        const QByteArray taken = bytes_.mid(pos_, count);
        pos_ += count;
        return taken;
    }

private:
    const QByteArray &bytes_;
    qsizetype pos_ = 0;
};

} // namespace

std::optional<ResFile> ResFile::parse(const QByteArray &bytes) {
    ResFile file;
    Cursor in(bytes);
    while (!in.atEnd()) {
        const qsizetype start = in.pos();
        const auto dataSize = in.dword();
        const auto headerSize = in.dword();
        if (!dataSize || !headerSize || *headerSize < 16)
            return std::nullopt;
        Entry entry;
        const auto type = in.id();
        const auto name = in.id();
        if (!type || !name || !in.alignTo4(start))
            return std::nullopt;
        in.dword(); // DataVersion
        in.word();  // MemoryFlags
        const auto language = in.word();
        if (!language || !in.skipTo(start + *headerSize) || !in.has(*dataSize))
            return std::nullopt;
        entry.type = *type;
        entry.name = *name;
        entry.language = *language;
        entry.data = in.take(*dataSize);
        in.alignTo4OrEnd();
        // The file opens with an empty entry that only marks it as a 32-bit resource file.
        if (!(entry.type.number == 0 && entry.type.text.isEmpty() && entry.data.isEmpty()))
            file.entries.append(entry);
    }
    return file;
}

QList<const ResFile::Entry *> ResFile::ofType(quint16 type) const {
    QList<const Entry *> found;
    for (const Entry &entry : entries)
        if (entry.type == Id{type, {}})
            found.append(&entry);
    return found;
}

const ResFile::Entry *ResFile::find(quint16 type, quint16 name) const {
    for (const Entry &entry : entries)
        if (entry.type == Id{type, {}} && entry.name == Id{name, {}})
            return &entry;
    return nullptr;
}
