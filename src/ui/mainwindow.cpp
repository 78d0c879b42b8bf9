// The main window Morvik: layout, stored inputs, the browse buttons and the run.
#include "ui/mainwindow.h"

#include "inspection/inspectionrun.h"
#include "inspection/standardnames.h"
#include "ui/appearance.h"
#include "ui/morvikdir.h"
#include "ui/statusbar.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>

namespace morvik::ui {
namespace {

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
    return box;
}

std::string utf8(const QString& text) {
    return text.toStdString();
}

} // namespace

// Holds Command1, Command2 and Command3 disabled while a run is under way,
// so that no second run, file dialog or picker can start while the status
// line lets events through; puts them back however the run ends.
class MainWindow::RunScope {
public:
    explicit RunScope(MainWindow& window) : m_window(window) {
        m_window.m_running = true;
        m_hadFocus = m_window.focusWidget();
        for (QPushButton* button : buttons()) {
            button->setEnabled(false);
        }
    }
    ~RunScope() {
        // Everything the run wrote stands in the log when the run is over.
        m_window.m_log->flush();
        for (QPushButton* button : buttons()) {
            button->setEnabled(true);
        }
        // Disabling moved the focus away from the pressed button; give it back.
        if (m_hadFocus != nullptr && buttons().contains(m_hadFocus)) {
            m_hadFocus->setFocus();
        }
        m_window.m_running = false;
    }
    RunScope(const RunScope&) = delete;
    RunScope& operator=(const RunScope&) = delete;

private:
    QList<QPushButton*> buttons() const {
        return {m_window.Command1, m_window.Command2, m_window.Command3};
    }
    MainWindow& m_window;
    QPointer<QWidget> m_hadFocus;
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
    m_log = std::make_unique<ResultLogBox>(*TX_Msg);

    connect(Command1, &QPushButton::clicked, this, &MainWindow::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &MainWindow::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &MainWindow::Command3_Click);

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

void MainWindow::Command1_Click() {
    // The buttons are disabled during a run; this guards the run against any
    // other way in while the status line lets events through.
    if (m_running) {
        return;
    }
    {
        RunScope scope(*this);
        inspection::RunInputs inputs;
        inputs.zipPath = utf8(TX_XmlFnm->text());
        inputs.schemaText = utf8(TX_Schima->text());
        inputs.appName = utf8(executableName());
        inputs.section = utf8(windowTitle());
        inspection::RunServices services{m_settings, *m_messages, *m_log,  *ST_Msg,
                                         m_programs, {},          nullptr, {}};
        inspection::runInspection(inputs, services);
    }
    if (m_closeRequested) {
        close();
    }
}

void MainWindow::Command2_Click() {
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

void MainWindow::closeEvent(QCloseEvent* event) {
    if (m_running) {
        // The run is still writing into this window's controls; it closes the
        // window itself when it is done.
        m_closeRequested = true;
        event->ignore();
        return;
    }
    m_closeRequested = false;
    QWidget::closeEvent(event);
}

} // namespace morvik::ui
