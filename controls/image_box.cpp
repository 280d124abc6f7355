#include "controls/image_box.h"

#include "controls/image_box_accessible.h"

#include <QMetaMethod>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>
#include <QStyleOptionFrame>

#include <cmath>

namespace controls {

ImageBox::ImageBox(QWidget *parent)
    : QWidget(parent) {
    setFocusPolicy(Qt::NoFocus);
    // Left unfilled on purpose: where the picture is transparent, the container shows.
    setAutoFillBackground(false);
    installAccessibleFactory();
}

bool ImageBox::screenPixels() const {
    return m_screenPixels;
}

void ImageBox::setScreenPixels(bool on) {
    if (on == m_screenPixels)
        return;
    m_screenPixels = on;
    if (!m_stretch && !m_image.isNull())
        resize(naturalOuterSize());
    update();
}

bool ImageBox::isPushButton() const {
    return m_pushButton;
}

void ImageBox::setPushButton(bool on) {
    m_pushButton = on;
}

QKeySequence ImageBox::shortcut() const {
    return m_shortcut ? m_shortcut->key() : QKeySequence();
}

void ImageBox::setShortcut(const QKeySequence &keys) {
    delete m_shortcut;
    m_shortcut = nullptr;
    if (keys.isEmpty())
        return;
    m_shortcut = new QShortcut(keys, this, this, &ImageBox::press, Qt::WindowShortcut);
}

bool ImageBox::isPressable() const {
    return isSignalConnected(QMetaMethod::fromSignal(&ImageBox::click));
}

void ImageBox::press() {
    if (isEnabled())
        emit click();
}

bool ImageBox::stretch() const {
    return m_stretch;
}

void ImageBox::setStretch(bool on) {
    if (on == m_stretch)
        return;
    m_stretch = on;
    m_scaled = {};
    if (!m_stretch && !m_image.isNull())
        resize(naturalOuterSize());
    update();
}

bool ImageBox::border() const {
    return m_border;
}

void ImageBox::setBorder(bool on) {
    if (on == m_border)
        return;
    m_border = on;
    m_scaled = {};
    if (!m_stretch && !m_image.isNull())
        resize(naturalOuterSize());
    update();
}

QSize ImageBox::naturalOuterSize() const {
    // One picture pixel to one pixel of the screen: on a screen scaled by 1.5, a picture 20
    // pixels wide takes 13.33 of the window's pixels; round up so no column is cut off.
    const qreal ratio = m_screenPixels ? devicePixelRatioF() : 1.0;
    const QSize logical(int(std::ceil(m_naturalSize.width() / ratio - 1e-9)),
                        int(std::ceil(m_naturalSize.height() / ratio - 1e-9)));
    return logical + QSize(2 * borderWidth(), 2 * borderWidth());
}

void ImageBox::setPicture(const QPixmap &pixmap) {
    setPicture(pixmap.toImage());
}

void ImageBox::setPicture(const QImage &image, QSize naturalSize) {
    m_image = image;
    m_scaled = {};
    m_naturalSize = image.isNull()                                    ? QSize()
                    : naturalSize.isValid() && !naturalSize.isEmpty() ? naturalSize
                                                                      : image.size();
    // An empty picture leaves the control where and as large as it was, drawing nothing.
    if (!m_stretch && !m_image.isNull())
        resize(naturalOuterSize());
    updateGeometry();
    update();
}

QPixmap ImageBox::pixmap() const {
    return QPixmap::fromImage(m_image);
}

const QImage &ImageBox::image() const {
    return m_image;
}

QSize ImageBox::naturalSize() const {
    return m_naturalSize;
}

QString ImageBox::toolTipStyleSheet() const {
    return m_toolTipStyleSheet;
}

void ImageBox::setToolTipStyleSheet(const QString &sheet) {
    m_toolTipStyleSheet = sheet;
    // Once a tooltip has shown, a new sheet takes effect at once.
    if (m_toolTipStyled)
        setStyleSheet(sheet);
}

bool ImageBox::event(QEvent *event) {
    if (event->type() == QEvent::ToolTip && !m_toolTipStyled && !m_toolTipStyleSheet.isEmpty()) {
        m_toolTipStyled = true;
        setStyleSheet(m_toolTipStyleSheet);
    }
    return QWidget::event(event);
}

void ImageBox::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    if (m_border) {
        QStyleOptionFrame frame;
        frame.initFrom(this);
        frame.frameShape = QFrame::WinPanel;
        frame.state |= QStyle::State_Sunken;
        frame.lineWidth = frame.midLineWidth = 1;
        style()->drawControl(QStyle::CE_ShapedFrame, &frame, &painter, this);
        painter.translate(borderWidth(), borderWidth());
    }
    if (m_image.isNull())
        return;
    // Only the part of the image inside the natural size is the picture; a partly decoded
    // picture is the top-left part of it, and the rest stays unpainted.
    const QRect part = m_image.rect() & QRect(QPoint(0, 0), m_naturalSize);
    if (part.isEmpty())
        return;
    if (!m_stretch) {
        // Drawn at the screen's own pixels, not enlarged with the window's layout.
        QImage picture = m_image;
        if (m_screenPixels)
            picture.setDevicePixelRatio(devicePixelRatioF());
        painter.drawImage(QPointF(0, 0), picture, QRectF(part));
        return;
    }
    const QSize inner = size() - QSize(2 * borderWidth(), 2 * borderWidth());
    const QSize target(int(qint64(part.width()) * inner.width() / m_naturalSize.width()),
                       int(qint64(part.height()) * inner.height() / m_naturalSize.height()));
    if (target.isEmpty())
        return;
    if (m_scaled.size() != target)
        m_scaled =
            m_image.copy(part).scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    painter.drawImage(QPoint(0, 0), m_scaled);
}

void ImageBox::mousePressEvent(QMouseEvent *event) {
    if (event->button() == Qt::LeftButton)
        m_pressed = true;
    QWidget::mousePressEvent(event);
}

void ImageBox::mouseDoubleClickEvent(QMouseEvent *event) {
    // Not a press: the first press and release of the pair were the click, and this one's
    // release must not make a second.
    if (event->button() == Qt::LeftButton) {
        m_pressed = false;
        event->accept();
        emit doubleClick();
        return;
    }
    QWidget::mouseDoubleClickEvent(event);
}

void ImageBox::mouseReleaseEvent(QMouseEvent *event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    const bool clicked = m_pressed && rect().contains(event->position().toPoint());
    m_pressed = false;
    QWidget::mouseReleaseEvent(event);
    if (clicked)
        emit click();
}

} // namespace controls
