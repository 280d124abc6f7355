#include "controls/font_size.h"

#include <QFont>
#include <QWidget>

namespace controls {

qreal fontSize(const QWidget &widget) {
    return widget.font().pointSizeF();
}

void setFontSize(QWidget &widget, qreal points) {
    QFont font;
    font.setPointSizeF(points);
    widget.setFont(font);
}

} // namespace controls
