// A run in the main window while the user goes on working: the inputs locked
// against keys, clicks and drops, the progress bar, closing the window
// midway, the completion text, and the message when no file browser starts.
// Runs are paused after a chosen document while the test acts as the user.
#include "inspection/inspectionrun.h"
#include "support/archives.h"
#include "support/runharness.h"
#include "support/testutil.h"
#include "support/windows.h"
#include "ui/backgroundrun.h"
#include "ui/mainwindow.h"
#include "ui/qsettingsstore.h"
#include "ui/statusbar.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <filesystem>

using morvik::ui::MainWindow;
namespace fs = std::filesystem;

namespace {

using morvik::test::control;
using morvik::test::DialogRecorder;
using morvik::test::kCaption;
using morvik::test::PauseAfterDocument;

QLineEdit* zipBox(MainWindow& window) {
    return control<QLineEdit>(window, "TX_XmlFnm");
}
QLineEdit* schemaBox(MainWindow& window) {
    return control<QLineEdit>(window, "TX_Schima");
}
QPlainTextEdit* logBox(MainWindow& window) {
    return control<QPlainTextEdit>(window, "TX_Msg");
}
QPushButton* button(MainWindow& window, const char* name) {
    return control<QPushButton>(window, name);
}
morvik::ui::StatusBar* statusBar(MainWindow& window) {
    return control<morvik::ui::StatusBar>(window, "ST_Msg");
}

// Index, summary, three data documents (the second invalid) and a claim:
// six documents, the third and fourth of them in DATA.
fs::path makeArchive(const fs::path& folder, const std::string& name = "1310000001_run") {
    auto files = morvik::test::standardFiles();
    files.push_back({"DATA/doc001.xml", morvik::test::dataDocument("1")});
    files.push_back({"DATA/doc002.xml", morvik::test::dataDocument("not a number")});
    files.push_back({"DATA/doc003.xml", morvik::test::dataDocument("3")});
    files.push_back({"CLAIMS/clm001.xml", morvik::test::claimDocument()});
    return morvik::test::makeArchive(folder, name, files);
}

// The core's log of a run on zip that stops after `documents` documents
// (all of them when 0), as the box shows it. Run on a copy of the archive in
// a folder of its own, so that both runs see their own extracted copy, and
// then renamed to the window's paths.
QString coreLog(const fs::path& zip, std::size_t documents = 0, const QString& schemaText = {}) {
    morvik::test::TempDir copy;
    const fs::path copied = copy.path() / zip.filename();
    fs::copy_file(zip, copied);
    struct Count : morvik::inspection::RunObserver {
        std::size_t checked = 0;
        void documentChecked(const morvik::inspection::DocumentReport&) override { ++checked; }
    } count;
    morvik::test::RunHarness harness;
    harness.receptionCheck = true; // as the window runs it by default
    harness.observer = &count;
    harness.stopRequested = [&] { return documents != 0 && count.checked >= documents; };
    harness.run(copied.string(), schemaText.toStdString());
    return QString::fromStdString(harness.log.text)
        .replace(QString::fromStdString(copy.folder()),
                 QString::fromStdString(zip.parent_path().string() + "/"))
        .replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QString savedSetting(const char* key) {
    morvik::ui::QSettingsStore store;
    return QString::fromStdString(
        store.read(MainWindow::executableName().toStdString(), kCaption.toStdString(), key));
}

QMimeData* urls(const QList<QUrl>& list) {
    auto* data = new QMimeData;
    data->setUrls(list);
    return data;
}

} // namespace

class DesktopRunTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void inputsLockedDuringRun_data();
    void inputsLockedDuringRun();
    void progressDuringRun();
    void progressBar_data();
    void progressBar();

    void closingDuringRun_data();
    void closingDuringRun();
    void nothingPopsUpAfterClosing();

    void completionText_data();
    void completionText();

    void noFileBrowser_data();
    void noFileBrowser();

private:
    std::unique_ptr<morvik::test::TempDir> m_folder;
    QByteArray m_path;
    QString m_startFolder;
};

void DesktopRunTest::init() {
    // Every window starts with empty inputs, whatever an earlier test saved.
    morvik::ui::QSettingsStore store;
    for (const char* key : {"TX_XmlFnm", "TX_Schima"}) {
        store.save(MainWindow::executableName().toStdString(), kCaption.toStdString(), key, "");
    }
    m_folder = std::make_unique<morvik::test::TempDir>();
    m_path = qgetenv("PATH");
    m_startFolder = QDir::currentPath();
}

void DesktopRunTest::cleanup() {
    qputenv("PATH", m_path);
    QDir::setCurrent(m_startFolder);
}

void DesktopRunTest::inputsLockedDuringRun_data() {
    // What the user does while the run is paused after its third document.
    QTest::addColumn<QString>("doing");
    QTest::newRow("typing where the focus is") << "type";
    QTest::newRow("pasting and cutting") << "paste";
    QTest::newRow("clicking into both boxes and typing") << "click and type";
    QTest::newRow("tabbing through the window and typing") << "tab and type";
    QTest::newRow("buttons by mouse, Space, Enter and directly") << "buttons";
    QTest::newRow("dropping a ZIP file and a folder") << "drop";
}

void DesktopRunTest::inputsLockedDuringRun() {
    QFETCH(QString, doing);
    const fs::path zip = makeArchive(m_folder->path());
    const QString zipPath = QString::fromStdString(zip.string());
    // A schema folder of its own.
    morvik::test::writeFile(m_folder->path() / "xsd" / "ix08_V08.xsd", morvik::test::kIndexSchema);
    morvik::test::writeFile(m_folder->path() / "xsd" / "su08_V08.xsd",
                            morvik::test::kSummarySchema);
    const QString schemaText = QString::fromStdString((m_folder->path() / "xsd").string());
    const fs::path other = makeArchive(m_folder->path(), "other");
    QApplication::clipboard()->setText(QStringLiteral("/pasted/elsewhere.zip"));

    MainWindow window;
    DialogRecorder recorder;
    window.setModalRunner(recorder.runner());
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    zipBox(window)->setText(zipPath);
    schemaBox(window)->setText(schemaText);
    QLineEdit* boxes[] = {zipBox(window), schemaBox(window)};

    struct Seen {
        QString focus;
        bool logReadOnly = false;
        bool boxesReadOnly = false;
        QStringList enabledButtons;
        Qt::CursorShape cursor = Qt::ArrowCursor;
        bool progressShown = false;
    } seen;
    auto act = [&] {
        seen.focus = QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : "";
        seen.logReadOnly = logBox(window)->isReadOnly();
        seen.boxesReadOnly = boxes[0]->isReadOnly() && boxes[1]->isReadOnly();
        for (const char* name : {"Command1", "Command2", "Command3"}) {
            if (button(window, name)->isEnabled()) {
                seen.enabledButtons << name;
            }
        }
        seen.cursor = window.cursor().shape();
        seen.progressShown = statusBar(window)->progressBar()->isVisible();

        auto typeInto = [](QWidget* widget) {
            QTest::keyClicks(widget, "abc ");
            for (Qt::Key key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter, Qt::Key_Backspace,
                                Qt::Key_Delete}) {
                QTest::keyClick(widget, key);
            }
            QTest::keyClick(widget, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(widget, Qt::Key_Delete);
        };
        if (doing == "type") {
            typeInto(QApplication::focusWidget());
        } else if (doing == "paste") {
            for (QWidget* widget : {QApplication::focusWidget(), static_cast<QWidget*>(boxes[0]),
                                    static_cast<QWidget*>(boxes[1])}) {
                QTest::keyClick(widget, Qt::Key_V, Qt::ControlModifier);
                QTest::keyClick(widget, Qt::Key_Insert, Qt::ShiftModifier);
                QTest::keyClick(widget, Qt::Key_A, Qt::ControlModifier);
                QTest::keyClick(widget, Qt::Key_X, Qt::ControlModifier);
            }
        } else if (doing == "click and type") {
            for (QLineEdit* box : boxes) {
                QTest::mouseClick(box, Qt::LeftButton);
                typeInto(box);
                QTest::mouseClick(box, Qt::MiddleButton);
            }
        } else if (doing == "tab and type") {
            for (int i = 0; i < 8; ++i) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                QTest::keyClicks(QApplication::focusWidget(), "x");
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
            }
        } else if (doing == "buttons") {
            for (const char* name : {"Command1", "Command2", "Command3"}) {
                QTest::mouseClick(button(window, name), Qt::LeftButton);
                QTest::keyClick(button(window, name), Qt::Key_Space);
                QTest::keyClick(button(window, name), Qt::Key_Return);
            }
            window.Command1_Click();
            window.Command2_Click();
            window.Command3_Click();
        } else if (doing == "drop") {
            std::unique_ptr<QMimeData> zipDrag(
                urls({QUrl::fromLocalFile(QString::fromStdString(other.string()))}));
            std::unique_ptr<QMimeData> folderDrag(
                urls({QUrl::fromLocalFile(QString::fromStdString(m_folder->path().string()))}));
            for (QWidget* target : {static_cast<QWidget*>(&window), static_cast<QWidget*>(boxes[0]),
                                    static_cast<QWidget*>(boxes[1])}) {
                QVERIFY(!morvik::test::dropOn(*target, *zipDrag).dropAccepted);
                QVERIFY(!morvik::test::dropOn(*target, *folderDrag).dropAccepted);
            }
        }
    };
    PauseAfterDocument pause(window, 3, act);
    window.setRunObserver(&pause);

    QTest::mouseClick(button(window, "Command1"), Qt::LeftButton);

    QVERIFY(pause.acted());
    // Nothing the user did changed an input, started a second run or opened
    // a dialog; what was saved at the press is what the boxes held then.
    QCOMPARE(zipBox(window)->text(), zipPath);
    QCOMPARE(schemaBox(window)->text(), schemaText);
    QCOMPARE(savedSetting("TX_XmlFnm"), zipPath);
    QCOMPARE(savedSetting("TX_Schima"), schemaText);
    QCOMPARE(recorder.dialogs, 0);
    // With the same schema folder: the fifth section names it.
    QCOMPARE(logBox(window)->toPlainText(), coreLog(zip, 0, schemaText));

    // While the run was under way: the focus in the log, which took no
    // typing; both inputs read-only; no button to press; the busy cursor.
    QCOMPARE(seen.focus, QStringLiteral("TX_Msg"));
    QVERIFY(seen.logReadOnly);
    QVERIFY(seen.boxesReadOnly);
    QCOMPARE(seen.enabledButtons, QStringList());
    QCOMPARE(seen.cursor, Qt::BusyCursor);
    QVERIFY(seen.progressShown);

    // Afterwards everything is as it was before the press.
    QVERIFY(!window.isRunning());
    QVERIFY(!boxes[0]->isReadOnly() && !boxes[1]->isReadOnly());
    QVERIFY(!logBox(window)->isReadOnly());
    for (const char* name : {"Command1", "Command2", "Command3"}) {
        QVERIFY2(button(window, name)->isEnabled(), name);
    }
    QCOMPARE(window.cursor().shape(), Qt::ArrowCursor);
    QCOMPARE(boxes[0]->cursor().shape(), Qt::IBeamCursor);
    QVERIFY(!statusBar(window)->progressBar()->isVisible());
    if (doing == "type" || doing == "paste") {
        // The user did not move the focus: it goes back to the button.
        QCOMPARE(QApplication::focusWidget(), button(window, "Command1"));
    }
}

void DesktopRunTest::progressDuringRun() {
    const fs::path zip = makeArchive(m_folder->path());
    MainWindow window;
    DialogRecorder recorder;
    window.setModalRunner(recorder.runner());
    window.show();
    zipBox(window)->setText(QString::fromStdString(zip.string()));
    morvik::ui::StatusBar* bar = statusBar(window);
    QProgressBar* progress = bar->progressBar();

    QList<QPair<int, QString>> seen; // value and text of the bar
    QStringList texts;               // panel 1
    auto look = [&] {
        // The window shows progress at its own frames; wait for one.
        QTest::qWait(3 * MainWindow::kFrameInterval);
        seen.append({progress->value(), progress->isTextVisible() ? progress->text() : "busy"});
        texts << bar->panelText(1);
    };
    // Pauses when the documents are known, and after the second and the
    // fifth document.
    struct Pauses : morvik::inspection::RunObserver {
        QObject* context = nullptr;
        std::function<void()> act;
        std::atomic<int> checked{0};
        void started(const std::string&, const std::string&, std::size_t) override {
            QMetaObject::invokeMethod(context, act, Qt::BlockingQueuedConnection);
        }
        void documentChecked(const morvik::inspection::DocumentReport&) override {
            const int n = ++checked;
            if (n == 2 || n == 5) {
                QMetaObject::invokeMethod(context, act, Qt::BlockingQueuedConnection);
            }
        }
    } pauses;
    pauses.context = &window;
    pauses.act = look;
    window.setRunObserver(&pauses);
    bar->setPanelText(1, QStringLiteral("調査完了　OK 1件／エラー 0件"));

    QTest::mouseClick(button(window, "Command1"), Qt::LeftButton);

    QCOMPARE(progress->maximum(), 6);
    QCOMPARE(seen, (QList<QPair<int, QString>>{{0, "0／6件"}, {2, "2／6件"}, {5, "5／6件"}}));
    // Until validation began panel 1 said that the run was preparing, not
    // what the previous run said; then it showed the validation's texts.
    QCOMPARE(texts.size(), 3);
    QCOMPARE(texts[0], QStringLiteral("調査の準備中（ZIPファイルの解凍）…"));
    for (const QString& text : texts.mid(1)) {
        QVERIFY2(text.startsWith(QStringLiteral("XML")), qPrintable(text));
    }
    QVERIFY(!progress->isVisible());
}

void DesktopRunTest::progressBar_data() {
    QTest::addColumn<bool>("counting");
    QTest::addColumn<qulonglong>("checked");
    QTest::addColumn<qulonglong>("total");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<QString>("text");
    QTest::newRow("extracting: busy, no numbers") << false << 0ull << 0ull << 0 << "";
    QTest::newRow("thousands separated")
        << true << 1234ull << 10004ull << 10004 << "1,234／10,004件";
    QTest::newRow("done") << true << 6ull << 6ull << 6 << "6／6件";
}

void DesktopRunTest::progressBar() {
    QFETCH(bool, counting);
    QFETCH(qulonglong, checked);
    QFETCH(qulonglong, total);
    QFETCH(int, maximum);
    QFETCH(QString, text);
    MainWindow window;
    window.show();
    morvik::ui::StatusBar* bar = statusBar(window);
    const QRect panel1 = bar->panel(1)->geometry();
    const QRect panel2 = bar->panel(2)->geometry();
    bar->showProgress(counting, checked, total);
    QProgressBar* progress = bar->progressBar();
    QVERIFY(progress->isVisible());
    QCOMPARE(progress->minimum(), 0);
    QCOMPARE(progress->maximum(), maximum);
    QCOMPARE(progress->isTextVisible() ? progress->text() : QString(), text);
    // Over the right part of panel 1; the panels stay where they are.
    QVERIFY(panel1.contains(progress->geometry()));
    QVERIFY(progress->geometry().left() > panel1.left() + panel1.width() / 2);
    QCOMPARE(bar->panel(1)->geometry(), panel1);
    QCOMPARE(bar->panel(2)->geometry(), panel2);
    bar->hideProgress();
    QVERIFY(!progress->isVisible());
}

void DesktopRunTest::closingDuringRun_data() {
    QTest::addColumn<int>("closeAfter"); // documents validated when the user closes
    QTest::addColumn<QString>("panel1");
    QTest::newRow("after the index file")
        << 1 << "調査を中止しました　OK 1件／エラー 0件（全 6件）";
    QTest::newRow("after the first data document")
        << 3 << "調査を中止しました　OK 3件／エラー 0件（全 6件）";
    QTest::newRow("after the invalid document")
        << 4 << "調査を中止しました　OK 3件／エラー 1件（全 6件）";
    // The made-up archive is not shaped for the checks of the whole
    // archive: the reception check, run after the last document, finds much.
    QTest::newRow("after the last document: the run is complete")
        << 6 << "調査完了　OK 5件／エラー 1件　受付エラー 7件／受付注意 4件";
}

void DesktopRunTest::closingDuringRun() {
    QFETCH(int, closeAfter);
    QFETCH(QString, panel1);
    const fs::path zip = makeArchive(m_folder->path());
    MainWindow window;
    DialogRecorder recorder;
    window.setModalRunner(recorder.runner());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    zipBox(window)->setText(QString::fromStdString(zip.string()));
    logBox(window)->setPlainText("the previous run's log");

    QSignalSpy closed(&window, &MainWindow::closed);
    bool closedAtOnce = true;
    bool visibleAfterClose = true;
    int closedSignals = -1;
    PauseAfterDocument pause(window, std::size_t(closeAfter), [&] {
        closedAtOnce = window.close();
        visibleAfterClose = window.isVisible();
        closedSignals = int(closed.count());
    });
    window.setRunObserver(&pause);

    QTest::mouseClick(button(window, "Command1"), Qt::LeftButton);

    // The window went at once; the run finished the document at hand,
    // stopped before the next one, and then the window closed for good.
    QVERIFY(!closedAtOnce);
    QVERIFY(!visibleAfterClose);
    QCOMPARE(closedSignals, 0);
    QVERIFY(!window.isVisible());
    QCOMPARE(closed.count(), 1);
    QVERIFY(!window.isRunning());
    // The log holds exactly what the run wrote up to there, the panel says
    // how far it got, and no message was shown.
    QCOMPARE(logBox(window)->toPlainText(), coreLog(zip, std::size_t(closeAfter)));
    QCOMPARE(statusBar(window)->panelText(1), panel1);
    QCOMPARE(recorder.dialogs, 0);
    // The extracted tree stays on disk, as after any run.
    const fs::path extracted = zip.parent_path() / zip.stem();
    for (const char* name : {"ix08_V08.xml", "DATA/doc003.xml", "CLAIMS/clm001.xml"}) {
        QVERIFY2(fs::is_regular_file(extracted / name), name);
    }
}

void DesktopRunTest::nothingPopsUpAfterClosing() {
    // The window was closed while the archive was being extracted, and the
    // extraction then fails: the run ends without a message box or a file
    // browser over a window the user has closed.
    morvik::test::writeFile(m_folder->path() / "broken.zip", "not a ZIP archive");
    morvik::test::MemorySettings settings;
    morvik::test::RecordingMessageBox messages;
    morvik::test::RecordingProgramStart programs;
    morvik::inspection::RunInputs inputs;
    inputs.zipPath = (m_folder->path() / "broken.zip").string();
    inputs.appName = "Morvik";
    inputs.section = kCaption.toStdString();
    morvik::ui::BackgroundRun run(inputs, settings, messages, programs);
    run.requestStop();
    run.start();
    QCOMPARE(run.waitHandlingEvents(), morvik::inspection::RunOutcome::endedEarly);
    QCOMPARE(messages.shown.size(), std::size_t(0));
    QCOMPARE(programs.opened.size(), std::size_t(0));
    const morvik::ui::BackgroundRun::Progress progress = run.take();
    QVERIFY(progress.tally.endedEarly());
    QVERIFY(progress.logText.empty());
}

void DesktopRunTest::completionText_data() {
    QTest::addColumn<QString>("archive");
    QTest::addColumn<QString>("panel1");
    QTest::addColumn<int>("messages");
    QTest::newRow("some documents failed") << "mixed"
                                           << "調査完了　OK 5件／エラー 1件" << 0;
    QTest::newRow("numbers with thousands separators") << "large"
                                                       << "調査完了　OK 1,001件／エラー 1件" << 0;
    // Not "stopped" (調査を中止しました), which is for a run the user ended,
    // but the cause, as the command line words it.
    QTest::newRow("blank ZIP path: could not inspect")
        << "blank"
        << "調査できませんでした：ZIPファイルが指定されていません。" << 1;
    // The fixed box, then ours on the extracted copy left behind.
    QTest::newRow("no schema folder: could not inspect")
        << "no schemas"
        << "調査できませんでした：解凍先フォルダ " << 2;
}

void DesktopRunTest::completionText() {
    QFETCH(QString, archive);
    QFETCH(QString, panel1);
    QFETCH(int, messages);
    QString zipPath;
    if (archive == "mixed") {
        zipPath = QString::fromStdString(makeArchive(m_folder->path()).string());
    } else if (archive == "large") {
        // Index, summary, 999 valid and one invalid data document.
        auto files = morvik::test::standardFiles();
        for (int i = 0; i < 1000; ++i) {
            files.push_back({"DATA/d" + std::to_string(i) + ".xml",
                             morvik::test::dataDocument(i == 500 ? "x" : "1")});
        }
        zipPath = QString::fromStdString(
            morvik::test::makeArchive(m_folder->path(), "large", files).string());
    } else if (archive == "no schemas") {
        zipPath = QString::fromStdString(
            morvik::test::makeArchive(m_folder->path(), "plain",
                                      {{"ix08_V08.xml", morvik::test::indexDocument()}})
                .string());
    }
    MainWindow window;
    DialogRecorder recorder;
    window.setModalRunner(recorder.runner());
    statusBar(window)->setPanelText(1, QStringLiteral("XML出力ファイルの整合性チェック中"));
    zipBox(window)->setText(zipPath);

    QTest::mouseClick(button(window, "Command1"), Qt::LeftButton);

    // Whole, or (a cause naming a temporary folder) its beginning.
    QVERIFY2(statusBar(window)->panelText(1).startsWith(panel1),
             qPrintable(statusBar(window)->panelText(1)));
    QCOMPARE(recorder.boxes.size(), messages);
    QCOMPARE(statusBar(window)->panelText(2), QStringLiteral("desktoprun_test"));
}

void DesktopRunTest::noFileBrowser_data() {
    QTest::addColumn<bool>("browser");  // an xdg-open on PATH
    QTest::addColumn<bool>("relative"); // the ZIP path typed relative to the current folder
    QTest::newRow("browser starts") << true << false;
    QTest::newRow("no browser: the folder is named") << false << false;
    QTest::newRow("no browser, relative ZIP path: the full path is named") << false << true;
}

void DesktopRunTest::noFileBrowser() {
    QFETCH(bool, browser);
    QFETCH(bool, relative);
    const fs::path zip = makeArchive(m_folder->path(), "1310000001_twice");
    const fs::path extracted = zip.parent_path() / zip.stem();
    morvik::test::writeFile(extracted / "ix08_V08.xml", "an earlier copy");
    const fs::path bin = m_folder->path() / "bin";
    const fs::path opened = m_folder->path() / "opened.txt";
    fs::create_directories(bin);
    if (browser) {
        morvik::test::writeFile(bin / "xdg-open",
                                "#!/bin/sh\nprintf '%s' \"$1\" > '" + opened.string() + "'\n");
        fs::permissions(bin / "xdg-open", fs::perms::owner_all);
    }
    qputenv("PATH", QByteArray::fromStdString(bin.string()));
    if (relative) {
        QVERIFY(QDir::setCurrent(QString::fromStdString(zip.parent_path().string())));
    }

    MainWindow window;
    DialogRecorder recorder;
    window.setModalRunner(recorder.runner());
    zipBox(window)->setText(
        QString::fromStdString(relative ? zip.filename().string() : zip.string()));
    QTest::mouseClick(button(window, "Command1"), Qt::LeftButton);

    QStringList texts;
    for (const auto& box : recorder.boxes) {
        texts << box.text;
    }
    const QString ours = "解凍先のフォルダ\n" + QString::fromStdString(extracted.string()) +
                         "\nには、前回解凍したファイルが残っています。\n"
                         "このフォルダを移動するか削除してから、もう一度調査してください。";
    QStringList expected{"XMLZip圧縮フォルダには、すでに解凍済みのXMLファイルが含まれています。"};
    if (browser) {
        // The browser was given the ZIP file's folder.
        QTRY_VERIFY(QFile::exists(QString::fromStdString(opened.string())));
        QTRY_COMPARE(morvik::test::readFile(opened),
                     relative ? std::string("./") : zip.parent_path().string() + "/");
    } else {
        expected << "ファイルブラウザを起動できませんでした。\n"
                    "解凍済みのファイルは次のフォルダにあります。\n" +
                        QString::fromStdString(extracted.string());
    }
    // Whether or not a browser opened, ours names the folder and what to do.
    expected << ours;
    QCOMPARE(texts, expected);
    QVERIFY(statusBar(window)->panelText(1).startsWith(
        QStringLiteral("調査できませんでした：解凍先フォルダ ")));
}

int main(int argc, char** argv) {
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    qputenv("QT_FONT_DPI", "96");
    QApplication application(argc, argv);
    DesktopRunTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "desktoprun_test.moc"
