// The command-line front end: inspection runs from arguments, with the
// result log on out and messages on err.
#pragma once

#include "report/reasons.h"

#include <cstddef>
#include <cstdint>
#include <functional>
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
    exitInternal = 70,  // an internal error, or a report could not be written
};

// What the arguments ask for.
struct Options {
    // ZIP files and folders of them, in the order given.
    std::vector<std::string> zipPaths;
    std::string schemaText;
    std::string extractInto;
    std::optional<std::string> jsonPath;
    std::optional<std::string> csvPath;
    bool csvErrorsOnly = false; // no rows for valid documents
    bool recursive = false;     // folders' sub-folders too
    bool verbose = false;
    bool allErrors = false;
    bool receptionCheck = true; // --no-reception-check turns it off
    report::ReasonLanguage reasons = report::ReasonLanguage::japanese;
    std::uint64_t maxExtractedSize = 0;
    std::uint64_t maxDocumentMemory = 0;
    std::uint32_t maxDocumentTime = 0;
    std::uint32_t maxSchemaCompileTime = 0;
    bool help = false;
    bool version = false;
};

// Reads the arguments into options; returns what is wrong with them (the
// usage error's line, in Japanese), or the empty text. Touches nothing but
// the --into folder's existence test.
[[nodiscard]] std::string parseCommandLine(const std::vector<std::string>& args, Options& options);

// The ZIP files to inspect, in order: each argument that is a folder gives
// the *.zip files directly in it (any letter case, sorted by name; with
// recursive, those of its sub-folders too, links to folders not followed);
// any other argument (a folder named *.zip too) stands as it is. Folders are read once, before any
// run, so that what the runs extract is not picked up. On failure, the usage error's line.
struct ArchiveList {
    std::vector<std::string> zipPaths;
    std::vector<std::string> emptyFolders; // folders given that hold no ZIP file
    bool folderGiven = false;
    std::string error;
};
ArchiveList listArchives(const std::vector<std::string>& arguments, bool recursive);

// The worse of two exit statuses: 70 > 64 > 2 > 1 > 0.
int worseExit(int a, int b);

// The signal (SIGINT or SIGTERM) that asked the program to stop, or 0. Set
// from a signal handler; every run asks it between entries and documents,
// rolls back an extraction under way as a failure would, and the program
// then ends with 128 + the signal.
int interruptingSignal();
// Installs the handlers that set it.
void stopOnInterruptingSignals();
// What a front end that runs the command line inside itself (the web page)
// asks beyond the arguments.
struct Embedding {
    // How many threads validate; 0: the default (MORVIK_WORKERS, the cores).
    // The page has one and no other: 1 validates on the calling thread.
    std::size_t validationThreads = 0;
    // Told how many documents of how many have been validated: after the
    // run's start (0 of N) and after each document.
    std::function<void(std::size_t checked, std::size_t documents)> progress;
};

// Returns the process exit status.
int runCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int runCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   const Embedding& embedding);

} // namespace morvik::app
