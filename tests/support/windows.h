// Helpers of the window tests: controls found by their object names, the
// main window's caption, and a recorder that works every modal dialog a
// window shows without a nested event loop.
#pragma once

#include "inspection/standardnames.h"
#include "ui/modalrunner.h"

#include <QDialog>
#include <QList>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>

namespace morvik::test {

inline const QString kCaption = QString::fromUtf8(inspection::kMainCaption);

// A control of window by its object name (direct children only, as the
// windows place their controls).
template <class T> T* control(QWidget& window, const char* name) {
    return window.findChild<T*>(QLatin1String(name), Qt::FindDirectChildrenOnly);
}

// Records every modal dialog a window shows: message boxes are recorded and
// closed with OK; any other dialog is handed to onDialog, which by default
// notes its class in others and turns it down.
struct DialogRecorder {
    struct Box {
        QString text;
        QString caption;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
    };
    QList<Box> boxes;
    QStringList others;
    int dialogs = 0;
    std::function<int(QDialog&)> onDialog = [this](QDialog& dialog) {
        others << dialog.metaObject()->className();
        dialog.reject();
        return int(QDialog::Rejected);
    };

    ui::ModalRunner runner() {
        return [this](QDialog& dialog) {
            ++dialogs;
            if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
                boxes.append(
                    {box->text(), box->windowTitle(), box->icon(), box->standardButtons()});
                return int(QMessageBox::Ok);
            }
            return onDialog(dialog);
        };
    }
};

} // namespace morvik::test
