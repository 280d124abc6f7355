#include "image_compare.h"

#include <QPainter>

#include <algorithm>
#include <cstdlib>

namespace testkit {

static QImage laidOut(const QImage &image, Blend blend) {
    if (blend == Blend::Straight)
        return image.convertToFormat(QImage::Format_ARGB32);
    if (blend == Blend::Premultiplied)
        return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage out(image.size(), QImage::Format_RGB32);
    out.fill(Qt::white);
    QPainter painter(&out);
    painter.drawImage(0, 0, image);
    return out;
}

Difference compare(const QImage &actual, const QImage &expected, int tolerance, Blend blend) {
    Difference d;
    d.actualSize = actual.size();
    d.expectedSize = expected.size();
    if (actual.size() != expected.size() || actual.isNull())
        return d;
    d.sameSize = true;
    const QImage a = laidOut(actual, blend), b = laidOut(expected, blend);
    double sum = 0;
    qint64 far = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto *la = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        const auto *lb = reinterpret_cast<const QRgb *>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = la[x], q = lb[x];
            const int dr = std::abs(qRed(p) - qRed(q));
            const int dg = std::abs(qGreen(p) - qGreen(q));
            const int db = std::abs(qBlue(p) - qBlue(q));
            sum += dr + dg + db;
            if (std::max({dr, dg, db}) > 64)
                ++far;
            if (blend == Blend::Straight && qAlpha(p) == 0 && qAlpha(q) == 0)
                continue;
            const int largest = std::max({dr, dg, db, std::abs(qAlpha(p) - qAlpha(q))});
            d.largest = std::max(d.largest, largest);
            if (largest > tolerance && d.differing++ == 0) {
                d.first = {x, y};
                d.firstActual = p;
                d.firstExpected = q;
            }
        }
    }
    const double pixels = double(a.width()) * a.height();
    d.meanAbsolute = sum / (3 * pixels);
    d.farShare = far / pixels;
    return d;
}

QString Difference::describe() const {
    if (!sameSize)
        return QStringLiteral("size %1x%2, expected %3x%4")
            .arg(actualSize.width())
            .arg(actualSize.height())
            .arg(expectedSize.width())
            .arg(expectedSize.height());
    if (differing == 0)
        return {};
    return QStringLiteral("%1 pixels differ; first: pixel (%2,%3) is #%4, expected #%5")
        .arg(differing)
        .arg(first.x())
        .arg(first.y())
        .arg(firstActual, 8, 16, QChar('0'))
        .arg(firstExpected, 8, 16, QChar('0'));
}

} // namespace testkit
