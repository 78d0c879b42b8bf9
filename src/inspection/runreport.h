// What a run tells besides its result log: the documents it is about to
// check, each document's outcome with the parser's facts, and why it ended
// early. Front ends that show progress or write a report listen to it; the
// result log itself stays as the run writes it.
#pragma once

#include "inspection/extractionfolder.h"
#include "inspection/finding.h"
#include "platform/xml/valuepaths.h"
#include "platform/xml/xmlerror.h"
#include "platform/zip/unzip.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace morvik::inspection {

// The four stages, in the order the run takes them.
enum class Stage { index = 1, summary = 2, data = 3, claims = 4 };

// One error the parser reported for a document.
struct ValidationError {
    std::int32_t code = 0;   // the parser's code (or a negative code of our own)
    std::int32_t domain = 0; // the parser's error domain; 0 for our own codes
    std::int32_t line = 0;   // 1-based; 0 when unknown
    std::int32_t column = 0; // 1-based, in characters; 0 when unknown
    std::string srcText;     // the text of that line, possibly cut around the column
    std::string reason;      // as the detail line shows it
    // What reason was worded from; none when the parser gave its message
    // alone. A report that must not quote the document words it again.
    std::optional<platform::XmlErrorFacts> facts;
};

// The parser's own account of a failed document. errors holds the first
// error first; more than one only when every error was asked for.
struct ValidationFacts {
    // Asked for: how many errors of a failing document to keep (the log
    // shows the first alone). A document that is not well-formed has one.
    std::size_t errorLimit = 1;
    // The values the archive checks read from this document, collected in
    // the validation's one pass; null when none are asked for.
    const platform::ValuePaths* valuePaths = nullptr;
    // The namespace the documents of this folder are written in, for the
    // reason when no schema declares the document's root; empty when the
    // folder does not say.
    std::string neededNamespace;
    // Found:
    platform::CollectedValues values; // handed to the archive checks, then dropped
    std::int32_t errorCode = 0; // the parser's code; 0 when the document is valid
    std::vector<ValidationError> errors;
    bool errorsCapped = false; // more errors may have followed those kept
    // An "element not expected" error among those kept: the rest of that
    // element's parent was not checked, so the list may be incomplete.
    bool contentLeftUnchecked = false;
};

struct DocumentReport {
    Stage stage = Stage::index;
    std::string documentFolder; // as the run passed it to the validation
    std::string documentName;
    std::string schemaPath; // schema folder and schema name
    // Why the root element could not be read when the schema was chosen
    // (the summary schema was then used); empty when it was read.
    std::string rootProblem;
    int status = 0; // 0 valid, anything else a failure entry
    std::string message;
    std::string detail; // the detail line as the log shows it (empty when none)
    ValidationFacts facts;
};

// What the extraction step found, as facts for the words of a cause: where
// the archive went, what the extractor reported, and whether the folder
// named like the ZIP file is there. Nothing needs to look at the disk or the
// archive again to word it.
struct ExtractionFacts {
    std::string zipPath; // as given
    ExtractionPlace place;
    // The extractor's outcome (result, cause, entry, sizes, what the archive
    // file is, the archive's top-level names); its result is ok after a
    // success and also when the run was refused before extracting.
    platform::UnzipOutcome unzip;
    // After a success: a top-level folder named like the ZIP file (in any
    // letter case) holds the documents.
    bool folderFound = false;
    // The user named the destination; it is not the ZIP file's own folder.
    bool destinationNamed = false;
};

// Why a run ended before its validation stages.
struct EarlyEnd {
    enum class Kind {
        zipPath,          // the ZIP path is blank or does not end in .zip
        alreadyExtracted, // the extraction folder holds files already
        extractionFailed, // the unzip layer refused or failed
        noSchemaFolder,   // no folder qualifies as the schema folder
    };
    Kind kind = Kind::zipPath;
    std::string zipPath;
    std::string extractionFolder; // where the documents are (or would be) looked for
    // For every kind but zipPath.
    ExtractionFacts extraction;
    // For noSchemaFolder: the schema folder typed in (empty: the archive's
    // own was looked for), and whether it is a folder.
    std::string schemaText;
    bool schemaFolderExists = false;

    // The unzip code for extractionFailed, as the run's message shows it.
    [[nodiscard]] int unzipCode() const { return static_cast<int>(extraction.unzip.result); }
};

// Every call comes from the thread that runs the inspection, in the order of
// the result log. The defaults do nothing.
class RunObserver {
public:
    virtual ~RunObserver() = default;
    // Extraction and schema folder are done; documents is how many the four
    // stages are about to validate (the index file always counts).
    virtual void started(const std::string& extractionFolder, const std::string& schemaFolder,
                         std::size_t documents) {
        (void)extractionFolder;
        (void)schemaFolder;
        (void)documents;
    }
    // After a successful extraction, before the schema folder is looked for.
    virtual void extracted(const ExtractionFacts& facts) { (void)facts; }
    virtual void documentChecked(const DocumentReport& report) { (void)report; }
    // After extraction: the archive's entries that lie beside its top folder
    // and so were left in the archive, as the archive names them.
    virtual void leftInArchive(const std::vector<std::string>& entries) { (void)entries; }
    // After the message the user has seen.
    virtual void endedEarly(const EarlyEnd& end) { (void)end; }
    // After the fifth section of the log (the checks of the whole archive):
    // every finding, as the log lists them, and the schema set's verdicts.
    // Not called when the check is off or the run stopped before it.
    virtual void receptionChecked(const ReceptionReport& report) { (void)report; }
};

} // namespace morvik::inspection
