// What the windows take from the user besides clicks and typing: Enter on a
// focused button, files and folders dropped from the file manager, pasted
// paths with line breaks, the log saved to a file from its context menu,
// Qt's own texts in Japanese, and the ZIP file the program is started on.
#include "support/archives.h"
#include "support/runharness.h"
#include "support/testutil.h"
#include "support/windows.h"
#include "ui/desktop.h"
#include "ui/logfile.h"
#include "ui/mainwindow.h"
#include "ui/morvikdir.h"
#include "ui/qsettingsstore.h"
#include "ui/runrecord.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>
#include <QUrl>

#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

using morvik::ui::MainWindow;
namespace fs = std::filesystem;

namespace {

using morvik::test::control;
using morvik::test::DialogRecorder;
using morvik::test::kCaption;

const QString kZipMessage =
    QStringLiteral("XMLファイルが圧縮されているZIPファイルを選択してください。");
const QByteArray kBom("\xEF\xBB\xBF");

QLineEdit* zipBox(MainWindow& window) {
    return control<QLineEdit>(window, "TX_XmlFnm");
}
QLineEdit* schemaBox(MainWindow& window) {
    return control<QLineEdit>(window, "TX_Schima");
}
QPlainTextEdit* logBox(MainWindow& window) {
    return control<QPlainTextEdit>(window, "TX_Msg");
}

QString qs(const fs::path& path) {
    return QString::fromStdString(path.string());
}

QByteArray fileBytes(const fs::path& path) {
    return QByteArray::fromStdString(morvik::test::readFile(path));
}

// The files in folder, by name.
QStringList filesIn(const fs::path& folder) {
    QStringList names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names << QString::fromStdString(entry.path().filename().string());
    }
    names.sort();
    return names;
}

} // namespace

class WindowInputTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void enterOnMainWindowButtons_data();
    void enterOnMainWindowButtons();
    void enterOnThePicker_data();
    void enterOnThePicker();

    void drops_data();
    void drops();
    void pasteLosesLineBreaks_data();
    void pasteLosesLineBreaks();

    void logMenu();
    void savedLogBytes_data();
    void savedLogBytes();
    void saveDialog_data();
    void saveDialog();
    void saveFailureIsTold();
    void unwritableFolder();
    void replacingAFileLeavesNoTrace();

    void qtSpeaksJapanese();
    void startArgument_data();
    void startArgument();

private:
    std::unique_ptr<morvik::test::TempDir> m_folder;
    QString m_startFolder;
};

void WindowInputTest::init() {
    m_folder = std::make_unique<morvik::test::TempDir>();
    m_startFolder = QDir::currentPath();
}

void WindowInputTest::cleanup() {
    QDir::setCurrent(m_startFolder);
}

void WindowInputTest::enterOnMainWindowButtons_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<bool>("keypad");   // the keypad's Enter, else Return
    QTest::addColumn<QString>("shown"); // what the press showed

    QTest::newRow("Command1, Return: the run starts") << "Command1" << false << kZipMessage;
    QTest::newRow("Command1, keypad Enter") << "Command1" << true << kZipMessage;
    QTest::newRow("Command2, Return: the file dialog") << "Command2" << false << "QFileDialog";
    QTest::newRow("Command2, keypad Enter") << "Command2" << true << "QFileDialog";
    QTest::newRow("Command3, Return: the folder picker")
        << "Command3" << false << "morvik::ui::MorvikDir";
    QTest::newRow("Command3, keypad Enter") << "Command3" << true << "morvik::ui::MorvikDir";
    QTest::newRow("Return in TX_XmlFnm starts nothing") << "TX_XmlFnm" << false << "";
}

void WindowInputTest::enterOnMainWindowButtons() {
    QFETCH(QString, control);
    QFETCH(bool, keypad);
    QFETCH(QString, shown);
    MainWindow window;
    DialogRecorder recorder;
    window.setModalRunner(recorder.runner());
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QWidget* target = morvik::test::control<QWidget>(window, control.toLatin1());
    target->setFocus();
    QCOMPARE(QApplication::focusWidget(), target);

    QTest::keyClick(QApplication::focusWidget(), keypad ? Qt::Key_Enter : Qt::Key_Return,
                    keypad ? Qt::KeypadModifier : Qt::NoModifier);

    QStringList seen = recorder.others;
    for (const auto& box : recorder.boxes) {
        seen << box.text;
    }
    QCOMPARE(seen, shown.isEmpty() ? QStringList() : QStringList{shown});
}

void WindowInputTest::enterOnThePicker_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<bool>("keypad");
    QTest::addColumn<bool>("confirmed");
    QTest::newRow("Set, Return") << "Command1" << false << true;
    QTest::newRow("Set, keypad Enter") << "Command1" << true << true;
    QTest::newRow("Return in the drive list confirms nothing") << "Drive1" << false << false;
}

void WindowInputTest::enterOnThePicker() {
    QFETCH(QString, control);
    QFETCH(bool, keypad);
    QFETCH(bool, confirmed);
    QVERIFY(QDir::setCurrent(qs(m_folder->path())));
    morvik::ui::MorvikDir picker;
    picker.show();
    QVERIFY(QTest::qWaitForWindowActive(&picker));
    QWidget* target = morvik::test::control<QWidget>(picker, control.toLatin1());
    target->setFocus();
    QCOMPARE(QApplication::focusWidget(), target);

    QTest::keyClick(target, keypad ? Qt::Key_Enter : Qt::Key_Return,
                    keypad ? Qt::KeypadModifier : Qt::NoModifier);

    QCOMPARE(picker.GLret, confirmed ? 1 : 0);
    QCOMPARE(picker.isVisible(), !confirmed);
    QCOMPARE(picker.GlFileDir, confirmed ? qs(m_folder->path()) : QString());
}

void WindowInputTest::drops_data() {
    QTest::addColumn<QString>("target");   // object name, or "window"
    QTest::addColumn<QStringList>("urls"); // names under the test folder, or full URLs
    QTest::addColumn<QString>("text");     // plain text instead of URLs
    QTest::addColumn<QString>("zip");      // TX_XmlFnm afterwards, under the test folder
    QTest::addColumn<QString>("schema");   // TX_Schima afterwards, under the test folder
    QTest::addColumn<bool>("taken");

    const QString zipBefore = "/before.zip";
    const QString schemaBefore = "/before";
    QTest::newRow("ZIP on TX_XmlFnm") << "TX_XmlFnm" << QStringList{"a.zip"} << ""
                                      << "a.zip" << schemaBefore << true;
    QTest::newRow("ZIP elsewhere on the window") << "window" << QStringList{"a.zip"} << ""
                                                 << "a.zip" << schemaBefore << true;
    QTest::newRow("ZIP on the log") << "TX_Msg" << QStringList{"a.zip"} << ""
                                    << "a.zip" << schemaBefore << true;
    QTest::newRow("ZIP on TX_Schima names the archive") << "TX_Schima" << QStringList{"a.zip"} << ""
                                                        << "a.zip" << schemaBefore << true;
    QTest::newRow(".ZIP, spaces and Japanese in the name")
        << "TX_XmlFnm" << QStringList{"健診 データ.ZIP"} << ""
        << "健診 データ.ZIP" << schemaBefore << true;
    QTest::newRow("folder on TX_Schima, without its closing /")
        << "TX_Schima" << QStringList{"xsd/"} << "" << zipBefore << "xsd" << true;
    QTest::newRow("folder on TX_XmlFnm")
        << "TX_XmlFnm" << QStringList{"xsd"} << "" << zipBefore << schemaBefore << false;
    QTest::newRow("folder elsewhere on the window")
        << "window" << QStringList{"xsd"} << "" << zipBefore << schemaBefore << false;
    QTest::newRow("two ZIP files: both, quoted")
        << "TX_XmlFnm" << QStringList{"a.zip", "b.zip"} << ""
        << "\"a.zip\" \"b.zip\"" << schemaBefore << true;
    QTest::newRow("a ZIP file and a text file") << "TX_XmlFnm" << QStringList{"a.zip", "notes.txt"}
                                                << "" << zipBefore << schemaBefore << false;
    QTest::newRow("a file that is no ZIP")
        << "window" << QStringList{"notes.txt"} << "" << zipBefore << schemaBefore << false;
    QTest::newRow("a ZIP that is not there")
        << "TX_XmlFnm" << QStringList{"gone.zip"} << "" << zipBefore << schemaBefore << false;
    QTest::newRow("a remote ZIP") << "TX_XmlFnm" << QStringList{"https://example.org/a.zip"} << ""
                                  << zipBefore << schemaBefore << false;
    QTest::newRow("URL of another scheme") << "TX_Schima" << QStringList{"sftp://host/xsd"} << ""
                                           << zipBefore << schemaBefore << false;
    QTest::newRow("plain text on TX_XmlFnm") << "TX_XmlFnm" << QStringList{} << "/tmp/a.zip\n"
                                             << zipBefore << schemaBefore << false;
    QTest::newRow("plain text on TX_Schima") << "TX_Schima" << QStringList{} << "/tmp\n"
                                             << zipBefore << schemaBefore << false;
}

void WindowInputTest::drops() {
    QFETCH(QString, target);
    QFETCH(QStringList, urls);
    QFETCH(QString, text);
    QFETCH(QString, zip);
    QFETCH(QString, schema);
    QFETCH(bool, taken);
    const fs::path folder = m_folder->path();
    for (const char* name : {"a.zip", "b.zip", "notes.txt", "健診 データ.ZIP"}) {
        morvik::test::writeFile(folder / name, "");
    }
    fs::create_directories(folder / "xsd");
    auto underFolder = [&](const QString& name) {
        return name.startsWith(u'/') ? name : qs(folder) + u'/' + name;
    };

    MainWindow window;
    window.show();
    zipBox(window)->setText("/before.zip");
    schemaBox(window)->setText("/before");
    logBox(window)->setPlainText("the log");
    QMimeData data;
    if (!urls.isEmpty()) {
        QList<QUrl> list;
        for (const QString& url : urls) {
            list << (url.contains(u':') ? QUrl(url) : QUrl::fromLocalFile(underFolder(url)));
        }
        data.setUrls(list);
    }
    if (!text.isEmpty()) {
        data.setText(text);
    }
    QWidget* widget = target == "window"   ? &window
                      : target == "TX_Msg" ? logBox(window)->viewport()
                                           : control<QWidget>(window, target.toLatin1());

    const morvik::test::DropResult result = morvik::test::dropOn(*widget, data);

    QCOMPARE(result.enterAccepted, taken);
    QCOMPARE(result.dropAccepted, taken);
    if (taken) {
        // Copied, never moved: a file manager would remove a moved file.
        QCOMPARE(result.action, Qt::CopyAction);
    }
    const QStringList several = morvik::ui::severalZipPaths(zip);
    QStringList severalUnder;
    for (const QString& name : several) {
        severalUnder << underFolder(name);
    }
    QCOMPARE(zipBox(window)->text(),
             several.isEmpty() ? underFolder(zip) : morvik::ui::severalZipText(severalUnder));
    QCOMPARE(schemaBox(window)->text(), underFolder(schema));
    QCOMPARE(logBox(window)->toPlainText(), QStringLiteral("the log"));
}

void WindowInputTest::pasteLosesLineBreaks_data() {
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<QString>("after");
    QTest::newRow("path with CR LF around it") << "TX_XmlFnm"
                                               << "" << 0 << "\r\n/tmp/健診 a.zip\r\n"
                                               << "/tmp/健診 a.zip";
    QTest::newRow("spaces stay, line break goes") << "TX_Schima"
                                                  << "" << 0 << "  /xsd  \n"
                                                  << "  /xsd  ";
    QTest::newRow("into the middle of a path") << "TX_XmlFnm"
                                               << "/ab.zip" << 2 << "\nX\n"
                                               << "/aXb.zip";
    QTest::newRow("Unicode line and paragraph separators")
        << "TX_Schima"
        << "" << 0 << QString(QChar::LineSeparator) + "/x" + QChar::ParagraphSeparator << "/x";
}

void WindowInputTest::pasteLosesLineBreaks() {
    QFETCH(QString, box);
    QFETCH(QString, before);
    QFETCH(int, cursor);
    QFETCH(QString, clipboard);
    QFETCH(QString, after);
    MainWindow window;
    window.show();
    auto* edit = control<QLineEdit>(window, box.toLatin1());
    edit->setText(before);
    edit->setCursorPosition(cursor);
    QApplication::clipboard()->setText(clipboard);
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(edit->text(), after);
    // The caret stands after the pasted text.
    QCOMPARE(edit->cursorPosition(), cursor + after.size() - before.size());
}

void WindowInputTest::logMenu() {
    MainWindow window;
    DialogRecorder recorder;
    window.setModalRunner(recorder.runner());
    for (const bool empty : {true, false}) {
        logBox(window)->setPlainText(empty ? "" : "a line\n");
        std::unique_ptr<QMenu> menu(window.createLogMenu());
        const QList<QAction*> actions = menu->actions();
        QVERIFY(actions.size() > 2);
        // The box's own entries, a separator, then saving the log and the
        // CSV (which only a run's log can give).
        QAction* saveLog = actions[actions.size() - 2];
        QCOMPARE(saveLog->text(), QStringLiteral("ログを保存…"));
        QVERIFY(actions[actions.size() - 3]->isSeparator());
        QCOMPARE(saveLog->isEnabled(), !empty);
        QCOMPARE(actions.last()->text(), QStringLiteral("CSVで保存…"));
        QVERIFY(!actions.last()->isEnabled());
        if (!empty) {
            saveLog->trigger();
            QCOMPARE(recorder.others, QStringList{"QFileDialog"});
        }
    }
}

void WindowInputTest::savedLogBytes_data() {
    QTest::addColumn<QString>("log"); // what the box shows ("run": a whole run's log)
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("a whole run's log, as the run writes it") << "run" << QByteArray();
    QTest::newRow("no-break space and empty lines kept") << "a\u00A0b\n\nc\n"
                                                         << QByteArray("a\xC2\xA0"
                                                                       "b\r\n\r\nc\r\n");
    QTest::newRow("no final line break") << "行1\n行2" << QByteArray("行1\r\n行2");
    QTest::newRow("empty") << "" << QByteArray();
}

void WindowInputTest::savedLogBytes() {
    QFETCH(QString, log);
    QFETCH(QByteArray, bytes);
    MainWindow window;
    DialogRecorder recorder;
    window.setModalRunner(recorder.runner());
    const fs::path target = m_folder->path() / "保存 先" / "log.txt";
    fs::create_directories(target.parent_path());
    if (log == "run") {
        auto files = morvik::test::standardFiles();
        files.push_back({"DATA/doc001.xml", morvik::test::dataDocument("1")});
        files.push_back({"DATA/doc002.xml", morvik::test::dataDocument("x")});
        const fs::path zip = morvik::test::makeArchive(m_folder->path(), "run", files);
        // The core's own bytes for the same archive, from a copy.
        morvik::test::TempDir copy;
        fs::copy_file(zip, copy.path() / "run.zip");
        morvik::test::RunHarness core;
        core.receptionCheck = true; // as the window runs it by default
        core.run((copy.path() / "run.zip").string());
        bytes = QByteArray::fromStdString(core.log.text);
        QVERIFY(bytes.contains("\r\n"));

        zipBox(window)->setText(qs(zip));
        QTest::mouseClick(control<QPushButton>(window, "Command1"), Qt::LeftButton);
    } else {
        logBox(window)->setPlainText(log);
    }
    recorder.onDialog = [&](QDialog& dialog) {
        auto* files = qobject_cast<QFileDialog*>(&dialog);
        files->selectFile(qs(target));
        dialog.accept();
        return dialog.result();
    };
    window.saveLog();

    QByteArray saved = fileBytes(target);
    if (log == "run") {
        // After the header of the run that wrote the log: its archive first,
        // a rule last.
        const QByteArray rule = QString(40, u'─').toUtf8() + "\r\n";
        const qsizetype end = saved.indexOf(rule);
        QVERIFY(end > 0);
        QVERIFY(
            saved.mid(kBom.size())
                .startsWith(
                    (QStringLiteral("ZIPファイル：") + qs(m_folder->path() / "run.zip")).toUtf8() +
                    "\r\n"));
        saved.remove(kBom.size(), end + rule.size() - kBom.size());
    }
    QCOMPARE(saved, kBom + bytes);
    QVERIFY(recorder.boxes.isEmpty());
    // The log was written through a file of its own, which is gone.
    QCOMPARE(filesIn(target.parent_path()), QStringList{"log.txt"});
}

void WindowInputTest::saveDialog_data() {
    QTest::addColumn<QString>("zipText");
    QTest::addColumn<QString>("suggested"); // under the test folder; "" for none
    QTest::newRow("beside the archive, after its name") << "1310000001_a.b.zip"
                                                        << "1310000001_a.b_調査結果.txt";
    QTest::newRow("no archive named") << ""
                                      << "";
}

void WindowInputTest::saveDialog() {
    QFETCH(QString, zipText);
    QFETCH(QString, suggested);
    const QString folder = qs(m_folder->path());
    MainWindow window;
    DialogRecorder recorder;
    window.setModalRunner(recorder.runner());
    zipBox(window)->setText(zipText.isEmpty() ? QString() : folder + u'/' + zipText);
    logBox(window)->setPlainText("the log\n");
    QStringList seen;
    recorder.onDialog = [&](QDialog& dialog) {
        auto* files = qobject_cast<QFileDialog*>(&dialog);
        seen << files->nameFilters() << QString::number(files->acceptMode())
             << files->defaultSuffix();
        if (!suggested.isEmpty()) {
            seen << files->selectedFiles().value(0);
        }
        dialog.reject();
        return dialog.result();
    };
    window.saveLog();

    QStringList expected{"テキスト ファイル (*.txt)", QString::number(QFileDialog::AcceptSave),
                         "txt"};
    if (!suggested.isEmpty()) {
        expected << folder + u'/' + suggested;
    }
    QCOMPARE(seen, expected);
    // Cancelled: nothing written, nothing said.
    QCOMPARE(filesIn(m_folder->path()), QStringList());
    QVERIFY(recorder.boxes.isEmpty());
}

void WindowInputTest::saveFailureIsTold() {
    // A folder that is a regular file: no one, root included, can create a
    // file in it.
    const fs::path plain = m_folder->path() / "plain.txt";
    morvik::test::writeFile(plain, "not a folder");
    const QString target = qs(plain / "log.txt");
    MainWindow window;
    DialogRecorder recorder;
    window.setModalRunner(recorder.runner());
    logBox(window)->setPlainText("the log\n");
    recorder.onDialog = [&](QDialog& dialog) {
        qobject_cast<QFileDialog*>(&dialog)->selectFile(target);
        // The dialog's own checks would refuse the folder; the write is what
        // is tested here.
        dialog.done(QDialog::Accepted);
        return int(QDialog::Accepted);
    };
    window.saveLog();

    QCOMPARE(recorder.boxes.size(), 1);
    const auto& box = recorder.boxes.front();
    QVERIFY2(box.text.startsWith(QStringLiteral("ログを保存できませんでした。\n") + target + "\n"),
             qPrintable(box.text));
    QVERIFY(box.text.size() >
            QStringLiteral("ログを保存できませんでした。\n").size() + target.size() + 1);
    QCOMPARE(box.caption, QStringLiteral("Morvik"));
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(morvik::test::readFile(plain), std::string("not a folder"));
    QCOMPARE(filesIn(m_folder->path()), QStringList{"plain.txt"});
}

void WindowInputTest::unwritableFolder() {
    // A folder everyone may read and enter but no one write. Root writes
    // anywhere, so the write is made by a child process as the unprivileged
    // user nobody.
    const fs::path locked = m_folder->path() / "locked";
    fs::create_directories(locked);
    const fs::perms enter = fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec;
    fs::permissions(m_folder->path(), enter);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read |
                                fs::perms::others_exec);
    const QString target = qs(locked / "log.txt");
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            ::_exit(3);
        }
        const QString failure = morvik::ui::writeFileAtomically(target, QByteArray("the log\r\n"));
        ::_exit(failure.isEmpty() ? 1 : 0);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
    QCOMPARE(filesIn(locked), QStringList());
}

void WindowInputTest::replacingAFileLeavesNoTrace() {
    const fs::path target = m_folder->path() / "log.txt";
    morvik::test::writeFile(target, std::string(10000, 'x'));
    QCOMPARE(morvik::ui::writeFileAtomically(qs(target), QByteArray("new\r\n")), QString());
    QCOMPARE(fileBytes(target), QByteArray("new\r\n"));
    QCOMPARE(filesIn(m_folder->path()), QStringList{"log.txt"});
}

void WindowInputTest::qtSpeaksJapanese() {
    QTranslator translator;
    QVERIFY2(morvik::ui::loadQtTranslation(translator), "qtbase_ja.qm is not installed");
    QVERIFY(QCoreApplication::installTranslator(&translator));
    MainWindow window;
    logBox(window)->setPlainText("the log\n");
    std::unique_ptr<QMenu> menu(window.createLogMenu());
    QStringList texts;
    for (const QAction* action : menu->actions()) {
        texts << action->text().section(u'\t', 0, 0);
    }
    QCoreApplication::removeTranslator(&translator);
    QVERIFY2(texts.contains(QStringLiteral("コピー(&C)")), qPrintable(texts.join(u'|')));
    QVERIFY2(texts.contains(QStringLiteral("すべてを選択")), qPrintable(texts.join(u'|')));
}

void WindowInputTest::startArgument_data() {
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("path"); // "~" stands for the current folder
    QTest::newRow("full path") << "/data/健診 2024/a.zip"
                               << "/data/健診 2024/a.zip";
    QTest::newRow("relative path") << "sub/../a.zip"
                                   << "~/a.zip";
    QTest::newRow("file URL from a file manager") << "file:///data/%E5%81%A5%E8%A8%BA%202024/a.zip"
                                                  << "/data/健診 2024/a.zip";
}

void WindowInputTest::startArgument() {
    QFETCH(QString, argument);
    QFETCH(QString, path);
    QVERIFY(QDir::setCurrent(qs(m_folder->path())));
    path.replace(u'~', QDir::currentPath());
    const QString shown = morvik::ui::zipPathFromArgument(argument);
    QCOMPARE(shown, path);

    MainWindow window;
    const QString stored = zipBox(window)->text();
    window.setZipPath(shown);
    QCOMPARE(zipBox(window)->text(), path);
    // Not saved until a run.
    morvik::ui::QSettingsStore store;
    QCOMPARE(QString::fromStdString(store.read(MainWindow::executableName().toStdString(),
                                               kCaption.toStdString(), "TX_XmlFnm")),
             stored);
}

int main(int argc, char** argv) {
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    qputenv("QT_FONT_DPI", "96");
    QApplication application(argc, argv);
    WindowInputTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "windowinput_test.moc"
