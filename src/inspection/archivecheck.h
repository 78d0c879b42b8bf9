// The seam for checks of the whole archive. After the four stages the run
// hands every check the run's facts: the ZIP file's name, the schema folder,
// the names of the documents found, and for each document, as it is
// reported, the values the check asked to collect during its validation (one
// streaming pass; no document is read twice). Each check reports findings.
//
// Adding a check: one file in checks/ that implements ArchiveCheck, one line
// in checks/checklist.cpp, and its rows in the tests.
#pragma once

#include "inspection/finding.h"
#include "inspection/runreport.h"
#include "platform/xml/valuepaths.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvik::inspection {

// What the run knows of the archive before any document is read.
struct ArchiveFacts {
    std::string zipName;          // the ZIP file's name without its folder
    std::string extractionFolder; // ends in the path separator
    std::string schemaFolder;     // ends in the path separator
    struct Document {
        Stage stage;
        std::string_view name; // the file name alone; lives as long as the run
    };
    // Every document the stages validate, in the order of the log.
    std::vector<Document> documents;
    // The document's path below the extraction folder ("DATA/h….xml").
    static std::string pathOf(const Document& document);
    std::size_t count(Stage stage) const;
};

// A value asked for: its path's index in its stage's set.
struct FactId {
    Stage stage = Stage::index;
    std::uint32_t index = 0;
};

// The values the checks ask for, one set of paths per stage.
class FactRequests {
public:
    // A path of the language in platform/xml/valuepaths.h. A path that is
    // not one is a programming error (std::logic_error).
    FactId add(Stage stage, std::string_view path);
    // Null when nothing is asked of that stage's documents.
    const platform::ValuePaths* paths(Stage stage) const;

private:
    std::array<platform::ValuePaths, 4> m_paths;
};

// One document as the checks see it, when the run reports it.
struct DocumentFacts {
    Stage stage = Stage::index;
    std::string path;       // below the extraction folder
    std::string name;       // the file name alone
    std::string schemaName; // the schema file it was validated against, below the schema folder
    bool valid = false;     // it passed that schema
    const platform::CollectedValues& values;

    // Read to its end without a well-formedness error; a document that is
    // not is left out of sums and named instead.
    bool readable() const { return values.complete; }
    const std::string& rootNamespace() const { return values.rootNamespace; }
    const std::string& rootName() const { return values.rootName; }
    // The first value of the path in this document, or nothing.
    std::optional<std::string_view> first(FactId id) const;
    // Every value of the path, in document order.
    std::vector<std::string_view> all(FactId id) const;
};

// Where a check reports.
class CheckOutput {
public:
    explicit CheckOutput(ReceptionReport& report) : m_report(report) {}
    void report(Finding finding) { m_findings.push_back(std::move(finding)); }
    void schemaFile(SchemaFileReport file) { m_report.schemaFiles.push_back(std::move(file)); }
    std::vector<Finding>& findings() { return m_findings; }

private:
    ReceptionReport& m_report;
    std::vector<Finding> m_findings;
};

class ArchiveCheck {
public:
    virtual ~ArchiveCheck() = default;
    // The values this check reads, asked for before any document is read.
    virtual void request(FactRequests& requests) { (void)requests; }
    // Before the first document.
    virtual void begin(const ArchiveFacts& archive) { (void)archive; }
    // Each document, in the order of the log, with the values asked for.
    virtual void document(const DocumentFacts& document, CheckOutput& out) {
        (void)document;
        (void)out;
    }
    // After the last document.
    virtual void finish(const ArchiveFacts& archive, CheckOutput& out) = 0;
};

// Every check of the reception rules, in the order of their findings in the
// log (checks/checklist.cpp).
std::vector<std::unique_ptr<ArchiveCheck>> receptionChecks();

// The checks of one run, driven by the run.
class ReceptionCheck {
public:
    explicit ReceptionCheck(std::vector<std::unique_ptr<ArchiveCheck>> checks);
    const platform::ValuePaths* paths(Stage stage) const { return m_requests.paths(stage); }
    void begin(ArchiveFacts archive);
    void document(const DocumentFacts& document);
    // The findings of every check, check after check.
    ReceptionReport finish();

private:
    std::vector<std::unique_ptr<ArchiveCheck>> m_checks;
    FactRequests m_requests;
    ArchiveFacts m_archive;
    ReceptionReport m_report;
    std::vector<CheckOutput> m_outputs;
};

} // namespace morvik::inspection
