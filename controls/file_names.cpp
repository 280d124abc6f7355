#include "controls/file_names.h"

#include <string>

namespace controls {

namespace {

// Linux names are bytes, usually UTF-8; anything else shows as U+FFFD.
[[maybe_unused]] QString nativeText(const std::string &native) {
    return QString::fromUtf8(native.data(), qsizetype(native.size()));
}

// Windows names are UTF-16 already.
[[maybe_unused]] QString nativeText(const std::wstring &native) {
    return QString::fromStdWString(native);
}

} // namespace

QString displayName(const std::filesystem::path &path) {
    return nativeText(path.native());
}

} // namespace controls
