// One inspection run through the desktop program's main window, headless:
// the same work as `morvik-inspect ZIPFILE`, for comparing the two.
//
//   QT_QPA_PLATFORM=offscreen desktop_bench ZIPFILE
//
// Exit status: 0 when the run filled the result log, 1 otherwise.
#include "platform/utf8locale.h"
#include "ui/desktop.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char** argv) {
    morvik::platform::useUtf8Locale();
    if (argc != 2) {
        std::fprintf(stderr, "usage: desktop_bench ZIPFILE\n");
        return 64;
    }
    // Keep the user's own settings out of it.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    morvik::ui::MainWindow window;
    window.show();
    window.findChild<QLineEdit*>(QStringLiteral("TX_XmlFnm"))->setText(QString::fromUtf8(argv[1]));
    window.Command1_Click();
    const auto* log = window.findChild<QPlainTextEdit*>(QStringLiteral("TX_Msg"));
    return log->document()->isEmpty() ? 1 : 0;
}
