#pragma once

#include <QRegularExpression>
#include <QString>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace controls {

// A file list's pattern: "*.bmp; *.jpg", entries separated by ';' with blanks around them
// ignored, '*' for any run of characters and '?' for one, case-insensitive. Empty, "*" and
// "*.*" take every file.
class FilePattern {
public:
    explicit FilePattern(const QString &pattern = {});

    bool matches(const std::filesystem::path &name) const;
    bool matches(std::basic_string_view<std::filesystem::path::value_type> name) const;

private:
    bool m_matchesAll = false;
    // "*.ext" entries, by far the usual ones, as lower-case ASCII endings (".ext") compared
    // with the name's own code units: no text conversion per file.
    std::vector<std::string> m_endings;
    std::vector<QRegularExpression> m_others;
};

} // namespace controls
