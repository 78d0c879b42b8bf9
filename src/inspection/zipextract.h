// Archive extraction: unpacks the ZIP file beside itself and names the
// extraction folder, refusing when an extracted copy is already there.
#pragma once

#include "inspection/extractionfolder.h"
#include "inspection/runreport.h"
#include "inspection/services.h"
#include "platform/zip/unzip.h"

#include <functional>
#include <string>

namespace morvik::inspection {

// The unzip layer as the run calls it: a structured request in, the outcome
// as facts out.
using Extractor = std::function<platform::UnzipOutcome(const platform::UnzipRequest&)>;

// The unzip command line for an archive, for callers that speak the unzip
// library's string interface: the options, the ZIP path and the ZIP folder
// (with one more separator) as quoted pieces, and the pattern for all files.
// A double quote in a path is doubled inside its piece, so that no path can
// end its piece early and name another archive or destination.
[[nodiscard]] std::string unzipCommandLineFor(const std::string& zipPath,
                                              const std::string& zipFolder, char separator);

struct ExtractionRequest {
    std::string zipPath; // as typed, unchanged
    // Folder to unpack into instead of the ZIP file's own; empty: beside it.
    std::string extractInto;
    platform::ExtractionLimits limits;
    // Asked between entries; true stops the extraction, rolled back.
    platform::StopCheck stopRequested;
    // The unzip layer; platform::extractArchive when empty.
    Extractor extractor;
    // Handed to the unzip layer (see platform::ExtractionSink); none when null.
    platform::ExtractionSink* sink = nullptr;
    char separator = kPathSeparator;
};

// Returns 0 and sets extractionFolder (destination + base name + separator,
// see extractionPlaceOf) when the archive was unpacked; -1 otherwise, after
// telling the user why. extractionFolder is written only on success. All
// files of the archive are unpacked into the destination, replacing existing
// files only inside its top folder (the extraction folder); entries beside it
// are left in the archive, never written. An extracted copy
// is looked for in the extraction folder, and the destination is the folder
// shown to the user when there is one. An extraction stopped through
// stopRequested returns -1 without a message. facts, when given, receives the place
// and the extractor's outcome (result ok when it was not called).
[[nodiscard]] int ZipExtract(const ExtractionRequest& request, std::string& extractionFolder,
                             MessageBox& messages, ProgramStart& programs,
                             ExtractionFacts* facts = nullptr);

// The same beside the ZIP file with the platform's unzip layer and its
// default limits.
[[nodiscard]] int ZipExtract(const std::string& zipPath, std::string& extractionFolder,
                             MessageBox& messages, ProgramStart& programs);

} // namespace morvik::inspection
