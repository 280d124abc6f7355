#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// A compiled Windows resource file (.res): the resources a resource compiler wrote, each with
// its type, name and language, as the linker would put them into the program.
struct ResFile {
    // A resource type or name: a number, or a string when `text` is not empty.
    struct Id {
        quint16 number = 0;
        QString text;
        bool operator==(const Id &) const = default;
    };
    struct Entry {
        Id type;
        Id name;
        quint16 language = 0;
        QByteArray data;
    };

    QList<Entry> entries;

    // The entries in `bytes`, or nothing when they run past its end or are malformed.
    static std::optional<ResFile> parse(const QByteArray &bytes);

    QList<const Entry *> ofType(quint16 type) const;
    const Entry *find(quint16 type, quint16 name) const;
};
