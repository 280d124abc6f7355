#include "controls/file_list_box.h"

#include "controls/file_list_model.h"
#include "controls/file_names.h"
#include "controls/file_pattern.h"
#include "controls/folder_reader.h"

#include <QKeyEvent>
#include <QMouseEvent>

#include <optional>
#include <system_error>

namespace controls {

namespace {

// The visible regular files of `folder` whose names match, sorted; nothing when the folder
// can't be listed.
std::optional<std::vector<ListedName>> readFiles(const std::filesystem::path &folder,
                                                 const FilePattern &pattern) {
    std::vector<ListedName> files;
    FolderReader reader(folder);
    while (reader.next()) {
        const FolderReader::NameView name = reader.name();
        if (name.empty() || name.front() == '.')
            continue;
        // The name first: it costs nothing, while the type of a link costs a stat. Links are
        // followed; folders, pipes, sockets, devices and dangling links are not pictures.
        if (!pattern.matches(name) || !reader.isRegularFile())
            continue;
        std::filesystem::path bareName(name);
        QString text = displayName(bareName);
        files.push_back({std::move(bareName), std::move(text)});
    }
    if (reader.failed())
        return std::nullopt;
    sortByName(files);
    return files;
}

bool isMoveKey(int key) {
    switch (key) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        return true;
    default:
        return false;
    }
}

} // namespace

FileListBox::FileListBox(QWidget *parent)
    : ListBox(parent)
    , m_model(new FileListModel(this)) {
    setModel(m_model);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformItemSizes(true);
}

QString FileListBox::pattern() const {
    return m_pattern;
}

void FileListBox::setPattern(const QString &pattern) {
    if (pattern == m_pattern)
        return;
    m_pattern = pattern;
    if (!m_path.empty() && !setPath(m_path))
        m_model->setNames({});
}

std::filesystem::path FileListBox::path() const {
    return m_path;
}

bool FileListBox::setPath(const std::filesystem::path &folder) {
    if (folder.empty())
        return false;
    std::filesystem::path target = folder;
    if (!target.is_absolute()) {
        std::error_code error;
        target = m_path.empty() ? std::filesystem::absolute(folder, error) : m_path / folder;
        if (error)
            return false;
    }
    std::optional<std::vector<ListedName>> files = readFiles(target, FilePattern(m_pattern));
    if (!files)
        return false;
    m_path = target.lexically_normal();
    m_model->setNames(std::move(*files));
    return true;
}

std::filesystem::path FileListBox::fileName() const {
    return m_model->nameAt(chosenRow());
}

bool FileListBox::choose(const std::filesystem::path &name) {
    for (int row = 0; row < m_model->rowCount(); ++row) {
        if (m_model->nameAt(row) == name) {
            const QModelIndex index = m_model->index(row);
            setCurrentIndex(index);
            scrollTo(index);
            return true;
        }
    }
    return false;
}

void FileListBox::mousePressEvent(QMouseEvent *event) {
    if (event->button() == Qt::LeftButton)
        m_choosing = indexAt(event->position().toPoint()).isValid();
    ListBox::mousePressEvent(event);
}

void FileListBox::mouseDoubleClickEvent(QMouseEvent *event) {
    // The first click of the pair already chose the file; the second adds nothing. (When the
    // second press lands on another entry, the view treats it as a press and it chooses.)
    if (event->button() == Qt::LeftButton)
        m_choosing = false;
    ListBox::mouseDoubleClickEvent(event);
}

void FileListBox::mouseReleaseEvent(QMouseEvent *event) {
    const bool chose = event->button() == Qt::LeftButton && m_choosing;
    if (event->button() == Qt::LeftButton)
        m_choosing = false;
    ListBox::mouseReleaseEvent(event);
    // Where the selection ended: a press may have been dragged to another entry.
    if (chose && !fileName().empty())
        emit click();
}

void FileListBox::keyPressEvent(QKeyEvent *event) {
    const int before = chosenRow();
    if (before < 0 && isMoveKey(event->key()) && m_model->rowCount() > 0) {
        // Nothing chosen yet: a new folder, or the unselected cursor Qt puts on the first entry
        // when the list gains focus. Moving from there must not skip the first file: End
        // chooses the last, every other move the first.
        setCurrentIndex(m_model->index(event->key() == Qt::Key_End ? m_model->rowCount() - 1 : 0));
        event->accept();
    } else {
        // A name typed with nothing chosen is looked for from the top, not after the cursor.
        if (before < 0 && !event->text().isEmpty())
            selectionModel()->clearCurrentIndex();
        ListBox::keyPressEvent(event);
    }
    if (const int after = chosenRow(); after >= 0 && after != before)
        emit click();
}

int FileListBox::chosenRow() const {
    const QModelIndexList chosen = selectionModel()->selectedIndexes();
    return chosen.isEmpty() ? -1 : chosen.first().row();
}

} // namespace controls
