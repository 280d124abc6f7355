#pragma once

#include "controls/name_order.h"

#include <QAbstractListModel>
#include <QIcon>

#include <filesystem>
#include <vector>

namespace controls {

// The rows of the directory list: the open folder's ancestors from the drive's root, the open
// folder, then its subfolders.
class DirListModel : public QAbstractListModel {
    Q_OBJECT

public:
    // How many steps a row is indented.
    static constexpr int DepthRole = Qt::UserRole + 1;

    explicit DirListModel(QObject *parent = nullptr);

    // Shows `folder`, which lies within `driveRoot`, with these subfolders (sorted).
    void show(const std::filesystem::path &driveRoot, const std::filesystem::path &folder,
              std::vector<ListedName> subfolders);

    int openRow() const;
    std::filesystem::path folderAt(int row) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;

private:
    struct Ancestor {
        std::filesystem::path folder;
        QString text;
    };

    std::vector<Ancestor> m_ancestors; // the last one is the open folder
    std::vector<ListedName> m_subfolders;
    // Loaded when first asked for.
    mutable QIcon m_openIcon;
    mutable QIcon m_closedIcon;
};

} // namespace controls
