#include "controls/dir_list_box.h"

#include "controls/dir_list_model.h"
#include "controls/drive_list_box.h"
#include "controls/file_names.h"
#include "controls/folder_item_delegate.h"
#include "controls/folder_reader.h"

#include <QKeyEvent>

#include <optional>
#include <system_error>

namespace controls {

namespace {

// "/a/b/../c/" -> "/a/c": one spelling per folder, so the ancestors and the per-drive memory
// don't see two folders where there is one.
std::filesystem::path normalFolder(const std::filesystem::path &folder) {
    std::filesystem::path normal = folder.lexically_normal();
    if (!normal.has_filename() && normal != normal.root_path())
        normal = normal.parent_path();
    return normal;
}

// The visible subfolders of `folder`, sorted; nothing when it can't be listed.
std::optional<std::vector<ListedName>> readSubfolders(const std::filesystem::path &folder) {
    std::vector<ListedName> subfolders;
    FolderReader reader(folder);
    while (reader.next()) {
        const FolderReader::NameView name = reader.name();
        if (name.empty() || name.front() == '.' || !reader.isFolder())
            continue;
        std::filesystem::path bareName(name);
        QString text = displayName(bareName);
        subfolders.push_back({std::move(bareName), std::move(text)});
    }
    if (reader.failed())
        return std::nullopt;
    sortByName(subfolders);
    return subfolders;
}

} // namespace

DirListBox::DirListBox(QWidget *parent)
    : ListBox(parent)
    , m_model(new DirListModel(this)) {
    setModel(m_model);
    setItemDelegate(new FolderItemDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Every row is one line high; the width is the view's. Lets a folder with thousands of
    // subfolders lay out without measuring each name.
    setUniformItemSizes(true);
    connect(this, &QAbstractItemView::doubleClicked, this, &DirListBox::openRow);
}

std::filesystem::path DirListBox::path() const {
    return m_path;
}

std::filesystem::path DirListBox::driveRoot() const {
    return m_driveRoot;
}

bool DirListBox::setPath(const std::filesystem::path &folder) {
    if (folder.empty())
        return false;
    std::filesystem::path target;
    if (folder.is_absolute()) {
        target = folder;
    } else if (!m_path.empty()) {
        target = m_path / folder;
    } else {
        std::error_code error;
        target = std::filesystem::absolute(folder, error);
        if (error)
            return false;
    }
    target = normalFolder(target);

    // A folder reached from the open drive stays on it, even inside a file system mounted
    // below that drive's root: the ancestors keep going up to the root the drive list shows.
    std::filesystem::path driveRoot;
    if (!m_driveRoot.empty() && driveOf({Drive{m_driveRoot, {}}}, target))
        driveRoot = m_driveRoot;
    else if (const std::vector<Drive> drives = systemDrives();
             const Drive *d = driveOf(drives, target))
        driveRoot = normalFolder(d->root);
    else
        driveRoot = target.root_path();
    return open(target, driveRoot);
}

bool DirListBox::openDrive(const std::filesystem::path &driveRoot) {
    if (driveRoot.empty())
        return false;
    const std::filesystem::path root = normalFolder(driveRoot);
    if (const auto last = m_lastFolder.find(root);
        last != m_lastFolder.end() && open(last->second, root))
        return true;
    return open(root, root);
}

bool DirListBox::open(const std::filesystem::path &folder, const std::filesystem::path &driveRoot) {
    std::optional<std::vector<ListedName>> subfolders = readSubfolders(folder);
    if (!subfolders)
        return false;
    const bool changed = folder != m_path;
    m_path = folder;
    m_driveRoot = driveRoot;
    m_lastFolder[driveRoot] = folder;
    m_model->show(driveRoot, folder, std::move(*subfolders));
    const QModelIndex open = m_model->index(m_model->openRow());
    setCurrentIndex(open);
    // A hidden list scrolls to its current row as it is shown.
    if (isVisible())
        scrollTo(open);
    if (changed)
        emit change();
    return true;
}

void DirListBox::openRow(const QModelIndex &index) {
    if (!index.isValid())
        return;
    const std::filesystem::path folder = m_model->folderAt(index.row());
    if (open(folder, m_driveRoot))
        return;
    // The folder may have gone away since it was listed: show the open folder as it is now,
    // highlighted again, and tell why nothing opened.
    if (!open(m_path, m_driveRoot))
        setCurrentIndex(m_model->index(m_model->openRow()));
    emit openFailed(folder);
}

void DirListBox::keyPressEvent(QKeyEvent *event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        currentIndex().isValid()) {
        openRow(currentIndex());
        event->accept();
        return;
    }
    ListBox::keyPressEvent(event);
}

} // namespace controls
