// Helpers of the window tests: controls found by their object names, the
// main window's caption, a recorder that works every modal dialog a window
// shows without a nested event loop, a run paused after a given document
// while the test acts as the user, and drops as a file manager makes them.
#pragma once

#include "inspection/runreport.h"
#include "inspection/standardnames.h"
#include "ui/modalrunner.h"

#include <QApplication>
#include <QDialog>
#include <QDropEvent>
#include <QList>
#include <QMessageBox>
#include <QMetaObject>
#include <QMimeData>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <atomic>
#include <cstddef>
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

// Pauses a run after its n-th document (counted from 1) and meanwhile runs
// act on the GUI thread, where the window handles events as usual; the run
// goes on when act returns. Set as the window's run observer.
class PauseAfterDocument : public inspection::RunObserver {
public:
    PauseAfterDocument(QObject& guiContext, std::size_t n, std::function<void()> act)
        : m_context(guiContext), m_n(n), m_act(std::move(act)) {}
    void documentChecked(const inspection::DocumentReport&) override {
        if (++m_checked == m_n) {
            QMetaObject::invokeMethod(&m_context, m_act, Qt::BlockingQueuedConnection);
            m_acted = true;
        }
    }
    bool acted() const { return m_acted; }

private:
    QObject& m_context;
    std::size_t m_n;
    std::function<void()> m_act;
    std::atomic<std::size_t> m_checked{0};
    std::atomic<bool> m_acted{false};
};

// What became of a drag over target, as a file manager makes one offering
// copy, move and link, with move proposed (Shift held).
struct DropResult {
    bool enterAccepted = false;
    bool dropAccepted = false;
    Qt::DropAction action = Qt::IgnoreAction;
};

// The drag enters target and, if it is taken, is dropped there. Sent through
// the application, as the window system's drag arrives.
inline DropResult dropOn(QWidget& target, const QMimeData& data) {
    const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
    const QPoint centre = target.rect().center();
    DropResult result;
    QDragEnterEvent enter(centre, offered, &data, Qt::LeftButton, Qt::ShiftModifier);
    QApplication::sendEvent(&target, &enter);
    result.enterAccepted = enter.isAccepted();
    if (!result.enterAccepted) {
        return result;
    }
    QDropEvent drop(centre, offered, &data, Qt::LeftButton, Qt::ShiftModifier);
    if (drop.proposedAction() != Qt::MoveAction) {
        return result; // the platform does not propose as asked: nothing taken
    }
    QApplication::sendEvent(&target, &drop);
    result.dropAccepted = drop.isAccepted();
    result.action = drop.dropAction();
    return result;
}

} // namespace morvik::test
