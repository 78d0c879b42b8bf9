// The command-line front end: inspection runs from arguments, with the
// result log on out and messages on err.
#pragma once

#include "report/reasons.h"

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace morvik::app {

// Exit statuses, from best to worst; with several archives the worst counts.
enum ExitStatus : int {
    exitAllValid = 0,   // every document of every archive valid
    exitSomeFailed = 1, // at least one failure entry
    exitEndedEarly = 2, // a run stopped before validating (message and cause printed)
    exitUsage = 64,     // the arguments cannot be used; nothing was run
    exitInternal = 70,  // an internal error, or the JSON report could not be written
};

// What the arguments ask for.
struct Options {
    std::vector<std::string> zipPaths;
    std::string schemaText;
    std::string extractInto;
    std::optional<std::string> jsonPath;
    bool verbose = false;
    bool allErrors = false;
    report::ReasonLanguage reasons = report::ReasonLanguage::japanese;
    std::uint64_t maxExtractedSize = 0;
    bool help = false;
    bool version = false;
};

// Reads the arguments into options; returns what is wrong with them (for the
// usage error), or the empty text. Touches nothing but the --into folder's
// existence test.
[[nodiscard]] std::string parseCommandLine(const std::vector<std::string>& args, Options& options);

// The worse of two exit statuses: 70 > 64 > 2 > 1 > 0.
int worseExit(int a, int b);

// The signal (SIGINT or SIGTERM) that asked the program to stop, or 0. Set
// from a signal handler; every run asks it between entries and documents,
// rolls back an extraction under way as a failure would, and the program
// then ends with 128 + the signal.
int interruptingSignal();
// Installs the handlers that set it.
void stopOnInterruptingSignals();

// Returns the process exit status.
int runCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace morvik::app
