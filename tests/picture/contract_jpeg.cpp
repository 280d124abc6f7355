// JPEG in the decoder contract: each good file against Qt's reader, which links the same
// libjpeg.
#include "decoder_contract.h"
#include "jpeg_markers.h"
#include "picture/jpeg_decoder.h"
#include "picture/picture_errors.h"
#include "tests/support/image_compare.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageReader>
#include <algorithm>

namespace {

// Listed as good, but no whole picture can come of them.
QString refusedGood(const QString &path) {
    static const QHash<QString, QString> refused = {
        // Claims 64250 x 64250 pixels.
        {QStringLiteral("jpeg/gdk-pixbuf/issue205.jpg"), picture::errors::tooLarge()},
        // Stray bytes after the start of image, then no quantisation table.
        {QStringLiteral("jpeg/gdk-pixbuf/bug775218.jpg"), picture::errors::corrupt()},
        // A baseline file cut inside its only scan (Qt's reader shows it with grey rows).
        {QStringLiteral("jpeg/gdk-pixbuf/bug753605-atsize.jpg"), picture::errors::truncated()},
    };
    return refused.value(path);
}

QString checkGood(const contract::File &file, const picture::LoadResult &ours) {
    // Qt's reader turns the picture by its own reading of the Exif data, and tags it with the
    // profile it found, which we convert by.
    QBuffer buffer;
    buffer.setData(file.data);
    QImageReader reader(&buffer, "jpeg");
    reader.setAutoTransform(true);
    QImage qt = reader.read();
    if (qt.isNull())
        return QStringLiteral("Qt can't read it: ") + reader.errorString();
    if (reader.transformation() != QImageIOHandler::TransformationNone)
        qInfo("%s: turned by its Exif orientation", qPrintable(file.path));
    int tolerance = jpeg_test::toleranceAgainstQt(jpeg_test::componentCount(file.data));
    if (qt.colorSpace().isValid() && qt.format() != QImage::Format_Grayscale8) {
        qt.convertToColorSpace(QColorSpace::SRgb);
        // Our conversion's tables may round the other way.
        tolerance = std::max(tolerance, 1);
    }
    if (ours.picture->format != picture::Format::Jpeg)
        return QStringLiteral("not reported as a JPEG");
    if (ours.picture->size != qt.size() || ours.picture->image.size() != qt.size())
        return QStringLiteral("not the size Qt's reader gives");
    const testkit::Difference d = testkit::compare(ours.picture->image, qt);
    if (d.largest > tolerance)
        return QStringLiteral("differs from Qt's decode by %1").arg(d.largest);
    return {};
}

QString checkKeptBad(const contract::File &, const picture::LoadResult &result) {
    return result.picture->image.size() == result.picture->size
               ? QString()
               : QStringLiteral("the picture is not its natural size");
}

// A file cut below the top corner still shows that corner; the reverse never happens.
QString checkQuestionable(const contract::File &file, const picture::LoadResult &whole) {
    QBuffer buffer;
    buffer.setData(file.data);
    buffer.open(QIODevice::ReadOnly);
    const picture::LoadResult part = picture::jpeg::read(buffer, QSize(40, 30));
    if (!part.ok())
        return QStringLiteral("the corner is refused: ") + part.error;
    if (part.picture->size != whole.picture->size ||
        part.picture->image.size() != whole.picture->size.boundedTo(QSize(40, 30)))
        return QStringLiteral("the corner is not of the size shown");
    return {};
}

} // namespace

contract::Format contract::jpeg() {
    Format f("jpeg", picture::jpeg::read);
    f.forwardOnly = true;
    // A part that ends off every block edge.
    f.part = [](QSize size) {
        return QSize(size.width() / 2 + 3, size.height() / 3 + 1);
    };
    f.refusedGood = refusedGood;
    // Listed as bad, but whole pictures.
    f.keptBad = {
        {"jpeg/jpeg-decoder/crashtest/dc-predictor-overflow.jpg",
         "the overflow broke another decoder's arithmetic; libjpeg decodes the scan as written "
         "(its scan data ends at a marker and libjpeg takes the rest of that scan as zero, as "
         "Qt's reader does)"},
        {"jpeg/pillow/truncated_jpeg.jpg",
         "progressive, ends inside its last scan but after every bit libjpeg reads from it (it "
         "lacks its end marker)"},
    };
    f.checkGood = checkGood;
    f.checkKeptBad = checkKeptBad;
    f.checkQuestionable = checkQuestionable;
    return f;
}
