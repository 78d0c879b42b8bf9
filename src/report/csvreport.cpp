// The CSV report, written by hand: the format is small and its quoting is
// the whole point.
#include "report/csvreport.h"

#include "inspection/paths.h"
#include "platform/text/utf8.h"

#include <cstdint>

namespace morvik::report {

namespace {

using inspection::DocumentReport;
using inspection::EarlyEnd;
using inspection::Stage;

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// The columns, as the header row names them (docs/csv-report.md).
constexpr const char* kHeader[] = {"アーカイブ", "区分",   "ファイル", "判定", "行",
                                   "列",         "コード", "レベル",   "理由"};

constexpr const char* kVerdictOk = "OK";
constexpr const char* kVerdictFailed = "NG";
constexpr const char* kLevelError = "エラー";
// The section of a row about the archive as a whole (it ended before its
// documents were validated).
constexpr const char* kArchiveSection = "アーカイブ";
// The section of the reception check's findings.
constexpr const char* kReceptionSection = "受付チェック";

const char* sectionOf(Stage stage) {
    switch (stage) {
    case Stage::index:
        return "交換用基本情報ファイル";
    case Stage::summary:
        return "集計情報ファイル";
    case Stage::data:
        return "特定健診・保健指導データ";
    case Stage::claims:
        return "特定健診・保健指導決済情報";
    }
    return "交換用基本情報ファイル";
}

std::string validUtf8(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    while (!text.empty()) {
        const std::size_t length = platform::utf8SequenceLength(text);
        if (length == 0) {
            result += kReplacement;
            text.remove_prefix(1);
        } else {
            result += text.substr(0, length);
            text.remove_prefix(length);
        }
    }
    return result;
}

std::string number(std::int64_t value) {
    return value > 0 ? std::to_string(value) : std::string();
}

// Cells of one row, each already a cell's text; written with csvCell.
struct Row {
    std::string archive, section, file, verdict, line, column, code, level, reason;
};

void appendRow(std::string& out, const Row& row) {
    const std::string* cells[] = {&row.archive, &row.section, &row.file,  &row.verdict, &row.line,
                                  &row.column,  &row.code,    &row.level, &row.reason};
    bool first = true;
    for (const std::string* cell : cells) {
        if (!first) {
            out += ',';
        }
        first = false;
        out += csvCell(*cell);
    }
    out += kLineEnd;
}

// The document's path below the extraction folder, "/" between folders.
std::string relativePath(const DocumentReport& document, const std::string& extractionFolder) {
    std::string path = document.documentFolder + document.documentName;
    if (!extractionFolder.empty() && path.starts_with(extractionFolder)) {
        path.erase(0, extractionFolder.size());
    }
    return inspection::printable(path);
}

// The reason without what the document holds: worded again from the facts
// with its values hidden; without facts, the parser's message may quote the
// document, so a sentence naming the code stands for it.
std::string reasonWithoutValues(const inspection::ValidationError& error, ReasonLanguage language) {
    platform::XmlErrorFacts facts;
    if (error.facts) {
        facts = *error.facts;
    } else {
        facts.code = error.code;
        facts.domain = error.domain;
        facts.message = error.reason;
    }
    return reasonText(facts, language, DocumentValues::hidden);
}

void appendDocument(std::string& out, const ArchiveReport& archive, const DocumentReport& document,
                    CsvRows rows, ReasonLanguage language) {
    Row row;
    row.archive = inspection::printable(archive.archive);
    row.section = sectionOf(document.stage);
    row.file = relativePath(document, archive.extractionFolder);
    if (document.status == 0) {
        if (rows == CsvRows::all) {
            row.verdict = kVerdictOk;
            appendRow(out, row);
        }
        return;
    }
    row.verdict = kVerdictFailed;
    row.level = kLevelError;
    if (document.facts.errors.empty()) {
        // A document that does not exist, or a schema that is missing: the
        // log's message is the reason.
        row.code = document.facts.errorCode != 0 ? std::to_string(document.facts.errorCode) : "";
        row.reason = document.message;
        appendRow(out, row);
        return;
    }
    for (const auto& error : document.facts.errors) {
        row.line = number(error.line);
        row.column = number(error.column);
        row.code = error.code != 0 ? std::to_string(error.code) : "";
        row.reason = reasonWithoutValues(error, language);
        appendRow(out, row);
    }
}

void appendEarlyEnd(std::string& out, const ArchiveReport& archive) {
    Row row;
    row.archive = inspection::printable(archive.archive);
    row.section = kArchiveSection;
    row.verdict = kVerdictFailed;
    row.level = kLevelError;
    if (archive.earlyEnd && archive.earlyEnd->kind == EarlyEnd::Kind::extractionFailed) {
        row.code = std::to_string(archive.earlyEnd->unzipCode());
    }
    // The message as the run showed it, then the lines that say why, each
    // on a line of its own inside the cell.
    row.reason = archive.message;
    for (const auto& line : archive.cause) {
        row.reason += (row.reason.empty() ? "" : "\n") + inspection::printable(line);
    }
    appendRow(out, row);
}

} // namespace

std::string csvCell(std::string_view text) {
    std::string cell = validUtf8(text);
    if (!cell.empty()) {
        const char first = cell.front();
        if (first == '=' || first == '+' || first == '-' || first == '@' || first == '\t' ||
            first == '\r') {
            cell.insert(cell.begin(), '\'');
        }
    }
    if (cell.find_first_of(",\"\r\n") == std::string::npos) {
        return cell;
    }
    std::string quoted = "\"";
    for (const char c : cell) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    quoted += '"';
    return quoted;
}

// One finding of the reception check: the files it concerns, its rule and
// level, and the facts it compared (counts, amounts, codes, organisation
// numbers and dates only: the checks never put a person's data there).
void appendFinding(std::string& out, const ArchiveReport& archive,
                   const inspection::Finding& finding) {
    Row row;
    row.archive = inspection::printable(archive.archive);
    row.section = kReceptionSection;
    for (const std::string& file : finding.files) {
        row.file += (row.file.empty() ? "" : " / ") + inspection::printable(file);
    }
    const bool error = finding.level == inspection::FindingLevel::error;
    row.verdict = error ? kVerdictFailed : inspection::levelText(finding.level);
    row.code = finding.rule;
    row.level = inspection::levelText(finding.level);
    row.reason = finding.summary;
    const char* separator = "：";
    for (const inspection::ComparedFact& fact : finding.compared) {
        row.reason += separator + inspection::printable(fact.name) + "=" +
                      inspection::printable(fact.value);
        separator = "、";
    }
    appendRow(out, row);
}

DocumentReport csvPart(const DocumentReport& document) {
    DocumentReport kept;
    kept.stage = document.stage;
    kept.documentFolder = document.documentFolder;
    kept.documentName = document.documentName;
    kept.status = document.status;
    if (document.status == 0) {
        return kept;
    }
    kept.message = document.message;
    kept.facts.errorLimit = document.facts.errorLimit;
    kept.facts.errorCode = document.facts.errorCode;
    kept.facts.errors = document.facts.errors;
    for (auto& error : kept.facts.errors) {
        error.srcText.clear();
    }
    return kept;
}

std::string reportCsv(const std::vector<ArchiveReport>& reports, CsvRows rows,
                      ReasonLanguage language) {
    std::string out(kByteOrderMark);
    Row header{kHeader[0], kHeader[1], kHeader[2], kHeader[3], kHeader[4],
               kHeader[5], kHeader[6], kHeader[7], kHeader[8]};
    appendRow(out, header);
    for (const auto& archive : reports) {
        if (archive.earlyEnd || archive.outcome == "internalError") {
            appendEarlyEnd(out, archive);
        }
        for (const auto& document : archive.checked) {
            appendDocument(out, archive, document, rows, language);
        }
        if (archive.reception) {
            for (const inspection::Finding& finding : archive.reception->findings) {
                appendFinding(out, archive, finding);
            }
        }
    }
    return out;
}

} // namespace morvik::report
