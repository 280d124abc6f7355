#include "controls/file_list_model.h"

namespace controls {

void FileListModel::setNames(std::vector<ListedName> names) {
    beginResetModel();
    m_names = std::move(names);
    endResetModel();
}

std::filesystem::path FileListModel::nameAt(int row) const {
    if (row < 0 || std::size_t(row) >= m_names.size())
        return {};
    return m_names[std::size_t(row)].name;
}

int FileListModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : int(m_names.size());
}

QVariant FileListModel::data(const QModelIndex &index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || std::size_t(index.row()) >= m_names.size())
        return {};
    return m_names[std::size_t(index.row())].text;
}

} // namespace controls
