// The JSON report: what one run on one archive found, in a
// form for scripts. Its fields are described in docs/json-report.md; "format"
// changes only when a field changes meaning or goes away.
#pragma once

#include "inspection/runreport.h"

#include <optional>
#include <string>
#include <vector>

namespace morvik::report {

inline constexpr int kJsonFormat = 1;

struct ArchiveReport {
    std::string archive;          // as given on the command line
    std::string extractionFolder; // as the run formed it; empty before extraction
    std::string schemaFolder;     // as the run resolved it; empty when none
    std::string outcome;          // allValid, someFailed, endedEarly, stopped, internalError
    int exitCode = 0;
    std::size_t documents = 0; // how many the stages were to validate
    std::optional<inspection::EarlyEnd> earlyEnd;
    // What the extraction found, after a successful one.
    std::optional<inspection::ExtractionFacts> extraction;
    std::string message;            // the last message shown, as the system words it
    std::vector<std::string> cause; // the cause lines printed after it
    std::vector<inspection::DocumentReport> checked;
    bool allErrors = false; // every error was asked for, not only the first
};

// Collects one run's report from the run's observer calls. Each document's
// report is kept only when keepDocuments is set (for the JSON report): an
// archive of tens of thousands of documents would otherwise hold them all.
class ReportCollector : public inspection::RunObserver {
public:
    explicit ReportCollector(ArchiveReport& report, bool keepDocuments = true)
        : m_report(report), m_keepDocuments(keepDocuments) {}
    void started(const std::string& extractionFolder, const std::string& schemaFolder,
                 std::size_t documents) override;
    void extracted(const inspection::ExtractionFacts& facts) override;
    void documentChecked(const inspection::DocumentReport& report) override;
    void endedEarly(const inspection::EarlyEnd& end) override;

private:
    ArchiveReport& m_report;
    bool m_keepDocuments;
};

// The program that made a report, as its "program" and "version" fields name it.
struct ReportProgram {
    std::string name;
    std::string version;
};

// Whether one archive gets an object of its own or a list of one: a script
// that reads the report of a folder wants a list however many it held.
enum class JsonShape { byCount, list };

// The report as JSON text ending in a line break: one object for one
// archive (unless shape is list), a list of such objects for several.
std::string reportJson(const std::vector<ArchiveReport>& reports, const ReportProgram& program,
                       JsonShape shape = JsonShape::byCount);

} // namespace morvik::report
