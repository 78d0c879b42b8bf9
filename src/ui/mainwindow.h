// The main window Morvik: the ZIP path and schema folder inputs with their
// browse buttons, the start button, the result log and the status bar.
#pragma once

#include "inspection/runreport.h"
#include "ui/dialogmessagebox.h"
#include "ui/modalrunner.h"
#include "ui/programstart.h"
#include "ui/qsettingsstore.h"
#include "ui/resultlogbox.h"

#include <QTimer>
#include <QWidget>

#include <memory>

class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QMimeData;
class QPlainTextEdit;
class QPushButton;

namespace morvik::ui {

class BackgroundRun;
class MorvikDir;
class StatusBar;

class MainWindow : public QWidget {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Every modal dialog of this window (file dialog, message boxes, folder
    // picker) is shown through runner; by default through exec().
    void setModalRunner(ModalRunner runner);

    // True from the start of an inspection run to its end.
    bool isRunning() const { return m_running; }

    // Also told of every run's progress, on the thread that runs it; nullptr
    // for none.
    void setRunObserver(inspection::RunObserver* observer) { m_runObserver = observer; }

    // Puts a ZIP path into TX_XmlFnm, as browsing does (the program started
    // on a file); it is saved with the next run, not before.
    void setZipPath(const QString& path);

    // The result log's context menu: the box's own entries, then saving the
    // log. The caller owns it.
    QMenu* createLogMenu();

    // How often the window shows a run's progress: the log's new entries,
    // the latest status text and the progress bar.
    static constexpr int kFrameInterval = 40; // milliseconds

    // The settings' application name and the text of the status bar's
    // panel 2: the executable's file name without its extension.
    static QString executableName();

signals:
    // The window has closed for good (a close during a run waits for the run
    // to stop, with the window already out of sight). The program ends here.
    void closed();

public slots:
    // Restores both inputs from the settings and shows the program's name.
    void Form_Load();
    // Runs one inspection on the two inputs, the log growing in TX_Msg.
    void Command1_Click();
    // Browses for the ZIP file.
    void Command2_Click();
    // Picks the schema folder with MorvikDir.
    void Command3_Click();
    // Saves the result log as shown to a file the user names.
    void saveLog();

protected:
    // Closing during a run stops it after the document at hand, then closes.
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    class RunScope;
    enum class DropUse { refuse, zipPath, schemaFolder, boxOwn };

    void showRunProgress();
    DropUse dropUse(const QObject* target, const QMimeData* mime, QString& path) const;
    bool handleDrag(const QObject* target, QEvent* event);

    ModalRunner m_runModal;
    ui::QSettingsStore m_settings;
    bool m_running = false;
    bool m_closeRequested = false;
    BackgroundRun* m_run = nullptr;
    inspection::RunObserver* m_runObserver = nullptr;
    QTimer m_frameTimer;

    QPushButton* Command1;
    QLabel* Label1;
    QPushButton* Command2;
    QLineEdit* TX_XmlFnm;
    QLabel* Label2;
    QPushButton* Command3;
    QLineEdit* TX_Schima;
    QPlainTextEdit* TX_Msg;
    QLabel* Label3;
    StatusBar* ST_Msg;
    QFrame* Line1;
    MorvikDir* m_picker = nullptr;

    std::unique_ptr<DialogMessageBox> m_messages;
    std::unique_ptr<DesktopProgramStart> m_programs;
    std::unique_ptr<ResultLogBox> m_log;
};

} // namespace morvik::ui
