// The folder list Dir1: the folders of one drive as a tree-like list with an open folder.
#include "ui/folderlist.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QStyle>

namespace morvik::ui {

FolderList::FolderList(QWidget* parent) : QTreeWidget(parent) {
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setIndentation(12);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformRowHeights(true);
    connect(this, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* entry) { openEntry(entry); });
}

bool FolderList::isReadableFolder(const QString& folder) {
    const QFileInfo info(folder);
    return info.isDir() && info.isReadable() && info.isExecutable();
}

bool FolderList::setPath(const QString& folder) {
    const QString cleaned = QDir::cleanPath(QDir(folder).absolutePath());
    if (!isReadableFolder(cleaned)) {
        return false;
    }
    const bool changed = cleaned != m_path;
    m_path = cleaned;
    fill();
    if (changed) {
        emit pathChanged();
    }
    return true;
}

void FolderList::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // Taken here, so that the window does not treat Enter as a press of
        // its buttons as well.
        openEntry(currentItem());
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void FolderList::drawBranches(QPainter*, const QRect&, const QModelIndex&) const {
    // Every entry stands open for good: no expand or collapse markers.
}

void FolderList::openEntry(QTreeWidgetItem* entry) {
    if (entry == nullptr) {
        return;
    }
    const QString folder = entry->data(0, PathRole).toString();
    if (!setPath(folder)) {
        emit openFailed(folder);
    }
}

void FolderList::fill() {
    clear();
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirIcon);
    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);

    // The root, then each ancestor one level deeper, down to the open folder.
    auto* entry = new QTreeWidgetItem(this, {QStringLiteral("/")});
    entry->setData(0, PathRole, QStringLiteral("/"));
    entry->setIcon(0, openIcon);
    QString built;
    for (const QString& name : m_path.split(u'/', Qt::SkipEmptyParts)) {
        built += u'/' + name;
        entry = new QTreeWidgetItem(entry, {name});
        entry->setData(0, PathRole, built);
        entry->setIcon(0, openIcon);
    }
    QTreeWidgetItem* open = entry;

    // Sub-folders by name; hidden ones (".name") are left out, as a file
    // browser leaves them out by default.
    const QFileInfoList subFolders = QDir(m_path).entryInfoList(
        QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase | QDir::LocaleAware);
    for (const QFileInfo& sub : subFolders) {
        auto* child = new QTreeWidgetItem(open, {sub.fileName()});
        child->setData(0, PathRole, QDir::cleanPath(sub.absoluteFilePath()));
        child->setIcon(0, closedIcon);
    }
    expandAll();
    setCurrentItem(open);
    scrollToItem(open, QAbstractItemView::PositionAtTop);
}

} // namespace morvik::ui
