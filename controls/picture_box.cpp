#include "controls/picture_box.h"

#include "controls/font_size.h"

#include <QEvent>

namespace controls {

PictureBox::PictureBox(QWidget *parent)
    : QFrame(parent) {
    // Its own parent changes arrive here too, so docking can follow the box to a new parent.
    installEventFilter(this);
}

bool PictureBox::dockLeft() const {
    return m_dockLeft;
}

void PictureBox::setDockLeft(bool on) {
    if (on == m_dockLeft)
        return;
    m_dockLeft = on;
    if (QWidget *parent = parentWidget()) {
        if (on) {
            parent->installEventFilter(this);
            dock();
        } else {
            parent->removeEventFilter(this);
        }
    }
}

qreal PictureBox::fontSize() const {
    return controls::fontSize(*this);
}

void PictureBox::setFontSize(qreal points) {
    controls::setFontSize(*this, points);
}

bool PictureBox::eventFilter(QObject *watched, QEvent *event) {
    if (watched == this) {
        if (event->type() == QEvent::ParentAboutToChange && parentWidget()) {
            parentWidget()->removeEventFilter(this);
        } else if (event->type() == QEvent::ParentChange && m_dockLeft && parentWidget()) {
            parentWidget()->installEventFilter(this);
            dock();
        }
    } else if (m_dockLeft && watched == parentWidget() && event->type() == QEvent::Resize) {
        dock();
    }
    return QFrame::eventFilter(watched, event);
}

void PictureBox::dock() {
    if (const QWidget *parent = parentWidget())
        setGeometry(0, 0, width(), parent->contentsRect().height());
}

} // namespace controls
