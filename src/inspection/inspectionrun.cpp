// The inspection run: from the two input texts to the last log entry.
#include "inspection/inspectionrun.h"

#include "inspection/paths.h"
#include "inspection/schemachoice.h"
#include "inspection/schemafolder.h"
#include "inspection/standardnames.h"
#include "inspection/xmlschemachk.h"
#include "inspection/zipextract.h"
#include "platform/folderlisting.h"
#include "platform/utf8.h"

#include <filesystem>
#include <optional>

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

class Run {
public:
    Run(const RunInputs& inputs, RunServices& services)
        : m_inputs(inputs), m_services(services), m_log(services.log) {}

    RunOutcome perform();

private:
    // Validates one document, appends its outcome and remembers a failure.
    void validate(const std::string& documentFolder, const std::string& documentName,
                  const std::string& schemaName);
    void documentStage(const char* heading, const std::string& wantedFolder,
                       SchemaChoice::Stage stage);
    void tell(const char* text) { m_services.messages.show(text, kAppTitle, MessageIcon::none); }

    const RunInputs& m_inputs;
    RunServices& m_services;
    ResultLog& m_log;
    std::string m_extractionFolder;
    std::string m_schemaFolder;
    std::optional<SchemaChoice> m_choice;
    bool m_anyFailure = false;
};

RunOutcome Run::perform() {
    // The inputs are remembered on every press, before any check.
    m_services.settings.save(m_inputs.appName, m_inputs.section, "TX_XmlFnm", m_inputs.zipPath);
    m_services.settings.save(m_inputs.appName, m_inputs.section, "TX_Schima", m_inputs.schemaText);

    if (isBlank(m_inputs.zipPath) || !endsWithZipExtension(m_inputs.zipPath)) {
        tell(kSelectZipMessage);
        return RunOutcome::endedEarly;
    }
    if (ZipExtract(m_inputs.zipPath, m_extractionFolder, m_services.messages,
                   m_services.programs) != 0) {
        return RunOutcome::endedEarly;
    }
    m_schemaFolder = resolveSchemaFolder(m_inputs.schemaText, m_extractionFolder);
    if (m_schemaFolder.empty()) {
        tell(kNoSchemaMessage);
        return RunOutcome::endedEarly;
    }
    m_choice.emplace(m_schemaFolder);

    m_log.clear();

    m_log.append(kIndexHeading);
    validate(m_extractionFolder, kIndexDocument, kIndexSchema);

    if (FileChk(m_extractionFolder + kSummaryDocument) == 0) {
        m_log.append(kSummaryHeading);
        validate(m_extractionFolder, kSummaryDocument, kSummarySchema);
    }

    documentStage(kDataHeading, kDataFolder, SchemaChoice::Stage::data);
    documentStage(kClaimsHeading, kClaimsFolder, SchemaChoice::Stage::claims);

    return m_anyFailure ? RunOutcome::someFailed : RunOutcome::allValid;
}

void Run::documentStage(const char* heading, const std::string& wantedFolder,
                        SchemaChoice::Stage stage) {
    m_log.append(std::string(heading) + kLineBreak);
    const std::string documentFolder =
        m_extractionFolder + stageFolderName(m_extractionFolder, wantedFolder) + kPathSeparator;

    platform::FolderListing listing;
    for (std::string entry = listing.first(documentFolder + "*.xml",
                                           platform::FolderListing::Mask::filesAndFolders);
         !entry.empty(); entry = listing.next()) {
        m_log.append(entry);
        const std::string schemaName = m_choice->schemaFor(documentFolder, entry, stage);
        validate(documentFolder, entry, schemaName);
    }
}

void Run::validate(const std::string& documentFolder, const std::string& documentName,
                   const std::string& schemaName) {
    if (m_services.schemaChosen) {
        m_services.schemaChosen(documentFolder + documentName, m_schemaFolder + schemaName);
    }
    std::string message;
    std::string detail;
    const int status = XmlSchemaChk(documentFolder, documentName, m_schemaFolder, schemaName,
                                    message, detail, m_services.status);
    if (status == 0) {
        m_log.append(std::string(kOkMarker) + kLineBreak);
        return;
    }
    m_anyFailure = true;
    std::string entry;
    entry.reserve(message.size() + detail.size() + 6);
    entry.append(kLineBreak).append(message).append(kLineBreak).append(detail).append(kLineBreak);
    m_log.append(entry);
}

} // namespace

RunOutcome runInspection(const RunInputs& inputs, RunServices& services) {
    Run run(inputs, services);
    return run.perform();
}

} // namespace morvik::inspection
