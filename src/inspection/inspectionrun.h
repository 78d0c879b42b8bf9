// One inspection run: save the inputs, check the ZIP path, extract, find the
// schema folder and validate the documents in four stages into the result log.
#pragma once

#include "inspection/runreport.h"
#include "inspection/services.h"

#include <cstdint>
#include <functional>
#include <string>

namespace morvik::inspection {

struct RunInputs {
    std::string zipPath;    // text of TX_XmlFnm, exactly as typed
    std::string schemaText; // text of TX_Schima, exactly as typed
    std::string appName;    // settings application name (executable name)
    std::string section;    // settings section (main window caption)
    // The most bytes the archive's files may unpack to in total; 0 takes the
    // unzip layer's default (ExtractionLimits::kDefaultMaxTotalBytes).
    std::uint64_t maxExtractedSize = 0;
};

struct RunServices {
    SettingsStore& settings;
    MessageBox& messages;
    ResultLog& log;
    StatusLine& status;
    ProgramStart& programs;
    // Optional: told which schema file each document is validated against.
    std::function<void(const std::string& documentPath, const std::string& schemaPath)>
        schemaChosen;
    // Optional: told what the run is about to check and how each document
    // came out.
    RunObserver* observer = nullptr;
    // Optional: asked before each document; when it answers true the run
    // stops there, with the log as far as it got.
    std::function<bool()> stopRequested;
};

enum class RunOutcome {
    endedEarly, // a message was shown before validation began
    allValid,   // every document of every stage was OK
    someFailed, // the run reached its end with at least one failure entry
    stopped,    // stopRequested answered true before the last document
};

RunOutcome runInspection(const RunInputs& inputs, RunServices& services);

} // namespace morvik::inspection
