// The folder list Dir1 of the schema folder picker: the open folder with its
// ancestors above it and its sub-folders below it, as an indented tree.
#pragma once

#include <QTreeWidget>

namespace morvik::ui {

// The path is the open folder: "/" for the root, any other folder without a
// closing "/". A folder opens on double-click or Enter; highlighting an entry
// alone changes nothing.
class FolderList : public QTreeWidget {
    Q_OBJECT
public:
    // Each entry holds its full path under this role.
    static constexpr int PathRole = Qt::UserRole;

    explicit FolderList(QWidget* parent = nullptr);

    QString path() const { return m_path; }

    // Opens folder and lists it anew. When the folder cannot be read nothing
    // changes and false is returned.
    bool setPath(const QString& folder);

    // A folder that exists and whose entries can be listed.
    static bool isReadableFolder(const QString& folder);

signals:
    // The open folder is another one now.
    void pathChanged();
    // The user tried to open a folder that cannot be read.
    void openFailed(const QString& folder);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void drawBranches(QPainter* painter, const QRect& rect,
                      const QModelIndex& index) const override;

private:
    void openEntry(QTreeWidgetItem* entry);
    void fill();

    QString m_path;
};

} // namespace morvik::ui
