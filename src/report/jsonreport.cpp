// The JSON report, written with nlohmann-json.
#include "report/jsonreport.h"

#include <nlohmann/json.hpp>

#include <filesystem>

namespace morvik::report {

namespace {

using inspection::DocumentReport;
using inspection::EarlyEnd;
using inspection::Stage;
// Fields in the order docs/json-report.md lists them.
using json = nlohmann::ordered_json;

std::string absoluteText(const std::string& path) {
    std::error_code error;
    const auto absolute = std::filesystem::absolute(std::filesystem::path(path), error);
    return error ? path : absolute.lexically_normal().string();
}

// An absolute path, or null for a path the run did not reach.
json pathOrNull(const std::string& path) {
    return path.empty() ? json(nullptr) : json(absoluteText(path));
}

json positionOrNull(std::int32_t value) {
    return value > 0 ? json(value) : json(nullptr);
}

const char* stageName(Stage stage) {
    switch (stage) {
    case Stage::index:
        return "index";
    case Stage::summary:
        return "summary";
    case Stage::data:
        return "data";
    case Stage::claims:
        return "claims";
    }
    return "index";
}

const char* kindName(EarlyEnd::Kind kind) {
    switch (kind) {
    case EarlyEnd::Kind::zipPath:
        return "zipPath";
    case EarlyEnd::Kind::alreadyExtracted:
        return "alreadyExtracted";
    case EarlyEnd::Kind::extractionFailed:
        return "extractionFailed";
    case EarlyEnd::Kind::noSchemaFolder:
        return "noSchemaFolder";
    }
    return "zipPath";
}

// The document's path below the extraction folder, with "/" between folders.
std::string relativePath(const DocumentReport& report, const std::string& extractionFolder) {
    std::string path = report.documentFolder + report.documentName;
    if (!extractionFolder.empty() && path.starts_with(extractionFolder)) {
        path.erase(0, extractionFolder.size());
    }
    return path;
}

json documentJson(const DocumentReport& report, const ArchiveReport& archive) {
    json errors = json::array();
    for (const auto& error : report.facts.errors) {
        errors.push_back({{"line", positionOrNull(error.line)},
                          {"column", positionOrNull(error.column)},
                          {"srcText", error.srcText},
                          {"reason", error.reason}});
    }
    const bool ok = report.status == 0;
    return {
        {"stage", stageName(report.stage)},
        {"path", relativePath(report, archive.extractionFolder)},
        {"schema", pathOrNull(report.schemaPath)},
        {"verdict", ok ? "ok" : "failed"},
        {"message", ok ? json(nullptr) : json(report.message)},
        {"detail", ok ? json(nullptr) : json(report.detail)},
        {"errorCode", report.facts.errorCode != 0 ? json(report.facts.errorCode) : json(nullptr)},
        {"errors", errors},
        // Whether more errors followed is known only when more than the
        // first were asked for.
        {"errorsCapped", archive.allErrors ? json(report.facts.errorsCapped) : json(nullptr)},
    };
}

json archiveJson(const ArchiveReport& report, const ReportProgram& program) {
    std::size_t ok = 0;
    json documents = json::array();
    for (const auto& checked : report.checked) {
        ok += checked.status == 0 ? 1 : 0;
        documents.push_back(documentJson(checked, report));
    }
    json earlyEnd = nullptr;
    if (report.earlyEnd) {
        const EarlyEnd& end = *report.earlyEnd;
        const bool unzip = end.kind == EarlyEnd::Kind::extractionFailed;
        earlyEnd = {
            {"kind", kindName(end.kind)},
            {"message", report.message},
            {"unzipCode", unzip ? json(end.unzipCode()) : json(nullptr)},
            {"unzipDetail", unzip && !end.extraction.unzip.message.empty()
                                ? json(end.extraction.unzip.message)
                                : json(nullptr)},
        };
    }
    return {
        {"format", kJsonFormat},
        {"program", program.name},
        {"version", program.version},
        {"archive", report.archive},
        {"extractionFolder", pathOrNull(report.extractionFolder)},
        {"schemaFolder", pathOrNull(report.schemaFolder)},
        {"outcome", report.outcome},
        {"exitCode", report.exitCode},
        {"endedEarly", earlyEnd},
        {"cause", report.cause},
        {"allErrors", report.allErrors},
        {"counts",
         {{"documents", report.documents}, {"ok", ok}, {"failed", report.checked.size() - ok}}},
        {"documents", documents},
    };
}

} // namespace

void ReportCollector::started(const std::string& extractionFolder, const std::string& schemaFolder,
                              std::size_t documents) {
    m_report.extractionFolder = extractionFolder;
    m_report.schemaFolder = schemaFolder;
    m_report.documents = documents;
}

void ReportCollector::extracted(const inspection::ExtractionFacts& facts) {
    m_report.extraction = facts;
}

void ReportCollector::documentChecked(const DocumentReport& report) {
    if (m_keepDocuments) {
        m_report.checked.push_back(report);
    }
}

void ReportCollector::endedEarly(const EarlyEnd& end) {
    m_report.earlyEnd = end;
}

std::string reportJson(const std::vector<ArchiveReport>& reports, const ReportProgram& program,
                       JsonShape shape) {
    json document;
    if (reports.size() == 1 && shape == JsonShape::byCount) {
        document = archiveJson(reports.front(), program);
    } else {
        document = json::array();
        for (const auto& report : reports) {
            document.push_back(archiveJson(report, program));
        }
    }
    // Names and texts from archives may hold bytes that are not UTF-8; they
    // are replaced rather than failing the whole report.
    return document.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

} // namespace morvik::report
