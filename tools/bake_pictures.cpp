// Build-time tool: bakes pictures into C++ source as the raw images QImageReader reads from
// them, so the program shows them at start-up without decoding or loading image plugins.
//
//   bake_pictures OUTPUT.cpp PICTURE...
//
// Every image of a file is kept (all sizes of an icon); each picture is known by its file name.
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QStringList>

#include <cstdio>

namespace {

int fail(const QString &why) {
    std::fprintf(stderr, "bake_pictures: %s\n", qPrintable(why));
    return 1;
}

void appendBytes(QByteArray &out, const uchar *bytes, qsizetype size) {
    for (qsizetype i = 0; i < size; ++i) {
        out += QByteArray::number(bytes[i]);
        out += i % 24 == 23 ? ",\n" : ",";
    }
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 2)
        return fail(QStringLiteral("usage: bake_pictures OUTPUT.cpp PICTURE..."));

    QByteArray out = "// Made by tools/bake_pictures at build time; do not edit.\n"
                     "#include \"resources/baked_pictures.h\"\n\n"
                     "namespace resources::baked {\nnamespace {\n\n";
    QByteArray table;
    int n = 0;
    for (const QString &file : args.mid(1)) {
        QImageReader reader(file);
        QByteArray images;
        int count = 0;
        // An icon holds several images, read as QIcon reads them; other pictures give their
        // first.
        const bool icon = reader.format() == "ico";
        QImage image;
        while (reader.read(&image)) {
            const QByteArray id = "p" + QByteArray::number(n) + "_" + QByteArray::number(count);
            QByteArray colours = "nullptr";
            if (!image.colorTable().isEmpty()) {
                colours = id + "_colours";
                out += "const unsigned int " + colours + "[] = {";
                for (const QRgb rgb : image.colorTable())
                    out += "0x" + QByteArray::number(rgb, 16) + "u,";
                out += "};\n";
            }
            out += "alignas(4) const unsigned char " + id + "_bits[] = {\n";
            appendBytes(out, image.constBits(), image.sizeInBytes());
            out += "};\n";
            images += QByteArray("    {") + QByteArray::number(image.width()) + ", " +
                      QByteArray::number(image.height()) + ", " +
                      QByteArray::number(image.bytesPerLine()) + ", " +
                      QByteArray::number(int(image.format())) + ", " + colours + ", " +
                      QByteArray::number(image.colorCount()) + ", " + id + "_bits},\n";
            ++count;
            if (!icon || !reader.jumpToNextImage())
                break;
        }
        if (count == 0)
            return fail(QStringLiteral("%1: %2").arg(file, reader.errorString()));
        out += "const Image p" + QByteArray::number(n) + "[] = {\n" + images + "};\n\n";
        table += "    {\"" + QFileInfo(file).fileName().toUtf8() + "\", p" + QByteArray::number(n) +
                 ", " + QByteArray::number(count) + "},\n";
        ++n;
    }
    out += "} // namespace\n\nconst Picture pictures[] = {\n" + table +
           "};\nconst int pictureCount = " + QByteArray::number(n) +
           ";\n\n} // namespace resources::baked\n";

    QFile output(args.at(0));
    if (!output.open(QIODevice::WriteOnly) || output.write(out) != out.size() || !output.flush())
        return fail(QStringLiteral("%1: %2").arg(args.at(0), output.errorString()));
    return 0;
}
