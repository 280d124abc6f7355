#include "corpus.h"

#include <QFile>

#include <utility>

namespace corpus {

QString dir() {
    return QStringLiteral(GLIMRA_CORPUS_DIR);
}

bool present() {
    return QFile::exists(dir() + QStringLiteral("/MANIFEST.tsv"));
}

QList<Entry> entries(const QStringList &folders, const QString &kind) {
    QList<Entry> found;
    QFile manifest(dir() + QStringLiteral("/MANIFEST.tsv"));
    if (!manifest.open(QIODevice::ReadOnly))
        return found;
    manifest.readLine(); // the column names
    while (!manifest.atEnd()) {
        QString line = QString::fromUtf8(manifest.readLine());
        while (line.endsWith(u'\n') || line.endsWith(u'\r'))
            line.chop(1);
        const QStringList fields = line.split(u'\t');
        if (fields.size() < 6 || fields[5] != kind)
            continue;
        for (const QString &folder : folders) {
            if (fields[0].startsWith(folder)) {
                found.append({fields[0], fields[5], fields.value(6)});
                break;
            }
        }
    }
    return found;
}

static QByteArray decryptRc4(QByteArray data, QByteArrayView key) {
    quint8 s[256];
    for (int i = 0; i < 256; ++i)
        s[i] = quint8(i);
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + quint8(key[i % key.size()])) & 0xFF;
        std::swap(s[i], s[j]);
    }
    int i = 0, j = 0;
    for (char &c : data) {
        i = (i + 1) & 0xFF;
        j = (j + s[i]) & 0xFF;
        std::swap(s[i], s[j]);
        c = char(quint8(c) ^ s[(s[i] + s[j]) & 0xFF]);
    }
    return data;
}

QByteArray bytes(const QString &path) {
    QFile file(dir() + u'/' + path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray data = file.readAll();
    return path.endsWith(QStringLiteral(".rc4")) ? decryptRc4(data, "CVE") : data;
}

} // namespace corpus
