#include "controls/dir_list_model.h"

#include "controls/file_names.h"

#include <QApplication>
#include <QFile>
#include <QStyle>

namespace controls {

namespace {

// The classic folder pictures that Qt carries. Asking the style instead looks the icons up in
// the desktop's icon theme first, which parses the theme's index files and costs a quarter of
// the program's start-up; the style's answer is the fallback for a Qt built without them.
QIcon folderIcon(const char *state, QStyle::StandardPixmap fallback) {
    QIcon icon;
    for (const int size : {16, 32, 128})
        icon.addFile(QStringLiteral(":/qt-project.org/styles/commonstyle/images/dir%1-%2.png")
                         .arg(QLatin1String(state))
                         .arg(size),
                     QSize(size, size));
    if (!QFile::exists(
            QStringLiteral(":/qt-project.org/styles/commonstyle/images/dirclosed-16.png")))
        return QApplication::style()->standardIcon(fallback);
    return icon;
}

} // namespace

DirListModel::DirListModel(QObject *parent)
    : QAbstractListModel(parent) {}

void DirListModel::show(const std::filesystem::path &driveRoot, const std::filesystem::path &folder,
                        std::vector<ListedName> subfolders) {
    beginResetModel();
    m_ancestors.clear();
    m_ancestors.push_back({driveRoot, displayName(driveRoot)});
    std::filesystem::path walked = driveRoot;
    for (const std::filesystem::path &element : folder.lexically_relative(driveRoot)) {
        if (element.empty() || element == ".")
            continue;
        walked /= element;
        m_ancestors.push_back({walked, displayName(element)});
    }
    m_subfolders = std::move(subfolders);
    endResetModel();
}

int DirListModel::openRow() const {
    return int(m_ancestors.size()) - 1;
}

std::filesystem::path DirListModel::folderAt(int row) const {
    if (row < 0 || row >= rowCount())
        return {};
    const auto r = std::size_t(row);
    if (r < m_ancestors.size())
        return m_ancestors[r].folder;
    return m_ancestors.back().folder / m_subfolders[r - m_ancestors.size()].name;
}

int DirListModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : int(m_ancestors.size() + m_subfolders.size());
}

QVariant DirListModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const auto row = std::size_t(index.row());
    const bool isAncestor = row < m_ancestors.size();
    switch (role) {
    case Qt::DisplayRole:
        return isAncestor ? m_ancestors[row].text : m_subfolders[row - m_ancestors.size()].text;
    case Qt::DecorationRole:
        // Read as the list is first drawn, not as the window is built: the pictures are six
        // files to decode, and the window goes on the screen sooner without them.
        if (isAncestor) {
            if (m_openIcon.isNull())
                m_openIcon = folderIcon("open", QStyle::SP_DirOpenIcon);
            return m_openIcon;
        }
        if (m_closedIcon.isNull())
            m_closedIcon = folderIcon("closed", QStyle::SP_DirClosedIcon);
        return m_closedIcon;
    case DepthRole:
        return isAncestor ? int(row) : int(m_ancestors.size());
    case Qt::AccessibleDescriptionRole:
        // A list can't tell a screen reader how deep an entry lies; its description can.
        return QStringLiteral("ниво %1").arg(isAncestor ? row + 1 : m_ancestors.size() + 1);
    default:
        return {};
    }
}

} // namespace controls
