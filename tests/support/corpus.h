#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The third-party sample files beside the checkout, as their MANIFEST.tsv lists them.
namespace corpus {

struct Entry {
    QString path; // relative to dir()
    QString kind; // good, bad, questionable, reference-render, doc
    QString note;
};

QString dir();
// Whether the corpus is there at all.
bool present();

// The rows of one kind whose path lies in one of `folders` ("bmp/", "cur/").
QList<Entry> entries(const QStringList &folders, const QString &kind);

// A sample's bytes. Exploit samples are kept RC4-encrypted under the key "CVE", so that virus
// scanners leave the corpus alone; those come back decrypted.
QByteArray bytes(const QString &path);

} // namespace corpus

// The one skip rule of tests over the corpus: their data function adds a row a file, none
// without the corpus, and a test run with no row skips; so does one whose rows name files of
// the corpus when it is not there.
#define GLIMRA_SKIP_WITHOUT_CORPUS()                                                               \
    do {                                                                                           \
        if (!QTest::currentDataTag() || !corpus::present())                                        \
            QSKIP("the third-party corpus is not there");                                          \
    } while (false)
