// Build-time tool: writes chosen sizes of an ICO file as PNG files, so the desktop icons are
// always the program's own icon and never a second copy kept by hand.
//
//   ico_to_png ICON.ico SIZE OUTPUT.png [SIZE OUTPUT.png ...]
//
// For each size it takes the deepest image of exactly that size; a size the ICO lacks is an
// error, because a scaled stand-in would quietly blur the desktop icon.
#include <QCoreApplication>
#include <QImage>
#include <QImageReader>
#include <QList>
#include <QStringList>

#include <cstdio>
#include <map>

namespace {

int fail(const QString &why) {
    std::fprintf(stderr, "ico_to_png: %s\n", qPrintable(why));
    return 1;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 3 || args.size() % 2 == 0)
        return fail(
            QStringLiteral("usage: ico_to_png ICON.ico SIZE OUTPUT.png [SIZE OUTPUT.png ...]"));

    QImageReader reader(args.at(0), "ico");
    if (!reader.canRead())
        return fail(QStringLiteral("%1: %2").arg(args.at(0), reader.errorString()));

    // Size in pixels -> the deepest image of that size found so far, with its depth.
    std::map<int, std::pair<int, QImage>> deepest;
    for (int i = 0; i < reader.imageCount(); ++i) {
        if (!reader.jumpToImage(i))
            return fail(QStringLiteral("%1: cannot reach image %2").arg(args.at(0)).arg(i));
        const int depth = QImage::toPixelFormat(reader.imageFormat()).bitsPerPixel();
        const QImage image = reader.read();
        if (image.isNull())
            return fail(QStringLiteral("%1: image %2: %3")
                            .arg(args.at(0))
                            .arg(i)
                            .arg(reader.errorString()));
        if (image.width() != image.height())
            continue;
        auto found = deepest.find(image.width());
        if (found == deepest.end() || found->second.first < depth)
            deepest[image.width()] = {depth, image};
    }

    // Every size is found before anything is written, so a failed build leaves no icons
    // that a later build would take as up to date.
    QList<std::pair<QImage, QString>> outputs;
    for (qsizetype i = 1; i < args.size(); i += 2) {
        bool isNumber = false;
        const int size = args.at(i).toInt(&isNumber);
        if (!isNumber || size <= 0)
            return fail(QStringLiteral("not a size: %1").arg(args.at(i)));
        const auto found = deepest.find(size);
        if (found == deepest.end())
            return fail(QStringLiteral("%1 has no %2x%2 image").arg(args.at(0)).arg(size));
        outputs.append({found->second.second, args.at(i + 1)});
    }
    for (const auto &[image, file] : outputs) {
        if (!image.save(file, "png"))
            return fail(QStringLiteral("cannot write %1").arg(file));
    }
    return 0;
}
