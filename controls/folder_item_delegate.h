#pragma once

#include <QStyledItemDelegate>

namespace controls {

// Draws a directory list row indented by its depth, so the folders read as a path going down.
class FolderItemDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    static int indent(const QStyleOptionViewItem &option, const QModelIndex &index);
};

} // namespace controls
