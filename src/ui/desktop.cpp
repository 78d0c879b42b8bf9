// The desktop program's start: the application object and the main window.
#include "ui/desktop.h"

#include "ui/mainwindow.h"

#include <QApplication>

namespace morvik::ui {

int runDesktop(int argc, char** argv) {
    QApplication application(argc, argv);
    MainWindow window;
    window.show();
    return QApplication::exec();
}

} // namespace morvik::ui
