#include "controls/image_box_accessible.h"

#include "controls/image_box.h"

namespace controls {

namespace {

QAccessibleInterface *imageBoxFactory(const QString &className, QObject *object) {
    if (!object || !object->isWidgetType())
        return nullptr;
    auto *widget = static_cast<QWidget *>(object);
    if (className == QLatin1String("controls::ImageBox"))
        return new ImageBoxAccessible(static_cast<ImageBox *>(widget));
    // A plain widget made a top-level window would read as a nameless filler; it is a frame.
    if (className == QLatin1String("QWidget") && widget->isWindow())
        return new QAccessibleWidget(widget, QAccessible::Window);
    return nullptr;
}

} // namespace

ImageBoxAccessible::ImageBoxAccessible(ImageBox *box)
    : QAccessibleWidget(box, QAccessible::Graphic) {}

ImageBox *ImageBoxAccessible::box() const {
    return static_cast<ImageBox *>(widget());
}

bool ImageBoxAccessible::pressable() const {
    return box()->isPressable();
}

QAccessible::Role ImageBoxAccessible::role() const {
    return box()->isPushButton() ? QAccessible::Button : QAccessible::Graphic;
}

QString ImageBoxAccessible::text(QAccessible::Text t) const {
    if (t == QAccessible::Accelerator)
        return box()->shortcut().toString(QKeySequence::NativeText);
    return QAccessibleWidget::text(t);
}

QStringList ImageBoxAccessible::actionNames() const {
    QStringList names = QAccessibleWidget::actionNames();
    if (pressable())
        names.append(pressAction());
    return names;
}

void ImageBoxAccessible::doAction(const QString &actionName) {
    if (actionName == pressAction() && pressable())
        box()->press();
    else
        QAccessibleWidget::doAction(actionName);
}

QStringList ImageBoxAccessible::keyBindingsForAction(const QString &actionName) const {
    if (actionName == pressAction() && !box()->shortcut().isEmpty())
        return {box()->shortcut().toString(QKeySequence::NativeText)};
    return QAccessibleWidget::keyBindingsForAction(actionName);
}

void installAccessibleFactory() {
    static const bool installed = [] {
        QAccessible::installFactory(imageBoxFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

} // namespace controls
