// The main window Morvik: layout, stored inputs, the browse buttons and the run.
#include "ui/mainwindow.h"

#include "inspection/bytesize.h"
#include "inspection/inspectionrun.h"
#include "inspection/paths.h"
#include "inspection/standardnames.h"
#include "ui/appearance.h"
#include "ui/backgroundrun.h"
#include "ui/enterkey.h"
#include "ui/logfile.h"
#include "ui/morvikdir.h"
#include "ui/pathinput.h"
#include "ui/statusbar.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMimeData>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>

#include <vector>

namespace morvik::ui {
namespace {

// The settings key of the extraction size limit, read at each run.
constexpr const char* kMaxExtractedSizeKey = "MaxExtractedSize";
// "false" leaves out the log's fifth section, the checks of the whole archive.
constexpr const char* kReceptionCheckKey = "ReceptionCheck";

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

QString count(std::size_t n) {
    return QLocale(QLocale::Japanese, QLocale::Japan).toString(qulonglong(n));
}

// What panel 1 says when a run is over, in place of the last progress text,
// which would read as if the run were still going.
QString completionText(inspection::RunOutcome outcome, const BackgroundRun::Progress& progress) {
    const std::size_t failed = progress.failed;
    const std::size_t ok = progress.checked - failed;
    switch (outcome) {
    case inspection::RunOutcome::allValid:
    case inspection::RunOutcome::someFailed:
        return QStringLiteral("調査完了　OK %1件／エラー %2件").arg(count(ok), count(failed));
    case inspection::RunOutcome::stopped:
        return QStringLiteral("調査を中止しました　OK %1件／エラー %2件（全 %3件）")
            .arg(count(ok), count(failed), count(progress.total));
    case inspection::RunOutcome::endedEarly:
        break;
    }
    return QStringLiteral("調査を中止しました");
}

// Where the run looks for an earlier extracted copy of the archive: the ZIP
// file's folder and base name, as a full path.
QString extractionFolderOf(const std::string& zipPath) {
    std::string baseName;
    std::string fileName;
    const std::string folder = inspection::GetDirectoryMemberSplit(zipPath, baseName, fileName);
    return QDir::cleanPath(
        QFileInfo(QString::fromStdString((folder.empty() ? "./" : folder) + baseName))
            .absoluteFilePath());
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
    setFixedSize(tw(10110), tw(8205));

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

    TX_Msg = new QPlainTextEdit(this);
    TX_Msg->setObjectName(QStringLiteral("TX_Msg"));
    TX_Msg->setGeometry(tw.rect(30, 1710, 10005, 6195));
    TX_Msg->setLineWrapMode(QPlainTextEdit::NoWrap);
    TX_Msg->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    TX_Msg->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Tab moves on to the next control, as in every other box of the window.
    TX_Msg->setTabChangesFocus(true);
    // The log only grows during a run; an undo history would keep a second
    // copy of it.
    TX_Msg->setUndoRedoEnabled(false);

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

    TX_Msg->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(TX_Msg, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        std::unique_ptr<QMenu> menu(createLogMenu());
        // A scroll area reports the position in its viewport's coordinates.
        menu->exec(TX_Msg->viewport()->mapToGlobal(pos));
    });

    m_frameTimer.setInterval(kFrameInterval);
    connect(&m_frameTimer, &QTimer::timeout, this, &MainWindow::showRunProgress);

    Form_Load();
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
    inspection::RunInputs inputs;
    inputs.zipPath = utf8(TX_XmlFnm->text());
    inputs.schemaText = utf8(TX_Schima->text());
    inputs.appName = utf8(executableName());
    inputs.section = utf8(windowTitle());
    // The limit on what an archive may unpack to, when the settings raise
    // or lower it (read only; the window never writes it).
    if (const auto limit = inspection::parseByteSize(
            m_settings.read(inputs.appName, inputs.section, kMaxExtractedSizeKey))) {
        inputs.maxExtractedSize = *limit;
    }
    // The checks of the whole archive, on unless the settings say
    // ReceptionCheck=false (read only, like the limit).
    inputs.receptionCheck =
        m_settings.read(inputs.appName, inputs.section, kReceptionCheckKey) != "false";
    m_programs->setFolderToName(extractionFolderOf(inputs.zipPath));
    inspection::RunOutcome outcome = inspection::RunOutcome::endedEarly;
    BackgroundRun::Progress progress;
    {
        RunScope scope(*this);
        ST_Msg->setPanelText(1, kPreparing);
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
    }
    ST_Msg->setPanelText(1, completionText(outcome, progress));
    if (m_closeRequested) {
        close();
    }
}

void MainWindow::showRunProgress() {
    if (m_run == nullptr) {
        return;
    }
    const BackgroundRun::Progress progress = m_run->take();
    if (progress.clearLog) {
        m_log->clear();
    }
    // The log box writes what it is given at its own, slower pace.
    if (!progress.logText.empty()) {
        m_log->append(progress.logText);
    }
    if (progress.statusChanged) {
        ST_Msg->setPanelText(1, progress.status);
    }
    ST_Msg->showProgress(progress.counting, progress.checked, progress.total);
}

void MainWindow::Command2_Click() {
    if (m_running) {
        return;
    }
    QFileDialog dialog(this);
    dialog.setObjectName(QStringLiteral("dlgOpenFile"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // Only a file that exists can be chosen.
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(QStringLiteral("ZIP ファイル (*.zip)"));
    // Opens on the file last entered, folder and name.
    const QString initialFile = TX_XmlFnm->text();
    if (!initialFile.isEmpty()) {
        dialog.selectFile(initialFile);
    }
    if (m_runModal(dialog) != QDialog::Accepted) {
        return;
    }
    const QStringList chosen = dialog.selectedFiles();
    if (!chosen.isEmpty()) {
        TX_XmlFnm->setText(chosen.first());
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
    QAction* save = menu->addAction(QStringLiteral("ログを保存…"), this, &MainWindow::saveLog);
    save->setObjectName(QStringLiteral("saveLog"));
    save->setEnabled(!m_running && !TX_Msg->document()->isEmpty());
    return menu;
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
    // Beside the archive, named after it.
    const QFileInfo zip(TX_XmlFnm->text());
    if (!TX_XmlFnm->text().trimmed().isEmpty()) {
        dialog.selectFile(zip.absolutePath() + u'/' + zip.completeBaseName() +
                          QStringLiteral("_調査結果.txt"));
    }
    if (m_runModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return;
    }
    const QString path = dialog.selectedFiles().first();
    const QString failure = writeFileAtomically(path, logFileBytes(*TX_Msg->document()));
    if (!failure.isEmpty()) {
        m_messages->show(QStringLiteral("ログを保存できませんでした。\n%1\n%2")
                             .arg(QDir::toNativeSeparators(path), failure)
                             .toStdString(),
                         inspection::kAppTitle, inspection::MessageIcon::critical);
    }
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
