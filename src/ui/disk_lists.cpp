#include "ui/disk_lists.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QKeyEvent>
#include <QScrollBar>
#include <QStyle>

#include "platform/windows_paths.h"

namespace vantrel {
namespace {

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

// Normal form of a folder path: a drive's root keeps its backslash, other folders lose theirs.
std::string FolderPath(std::string path) {
    while (path.size() > 3 && path.ends_with('\\')) {
        path.pop_back();
    }
    if (path.size() == 2 && path[1] == ':') {
        path += '\\';
    }
    return path;
}

} // namespace

DriveList::DriveList(DiskBrowser& browser, QWidget* parent) : QComboBox(parent) {
    for (const auto& drive : browser.Drives()) {
        addItem(QApplication::style()->standardIcon(QStyle::SP_DriveHDIcon), Text(drive));
    }
    // The box is as wide as its widest drive, and the open list never shortens a drive to "...".
    setSizeAdjustPolicy(QComboBox::AdjustToContents);
    view()->setTextElideMode(Qt::ElideNone);
    connect(this, &QComboBox::currentIndexChanged, this, &DriveList::driveChanged);
}

void DriveList::setDrive(const std::string& drive) {
    const int index = findText(Text(drive), Qt::MatchFixedString);
    if (index >= 0) {
        setCurrentIndex(index);
    }
}

void DriveList::showPopup() {
    const int widest = view()->sizeHintForColumn(0) + 2 * view()->frameWidth() +
                       (count() > maxVisibleItems() ? view()->verticalScrollBar()->sizeHint().width() : 0);
    view()->setMinimumWidth(widest);
    QComboBox::showPopup();
}

DirectoryList::DirectoryList(DiskBrowser& browser, QWidget* parent) : QListWidget(parent), browser_(browser) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        setPath(item->data(Qt::UserRole).toString().toStdString());
    });
}

void DirectoryList::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && event->modifiers() == Qt::NoModifier) {
        const QListWidgetItem* item = currentItem();
        const std::string folder = item ? item->data(Qt::UserRole).toString().toStdString() : std::string();
        if (!folder.empty() && folder != path_) {
            setPath(folder);
            event->accept();
            return;
        }
        // On the open folder, Enter belongs to the window (OK in the placement dialog).
        event->ignore();
        return;
    }
    QListWidget::keyPressEvent(event);
}

void DirectoryList::setPath(const std::string& path) {
    const std::string normal = FolderPath(path);
    if (normal == path_) {
        return;
    }
    path_ = normal;
    Fill();
    emit pathChanged();
}

void DirectoryList::Fill() {
    clear();
    const QIcon open = QApplication::style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = QApplication::style()->standardIcon(QStyle::SP_DirClosedIcon);
    // The chain from the drive's root down to the open folder.
    std::vector<std::string> chain;
    for (std::string folder = path_;; folder = ParentWindowsPath(folder)) {
        chain.insert(chain.begin(), folder);
        if (ParentWindowsPath(folder) == folder) {
            break;
        }
    }
    int depth = 0;
    for (const auto& folder : chain) {
        const std::size_t slash = folder.rfind('\\');
        const std::string name = depth == 0 ? folder : folder.substr(slash + 1);
        auto* item = new QListWidgetItem(open, QString(depth * 2, QLatin1Char(' ')) + Text(name), this);
        item->setData(Qt::UserRole, Text(folder));
        if (folder == path_) {
            QFont bold = font();
            bold.setBold(true);
            item->setFont(bold);
            item->setToolTip(QStringLiteral("The open folder"));
        }
        ++depth;
    }
    setCurrentRow(count() - 1);
    for (const auto& name : browser_.Subfolders(path_)) {
        auto* item = new QListWidgetItem(closed, QString(depth * 2, QLatin1Char(' ')) + Text(name), this);
        item->setData(Qt::UserRole, Text(JoinWindowsPath(path_, name)));
    }
}

FileList::FileList(DiskBrowser& browser, QWidget* parent) : QListWidget(parent), browser_(browser) {
    setSelectionMode(QAbstractItemView::SingleSelection);
}

void FileList::setPath(const std::string& path) {
    path_ = FolderPath(path);
    clear();
    for (const auto& name : browser_.Files(path_)) {
        addItem(Text(name));
    }
}

std::string FileList::fileName() const {
    const auto selected = selectedItems();
    return selected.isEmpty() ? std::string() : selected.front()->text().toStdString();
}

} // namespace vantrel
