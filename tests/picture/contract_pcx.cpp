// PCX in the decoder contract: each good file against its reference rendering.
#include "decoder_contract.h"
#include "picture/pcx_decoder.h"
#include "tests/support/corpus.h"
#include "tests/support/image_compare.h"

#include <QBuffer>
#include <QFile>

namespace {

QString referenceFor(const QString &relativePath) {
    const QString inCorpus = corpus::dir() + u'/' + relativePath + QStringLiteral(".ref.png");
    if (QFile::exists(inCorpus))
        return inCorpus;
    return QStringLiteral(GLIMRA_TEST_DATA_DIR) + u'/' + relativePath + QStringLiteral(".ref.png");
}

QString checkGood(const contract::File &file, const picture::LoadResult &result) {
    QBuffer device;
    device.setData(file.data);
    device.open(QIODevice::ReadOnly);
    if (!picture::pcx::canRead(device))
        return QStringLiteral("not recognised");
    const QImage reference(referenceFor(file.path));
    if (reference.isNull())
        return QStringLiteral("no reference picture: run tools/make_pcx_references.sh");
    if (result.picture->size != reference.size())
        return QStringLiteral("natural size differs from the reference's");
    return testkit::compare(result.picture->image, reference).describe();
}

} // namespace

contract::Format contract::pcx() {
    Format f("pcx", picture::pcx::read);
    f.forwardOnly = true;
    f.part = [](QSize size) {
        return size / 2 + QSize(1, 1);
    };
    // Listed as good, but its header gives 12 bytes per row for 88 pixels of 8 bits, and its
    // data ends less than two thirds of the way through: a sample of overrunning input, not a
    // picture.
    f.treatedAsBad = {QStringLiteral("pcx/pillow/01r_00.pcx")};
    f.checkGood = checkGood;
    return f;
}
