#pragma once

#include <QString>

// What a person is told when a picture can't be shown. Short Bulgarian sentences.
namespace picture::errors {

inline QString notFound() {
    return QStringLiteral("Файлът не съществува.");
}
inline QString cannotOpen() {
    return QStringLiteral("Файлът не може да бъде отворен.");
}
inline QString notAFile() {
    return QStringLiteral("Това не е обикновен файл.");
}
inline QString unsupported() {
    return QStringLiteral("Форматът на файла не се поддържа.");
}
inline QString corrupt() {
    return QStringLiteral("Файлът е повреден.");
}
inline QString truncated() {
    return QStringLiteral("Файлът е непълен.");
}
inline QString tooLarge() {
    return QStringLiteral("Изображението е твърде голямо.");
}
inline QString empty() {
    return QStringLiteral("Файлът е празен.");
}

} // namespace picture::errors
