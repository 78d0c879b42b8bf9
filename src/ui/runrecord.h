// What the window keeps of a run beside its log: which archive, when, with
// which schema folder, how it came out. Heads a saved log and makes the
// several-archives summary.
#pragma once

#include "inspection/inspectionrun.h"
#include "report/jsonreport.h"
#include "report/runtally.h"

#include <QDateTime>
#include <QString>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace morvik::ui {

struct RunRecord {
    QString zipPath; // as the run was given it
    QDateTime started;
    QDateTime ended;
    QString schemaFolder;     // the schema folder used; empty when the run ended before
    QString extractionFolder; // where the documents were looked for
    inspection::RunOutcome outcome = inspection::RunOutcome::endedEarly;
    // The documents to validate, validated and failing, the reception
    // check's findings by level.
    report::RunTally tally;
    // Why a run ended before validating, one line each; may be empty.
    std::vector<std::string> cause;
    // What the CSV report needs of the run (its cause lines included); null
    // for a run that was not carried out by the window.
    std::shared_ptr<const report::ArchiveReport> report;

    // As the command line ends for this archive: 0 all valid, 1 failures (a
    // failing document or a reception finding of level エラー), 2 ended
    // before validating; -1 stopped by closing the window.
    int exitStatus() const;
};

// The program's version, as the build names it.
QString programVersion();

// Panel 1's text when a run is over, and the result line of a saved log:
// documents OK and failing, then, when the reception check ran, its findings
// of level エラー and 注意.
QString resultText(const RunRecord& run);
// Panel 1's text after several archives: their number and the counts of all.
QString severalResultText(const std::vector<RunRecord>& runs);

// The lines above the log in a saved file: per archive, the ZIP file, start
// and end, schema folder, the program and its version, and the counts. Each
// line ends with CR LF; a rule ends the header.
QString logHeader(const std::vector<RunRecord>& runs);

// Beside the ZIP file, named after it: <folder>/<base name>_調査結果.txt.
QString savedLogPath(const QString& zipPath);
// The CSV report's: <folder>/<base name>_調査結果.csv.
QString savedCsvPath(const QString& zipPath);

// The summary of several archives for the end of the log box, as the
// command line prints it: one line per archive (documents OK and failing,
// the reception check's errors and cautions, the exit status, the archive),
// then the number of archives and the worst exit status; lines end in CR LF.
QString summaryTable(const std::vector<RunRecord>& runs);

// The ZIP paths of the ZIP path box when it names several files, each in
// double quotes and separated by spaces (as the file dialog and a drop fill
// it); empty for anything else, which is one path as typed.
QStringList severalZipPaths(const QString& text);
// The text that names several files so.
QString severalZipText(const QStringList& paths);

} // namespace morvik::ui
