// Why a run ended before validating, told as one or more lines a person can
// act on: the file or folder concerned and what is wrong with it. The run's
// own message says what happened; these lines word the facts the run
// reported with it, without looking at the disk or the archive again.
#pragma once

#include "inspection/runreport.h"

#include <string>
#include <vector>

namespace morvik::report {

// How the front end spells what the user can change (command-line options,
// or the desktop's settings); the lines name them.
struct CauseOptions {
    std::string schemaOption = "--schema";
    std::string sizeOption = "--max-extracted-size";
    // Names another destination for the files; empty where the front end
    // has none.
    std::string intoOption = "--into";
    // The detail line of a failed extraction in the extractor's own English
    // (for English reasons) instead of Japanese.
    bool englishDetail = false;
};

// The extraction folder as it is shown: absolute, with its closing separator.
std::string shownExtractionFolder(const inspection::ExtractionPlace& place);

// Lines in Japanese for a run that ended early; none for a kind that needs
// no more than the run's message.
std::vector<std::string> causeOfEarlyEnd(const inspection::EarlyEnd& end,
                                         const CauseOptions& options = {});

// Lines for an archive that was unpacked but has no top-level folder named
// like the ZIP file, so its documents are not in the extraction folder; none
// when that folder is there.
std::vector<std::string> causeOfMissingExtractionFolder(const inspection::ExtractionFacts& facts);

// A run that found and finished the rollback of an earlier, killed
// extraction, and one that removed the temporaries of an extraction
// interrupted before journals were kept: one line each, or none.
std::vector<std::string> causeOfRecovery(const inspection::ExtractionFacts& facts);

// The notice for entries beside the archive's top folder, which the
// extraction left in the archive.
std::string leftInArchiveNotice(const std::string& zipPath, std::size_t entries);

} // namespace morvik::report
