// Whole inspection runs started with Command1 on archives built by the test:
// the log in TX_Msg against the core's own log of the same archive, the status
// bar afterwards, and what the window does while a run is under way (buttons
// disabled, no second run, closing waits for the end).
#include "inspection/inspectionrun.h"
#include "report/reasons.h"
#include "support/archives.h"
#include "support/testutil.h"
#include "support/windows.h"
#include "ui/mainwindow.h"
#include "ui/qsettingsstore.h"
#include "ui/statusbar.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <filesystem>

using morvik::ui::MainWindow;
namespace fs = std::filesystem;

namespace {

using morvik::test::control;
using morvik::test::DialogRecorder;
using morvik::test::kCaption;

QPushButton* button(MainWindow& window, const char* name) {
    return control<QPushButton>(window, name);
}
QString logText(MainWindow& window) {
    return control<QPlainTextEdit>(window, "TX_Msg")->toPlainText();
}
QString panel1(MainWindow& window) {
    return control<morvik::ui::StatusBar>(window, "ST_Msg")->panelText(1);
}

// The archive of the worked example: valid index and summary, one valid and
// one invalid data document, one valid claim.
fs::path makeExampleArchive(const fs::path& folder) {
    auto files = morvik::test::standardFiles();
    files.push_back({"DATA/doc001.xml", morvik::test::dataDocument("1")});
    files.push_back({"DATA/doc002.xml", morvik::test::dataDocument("not a number")});
    files.push_back({"CLAIMS/clm001.xml", morvik::test::claimDocument()});
    return morvik::test::makeArchive(folder, "1310000001_example", files);
}

// The core's own log of a run on zip, after the window's extracted copy is
// removed, so that both runs see the same paths. Line breaks as the box
// shows them.
QString coreLog(const fs::path& zip) {
    fs::remove_all(zip.parent_path() / zip.stem());
    morvik::test::MemorySettings settings;
    morvik::test::RecordingMessageBox messages;
    morvik::test::StringLog log;
    morvik::test::RecordingStatusLine status;
    morvik::test::RecordingProgramStart programs;
    morvik::inspection::RunServices services{settings, messages, log,     status,
                                             programs, {},       nullptr, {}};
    const morvik::report::ReasonWordingIn japanese(morvik::report::ReasonLanguage::japanese);
    services.reasons = &japanese;
    morvik::inspection::RunInputs inputs;
    inputs.zipPath = zip.string();
    inputs.appName = "Morvik";
    inputs.section = kCaption.toStdString();
    morvik::inspection::runInspection(inputs, services);
    return QString::fromStdString(log.text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

} // namespace

class InspectionWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void wholeRun();
    void clicksAndClosingDuringRun();
    void runEndingEarlyLeavesTheLog_data();
    void runEndingEarlyLeavesTheLog();
    void extractionLimitFromTheSettings();

private:
    std::unique_ptr<morvik::test::TempDir> m_folder;
};

void InspectionWindowTest::init() {
    m_folder = std::make_unique<morvik::test::TempDir>();
}

void InspectionWindowTest::wholeRun() {
    const fs::path zip = makeExampleArchive(m_folder->path());
    MainWindow window;
    DialogRecorder recorder;
    window.setModalRunner(recorder.runner());
    window.show();
    control<QLineEdit>(window, "TX_XmlFnm")->setText(QString::fromStdString(zip.string()));
    control<QPlainTextEdit>(window, "TX_Msg")->setPlainText("the previous run's log");

    QTest::mouseClick(button(window, "Command1"), Qt::LeftButton);

    const QString shown = logText(window);
    const QStringList lines = shown.split(u'\n');
    QCOMPARE(lines.size(), 10);
    QCOMPARE(lines.mid(0, 6),
             QStringList({"交換用基本情報ファイルの調査 ・・・・・OK",
                          "集計情報ファイルの調査 ・・・・・OK", "特定健診・保健指導データの調査 ",
                          "doc001.xml・・・・・OK", "doc002.xml",
                          "XMLファイルの整合性チェックでエラーが発生しました。"}));
    QVERIFY2(lines[6].startsWith(QStringLiteral("4行　")), qPrintable(lines[6]));
    QCOMPARE(lines.mid(7),
             QStringList({"特定健診・保健指導決済情報の調査 ", "clm001.xml・・・・・OK", ""}));
    // The run is over: panel 1 says so with the counts, instead of keeping
    // the last progress text, which reads as if it were still checking.
    QCOMPARE(panel1(window), QStringLiteral("調査完了　OK 4件／エラー 1件"));
    QVERIFY(recorder.boxes.isEmpty());
    QVERIFY(recorder.others.isEmpty());
    for (const char* name : {"Command1", "Command2", "Command3"}) {
        QVERIFY2(button(window, name)->isEnabled(), name);
    }
    QVERIFY(!window.isRunning());

    // The inputs were stored under this program's name and the window caption.
    morvik::ui::QSettingsStore store;
    QCOMPARE(
        store.read(MainWindow::executableName().toStdString(), kCaption.toStdString(), "TX_XmlFnm"),
        zip.string());
    // Byte for byte what the core writes, detail line included.
    QCOMPARE(shown, coreLog(zip));
}

void InspectionWindowTest::clicksAndClosingDuringRun() {
    const fs::path zip = makeExampleArchive(m_folder->path());
    MainWindow window;
    DialogRecorder recorder;
    window.setModalRunner(recorder.runner());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    control<QLineEdit>(window, "TX_XmlFnm")->setText(QString::fromStdString(zip.string()));

    // Runs at the run's first status text, when the window handles events:
    // the user presses every button and then closes the window.
    bool sawRun = false;
    QStringList enabledDuringRun;
    bool closedAtOnce = true;
    QTimer::singleShot(0, this, [&] {
        sawRun = window.isRunning();
        for (const char* name : {"Command1", "Command2", "Command3"}) {
            if (button(window, name)->isEnabled()) {
                enabledDuringRun << name;
            }
            QTest::mouseClick(button(window, name), Qt::LeftButton);
        }
        QTest::keyClick(button(window, "Command1"), Qt::Key_Space);
        window.Command1_Click();
        closedAtOnce = window.close();
    });
    QTest::mouseClick(button(window, "Command1"), Qt::LeftButton);

    QVERIFY(sawRun);
    QCOMPARE(enabledDuringRun, QStringList());
    QVERIFY(!closedAtOnce);
    // Closing stopped the run before its next document; the window closed
    // once it had stopped.
    QVERIFY(!window.isVisible());
    // No second run: it would have stopped at the extracted copy with a
    // message; no file dialog or picker either.
    QVERIFY(recorder.boxes.isEmpty());
    QVERIFY(recorder.others.isEmpty());
    // What the log holds is the start of the whole log, in whole lines.
    const QString shown = logText(window);
    QVERIFY2(coreLog(zip).startsWith(shown), qPrintable(shown));
    QVERIFY(shown.isEmpty() || shown.endsWith(u'\n'));
    QVERIFY2(panel1(window).startsWith(QStringLiteral("調査を中止しました")),
             qPrintable(panel1(window)));
}

void InspectionWindowTest::runEndingEarlyLeavesTheLog_data() {
    QTest::addColumn<QString>("archive"); // "missing" or "without schemas"
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("critical");
    QTest::newRow("archive that is not there") << "missing"
                                               << "解凍に失敗しました。Error Code:0x"
                                               << "Failed" << true;
    QTest::newRow("no schema folder")
        << "without schemas"
        << "XMLスキーマとして指定されたフォルダにスキーマが見つかりません。"
        << "Morvik" << false;
}

void InspectionWindowTest::runEndingEarlyLeavesTheLog() {
    QFETCH(QString, archive);
    QFETCH(QString, message);
    QFETCH(QString, caption);
    QFETCH(bool, critical);
    fs::path zip = m_folder->path() / "absent.zip";
    if (archive == "without schemas") {
        zip = morvik::test::makeArchive(m_folder->path(), "plain",
                                        {{"ix08_V08.xml", morvik::test::indexDocument()}});
    }
    MainWindow window;
    DialogRecorder recorder;
    window.setModalRunner(recorder.runner());
    control<QLineEdit>(window, "TX_XmlFnm")->setText(QString::fromStdString(zip.string()));
    control<QPlainTextEdit>(window, "TX_Msg")->setPlainText("the previous run's log\n");

    QTest::mouseClick(button(window, "Command1"), Qt::LeftButton);

    // The fixed box; with the archive extracted, ours on the copy left behind.
    QCOMPARE(recorder.boxes.size(), archive == "missing" ? 1 : 2);
    QVERIFY2(recorder.boxes[0].text.startsWith(message), qPrintable(recorder.boxes[0].text));
    QCOMPARE(recorder.boxes[0].caption, caption);
    QCOMPARE(recorder.boxes[0].icon, critical ? QMessageBox::Critical : QMessageBox::NoIcon);
    QCOMPARE(recorder.boxes[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(logText(window), QStringLiteral("the previous run's log\n"));
    QVERIFY(button(window, "Command1")->isEnabled());
}

int main(int argc, char** argv) {
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    QApplication application(argc, argv);
    InspectionWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

// The settings may lower (or raise) the limit on what an archive unpacks to;
// the window reads it at each run and never writes it.
void InspectionWindowTest::extractionLimitFromTheSettings() {
    auto files = morvik::test::standardFiles();
    files.push_back({"DATA/big.xml", morvik::test::dataDocument() + std::string(100'000, ' ')});
    const fs::path zip = morvik::test::makeArchive(m_folder->path(), "1310000001_big", files);
    morvik::ui::QSettingsStore store;
    const std::string app = MainWindow::executableName().toStdString();
    for (const auto& [limit, refused] : {std::pair{"64K", true}, std::pair{"64M", false}}) {
        fs::remove_all(zip.parent_path() / zip.stem());
        store.save(app, kCaption.toStdString(), "MaxExtractedSize", limit);
        MainWindow window;
        DialogRecorder recorder;
        window.setModalRunner(recorder.runner());
        control<QLineEdit>(window, "TX_XmlFnm")->setText(QString::fromStdString(zip.string()));
        QTest::mouseClick(button(window, "Command1"), Qt::LeftButton);
        QCOMPARE(recorder.boxes.size(), refused ? 1 : 0);
        if (refused) {
            QCOMPARE(recorder.boxes[0].text, QStringLiteral("解凍に失敗しました。Error Code:0xC"));
            QVERIFY(!fs::exists(zip.parent_path() / zip.stem()));
        }
        QCOMPARE(
            QString::fromStdString(store.read(app, kCaption.toStdString(), "MaxExtractedSize")),
            QString::fromLatin1(limit));
    }
}

#include "inspectionwindow_test.moc"
