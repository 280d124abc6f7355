#pragma once

#include <QtGlobal>

class QWidget;

namespace controls {

// The size of a control's font in points, which a form gives in fractions (8.25, 9.75): the
// size is set on the control and the rest of the font comes from its parent, as a font property
// of the form does. Done without a style sheet, which would polish every control inside.
qreal fontSize(const QWidget &widget);
void setFontSize(QWidget &widget, qreal points);

} // namespace controls
