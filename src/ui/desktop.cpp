#include "ui/desktop.h"

#include "ui/mainwindow.h"

#include <QApplication>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <langinfo.h>

namespace morvik::ui {
namespace {

bool localeIsUtf8() {
    const char* codeset = nl_langinfo(CODESET);
    return codeset != nullptr && std::strcmp(codeset, "UTF-8") == 0;
}

} // namespace

void useUtf8Locale() {
    std::setlocale(LC_ALL, "");
    if (localeIsUtf8()) {
        return;
    }
    // Through the environment, because QApplication sets the locale from it
    // once more. LC_ALL outranks LC_CTYPE, so it is the one to change when set.
    const char* all = std::getenv("LC_ALL");
    ::setenv(all != nullptr && *all != '\0' ? "LC_ALL" : "LC_CTYPE", "C.UTF-8", 1);
    std::setlocale(LC_ALL, "");
}

int runDesktop(int argc, char** argv) {
    QApplication application(argc, argv);
    MainWindow window;
    window.show();
    return QApplication::exec();
}

} // namespace morvik::ui
