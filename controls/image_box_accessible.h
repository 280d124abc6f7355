#pragma once

#include <QAccessibleWidget>

namespace controls {

class ImageBox;

// An image control as assistive technology sees it: a push button or a picture, with a press
// action (and its shortcut) when a click on it does something.
class ImageBoxAccessible : public QAccessibleWidget {
public:
    explicit ImageBoxAccessible(ImageBox *box);

    QAccessible::Role role() const override;
    QString text(QAccessible::Text t) const override;
    QStringList actionNames() const override;
    void doAction(const QString &actionName) override;
    QStringList keyBindingsForAction(const QString &actionName) const override;

private:
    ImageBox *box() const;
    bool pressable() const;
};

// Makes Qt's accessibility use the above for every image control, and read a plain widget
// that is a top-level window as a window; once is enough.
void installAccessibleFactory();

} // namespace controls
