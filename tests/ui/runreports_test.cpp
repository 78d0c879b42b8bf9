// What the window reports of a run beside its log, against what the command
// line reports of the same archives: the reception check's findings in the
// completion text and the several-archives summary, and the CSV report saved
// from the log's menu, byte for byte as morvik-inspect --csv writes it.
#include "cli/process.h"
#include "support/realshaped.h"
#include "support/testutil.h"
#include "support/windows.h"
#include "ui/logedit.h"
#include "ui/mainwindow.h"
#include "ui/qsettingsstore.h"
#include "ui/statusbar.h"

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <filesystem>

using morvik::ui::MainWindow;
namespace fs = std::filesystem;

namespace {

using morvik::test::control;
using morvik::test::DialogRecorder;
using morvik::test::kCaption;

QString qs(const fs::path& path) {
    return QString::fromStdString(path.string());
}

void saveSetting(const char* key, const QString& value) {
    morvik::ui::QSettingsStore store;
    store.save(MainWindow::executableName().toStdString(), kCaption.toStdString(), key,
               value.toStdString());
}

// Archives shaped like the real files, by what they hold:
//   clean     every document valid; the lax schema set is a 注意 finding
//   totals    as clean, but the summary's total cost is not the claims' sum
//             (エラー findings) and one DATA document is in another namespace,
//             so that it fails its schema and is no checkup document
//   extracted as clean, but an earlier extracted copy stops the run
fs::path shapedArchive(const fs::path& folder, const std::string& kind) {
    morvik::test::ShapedArchive archive;
    fs::create_directories(folder);
    if (kind == "totals") {
        archive.totalCostAmount = "100";
        archive.persons[1].dataNamespace = "urn:example:not-a-checkup";
    }
    const fs::path zip = morvik::test::makeArchive(folder, archive.baseName(), archive.files());
    if (kind == "extracted") {
        morvik::test::writeFile(folder / archive.baseName() / "ix08_V08.xml", "an earlier copy");
    }
    return zip;
}

// Presses 調査開始 on zips (several in double quotes, as the dialog puts them).
void inspect(MainWindow& window, const QStringList& zips) {
    QStringList quoted;
    for (const QString& zip : zips) {
        quoted << u'"' + zip + u'"';
    }
    control<QLineEdit>(window, "TX_XmlFnm")
        ->setText(zips.size() == 1 ? zips.first() : quoted.join(u' '));
    QTest::mouseClick(control<QPushButton>(window, "Command1"), Qt::LeftButton);
}

// Removes what the window's run extracted, so that the command line's run on
// the same ZIP paths extracts afresh; a copy the test planted stays.
void removeExtracted(const QStringList& zips, const QStringList& kinds) {
    for (qsizetype i = 0; i < zips.size(); ++i) {
        if (kinds[i] != QLatin1String("extracted")) {
            const fs::path zip(zips[i].toStdString());
            fs::remove_all(zip.parent_path() / zip.stem());
        }
    }
}

// The log's text from its summary table's heading on, with LF, without the
// note after an archive that was not inspected (the window words it as its
// completion text does, the command line more briefly).
QString summaryOf(const QString& log) {
    const qsizetype at = log.indexOf(QStringLiteral("==== 集計 ===="));
    return at < 0 ? QString()
                  : log.mid(at)
                        .replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
                        .remove(QRegularExpression(QStringLiteral("  （[^）\n]*）")));
}

QAction* csvAction(QMenu& menu) {
    for (QAction* action : menu.actions()) {
        if (action->text() == QStringLiteral("CSVで保存…")) {
            return action;
        }
    }
    return nullptr;
}

} // namespace

class RunReportsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void findingsCounted_data();
    void findingsCounted();
    void csvAsTheCommandLine_data();
    void csvAsTheCommandLine();
    void csvNotWritten();

private:
    std::unique_ptr<morvik::test::TempDir> m_bin;
    std::unique_ptr<morvik::test::TempDir> m_folder;
};

void RunReportsTest::initTestCase() {
    // No file browser opens the folder of the archive already extracted.
    m_bin = std::make_unique<morvik::test::TempDir>();
    qputenv("PATH", QByteArray::fromStdString(m_bin->path().string()));
}

void RunReportsTest::init() {
    for (const char* key : {"TX_XmlFnm", "TX_Schima", "ReceptionCheck"}) {
        saveSetting(key, QString());
    }
    m_folder = std::make_unique<morvik::test::TempDir>();
}

void RunReportsTest::findingsCounted_data() {
    QTest::addColumn<QStringList>("kinds"); // the archives, as shapedArchive makes them
    QTest::addColumn<QString>("panel1");    // the completion text
    QTest::addColumn<int>("exitStatus");    // of the first archive, as the window counts it
    QTest::newRow("cautions only: the run passes")
        << QStringList{"clean"} << "調査完了　OK 6件／エラー 0件　受付エラー 0件／受付注意 1件"
        << 0;
    QTest::newRow("an エラー finding fails the run")
        << QStringList{"totals"} << "調査完了　OK 5件／エラー 1件　受付エラー 3件／受付注意 1件"
        << 1;
    QTest::newRow("several: the findings of all, the summary as the command line's")
        << QStringList{"totals", "clean", "extracted"}
        << "調査完了　ZIPファイル 3件　OK 11件／エラー 1件　受付エラー 3件／受付注意 2件" << 1;
}

void RunReportsTest::findingsCounted() {
    QFETCH(QStringList, kinds);
    QFETCH(QString, panel1);
    QFETCH(int, exitStatus);
    QStringList zips;
    for (qsizetype i = 0; i < kinds.size(); ++i) {
        zips << qs(shapedArchive(m_folder->path() / ("a" + std::to_string(i + 1)),
                                 kinds[i].toStdString()));
    }
    MainWindow window;
    DialogRecorder recorder;
    window.setModalRunner(recorder.runner());
    inspect(window, zips);

    QCOMPARE(control<morvik::ui::StatusBar>(window, "ST_Msg")->panelText(1), panel1);
    QCOMPARE(window.logRuns().front().exitStatus(), exitStatus);
    if (zips.size() == 1) {
        return;
    }
    // The summary table line for line as morvik-inspect prints it.
    const QString ours = summaryOf(control<morvik::ui::LogEdit>(window, "TX_Msg")->toPlainText());
    removeExtracted(zips, kinds);
    std::vector<std::string> args;
    for (const QString& zip : zips) {
        args.push_back(zip.toStdString());
    }
    const morvik::test::ProcessResult cli = morvik::test::runInspect(args);
    QCOMPARE(cli.status, 2);
    QVERIFY(!ours.isEmpty());
    const QString theirs = summaryOf(QString::fromStdString(cli.out));
    QVERIFY2(ours == theirs, qPrintable(ours + u'|' + theirs));
}

void RunReportsTest::csvAsTheCommandLine_data() {
    QTest::addColumn<QStringList>("kinds"); // none: no run has written the log
    QTest::newRow("no run yet: nothing to save") << QStringList{};
    QTest::newRow("a failing document and reception findings") << QStringList{"totals"};
    QTest::newRow("several, one of them stopped by an earlier copy")
        << QStringList{"clean", "extracted", "totals"};
}

void RunReportsTest::csvAsTheCommandLine() {
    QFETCH(QStringList, kinds);
    QStringList zips;
    for (qsizetype i = 0; i < kinds.size(); ++i) {
        zips << qs(shapedArchive(m_folder->path() / ("a" + std::to_string(i + 1)),
                                 kinds[i].toStdString()));
    }
    MainWindow window;
    DialogRecorder recorder;
    QString proposed;
    const fs::path saved = m_folder->path() / "saved" / "結果.csv";
    fs::create_directories(saved.parent_path());
    recorder.onDialog = [&](QDialog& dialog) {
        auto* files = qobject_cast<QFileDialog*>(&dialog);
        proposed = files->selectedFiles().value(0);
        files->selectFile(qs(saved));
        dialog.accept();
        return dialog.result();
    };
    window.setModalRunner(recorder.runner());
    if (!zips.isEmpty()) {
        inspect(window, zips);
    }
    std::unique_ptr<QMenu> menu(window.createLogMenu());
    QAction* save = csvAction(*menu);
    QVERIFY(save != nullptr);
    // Right after ログを保存…
    QCOMPARE(menu->actions().indexOf(save), menu->actions().size() - 1);
    QCOMPARE(menu->actions().value(menu->actions().size() - 2)->text(),
             QStringLiteral("ログを保存…"));
    QCOMPARE(save->isEnabled(), !zips.isEmpty());
    if (zips.isEmpty()) {
        return;
    }
    const int boxes = int(recorder.boxes.size());
    save->trigger();
    QCOMPARE(recorder.boxes.size(), boxes); // no failure to tell
    // Beside the (first) archive, named after it.
    const QFileInfo first(zips.first());
    QCOMPARE(proposed, first.absolutePath() +
                           (zips.size() == 1
                                ? u'/' + first.completeBaseName() + QStringLiteral("_調査結果.csv")
                                : QStringLiteral("/調査結果一覧.csv")));
    QFile file(qs(saved));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray ours = file.readAll();

    removeExtracted(zips, kinds);
    const fs::path theirs = m_folder->path() / "cli.csv";
    std::vector<std::string> args = {"--csv", theirs.string()};
    for (const QString& zip : zips) {
        args.push_back(zip.toStdString());
    }
    const morvik::test::ProcessResult cli = morvik::test::runInspect(args);
    QVERIFY2(cli.status == 1 || cli.status == 2, cli.err.c_str());
    QFile expected(qs(theirs));
    QVERIFY(expected.open(QIODevice::ReadOnly));
    const QByteArray wanted = expected.readAll();
    // Rows of every kind the archives call for.
    for (const char* row : {",OK,", ",NG,", ",受付チェック,", "summary-totals", ",注意,"}) {
        QVERIFY2(wanted.contains(row), row);
    }
    QVERIFY(wanted.contains(",アーカイブ,") == kinds.contains(QStringLiteral("extracted")));
    QCOMPARE(ours, wanted);
}

// A place the file cannot go (its folder is a file): the user is told where
// and why, and nothing is left there.
void RunReportsTest::csvNotWritten() {
    const QString zip = qs(shapedArchive(m_folder->path() / "a1", "totals"));
    const fs::path notAFolder = m_folder->path() / "not-a-folder";
    morvik::test::writeFile(notAFolder, "a file");
    MainWindow window;
    DialogRecorder recorder;
    recorder.onDialog = [&](QDialog& dialog) {
        qobject_cast<QFileDialog*>(&dialog)->selectFile(qs(notAFolder / "結果.csv"));
        dialog.accept();
        return dialog.result();
    };
    window.setModalRunner(recorder.runner());
    inspect(window, {zip});
    recorder.boxes.clear();
    window.saveCsv();
    QCOMPARE(recorder.boxes.size(), 1);
    QVERIFY2(recorder.boxes.first().text.startsWith(
                 QStringLiteral("CSVを保存できませんでした。\n") + qs(notAFolder / "結果.csv")),
             qPrintable(recorder.boxes.first().text));
    QCOMPARE(recorder.boxes.first().icon, QMessageBox::Critical);
    QCOMPARE(morvik::test::readFile(notAFolder), std::string("a file"));
}

QTEST_MAIN(RunReportsTest)
#include "runreports_test.moc"
