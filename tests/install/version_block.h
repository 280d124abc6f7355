#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// One block of a Windows version resource (VS_VERSIONINFO, StringFileInfo, a string table,
// one string, VarFileInfo, Translation): its key, its value and the blocks inside it.
struct VersionBlock {
    QString key;
    bool isText = false;
    QByteArray value; // raw bytes; for text, UTF-16 including anything after the terminator
    QList<VersionBlock> children;

    // The block that fills `bytes`, or nothing when a length points outside its parent.
    static std::optional<VersionBlock> parse(const QByteArray &bytes);

    // The value read as text, up to its terminating NUL.
    QString text() const;
    const VersionBlock *child(const QString &childKey) const;
};
