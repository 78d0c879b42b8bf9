// The inspection run: from the two input texts to the last log entry.
#include "inspection/inspectionrun.h"

#include "inspection/filenames.h"
#include "inspection/paths.h"
#include "inspection/schemachoice.h"
#include "inspection/schemafolder.h"
#include "inspection/standardnames.h"
#include "inspection/xmlschemachk.h"
#include "inspection/zipextract.h"
#include "platform/folderlisting.h"
#include "platform/utf8.h"
#include "platform/xmlparser.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace morvik::inspection {

namespace {

constexpr const char* kLineBreak = "\r\n";
constexpr const char* kOkMarker = "・・・・・OK";
constexpr const char* kSelectZipMessage =
    "XMLファイルが圧縮されているZIPファイルを選択してください。";
constexpr const char* kNoSchemaMessage =
    "XMLスキーマとして指定されたフォルダにスキーマが見つかりません。";

constexpr const char* kIndexHeading = "交換用基本情報ファイルの調査 ";
constexpr const char* kSummaryHeading = "集計情報ファイルの調査 ";
constexpr const char* kDataHeading = "特定健診・保健指導データの調査 ";
constexpr const char* kClaimsHeading = "特定健診・保健指導決済情報の調査 ";

// The last four characters, upper-cased, must read ".ZIP". Non-ASCII bytes
// can never match, so comparing bytes equals comparing characters.
bool endsWithZipExtension(const std::string& path) {
    return path.size() >= 4 && platform::upperAscii(path.substr(path.size() - 4)) == ".ZIP";
}

// One document of a stage: the folder it lies in and its name.
struct StageDocument {
    std::string folder;
    std::string name;
};
using StageDocuments = std::vector<StageDocument>;

class Run {
public:
    Run(const RunInputs& inputs, RunServices& services)
        : m_inputs(inputs), m_services(services), m_log(services.log) {}

    RunOutcome perform();

private:
    // Extraction and schema folder; false when the run ended with a message.
    bool prepare();
    StageDocuments listStage(const std::string& wantedFolder);
    std::string actualExtractionFolder(const std::string& named);
    std::string schemaFile(const char* standardName) {
        return m_names.actual(m_schemaFolder, standardName, CaseInsensitiveNames::Kind::file);
    }
    // Validates one document, appends its outcome and remembers a failure.
    void validate(Stage stage, const std::string& documentFolder, const std::string& documentName,
                  const std::string& schemaName);
    bool documentStage(const char* heading, Stage stage, const StageDocuments& documents);
    bool stopNow() const { return m_services.stopRequested && m_services.stopRequested(); }
    void tell(const char* text) { m_services.messages.show(text, kAppTitle, MessageIcon::none); }
    void endedEarly(EarlyEnd::Kind kind, int unzipCode = 0);

    const RunInputs& m_inputs;
    RunServices& m_services;
    ResultLog& m_log;
    std::string m_extractionFolder;
    std::string m_schemaFolder;
    CaseInsensitiveNames m_names;
    std::optional<SchemaChoice> m_choice;
    bool m_anyFailure = false;
};

void Run::endedEarly(EarlyEnd::Kind kind, int unzipCode) {
    if (m_services.observer == nullptr) {
        return;
    }
    EarlyEnd end;
    end.kind = kind;
    end.zipPath = m_inputs.zipPath;
    end.extractionFolder = m_extractionFolder;
    end.unzipCode = unzipCode;
    m_services.observer->endedEarly(end);
}

bool Run::prepare() {
    if (isBlank(m_inputs.zipPath) || !endsWithZipExtension(m_inputs.zipPath)) {
        tell(kSelectZipMessage);
        endedEarly(EarlyEnd::Kind::zipPath);
        return false;
    }
    int unzipCode = 0;
    if (ZipExtract(m_inputs.zipPath, m_extractionFolder, m_services.messages, m_services.programs,
                   &unzipCode, m_inputs.extractInto) != 0) {
        endedEarly(unzipCode != 0 ? EarlyEnd::Kind::extractionFailed
                                  : EarlyEnd::Kind::alreadyExtracted,
                   unzipCode);
        return false;
    }
    m_extractionFolder = actualExtractionFolder(m_extractionFolder);
    m_schemaFolder = resolveSchemaFolder(m_inputs.schemaText, m_extractionFolder);
    if (m_schemaFolder.empty()) {
        tell(kNoSchemaMessage);
        endedEarly(EarlyEnd::Kind::noSchemaFolder);
        return false;
    }
    m_choice.emplace(m_schemaFolder, m_names);
    return true;
}

std::string Run::actualExtractionFolder(const std::string& named) {
    // The top folder named like the ZIP file, in whatever letter case the
    // archive spells it.
    std::string baseName;
    std::string fileName;
    const std::string folder =
        GetDirectoryMemberSplit(named.substr(0, named.size() - 1), baseName, fileName);
    const std::vector<std::string> found = m_names.folders(folder, fileName);
    return found.empty() ? named : folder + found.front() + kPathSeparator;
}

StageDocuments Run::listStage(const std::string& wantedFolder) {
    // Folders whose names differ only in letter case are one folder where
    // the archives come from: their documents are listed together, in the
    // listing's order, each under its own path.
    StageDocuments documents;
    for (const std::string& name : m_names.folders(m_extractionFolder, wantedFolder)) {
        const std::string folder = m_extractionFolder + name + kPathSeparator;
        platform::FolderListing listing;
        for (std::string entry =
                 listing.first(folder + "*.xml", platform::FolderListing::Mask::filesAndFolders);
             !entry.empty(); entry = listing.next()) {
            documents.push_back({folder, std::move(entry)});
        }
    }
    std::stable_sort(documents.begin(), documents.end(),
                     [](const StageDocument& a, const StageDocument& b) {
                         return platform::lessByName(a.name, b.name);
                     });
    return documents;
}

RunOutcome Run::perform() {
    // The inputs are remembered on every press, before any check.
    m_services.settings.save(m_inputs.appName, m_inputs.section, "TX_XmlFnm", m_inputs.zipPath);
    m_services.settings.save(m_inputs.appName, m_inputs.section, "TX_Schima", m_inputs.schemaText);
    if (!prepare()) {
        return RunOutcome::endedEarly;
    }

    using Kind = CaseInsensitiveNames::Kind;
    const std::string indexName = m_names.actual(m_extractionFolder, kIndexDocument, Kind::file);
    const std::string summaryName =
        m_names.actual(m_extractionFolder, kSummaryDocument, Kind::file);
    const bool haveSummary = FileChk(m_extractionFolder + summaryName) == 0;
    const StageDocuments data = listStage(kDataFolder);
    const StageDocuments claims = listStage(kClaimsFolder);
    if (m_services.observer != nullptr) {
        m_services.observer->started(m_extractionFolder, m_schemaFolder,
                                     1 + (haveSummary ? 1 : 0) + data.size() + claims.size());
    }

    // The schema files are looked at once for the whole run.
    const platform::SchemaReuseScope reuse;
    m_log.clear();

    if (stopNow()) {
        return RunOutcome::stopped;
    }
    m_log.append(kIndexHeading);
    validate(Stage::index, m_extractionFolder, indexName, schemaFile(kIndexSchema));
    if (haveSummary) {
        if (stopNow()) {
            return RunOutcome::stopped;
        }
        m_log.append(kSummaryHeading);
        validate(Stage::summary, m_extractionFolder, summaryName, schemaFile(kSummarySchema));
    }
    if (!documentStage(kDataHeading, Stage::data, data) ||
        !documentStage(kClaimsHeading, Stage::claims, claims)) {
        return RunOutcome::stopped;
    }
    return m_anyFailure ? RunOutcome::someFailed : RunOutcome::allValid;
}

bool Run::documentStage(const char* heading, Stage stage, const StageDocuments& documents) {
    m_log.append(std::string(heading) + kLineBreak);
    const SchemaChoice::Stage choiceStage =
        stage == Stage::data ? SchemaChoice::Stage::data : SchemaChoice::Stage::claims;
    for (const StageDocument& document : documents) {
        if (stopNow()) {
            return false;
        }
        m_log.append(printable(document.name));
        validate(stage, document.folder, document.name,
                 m_choice->schemaFor(document.folder, document.name, choiceStage));
    }
    return true;
}

void Run::validate(Stage stage, const std::string& documentFolder, const std::string& documentName,
                   const std::string& schemaName) {
    if (m_services.schemaChosen) {
        m_services.schemaChosen(documentFolder + documentName, m_schemaFolder + schemaName);
    }
    DocumentReport report;
    report.facts.errorLimit = m_inputs.errorLimit;
    const int status =
        XmlSchemaChk(documentFolder, documentName, m_schemaFolder, schemaName, report.message,
                     report.detail, m_services.status, &report.facts);
    if (status == 0) {
        m_log.append(std::string(kOkMarker) + kLineBreak);
    } else {
        m_anyFailure = true;
        std::string entry;
        entry.reserve(report.message.size() + report.detail.size() + 6);
        entry.append(kLineBreak)
            .append(report.message)
            .append(kLineBreak)
            .append(report.detail)
            .append(kLineBreak);
        m_log.append(entry);
    }
    if (m_services.observer != nullptr) {
        report.stage = stage;
        report.documentFolder = documentFolder;
        report.documentName = documentName;
        report.schemaPath = m_schemaFolder + schemaName;
        report.status = status;
        m_services.observer->documentChecked(report);
    }
}

} // namespace

RunOutcome runInspection(const RunInputs& inputs, RunServices& services) {
    Run run(inputs, services);
    return run.perform();
}

} // namespace morvik::inspection
