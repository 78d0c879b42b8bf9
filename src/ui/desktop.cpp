// The desktop program's start: the application object, Qt's Japanese texts
// and the main window.
#include "ui/desktop.h"

#include "ui/mainwindow.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QUrl>

namespace morvik::ui {

bool loadQtTranslation(QTranslator& translator) {
    return translator.load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                           QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}

QString zipPathFromArgument(const QString& argument) {
    if (argument.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
        return QUrl(argument).toLocalFile();
    }
    return QDir::cleanPath(QFileInfo(argument).absoluteFilePath());
}

int runDesktop(int argc, char** argv, const std::string& zipArgument) {
    QApplication application(argc, argv);
    // The program's own texts are Japanese; Qt's dialogs and menus follow,
    // and so do the dates and file types the file dialog lists.
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    QTranslator qtTexts;
    if (loadQtTranslation(qtTexts)) {
        QApplication::installTranslator(&qtTexts);
    }
    MainWindow window;
    // Not on the last visible window closing: a window closed during a run
    // is hidden at once and closes for good only when the run has stopped.
    QApplication::setQuitOnLastWindowClosed(false);
    QObject::connect(&window, &MainWindow::closed, &application, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    if (!zipArgument.empty()) {
        window.setZipPath(zipPathFromArgument(QString::fromStdString(zipArgument)));
    }
    window.show();
    return QApplication::exec();
}

} // namespace morvik::ui
