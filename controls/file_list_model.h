#pragma once

#include "controls/name_order.h"

#include <QAbstractListModel>

#include <filesystem>
#include <vector>

namespace controls {

// The names in the file list, in the order shown.
class FileListModel : public QAbstractListModel {
    Q_OBJECT

public:
    using QAbstractListModel::QAbstractListModel;

    void setNames(std::vector<ListedName> names);
    std::filesystem::path nameAt(int row) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;

private:
    std::vector<ListedName> m_names;
};

} // namespace controls
