#include "resources/resources.h"

#include "resources/baked_pictures.h"

#include <QImage>
#include <QtGlobal>

// Q_INIT_RESOURCE must stand outside any namespace.
static void initResources() {
    Q_INIT_RESOURCE(resources);
}

namespace resources {

namespace {

const baked::Picture *bakedPicture(QStringView name) {
    for (int i = 0; i < baked::pictureCount; ++i) {
        if (name == QLatin1StringView(baked::pictures[i].name))
            return &baked::pictures[i];
    }
    return nullptr;
}

// The pixmap of an image as read, as QPixmap and QIcon make it from a file.
QPixmap pixmapOf(const baked::Image &baked) {
    // Wraps the baked bytes; the pixmap is a converted copy.
    QImage image(baked.bits, baked.width, baked.height, baked.bytesPerLine,
                 QImage::Format(baked.format));
    if (baked.colourCount > 0)
        image.setColorTable(QList<QRgb>(baked.colours, baked.colours + baked.colourCount));
    return QPixmap::fromImage(image);
}

} // namespace

void load() {
    static const bool loaded = (initResources(), true);
    (void)loaded;
}

QIcon windowIcon() {
    QIcon icon;
    if (const baked::Picture *picture = bakedPicture(u"glimra.ico")) {
        for (int i = 0; i < picture->imageCount; ++i)
            icon.addPixmap(pixmapOf(picture->images[i]));
    }
    return icon;
}

QPixmap picture(QStringView name) {
    const baked::Picture *picture = bakedPicture(name);
    return picture ? pixmapOf(picture->images[0]) : QPixmap();
}

} // namespace resources
