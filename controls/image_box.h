#pragma once

#include <QImage>
#include <QKeySequence>
#include <QPixmap>
#include <QWidget>

class QShortcut;

namespace controls {

// The image control: shows a picture, takes no focus, draws nothing where the picture is
// transparent, so its container shows through.
class ImageBox : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QPixmap picture READ pixmap WRITE setPicture)
    Q_PROPERTY(bool stretch READ stretch WRITE setStretch)
    Q_PROPERTY(bool border READ border WRITE setBorder)
    Q_PROPERTY(bool pushButton READ isPushButton WRITE setPushButton)
    Q_PROPERTY(bool screenPixels READ screenPixels WRITE setScreenPixels)
    Q_PROPERTY(QKeySequence shortcut READ shortcut WRITE setShortcut)
    Q_PROPERTY(QString toolTipStyleSheet READ toolTipStyleSheet WRITE setToolTipStyleSheet)

public:
    explicit ImageBox(QWidget *parent = nullptr);

    // Off: every picture assigned makes the control its natural size, one picture pixel to a
    // pixel of the screen however the window is scaled. On: the picture is scaled to the
    // control.
    bool stretch() const;
    void setStretch(bool on);

    // A sunken border two pixels wide round the picture; the control grows by it.
    bool border() const;
    void setBorder(bool on);

    // On: an unstretched picture shows one of its pixels to each pixel of the screen, also
    // where the screen is scaled (a photograph); off: it is scaled with the window's layout
    // (a button's picture).
    bool screenPixels() const;
    void setScreenPixels(bool on);

    // To assistive technology a push button, not a picture; still no focus, no pressed look.
    bool isPushButton() const;
    void setPushButton(bool on);

    // A key that clicks the control while its window is active; none by default.
    QKeySequence shortcut() const;
    void setShortcut(const QKeySequence &keys);

    // A style sheet for the control's tooltip ("QToolTip { font: 9.75pt ... }"), set on the
    // control as its first tooltip shows: a style sheet is applied by polishing the control,
    // which need not delay the window's coming on the screen.
    QString toolTipStyleSheet() const;
    void setToolTipStyleSheet(const QString &sheet);

    // Clicks the control as the mouse does, if it is enabled (the shortcut, a screen reader).
    void press();
    // Something listens to its clicks.
    bool isPressable() const;

    void setPicture(const QPixmap &pixmap);
    // `naturalSize` is the picture's full size when `image` holds only its top-left part.
    void setPicture(const QImage &image, QSize naturalSize = {});
    QPixmap pixmap() const;
    const QImage &image() const;
    QSize naturalSize() const;

signals:
    // A left press and release on the control.
    void click();
    // The second press of a double click, which is no click of its own.
    void doubleClick();

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    int borderWidth() const { return m_border ? 2 : 0; }
    QSize naturalOuterSize() const;

    QImage m_image;
    QSize m_naturalSize;
    bool m_stretch = false;
    bool m_border = false;
    bool m_pressed = false;
    bool m_pushButton = false;
    bool m_screenPixels = false;
    QShortcut *m_shortcut = nullptr;
    QString m_toolTipStyleSheet;
    bool m_toolTipStyled = false;
    // The picture as last drawn stretched, kept until the size or the picture changes.
    QImage m_scaled;
};

} // namespace controls
