#pragma once

// The pictures of the main window's first frame as QImageReader reads them, baked into the
// program at build time by tools/bake_pictures: no decoding and no search of Qt's image
// plugins at start-up.
namespace resources::baked {

struct Image {
    int width;
    int height;
    int bytesPerLine;
    int format; // QImage::Format
    const unsigned int *colours;
    int colourCount;
    const unsigned char *bits;
};

// One file of resources/: its name there and every image QImageReader reads from it.
struct Picture {
    const char *name;
    const Image *images;
    int imageCount;
};

extern const Picture pictures[];
extern const int pictureCount;

} // namespace resources::baked
