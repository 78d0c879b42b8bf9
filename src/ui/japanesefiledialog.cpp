// The file dialog's list in Japanese.
#include "ui/japanesefiledialog.h"

#include <QFileDialog>
#include <QFileSystemModel>
#include <QIdentityProxyModel>
#include <QLocale>

namespace morvik::ui {
namespace {

// The file system model words a folder's type through Qt's translations and
// writes dates in the system's locale; both come out English unless the
// system speaks Japanese.
class JapaneseListing : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex& index, int role) const override {
        enum Column { name, size, type, modified };
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (role != Qt::DisplayRole || files == nullptr ||
            (index.column() != type && index.column() != modified)) {
            return QIdentityProxyModel::data(index, role);
        }
        const QFileInfo info = files->fileInfo(mapToSource(index));
        if (index.column() == type) {
            if (info.isDir()) {
                return QStringLiteral("フォルダ");
            }
            return QIdentityProxyModel::data(index, role);
        }
        return QLocale(QLocale::Japanese, QLocale::Japan)
            .toString(files->lastModified(mapToSource(index)), QLocale::ShortFormat);
    }
};

} // namespace

void speakJapanese(QFileDialog& dialog) {
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setProxyModel(new JapaneseListing(&dialog));
}

} // namespace morvik::ui
