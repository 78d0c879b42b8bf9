// The inspection run: from the two input texts to the last log entry.
#include "inspection/inspectionrun.h"

#include "inspection/paths.h"
#include "inspection/schemachoice.h"
#include "inspection/schemafolder.h"
#include "inspection/standardnames.h"
#include "inspection/xmlschemachk.h"
#include "inspection/zipextract.h"
#include "platform/folderlisting.h"
#include "platform/unzip.h"
#include "platform/utf8.h"

#include <filesystem>
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

// The documents' folder as the archive spells it. File names on the platform
// the archives come from ignore letter case, so "data/" is the DATA folder; an
// exact match wins, else the first in name order.
std::string stageFolderName(const std::string& extractionFolder, const std::string& wanted) {
    namespace fs = std::filesystem;
    std::error_code error;
    if (fs::is_directory(fs::path(extractionFolder + wanted), error)) {
        return wanted;
    }
    std::optional<std::string> found;
    for (fs::directory_iterator it(fs::path(extractionFolder), error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        std::error_code kindError;
        if (platform::upperAscii(name) == wanted && it->is_directory(kindError) &&
            (!found || name < *found)) {
            found = name;
        }
    }
    return found.value_or(wanted);
}

// The documents of one stage: their folder and their names in listing order.
struct StageDocuments {
    std::string folder;
    std::vector<std::string> names;
};

class Run {
public:
    Run(const RunInputs& inputs, RunServices& services)
        : m_inputs(inputs), m_services(services), m_log(services.log) {}

    RunOutcome perform();

private:
    // Extraction and schema folder; false when the run ended with a message.
    bool prepare();
    StageDocuments listStage(const std::string& wantedFolder) const;
    // Validates one document, appends its outcome and remembers a failure.
    void validate(Stage stage, const std::string& documentFolder, const std::string& documentName,
                  const std::string& schemaName);
    bool documentStage(const char* heading, Stage stage, const StageDocuments& documents);
    bool stopNow() const { return m_services.stopRequested && m_services.stopRequested(); }
    void tell(const char* text) { m_services.messages.show(text, kAppTitle, MessageIcon::none); }
    void endedEarly(EarlyEnd::Kind kind, int unzipCode = 0, std::string unzipDetail = {});

    const RunInputs& m_inputs;
    RunServices& m_services;
    ResultLog& m_log;
    std::string m_extractionFolder;
    std::string m_schemaFolder;
    std::optional<SchemaChoice> m_choice;
    bool m_anyFailure = false;
};

void Run::endedEarly(EarlyEnd::Kind kind, int unzipCode, std::string unzipDetail) {
    if (m_services.observer == nullptr) {
        return;
    }
    EarlyEnd end;
    end.kind = kind;
    end.zipPath = m_inputs.zipPath;
    end.extractionFolder = m_extractionFolder;
    end.unzipCode = unzipCode;
    end.unzipDetail = std::move(unzipDetail);
    m_services.observer->endedEarly(end);
}

bool Run::prepare() {
    if (isBlank(m_inputs.zipPath) || !endsWithZipExtension(m_inputs.zipPath)) {
        tell(kSelectZipMessage);
        endedEarly(EarlyEnd::Kind::zipPath);
        return false;
    }
    platform::ExtractionLimits limits;
    if (m_inputs.maxExtractedSize != 0) {
        limits.maxTotalBytes = m_inputs.maxExtractedSize;
    }
    int unzipCode = 0;
    if (ZipExtract(m_inputs.zipPath, m_extractionFolder, m_services.messages, m_services.programs,
                   limits, &unzipCode) != 0) {
        if (unzipCode != 0) {
            // The unzip layer ran on this thread just now: its detail is this failure's.
            endedEarly(EarlyEnd::Kind::extractionFailed, unzipCode,
                       platform::lastUnzipDetail().message);
        } else {
            endedEarly(EarlyEnd::Kind::alreadyExtracted);
        }
        return false;
    }
    m_schemaFolder = resolveSchemaFolder(m_inputs.schemaText, m_extractionFolder);
    if (m_schemaFolder.empty()) {
        tell(kNoSchemaMessage);
        endedEarly(EarlyEnd::Kind::noSchemaFolder);
        return false;
    }
    m_choice.emplace(m_schemaFolder);
    return true;
}

StageDocuments Run::listStage(const std::string& wantedFolder) const {
    StageDocuments documents;
    documents.folder =
        m_extractionFolder + stageFolderName(m_extractionFolder, wantedFolder) + kPathSeparator;
    platform::FolderListing listing;
    for (std::string entry = listing.first(documents.folder + "*.xml",
                                           platform::FolderListing::Mask::filesAndFolders);
         !entry.empty(); entry = listing.next()) {
        documents.names.push_back(std::move(entry));
    }
    return documents;
}

RunOutcome Run::perform() {
    // The inputs are remembered on every press, before any check.
    m_services.settings.save(m_inputs.appName, m_inputs.section, "TX_XmlFnm", m_inputs.zipPath);
    m_services.settings.save(m_inputs.appName, m_inputs.section, "TX_Schima", m_inputs.schemaText);
    if (!prepare()) {
        return RunOutcome::endedEarly;
    }

    const bool haveSummary = FileChk(m_extractionFolder + kSummaryDocument) == 0;
    const StageDocuments data = listStage(kDataFolder);
    const StageDocuments claims = listStage(kClaimsFolder);
    if (m_services.observer != nullptr) {
        m_services.observer->started(m_extractionFolder, m_schemaFolder,
                                     1 + (haveSummary ? 1 : 0) + data.names.size() +
                                         claims.names.size());
    }

    m_log.clear();

    if (stopNow()) {
        return RunOutcome::stopped;
    }
    m_log.append(kIndexHeading);
    validate(Stage::index, m_extractionFolder, kIndexDocument, kIndexSchema);
    if (haveSummary) {
        if (stopNow()) {
            return RunOutcome::stopped;
        }
        m_log.append(kSummaryHeading);
        validate(Stage::summary, m_extractionFolder, kSummaryDocument, kSummarySchema);
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
    for (const std::string& name : documents.names) {
        if (stopNow()) {
            return false;
        }
        m_log.append(name);
        validate(stage, documents.folder, name,
                 m_choice->schemaFor(documents.folder, name, choiceStage));
    }
    return true;
}

void Run::validate(Stage stage, const std::string& documentFolder, const std::string& documentName,
                   const std::string& schemaName) {
    if (m_services.schemaChosen) {
        m_services.schemaChosen(documentFolder + documentName, m_schemaFolder + schemaName);
    }
    DocumentReport report;
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
