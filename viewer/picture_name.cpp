#include "viewer/picture_name.h"

#include "controls/file_names.h"

namespace viewer {

QString pictureName(const std::filesystem::path &file, QSize naturalSize) {
    return QStringLiteral("%1, %2 на %3 пиксела")
        .arg(controls::displayName(file.filename()))
        .arg(naturalSize.width())
        .arg(naturalSize.height());
}

} // namespace viewer
