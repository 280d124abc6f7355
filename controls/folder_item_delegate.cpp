#include "controls/folder_item_delegate.h"

#include "controls/dir_list_model.h"

namespace controls {

int FolderItemDelegate::indent(const QStyleOptionViewItem &option, const QModelIndex &index) {
    // Half an icon per step, as the classic list draws it.
    const int step = qMax(4, option.decorationSize.width() / 2);
    return index.data(DirListModel::DepthRole).toInt() * step;
}

void FolderItemDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                               const QModelIndex &index) const {
    QStyleOptionViewItem shifted = option;
    shifted.rect.setLeft(option.rect.left() + indent(option, index));
    QStyledItemDelegate::paint(painter, shifted, index);
}

QSize FolderItemDelegate::sizeHint(const QStyleOptionViewItem &option,
                                   const QModelIndex &index) const {
    return QStyledItemDelegate::sizeHint(option, index) + QSize(indent(option, index), 0);
}

} // namespace controls
