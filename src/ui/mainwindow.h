// The main window Morvik: the ZIP path and schema folder inputs with their
// browse buttons, the start button, the result log and the status bar.
#pragma once

#include "inspection/runreport.h"
#include "ui/dialogmessagebox.h"
#include "ui/modalrunner.h"
#include "ui/programstart.h"
#include "ui/qsettingsstore.h"
#include "ui/resultlogbox.h"
#include "ui/runrecord.h"

#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QMimeData;
class QPlainTextEdit;
class QPushButton;

namespace morvik::ui {

class BackgroundRun;
class LogEdit;
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

    // The result log's context menu: the box's own entries, stepping between
    // failures, the failures-only view, search, then saving the log and the
    // CSV. The caller owns it.
    QMenu* createLogMenu();

    // Panel 1 after a run that ended early: 「調査できませんでした：」 and the
    // first line, every line in its tool tip.
    void showCause(const std::vector<std::string>& lines);

    // The runs whose log the box holds (several after several archives);
    // empty when no run has written it.
    const std::vector<RunRecord>& logRuns() const { return m_logRuns; }

    // The settings key of the window's last place: "x,y,width,height" of the
    // client area, then ",max" when it was maximised.
    static constexpr const char* kWindowPlaceKey = "WindowPlace";

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
    // Saves the result log as shown to a file the user names, headed by the
    // run that wrote it.
    void saveLog();
    // Saves what the runs of the log found as the CSV report the command
    // line writes with --csv, to a file the user names.
    void saveCsv();
    // Selects the next or previous failure entry of the log.
    void showNextError();
    void showPreviousError();
    // Folds the log's lines other than failure entries away, or back.
    void setErrorsOnly(bool on);
    // Opens the search line over the log.
    void findInLog();

protected:
    // Closing during a run stops it after the document at hand, then closes.
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    class RunScope;
    enum class DropUse { refuse, zipPath, schemaFolder, boxOwn };

    // One archive through a background run. With several, the log box
    // keeps what is above and the archive's log follows its name.
    enum class LogUse { own, appended };
    RunRecord runArchive(const std::string& zipPath, LogUse use);
    void runSeveral(const QStringList& zipPaths);
    void tellExtractedCopy(const inspection::EarlyEnd& end);
    void placeControls();
    // A run of the log has kept what the CSV report needs.
    bool csvAvailable() const;
    void restoreWindowPlace();
    void saveWindowPlace();
    void openLogMenu(const QPoint& globalPos);
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
    std::vector<RunRecord> m_logRuns;
    // While a run writes: the box line its log starts on, and its text when
    // it is to be saved beside its ZIP file.
    int m_logBase = 0;
    LogUse m_logUse = LogUse::own;
    std::string m_runLogCopy;
    bool m_logCleared = false; // the run at hand has written a new log
    std::optional<inspection::EarlyEnd> m_lastEarlyEnd;

    QAction* m_nextError;
    QAction* m_previousError;
    QAction* m_errorsOnly;
    QAction* m_find;
    QAction* m_save;
    QAction* m_saveCsv;

    QPushButton* Command1;
    QLabel* Label1;
    QPushButton* Command2;
    QLineEdit* TX_XmlFnm;
    QLabel* Label2;
    QPushButton* Command3;
    QLineEdit* TX_Schima;
    LogEdit* TX_Msg;
    QLabel* Label3;
    StatusBar* ST_Msg;
    QFrame* Line1;
    MorvikDir* m_picker = nullptr;

    std::unique_ptr<DialogMessageBox> m_messages;
    std::unique_ptr<DesktopProgramStart> m_programs;
    std::unique_ptr<ResultLogBox> m_log;
};

} // namespace morvik::ui
