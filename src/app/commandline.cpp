// The command-line front end: inspection runs one archive after another, the
// result log on standard output as it grows (on standard error when the JSON
// report takes standard output), messages and their causes on standard error,
// each line prefixed with the program's name. It keeps no settings.
#include "app/commandline.h"

#include "app/version.h"
#include "inspection/bytesize.h"
#include "inspection/inspectionrun.h"
#include "inspection/paths.h"
#include "inspection/standardnames.h"
#include "report/causes.h"
#include "report/jsonreport.h"
#include "report/reasons.h"

#include <csignal>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <fstream>
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
    "Usage: morvik-inspect [OPTIONS] ZIPFILE...\n"
    "\n"
    "Extracts each ZIPFILE beside itself (or under --into DIR) and validates its\n"
    "index, summary, DATA and CLAIMS documents, printing the result log.\n"
    "\n"
    "  --schema DIR    folder of the XSD files (default: the archive's own XSD folder)\n"
    "  --into DIR      extract under DIR instead of beside the ZIP file\n"
    "  --json FILE     write a JSON report to FILE; - writes it to standard output\n"
    "                  and the result log to standard error\n"
    "  --all-errors    every error of a failing document in the JSON report (and,\n"
    "                  with --verbose, on standard error); the log keeps the first\n"
    "  --max-extracted-size=SIZE\n"
    "                  the most an archive may unpack to (default 8G; K, M, G, T\n"
    "                  are powers of 1024)\n"
    "  --reasons=LANG  the reason in a failure's detail line: ja (Japanese, the\n"
    "                  default) or en (the XML parser's English)\n"
    "  --verbose       also print progress and the schema chosen for each document\n"
    "  --version       print the name and version\n"
    "  --help          print this help\n"
    "\n"
    "Several ZIP files are inspected one after another, each log under a line\n"
    "\"==> ZIPFILE <==\". Messages go to standard error as \"morvik-inspect: TEXT\",\n"
    "followed by a line with the cause.\n"
    "\n"
    "Exit status: 0 every document valid, 1 some document failed, 2 a run stopped\n"
    "before validating, 64 usage error, 70 internal error or the JSON report could\n"
    "not be written; with several ZIP files the worst (70, 64, 2, 1, 0).\n"
    "Messages, unzip codes and the JSON report: man morvik-inspect.\n";

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

// With --verbose --all-errors: every error of a failing document, after its
// log entry.
class ErrorLister : public RunObserver {
public:
    ErrorLister(std::ostream& err, RunObserver& next) : m_err(err), m_next(next) {}
    void started(const std::string& extractionFolder, const std::string& schemaFolder,
                 std::size_t documents) override {
        m_next.started(extractionFolder, schemaFolder, documents);
    }
    void documentChecked(const DocumentReport& report) override {
        m_next.documentChecked(report);
        if (report.status == 0 || report.facts.errors.empty()) {
            return;
        }
        m_err << printable(report.documentFolder + report.documentName) << ": "
              << report.facts.errors.size() << (report.facts.errorsCapped ? "+" : "")
              << " error(s)\n";
        for (const auto& error : report.facts.errors) {
            m_err << "  line " << error.line << ", column " << error.column << ": " << error.reason
                  << '\n';
        }
        m_err << std::flush;
    }
    void extracted(const ExtractionFacts& facts) override { m_next.extracted(facts); }
    void endedEarly(const EarlyEnd& end) override { m_next.endedEarly(end); }

private:
    std::ostream& m_err;
    RunObserver& m_next;
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
        error = name + " needs a value";
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
        } else if (auto reasons = valueOption("--reasons", args, i, error)) {
            if (*reasons == "ja") {
                options.reasons = morvik::report::ReasonLanguage::japanese;
            } else if (*reasons == "en") {
                options.reasons = morvik::report::ReasonLanguage::english;
            } else {
                return "--reasons needs ja or en";
            }
        } else if (auto size = valueOption("--max-extracted-size", args, i, error)) {
            const std::optional<std::uint64_t> bytes =
                error.empty() ? parseByteSize(*size) : std::nullopt;
            if (!bytes) {
                return "--max-extracted-size needs a size in bytes (K, M, G or T for 1024s), "
                       "more than 0";
            }
            options.maxExtractedSize = *bytes;
        } else if (auto schema = valueOption("--schema", args, i, error)) {
            if (!error.empty() || schema->empty()) {
                return "--schema needs a folder";
            }
            options.schemaText = *schema;
        } else if (auto into = valueOption("--into", args, i, error)) {
            if (!error.empty() || into->empty()) {
                return "--into needs a folder";
            }
            options.extractInto = *into;
        } else if (auto json = valueOption("--json", args, i, error)) {
            if (!error.empty() || json->empty()) {
                return "--json needs a file name (- for standard output)";
            }
            options.jsonPath = *json;
        } else {
            return "unknown option " + arg;
        }
    }
    if (options.help || options.version) {
        return {};
    }
    if (options.zipPaths.empty()) {
        return "no ZIP file given";
    }
    if (!options.extractInto.empty()) {
        std::error_code error;
        if (!std::filesystem::is_directory(options.extractInto, error)) {
            return "--into " + options.extractInto + ": no such folder";
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

class CommandLine {
public:
    CommandLine(const Options& options, std::ostream& log, std::ostream& err)
        : m_options(options), m_logStream(log), m_err(err) {}

    // One archive: its log, its messages with their causes, its report.
    ArchiveReport inspect(const std::string& zipPath);

private:
    void printCause(ArchiveReport& report, const std::vector<std::string>& lines) {
        for (const auto& line : lines) {
            m_err << kPrefix << line << '\n';
            report.cause.push_back(line);
        }
        m_err << std::flush;
    }

    const Options& m_options;
    std::ostream& m_logStream;
    std::ostream& m_err;
};

ArchiveReport CommandLine::inspect(const std::string& zipPath) {
    ArchiveReport report;
    report.archive = zipPath;
    report.allErrors = m_options.allErrors;

    StreamLog log(m_logStream);
    StreamMessages messages(m_err);
    StreamStatus status(m_err, m_options.verbose);
    NoSettings settings;
    NoProgramStart programs;
    ReportCollector collector(report, m_options.jsonPath.has_value());
    ErrorLister lister(m_err, collector);
    const report::ReasonWordingIn reasons(m_options.reasons);
    RunServices services{settings, messages, log, status, programs, {}, nullptr, {}};
    services.stopRequested = [] { return interruptingSignal() != 0; };
    services.reasons = &reasons;
    services.observer = m_options.verbose && m_options.allErrors
                            ? static_cast<RunObserver*>(&lister)
                            : static_cast<RunObserver*>(&collector);
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

    const RunOutcome outcome = runInspection(inputs, services);
    report.outcome = outcomeName(outcome);
    report.exitCode = exitOf(outcome);
    report.message = messages.last();
    if (report.earlyEnd) {
        report.extractionFolder = report.earlyEnd->extractionFolder;
        if (report.earlyEnd->kind == EarlyEnd::Kind::alreadyExtracted) {
            report.extractionFolder = shownExtractionFolder(report.earlyEnd->extraction.place);
        }
        printCause(report, causeOfEarlyEnd(*report.earlyEnd));
    } else if (report.extraction) {
        printCause(report, causeOfRecovery(*report.extraction));
        // With a schema folder of its own, a run goes on even when the archive
        // has no top-level folder named like the ZIP file; its documents are
        // then all missing, and this says why.
        printCause(report, causeOfMissingExtractionFolder(*report.extraction));
    }
    return report;
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
    Options options;
    if (const std::string error = parseCommandLine(args, options); !error.empty()) {
        err << kPrefix << printable(error) << "\n\n" << kUsage;
        return exitUsage;
    }
    if (options.help) {
        out << kUsage;
        return exitAllValid;
    }
    if (options.version) {
        out << kProgram << ' ' << kVersion << '\n';
        return exitAllValid;
    }

    // The report file is opened before any run, so that a place it cannot be
    // written to is told before the archives are unpacked.
    const bool jsonToOut = options.jsonPath && *options.jsonPath == "-";
    std::ofstream jsonFile;
    if (options.jsonPath && !jsonToOut) {
        jsonFile.open(*options.jsonPath, std::ios::binary | std::ios::trunc);
        if (!jsonFile) {
            err << kPrefix << "--json " << *options.jsonPath << ": cannot be written\n\n" << kUsage;
            return exitUsage;
        }
    }

    CommandLine commandLine(options, jsonToOut ? err : out, err);
    std::ostream& logStream = jsonToOut ? err : out;
    const bool several = options.zipPaths.size() > 1;
    std::vector<ArchiveReport> reports;
    int status = exitAllValid;
    for (std::size_t i = 0; i < options.zipPaths.size(); ++i) {
        const std::string& zipPath = options.zipPaths[i];
        if (several) {
            logStream << (i > 0 ? "\n" : "") << "==> " << printable(zipPath) << " <==\n"
                      << std::flush;
        }
        try {
            reports.push_back(commandLine.inspect(zipPath));
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
        status = worseExit(status, reports.back().exitCode);
        if (interruptingSignal() != 0) {
            break;
        }
    }

    if (options.jsonPath) {
        const std::string text = reportJson(reports, kVersion);
        std::ostream& json = jsonToOut ? out : jsonFile;
        json << text << std::flush;
        if (!jsonToOut) {
            jsonFile.close();
        }
        if (!json || (!jsonToOut && jsonFile.fail())) {
            err << kPrefix << "the JSON report could not be written to " << *options.jsonPath
                << '\n';
            status = worseExit(status, exitInternal);
        }
    }
    return status;
}

} // namespace morvik::app
