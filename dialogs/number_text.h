#pragma once

#include <QString>

namespace dialogs {

// The decimal text of a number as the information dialog writes sizes: a blank for zero or more
// (a minus sign for less) in front, no thousands separator, "." as the decimal point whatever the
// locale, and plain digits for whole numbers of up to seven digits: " 640", "-12", " 2.5".
QString numberText(float value);

} // namespace dialogs
