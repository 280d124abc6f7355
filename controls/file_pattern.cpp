#include "controls/file_pattern.h"

#include "controls/file_names.h"

#include <QStringList>

namespace controls {

namespace {

bool isPlainAsciiEnding(QStringView rest) {
    if (rest.isEmpty())
        return false;
    for (const QChar c : rest) {
        if (c.unicode() > 0x7f || c == u'*' || c == u'?')
            return false;
    }
    return true;
}

char lowerAscii(unsigned c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : char(c);
}

template <typename Unit>
bool endsWithAscii(std::basic_string_view<Unit> name, const std::string &lowerEnding) {
    if (name.size() < lowerEnding.size())
        return false;
    const std::size_t start = name.size() - lowerEnding.size();
    for (std::size_t i = 0; i < lowerEnding.size(); ++i) {
        const auto unit = static_cast<std::make_unsigned_t<Unit>>(name[start + i]);
        if (unit > 0x7f || lowerAscii(unit) != lowerEnding[i])
            return false;
    }
    return true;
}

QRegularExpression wildcardExpression(const QString &entry) {
    QString expression;
    for (const QChar c : entry) {
        if (c == u'*')
            expression += QStringLiteral(".*");
        else if (c == u'?')
            expression += u'.';
        else
            expression += QRegularExpression::escape(QString(c));
    }
    return QRegularExpression(QRegularExpression::anchoredPattern(expression),
                              QRegularExpression::CaseInsensitiveOption |
                                  QRegularExpression::DotMatchesEverythingOption);
}

} // namespace

FilePattern::FilePattern(const QString &pattern) {
    for (const QString &part : pattern.split(u';')) {
        const QString entry = part.trimmed();
        if (entry.isEmpty())
            continue;
        if (entry == u"*" || entry == u"*.*") {
            m_matchesAll = true;
        } else if (entry.startsWith(u'*') && isPlainAsciiEnding(QStringView(entry).mid(1))) {
            m_endings.push_back(entry.mid(1).toLower().toStdString());
        } else {
            m_others.push_back(wildcardExpression(entry));
        }
    }
    if (m_endings.empty() && m_others.empty())
        m_matchesAll = true;
}

bool FilePattern::matches(const std::filesystem::path &name) const {
    return matches(std::basic_string_view<std::filesystem::path::value_type>(name.native()));
}

bool FilePattern::matches(std::basic_string_view<std::filesystem::path::value_type> name) const {
    if (m_matchesAll)
        return true;
    for (const std::string &ending : m_endings) {
        if (endsWithAscii(name, ending))
            return true;
    }
    if (m_others.empty())
        return false;
    const QString text = displayName(std::filesystem::path(name));
    for (const QRegularExpression &expression : m_others) {
        if (expression.match(text).hasMatch())
            return true;
    }
    return false;
}

} // namespace controls
