#include "viewer/interface_font.h"

#include "picture/metafile/metafile_fonts.h"

namespace viewer {

void loadInterfaceFont() {
    // Metafile text in Tahoma is drawn with the same files.
    picture::metafile::loadFaceFiles();
}

} // namespace viewer
