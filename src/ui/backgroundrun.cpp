// The run on a worker thread; its services collect for the window or hand
// over to the GUI thread.
#include "ui/backgroundrun.h"

#include "report/csvreport.h"
#include "report/reasons.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QThread>

#include <utility>

namespace morvik::ui {

// The services as the worker sees them. Nothing here touches a widget.
class BackgroundRun::Services : public inspection::ResultLog,
                                public inspection::StatusLine,
                                public inspection::MessageBox,
                                public inspection::ProgramStart,
                                public inspection::RunObserver {
public:
    explicit Services(BackgroundRun& run) : m_run(run) {}

    void clear() override {
        std::lock_guard lock(m_run.m_mutex);
        m_run.m_pending.clearLog = true;
        m_run.m_pending.logText.clear();
        m_run.m_pending.failureEntries.clear();
        m_run.m_lines = 0;
        m_run.m_lastChar = 0;
    }
    void append(std::string_view piece) override {
        // Lines counted as the log box breaks them: at CR LF, and at a CR
        // or LF alone.
        std::size_t lines = 0;
        char last = m_run.m_lastChar;
        for (const char c : piece) {
            lines += (c == '\r' || (c == '\n' && last != '\r')) ? 1 : 0;
            last = c;
        }
        std::lock_guard lock(m_run.m_mutex);
        m_run.m_pending.logText.append(piece);
        m_run.m_lines += lines;
        m_run.m_lastChar = last;
    }

    // Only the latest text is kept: the window shows it at its next frame,
    // so texts never appear out of their order and none costs a repaint.
    void MsgDisp(const std::string& MsgStr) override {
        QString text = QString::fromStdString(MsgStr);
        std::lock_guard lock(m_run.m_mutex);
        m_run.m_pending.status = std::move(text);
        m_run.m_pending.statusChanged = true;
    }

    // The run waits until the user has closed the box. Once the run is
    // asked to stop, the user has closed the window: nothing more pops up.
    void show(const std::string& text, const std::string& caption,
              inspection::MessageIcon icon) override {
        m_run.m_report.message = text;
        if (!m_run.m_stop) {
            m_run.onGuiThread([&] { m_run.m_messages.show(text, caption, icon); });
        }
    }
    void openFolder(const std::string& folder) override {
        if (!m_run.m_stop) {
            m_run.onGuiThread([&] { m_run.m_programs.openFolder(folder); });
        }
    }

    void started(const std::string& extractionFolder, const std::string& schemaFolder,
                 std::size_t documents) override {
        {
            std::lock_guard lock(m_run.m_mutex);
            m_run.m_pending.tally.started(extractionFolder, schemaFolder, documents);
        }
        m_run.m_report.extractionFolder = extractionFolder;
        m_run.m_report.schemaFolder = schemaFolder;
        m_run.m_report.documents = documents;
        if (m_run.m_extra != nullptr) {
            m_run.m_extra->started(extractionFolder, schemaFolder, documents);
        }
    }
    void extracted(const inspection::ExtractionFacts& facts) override {
        m_run.m_report.extraction = facts;
        if (m_run.m_extra != nullptr) {
            m_run.m_extra->extracted(facts);
        }
    }
    void documentChecked(const inspection::DocumentReport& report) override {
        {
            std::lock_guard lock(m_run.m_mutex);
            // The entry has just been written: its last lines.
            if (m_run.m_pending.tally.documentChecked(report) &&
                m_run.m_lines >= kFailureEntryLines) {
                m_run.m_pending.failureEntries.push_back(m_run.m_lines - kFailureEntryLines);
            }
        }
        m_run.m_report.checked.push_back(report::csvPart(report));
        if (m_run.m_extra != nullptr) {
            m_run.m_extra->documentChecked(report);
        }
    }
    void leftInArchive(const std::vector<std::string>& entries) override {
        m_run.m_report.leftInArchive = entries;
        if (m_run.m_extra != nullptr) {
            m_run.m_extra->leftInArchive(entries);
        }
    }
    void endedEarly(const inspection::EarlyEnd& end) override {
        {
            std::lock_guard lock(m_run.m_mutex);
            m_run.m_pending.tally.endedBeforeValidating(end);
        }
        m_run.m_report.earlyEnd = end;
        if (m_run.m_extra != nullptr) {
            m_run.m_extra->endedEarly(end);
        }
    }
    void receptionChecked(const inspection::ReceptionReport& report) override {
        {
            std::lock_guard lock(m_run.m_mutex);
            m_run.m_pending.tally.receptionFound(report);
        }
        m_run.m_report.reception = report;
        if (m_run.m_extra != nullptr) {
            m_run.m_extra->receptionChecked(report);
        }
    }

private:
    BackgroundRun& m_run;
};

BackgroundRun::BackgroundRun(inspection::RunInputs inputs, inspection::SettingsStore& settings,
                             inspection::MessageBox& messages, inspection::ProgramStart& programs,
                             inspection::RunObserver* extra)
    : m_inputs(std::move(inputs)), m_settings(settings), m_messages(messages), m_programs(programs),
      m_extra(extra), m_services(std::make_unique<Services>(*this)) {
    m_report.archive = m_inputs.zipPath;
}

BackgroundRun::~BackgroundRun() {
    if (m_thread == nullptr) {
        return;
    }
    if (!m_finished) {
        requestStop();
        try {
            waitHandlingEvents();
        } catch (...) {
            // The run's fault has nowhere to go from a destructor.
        }
    }
    m_thread->wait();
    delete m_thread;
}

void BackgroundRun::start() {
    Q_ASSERT(m_thread == nullptr);
    m_thread = QThread::create([this] { work(); });
    m_thread->setObjectName(QStringLiteral("inspection run"));
    m_thread->start();
}

void BackgroundRun::work() {
    Services& services = *m_services;
    inspection::RunServices run{m_settings, services, services,  services,
                                services,   {},       &services, [this] {
            return m_stop.load(); }};
    // The window speaks Japanese.
    const report::ReasonWordingIn reasons(report::ReasonLanguage::japanese);
    run.reasons = &reasons;
    try {
        m_outcome = inspection::runInspection(m_inputs, run);
    } catch (...) {
        m_fault = std::current_exception();
    }
    m_finished = true;
    // Wakes the GUI thread if it is waiting for events in waitHandlingEvents().
    QMetaObject::invokeMethod(
        this, [] {}, Qt::QueuedConnection);
}

void BackgroundRun::onGuiThread(const std::function<void()>& call) {
    QMetaObject::invokeMethod(
        this,
        [this, &call] {
            emit aboutToInteract();
            call();
        },
        Qt::BlockingQueuedConnection);
}

inspection::RunOutcome BackgroundRun::waitHandlingEvents() {
    // Not a QEventLoop: one asked to quit (the application ending) would
    // return at once while the run still writes.
    while (!m_finished) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    m_thread->wait();
    if (m_fault) {
        std::rethrow_exception(std::exchange(m_fault, nullptr));
    }
    return m_outcome;
}

BackgroundRun::Progress BackgroundRun::take() {
    std::lock_guard lock(m_mutex);
    Progress taken;
    taken.clearLog = std::exchange(m_pending.clearLog, false);
    taken.logText = std::exchange(m_pending.logText, std::string());
    taken.statusChanged = std::exchange(m_pending.statusChanged, false);
    taken.status = m_pending.status;
    taken.failureEntries = std::exchange(m_pending.failureEntries, {});
    taken.tally = m_pending.tally;
    return taken;
}

} // namespace morvik::ui
