// How the windows show a dialog modally. The windows hand every modal dialog
// (file dialog, message box, folder picker) to one ModalRunner; the program
// uses exec(), tests put a function in its place that works the dialog as a
// user would and returns its result, so no nested event loop waits for input.
#pragma once

#include <QDialog>

#include <functional>

namespace morvik::ui {

using ModalRunner = std::function<int(QDialog&)>;

inline int execModal(QDialog& dialog) {
    return dialog.exec();
}

} // namespace morvik::ui
