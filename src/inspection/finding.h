// What a check of the whole archive found, as plain facts: the rule, its
// level, the files it concerns and the values it compared. The run words
// each finding as one line of the log's fifth section (findingLine); the
// JSON report, the CSV and the desktop take the same struct from
// RunObserver::receptionChecked. No finding ever holds a person's name,
// address, insured-person number, symbol or ticket number: the checks put
// only counts, amounts, codes, organisation numbers, dates and element names
// into compared.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace morvik::inspection {

enum class FindingLevel {
    error,   // エラー: the receiving side refuses or returns the archive
    caution, // 注意: very likely a problem; never changes the run's outcome
};

// "エラー" or "注意".
const char* levelText(FindingLevel level);

// One value a check compared, named by the element or quantity it stands for.
struct ComparedFact {
    std::string name;  // e.g. "totalCostAmount", "Σ unitAmount", "ZIP名の送付元"
    std::string value; // as the document writes it, or as the check counted it
};

struct Finding {
    std::string rule; // the rule's id, e.g. "summary-totals" (docs/reception-rules.md)
    FindingLevel level = FindingLevel::error;
    std::string summary; // what disagrees, in a short Japanese phrase
    // Paths below the extraction folder, "/" between folders
    // ("su08_V08.xml", "CLAIMS/c….xml"), or the ZIP file's name.
    std::vector<std::string> files;
    std::vector<ComparedFact> compared;
};

// How one schema file of the folder in use compares with the official set.
enum class SchemaFileVerdict { official, modified, missing, extra };
const char* verdictName(SchemaFileVerdict verdict); // "official", "modified", ...

struct SchemaFileReport {
    std::string file; // below the schema folder, "/" between folders
    SchemaFileVerdict verdict = SchemaFileVerdict::official;
};

// Everything the reception check found for one archive.
struct ReceptionReport {
    std::vector<Finding> findings;             // in the order of the log's fifth section
    std::vector<SchemaFileReport> schemaFiles; // every file of the official set and of the folder
    std::size_t errors() const;                // findings of level エラー
    std::size_t cautions() const;              // findings of level 注意
};

// The finding as the log's fifth section shows it, without the line break:
//   【エラー】summary-totals 集計情報の金額と請求の合計が合わない：totalCostAmount=9310、
//   Σ unitAmount=37240（su08_V08.xml）
// At most kFilesInLine files are named; the rest are counted.
inline constexpr std::size_t kFilesInLine = 5;
std::string findingLine(const Finding& finding);

} // namespace morvik::inspection
