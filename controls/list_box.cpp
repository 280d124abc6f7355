#include "controls/list_box.h"

#include "controls/font_size.h"

#include <QEvent>
#include <QWindow>

namespace controls {

ListBox::ListBox(QWidget *parent)
    : QListView(parent) {}

qreal ListBox::fontSize() const {
    return controls::fontSize(*this);
}

void ListBox::setFontSize(qreal points) {
    controls::setFontSize(*this, points);
}

bool ListBox::event(QEvent *event) {
    if (event->type() == QEvent::Show && !m_shownBefore) {
        m_shownBefore = true;
        QWindow *window = this->window()->windowHandle();
        if (window && !window->isExposed()) {
            m_awaitedWindow = window;
            window->installEventFilter(this);
            // Past the view's own handling of Show, which lays the rows out.
            return QAbstractScrollArea::event(event);
        }
    }
    return QListView::event(event);
}

bool ListBox::eventFilter(QObject *watched, QEvent *event) {
    if (watched == m_awaitedWindow && event->type() == QEvent::Expose &&
        m_awaitedWindow->isExposed()) {
        m_awaitedWindow->removeEventFilter(this);
        m_awaitedWindow = nullptr;
        executeDelayedItemsLayout();
        if (hasAutoScroll() && currentIndex().isValid())
            scrollTo(currentIndex());
    }
    return QListView::eventFilter(watched, event);
}

} // namespace controls
