// One inspection run on a thread of its own, so that the window stays live
// while the archive is extracted and its documents are validated.
#pragma once

#include "inspection/inspectionrun.h"
#include "report/jsonreport.h"
#include "report/runtally.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class QThread;

namespace morvik::ui {

// Runs runInspection on a worker thread. The run's services are answered
// there without touching a widget: log pieces and status texts are collected
// for the window to take at its own pace (take()), and whatever must be
// shown to the user at once (a message box, the file browser) is handed to
// the GUI thread, where the given services show it while the run waits. The
// object itself lives on the GUI thread and is used only there.
class BackgroundRun : public QObject {
    Q_OBJECT
public:
    // messages and programs are called on the GUI thread only; settings on
    // the worker (it touches no widget); extra, if given, is told of the
    // run's progress on the worker, after this object has counted it.
    BackgroundRun(inspection::RunInputs inputs, inspection::SettingsStore& settings,
                  inspection::MessageBox& messages, inspection::ProgramStart& programs,
                  inspection::RunObserver* extra = nullptr);
    // Asks the run to stop and waits for it, still handling events so that
    // a dialog the run is waiting for can end.
    ~BackgroundRun() override;
    BackgroundRun(const BackgroundRun&) = delete;
    BackgroundRun& operator=(const BackgroundRun&) = delete;

    void start();
    // The run stops before its next document; the log keeps what it wrote.
    // Messages the run would show from then on are left out.
    void requestStop() { m_stop = true; }
    bool stopRequested() const { return m_stop; }

    // Handles the GUI thread's events until the run has ended, then returns
    // its outcome. A fault that escaped the run is thrown again here.
    inspection::RunOutcome waitHandlingEvents();
    bool isFinished() const { return m_finished; }

    // What the run did since the last take().
    struct Progress {
        bool clearLog = false; // the run cleared the log before writing logText
        std::string logText;   // UTF-8 pieces in the order the run wrote them
        QString status;        // the latest status text, if statusChanged
        bool statusChanged = false;
        // The first line (0-based, as the log box counts its lines) of each
        // failure entry written since the last take(); each spans
        // kFailureEntryLines lines.
        std::vector<std::size_t> failureEntries;
        report::RunTally tally; // the run so far: counts, folders, findings
    };
    // A failure entry: the heading or document name line, the message and
    // the detail.
    static constexpr std::size_t kFailureEntryLines = 3;
    Progress take();

    // Once the run has ended: what a report file (the CSV) needs of it, as
    // the command line collects it: the archive as given, the folders, each
    // document (without its source lines and values), the reception
    // check's findings, the early end and the last message shown.
    const report::ArchiveReport& report() const { return m_report; }

signals:
    // On the GUI thread, right before the run shows something to the user:
    // a window brings its log and status line up to date then.
    void aboutToInteract();

private:
    class Services;

    void work();
    void onGuiThread(const std::function<void()>& call);

    inspection::RunInputs m_inputs;
    inspection::SettingsStore& m_settings;
    inspection::MessageBox& m_messages;
    inspection::ProgramStart& m_programs;
    inspection::RunObserver* m_extra;
    std::unique_ptr<Services> m_services;
    QThread* m_thread = nullptr;

    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_finished{false};
    inspection::RunOutcome m_outcome = inspection::RunOutcome::endedEarly;
    std::exception_ptr m_fault;
    // Written by the worker alone while the run lasts.
    report::ArchiveReport m_report;

    // Written by the worker, taken by the GUI thread.
    std::mutex m_mutex;
    Progress m_pending;
    std::size_t m_lines = 0; // line breaks of the log so far
    char m_lastChar = 0;
};

} // namespace morvik::ui
