#pragma once

#include <QListView>
#include <QPointer>

class QWindow;

namespace controls {

// What the directory and file lists share: rows laid out as the window first comes on the
// screen rather than as it is shown.
//
// Qt lays a view's rows out as the view is shown, which measures their text (and so loads the
// fonts) before the window is mapped, although nothing of it is seen until the first paint. A
// list shown for the first time inside a window not yet on the screen waits for the window's
// first expose instead, which comes before that paint: then it lays its rows out and scrolls
// to its current row, as Qt would have done on showing it.
class ListBox : public QListView {
    Q_OBJECT
    // Points, fractions too; the rest of the font is the parent's.
    Q_PROPERTY(qreal fontSize READ fontSize WRITE setFontSize)

public:
    explicit ListBox(QWidget *parent = nullptr);

    qreal fontSize() const;
    void setFontSize(qreal points);

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool m_shownBefore = false;
    QPointer<QWindow> m_awaitedWindow;
};

} // namespace controls
