// The inspection run: from the two input texts to the last log entry.
#include "inspection/inspectionrun.h"

#include "platform/xml/xmlbudget.h"

#include "inspection/archivecheck.h"
#include "inspection/extractionfolder.h"
#include "inspection/filenames.h"
#include "inspection/inflatedvalidation.h"
#include "inspection/paths.h"
#include "inspection/schemachoice.h"
#include "inspection/schemafolder.h"
#include "inspection/standardnames.h"
#include "inspection/validationpool.h"
#include "inspection/xmlschemachk.h"
#include "inspection/zipextract.h"
#include "platform/fs/folderlisting.h"
#include "platform/process/allocator.h"
#include "platform/text/utf8.h"
#include "platform/xml/xmlparser.h"
#include "platform/zip/archivelisting.h"
#include "platform/zip/unzip.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <string>
#include <string_view>
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
// The fifth section: the checks of the whole archive.
constexpr const char* kReceptionHeading = "ファイル間の整合性の調査 ";

// The last four characters, upper-cased, must read ".ZIP". Non-ASCII bytes
// can never match, so comparing bytes equals comparing characters.
bool endsWithZipExtension(const std::string& path) {
    return path.size() >= 4 && platform::upperAscii(path.substr(path.size() - 4)) == ".ZIP";
}

// One document of a stage: the folder it lies in (see Run::folderIndex) and
// where its name is in Run::m_documentNames.
struct StageDocument {
    std::uint32_t folder = 0;
    std::uint32_t nameLength = 0;
    std::size_t nameAt = 0;
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
    // The schema folder of the archive's top folders (the extraction folder
    // first) or the one the user named; empty when there is none.
    std::string schemaFolderIn(const std::vector<std::string>& topFolders);
    // Validation of the documents the extraction inflates (see
    // InflatedValidation); none when the run reads every file back.
    std::unique_ptr<InflatedValidation> inflatedValidation(const ExtractionPlace& place);
    bool setUpInflated(const ExtractionPlace& place, std::uint64_t files);
    void validateInflated(const ExtractionPlace& place, InflatedValidation::Document&& document);
    // The place a file below the destination ('/'-separated) has among the
    // documents: its stage, folder and name; false for no DATA or CLAIMS
    // document.
    bool documentAt(const ExtractionPlace& place, std::string_view path, Stage& stage,
                    std::string& folder, std::string& name) const;
    StageDocuments listStage(const std::string& wantedFolder);
    std::string actualExtractionFolder(const std::string& named);
    std::string schemaFile(const char* standardName) {
        return m_names.actual(m_schemaFolder, standardName, CaseInsensitiveNames::Kind::file);
    }
    // One document to validate: where it is, and its schema when the stage
    // fixes it (empty: chosen for the document). The folder is shared by
    // its documents: a run of 100,000 documents holds a few folder paths;
    // the names lie in m_documentNames, one string for the whole run.
    struct Job {
        Stage stage = Stage::index;
        std::uint32_t folder = 0; // in m_documentFolders
        std::string_view name;
        std::string_view schemaName;
    };
    // The place of folder in m_documentFolders, added when it is new. The
    // folders are all known before the first job is validated and do not
    // change after.
    std::uint32_t folderIndex(const std::string& folder);
    const std::string& folderOf(const Job& job) const { return m_documentFolders[job.folder]; }
    // A document validated on some thread: its schema, the progress texts
    // the status line is to show for it, and its outcome.
    struct Outcome {
        std::string schemaName;
        std::vector<std::string> statusTexts;
        DocumentReport report;
    };
    using Pool = ValidationPool<Job, Outcome>;
    // An outcome kept until the run takes it, in less memory: what the job
    // gives again (folder, name, schema path) is dropped, the progress texts
    // and the values read are packed into one string each.
    struct Kept {
        std::unique_ptr<Outcome> outcome;
        std::string statusTexts; // each ended by '\n'
        std::string values;      // each: path index, length, bytes
        std::string rootNamespace;
        std::string rootName;
        bool valuesComplete = false;
    };
    static Kept keep(Outcome outcome);
    static Outcome taken(Kept kept, const std::string& folder, const std::string& name,
                         const std::string& schemaFolder);
    static std::size_t keptBytes(const std::string& key, const Kept& kept);

    std::vector<Job> plan(const std::string& indexPath, const std::string& summaryPath,
                          bool haveSummary);
    // The first of the top folders that holds the file wanted (in any letter
    // case), as a path; else where it would be in the extraction folder.
    std::string topLevelFile(const char* wanted);
    void tellEntriesLeftInArchive();
    Outcome check(const Job& job);
    // The outcome of one document; bytes, when given, are the document
    // (taken), and its file is not read.
    Outcome checkDocument(Stage stage, const std::string& folder, const std::string& name,
                          std::string_view fixedSchema, SchemaChoice& choice,
                          std::string* bytes);
    // Adds name to m_documentNames; returns where it starts.
    std::size_t keepName(std::string_view name) {
        const std::size_t at = m_documentNames.size();
        m_documentNames.append(name);
        return at;
    }
    std::string_view keptName(std::size_t at, std::size_t length) const {
        return std::string_view(m_documentNames).substr(at, length);
    }
    // Appends the next document's outcome, as it would have been written had
    // it been validated just now, and remembers a failure.
    void report(Pool& pool, std::size_t& next);
    bool documentStage(const char* heading, Stage stage, Pool& pool, std::size_t& next);
    void beginReception(const Pool& pool);
    void receptionSection();
    bool stopNow() const { return m_services.stopRequested && m_services.stopRequested(); }
    void tell(const char* text) { m_services.messages.show(text, kAppTitle, MessageIcon::none); }
    void endedEarly(EarlyEnd::Kind kind);

    const RunInputs& m_inputs;
    RunServices& m_services;
    ResultLog& m_log;
    std::string m_extractionFolder;
    // The top folders named like the ZIP file in any letter case, the
    // extraction folder first.
    std::vector<std::string> m_topFolders;
    std::string m_schemaFolder;
    std::vector<std::string> m_documentFolders;
    // The names of every job's document and fixed schema, one after another;
    // complete before the first job is made and unchanged after, so that the
    // jobs and the checks of the whole archive may view into it.
    std::string m_documentNames;
    CaseInsensitiveNames m_names;
    std::optional<SchemaChoice> m_choice;
    ExtractionFacts m_extraction;
    // A schema folder the user named may use schema files anywhere on the
    // local disk; the archive's own stays held to itself.
    std::optional<platform::UserSchemaFolder> m_userSchemas;
    std::optional<ReceptionCheck> m_reception;
    bool m_anyFailure = false;
    // The schema files are looked at once for the whole run.
    const platform::SchemaReuseScope m_reuse;

    // The documents validated while the extraction went on, by path, until
    // the run takes them; what the extraction's own look at the schemas
    // chose them by. Used only when the run finds the same schema folder.
    struct Inflated {
        std::string schemaFolder;
        CaseInsensitiveNames names;
        std::optional<SchemaChoice> choice;
        std::mutex mutex;
        std::unordered_map<std::string, Kept> outcomes;
        std::atomic<std::size_t> bytes{0};
        std::size_t maxBytes = 0;
    } m_inflated;
};

// Outcomes kept from the extraction at most: beyond, documents are read back
// from their files as before. Nothing can be shown before the extraction has
// succeeded, so that what is kept grows with the archive, beside the run's
// own lists, which grow by some 320 bytes a document. What is kept may take
// what those leave of 11 MiB, and 4 MiB at least (some 3,500 documents of
// the real shape with the reception check's values): some 8 MiB at 10,000
// documents, and a run of 100,000 stays within its memory.
std::size_t inflatedOutcomeBytes(std::uint64_t files) {
    constexpr std::uint64_t kShared = std::uint64_t{11} << 20;
    constexpr std::uint64_t kLeast = std::uint64_t{4} << 20;
    constexpr std::uint64_t kListsPerFile = 320;
    const std::uint64_t lists = files * kListsPerFile;
    return static_cast<std::size_t>(lists < kShared - kLeast ? kShared - lists : kLeast);
}

void appendNumber(std::string& into, std::uint32_t number) {
    into.append(reinterpret_cast<const char*>(&number), sizeof number);
}

std::uint32_t readNumber(std::string_view from, std::size_t& at) {
    std::uint32_t number = 0;
    std::memcpy(&number, from.data() + at, sizeof number);
    at += sizeof number;
    return number;
}

void Run::endedEarly(EarlyEnd::Kind kind) {
    if (m_services.observer == nullptr) {
        return;
    }
    EarlyEnd end;
    end.kind = kind;
    end.zipPath = m_inputs.zipPath;
    end.extractionFolder = m_extractionFolder;
    if (kind != EarlyEnd::Kind::zipPath) {
        end.extraction = m_extraction;
        if (end.extractionFolder.empty()) {
            // Where the documents would have been.
            end.extractionFolder = m_extraction.place.folder();
        }
    }
    if (kind == EarlyEnd::Kind::noSchemaFolder) {
        end.schemaText = m_inputs.schemaText;
        end.schemaFolderExists =
            !m_inputs.schemaText.empty() && platform::isFolder(m_inputs.schemaText);
    }
    m_services.observer->endedEarly(end);
}

bool Run::prepare() {
    if (isBlank(m_inputs.zipPath) || !endsWithZipExtension(m_inputs.zipPath)) {
        tell(kSelectZipMessage);
        endedEarly(EarlyEnd::Kind::zipPath);
        return false;
    }
    // A schema folder the user names is looked at before anything is
    // unpacked: a mistyped one would otherwise leave an extracted copy behind
    // that refuses the corrected retry.
    if (!m_inputs.schemaText.empty() && resolveSchemaFolder(m_inputs.schemaText, {}).empty()) {
        tell(kNoSchemaMessage);
        endedEarly(EarlyEnd::Kind::noSchemaFolder);
        return false;
    }
    ExtractionRequest request;
    request.zipPath = m_inputs.zipPath;
    request.extractInto = m_inputs.extractInto;
    if (m_inputs.maxExtractedSize != 0) {
        request.limits.maxTotalBytes = m_inputs.maxExtractedSize;
    }
    request.stopRequested = m_services.stopRequested;
    const std::unique_ptr<InflatedValidation> inflated =
        inflatedValidation(extractionPlaceOf(m_inputs.zipPath, m_inputs.extractInto));
    request.sink = inflated.get();
    const int extracted = ZipExtract(request, m_extractionFolder, m_services.messages,
                                     m_services.programs, &m_extraction);
    if (inflated) {
        // A failed extraction shows nothing of what was validated meanwhile.
        inflated->finish(extracted == 0);
        if (extracted != 0) {
            m_inflated.outcomes.clear();
        }
    }
    if (extracted != 0) {
        if (m_extraction.unzip.cause == platform::UnzipCause::stopped) {
            return false;
        }
        endedEarly(m_extraction.unzip.result != platform::UnzipResult::ok
                       ? EarlyEnd::Kind::extractionFailed
                       : EarlyEnd::Kind::alreadyExtracted);
        return false;
    }
    tellEntriesLeftInArchive();
    // Reading the archive's directory again for that freed as much as the
    // extraction's bookkeeping: none of it is to stay under the validation.
    platform::releaseFreeMemory();
    m_extractionFolder = actualExtractionFolder(m_extractionFolder);
    m_extraction.folderFound = platform::isFolder(m_extractionFolder);
    if (m_services.observer != nullptr) {
        m_services.observer->extracted(m_extraction);
    }
    m_schemaFolder = schemaFolderIn(m_topFolders);
    if (m_schemaFolder != m_inflated.schemaFolder) {
        // The documents were chosen their schemas in another folder.
        m_inflated.outcomes.clear();
    }
    if (m_schemaFolder.empty()) {
        tell(kNoSchemaMessage);
        endedEarly(EarlyEnd::Kind::noSchemaFolder);
        return false;
    }
    if (!m_inputs.schemaText.empty()) {
        m_userSchemas.emplace(m_schemaFolder);
    }
    m_choice.emplace(m_schemaFolder, m_names);
    return true;
}

std::string Run::schemaFolderIn(const std::vector<std::string>& topFolders) {
    std::string folder =
        resolveSchemaFolder(m_inputs.schemaText, topFolders.empty() ? "" : topFolders.front());
    // The archive's own XSD folder may lie in a top folder spelt otherwise.
    for (std::size_t i = 1; folder.empty() && m_inputs.schemaText.empty() && i < topFolders.size();
         ++i) {
        folder = resolveSchemaFolder({}, topFolders[i]);
    }
    return folder;
}

std::unique_ptr<InflatedValidation> Run::inflatedValidation(const ExtractionPlace& place) {
    // Only libxml2 takes a document as its bytes; a parser put in front of
    // it reads the files.
    if (!m_inputs.validateWhileExtracting ||
        (m_services.parser != nullptr &&
         m_services.parser != &platform::defaultXmlParserFactory())) {
        return nullptr;
    }
    // As many threads as validate after the extraction (the extraction waits
    // for them); one: on the extracting thread itself.
    const std::size_t all =
        m_inputs.validationThreads != 0 ? m_inputs.validationThreads : defaultValidationThreads();
    const std::size_t threads = all > 1 ? all : 0;
    return std::make_unique<InflatedValidation>(
        [this, place](std::uint64_t files) { return setUpInflated(place, files); },
        [this, place](std::string_view path) {
            Stage stage = Stage::data;
            std::string folder;
            std::string name;
            return m_inflated.bytes.load() < m_inflated.maxBytes &&
                   documentAt(place, path, stage, folder, name);
        },
        [this, place](InflatedValidation::Document&& document) {
            validateInflated(place, std::move(document));
        },
        threads);
}

bool Run::setUpInflated(const ExtractionPlace& place, std::uint64_t files) {
    m_inflated.maxBytes = inflatedOutcomeBytes(files);
    // The schemas are in place; the top folders and the schema folder are
    // found as the run will find them once every file is in place, in a
    // listing of their own (more files are yet to come).
    std::vector<std::string> topFolders;
    for (const std::string& found : m_inflated.names.folders(place.destination, place.baseName)) {
        topFolders.push_back(place.destination + found + kPathSeparator);
    }
    if (topFolders.empty()) {
        return false;
    }
    m_inflated.schemaFolder = schemaFolderIn(topFolders);
    if (m_inflated.schemaFolder.empty()) {
        return false;
    }
    if (!m_inputs.schemaText.empty()) {
        m_userSchemas.emplace(m_inflated.schemaFolder);
    }
    m_inflated.choice.emplace(m_inflated.schemaFolder, m_inflated.names);
    return true;
}

bool Run::documentAt(const ExtractionPlace& place, std::string_view path, Stage& stage,
                     std::string& folder, std::string& name) const {
    // top/DATA/name.xml or top/CLAIMS/name.xml, in any letter case, top
    // named like the ZIP file.
    const std::size_t first = path.find('/');
    const std::size_t second =
        first == std::string_view::npos ? first : path.find('/', first + 1);
    if (second == std::string_view::npos || path.find('/', second + 1) != std::string_view::npos ||
        !platform::isTopFolderName(path.substr(0, first), place.baseName)) {
        return false;
    }
    const std::string stageFolder = platform::upperAscii(path.substr(first + 1, second - first - 1));
    if (stageFolder == kDataFolder) {
        stage = Stage::data;
    } else if (stageFolder == kClaimsFolder) {
        stage = Stage::claims;
    } else {
        return false;
    }
    name = std::string(path.substr(second + 1));
    if (!platform::wildcardMatch("*.xml", name)) {
        return false;
    }
    folder = place.destination + std::string(path.substr(0, second + 1));
    std::replace(folder.begin(), folder.end(), '/', kPathSeparator);
    return true;
}

void Run::validateInflated(const ExtractionPlace& place, InflatedValidation::Document&& document) {
    Stage stage = Stage::data;
    std::string folder;
    std::string name;
    if (!documentAt(place, document.path, stage, folder, name)) {
        return;
    }
    Kept kept = keep(checkDocument(stage, folder, name, {}, *m_inflated.choice, &document.bytes));
    std::string key = folder + name;
    const std::size_t bytes = keptBytes(key, kept);
    const std::lock_guard lock(m_inflated.mutex);
    m_inflated.bytes += bytes;
    m_inflated.outcomes.insert_or_assign(std::move(key), std::move(kept));
}

Run::Kept Run::keep(Outcome outcome) {
    Kept kept;
    for (const std::string& text : outcome.statusTexts) {
        kept.statusTexts.append(text).push_back('\n');
    }
    outcome.statusTexts = std::vector<std::string>();
    platform::CollectedValues& values = outcome.report.facts.values;
    for (const auto& [path, value] : values.values) {
        appendNumber(kept.values, path);
        appendNumber(kept.values, static_cast<std::uint32_t>(value.size()));
        kept.values.append(value);
    }
    kept.values.shrink_to_fit();
    kept.rootNamespace = std::move(values.rootNamespace);
    kept.rootName = std::move(values.rootName);
    kept.valuesComplete = values.complete;
    values = platform::CollectedValues();
    DocumentReport& report = outcome.report;
    report.documentFolder = std::string();
    report.documentName = std::string();
    report.schemaPath = std::string();
    kept.outcome = std::make_unique<Outcome>(std::move(outcome));
    return kept;
}

Run::Outcome Run::taken(Kept kept, const std::string& folder, const std::string& name,
                        const std::string& schemaFolder) {
    Outcome outcome = std::move(*kept.outcome);
    std::string_view texts = kept.statusTexts;
    for (std::size_t end = texts.find('\n'); end != std::string_view::npos;
         end = texts.find('\n')) {
        outcome.statusTexts.emplace_back(texts.substr(0, end));
        texts.remove_prefix(end + 1);
    }
    platform::CollectedValues& values = outcome.report.facts.values;
    for (std::size_t at = 0; at < kept.values.size();) {
        const std::uint32_t path = readNumber(kept.values, at);
        const std::uint32_t length = readNumber(kept.values, at);
        values.values.emplace_back(path, kept.values.substr(at, length));
        at += length;
    }
    values.rootNamespace = std::move(kept.rootNamespace);
    values.rootName = std::move(kept.rootName);
    values.complete = kept.valuesComplete;
    DocumentReport& report = outcome.report;
    report.documentFolder = folder;
    report.documentName = name;
    report.schemaPath = schemaFolder + outcome.schemaName;
    return outcome;
}

std::size_t Run::keptBytes(const std::string& key, const Kept& kept) {
    // The map's node and the outcome's own block, then every string that
    // left its inline buffer.
    const auto heap = [](const std::string& text) {
        return text.capacity() > 15 ? text.capacity() + 1 : 0;
    };
    const DocumentReport& report = kept.outcome->report;
    std::size_t bytes = 64 + sizeof(Kept) + key.size() + sizeof(Outcome) + heap(key) +
                        heap(kept.statusTexts) + heap(kept.values) + heap(kept.rootNamespace) +
                        heap(kept.rootName) + heap(kept.outcome->schemaName) +
                        heap(report.message) + heap(report.detail) + heap(report.rootProblem) +
                        heap(report.facts.neededNamespace);
    for (const ValidationError& error : report.facts.errors) {
        bytes += sizeof error + heap(error.srcText) + heap(error.reason) + 256;
    }
    return bytes;
}

std::string Run::actualExtractionFolder(const std::string& named) {
    // The top folder named like the ZIP file, in whatever letter case the
    // archive spells it; an archive may spell it in several (ex1/, EX1/),
    // which are one folder where the archives come from: the documents of
    // all of them are checked.
    std::string baseName;
    std::string fileName;
    const std::string folder =
        GetDirectoryMemberSplit(named.substr(0, named.size() - 1), baseName, fileName);
    for (const std::string& found : m_names.folders(folder, fileName)) {
        m_topFolders.push_back(folder + found + kPathSeparator);
    }
    if (m_topFolders.empty()) {
        m_topFolders.push_back(named);
    }
    return m_topFolders.front();
}

void Run::tellEntriesLeftInArchive() {
    if (m_services.observer == nullptr) {
        return;
    }
    std::string baseName;
    std::string fileName;
    GetDirectoryMemberSplit(m_inputs.zipPath, baseName, fileName);
    const auto left = platform::entriesBesideTopFolder(m_inputs.zipPath, baseName);
    if (left && !left->empty()) {
        m_services.observer->leftInArchive(*left);
    }
}

std::string Run::topLevelFile(const char* wanted) {
    using Kind = CaseInsensitiveNames::Kind;
    for (const std::string& folder : m_topFolders) {
        const std::string name = m_names.actual(folder, wanted, Kind::file);
        if (FileChk(folder + name) == 0) {
            return folder + name;
        }
    }
    return m_extractionFolder + m_names.actual(m_extractionFolder, wanted, Kind::file);
}

StageDocuments Run::listStage(const std::string& wantedFolder) {
    // Folders whose names differ only in letter case are one folder where
    // the archives come from: their documents are listed together, in the
    // listing's order, each under its own path.
    StageDocuments documents;
    for (const std::string& top : m_topFolders) {
        for (const std::string& name : m_names.folders(top, wantedFolder)) {
            const std::string folder = top + name + kPathSeparator;
            const std::uint32_t index = folderIndex(folder);
            platform::FolderListing listing;
            for (std::string entry = listing.first(folder + "*.xml",
                                                   platform::FolderListing::Mask::filesAndFolders);
                 !entry.empty(); entry = listing.next()) {
                documents.push_back(
                    {index, static_cast<std::uint32_t>(entry.size()), keepName(entry)});
            }
        }
    }
    std::stable_sort(documents.begin(), documents.end(),
                     [this](const StageDocument& a, const StageDocument& b) {
                         return platform::lessByName(keptName(a.nameAt, a.nameLength),
                                                     keptName(b.nameAt, b.nameLength));
                     });
    return documents;
}

RunOutcome Run::perform() {
    // The inputs are remembered on every press, before any check.
    m_services.settings.save(m_inputs.appName, m_inputs.section, "TX_XmlFnm", m_inputs.zipPath);
    m_services.settings.save(m_inputs.appName, m_inputs.section, "TX_Schima", m_inputs.schemaText);
    // The checks of the whole archive exist before the first document is
    // validated (the extraction may validate documents as it goes): the
    // values they ask for are collected in the same pass, and the validation
    // threads read what they ask for (it does not change after).
    if (m_inputs.receptionCheck) {
        m_reception.emplace(receptionChecks());
    }
    if (!prepare()) {
        return m_extraction.unzip.cause == platform::UnzipCause::stopped ? RunOutcome::stopped
                                                                         : RunOutcome::endedEarly;
    }

    const std::string indexPath = topLevelFile(kIndexDocument);
    const std::string summaryPath = topLevelFile(kSummaryDocument);
    const bool haveSummary = FileChk(summaryPath) == 0;

    Pool pool(
        plan(indexPath, summaryPath, haveSummary), [this](const Job& job) { return check(job); },
        m_inputs.validationThreads != 0 ? m_inputs.validationThreads : defaultValidationThreads());
    std::size_t next = 0;
    beginReception(pool);
    if (m_services.observer != nullptr) {
        m_services.observer->started(m_extractionFolder, m_schemaFolder, pool.size());
    }
    m_log.clear();

    if (stopNow()) {
        return RunOutcome::stopped;
    }
    m_log.append(kIndexHeading);
    report(pool, next);
    if (haveSummary) {
        if (stopNow()) {
            return RunOutcome::stopped;
        }
        m_log.append(kSummaryHeading);
        report(pool, next);
    }
    if (!documentStage(kDataHeading, Stage::data, pool, next) ||
        !documentStage(kClaimsHeading, Stage::claims, pool, next)) {
        return RunOutcome::stopped;
    }
    // What the validation threads freed goes back before the checks of the
    // whole archive gather their lists, which may name every document.
    platform::releaseFreeMemory();
    receptionSection();
    return m_anyFailure ? RunOutcome::someFailed : RunOutcome::allValid;
}

void Run::beginReception(const Pool& pool) {
    // The names found, before the first document is reported.
    if (!m_reception) {
        return;
    }
    ArchiveFacts archive;
    std::string baseName;
    GetDirectoryMemberSplit(m_inputs.zipPath, baseName, archive.zipName);
    archive.extractionFolder = m_extractionFolder;
    archive.schemaFolder = m_schemaFolder;
    archive.documents.reserve(pool.size());
    for (std::size_t i = 0; i < pool.size(); ++i) {
        archive.documents.push_back({pool.job(i).stage, pool.job(i).name});
    }
    m_reception->begin(std::move(archive));
}

void Run::receptionSection() {
    if (!m_reception) {
        return;
    }
    const ReceptionReport found = m_reception->finish();
    m_log.append(std::string(kReceptionHeading) + kLineBreak);
    if (found.findings.empty()) {
        m_log.append(std::string(kOkMarker) + kLineBreak);
    }
    for (const Finding& finding : found.findings) {
        m_log.append(findingLine(finding) + kLineBreak);
    }
    if (found.errors() != 0) {
        m_anyFailure = true;
    }
    if (m_services.observer != nullptr) {
        m_services.observer->receptionChecked(found);
    }
}

std::uint32_t Run::folderIndex(const std::string& folder) {
    const auto found = std::find(m_documentFolders.begin(), m_documentFolders.end(), folder);
    if (found != m_documentFolders.end()) {
        return static_cast<std::uint32_t>(found - m_documentFolders.begin());
    }
    m_documentFolders.push_back(folder);
    return static_cast<std::uint32_t>(m_documentFolders.size() - 1);
}

std::vector<Run::Job> Run::plan(const std::string& indexPath, const std::string& summaryPath,
                                bool haveSummary) {
    // The index and the summary, with the schema their stage fixes; their
    // names are viewed once every name is kept.
    struct Fixed {
        Stage stage;
        StageDocument document;
        std::size_t schemaAt;
        std::size_t schemaLength;
    };
    std::vector<Fixed> fixed;
    const auto addFixed = [&](Stage stage, const std::string& path, const char* schema) {
        const std::size_t cut = path.rfind(kPathSeparator) + 1;
        const std::string name = path.substr(cut);
        const std::string schemaName = schemaFile(schema);
        const std::uint32_t folder = folderIndex(path.substr(0, cut));
        const std::size_t nameAt = keepName(name);
        fixed.push_back({stage,
                         {folder, static_cast<std::uint32_t>(name.size()), nameAt},
                         keepName(schemaName),
                         schemaName.size()});
    };
    addFixed(Stage::index, indexPath, kIndexSchema);
    if (haveSummary) {
        addFixed(Stage::summary, summaryPath, kSummarySchema);
    }
    StageDocuments data = listStage(kDataFolder);
    StageDocuments claims = listStage(kClaimsFolder);
    // Every name is kept: from here on the string does not move.
    m_documentNames.shrink_to_fit();
    const auto nameOf = [this](const StageDocument& document) {
        return keptName(document.nameAt, document.nameLength);
    };
    std::vector<Job> jobs;
    jobs.reserve(fixed.size() + data.size() + claims.size());
    for (const Fixed& f : fixed) {
        jobs.push_back({f.stage, f.document.folder, nameOf(f.document),
                        keptName(f.schemaAt, f.schemaLength)});
    }
    for (StageDocuments* documents : {&data, &claims}) {
        const Stage stage = documents == &data ? Stage::data : Stage::claims;
        for (const StageDocument& document : *documents) {
            jobs.push_back({stage, document.folder, nameOf(document), {}});
        }
        // Each listing goes as soon as its jobs are made.
        *documents = StageDocuments();
    }
    return jobs;
}

Run::Outcome Run::check(const Job& job) {
    if (job.schemaName.empty()) {
        std::optional<Kept> kept;
        {
            const std::lock_guard lock(m_inflated.mutex);
            const auto found = m_inflated.outcomes.find(folderOf(job) + std::string(job.name));
            if (found != m_inflated.outcomes.end() &&
                found->second.outcome->report.stage == job.stage) {
                kept = std::move(found->second);
                m_inflated.outcomes.erase(found);
            }
        }
        if (kept) {
            return taken(std::move(*kept), folderOf(job), std::string(job.name), m_schemaFolder);
        }
    }
    return checkDocument(job.stage, folderOf(job), std::string(job.name), job.schemaName,
                         *m_choice, nullptr);
}

Run::Outcome Run::checkDocument(Stage stage, const std::string& folder, const std::string& name,
                                std::string_view fixedSchema, SchemaChoice& choice,
                                std::string* bytes) {
    // Keeps the progress texts for the run to show in order.
    struct Recorded : StatusLine {
        std::vector<std::string>& texts;
        explicit Recorded(std::vector<std::string>& into) : texts(into) {}
        void MsgDisp(const std::string& MsgStr) override { texts.push_back(MsgStr); }
    };
    Outcome outcome;
    outcome.schemaName = std::string(fixedSchema);
    // The document as the schema choice read it, for the validation to go on
    // from there rather than open the file again.
    platform::OpenedDocumentHandle opened;
    if (outcome.schemaName.empty()) {
        platform::XmlErrorFacts rootProblem;
        outcome.schemaName = choice.schemaFor(
            folder, name,
            stage == Stage::data ? SchemaChoice::Stage::data : SchemaChoice::Stage::claims,
            &rootProblem, &opened, bytes);
        if (rootProblem.code != 0 || !rootProblem.message.empty()) {
            outcome.report.rootProblem = m_services.reasons != nullptr
                                             ? m_services.reasons->reason(rootProblem)
                                             : rootProblem.message;
        }
    }
    Recorded status(outcome.statusTexts);
    DocumentReport& report = outcome.report;
    report.stage = stage;
    report.documentFolder = folder;
    report.documentName = name;
    report.schemaPath = choice.folder() + outcome.schemaName;
    report.facts.errorLimit = m_inputs.errorLimit;
    // The namespace the standard schemas of the document's folder declare:
    // HL7's for checkup and guidance results, the ministry's for claims.
    if (stage == Stage::data) {
        report.facts.neededNamespace = kTargetNamespace;
    } else if (stage == Stage::claims) {
        report.facts.neededNamespace = kMinistryNamespace;
    }
    if (m_reception) {
        report.facts.valuePaths = m_reception->paths(stage);
    }
    platform::XmlParserFactory& parser =
        m_services.parser != nullptr ? *m_services.parser : platform::defaultXmlParserFactory();
    report.status = XmlSchemaChk(folder, name, choice.folder(), outcome.schemaName,
                                 report.message, report.detail, status, parser, &report.facts,
                                 m_services.reasons, std::move(opened));
    return outcome;
}

bool Run::documentStage(const char* heading, Stage stage, Pool& pool, std::size_t& next) {
    m_log.append(std::string(heading) + kLineBreak);
    while (next < pool.size() && pool.job(next).stage == stage) {
        if (stopNow()) {
            return false;
        }
        m_log.append(printable(pool.job(next).name));
        report(pool, next);
    }
    return true;
}

void Run::report(Pool& pool, std::size_t& next) {
    const std::size_t index = next++;
    Outcome outcome = pool.take(index);
    const DocumentReport& report = outcome.report;
    if (m_services.schemaChosen) {
        m_services.schemaChosen(report.documentFolder + report.documentName, report.schemaPath,
                                report.rootProblem);
    }
    for (const std::string& text : outcome.statusTexts) {
        m_services.status.MsgDisp(text);
    }
    if (report.status == 0) {
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
    if (m_reception) {
        // The document as the checks see it; its values are dropped after, so
        // that memory stays flat in the number of documents.
        std::string path = report.documentFolder + report.documentName;
        if (path.starts_with(m_extractionFolder)) {
            path.erase(0, m_extractionFolder.size());
        }
        std::replace(path.begin(), path.end(), kPathSeparator, '/');
        std::string schemaName = outcome.schemaName;
        std::replace(schemaName.begin(), schemaName.end(), kPathSeparator, '/');
        m_reception->document(DocumentFacts{report.stage, std::move(path), report.documentName,
                                            std::move(schemaName), report.status == 0,
                                            report.facts.values});
        outcome.report.facts.values = platform::CollectedValues();
    }
    if (m_services.observer != nullptr) {
        m_services.observer->documentChecked(report);
    }
}

} // namespace

RunOutcome runInspection(const RunInputs& inputs, RunServices& services) {
    // The budget of this run; the next one starts from the defaults.
    struct BudgetOfRun {
        explicit BudgetOfRun(const RunInputs& inputs) {
            platform::XmlBudget budget;
            budget.memory = inputs.maxDocumentMemory;
            budget.documentSeconds = inputs.maxDocumentTime;
            budget.schemaCompileSeconds = inputs.maxSchemaCompileTime;
            platform::setXmlBudget(budget);
        }
        ~BudgetOfRun() { platform::setXmlBudget(platform::XmlBudget{}); }
        BudgetOfRun(const BudgetOfRun&) = delete;
        BudgetOfRun& operator=(const BudgetOfRun&) = delete;
    } budget(inputs);
    Run run(inputs, services);
    return run.perform();
}

} // namespace morvik::inspection
