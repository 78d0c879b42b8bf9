// One inspection run: save the inputs, check the ZIP path, extract, find the
// schema folder and validate the documents in four stages into the result log.
#pragma once

#include "inspection/runreport.h"
#include "inspection/services.h"

#include <cstdint>
#include <functional>
#include <string>

namespace morvik::platform {
class XmlParserFactory;
}

namespace morvik::inspection {

// Whether runs validate documents while the extraction goes on unless told:
// only with MORVIK_VALIDATE_WHILE_EXTRACTING set (not "" or "0") in the
// environment. On the two-core machines measured it was no faster than
// reading every document back after the extraction, and slower where the
// file system's inode allocation is the bottleneck (bench/results).
[[nodiscard]] bool defaultValidateWhileExtracting();

struct RunInputs {
    std::string zipPath;    // text of TX_XmlFnm, exactly as typed
    std::string schemaText; // text of TX_Schima, exactly as typed
    std::string appName;    // settings application name (executable name)
    std::string section;    // settings section (main window caption)
    // Folder to unpack the archive into; empty: the ZIP file's own folder.
    std::string extractInto;
    // How many errors of a failing document the observer hears of; the log
    // shows the first alone.
    std::size_t errorLimit = 1;
    // How many threads validate documents at once; 0: as many as the
    // process may run on, at most a few. The log and every text the run
    // shows come in the same order whatever the number.
    std::size_t validationThreads = 0;
    // The most bytes the archive's files may unpack to in total; 0 takes the
    // unzip layer's default (ExtractionLimits::kDefaultMaxTotalBytes).
    std::uint64_t maxExtractedSize = 0;
    // The budget of each document and of each schema compilation; 0 takes
    // the XML layer's default (platform::XmlBudget): the most memory
    // libxml2 may hold for one (bytes), the longest one document may take
    // per started 10 MiB, and the longest a schema set may take to compile
    // (seconds).
    std::uint64_t maxDocumentMemory = 0;
    std::uint32_t maxDocumentTime = 0;
    std::uint32_t maxSchemaCompileTime = 0;
    // The fifth section of the log: the checks of the whole archive after the
    // four stages (archivecheck.h). Off, the log is the four stages alone.
    bool receptionCheck = true;
    // Whether documents are validated from the bytes the extraction inflates,
    // while it goes on, rather than read back from their files after it.
    // What the run shows is the same either way.
    bool validateWhileExtracting = defaultValidateWhileExtracting();
};

struct RunServices {
    SettingsStore& settings;
    MessageBox& messages;
    ResultLog& log;
    StatusLine& status;
    ProgramStart& programs;
    // Optional: told which schema file each document is validated against,
    // and, when the document's root element could not be read to choose it
    // (the summary schema is then used), why not.
    std::function<void(const std::string& documentPath, const std::string& schemaPath,
                       const std::string& rootProblem)>
        schemaChosen;
    // Optional: told what the run is about to check and how each document
    // came out.
    RunObserver* observer = nullptr;
    // Optional: asked between the archive's entries while it is unpacked
    // (and every few megabytes of a long one) and before each document; when
    // it answers true the run stops there: an extraction is rolled back as
    // a failed one is, a validation stops with the log as far as it got.
    std::function<bool()> stopRequested;
    // Optional: the XML parser to validate with; the process's libxml2 when
    // null. Used from the validation threads.
    platform::XmlParserFactory* parser = nullptr;
    // Optional: words the reasons of the log's detail lines (and of a root
    // element that could not be read); the parser's English messages without.
    const ReasonWording* reasons = nullptr;
};

enum class RunOutcome {
    endedEarly, // a message was shown before validation began
    allValid,   // every document of every stage was OK
    someFailed, // the run reached its end with at least one failure entry, or a
                // finding of level エラー (注意 findings never change the outcome)
    stopped,    // stopRequested answered true before the last document (or during extraction)
};

RunOutcome runInspection(const RunInputs& inputs, RunServices& services);

} // namespace morvik::inspection
