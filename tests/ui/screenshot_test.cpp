// A picture of the main window after a whole run. As a test it checks that
// the run's log and status text were drawn into the picture; with
// "--screenshot OUT.png ZIPFILE" it is the tool behind scripts/screenshot.sh.
#include "support/archives.h"
#include "support/testutil.h"
#include "support/windows.h"
#include "ui/logedit.h"
#include "ui/mainwindow.h"
#include "ui/statusbar.h"

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <iostream>

using morvik::ui::MainWindow;

namespace {

using morvik::test::control;

// Shows the window, runs an inspection of zip through Command1 and takes the
// window's picture as the screen shows it. Message boxes are written to
// standard error and closed, so that nothing waits for a user.
QImage pictureAfterRun(MainWindow& window, const QString& zip) {
    window.setModalRunner([](QDialog& dialog) {
        if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
            std::cerr << box->windowTitle().toStdString() << ": " << box->text().toStdString()
                      << '\n';
        }
        return int(QDialog::Rejected);
    });
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        return {};
    }
    control<QLineEdit>(window, "TX_XmlFnm")->setText(zip);
    QTest::mouseClick(control<QPushButton>(window, "Command1"), Qt::LeftButton);
    // Let the last repaints reach the screen.
    QTest::qWait(200);
    QImage picture = window.screen()->grabWindow(window.winId()).toImage();
    // Platforms that cannot read the screen back get the widgets' own rendering.
    if (picture.isNull() || picture.size() != window.size() * window.devicePixelRatio()) {
        picture = window.grab().toImage();
    }
    return picture;
}

// Pixels much darker than the background: drawn text.
int inkIn(const QImage& picture, const QRect& area) {
    int ink = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            ink += qGray(picture.pixel(x, y)) < 96 ? 1 : 0;
        }
    }
    return ink;
}

} // namespace

class ScreenshotTest : public QObject {
    Q_OBJECT

private slots:
    void pictureShowsTheLogAndStatus();
};

void ScreenshotTest::pictureShowsTheLogAndStatus() {
    morvik::test::TempDir folder;
    auto files = morvik::test::standardFiles();
    files.push_back({"DATA/doc001.xml", morvik::test::dataDocument("1")});
    files.push_back({"DATA/doc002.xml", morvik::test::dataDocument("x")});
    const auto zip = morvik::test::makeArchive(folder.path(), "1310000001_picture", files);

    MainWindow window;
    const QImage picture = pictureAfterRun(window, QString::fromStdString(zip.string()));
    QCOMPARE(picture.size(), window.size() * window.devicePixelRatio());

    auto* log = control<QPlainTextEdit>(window, "TX_Msg");
    auto* status = control<morvik::ui::StatusBar>(window, "ST_Msg");
    QVERIFY(!log->toPlainText().isEmpty());
    // The log's view and panel 1 hold text; the picture shows it.
    const QRect logArea = log->viewport()->geometry().translated(log->geometry().topLeft());
    const QRect panelArea = status->panel(1)->geometry().translated(status->geometry().topLeft());
    QVERIFY2(inkIn(picture, logArea) > 500, "no text in the log's picture");
    QVERIFY2(inkIn(picture, panelArea.adjusted(2, 2, -2, -2)) > 50,
             "no text in the status bar's picture");
    // The picture can be written and read back.
    const QString file = QString::fromStdString((folder.path() / "window.png").string());
    QVERIFY(picture.save(file));
    QCOMPARE(QImage(file).size(), picture.size());
}

int main(int argc, char** argv) {
    // "--screenshot OUT.png ZIPFILE --first-failure": the log at its first
    // failure, as F8 from the top shows it.
    const bool firstFailure = argc == 5 && std::strcmp(argv[4], "--first-failure") == 0;
    if ((argc == 4 || firstFailure) && std::strcmp(argv[1], "--screenshot") == 0) {
        QApplication application(argc, argv);
        MainWindow window;
        QImage picture = pictureAfterRun(window, QString::fromUtf8(argv[3]));
        if (firstFailure) {
            if (auto* log = window.findChild<morvik::ui::LogEdit*>()) {
                log->moveCursor(QTextCursor::Start);
                log->showNextFailure();
                QApplication::processEvents();
                picture = window.grab().toImage();
            }
        }
        if (picture.isNull() || !picture.save(QString::fromUtf8(argv[2]))) {
            std::cerr << "no picture written\n";
            return 1;
        }
        return 0;
    }
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    QApplication application(argc, argv);
    ScreenshotTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "screenshot_test.moc"
