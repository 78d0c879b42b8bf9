// The main window: layout at 96 dpi, the status line, the result log box,
// the stored inputs (also for a copy of the program under another name) and
// the two browse buttons. Dialogs are worked through the window's modal
// runner, as a user would work them, without a nested event loop.
#include "platform/text/utf8locale.h"
#include "support/windows.h"
#include "ui/appearance.h"
#include "ui/desktop.h"
#include "ui/mainwindow.h"
#include "ui/morvikdir.h"
#include "ui/qsettingsstore.h"
#include "ui/resultlogbox.h"
#include "ui/statusbar.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstring>
#include <iostream>
#include <langinfo.h>

using morvik::ui::MainWindow;

namespace {

using morvik::test::control;
using morvik::test::DialogRecorder;
using morvik::test::kCaption;

const QString kZipMessage =
    QStringLiteral("XMLファイルが圧縮されているZIPファイルを選択してください。");

QLineEdit* zipBox(MainWindow& window) {
    return control<QLineEdit>(window, "TX_XmlFnm");
}
QLineEdit* schemaBox(MainWindow& window) {
    return control<QLineEdit>(window, "TX_Schima");
}
morvik::ui::StatusBar* statusBar(MainWindow& window) {
    return control<morvik::ui::StatusBar>(window, "ST_Msg");
}

// The share of a widget's pixels that have exactly the given colour.
double shareOfColour(QWidget& widget, const QColor& colour) {
    const QImage image = widget.grab().toImage();
    qsizetype hits = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            hits += QColor(image.pixel(x, y)) == colour ? 1 : 0;
        }
    }
    return image.isNull() ? 0.0 : double(hits) / double(image.width() * image.height());
}

void saveInputs(const QString& zip, const QString& schema) {
    morvik::ui::QSettingsStore store;
    const std::string app = MainWindow::executableName().toStdString();
    store.save(app, kCaption.toStdString(), "TX_XmlFnm", zip.toStdString());
    store.save(app, kCaption.toStdString(), "TX_Schima", schema.toStdString());
}

// Runs a copy of this test program in one of its probe modes; returns stdout.
QString
runProbe(const QString& program, const QStringList& arguments,
         const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
    QProcess probe;
    probe.setProcessEnvironment(environment);
    probe.start(program, arguments);
    if (!probe.waitForFinished(60000) || probe.exitCode() != 0) {
        return QStringLiteral("probe failed: ") + QString::fromUtf8(probe.readAllStandardError());
    }
    return QString::fromUtf8(probe.readAllStandardOutput());
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void window();
    void controls_data();
    void controls();
    void tabOrder();

    void statusBarPanels();
    void statusFontCoversTheTexts();
    void msgDisp_data();
    void msgDisp();

    void logBox_data();
    void logBox();

    void storedInputsComeBack_data();
    void storedInputsComeBack();
    void copyUnderAnotherNameKeepsItsOwnSettings();
    void utf8FileNamesWhateverTheLocale_data();
    void utf8FileNamesWhateverTheLocale();

    void command2_data();
    void command2();

    void command3ClearsAnEarlierConfirmation();
    void command3WithTheRealDialog_data();
    void command3WithTheRealDialog();

private:
    QTemporaryDir m_files;
    QString m_startFolder;
};

void MainWindowTest::initTestCase() {
    QVERIFY(m_files.isValid());
    m_startFolder = QDir::currentPath();
    MainWindow probe;
    // The design tables are in twips: at 96 dpi every pixel value is a
    // fifteenth of them.
    QCOMPARE(probe.logicalDpiX(), 96);
    QCOMPARE(probe.logicalDpiY(), 96);
}

void MainWindowTest::cleanup() {
    QDir::setCurrent(m_startFolder);
}

void MainWindowTest::window() {
    MainWindow window;
    QCOMPARE(window.objectName(), QStringLiteral("Morvik"));
    QCOMPARE(window.windowTitle(), kCaption);
    // Client area 10110 x 8205 twips at first, and never less.
    QCOMPARE(window.size(), QSize(674, 547));
    QCOMPARE(window.minimumSize(), QSize(674, 547));
    QVERIFY(window.maximumSize().width() > 674 && window.maximumSize().height() > 547);
    QCOMPARE(window.windowIcon().availableSizes(), QList<QSize>({{16, 16}, {32, 32}, {48, 48}}));

    // Line1 runs from (180, 1590) to (9960, 1590) twips, all grey.
    auto* line = control<QWidget>(window, "Line1");
    QCOMPARE(line->geometry(), QRect(12, 106, 652, 1));
    QCOMPARE(shareOfColour(*line, QColor(128, 128, 128)), 1.0);
    // The input labels are pale yellow where the caption leaves room; the
    // hint is not.
    QVERIFY(shareOfColour(*control<QLabel>(window, "Label1"), QColor(255, 255, 192)) > 0.5);
    QVERIFY(shareOfColour(*control<QLabel>(window, "Label2"), QColor(255, 255, 192)) > 0.5);
    QCOMPARE(shareOfColour(*control<QLabel>(window, "Label3"), QColor(255, 255, 192)), 0.0);

    auto* log = control<QPlainTextEdit>(window, "TX_Msg");
    QCOMPARE(log->lineWrapMode(), QPlainTextEdit::NoWrap);
    QCOMPARE(log->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(log->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QVERIFY(!log->isReadOnly());
}

void MainWindowTest::controls_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("twips");

    QTest::newRow("Command1") << "QPushButton"
                              << "調査開始" << QRect(2100, 990, 6165, 525);
    QTest::newRow("Label1") << "QLabel"
                            << "XMLファイル(Zip)" << QRect(60, 60, 1365, 240);
    QTest::newRow("Command2") << "QPushButton"
                              << "参照" << QRect(1440, 30, 585, 285);
    QTest::newRow("TX_XmlFnm") << "QLineEdit" << QString() << QRect(2010, 30, 7935, 285);
    QTest::newRow("Label2") << "QLabel"
                            << "XMLスキーマ" << QRect(60, 390, 1380, 210);
    QTest::newRow("Command3") << "QPushButton"
                              << "参照" << QRect(1440, 360, 585, 285);
    QTest::newRow("TX_Schima") << "QLineEdit" << QString() << QRect(2010, 360, 7935, 285);
    QTest::newRow("TX_Msg") << "QPlainTextEdit" << QString() << QRect(30, 1710, 10005, 6195);
    QTest::newRow("Label3") << "QLabel"
                            << "XML出力Zipファイル内に格納されているスキーマを使用する場合は、"
                               "XMLスキーマを空白にして下さい。"
                            << QRect(1500, 690, 8385, 255);
    QTest::newRow("ST_Msg") << "morvik::ui::StatusBar" << QString() << QRect(0, 7935, 10110, 270);
}

void MainWindowTest::controls() {
    QFETCH(QString, kind);
    QFETCH(QString, caption);
    QFETCH(QRect, twips);
    MainWindow window;
    QWidget* widget = control<QWidget>(window, QTest::currentDataTag());
    QVERIFY(widget != nullptr);
    QVERIFY2(widget->inherits(kind.toLatin1()), widget->metaObject()->className());
    QCOMPARE(widget->geometry(),
             QRect(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15));
    if (auto* button = qobject_cast<QPushButton*>(widget)) {
        QCOMPARE(button->text(), caption);
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        QCOMPARE(label->text(), caption);
        QCOMPARE(label->focusPolicy(), Qt::NoFocus);
    }
}

void MainWindowTest::tabOrder() {
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QCOMPARE(QApplication::focusWidget(), control<QWidget>(window, "Command1"));
    QStringList visited;
    for (int i = 0; i < 6; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(visited,
             QStringList({"Command2", "TX_XmlFnm", "Command3", "TX_Schima", "TX_Msg", "Command1"}));
}

void MainWindowTest::statusBarPanels() {
    MainWindow window;
    window.show();
    morvik::ui::StatusBar* bar = statusBar(window);
    QVERIFY(bar != nullptr);
    // 8117 and 1700 twips; each panel as high as the bar (270 twips).
    QCOMPARE(bar->panel(1)->size(), QSize(541, 18));
    QCOMPARE(bar->panel(2)->size(), QSize(113, 18));
    QVERIFY(bar->panel(1)->geometry().right() < bar->panel(2)->geometry().left());
    QVERIFY(bar->panel(2)->geometry().right() < bar->width());
    QCOMPARE(bar->panelText(1), QString());
    QCOMPARE(bar->panelText(2), QStringLiteral("mainwindow_test"));
    QCOMPARE(MainWindow::executableName(), QStringLiteral("mainwindow_test"));
}

void MainWindowTest::statusFontCoversTheTexts() {
    MainWindow window;
    const QFont font = statusBar(window)->font();
    QCOMPARE(font.pointSize(), 9);
    QCOMPARE(font.weight(), QFont::Normal);
    const QString family = morvik::ui::japaneseGothicFamily();
    QVERIFY2(!family.isEmpty(), "no Japanese font installed");
    QCOMPARE(QFontInfo(font).family(), family);
    // The font itself holds every character of the texts the window shows,
    // so nothing is drawn as an empty box.
    const QFontMetrics metrics(font);
    const QString texts =
        QStringList({kCaption, "XML出力ファイルの整合性チェック開始", "XMLスキーマファイルのロード",
                     "XML出力ファイルの整合性チェック中", "調査開始参照XMLファイル(Zip)XMLスキーマ",
                     "Zipファイル内に格納されているスキーマを使用する場合は、空白にして下さい。",
                     "交換用基本情報集計情報特定健診・保健指導データ決済・・・・・OK行　",
                     "スキーマフォルダの検索"})
            .join(QString());
    for (const char32_t character : texts.toUcs4()) {
        QVERIFY2(metrics.inFontUcs4(character),
                 qPrintable(QString::fromUcs4(&character, 1) + " is missing in " + family));
    }
}

void MainWindowTest::msgDisp_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("start") << "XML出力ファイルの整合性チェック開始";
    QTest::newRow("empty text empties panel 1") << "";
}

void MainWindowTest::msgDisp() {
    QFETCH(QString, text);
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    morvik::ui::StatusBar* bar = statusBar(window);
    bar->MsgDisp("an earlier text");

    // What panel 1 showed when it was last painted, and whether a pending
    // event was handled, both seen before MsgDisp returns.
    struct PaintWatch : QObject {
        morvik::ui::StatusPanel* panel = nullptr;
        QString painted;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Paint) {
                painted = panel->text();
            }
            return false;
        }
    } watch;
    watch.panel = bar->panel(1);
    watch.panel->installEventFilter(&watch);
    bool pendingEventHandled = false;
    QTimer::singleShot(0, this, [&] { pendingEventHandled = true; });

    bar->MsgDisp(text.toStdString());

    QCOMPARE(watch.painted, text);
    QVERIFY(pendingEventHandled);
    QCOMPARE(bar->panelText(1), text);
    QCOMPARE(bar->panelText(2), QStringLiteral("mainwindow_test"));
}

void MainWindowTest::logBox_data() {
    QTest::addColumn<QStringList>("pieces");
    QTest::addColumn<QString>("shown");

    QTest::newRow("heading keeps its space")
        << QStringList{"特定健診・保健指導データの調査 ", "\r\n", "doc001.xml", "・・・・・OK\r\n"}
        << "特定健診・保健指導データの調査 \ndoc001.xml・・・・・OK\n";
    QTest::newRow("failure entry with an empty detail")
        << QStringList{"doc002.xml", "\r\n", "message", "\r\n", "", "\r\n"}
        << "doc002.xml\nmessage\n\n";
    QTest::newRow("CR and LF in two pieces") << QStringList{"a\r", "\nb\r", "\n"} << "a\nb\n";
}

void MainWindowTest::logBox() {
    QFETCH(QStringList, pieces);
    QFETCH(QString, shown);
    // Written once at the end, after every piece, and by the log's own timer.
    for (int mode = 0; mode < 3; ++mode) {
        QPlainTextEdit box;
        morvik::ui::ResultLogBox log(box);
        for (const QString& piece : pieces) {
            log.append(piece.toStdString());
            if (mode == 1) {
                log.flush();
            }
        }
        if (mode == 2) {
            QTRY_COMPARE(box.toPlainText(), shown);
        } else {
            log.flush();
            QCOMPARE(box.toPlainText(), shown);
        }
    }
}

void MainWindowTest::storedInputsComeBack_data() {
    QTest::addColumn<QString>("zip");
    QTest::addColumn<QString>("schema");
    QTest::newRow("leading and trailing spaces") << "  /tmp/a b.zip  "
                                                 << " /tmp/xsd ";
    QTest::newRow("Japanese") << "/データ/健診 2024/ファイル.ZIP"
                              << "/スキーマ/第２版　";
    QTest::newRow("comma, as in a list") << "/tmp/a,b.zip"
                                         << "x, y ,z";
    QTest::newRow("INI's special characters") << "a=b;c #d \"e\" \\f"
                                              << "[section]";
}

void MainWindowTest::storedInputsComeBack() {
    QFETCH(QString, zip);
    QFETCH(QString, schema);
    saveInputs(zip, schema);
    MainWindow window;
    QCOMPARE(zipBox(window)->text(), zip);
    QCOMPARE(schemaBox(window)->text(), schema);
    const QString app = MainWindow::executableName();
    QVERIFY(
        QFile::exists(qEnvironmentVariable("XDG_CONFIG_HOME") + "/" + app + "/" + app + ".ini"));
}

void MainWindowTest::copyUnderAnotherNameKeepsItsOwnSettings() {
    const QString self = QCoreApplication::applicationFilePath();
    const QString first = m_files.filePath("FirstCopy");
    const QString second = m_files.filePath("Second Copy.bin");
    QVERIFY(QFile::copy(self, first));
    QVERIFY(QFile::copy(self, second));
    for (const QString& copy : {first, second}) {
        QVERIFY(QFile::setPermissions(copy, QFile::permissions(self)));
    }

    QCOMPARE(runProbe(first, {"--probe-show"}),
             QStringLiteral("TX_XmlFnm=[]\nTX_Schima=[]\nPanel2=[FirstCopy]\n"));
    QCOMPARE(runProbe(first, {"--probe-save", " /tmp/健診 a.txt ", "/tmp/xsd　"}),
             QStringLiteral("message=[%1]\n").arg(kZipMessage));
    QCOMPARE(runProbe(first, {"--probe-show"}),
             QStringLiteral(
                 "TX_XmlFnm=[ /tmp/健診 a.txt ]\nTX_Schima=[/tmp/xsd　]\nPanel2=[FirstCopy]\n"));
    // The name without its extension is the second copy's application name.
    QCOMPARE(runProbe(second, {"--probe-show"}),
             QStringLiteral("TX_XmlFnm=[]\nTX_Schima=[]\nPanel2=[Second Copy]\n"));
    QCOMPARE(runProbe(second, {"--probe-save", "/b.txt", ""}),
             QStringLiteral("message=[%1]\n").arg(kZipMessage));
    QCOMPARE(runProbe(first, {"--probe-show"}),
             QStringLiteral(
                 "TX_XmlFnm=[ /tmp/健診 a.txt ]\nTX_Schima=[/tmp/xsd　]\nPanel2=[FirstCopy]\n"));
    QCOMPARE(runProbe(second, {"--probe-show"}),
             QStringLiteral("TX_XmlFnm=[/b.txt]\nTX_Schima=[]\nPanel2=[Second Copy]\n"));
}

void MainWindowTest::utf8FileNamesWhateverTheLocale_data() {
    QTest::addColumn<QStringList>("environment");
    QTest::newRow("LC_ALL=C") << QStringList{"LC_ALL=C", "LANG=ja_JP.UTF-8"};
    QTest::newRow("LANG=C only") << QStringList{"LANG=C"};
    QTest::newRow("UTF-8 already") << QStringList{"LC_ALL=C.UTF-8"};
}

void MainWindowTest::utf8FileNamesWhateverTheLocale() {
    QFETCH(QStringList, environment);
    QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        variables.remove(QLatin1String(name));
    }
    for (const QString& setting : environment) {
        variables.insert(setting.section(u'=', 0, 0), setting.section(u'=', 1));
    }
    QCOMPARE(runProbe(QCoreApplication::applicationFilePath(), {"--probe-locale"}, variables),
             QStringLiteral("UTF-8\n"));
}

void MainWindowTest::command2_data() {
    QTest::addColumn<QString>("initial");     // TX_XmlFnm before the click
    QTest::addColumn<QString>("pick");        // file the user picks in the dialog, if any
    QTest::addColumn<bool>("open");           // Open, or else Cancel
    QTest::addColumn<QString>("preselected"); // the file the dialog opened on ("*": any)
    QTest::addColumn<QString>("expected");

    const QString folder = m_files.path();
    QTest::newRow("cancel keeps spaces") << "  /no such/a.zip "
                                         << "" << false << "*"
                                         << "  /no such/a.zip ";
    QTest::newRow("cancel after picking") << folder + "/b.zip" << folder + "/c d.zip" << false
                                          << folder + "/b.zip" << folder + "/b.zip";
    QTest::newRow("open from an empty box")
        << "" << folder + "/b.zip" << true << "" << folder + "/b.zip";
    QTest::newRow("opens on the last file")
        << folder + "/b.zip" << folder + "/健診 データ.zip" << true << folder + "/b.zip"
        << folder + "/健診 データ.zip";
}

void MainWindowTest::command2() {
    QFETCH(QString, initial);
    QFETCH(QString, pick);
    QFETCH(bool, open);
    QFETCH(QString, preselected);
    QFETCH(QString, expected);
    for (const char* name : {"b.zip", "c d.zip", "健診 データ.zip"}) {
        QFile file(m_files.filePath(QString::fromUtf8(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }

    MainWindow window;
    DialogRecorder recorder;
    QStringList seen;
    recorder.onDialog = [&](QDialog& dialog) {
        auto* files = qobject_cast<QFileDialog*>(&dialog);
        if (files == nullptr) {
            return int(QDialog::Rejected);
        }
        seen = files->nameFilters();
        seen << QString::number(files->fileMode()) << QString::number(files->acceptMode());
        seen << (preselected == "*" ? "*" : files->selectedFiles().value(0));
        if (!pick.isEmpty()) {
            files->selectFile(pick);
        }
        if (open) {
            // QDialog's public accept(), which runs the file dialog's checks.
            dialog.accept();
        } else {
            files->reject();
        }
        return files->result();
    };
    window.setModalRunner(recorder.runner());
    zipBox(window)->setText(initial);
    QTest::mouseClick(control<QPushButton>(window, "Command2"), Qt::LeftButton);

    QCOMPARE(recorder.dialogs, 1);
    QCOMPARE(seen, QStringList({"ZIP ファイル (*.zip)", QString::number(QFileDialog::ExistingFiles),
                                QString::number(QFileDialog::AcceptOpen), preselected}));
    QCOMPARE(zipBox(window)->text(), expected);
    QVERIFY(recorder.boxes.isEmpty());
}

void MainWindowTest::command3ClearsAnEarlierConfirmation() {
    // Set at once confirms the process's current folder.
    const QString folder = m_files.filePath("スキーマ 置き場");
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(QDir::setCurrent(folder));
    MainWindow window;
    DialogRecorder recorder;
    QList<QPair<qint32, QString>> atShowing;
    bool confirm = true;
    recorder.onDialog = [&](QDialog& dialog) {
        auto* picker = qobject_cast<morvik::ui::MorvikDir*>(&dialog);
        atShowing.append({picker->GLret, picker->GlFileDir});
        if (confirm) {
            picker->findChild<QPushButton*>("Command1")->click();
        } else {
            picker->close();
        }
        return picker->result();
    };
    window.setModalRunner(recorder.runner());
    schemaBox(window)->setText(" typed ");
    QTest::mouseClick(control<QPushButton>(window, "Command3"), Qt::LeftButton);
    QCOMPARE(schemaBox(window)->text(), folder);

    // Closing the next showing with its close box keeps what was typed since.
    schemaBox(window)->setText("typed since");
    confirm = false;
    QTest::mouseClick(control<QPushButton>(window, "Command3"), Qt::LeftButton);
    QCOMPARE(schemaBox(window)->text(), QStringLiteral("typed since"));
    QCOMPARE(atShowing, (QList<QPair<qint32, QString>>{{0, QString()}, {0, QString()}}));
}

void MainWindowTest::command3WithTheRealDialog_data() {
    QTest::addColumn<bool>("confirm");
    QTest::newRow("Set") << true;
    QTest::newRow("close box") << false;
}

void MainWindowTest::command3WithTheRealDialog() {
    QFETCH(bool, confirm);
    QVERIFY(QDir::setCurrent(m_files.path()));
    MainWindow window;
    window.show();
    schemaBox(window)->setText(" typed ");
    bool sawPicker = false;
    QTimer::singleShot(0, this, [&] {
        auto* picker = qobject_cast<morvik::ui::MorvikDir*>(QApplication::activeModalWidget());
        sawPicker = picker != nullptr && picker->isVisible();
        if (picker == nullptr) {
            return;
        }
        if (confirm) {
            QTest::mouseClick(picker->findChild<QPushButton*>("Command1"), Qt::LeftButton);
        } else {
            picker->close();
        }
    });
    QTest::mouseClick(control<QPushButton>(window, "Command3"), Qt::LeftButton);
    QVERIFY(sawPicker);
    QCOMPARE(schemaBox(window)->text(), confirm ? m_files.path() : QStringLiteral(" typed "));
}

// Probe modes, run by copyUnderAnotherNameKeepsItsOwnSettings in copies of
// this program: show what the window restored, or save inputs through
// Command1 (with a ZIP path that the run turns down after saving).
static int probe(int argc, char** argv) {
    QApplication application(argc, argv);
    MainWindow window;
    if (std::strcmp(argv[1], "--probe-show") == 0) {
        std::cout << "TX_XmlFnm=[" << zipBox(window)->text().toStdString() << "]\n"
                  << "TX_Schima=[" << schemaBox(window)->text().toStdString() << "]\n"
                  << "Panel2=[" << statusBar(window)->panelText(2).toStdString() << "]\n";
        return 0;
    }
    if (argc < 4) {
        return 64;
    }
    DialogRecorder recorder;
    window.setModalRunner(recorder.runner());
    zipBox(window)->setText(QString::fromUtf8(argv[2]));
    schemaBox(window)->setText(QString::fromUtf8(argv[3]));
    control<QPushButton>(window, "Command1")->click();
    for (const auto& box : recorder.boxes) {
        std::cout << "message=[" << box.text.toStdString() << "]\n";
    }
    return 0;
}

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--probe-locale") == 0) {
        // The character set the C library reads file names in, before Qt
        // has had a say.
        morvik::platform::useUtf8Locale();
        std::cout << nl_langinfo(CODESET) << '\n';
        return 0;
    }
    if (argc >= 2 && std::strncmp(argv[1], "--probe-", 8) == 0) {
        return probe(argc, argv);
    }
    // The settings of this run live in a folder of their own.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    qputenv("QT_FONT_DPI", "96");
    QApplication application(argc, argv);
    MainWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "mainwindow_test.moc"
