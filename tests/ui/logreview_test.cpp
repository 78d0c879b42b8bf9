// After a run, as a clerk reads it: failures marked and stepped through,
// the failures-only view, search, undoing edits back to the run's log, a
// saved log headed by its run, the cause of a run that could not be carried
// out, the menu beside a run, a bigger window and its remembered place, and
// several archives one after another.
#include "support/archives.h"
#include "support/testutil.h"
#include "support/windows.h"
#include "ui/desktop.h"
#include "ui/logedit.h"
#include "ui/mainwindow.h"
#include "ui/morvikdir.h"
#include "ui/qsettingsstore.h"
#include "ui/resultlogbox.h"
#include "ui/runrecord.h"
#include "ui/statusbar.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyleOptionProgressBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <QTranslator>
#include <QTreeView>

#include <filesystem>

using morvik::ui::LogEdit;
using morvik::ui::MainWindow;
namespace fs = std::filesystem;

namespace {

using morvik::test::control;
using morvik::test::DialogRecorder;
using morvik::test::kCaption;
using morvik::test::PauseAfterDocument;

QString qs(const fs::path& path) {
    return QString::fromStdString(path.string());
}
QLineEdit* zipBox(MainWindow& window) {
    return control<QLineEdit>(window, "TX_XmlFnm");
}
LogEdit* logBox(MainWindow& window) {
    return control<LogEdit>(window, "TX_Msg");
}
morvik::ui::StatusBar* statusBar(MainWindow& window) {
    return control<morvik::ui::StatusBar>(window, "ST_Msg");
}
QString logText(MainWindow& window) {
    return logBox(window)->toPlainText();
}

// A value whose failure's detail line runs far past the box's right edge.
const std::string kLongBadValue = "not a number " + std::string(300, 'x');

// Index, summary, 40 data documents of which numbers 10 and 30 fail (the
// second with a long detail line), and a claim.
fs::path failingArchive(const fs::path& folder, const std::string& name = "1310000001_fail") {
    auto files = morvik::test::standardFiles();
    for (int i = 1; i <= 40; ++i) {
        char docName[32];
        std::snprintf(docName, sizeof docName, "DATA/doc%03d.xml", i);
        files.push_back({docName, morvik::test::dataDocument(i == 10   ? "bad"
                                                             : i == 30 ? kLongBadValue
                                                                       : "1")});
    }
    files.push_back({"CLAIMS/clm001.xml", morvik::test::claimDocument()});
    return morvik::test::makeArchive(folder, name, files);
}

fs::path validArchive(const fs::path& folder, const std::string& name) {
    auto files = morvik::test::standardFiles();
    files.push_back({"DATA/doc001.xml", morvik::test::dataDocument("1")});
    return morvik::test::makeArchive(folder, name, files);
}

void run(MainWindow& window, const QString& zip) {
    zipBox(window)->setText(zip);
    QTest::mouseClick(control<QPushButton>(window, "Command1"), Qt::LeftButton);
}

// The lines of the box that are marked as part of a failure entry.
QStringList markedLines(LogEdit& log) {
    QStringList lines;
    for (int i = 0; i < log.document()->blockCount(); ++i) {
        if (log.isFailureLine(i)) {
            lines << log.document()->findBlockByNumber(i).text();
        }
    }
    return lines;
}

QStringList shownLines(LogEdit& log) {
    QStringList lines;
    for (QTextBlock block = log.document()->begin(); block.isValid(); block = block.next()) {
        if (block.isVisible() && !block.text().isEmpty()) {
            lines << block.text();
        }
    }
    return lines;
}

QString savedSetting(const char* key) {
    morvik::ui::QSettingsStore store;
    return QString::fromStdString(
        store.read(MainWindow::executableName().toStdString(), kCaption.toStdString(), key));
}
void saveSetting(const char* key, const QString& value) {
    morvik::ui::QSettingsStore store;
    store.save(MainWindow::executableName().toStdString(), kCaption.toStdString(), key,
               value.toStdString());
}

QByteArray fileBytes(const fs::path& path) {
    QFile file(qs(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class LogReviewTest : public QObject {
    Q_OBJECT

private slots:
    void init();

    void failuresMarked();
    void stepThroughFailures_data();
    void stepThroughFailures();
    void failuresOnly();
    void search();

    void editsUndoBackToTheRunsLog();
    void savedLogNamesTheRunsArchive();
    void menuBesideARunLetsItEnd();
    void causeInPanel1_data();
    void causeInPanel1();

    void focusRingAtStart();
    void logKeys_data();
    void logKeys();
    void progressTextFits_data();
    void progressTextFits();
    void fileDialogInJapanese();
    void hintLinesApart();
    void closingDuringExtraction();

    void windowGrows();
    void windowPlace_data();
    void windowPlace();

    void severalArchives();

private:
    std::unique_ptr<morvik::test::TempDir> m_folder;
};

void LogReviewTest::init() {
    morvik::ui::QSettingsStore store;
    for (const char* key : {"TX_XmlFnm", "TX_Schima", MainWindow::kWindowPlaceKey}) {
        saveSetting(key, QString());
    }
    // These runs are about finding the failures of the four stages in the
    // log; the small archives here are not shaped for the checks of the
    // whole archive.
    saveSetting("ReceptionCheck", QStringLiteral("false"));
    m_folder = std::make_unique<morvik::test::TempDir>();
}

void LogReviewTest::failuresMarked() {
    MainWindow window;
    // Marked as the log grows, not only once the run is over.
    QStringList markedDuringRun;
    PauseAfterDocument pause(window, 20, [&] {
        QTest::qWait(3 * morvik::ui::ResultLogBox::kFlushInterval);
        markedDuringRun = markedLines(*logBox(window));
    });
    window.setRunObserver(&pause);
    run(window, qs(failingArchive(m_folder->path())));
    QVERIFY(pause.acted());
    QCOMPARE(markedDuringRun,
             QStringList({"doc010.xml", "XMLファイルの整合性チェックでエラーが発生しました。",
                          markedDuringRun.value(2)}));
    QVERIFY(markedDuringRun.value(2).contains(QStringLiteral("行")));
    LogEdit& log = *logBox(window);
    QCOMPARE(log.failureEntries(), 2);
    // Both entries, three lines each: the name, the message, the detail.
    const QStringList marked = markedLines(log);
    QCOMPARE(marked.size(), 6);
    QCOMPARE(marked[0], QStringLiteral("doc010.xml"));
    QCOMPARE(marked[1], QStringLiteral("XMLファイルの整合性チェックでエラーが発生しました。"));
    QCOMPARE(marked[3], QStringLiteral("doc030.xml"));
    QVERIFY(marked[5].contains(QStringLiteral("xxxxxxxx")));

    // Marked on a pale red ground with a red wedge in the margin.
    window.resize(900, 700);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    log.showNextFailure();
    QApplication::processEvents();
    const QImage picture = log.grab().toImage();
    const QRect entry = log.cursorRect(log.textCursor());
    const QPoint inView = log.viewport()->mapTo(&log, entry.center());
    QCOMPARE(QColor(picture.pixel(log.width() - 40, inView.y())), QColor(255, 228, 228));
    const QPoint margin = log.viewport()->mapTo(&log, QPoint(0, entry.center().y()));
    QCOMPARE(QColor(picture.pixel(margin.x() - LogEdit::kMarginWidth + 2, margin.y())),
             QColor(200, 0, 0));
}

void LogReviewTest::stepThroughFailures_data() {
    QTest::addColumn<QString>("keys");       // F8 forwards, S-F8 backwards
    QTest::addColumn<QString>("entry");      // the name line of the entry selected
    QTest::addColumn<bool>("scrolledRight"); // the view scrolled to show the reason
    QTest::newRow("F8 from the top: the first failure") << "F8"
                                                        << "doc010.xml" << false;
    QTest::newRow("F8 twice: the second, its reason in view") << "F8 F8"
                                                              << "doc030.xml" << true;
    QTest::newRow("F8 three times: round to the first") << "F8 F8 F8"
                                                        << "doc010.xml" << false;
    QTest::newRow("Shift+F8 from the top: the last") << "S-F8"
                                                     << "doc030.xml" << true;
    QTest::newRow("back again") << "F8 F8 S-F8"
                                << "doc010.xml" << false;
}

void LogReviewTest::stepThroughFailures() {
    QFETCH(QString, keys);
    QFETCH(QString, entry);
    QFETCH(bool, scrolledRight);
    MainWindow window;
    // Wide enough for the short detail line with its verdict first.
    window.resize(1400, 700);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    run(window, qs(failingArchive(m_folder->path())));
    LogEdit& log = *logBox(window);
    log.setFocus();
    log.moveCursor(QTextCursor::Start);
    for (const QString& key : keys.split(u' ')) {
        QTest::keyClick(&log, Qt::Key_F8, key == "S-F8" ? Qt::ShiftModifier : Qt::NoModifier);
    }
    QApplication::processEvents();
    const QTextCursor at = log.textCursor();
    QCOMPARE(log.document()->findBlock(at.selectionStart()).text(), entry);
    // The whole entry is selected and its lines are in view.
    const QTextBlock last = log.document()->findBlock(at.selectionEnd());
    QCOMPARE(last.blockNumber() - log.document()->findBlock(at.selectionStart()).blockNumber(), 2);
    const QRect view = log.viewport()->rect();
    QTextCursor lastEnd(last);
    lastEnd.movePosition(QTextCursor::EndOfBlock);
    QTextCursor first(log.document()->findBlock(at.selectionStart()));
    QVERIFY(view.contains(QPoint(view.center().x(), log.cursorRect(first).center().y())));
    // The end of the detail line, where the reason stands, is in view.
    const QRect reasonEnd = log.cursorRect(lastEnd);
    QVERIFY2(view.contains(reasonEnd.center()), qPrintable(QStringLiteral("%1,%2 in %3x%4")
                                                               .arg(reasonEnd.center().x())
                                                               .arg(reasonEnd.center().y())
                                                               .arg(view.width())
                                                               .arg(view.height())));
    QCOMPARE(log.horizontalScrollBar()->value() > 0, scrolledRight);
}

void LogReviewTest::failuresOnly() {
    MainWindow window;
    window.show();
    run(window, qs(failingArchive(m_folder->path())));
    LogEdit& log = *logBox(window);
    const QString whole = log.toPlainText();
    const int allShown = int(shownLines(log).size());

    window.setErrorsOnly(true);
    QCOMPARE(shownLines(log), markedLines(log).filter(QRegularExpression(".+")));
    // The folded lines are still in the log, and saved with it.
    QCOMPARE(log.toPlainText(), whole);
    // Stepping still works with the lines folded away.
    log.moveCursor(QTextCursor::Start);
    QVERIFY(log.showNextFailure());

    window.setErrorsOnly(false);
    QCOMPARE(int(shownLines(log).size()), allShown);
}

void LogReviewTest::search() {
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    run(window, qs(failingArchive(m_folder->path())));
    LogEdit& log = *logBox(window);
    log.setFocus();
    log.moveCursor(QTextCursor::Start);
    QTest::keyClick(&log, Qt::Key_F, Qt::ControlModifier);
    QLineEdit* find = log.findBox();
    QVERIFY(find->isVisible());
    QVERIFY(find->hasFocus());
    // Found as it is typed, then the next and the previous.
    QTest::keyClicks(find, "doc02");
    QCOMPARE(log.textCursor().block().text(), QStringLiteral("doc020.xml・・・・・OK"));
    QCOMPARE(log.textCursor().selectedText(), QStringLiteral("doc02"));
    QTest::keyClick(find, Qt::Key_Return);
    QCOMPARE(log.textCursor().block().text(), QStringLiteral("doc021.xml・・・・・OK"));
    QTest::keyClick(find, Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(log.textCursor().block().text(), QStringLiteral("doc020.xml・・・・・OK"));
    // Round from the end to the start.
    QTest::keyClick(find, Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(log.textCursor().block().text(), QStringLiteral("doc029.xml・・・・・OK"));
    // With the failures-only view, only shown lines are found.
    window.setErrorsOnly(true);
    log.moveCursor(QTextCursor::Start);
    QVERIFY(log.find(QStringLiteral("doc0")));
    QCOMPARE(log.textCursor().block().text(), QStringLiteral("doc010.xml"));
    QVERIFY(!log.find(QStringLiteral("clm001")));
    QTest::keyClick(find, Qt::Key_Escape);
    QVERIFY(!find->isVisible());
}

void LogReviewTest::editsUndoBackToTheRunsLog() {
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    run(window, qs(failingArchive(m_folder->path())));
    LogEdit& log = *logBox(window);
    const QString runLog = log.toPlainText();
    log.setFocus();
    QTest::keyClick(&log, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&log, Qt::Key_X);
    QCOMPARE(log.toPlainText(), QStringLiteral("x"));
    QTest::keyClick(&log, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(log.toPlainText(), runLog);
    // The failures are marked again, and there is nothing to undo beyond
    // the run's log.
    QCOMPARE(markedLines(log).size(), 6);
    QVERIFY(!log.document()->isUndoAvailable());
}

void LogReviewTest::savedLogNamesTheRunsArchive() {
    MainWindow window;
    DialogRecorder recorder;
    window.setModalRunner(recorder.runner());
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    fs::create_directories(m_folder->path() / "a");
    fs::create_directories(m_folder->path() / "b");
    const fs::path b = failingArchive(m_folder->path() / "b", "1310000001_b");
    const fs::path a = validArchive(m_folder->path() / "a", "1310000001_a");
    run(window, qs(b));
    // The clerk puts another archive's path in the box, then saves.
    zipBox(window)->setText(qs(a));
    QString proposed;
    recorder.onDialog = [&](QDialog& dialog) {
        auto* files = qobject_cast<QFileDialog*>(&dialog);
        proposed = files->selectedFiles().value(0);
        dialog.accept();
        return dialog.result();
    };
    QTest::keyClick(&window, Qt::Key_S, Qt::ControlModifier);
    const fs::path expected = m_folder->path() / "b" / "1310000001_b_調査結果.txt";
    QCOMPARE(proposed, qs(expected));
    const QByteArray bytes = fileBytes(expected);
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    const QString saved = QString::fromUtf8(bytes.mid(3));
    QVERIFY2(saved.startsWith(QStringLiteral("ZIPファイル：") + qs(b) + "\r\n"),
             qPrintable(saved.left(200)));
    for (const QString& line : {QStringLiteral("調査開始："), QStringLiteral("調査終了："),
                                QStringLiteral("スキーマフォルダ：") +
                                    qs(m_folder->path() / "b" / "1310000001_b" / "XSD"),
                                QStringLiteral("プログラム：Morvik "),
                                QStringLiteral("結果：調査完了　OK 41件／エラー 2件")}) {
        QVERIFY2(saved.contains("\r\n" + line), qPrintable(line));
    }
    // The box itself shows the log alone.
    QVERIFY(logText(window).startsWith(QStringLiteral("交換用基本情報ファイルの調査")));
}

void LogReviewTest::menuBesideARunLetsItEnd() {
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    bool runningWhileMenuOpen = false;
    // Right after the third document the clerk right-clicks the log and
    // leaves the menu open; if the run cannot end under it, the menu is
    // closed after three seconds, noting that the window was still running.
    PauseAfterDocument pause(window, 3, [&] {
        QTimer::singleShot(3000, &window, [&] {
            if (QWidget* popup = QApplication::activePopupWidget()) {
                runningWhileMenuOpen = window.isRunning();
                popup->close();
            }
        });
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, QPoint(20, 20),
                                    logBox(window)->viewport()->mapToGlobal(QPoint(20, 20)));
        QApplication::sendEvent(logBox(window)->viewport(), &menuEvent);
    });
    window.setRunObserver(&pause);
    run(window, qs(failingArchive(m_folder->path())));
    QVERIFY(pause.acted());
    QTRY_VERIFY(!window.isRunning());
    QVERIFY(!runningWhileMenuOpen);
    QVERIFY(control<QPushButton>(window, "Command1")->isEnabled());
    QVERIFY(statusBar(window)->panelText(1).startsWith(QStringLiteral("調査完了")));
    // The menu is still open, its save entry usable now.
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    QVERIFY(menu != nullptr);
    QAction* save = menu->findChild<QAction*>(QStringLiteral("saveLog"));
    if (save == nullptr) {
        for (QAction* action : menu->actions()) {
            save = action->objectName() == "saveLog" ? action : save;
        }
    }
    QVERIFY(save != nullptr && save->isEnabled());
    menu->close();
}

void LogReviewTest::causeInPanel1_data() {
    QTest::addColumn<QString>("archive");
    QTest::addColumn<QString>("cause"); // after 「調査できませんでした：」; %1 the test folder
    QTest::addColumn<QStringList>("boxes");
    QTest::newRow("no such file") << "missing"
                                  << "ZIPファイル %1/missing.zip がありません。"
                                  << QStringList{"解凍に失敗しました。Error Code:0x9"};
    QTest::newRow("a text file named .zip")
        << "text"
        << "%1/text.zip はZIPアーカイブではありません（中身がZIP形式ではありません）。"
        << QStringList{"解凍に失敗しました。Error Code:0x9"};
    QTest::newRow("extracted before: ours names the folder")
        << "twice"
        << "解凍先フォルダ %1/1310000001_twice/ には前回解凍したファイルが残っています。"
        << QStringList{"XMLZip圧縮フォルダには、すでに解凍済みのXMLファイルが含まれています。",
                       "解凍先のフォルダ\n%1/1310000001_twice\nには、前回解凍したファイルが"
                       "残っています。\nこのフォルダを移動するか削除してから、もう一度調査してく"
                       "ださい。"};
    QTest::newRow("no schema: ours says the copy stays")
        << "no schemas"
        << "解凍先フォルダ %1/plain/ にも"
        << QStringList{"XMLスキーマとして指定されたフォルダにスキーマが見つかりません。",
                       "解凍したファイルはフォルダ\n%1/plain\nに残っています。\n"
                       "次に調査する前に、このフォルダを移動するか削除してください。"};
}

void LogReviewTest::causeInPanel1() {
    QFETCH(QString, archive);
    QFETCH(QString, cause);
    QFETCH(QStringList, boxes);
    const fs::path folder = m_folder->path();
    fs::path zip = folder / "missing.zip";
    if (archive == "text") {
        zip = folder / "text.zip";
        morvik::test::writeFile(zip, "just some text\n");
    } else if (archive == "twice") {
        zip = validArchive(folder, "1310000001_twice");
        morvik::test::writeFile(folder / "1310000001_twice" / "ix08_V08.xml", "an earlier copy");
    } else if (archive == "no schemas") {
        zip = morvik::test::makeArchive(folder, "plain",
                                        {{"ix08_V08.xml", morvik::test::indexDocument()}});
    }
    qputenv("PATH", QByteArray::fromStdString((folder / "no-bin").string()));
    MainWindow window;
    DialogRecorder recorder;
    window.setModalRunner(recorder.runner());
    run(window, qs(zip));
    QStringList texts;
    for (const auto& box : recorder.boxes) {
        texts << box.text;
    }
    // No file browser here: its own box names the folder in between.
    texts.removeIf([](const QString& text) {
        return text.startsWith(QStringLiteral("ファイルブラウザを起動できませんでした"));
    });
    for (QString& box : boxes) {
        box = box.arg(qs(folder));
    }
    QCOMPARE(texts, boxes);
    const QString panel = statusBar(window)->panelText(1);
    const QString expected = QStringLiteral("調査できませんでした：") + cause.arg(qs(folder));
    QVERIFY2(panel.startsWith(expected), qPrintable(panel));
    // The whole cause, every line of it, in the panel's tool tip.
    const QString tip = statusBar(window)->panel(1)->toolTip();
    QVERIFY2(tip.startsWith(panel), qPrintable(tip));
}

void LogReviewTest::focusRingAtStart() {
    // The start button holds the focus, and shows it before any key is
    // pressed: Enter would start a run.
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    auto* start = control<QPushButton>(window, "Command1");
    QVERIFY(start->hasFocus());
    const QImage focused = start->grab().toImage();
    control<QPushButton>(window, "Command2")->setFocus(Qt::OtherFocusReason);
    const QImage unfocused = start->grab().toImage();
    QVERIFY(focused != unfocused);
}

void LogReviewTest::logKeys_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("opens"); // a menu, or the dialog's object name
    QTest::newRow("Shift+F10 opens the log's menu") << "S-F10"
                                                    << "menu";
    QTest::newRow("the menu key opens it too") << "Menu"
                                               << "menu";
    QTest::newRow("Ctrl+S saves the log") << "C-S"
                                          << "dlgSaveLog";
}

void LogReviewTest::logKeys() {
    QFETCH(QString, key);
    QFETCH(QString, opens);
    MainWindow window;
    DialogRecorder recorder;
    QString dialogName;
    recorder.onDialog = [&](QDialog& dialog) {
        dialogName = dialog.objectName();
        return int(QDialog::Rejected);
    };
    window.setModalRunner(recorder.runner());
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    LogEdit& log = *logBox(window);
    log.setPlainText(QStringLiteral("a log\n"));
    log.setFocus();
    if (key == "S-F10") {
        QTest::keyClick(&log, Qt::Key_F10, Qt::ShiftModifier);
    } else if (key == "Menu") {
        const QPoint at = log.cursorRect().center();
        QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, at, log.viewport()->mapToGlobal(at));
        QApplication::sendEvent(log.viewport(), &menuKey);
    } else {
        QTest::keyClick(&log, Qt::Key_S, Qt::ControlModifier);
    }
    if (opens == "menu") {
        QTRY_VERIFY(qobject_cast<QMenu*>(QApplication::activePopupWidget()) != nullptr);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QStringList names;
        for (QAction* action : menu->actions()) {
            if (!action->objectName().isEmpty()) {
                names << action->objectName();
            }
        }
        QVERIFY2(names.contains("nextError") && names.contains("previousError") &&
                     names.contains("errorsOnly") && names.contains("findInLog") &&
                     names.contains("saveLog"),
                 qPrintable(names.join(u' ')));
        menu->close();
    } else {
        QCOMPARE(dialogName, opens);
    }
}

void LogReviewTest::progressTextFits_data() {
    QTest::addColumn<int>("checked");
    QTest::addColumn<int>("total");
    QTest::newRow("3,006 documents") << 1985 << 3006;
    QTest::newRow("30,006 documents") << 30006 << 30006;
    QTest::newRow("100,000 documents") << 99999 << 100000;
}

void LogReviewTest::progressTextFits() {
    QFETCH(int, checked);
    QFETCH(int, total);
    MainWindow window;
    window.show();
    statusBar(window)->showProgress(true, std::size_t(checked), std::size_t(total));
    QProgressBar* bar = statusBar(window)->progressBar();
    // The room the style gives the text, against the text's width.
    QStyleOptionProgressBar option;
    option.initFrom(bar);
    option.minimum = bar->minimum();
    option.maximum = bar->maximum();
    option.progress = bar->value();
    option.text = bar->text();
    option.textAlignment = bar->alignment();
    option.textVisible = true;
    option.state |= QStyle::State_Horizontal;
    const QRect label = bar->style()->subElementRect(QStyle::SE_ProgressBarLabel, &option, bar);
    const int needed = bar->fontMetrics().horizontalAdvance(bar->text());
    QVERIFY2(
        label.width() >= needed + 4,
        qPrintable(
            QStringLiteral("%1: %2 px for %3 px").arg(bar->text()).arg(label.width()).arg(needed)));
}

void LogReviewTest::fileDialogInJapanese() {
    // The system speaks English here (LC_ALL=C.UTF-8); the program's
    // dialogs do not.
    QTranslator qtTexts;
    morvik::ui::loadQtTranslation(qtTexts);
    QApplication::installTranslator(&qtTexts);
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    const fs::path folder = m_folder->path();
    fs::create_directories(folder / "sub");
    morvik::test::writeFile(folder / "a.zip", "zip");
    const QDateTime stamp = QFileInfo(qs(folder / "sub")).lastModified();

    MainWindow window;
    DialogRecorder recorder;
    QString type;
    QString date;
    recorder.onDialog = [&](QDialog& dialog) {
        auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
        if (view == nullptr) {
            return int(QDialog::Rejected);
        }
        QAbstractItemModel* model = view->model();
        const bool listed = QTest::qWaitFor([&] {
            for (int row = 0; row < model->rowCount(view->rootIndex()); ++row) {
                const QModelIndex name = model->index(row, 0, view->rootIndex());
                if (name.data().toString() == "sub") {
                    type = name.siblingAtColumn(2).data().toString();
                    date = name.siblingAtColumn(3).data().toString();
                    return true;
                }
            }
            return false;
        });
        (void)listed; // an empty type tells
        return int(QDialog::Rejected);
    };
    window.setModalRunner(recorder.runner());
    zipBox(window)->setText(qs(folder / "a.zip"));
    QTest::mouseClick(control<QPushButton>(window, "Command2"), Qt::LeftButton);
    QApplication::removeTranslator(&qtTexts);
    QLocale::setDefault(QLocale::c());
    QCOMPARE(type, QStringLiteral("フォルダ"));
    QCOMPARE(date,
             QLocale(QLocale::Japanese, QLocale::Japan).toString(stamp, QLocale::ShortFormat));
}

void LogReviewTest::hintLinesApart() {
    // The picker's instructions: every line of ink stands apart from the
    // next by at least two blank rows of pixels.
    MainWindow window;
    morvik::ui::MorvikDir picker(&window);
    auto* hint = control<QLabel>(picker, "LB");
    const QImage picture = hint->grab().toImage();
    QList<int> bands; // first row of each band of ink
    QList<int> gaps;  // blank rows before each band after the first
    int blank = 0;
    bool inInk = false;
    for (int y = 0; y < picture.height(); ++y) {
        bool ink = false;
        for (int x = 0; x < picture.width() && !ink; ++x) {
            ink = qGray(picture.pixel(x, y)) < 128;
        }
        if (ink && !inInk) {
            if (!bands.isEmpty()) {
                gaps << blank;
            }
            bands << y;
        }
        blank = ink ? 0 : blank + 1;
        inInk = ink;
    }
    QCOMPARE(bands.size(), 4);
    for (int gap : gaps) {
        QVERIFY2(gap >= 2, qPrintable(QStringLiteral("gaps %1").arg([&] {
                     QStringList t;
                     for (int g : gaps) {
                         t << QString::number(g);
                     }
                     return t.join(u',');
                 }())));
    }
    // The last line ends inside the label.
    QVERIFY(blank >= 1);
}

void LogReviewTest::closingDuringExtraction() {
    // An archive whose extraction takes a while; the window is closed while
    // it is unpacked. The run stops there and takes back what it wrote.
    auto files = morvik::test::standardFiles();
    for (int i = 0; i < 4000; ++i) {
        files.push_back({"DATA/d" + std::to_string(i) + ".xml", morvik::test::dataDocument("1")});
    }
    const fs::path zip = morvik::test::makeArchive(m_folder->path(), "1310000001_big", files);
    MainWindow window;
    DialogRecorder recorder;
    window.setModalRunner(recorder.runner());
    window.show();
    QSignalSpy closed(&window, &MainWindow::closed);
    bool extracting = false;
    QTimer::singleShot(30, &window, [&] {
        extracting = statusBar(window)->panelText(1).startsWith(QStringLiteral("調査の準備中"));
        window.close();
    });
    run(window, qs(zip));
    QVERIFY(extracting);
    QCOMPARE(closed.count(), 1);
    QVERIFY(recorder.boxes.isEmpty());
    QVERIFY(!fs::exists(m_folder->path() / "1310000001_big"));
}

void LogReviewTest::windowGrows() {
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* log = logBox(window);
    const QRect logAtFirst = log->geometry();
    const QRect startAtFirst = control<QPushButton>(window, "Command1")->geometry();
    window.resize(window.width() + 100, window.height() + 80);
    QTRY_COMPARE(window.size(), QSize(774, 627));
    // The log takes the growth; the status bar stays at the bottom, the
    // rest where the design puts it.
    QCOMPARE(log->geometry(), logAtFirst.adjusted(0, 0, 100, 80));
    QCOMPARE(control<QPushButton>(window, "Command1")->geometry(), startAtFirst);
    QCOMPARE(statusBar(window)->geometry().bottom(), window.height() - 1);
    QCOMPARE(statusBar(window)->width(), window.width());
    // Never smaller than the design.
    window.resize(400, 300);
    QCOMPARE(window.size(), QSize(674, 547));
}

void LogReviewTest::windowPlace_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QRect>("place"); // null: as at first
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QTest::newRow("fits: restored") << "10,20,700,560" << QRect(10, 20, 700, 560);
    QTest::newRow("wider than the screen: as at first")
        << QStringLiteral("0,0,%1,560").arg(screen.width() + 50) << QRect();
    QTest::newRow("off the screen: as at first")
        << QStringLiteral("%1,20,700,560").arg(screen.right() + 10) << QRect();
    QTest::newRow("smaller than the design: as at first") << "10,20,500,400" << QRect();
    QTest::newRow("not a place: as at first") << "wide" << QRect();
}

void LogReviewTest::windowPlace() {
    QFETCH(QString, stored);
    QFETCH(QRect, place);
    saveSetting(MainWindow::kWindowPlaceKey, stored);
    {
        MainWindow window;
        if (place.isNull()) {
            QCOMPARE(window.size(), QSize(674, 547));
        } else {
            QCOMPARE(window.geometry(), place);
        }
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.setGeometry(30, 40, 720, 600);
        QTRY_COMPARE(window.geometry(), QRect(30, 40, 720, 600));
        window.close();
    }
    // Written on closing, beside the other settings.
    QCOMPARE(savedSetting(MainWindow::kWindowPlaceKey), QStringLiteral("30,40,720,600"));
    MainWindow again;
    QCOMPARE(again.geometry(), QRect(30, 40, 720, 600));
}

void LogReviewTest::severalArchives() {
    const fs::path folder = m_folder->path();
    const fs::path first = failingArchive(folder, "1310000001_one");
    const fs::path second = validArchive(folder, "1310000001_two");
    const fs::path third = folder / "absent.zip";
    MainWindow window;
    DialogRecorder recorder;
    window.setModalRunner(recorder.runner());
    window.show();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(qs(first)), QUrl::fromLocalFile(qs(second))});
    QVERIFY(morvik::test::dropOn(window, data).dropAccepted);
    zipBox(window)->setText(zipBox(window)->text() + " \"" + qs(third) + "\"");
    QTest::mouseClick(control<QPushButton>(window, "Command1"), Qt::LeftButton);

    // Each log beside its ZIP file: BOM, header, the run's log in CR LF.
    const QByteArray firstLog = fileBytes(folder / "1310000001_one_調査結果.txt");
    QVERIFY(firstLog.startsWith("\xEF\xBB\xBF" + ("ZIPファイル：" + qs(first)).toUtf8() + "\r\n"));
    QVERIFY(firstLog.contains("\r\n交換用基本情報ファイルの調査 ・・・・・OK\r\n"));
    QVERIFY(!firstLog.contains("==>"));
    QVERIFY(!QByteArray(firstLog).replace("\r\n", "").contains('\n'));
    const QByteArray secondLog = fileBytes(folder / "1310000001_two_調査結果.txt");
    QVERIFY(secondLog.contains(QStringLiteral("結果：調査完了　OK 3件／エラー 0件").toUtf8()));
    QVERIFY(!secondLog.contains("doc010.xml"));
    const QByteArray thirdLog = fileBytes(folder / "absent_調査結果.txt");
    QVERIFY(thirdLog.contains(QStringLiteral("結果：調査できませんでした").toUtf8()));

    // The box: each archive's log under its name, then the summary.
    const QString shown = logText(window);
    QVERIFY(shown.startsWith("==> " + qs(first) + " <==\n交換用基本情報ファイルの調査"));
    QVERIFY(shown.contains("\n==> " + qs(second) + " <==\n"));
    QVERIFY2(shown.endsWith(
                 QStringLiteral("\n==== 集計 ====\n"
                                "      OK    エラー  受付エラー  受付注意  終了状態  アーカイブ\n"
                                "      41         2           0         0         1  ") +
                 qs(first) + "\n       3         0           0         0         0  " + qs(second) +
                 "\n       0         0           0         0         2  " + qs(third) +
                 "  （調査できませんでした）\nアーカイブ 3 件、最も悪い終了状態 2\n"),
             qPrintable(shown.right(400)));
    // The failures of the first archive are marked where the box shows them.
    QCOMPARE(markedLines(*logBox(window)).value(0), QStringLiteral("doc010.xml"));
    QCOMPARE(window.logRuns().size(), std::size_t(3));
    // The missing archive's message box came in its turn.
    QCOMPARE(recorder.boxes.size(), 1);
}

int main(int argc, char** argv) {
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    qputenv("QT_FONT_DPI", "96");
    QApplication application(argc, argv);
    LogReviewTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "logreview_test.moc"
