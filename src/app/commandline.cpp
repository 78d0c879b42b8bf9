// The command-line front end: inspection runs one archive after another, the
// result log on standard output as it grows (on standard error when the JSON
// report takes standard output), messages and their causes on standard error,
// each line prefixed with the program's name. It keeps no settings.
#include "app/commandline.h"

#include "app/reporttarget.h"
#include "app/version.h"
#include "inspection/bytesize.h"
#include "inspection/inspectionrun.h"
#include "inspection/paths.h"
#include "inspection/standardnames.h"
#include "platform/text/utf8.h"
#include "report/causes.h"
#include "report/csvreport.h"
#include "report/jsonreport.h"
#include "report/reasons.h"
#include "report/runtally.h"

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string_view>

namespace morvik::app {

namespace {

volatile std::sig_atomic_t g_interruptingSignal = 0;

extern "C" void onInterruptingSignal(int signal) {
    g_interruptingSignal = signal;
}

using namespace morvik::inspection;
using namespace morvik::report;

constexpr const char* kProgram = "morvik-inspect";
constexpr const char* kPrefix = "morvik-inspect: ";
// How many errors of one failing document --all-errors keeps.
constexpr std::size_t kAllErrorsLimit = 100;

constexpr const char* kUsage =
    "Usage: morvik-inspect [OPTIONS] ZIPFILE|FOLDER...\n"
    "\n"
    "Extracts each ZIPFILE beside itself (or under --into DIR) and validates its\n"
    "index, summary, DATA and CLAIMS documents, printing the result log. A FOLDER\n"
    "stands for every *.zip file directly in it, in name order.\n"
    "\n"
    "  --schema DIR    folder of the XSD files (default: the archive's own XSD folder)\n"
    "  --into DIR      extract under DIR instead of beside the ZIP file\n"
    "  --json FILE     write a JSON report to FILE; - writes it to standard output\n"
    "                  and the result log to standard error\n"
    "  --csv FILE      write a CSV report for spreadsheets (UTF-8 with BOM, CRLF)\n"
    "                  to FILE; - as for --json\n"
    "  --csv-errors-only\n"
    "                  rows for failing documents only in the CSV report\n"
    "  --all-errors    every error of a failing document (up to 100) in the JSON\n"
    "                  and CSV reports and, with --verbose, on standard error; the\n"
    "                  log keeps the first, so alone it changes nothing\n"
    "  --recursive     a FOLDER's sub-folders too\n"
    "  --max-extracted-size=SIZE\n"
    "                  the most an archive may unpack to (default 8G; K, M, G, T\n"
    "                  are powers of 1024)\n"
    "  --max-document-memory=SIZE\n"
    "                  the most memory the XML parser may use for one document or\n"
    "                  one schema set (default 512M; K, M, G, T as above)\n"
    "  --max-document-time=SECONDS\n"
    "                  the longest one document may take to check, per started\n"
    "                  10 MiB of it (default 20)\n"
    "  --max-schema-compile-time=SECONDS\n"
    "                  the longest a schema set may take to compile (default 20);\n"
    "                  its chains of references are limited with it\n"
    "  --reasons=LANG  the reason in a failure's detail line: ja (Japanese, the\n"
    "                  default) or en (the XML parser's English)\n"
    "  --no-reception-check\n"
    "                  leave out the log's fifth section, the checks of the whole\n"
    "                  archive (counts, totals, names, identities, the schema set)\n"
    "  --verbose       also print progress, the schema chosen for each document and\n"
    "                  the verdict on each file of the schema set\n"
    "  --version       print the name and version\n"
    "  --help          print this help\n"
    "\n"
    "Several ZIP files are inspected one after another, each log under a line\n"
    "\"==> ZIPFILE <==\", and a summary table follows the last. Messages go to\n"
    "standard error as \"morvik-inspect: TEXT\", followed by a line with the cause.\n"
    "A report file is written through a temporary file beside it and replaces it\n"
    "only when whole; one of the ZIP files, a folder, a FIFO or a device is\n"
    "refused as a report file before anything runs.\n"
    "\n"
    "Exit status: 0 every document valid, 1 some document failed or the checks of\n"
    "the whole archive found an error-level finding, 2 a run stopped before\n"
    "validating, 64 usage error (nothing was run), 70 internal error or a report\n"
    "could not be written; with several ZIP files the worst (70, 64, 2, 1, 0).\n"
    "Messages, unzip codes and the reports: man morvik-inspect.\n";

// Every usage error ends so: the help is one command away, not 30 lines.
constexpr const char* kSeeHelp = "詳しくは morvik-inspect --help";

// The log's line break is CR LF; a terminal wants LF.
class StreamLog : public ResultLog {
public:
    explicit StreamLog(std::ostream& out) : m_out(out) {}
    void clear() override {}
    void append(std::string_view piece) override {
        for (char c : piece) {
            if (m_pendingCr) {
                m_pendingCr = false;
                if (c != '\n') {
                    m_out.put('\r');
                }
            }
            if (c == '\r') {
                m_pendingCr = true;
            } else {
                m_out.put(c);
            }
        }
        m_out.flush();
    }

private:
    std::ostream& m_out;
    bool m_pendingCr = false;
};

// The system's messages as they are, after the program's name; a caption
// other than the application title (the unzip failure's "Failed") stands
// before the text.
class StreamMessages : public MessageBox {
public:
    explicit StreamMessages(std::ostream& err) : m_err(err) {}
    void show(const std::string& text, const std::string& caption, MessageIcon) override {
        m_err << kPrefix;
        if (caption != kAppTitle) {
            m_err << caption << ": ";
        }
        m_err << text << '\n' << std::flush;
        m_last = text;
    }
    const std::string& last() const { return m_last; }

private:
    std::ostream& m_err;
    std::string m_last;
};

class StreamStatus : public StatusLine {
public:
    StreamStatus(std::ostream& err, bool verbose) : m_err(err), m_verbose(verbose) {}
    void MsgDisp(const std::string& MsgStr) override {
        if (m_verbose) {
            m_err << MsgStr << '\n' << std::flush;
        }
    }

private:
    std::ostream& m_err;
    bool m_verbose;
};

// The command line keeps nothing between runs.
class NoSettings : public SettingsStore {
public:
    void save(const std::string&, const std::string&, const std::string&,
              const std::string&) override {}
    std::string read(const std::string&, const std::string&, const std::string&) override {
        return {};
    }
};

// No file browser: the cause line names the folder to look at.
class NoProgramStart : public ProgramStart {
public:
    void openFolder(const std::string&) override {}
};

// Passes every call of the run on to the next observer; a front end's own
// observer overrides what it adds and calls the base, so that no call of
// the run is ever dropped on the way.
class ForwardingObserver : public RunObserver {
public:
    explicit ForwardingObserver(RunObserver& next) : m_next(next) {}
    void started(const std::string& extractionFolder, const std::string& schemaFolder,
                 std::size_t documents) override {
        m_next.started(extractionFolder, schemaFolder, documents);
    }
    void documentChecked(const DocumentReport& report) override { m_next.documentChecked(report); }
    void extracted(const ExtractionFacts& facts) override { m_next.extracted(facts); }
    void endedEarly(const EarlyEnd& end) override { m_next.endedEarly(end); }
    void leftInArchive(const std::vector<std::string>& entries) override {
        m_next.leftInArchive(entries);
    }
    void receptionChecked(const ReceptionReport& report) override {
        m_next.receptionChecked(report);
    }

private:
    RunObserver& m_next;
};

// With --verbose --all-errors: every error of a failing document, after its
// log entry.
class ErrorLister : public ForwardingObserver {
public:
    ErrorLister(std::ostream& err, RunObserver& next) : ForwardingObserver(next), m_err(err) {}
    void documentChecked(const DocumentReport& report) override {
        ForwardingObserver::documentChecked(report);
        if (report.status == 0 || report.facts.errors.empty()) {
            return;
        }
        m_err << printable(report.documentFolder + report.documentName) << ": "
              << report.facts.errors.size()
              << (report.facts.errorsCapped || report.facts.contentLeftUnchecked ? "+" : "")
              << " error(s)"
              << (report.facts.contentLeftUnchecked
                      ? " (the list may be incomplete: after an element that is not expected, "
                        "the rest of its parent is not checked)"
                      : "")
              << "\n";
        for (const auto& error : report.facts.errors) {
            m_err << "  line " << error.line << ", column " << error.column << ": " << error.reason
                  << '\n';
        }
        m_err << std::flush;
    }

private:
    std::ostream& m_err;
};

// With --verbose: the verdict on every file of the schema set, after the
// log's fifth section.
class SchemaSetLister : public ForwardingObserver {
public:
    SchemaSetLister(std::ostream& err, RunObserver& next) : ForwardingObserver(next), m_err(err) {}
    void receptionChecked(const ReceptionReport& report) override {
        ForwardingObserver::receptionChecked(report);
        for (const SchemaFileReport& file : report.schemaFiles) {
            m_err << "schema set: " << printable(file.file) << ": " << verdictName(file.verdict)
                  << '\n';
        }
        m_err << std::flush;
    }

private:
    std::ostream& m_err;
};

// Tells the embedding front end how far the run has got.
class ProgressTeller : public ForwardingObserver {
public:
    ProgressTeller(const Embedding& embedding, RunObserver& next)
        : ForwardingObserver(next), m_embedding(embedding) {}
    void started(const std::string& extractionFolder, const std::string& schemaFolder,
                 std::size_t documents) override {
        ForwardingObserver::started(extractionFolder, schemaFolder, documents);
        m_tally.started(extractionFolder, schemaFolder, documents);
        m_embedding.progress(m_tally.checked, m_tally.total);
    }
    void documentChecked(const DocumentReport& report) override {
        ForwardingObserver::documentChecked(report);
        m_tally.documentChecked(report);
        m_embedding.progress(m_tally.checked, m_tally.total);
    }

private:
    const Embedding& m_embedding;
    RunTally m_tally;
};

// Entries beside the top folder are not unpacked: a notice line says how
// many, and with --verbose each is named.
class LeftEntriesNotice : public ForwardingObserver {
public:
    LeftEntriesNotice(std::ostream& err, bool verbose, const std::string& zipPath,
                      RunObserver& next)
        : ForwardingObserver(next), m_err(err), m_verbose(verbose), m_zipPath(zipPath) {}
    void leftInArchive(const std::vector<std::string>& entries) override {
        ForwardingObserver::leftInArchive(entries);
        m_err << kPrefix << morvik::report::leftInArchiveNotice(m_zipPath, entries.size()) << '\n';
        if (m_verbose) {
            for (const std::string& entry : entries) {
                m_err << "left in archive: " << printable(entry) << '\n';
            }
        }
        m_err << std::flush;
    }

private:
    std::ostream& m_err;
    bool m_verbose;
    const std::string& m_zipPath;
};

// The option's value, from "--name=VALUE" or the next argument; nothing when
// arg is not that option.
std::optional<std::string> valueOption(const std::string& name,
                                       const std::vector<std::string>& args, std::size_t& i,
                                       std::string& error) {
    const std::string& arg = args[i];
    if (arg.starts_with(name + "=")) {
        return arg.substr(name.size() + 1);
    }
    if (arg != name) {
        return std::nullopt;
    }
    if (i + 1 >= args.size()) {
        error = name + " には値が必要です。";
        return std::string();
    }
    return args[++i];
}

// The usage error's reason, or the empty text.
} // namespace

std::string parseCommandLine(const std::vector<std::string>& args, Options& options) {
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::string error;
        if (optionsEnded || arg == "-" || !arg.starts_with("-")) {
            options.zipPaths.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--verbose") {
            options.verbose = true;
        } else if (arg == "--all-errors") {
            options.allErrors = true;
        } else if (arg == "--no-reception-check") {
            options.receptionCheck = false;
        } else if (auto reasons = valueOption("--reasons", args, i, error)) {
            if (*reasons == "ja") {
                options.reasons = morvik::report::ReasonLanguage::japanese;
            } else if (*reasons == "en") {
                options.reasons = morvik::report::ReasonLanguage::english;
            } else {
                return "--reasons には ja か en を指定してください。";
            }
        } else if (auto size = valueOption("--max-extracted-size", args, i, error)) {
            const std::optional<std::uint64_t> bytes =
                error.empty() ? parseByteSize(*size) : std::nullopt;
            if (!bytes) {
                return "--max-extracted-size には 0 "
                       "より大きいバイト数を指定してください（K・M・G・T "
                       "は 1024 の累乗）。";
            }
            options.maxExtractedSize = *bytes;
        } else if (auto memory = valueOption("--max-document-memory", args, i, error)) {
            const std::optional<std::uint64_t> bytes =
                error.empty() ? parseByteSize(*memory) : std::nullopt;
            if (!bytes) {
                return "--max-document-memory には 0 "
                       "より大きいバイト数を指定してください（K・M・G・T "
                       "は 1024 の累乗）。";
            }
            options.maxDocumentMemory = *bytes;
        } else if (auto seconds = valueOption("--max-document-time", args, i, error)) {
            const std::optional<std::uint32_t> value =
                error.empty() ? parseSeconds(*seconds) : std::nullopt;
            if (!value) {
                return "--max-document-time には 1 以上の秒数を指定してください。";
            }
            options.maxDocumentTime = *value;
        } else if (auto compile = valueOption("--max-schema-compile-time", args, i, error)) {
            const std::optional<std::uint32_t> value =
                error.empty() ? parseSeconds(*compile) : std::nullopt;
            if (!value) {
                return "--max-schema-compile-time には 1 以上の秒数を指定してください。";
            }
            options.maxSchemaCompileTime = *value;
        } else if (auto schema = valueOption("--schema", args, i, error)) {
            if (!error.empty() || schema->empty()) {
                return "--schema にはフォルダを指定してください。";
            }
            options.schemaText = *schema;
        } else if (auto into = valueOption("--into", args, i, error)) {
            if (!error.empty() || into->empty()) {
                return "--into にはフォルダを指定してください。";
            }
            options.extractInto = *into;
        } else if (auto json = valueOption("--json", args, i, error)) {
            if (!error.empty() || json->empty()) {
                return "--json にはファイル名を指定してください（標準出力には -）。";
            }
            options.jsonPath = *json;
        } else if (auto csv = valueOption("--csv", args, i, error)) {
            if (!error.empty() || csv->empty()) {
                return "--csv にはファイル名を指定してください（標準出力には -）。";
            }
            options.csvPath = *csv;
        } else if (arg == "--csv-errors-only") {
            options.csvErrorsOnly = true;
        } else if (arg == "--recursive") {
            options.recursive = true;
        } else {
            return "オプション " + arg + " はありません。";
        }
    }
    if (options.help || options.version) {
        return {};
    }
    if (options.zipPaths.empty()) {
        return "ZIPファイルまたはフォルダが指定されていません。";
    }
    if (!options.extractInto.empty()) {
        std::error_code error;
        if (!std::filesystem::is_directory(options.extractInto, error)) {
            return "--into のフォルダ " + options.extractInto + " がありません。";
        }
    }
    return {};
}

namespace {

const char* outcomeName(RunOutcome outcome) {
    switch (outcome) {
    case RunOutcome::allValid:
        return "allValid";
    case RunOutcome::someFailed:
        return "someFailed";
    case RunOutcome::endedEarly:
        return "endedEarly";
    case RunOutcome::stopped:
        return "stopped";
    }
    return "endedEarly";
}

int exitOf(RunOutcome outcome) {
    switch (outcome) {
    case RunOutcome::allValid:
        return exitAllValid;
    case RunOutcome::someFailed:
        return exitSomeFailed;
    case RunOutcome::endedEarly:
    case RunOutcome::stopped:
        break;
    }
    return exitEndedEarly;
}

// What the summary table shows of one archive.
struct ArchiveSummary {
    std::string archive;
    RunTally tally; // documents OK and failing, reception findings by level
    int exitCode = 0;
    std::string note; // why the archive was not inspected; empty when it was
};

// Counts the documents for the summary and passes on to the report only the
// documents a report needs: an archive of tens of thousands of documents
// would otherwise hold them all.
class DocumentCounter : public RunObserver {
public:
    enum class Keep { none, failing, all };
    DocumentCounter(ArchiveSummary& summary, Keep keep, RunObserver& next)
        : m_summary(summary), m_keep(keep), m_next(next) {}
    void started(const std::string& extractionFolder, const std::string& schemaFolder,
                 std::size_t documents) override {
        m_next.started(extractionFolder, schemaFolder, documents);
    }
    void documentChecked(const DocumentReport& report) override {
        const bool ok = !m_summary.tally.documentChecked(report);
        if (m_keep == Keep::all || (m_keep == Keep::failing && !ok)) {
            m_next.documentChecked(report);
        }
    }
    void extracted(const ExtractionFacts& facts) override { m_next.extracted(facts); }
    void endedEarly(const EarlyEnd& end) override { m_next.endedEarly(end); }
    void leftInArchive(const std::vector<std::string>& entries) override {
        m_next.leftInArchive(entries);
    }
    // The reception check's findings, counted by level for the summary.
    // Passed on only to a report that is written: its findings may name every
    // document of the archive.
    void receptionChecked(const ReceptionReport& report) override {
        m_summary.tally.receptionFound(report);
        if (m_keep != Keep::none) {
            m_next.receptionChecked(report);
        }
    }

private:
    ArchiveSummary& m_summary;
    Keep m_keep;
    RunObserver& m_next;
};

// The summary's word for an archive that was not inspected.
std::string noteOf(const ArchiveReport& report) {
    if (report.outcome == "internalError") {
        return "内部エラー";
    }
    if (!report.earlyEnd) {
        return {};
    }
    switch (report.earlyEnd->kind) {
    case EarlyEnd::Kind::zipPath:
        return "ZIPファイルの名前ではありません";
    case EarlyEnd::Kind::alreadyExtracted:
        return "解凍済み";
    case EarlyEnd::Kind::extractionFailed:
        return "解凍できません（解凍コード " + std::to_string(report.earlyEnd->unzipCode()) + "）";
    case EarlyEnd::Kind::noSchemaFolder:
        return "スキーマがありません";
    }
    return {};
}

class CommandLine {
public:
    CommandLine(const Options& options, const Embedding& embedding, std::ostream& log,
                std::ostream& err)
        : m_options(options), m_embedding(embedding), m_logStream(log), m_err(err) {}

    // One archive: its log, its messages with their causes, its report.
    ArchiveReport inspect(const std::string& zipPath, ArchiveSummary& summary);

private:
    void printCause(ArchiveReport& report, const std::vector<std::string>& lines) {
        for (const auto& line : lines) {
            m_err << kPrefix << line << '\n';
            report.cause.push_back(line);
        }
        m_err << std::flush;
    }

    const Options& m_options;
    const Embedding& m_embedding;
    std::ostream& m_logStream;
    std::ostream& m_err;
};

ArchiveReport CommandLine::inspect(const std::string& zipPath, ArchiveSummary& summary) {
    ArchiveReport report;
    report.archive = zipPath;
    report.allErrors = m_options.allErrors;

    StreamLog log(m_logStream);
    StreamMessages messages(m_err);
    StreamStatus status(m_err, m_options.verbose);
    NoSettings settings;
    NoProgramStart programs;
    ReportCollector collector(report, true);
    using Keep = DocumentCounter::Keep;
    const Keep keep = m_options.jsonPath || (m_options.csvPath && !m_options.csvErrorsOnly)
                          ? Keep::all
                          : (m_options.csvPath ? Keep::failing : Keep::none);
    DocumentCounter counter(summary, keep, collector);
    ErrorLister lister(m_err, counter);
    const report::ReasonWordingIn reasons(m_options.reasons);
    RunServices services{settings, messages, log, status, programs, {}, nullptr, {}};
    services.stopRequested = [] { return interruptingSignal() != 0; };
    services.reasons = &reasons;
    RunObserver* observer = m_options.verbose && m_options.allErrors
                                ? static_cast<RunObserver*>(&lister)
                                : static_cast<RunObserver*>(&counter);
    SchemaSetLister schemaSet(m_err, *observer);
    LeftEntriesNotice notice(m_err, m_options.verbose, zipPath,
                             m_options.verbose ? static_cast<RunObserver&>(schemaSet) : *observer);
    services.observer = &notice;
    ProgressTeller progress(m_embedding, *services.observer);
    if (m_embedding.progress) {
        services.observer = &progress;
    }
    if (m_options.verbose) {
        services.schemaChosen = [this](const std::string& document, const std::string& schema,
                                       const std::string& rootProblem) {
            // A document whose root cannot be read has no schema of its own:
            // say why, not the summary schema it falls back to.
            if (!rootProblem.empty()) {
                m_err << "schema: " << printable(document)
                      << " -> root element not read: " << rootProblem << '\n'
                      << std::flush;
                return;
            }
            m_err << "schema: " << printable(document) << " -> " << printable(schema) << '\n'
                  << std::flush;
        };
    }
    RunInputs inputs;
    inputs.zipPath = zipPath;
    inputs.schemaText = m_options.schemaText;
    inputs.appName = kProgram;
    inputs.section = kMainCaption;
    inputs.extractInto = m_options.extractInto;
    inputs.errorLimit = m_options.allErrors ? kAllErrorsLimit : 1;
    inputs.maxExtractedSize = m_options.maxExtractedSize;
    inputs.maxDocumentMemory = m_options.maxDocumentMemory;
    inputs.maxDocumentTime = m_options.maxDocumentTime;
    inputs.maxSchemaCompileTime = m_options.maxSchemaCompileTime;
    inputs.validationThreads = m_embedding.validationThreads;
    inputs.receptionCheck = m_options.receptionCheck;

    const RunOutcome outcome = runInspection(inputs, services);
    report.outcome = outcomeName(outcome);
    report.exitCode = exitOf(outcome);
    report.message = messages.last();
    if (report.earlyEnd) {
        report.extractionFolder = report.earlyEnd->extractionFolder;
        if (report.earlyEnd->kind == EarlyEnd::Kind::alreadyExtracted) {
            report.extractionFolder = shownExtractionFolder(report.earlyEnd->extraction.place);
        }
        // The extractor's detail in its own English goes with English reasons.
        morvik::report::CauseOptions causeOptions;
        causeOptions.englishDetail = m_options.reasons == morvik::report::ReasonLanguage::english;
        printCause(report, causeOfEarlyEnd(*report.earlyEnd, causeOptions));
    } else if (report.extraction) {
        printCause(report, causeOfRecovery(*report.extraction));
        // With a schema folder of its own, a run goes on even when the archive
        // has no top-level folder named like the ZIP file; its documents are
        // then all missing, and this says why.
        printCause(report, causeOfMissingExtractionFolder(*report.extraction));
    }
    return report;
}

// The table after the last of several archives: counts first, so that the
// columns line up whatever the archives' names, then the name.
void printSummary(std::ostream& log, const std::vector<ArchiveSummary>& summaries, int status) {
    const auto column = [](std::size_t value, int width) {
        std::string text = std::to_string(value);
        return std::string(text.size() < static_cast<std::size_t>(width) ? width - text.size() : 0,
                           ' ') +
               text;
    };
    // Widths in terminal columns: a kanji takes two.
    log << "\n==== 集計 ====\n"
        << "      OK    エラー  受付エラー  受付注意  終了状態  アーカイブ\n";
    for (const auto& summary : summaries) {
        log << column(summary.tally.ok(), 8) << column(summary.tally.failed, 10)
            << column(summary.tally.receptionErrors, 12)
            << column(summary.tally.receptionCautions, 10)
            << column(static_cast<std::size_t>(summary.exitCode), 10) << "  "
            << printable(summary.archive);
        if (!summary.note.empty()) {
            log << "  （" << summary.note << "）";
        }
        log << '\n';
    }
    log << "アーカイブ " << summaries.size() << " 件、最も悪い終了状態 " << status << '\n'
        << std::flush;
}

bool endsWithZip(const std::string& name) {
    return name.size() > 4 && morvik::platform::upperAscii(name.substr(name.size() - 4)) == ".ZIP";
}

} // namespace

int interruptingSignal() {
    return g_interruptingSignal;
}

void stopOnInterruptingSignals() {
    struct sigaction action {};
    action.sa_handler = onInterruptingSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM}) {
        ::sigaction(signal, &action, nullptr);
    }
}

ArchiveList listArchives(const std::vector<std::string>& arguments, bool recursive) {
    namespace fs = std::filesystem;
    ArchiveList list;
    for (const auto& argument : arguments) {
        std::error_code error;
        // A folder named like a ZIP file stays a ZIP path: the run then says
        // it is a folder, which is likelier the slip than a folder of
        // archives named so.
        if (argument == "-" || endsWithZip(argument) || !fs::is_directory(argument, error)) {
            list.zipPaths.push_back(argument);
            continue;
        }
        list.folderGiven = true;
        std::vector<std::string> found;
        const auto consider = [&](const fs::directory_entry& entry) {
            std::error_code statusError;
            const std::string name = entry.path().filename().string();
            if (endsWithZip(name) && !entry.is_directory(statusError)) {
                found.push_back(entry.path().string());
            }
        };
        if (recursive) {
            fs::recursive_directory_iterator it(
                argument, fs::directory_options::skip_permission_denied, error);
            for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
                consider(*it);
            }
        } else {
            fs::directory_iterator it(argument, error);
            for (; !error && it != fs::directory_iterator(); it.increment(error)) {
                consider(*it);
            }
        }
        if (error) {
            list.error = "フォルダ " + argument + " を読めません（" + error.message() + "）。";
            return list;
        }
        std::sort(found.begin(), found.end());
        if (found.empty()) {
            list.emptyFolders.push_back(argument);
        }
        list.zipPaths.insert(list.zipPaths.end(), found.begin(), found.end());
    }
    return list;
}

int worseExit(int a, int b) {
    const auto rank = [](int status) {
        switch (status) {
        case exitAllValid:
            return 0;
        case exitSomeFailed:
            return 1;
        case exitEndedEarly:
            return 2;
        case exitUsage:
            return 3;
        default:
            return 4;
        }
    };
    return rank(a) >= rank(b) ? a : b;
}

int runCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    return runCommandLine(args, out, err, Embedding{});
}

int runCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   const Embedding& embedding) {
    Options options;
    const auto usageError = [&](const std::string& error) {
        err << kPrefix << printable(error) << kSeeHelp << '\n' << std::flush;
        return exitUsage;
    };
    if (const std::string error = parseCommandLine(args, options); !error.empty()) {
        return usageError(error);
    }
    if (options.help) {
        out << kUsage;
        return exitAllValid;
    }
    if (options.version) {
        out << kProgram << ' ' << kVersion << '\n';
        return exitAllValid;
    }

    const ArchiveList archives = listArchives(options.zipPaths, options.recursive);
    if (!archives.error.empty()) {
        return usageError(archives.error);
    }

    // The report files are checked and their temporaries made before any
    // run, so that a place they cannot go is told before the archives are
    // unpacked, and nothing of the user's is written over.
    std::vector<ReportTarget> targets;
    if (options.jsonPath) {
        targets.push_back({"--json", *options.jsonPath, std::nullopt});
    }
    if (options.csvPath) {
        targets.push_back({"--csv", *options.csvPath, std::nullopt});
    }
    if (targets.size() == 2) {
        if (const std::string clash = clashOfTargets(targets[0], targets[1]); !clash.empty()) {
            return usageError(clash);
        }
    }
    for (auto& target : targets) {
        if (const std::string error = prepareReportTarget(target, archives.zipPaths);
            !error.empty()) {
            return usageError(error);
        }
    }
    if (options.allErrors && !options.jsonPath && !options.csvPath && !options.verbose) {
        err << kPrefix
            << "--all-errors は --json、--csv、--verbose と一緒のときに働きます。ログには各文書の"
               "最初のエラーだけが出ます。\n"
            << std::flush;
    }

    const bool reportToOut = (options.jsonPath && *options.jsonPath == "-") ||
                             (options.csvPath && *options.csvPath == "-");
    std::ostream& logStream = reportToOut ? err : out;
    CommandLine commandLine(options, embedding, logStream, err);
    // A heading per archive and the summary table when there is more than
    // one, or when a folder was given (however many it held).
    const bool several = archives.zipPaths.size() > 1 || archives.folderGiven;
    int status = exitAllValid;
    for (const auto& folder : archives.emptyFolders) {
        err << kPrefix << "フォルダ " << printable(folder) << " には *.zip ファイルがありません。\n"
            << std::flush;
        status = worseExit(status, exitEndedEarly);
    }
    std::vector<ArchiveReport> reports;
    std::vector<ArchiveSummary> summaries;
    for (std::size_t i = 0; i < archives.zipPaths.size(); ++i) {
        const std::string& zipPath = archives.zipPaths[i];
        if (several) {
            logStream << (i > 0 ? "\n" : "") << "==> " << printable(zipPath) << " <==\n"
                      << std::flush;
        }
        ArchiveSummary summary;
        summary.archive = zipPath;
        try {
            reports.push_back(commandLine.inspect(zipPath, summary));
        } catch (const std::exception& error) {
            // One archive's internal error does not keep the others from
            // being inspected; the exit status tells it.
            err << kPrefix << "internal error: " << error.what() << '\n' << std::flush;
            ArchiveReport failed;
            failed.archive = zipPath;
            failed.outcome = "internalError";
            failed.exitCode = exitInternal;
            failed.cause.push_back(std::string("internal error: ") + error.what());
            reports.push_back(std::move(failed));
        }
        summary.exitCode = reports.back().exitCode;
        summary.note = noteOf(reports.back());
        summaries.push_back(std::move(summary));
        status = worseExit(status, reports.back().exitCode);
        if (interruptingSignal() != 0) {
            break;
        }
    }
    if (several && !summaries.empty()) {
        printSummary(logStream, summaries, status);
    }

    for (auto& target : targets) {
        const std::string bytes =
            target.option == "--json"
                ? reportJson(reports, ReportProgram{kProgram, kVersion},
                             archives.folderGiven ? report::JsonShape::list
                                                  : report::JsonShape::byCount)
                : report::reportCsv(reports,
                                    options.csvErrorsOnly ? report::CsvRows::errorsOnly
                                                          : report::CsvRows::all,
                                    options.reasons);
        if (const std::string error = writeReport(target, bytes, out); !error.empty()) {
            err << kPrefix << error << '\n' << std::flush;
            status = worseExit(status, exitInternal);
        }
    }
    return status;
}

} // namespace morvik::app
