// Why a run ended before validating, told as one or more lines a person can
// act on: the file or folder concerned and what is wrong with it. The run's
// own message says what happened; these lines add what the command line can
// find out afterwards (the ZIP file on disk, the archive's top level, the
// schema folder's content).
#pragma once

#include "inspection/runreport.h"

#include <string>
#include <vector>

namespace morvik::report {

// What the run was given, beside what it reported.
struct RunContext {
    std::string zipPath;     // as given
    std::string schemaText;  // as given; empty when the archive's own XSD folder is used
    std::string extractInto; // as given; empty when the archive is unpacked beside itself
};

// The extraction folder the run uses for zipPath (destination folder + base
// name + "/"), absolute.
std::string extractionFolderOf(const RunContext& context);

// Lines in Japanese for a run that ended early; none for a kind that needs
// no more than the run's message.
std::vector<std::string> causeOfEarlyEnd(const inspection::EarlyEnd& end,
                                         const RunContext& context);

// Lines for an archive that was unpacked but has no top-level folder named
// like the ZIP file, so its documents are not in the extraction folder; none
// when that folder exists.
std::vector<std::string> causeOfMissingExtractionFolder(const RunContext& context);

// The notice for entries beside the archive's top folder, which the
// extraction left in the archive.
std::string leftInArchiveNotice(const std::string& zipPath, std::size_t entries);

} // namespace morvik::report
