// The main window Morvik: layout, stored inputs, the browse buttons and the run.
#include "ui/mainwindow.h"

#include "inspection/bytesize.h"
#include "inspection/extractionfolder.h"
#include "inspection/inspectionrun.h"
#include "inspection/paths.h"
#include "inspection/standardnames.h"
#include "report/causes.h"
#include "report/csvreport.h"
#include "ui/appearance.h"
#include "ui/backgroundrun.h"
#include "ui/enterkey.h"
#include "ui/japanesefiledialog.h"
#include "ui/logedit.h"
#include "ui/logfile.h"
#include "ui/morvikdir.h"
#include "ui/pathinput.h"
#include "ui/statusbar.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>

#include <algorithm>
#include <vector>

namespace morvik::ui {
namespace {

// The settings key of the extraction size limit, read at each run.
constexpr const char* kMaxExtractedSizeKey = "MaxExtractedSize";
// "false" leaves out the log's fifth section, the checks of the whole archive.
constexpr const char* kReceptionCheckKey = "ReceptionCheck";
// The budget of each document and schema set (read only, like the limit).
constexpr const char* kMaxDocumentMemoryKey = "MaxDocumentMemory";
constexpr const char* kMaxDocumentTimeKey = "MaxDocumentTime";
constexpr const char* kMaxSchemaCompileTimeKey = "MaxSchemaCompileTime";

const QColor kLabelBackground(255, 255, 192);
const QColor kLineColour(128, 128, 128);

QLabel* makeLabel(QWidget* window, const char* name, const QString& caption, const QRect& place) {
    auto* label = new QLabel(caption, window);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText);
    label->setGeometry(place);
    return label;
}

// The input labels: pale yellow behind the system's window-text colour.
void highlight(QLabel* label) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, kLabelBackground);
    label->setPalette(palette);
    label->setAutoFillBackground(true);
}

// The design's captions fit their labels in its bitmap Gothic. Where an outline
// face sets one a few pixels wider than its label, the face is narrowed just
// enough (to no less than 85 %) rather than the caption being cut.
void fitCaption(QLabel* label) {
    const int room = label->contentsRect().width();
    if (label->fontMetrics().horizontalAdvance(label->text()) <= room) {
        return;
    }
    QFont font = label->font();
    for (int stretch = 99; stretch >= 85; --stretch) {
        font.setStretch(stretch);
        if (QFontMetrics(font).horizontalAdvance(label->text()) <= room) {
            break;
        }
    }
    label->setFont(font);
}

QPushButton* makeButton(QWidget* window, const char* name, const QString& caption,
                        const QRect& place) {
    auto* button = new QPushButton(caption, window);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(place);
    return button;
}

QLineEdit* makeTextBox(QWidget* window, const char* name, const QRect& place) {
    auto* box = new QLineEdit(window);
    box->setObjectName(QLatin1String(name));
    box->setGeometry(place);
    // A path pasted or dropped as text comes without its line breaks.
    box->setValidator(new NoLineBreaks(box));
    return box;
}

std::string utf8(const QString& text) {
    return text.toStdString();
}

// Panel 1 from the press until the first document is validated: the
// previous run's completion text would otherwise stand through a long
// extraction.
const QString kPreparing = QStringLiteral("調査の準備中（ZIPファイルの解凍）…");

const QString kLineBreak = QStringLiteral("\r\n");

// What the window offers where the command line has options.
const report::CauseOptions kDesktopCauseOptions{"「XMLスキーマ」欄",
                                                "設定ファイルの MaxExtractedSize", ""};

// Where the run looks for an earlier extracted copy of the archive: the
// extraction folder as a full path, without its closing separator.
QString extractionFolderOf(const std::string& zipPath) {
    std::string folder = inspection::absolutePlace(inspection::extractionPlaceOf(zipPath)).folder();
    folder.pop_back();
    return QString::fromStdString(folder);
}

} // namespace

// The window while a run is under way: the inputs locked, so that no key or
// click can change them or start a second run, a busy cursor and the progress
// bar. The focus goes first to the log, which ignores typing during the run;
// a disabled button would otherwise hand it to TX_XmlFnm with its text
// selected, and the next key typed would replace the path. Puts everything
// back however the run ends.
class MainWindow::RunScope {
public:
    explicit RunScope(MainWindow& window) : m_window(window) {
        m_window.m_running = true;
        m_hadFocus = m_window.focusWidget();
        m_logWasReadOnly = m_window.TX_Msg->isReadOnly();
        m_window.TX_Msg->setFocus(Qt::OtherFocusReason);
        for (QLineEdit* box : {m_window.TX_XmlFnm, m_window.TX_Schima}) {
            box->setReadOnly(true);
        }
        m_window.TX_Msg->setReadOnly(true);
        for (QPushButton* button : buttons()) {
            button->setEnabled(false);
        }
        m_window.m_save->setEnabled(false);
        m_window.m_saveCsv->setEnabled(false);
        for (QWidget* widget :
             {static_cast<QWidget*>(&m_window), static_cast<QWidget*>(m_window.TX_XmlFnm),
              static_cast<QWidget*>(m_window.TX_Schima), m_window.TX_Msg->viewport()}) {
            m_cursors.push_back(
                {widget, widget->testAttribute(Qt::WA_SetCursor), widget->cursor()});
            widget->setCursor(Qt::BusyCursor);
        }
        m_window.ST_Msg->showProgress(false, 0, 0);
    }
    ~RunScope() {
        m_window.m_frameTimer.stop();
        m_window.m_run = nullptr;
        m_window.ST_Msg->hideProgress();
        for (const SavedCursor& saved : m_cursors) {
            if (saved.own) {
                saved.widget->setCursor(saved.cursor);
            } else {
                saved.widget->unsetCursor();
            }
        }
        for (QLineEdit* box : {m_window.TX_XmlFnm, m_window.TX_Schima}) {
            box->setReadOnly(false);
        }
        m_window.TX_Msg->setReadOnly(m_logWasReadOnly);
        for (QPushButton* button : buttons()) {
            button->setEnabled(true);
        }
        // Back where the user was, unless the focus has been moved since.
        if (m_hadFocus != nullptr && m_window.focusWidget() == m_window.TX_Msg) {
            m_hadFocus->setFocus(Qt::OtherFocusReason);
        }
        m_window.m_running = false;
        // Also in a menu left open during the run.
        m_window.m_save->setEnabled(!m_window.TX_Msg->document()->isEmpty());
        m_window.m_saveCsv->setEnabled(m_window.csvAvailable());
    }
    RunScope(const RunScope&) = delete;
    RunScope& operator=(const RunScope&) = delete;

private:
    struct SavedCursor {
        QWidget* widget;
        bool own;
        QCursor cursor;
    };
    QList<QPushButton*> buttons() const {
        return {m_window.Command1, m_window.Command2, m_window.Command3};
    }
    MainWindow& m_window;
    QPointer<QWidget> m_hadFocus;
    bool m_logWasReadOnly = false;
    std::vector<SavedCursor> m_cursors;
};

MainWindow::MainWindow(QWidget* parent) : QWidget(parent), m_runModal(execModal) {
    setObjectName(QStringLiteral("Morvik"));
    setWindowTitle(QString::fromUtf8(inspection::kMainCaption));
    setWindowIcon(morvikIcon());
    setFont(japaneseGothicFont());
    const Twips tw(logicalDpiX());
    // The design's size is the least; the log box takes whatever is more.
    setMinimumSize(tw(10110), tw(8205));
    resize(minimumSize());

    // Created in the order of their tab indexes.
    Command1 =
        makeButton(this, "Command1", QStringLiteral("調査開始"), tw.rect(2100, 990, 6165, 525));
    Label1 =
        makeLabel(this, "Label1", QStringLiteral("XMLファイル(Zip)"), tw.rect(60, 60, 1365, 240));
    highlight(Label1);
    Command2 = makeButton(this, "Command2", QStringLiteral("参照"), tw.rect(1440, 30, 585, 285));
    TX_XmlFnm = makeTextBox(this, "TX_XmlFnm", tw.rect(2010, 30, 7935, 285));
    Label2 = makeLabel(this, "Label2", QStringLiteral("XMLスキーマ"), tw.rect(60, 390, 1380, 210));
    highlight(Label2);
    Command3 = makeButton(this, "Command3", QStringLiteral("参照"), tw.rect(1440, 360, 585, 285));
    TX_Schima = makeTextBox(this, "TX_Schima", tw.rect(2010, 360, 7935, 285));

    TX_Msg = new LogEdit(this);
    TX_Msg->setObjectName(QStringLiteral("TX_Msg"));
    TX_Msg->setGeometry(tw.rect(30, 1710, 10005, 6195));
    TX_Msg->setLineWrapMode(QPlainTextEdit::NoWrap);
    TX_Msg->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    TX_Msg->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Tab moves on to the next control, as in every other box of the window.
    TX_Msg->setTabChangesFocus(true);

    Label3 =
        makeLabel(this, "Label3",
                  QStringLiteral("XML出力Zipファイル内に格納されているスキーマを使用する場合は、"
                                 "XMLスキーマを空白にして下さい。"),
                  tw.rect(1500, 690, 8385, 255));

    ST_Msg = new StatusBar(this);
    ST_Msg->setObjectName(QStringLiteral("ST_Msg"));
    ST_Msg->setGeometry(tw.rect(0, 7935, 10110, 270));
    ST_Msg->setFont(japaneseGothicFont());
    ST_Msg->setPanelWidths(tw(8117), tw(1700));

    // From (180, 1590) to (9960, 1590).
    Line1 = new QFrame(this);
    Line1->setObjectName(QStringLiteral("Line1"));
    Line1->setFrameShape(QFrame::NoFrame);
    Line1->setGeometry(tw(180), tw(1590), tw(9960) - tw(180), 1);
    QPalette linePalette = Line1->palette();
    linePalette.setColor(QPalette::Window, kLineColour);
    Line1->setPalette(linePalette);
    Line1->setAutoFillBackground(true);

    for (QLabel* label : {Label1, Label2, Label3}) {
        fitCaption(label);
    }

    setTabOrder(Command1, Command2);
    setTabOrder(Command2, TX_XmlFnm);
    setTabOrder(TX_XmlFnm, Command3);
    setTabOrder(Command3, TX_Schima);
    setTabOrder(TX_Schima, TX_Msg);
    Command1->setFocus();

    m_messages = std::make_unique<DialogMessageBox>(*this, m_runModal);
    m_programs = std::make_unique<DesktopProgramStart>(*m_messages);
    m_log = std::make_unique<ResultLogBox>(*TX_Msg);

    connect(Command1, &QPushButton::clicked, this, &MainWindow::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &MainWindow::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &MainWindow::Command3_Click);
    for (QPushButton* button : {Command1, Command2, Command3}) {
        pressOnEnter(*button);
    }

    // A ZIP file dropped anywhere on the window names the archive; a folder
    // dropped on TX_Schima names the schema folder. The boxes' own handling
    // of drops would paste the file's URL as text.
    setAcceptDrops(true);
    for (QObject* target :
         {static_cast<QObject*>(TX_XmlFnm), static_cast<QObject*>(TX_Schima),
          static_cast<QObject*>(TX_Msg), static_cast<QObject*>(TX_Msg->viewport())}) {
        target->installEventFilter(this);
    }

    // The log's commands, with their keys wherever the focus is in the window.
    const auto command = [this](const char* name, const QString& text, const QKeySequence& key) {
        auto* action = new QAction(text, this);
        action->setObjectName(QLatin1String(name));
        action->setShortcut(key);
        addAction(action);
        return action;
    };
    m_nextError = command("nextError", QStringLiteral("次のエラー"), QKeySequence(Qt::Key_F8));
    m_previousError = command("previousError", QStringLiteral("前のエラー"),
                              QKeySequence(Qt::SHIFT | Qt::Key_F8));
    m_errorsOnly = command("errorsOnly", QStringLiteral("エラーのみ表示"), QKeySequence());
    m_errorsOnly->setCheckable(true);
    m_find = command("findInLog", QStringLiteral("検索…"), QKeySequence::Find);
    m_save = command("saveLog", QStringLiteral("ログを保存…"), QKeySequence::Save);
    m_save->setEnabled(false);
    // What the runs found, as a table for a spreadsheet; no key of its own.
    m_saveCsv = command("saveCsv", QStringLiteral("CSVで保存…"), QKeySequence());
    m_saveCsv->setEnabled(false);
    connect(m_nextError, &QAction::triggered, this, &MainWindow::showNextError);
    connect(m_previousError, &QAction::triggered, this, &MainWindow::showPreviousError);
    connect(m_errorsOnly, &QAction::toggled, this, &MainWindow::setErrorsOnly);
    connect(m_find, &QAction::triggered, this, &MainWindow::findInLog);
    connect(m_save, &QAction::triggered, this, &MainWindow::saveLog);
    connect(m_saveCsv, &QAction::triggered, this, &MainWindow::saveCsv);
    connect(TX_Msg->document(), &QTextDocument::contentsChanged, this,
            [this] { m_save->setEnabled(!m_running && !TX_Msg->document()->isEmpty()); });

    // The menu stays open beside a run, without holding the window's events
    // (a run that ends under it ends at once).
    TX_Msg->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(TX_Msg, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        // A scroll area reports the position in its viewport's coordinates.
        openLogMenu(TX_Msg->viewport()->mapToGlobal(pos));
    });
    // Shift+F10 opens it at the caret, as on every other desktop.
    auto* menuKey = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10), TX_Msg);
    menuKey->setContext(Qt::WidgetWithChildrenShortcut);
    connect(menuKey, &QShortcut::activated, this, [this] {
        openLogMenu(TX_Msg->viewport()->mapToGlobal(TX_Msg->cursorRect().bottomLeft()));
    });

    m_frameTimer.setInterval(kFrameInterval);
    connect(&m_frameTimer, &QTimer::timeout, this, &MainWindow::showRunProgress);

    Form_Load();
    restoreWindowPlace();
}

MainWindow::~MainWindow() = default;

void MainWindow::setModalRunner(ModalRunner runner) {
    m_runModal = runner ? std::move(runner) : ModalRunner(execModal);
}

QString MainWindow::executableName() {
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

void MainWindow::Form_Load() {
    const std::string app = utf8(executableName());
    const std::string section = utf8(windowTitle());
    TX_XmlFnm->setText(QString::fromStdString(m_settings.read(app, section, "TX_XmlFnm")));
    TX_Schima->setText(QString::fromStdString(m_settings.read(app, section, "TX_Schima")));
    ST_Msg->setPanelText(2, executableName());
}

void MainWindow::setZipPath(const QString& path) {
    TX_XmlFnm->setText(path);
}

void MainWindow::Command1_Click() {
    // The buttons are disabled during a run; this guards the run against any
    // other way in while the window handles events.
    if (m_running) {
        return;
    }
    const QStringList several = severalZipPaths(TX_XmlFnm->text());
    if (!several.isEmpty()) {
        runSeveral(several);
    } else {
        RunRecord run;
        std::optional<inspection::EarlyEnd> earlyEnd;
        {
            RunScope scope(*this);
            run = runArchive(utf8(TX_XmlFnm->text()), LogUse::own);
            earlyEnd = m_lastEarlyEnd;
        }
        ST_Msg->setPanelText(1, resultText(run));
        if (run.outcome == inspection::RunOutcome::endedEarly) {
            showCause(run.cause);
        }
        if (earlyEnd && !m_closeRequested) {
            tellExtractedCopy(*earlyEnd);
        }
    }
    if (m_closeRequested) {
        close();
    }
}

RunRecord MainWindow::runArchive(const std::string& zipPath, LogUse use) {
    inspection::RunInputs inputs;
    inputs.zipPath = zipPath;
    inputs.schemaText = utf8(TX_Schima->text());
    inputs.appName = utf8(executableName());
    inputs.section = utf8(windowTitle());
    // The limit on what an archive may unpack to, when the settings raise
    // or lower it (read only; the window never writes it).
    if (const auto limit = inspection::parseByteSize(
            m_settings.read(inputs.appName, inputs.section, kMaxExtractedSizeKey))) {
        inputs.maxExtractedSize = *limit;
    }
    if (const auto memory = inspection::parseByteSize(
            m_settings.read(inputs.appName, inputs.section, kMaxDocumentMemoryKey))) {
        inputs.maxDocumentMemory = *memory;
    }
    if (const auto seconds = inspection::parseSeconds(
            m_settings.read(inputs.appName, inputs.section, kMaxDocumentTimeKey))) {
        inputs.maxDocumentTime = *seconds;
    }
    if (const auto seconds = inspection::parseSeconds(
            m_settings.read(inputs.appName, inputs.section, kMaxSchemaCompileTimeKey))) {
        inputs.maxSchemaCompileTime = *seconds;
    }
    // The checks of the whole archive, on unless the settings say
    // ReceptionCheck=false (read only, like the limit).
    inputs.receptionCheck =
        m_settings.read(inputs.appName, inputs.section, kReceptionCheckKey) != "false";
    m_programs->setFolderToName(extractionFolderOf(inputs.zipPath));

    RunRecord record;
    record.zipPath = QString::fromStdString(zipPath);
    record.started = QDateTime::currentDateTime();
    m_lastEarlyEnd.reset();
    m_logUse = use;
    m_logCleared = false;
    m_runLogCopy.clear();
    if (use == LogUse::appended) {
        m_log->flush();
        m_logBase = TX_Msg->document()->blockCount() - 1;
    } else {
        m_logBase = 0;
    }
    ST_Msg->setPanelText(1, kPreparing);
    ST_Msg->panel(1)->setToolTip(QString());

    inspection::RunOutcome outcome = inspection::RunOutcome::endedEarly;
    BackgroundRun::Progress progress;
    report::ArchiveReport report;
    {
        BackgroundRun run(inputs, m_settings, *m_messages, *m_programs, m_runObserver);
        m_run = &run;
        // A message box shows over the log and status as they stand.
        connect(&run, &BackgroundRun::aboutToInteract, this, [this] {
            showRunProgress();
            m_log->flush();
        });
        m_frameTimer.start();
        run.start();
        outcome = run.waitHandlingEvents();
        // The last entries and the last status text.
        showRunProgress();
        m_log->flush();
        progress = run.take();
        report = run.report();
        m_frameTimer.stop();
        m_run = nullptr;
    }
    record.ended = QDateTime::currentDateTime();
    record.outcome = outcome;
    record.tally = progress.tally;
    record.schemaFolder = QString::fromStdString(progress.tally.schemaFolder);
    record.extractionFolder = QString::fromStdString(progress.tally.extractionFolder);
    if (outcome == inspection::RunOutcome::endedEarly && progress.tally.earlyEnd) {
        m_lastEarlyEnd = progress.tally.earlyEnd;
        // As the command line words it, naming what the window offers
        // instead of the command line's options.
        record.cause = report::causeOfEarlyEnd(*progress.tally.earlyEnd, kDesktopCauseOptions);
    }
    report.cause = record.cause;
    record.report = std::make_shared<const report::ArchiveReport>(std::move(report));
    // A run that wrote the log owns it now: saving names and heads it, and
    // edits can be undone back to it.
    if (use == LogUse::own && m_logCleared) {
        m_logRuns = {record};
        TX_Msg->endRunLog();
    }
    return record;
}

void MainWindow::runSeveral(const QStringList& zipPaths) {
    std::vector<RunRecord> runs;
    {
        RunScope scope(*this);
        TX_Msg->beginRunLog();
        m_log->clear();
        TX_Msg->forgetFailures();
        m_logRuns.clear();
        for (const QString& zip : zipPaths) {
            if (m_closeRequested) {
                break;
            }
            // A blank line between one archive's log and the next one's name.
            m_log->append(utf8((runs.empty() ? QString() : kLineBreak) +
                               QStringLiteral("==> %1 <==").arg(QDir::toNativeSeparators(zip)) +
                               kLineBreak));
            RunRecord run = runArchive(utf8(zip), LogUse::appended);
            if (run.outcome == inspection::RunOutcome::endedEarly) {
                QString why = resultText(run) + kLineBreak;
                for (std::size_t i = 1; i < run.cause.size(); ++i) {
                    why += QString::fromStdString(run.cause[i]) + kLineBreak;
                }
                m_log->append(utf8(why));
            }
            // Each archive's log beside it, headed by its run.
            const QString file = savedLogPath(zip);
            const QString failure =
                writeFileAtomically(file, logFileBytes(m_runLogCopy, logHeader({run})));
            if (!failure.isEmpty()) {
                m_log->append(utf8(QStringLiteral("ログを保存できませんでした：%1（%2）")
                                       .arg(QDir::toNativeSeparators(file), failure) +
                                   kLineBreak));
            }
            m_runLogCopy.clear();
            runs.push_back(run);
            if (m_lastEarlyEnd && !m_closeRequested) {
                tellExtractedCopy(*m_lastEarlyEnd);
            }
        }
        m_log->append(utf8(summaryTable(runs)));
        m_log->flush();
        TX_Msg->endRunLog();
        m_logRuns = runs;
    }
    // The runs saved each path alone; the box named them all.
    m_settings.save(utf8(executableName()), utf8(windowTitle()), "TX_XmlFnm",
                    utf8(TX_XmlFnm->text()));
    ST_Msg->setPanelText(1, severalResultText(runs));
}

void MainWindow::showCause(const std::vector<std::string>& lines) {
    QString text = QStringLiteral("調査できませんでした");
    QString full = text;
    if (!lines.empty()) {
        text += u'：' + QString::fromStdString(lines.front());
        full += u'：';
        for (std::size_t i = 0; i < lines.size(); ++i) {
            full += (i == 0 ? QString() : QStringLiteral("\n")) + QString::fromStdString(lines[i]);
        }
    }
    ST_Msg->setPanelText(1, text);
    ST_Msg->panel(1)->setToolTip(full);
}

void MainWindow::tellExtractedCopy(const inspection::EarlyEnd& end) {
    using Kind = inspection::EarlyEnd::Kind;
    const QString folder = QDir::toNativeSeparators(QDir::cleanPath(
        QFileInfo(QString::fromStdString(end.extractionFolder)).absoluteFilePath()));
    QString text;
    if (end.kind == Kind::alreadyExtracted) {
        text = QStringLiteral("解凍先のフォルダ\n%1\nには、前回解凍したファイルが残っています。\n"
                              "このフォルダを移動するか削除してから、もう一度調査してください。")
                   .arg(folder);
    } else if (end.kind == Kind::noSchemaFolder && QFileInfo(folder).isDir()) {
        text = QStringLiteral("解凍したファイルはフォルダ\n%1\nに残っています。\n"
                              "次に調査する前に、このフォルダを移動するか削除してください。")
                   .arg(folder);
    } else {
        return;
    }
    m_messages->show(utf8(text), inspection::kAppTitle, inspection::MessageIcon::none);
}

void MainWindow::showRunProgress() {
    if (m_run == nullptr) {
        return;
    }
    BackgroundRun::Progress progress = m_run->take();
    // With several archives the box keeps the earlier ones' logs.
    if (progress.clearLog && m_logUse == LogUse::own) {
        TX_Msg->beginRunLog();
        m_log->clear();
        TX_Msg->forgetFailures();
        m_logRuns.clear();
        m_logCleared = true;
    }
    // The log box writes what it is given at its own, slower pace.
    if (!progress.logText.empty()) {
        m_log->append(progress.logText);
        if (m_logUse == LogUse::appended) {
            m_runLogCopy += progress.logText;
        }
    }
    for (const std::size_t line : progress.failureEntries) {
        TX_Msg->markFailureEntry(m_logBase + int(line), int(BackgroundRun::kFailureEntryLines));
    }
    if (progress.statusChanged) {
        ST_Msg->setPanelText(1, progress.status);
    }
    ST_Msg->showProgress(progress.tally.counting, progress.tally.checked, progress.tally.total);
}

void MainWindow::Command2_Click() {
    if (m_running) {
        return;
    }
    QFileDialog dialog(this);
    dialog.setObjectName(QStringLiteral("dlgOpenFile"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // Only files that exist can be chosen; several are inspected one after
    // another.
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilter(QStringLiteral("ZIP ファイル (*.zip)"));
    speakJapanese(dialog);
    // Opens on the file last entered, folder and name.
    const QStringList several = severalZipPaths(TX_XmlFnm->text());
    const QString initialFile = several.isEmpty() ? TX_XmlFnm->text() : several.first();
    if (!initialFile.isEmpty()) {
        dialog.selectFile(initialFile);
    }
    if (m_runModal(dialog) != QDialog::Accepted) {
        return;
    }
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.size() == 1) {
        TX_XmlFnm->setText(chosen.first());
    } else if (chosen.size() > 1) {
        TX_XmlFnm->setText(severalZipText(chosen));
    }
}

void MainWindow::Command3_Click() {
    if (m_running) {
        return;
    }
    if (m_picker == nullptr) {
        m_picker = new MorvikDir(this);
    } else {
        m_picker->Form_Load();
    }
    m_runModal(*m_picker);
    if (m_picker->GLret == 1) {
        TX_Schima->setText(m_picker->GlFileDir);
    }
    m_picker->hide();
}

QMenu* MainWindow::createLogMenu() {
    QMenu* menu = TX_Msg->createStandardContextMenu();
    menu->addSeparator();
    const bool failures = TX_Msg->failureEntries() > 0;
    m_nextError->setEnabled(failures);
    m_previousError->setEnabled(failures);
    menu->addAction(m_nextError);
    menu->addAction(m_previousError);
    menu->addAction(m_errorsOnly);
    menu->addAction(m_find);
    menu->addSeparator();
    m_save->setEnabled(!m_running && !TX_Msg->document()->isEmpty());
    menu->addAction(m_save);
    m_saveCsv->setEnabled(!m_running && csvAvailable());
    menu->addAction(m_saveCsv);
    return menu;
}

void MainWindow::openLogMenu(const QPoint& globalPos) {
    QMenu* menu = createLogMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(globalPos);
}

void MainWindow::showNextError() {
    TX_Msg->showNextFailure();
}

void MainWindow::showPreviousError() {
    TX_Msg->showPreviousFailure();
}

void MainWindow::setErrorsOnly(bool on) {
    TX_Msg->setFailuresOnly(on);
    m_errorsOnly->setChecked(on);
}

void MainWindow::findInLog() {
    TX_Msg->showFindBox();
}

void MainWindow::saveLog() {
    if (m_running) {
        return;
    }
    QFileDialog dialog(this);
    dialog.setObjectName(QStringLiteral("dlgSaveLog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QStringLiteral("テキスト ファイル (*.txt)"));
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    speakJapanese(dialog);
    // Beside the archive whose run wrote the log, named after it; several
    // archives' logs beside the first, as their summary.
    if (m_logRuns.size() == 1) {
        dialog.selectFile(savedLogPath(m_logRuns.front().zipPath));
    } else if (m_logRuns.size() > 1) {
        const QFileInfo first(m_logRuns.front().zipPath);
        dialog.selectFile(first.absolutePath() + QStringLiteral("/調査結果一覧.txt"));
    } else if (!TX_XmlFnm->text().trimmed().isEmpty() &&
               severalZipPaths(TX_XmlFnm->text()).isEmpty()) {
        dialog.selectFile(savedLogPath(TX_XmlFnm->text()));
    }
    if (m_runModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return;
    }
    const QString path = dialog.selectedFiles().first();
    const QString header = m_logRuns.empty() ? QString() : logHeader(m_logRuns);
    const QString failure = writeFileAtomically(path, logFileBytes(*TX_Msg->document(), header));
    if (!failure.isEmpty()) {
        m_messages->show(QStringLiteral("ログを保存できませんでした。\n%1\n%2")
                             .arg(QDir::toNativeSeparators(path), failure)
                             .toStdString(),
                         inspection::kAppTitle, inspection::MessageIcon::critical);
    }
}

bool MainWindow::csvAvailable() const {
    return std::any_of(m_logRuns.begin(), m_logRuns.end(),
                       [](const RunRecord& run) { return run.report != nullptr; });
}

void MainWindow::saveCsv() {
    if (m_running || !csvAvailable()) {
        return;
    }
    QFileDialog dialog(this);
    dialog.setObjectName(QStringLiteral("dlgSaveCsv"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QStringLiteral("CSV ファイル (*.csv)"));
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    speakJapanese(dialog);
    // Beside the archive, as the log; several archives' beside the first.
    if (m_logRuns.size() == 1) {
        dialog.selectFile(savedCsvPath(m_logRuns.front().zipPath));
    } else {
        const QFileInfo first(m_logRuns.front().zipPath);
        dialog.selectFile(first.absolutePath() + QStringLiteral("/調査結果一覧.csv"));
    }
    if (m_runModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return;
    }
    // The rows the command line writes with --csv: every document, the
    // reasons in Japanese as the log gives them.
    std::vector<report::ArchiveReport> reports;
    for (const RunRecord& run : m_logRuns) {
        if (run.report != nullptr) {
            reports.push_back(*run.report);
        }
    }
    const std::string bytes =
        report::reportCsv(reports, report::CsvRows::all, report::ReasonLanguage::japanese);
    const QString path = dialog.selectedFiles().first();
    const QString failure = writeFileAtomically(path, QByteArray::fromStdString(bytes));
    if (!failure.isEmpty()) {
        m_messages->show(QStringLiteral("CSVを保存できませんでした。\n%1\n%2")
                             .arg(QDir::toNativeSeparators(path), failure)
                             .toStdString(),
                         inspection::kAppTitle, inspection::MessageIcon::critical);
    }
}

void MainWindow::showEvent(QShowEvent* event) {
    // The focus shows from the start: Enter on the focused 調査開始 starts a
    // run, and the user must see that it will. Qt draws the focus only once
    // a key has moved it.
    setAttribute(Qt::WA_KeyboardFocusChange);
    QWidget::showEvent(event);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeControls();
}

void MainWindow::placeControls() {
    // The design's places at the least size; more width goes to the path
    // boxes, the rule, the log and panel 1, more height to the log.
    const Twips tw(logicalDpiX());
    const int wider = std::max(0, width() - tw(10110));
    const int taller = std::max(0, height() - tw(8205));
    TX_XmlFnm->setGeometry(tw.rect(2010, 30, 7935, 285).adjusted(0, 0, wider, 0));
    TX_Schima->setGeometry(tw.rect(2010, 360, 7935, 285).adjusted(0, 0, wider, 0));
    Line1->setGeometry(tw(180), tw(1590), tw(9960) - tw(180) + wider, 1);
    TX_Msg->setGeometry(tw.rect(30, 1710, 10005, 6195).adjusted(0, 0, wider, taller));
    ST_Msg->setGeometry(tw.rect(0, 7935, 10110, 270).adjusted(0, taller, wider, taller));
    ST_Msg->setPanelWidths(tw(8117) + wider, tw(1700));
}

void MainWindow::restoreWindowPlace() {
    const QStringList parts =
        QString::fromStdString(
            m_settings.read(utf8(executableName()), utf8(windowTitle()), kWindowPlaceKey))
            .split(u',');
    if (parts.size() < 4) {
        return;
    }
    int values[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        values[i] = parts[i].trimmed().toInt(&ok);
        if (!ok) {
            return;
        }
    }
    const QRect place(values[0], values[1], values[2], values[3]);
    const bool maximised = parts.size() > 4 && parts[4].trimmed() == QLatin1String("max");
    // Only where it is wholly on a screen as it is now, and never smaller
    // than the design; otherwise the window opens as the first time.
    bool fits = false;
    for (const QScreen* screen : QGuiApplication::screens()) {
        fits = fits || screen->availableGeometry().contains(place);
    }
    if (!fits || place.width() < minimumWidth() || place.height() < minimumHeight()) {
        return;
    }
    setGeometry(place);
    if (maximised) {
        setWindowState(windowState() | Qt::WindowMaximized);
    }
}

void MainWindow::saveWindowPlace() {
    const QRect place = isMaximized() || isFullScreen() ? normalGeometry() : geometry();
    if (!place.isValid()) {
        return;
    }
    QString text = QStringLiteral("%1,%2,%3,%4")
                       .arg(place.x())
                       .arg(place.y())
                       .arg(place.width())
                       .arg(place.height());
    if (isMaximized()) {
        text += QStringLiteral(",max");
    }
    m_settings.save(utf8(executableName()), utf8(windowTitle()), kWindowPlaceKey, utf8(text));
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (m_running) {
        // The run stops before its next document; an extraction under way
        // is finished first, so that no half-extracted tree is left. The
        // window goes at once and closes for good when the run has stopped
        // (Command1_Click); the log keeps what the run wrote.
        m_closeRequested = true;
        if (m_run != nullptr) {
            m_run->requestStop();
        }
        hide();
        event->ignore();
        return;
    }
    m_closeRequested = false;
    saveWindowPlace();
    QWidget::closeEvent(event);
    emit closed();
}

MainWindow::DropUse MainWindow::dropUse(const QObject* target, const QMimeData* mime,
                                        QString& path) const {
    if (m_running) {
        return DropUse::refuse;
    }
    const Dropped dropped = whatIsDropped(mime);
    path = dropped.path;
    if (dropped.kind == Dropped::Kind::zipFile) {
        return DropUse::zipPath;
    }
    if (dropped.kind == Dropped::Kind::zipFiles) {
        path = severalZipText(dropped.paths);
        return DropUse::zipPath;
    }
    if (dropped.kind == Dropped::Kind::folder && target == TX_Schima) {
        return DropUse::schemaFolder;
    }
    // Text dragged within or into the log edits it, as in any text box.
    const bool onLog = target == TX_Msg || target == TX_Msg->viewport();
    if (onLog && mime != nullptr && !mime->hasUrls()) {
        return DropUse::boxOwn;
    }
    return DropUse::refuse;
}

bool MainWindow::handleDrag(const QObject* target, QEvent* event) {
    const bool drop = event->type() == QEvent::Drop;
    if (!drop && event->type() != QEvent::DragEnter && event->type() != QEvent::DragMove) {
        return false;
    }
    auto* drag = static_cast<QDropEvent*>(event);
    QString path;
    const DropUse use = dropUse(target, drag->mimeData(), path);
    if (use == DropUse::boxOwn) {
        return false;
    }
    // Copy or link, never move: a file manager removes a moved file.
    const Qt::DropActions offered = drag->possibleActions();
    const Qt::DropAction action = offered.testFlag(Qt::CopyAction)   ? Qt::CopyAction
                                  : offered.testFlag(Qt::LinkAction) ? Qt::LinkAction
                                                                     : Qt::IgnoreAction;
    if (use == DropUse::refuse || action == Qt::IgnoreAction) {
        drag->ignore();
        return true;
    }
    drag->setDropAction(action);
    drag->accept();
    if (drop) {
        (use == DropUse::zipPath ? TX_XmlFnm : TX_Schima)->setText(path);
    }
    return true;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    return handleDrag(watched, event) || QWidget::eventFilter(watched, event);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    handleDrag(this, event);
}

void MainWindow::dragMoveEvent(QDragMoveEvent* event) {
    handleDrag(this, event);
}

void MainWindow::dropEvent(QDropEvent* event) {
    handleDrag(this, event);
}

} // namespace morvik::ui
