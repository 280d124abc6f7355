#include "dialogs/number_text.h"

#include <cmath>

namespace dialogs {

QString numberText(float value) {
    const QChar sign = std::signbit(value) && value != 0.0f ? u'-' : u' ';
    const double magnitude = std::fabs(double(value));
    if (std::isnan(value))
        return sign + QStringLiteral("NaN");
    if (std::isinf(value))
        return sign + QStringLiteral("Inf");
    if (magnitude < 1e7 && magnitude == std::floor(magnitude))
        return sign + QString::number(qint64(magnitude));
    // Seven significant digits are all a single-precision number holds.
    QString digits = QString::number(magnitude, 'g', 7).toUpper();
    if (digits.startsWith(QStringLiteral("0.")))
        digits.remove(0, 1); // " .5", as such sizes were always written
    return sign + digits;
}

} // namespace dialogs
