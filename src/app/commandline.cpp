// The command-line front end: one inspection run, the result log on standard
// output as it grows, message boxes and (on request) status texts on
// standard error. It keeps no settings.
#include "app/commandline.h"

#include "inspection/inspectionrun.h"
#include "inspection/standardnames.h"

#include <ostream>

namespace morvik::app {

namespace {

using namespace morvik::inspection;

constexpr const char* kUsage =
    "Usage: morvik-inspect [--schema DIR] [--verbose] ZIPFILE\n"
    "\n"
    "Extracts ZIPFILE beside itself and validates its index, summary, DATA and\n"
    "CLAIMS documents, printing the result log.\n"
    "\n"
    "  --schema DIR  folder of the XSD files (default: the archive's own XSD folder)\n"
    "  --verbose     also print progress and the schema chosen for each document\n"
    "  --help        print this help\n"
    "\n"
    "Exit status: 0 every document valid, 1 some document failed,\n"
    "2 the run stopped before validating, 64 usage error.\n";

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

class StreamMessages : public MessageBox {
public:
    explicit StreamMessages(std::ostream& err) : m_err(err) {}
    void show(const std::string& text, const std::string& caption, MessageIcon) override {
        m_err << caption << ": " << text << '\n' << std::flush;
    }

private:
    std::ostream& m_err;
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

// Instead of opening a file browser, name the folder the user should look at.
class FolderOnStderr : public ProgramStart {
public:
    explicit FolderOnStderr(std::ostream& err) : m_err(err) {}
    void openFolder(const std::string& folder) override { m_err << folder << '\n' << std::flush; }

private:
    std::ostream& m_err;
};

struct Options {
    std::string zipPath;
    std::string schemaText;
    bool verbose = false;
    bool help = false;
};

// Returns false on a usage error.
bool parse(const std::vector<std::string>& args, Options& options) {
    bool haveZip = false;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && (arg == "--help" || arg == "-h")) {
            options.help = true;
        } else if (!optionsEnded && arg == "--verbose") {
            options.verbose = true;
        } else if (!optionsEnded && arg == "--schema") {
            if (i + 1 >= args.size()) {
                return false;
            }
            options.schemaText = args[++i];
        } else if (!optionsEnded && arg.rfind("--schema=", 0) == 0) {
            options.schemaText = arg.substr(9);
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            return false;
        } else {
            if (haveZip) {
                return false;
            }
            options.zipPath = arg;
            haveZip = true;
        }
    }
    return haveZip || options.help;
}

} // namespace

int runCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Options options;
    if (!parse(args, options)) {
        err << kUsage;
        return 64;
    }
    if (options.help) {
        out << kUsage;
        return 0;
    }

    StreamLog log(out);
    StreamMessages messages(err);
    StreamStatus status(err, options.verbose);
    NoSettings settings;
    FolderOnStderr programs(err);
    RunServices services{settings, messages, log, status, programs, {}, nullptr, {}};
    if (options.verbose) {
        services.schemaChosen = [&err](const std::string& document, const std::string& schema) {
            err << "schema: " << document << " -> " << schema << '\n' << std::flush;
        };
    }
    const RunInputs inputs{options.zipPath, options.schemaText, "morvik-inspect", kMainCaption};
    switch (runInspection(inputs, services)) {
    case RunOutcome::allValid:
        return 0;
    case RunOutcome::someFailed:
        return 1;
    case RunOutcome::endedEarly:
    case RunOutcome::stopped:
        break;
    }
    return 2;
}

} // namespace morvik::app
