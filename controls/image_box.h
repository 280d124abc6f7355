#pragma once

#include <QImage>
#include <QPixmap>
#include <QWidget>

namespace controls {

// The image control: shows a picture, takes no focus, draws nothing where the picture is
// transparent, so its container shows through.
class ImageBox : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QPixmap picture READ pixmap WRITE setPicture)
    Q_PROPERTY(bool stretch READ stretch WRITE setStretch)
    Q_PROPERTY(bool border READ border WRITE setBorder)

public:
    explicit ImageBox(QWidget *parent = nullptr);

    // Off: every picture assigned makes the control its natural size. On: the picture is
    // scaled to the control.
    bool stretch() const;
    void setStretch(bool on);

    // A sunken border two pixels wide round the picture; the control grows by it.
    bool border() const;
    void setBorder(bool on);

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
    // The picture as last drawn stretched, kept until the size or the picture changes.
    QImage m_scaled;
};

} // namespace controls
