#pragma once

#include "picture/picture.h"

#include <QByteArray>
#include <QHash>
#include <QIODevice>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>

// What every decoder owes its callers, declared once over a row a format (tst_decoder_contract):
// the corpus's good files load, its bad files are refused with a reason, its questionable files
// give a picture or a reason; the part decoded for a window is the corner of the whole; a
// forward-only device gives the same picture; the inputs that once broke the decoder give a
// picture or a reason. What is particular to a format (its expected sizes, its references, the
// files it treats otherwise and why) its row carries; the lists stay in the format's own file.
namespace contract {

// One corpus file of a row.
struct File {
    QString path; // relative to the corpus
    QString note; // the manifest's
    QByteArray data;
};

struct Format {
    using Read = picture::LoadResult (*)(QIODevice &, QSize visible);
    Format(const char *name, Read read)
        : name(QLatin1String(name))
        , read(read) {}

    QString name; // the corpus folder, and the row names' prefix
    Read read;

    QSize goodVisible;        // the part decoded of a good file; empty: the whole
    QSize otherVisible;       // of a bad or questionable one
    bool forwardOnly = false; // also read every corpus file from a forward-only device
    // The part checked against the corner of the whole, of a picture of the given size.
    std::function<QSize(QSize)> part = [](QSize size) {
        return size / 2;
    };
    QString regressions; // the pattern of the regression files under the test data
    QList<QSize> regressionVisible{QSize(256, 256)}; // the parts decoded of each

    // Good files the format refuses on purpose, with the message it gives.
    std::function<QString(const QString &path)> refusedGood;
    // Listed as good, but treated as bad (the reason in the format's file).
    QStringList treatedAsBad;
    // Bad files that still give a picture, and why that is right, by name or path.
    QHash<QString, QString> keptBad;
    // What else a good file's picture must be, and a kept bad file's; returns what went wrong,
    // or nothing.
    std::function<QString(const File &file, const picture::LoadResult &result)> checkGood;
    std::function<QString(const File &file, const picture::LoadResult &result)> checkKeptBad;
    // What else a questionable file's picture must be (it may log what is of note); returns
    // what went wrong, or nothing.
    std::function<QString(const File &file, const picture::LoadResult &result)> checkQuestionable;
    // The whole picture of a good file against the format's reference renderings (metafiles);
    // returns what went wrong, or nothing. Rows only where `hasReference` says so.
    std::function<bool(const QString &path)> hasReference;
    std::function<QString(const QString &path, const picture::LoadResult &whole)> checkReference;
};

Format bmp();
Format pcx();
Format wmf();
Format emf();
Format jpeg();
Format gif();

} // namespace contract
