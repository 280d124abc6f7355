#pragma once

#include <QSize>
#include <QString>

#include <filesystem>

namespace viewer {

// What a screen reader says for the shown picture: "мост.bmp, 640 на 480 пиксела".
QString pictureName(const std::filesystem::path &file, QSize naturalSize);

} // namespace viewer
