#include "controls/name_order.h"

#include <QCollator>
#include <QLocale>

#include <algorithm>
#include <numeric>

namespace controls {

namespace {

QCollator nameCollator() {
    QLocale locale;
    // The "C" locale compares code points and ignores numeric mode, which would put "a10"
    // before "a2" for anyone who starts the program without a language set.
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English, QLocale::UnitedStates);
    QCollator collator(locale);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(true);
    return collator;
}

} // namespace

void sortByName(std::vector<ListedName> &names) {
    if (names.size() < 2)
        return;
    const QCollator collator = nameCollator();
    // A sort key per name, made once: comparing keys is a byte comparison, while comparing
    // through the collator would redo the collation work on every one of n log n comparisons.
    std::vector<QCollatorSortKey> keys;
    keys.reserve(names.size());
    for (const ListedName &entry : names)
        keys.push_back(collator.sortKey(entry.text));

    std::vector<std::size_t> order(names.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        if (const int byKey = keys[a].compare(keys[b]); byKey != 0)
            return byKey < 0;
        // Names a person can't tell apart ("a" and "A", or two names whose odd bytes show
        // alike) still get one order, the same every time.
        return names[a].name.native() < names[b].name.native();
    });

    std::vector<ListedName> sorted;
    sorted.reserve(names.size());
    for (const std::size_t index : order)
        sorted.push_back(std::move(names[index]));
    names = std::move(sorted);
}

} // namespace controls
