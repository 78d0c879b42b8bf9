// The CSV report: what the runs on one or more archives found, one row per
// document (or per error of a failing document), for a spreadsheet. UTF-8
// with a byte order mark and CR LF line ends, so that a double click opens
// it in Excel with the Japanese intact. Its columns are described in
// docs/csv-report.md.
//
// The report names files, codes, lines and reasons; it never carries a
// document's source text, and its reasons are worded again from the
// parser's facts with the document's values hidden, so nothing a document
// holds (a name, an address, an insured-person number) reaches it.
#pragma once

#include "report/jsonreport.h"
#include "report/reasons.h"

#include <string>
#include <string_view>
#include <vector>

namespace morvik::report {

// Which documents have rows: every one, or the failing ones only.
enum class CsvRows { all, errorsOnly };

// The whole report, header row first: the bytes of the file. A failing
// document has one row per error kept in its report (the first only unless
// every error was asked for); an archive that ended before validating has
// one row of its own. Reasons are in language.
std::string reportCsv(const std::vector<ArchiveReport>& reports, CsvRows rows,
                      ReasonLanguage language = ReasonLanguage::japanese);

// What reportCsv reads of a document's report, for a front end that keeps
// every document of a run until the user saves the CSV: the source lines,
// the detail line and the values collected for the archive checks are left
// out, the rest kept as it is. reportCsv gives the same bytes from either.
inspection::DocumentReport csvPart(const inspection::DocumentReport& document);

// One cell as RFC 4180 wants it, without the separator: quoted when it holds
// a comma, a quote or a line break, quotes doubled. A text that a spreadsheet
// would take for a formula (starting with =, +, -, @, a tab or a CR) gets a
// leading apostrophe, so that a hostile file name stays text. Bytes that are
// not UTF-8 become U+FFFD.
std::string csvCell(std::string_view text);

} // namespace morvik::report
