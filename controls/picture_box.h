#pragma once

#include <QFrame>

namespace controls {

// A picture box used as a container. Docked left, it keeps its left and top at 0 and its height
// equal to its parent's client height, whatever the parent's size.
class PictureBox : public QFrame {
    Q_OBJECT
    Q_PROPERTY(bool dockLeft READ dockLeft WRITE setDockLeft)
    // Points, fractions too; the rest of the font is the parent's.
    Q_PROPERTY(qreal fontSize READ fontSize WRITE setFontSize)

public:
    explicit PictureBox(QWidget *parent = nullptr);

    bool dockLeft() const;
    void setDockLeft(bool on);

    qreal fontSize() const;
    void setFontSize(qreal points);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void dock();

    bool m_dockLeft = false;
};

} // namespace controls
