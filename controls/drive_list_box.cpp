#include "controls/drive_list_box.h"

#include "controls/file_names.h"
#include "controls/font_size.h"

#include <QEvent>

#include <algorithm>

#include <cwctype>

namespace controls {

namespace {

bool sameElement(const std::filesystem::path &a, const std::filesystem::path &b) {
    // Drive letters ("C:" and "c:") name the same drive.
    if (a.has_root_name() && b.has_root_name()) {
        const auto &x = a.native();
        const auto &y = b.native();
        return x.size() == y.size() &&
               std::equal(x.begin(), x.end(), y.begin(), [](auto p, auto q) {
                   return std::towlower(wint_t(p)) == std::towlower(wint_t(q));
               });
    }
    return a == b;
}

// How many elements of `path` the root covers, or -1 when `path` is not inside it. Compared
// element by element, so "/home2" is not inside "/home".
int depthWithin(const std::filesystem::path &root, const std::filesystem::path &path) {
    const std::filesystem::path r = root.lexically_normal();
    const std::filesystem::path p = path.lexically_normal();
    auto at = p.begin();
    int depth = 0;
    for (const std::filesystem::path &element : r) {
        if (element.empty()) // the trailing separator of "/media/usb/"
            continue;
        while (at != p.end() && at->empty())
            ++at;
        if (at == p.end() || !sameElement(element, *at))
            return -1;
        ++at;
        ++depth;
    }
    return depth;
}

QString entryText(const Drive &drive) {
    const QString root = displayName(drive.root);
    return drive.label.isEmpty() ? root : root + QStringLiteral(" [") + drive.label + u']';
}

} // namespace

const Drive *driveOf(const std::vector<Drive> &drives, const std::filesystem::path &path) {
    const Drive *best = nullptr;
    int bestDepth = -1;
    for (const Drive &drive : drives) {
        if (drive.root.empty())
            continue;
        if (const int depth = depthWithin(drive.root, path); depth > bestDepth) {
            best = &drive;
            bestDepth = depth;
        }
    }
    return best;
}

DriveListBox::DriveListBox(QWidget *parent)
    : QComboBox(parent) {
    connect(this, &QComboBox::currentIndexChanged, this, &DriveListBox::onCurrentIndexChanged);
}

qreal DriveListBox::fontSize() const {
    return controls::fontSize(*this);
}

void DriveListBox::setFontSize(qreal points) {
    controls::setFontSize(*this, points);
}

std::filesystem::path DriveListBox::drive() const {
    return m_drive;
}

void DriveListBox::setDrive(const std::filesystem::path &path) {
    const std::filesystem::path before = m_drive;
    if (!m_drivesGiven) {
        m_drives = systemDrives();
        fillList();
    }
    std::error_code error;
    const std::filesystem::path absolute =
        path.empty() ? path : std::filesystem::absolute(path, error);
    // A path on no known drive leaves the display as it was.
    if (const Drive *found = error ? nullptr : driveOf(m_drives, absolute))
        showDrive(found->root);
    if (m_drive != before)
        emit change();
}

void DriveListBox::setDrives(std::vector<Drive> drives) {
    m_drives = std::move(drives);
    m_drivesGiven = true;
    fillList();
}

const std::vector<Drive> &DriveListBox::drives() const {
    return m_drives;
}

void DriveListBox::fillList() {
    m_updating = true;
    clear();
    for (const Drive &drive : m_drives)
        addItem(entryText(drive));
    m_updating = false;
    // The drive on display stays, if the machine still has it.
    showDrive(m_drive);
}

void DriveListBox::changeEvent(QEvent *event) {
    // At a change of font Qt makes the drop-down, if it has not yet, and lays its rows out
    // again. Before the box is first shown (the form setting its font) that waits until the
    // drop-down first opens, so that the window reaches the screen sooner; the box's own size
    // is measured afresh as it is first shown.
    if (event->type() == QEvent::FontChange && !m_shownBefore) {
        m_popupFontPending = true;
        QWidget::changeEvent(event);
        return;
    }
    QComboBox::changeEvent(event);
}

void DriveListBox::showEvent(QShowEvent *event) {
    m_shownBefore = true;
    QComboBox::showEvent(event);
}

void DriveListBox::showPopup() {
    if (m_popupFontPending) {
        m_popupFontPending = false;
        QEvent fontChange(QEvent::FontChange);
        QComboBox::changeEvent(&fontChange);
    }
    QComboBox::showPopup();
}

void DriveListBox::showDrive(const std::filesystem::path &root) {
    int index = -1;
    for (std::size_t i = 0; i < m_drives.size(); ++i) {
        if (!root.empty() && m_drives[i].root == root)
            index = int(i);
    }
    m_drive = index < 0 ? std::filesystem::path() : root;
    m_updating = true;
    setCurrentIndex(index);
    m_updating = false;
}

void DriveListBox::onCurrentIndexChanged(int index) {
    if (m_updating || index < 0 || std::size_t(index) >= m_drives.size())
        return;
    if (m_drives[std::size_t(index)].root == m_drive)
        return;
    m_drive = m_drives[std::size_t(index)].root;
    emit change();
}

} // namespace controls
