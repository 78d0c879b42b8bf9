// morvik-inspect on a folder of archives: every *.zip in name order, one
// report for all of them, the summary table and the worst exit status; and
// the report targets it refuses before anything runs.
#include "cli/process.h"
#include "support/archives.h"
#include "support/testutil.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/stat.h>

#include <filesystem>
#include <sstream>

using namespace morvik::test;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

const std::string kSeeHelp = "詳しくは morvik-inspect --help";

// One row of the summary table, read back.
struct SummaryRow {
    std::size_t ok = 0, failed = 0, receptionErrors = 0, receptionCautions = 0;
    int exitCode = -1;
    std::string rest; // the archive and its note
};

// The rows after the table's heading, and its last line.
std::vector<SummaryRow> summaryRows(const std::string& log, std::string& total) {
    std::vector<SummaryRow> rows;
    const auto at = log.find("\n==== 集計 ====\n");
    if (at == std::string::npos) {
        return rows;
    }
    const auto lines = linesOf(log.substr(at + 1));
    for (std::size_t i = 2; i + 1 < lines.size(); ++i) {
        std::istringstream in(lines[i]);
        SummaryRow row;
        in >> row.ok >> row.failed >> row.receptionErrors >> row.receptionCautions >> row.exitCode;
        std::getline(in >> std::ws, row.rest);
        rows.push_back(row);
    }
    total = lines.empty() ? "" : lines.back();
    return rows;
}

// The records of an RFC 4180 file (after its byte order mark), each a list
// of cells with the quoting undone.
std::vector<std::vector<std::string>> csvRecords(std::string text) {
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.erase(0, 3);
    }
    std::vector<std::vector<std::string>> records;
    std::vector<std::string> record;
    std::string cell;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                cell += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                cell += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            record.push_back(std::exchange(cell, {}));
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            record.push_back(std::exchange(cell, {}));
            records.push_back(std::exchange(record, {}));
            ++i;
        } else {
            cell += c;
        }
    }
    return records;
}

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

} // namespace

// Thirty archives: 21 valid, 7 with an invalid DATA document, one already
// extracted and one that is not a ZIP. Each is inspected in name order, the
// two that cannot be are said so and the rest go on; the table and the
// reports cover all thirty; the worst status is that of a run that stopped.
TEST(InspectFolder, ThirtyArchivesSummaryAndWorstStatus) {
    TempDir dir;
    const fs::path folder = dir.path() / "month";
    fs::create_directory(folder);
    std::vector<std::string> names;
    auto valid = standardFiles();
    valid.push_back({"DATA/d.xml", dataDocument("1")});
    auto failing = standardFiles();
    failing.push_back({"DATA/d.xml", dataDocument("no")});
    for (int i = 0; i < 21; ++i) {
        names.push_back("a" + std::string(i < 10 ? "0" : "") + std::to_string(i));
        makeArchive(folder, names.back(), valid);
    }
    for (int i = 0; i < 7; ++i) {
        names.push_back("b0" + std::to_string(i));
        makeArchive(folder, names.back(), failing);
    }
    names.push_back("c-extracted");
    makeArchive(folder, names.back(), valid);
    writeFile(folder / "c-extracted" / "ix08_V08.xml", indexDocument());
    names.push_back("d-notzip");
    writeFile(folder / "d-notzip.zip", "just some text\n");
    // Neither a ZIP file by name nor directly in the folder: not inspected.
    writeFile(folder / "notes.txt", "x");
    fs::create_directory(folder / "sub");
    makeArchive(folder / "sub", "deeper", valid);

    const std::string jsonPath = dir.folder() + "month.json";
    const std::string csv = dir.folder() + "month.csv";
    // The stages' statuses and counts: the small made-up documents are not of
    // the real kinds, which the fifth section would count as findings.
    const auto result = runInspect({"--json", jsonPath, "--csv", csv, "--csv-errors-only",
                                    "--no-reception-check", folder.string()});
    EXPECT_EQ(result.status, 2) << result.err;

    // A heading per archive, in name order.
    std::vector<std::string> headings;
    for (const auto& line : linesOf(result.out)) {
        if (line.starts_with("==> ")) {
            headings.push_back(line);
        }
    }
    ASSERT_EQ(headings.size(), 30u) << result.out;
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(headings[i], "==> " + (folder / (names[i] + ".zip")).string() + " <==");
    }

    std::string total;
    const auto rows = summaryRows(result.out, total);
    ASSERT_EQ(rows.size(), 30u) << result.out;
    for (std::size_t i = 0; i < 30; ++i) {
        const std::string zip = (folder / (names[i] + ".zip")).string();
        const auto& row = rows[i];
        EXPECT_EQ(row.receptionErrors + row.receptionCautions, 0u);
        if (i < 21) {
            EXPECT_EQ(row.ok, 3u) << names[i];
            EXPECT_EQ(row.failed, 0u) << names[i];
            EXPECT_EQ(row.exitCode, 0) << names[i];
            EXPECT_EQ(row.rest, zip);
            EXPECT_TRUE(fs::is_directory(folder / names[i])) << "extracted beside its ZIP";
        } else if (i < 28) {
            EXPECT_EQ(row.ok, 2u) << names[i];
            EXPECT_EQ(row.failed, 1u) << names[i];
            EXPECT_EQ(row.exitCode, 1) << names[i];
        } else {
            EXPECT_EQ(row.ok + row.failed, 0u) << names[i];
            EXPECT_EQ(row.exitCode, 2) << names[i];
        }
    }
    EXPECT_EQ(rows[28].rest, (folder / "c-extracted.zip").string() + "  （解凍済み）");
    EXPECT_EQ(rows[29].rest,
              (folder / "d-notzip.zip").string() + "  （解凍できません（解凍コード 9））");
    EXPECT_EQ(total, "アーカイブ 30 件、最も悪い終了状態 2");
    // The two that could not be inspected each said why, once.
    EXPECT_EQ(count(result.err, "すでに解凍済みのXMLファイルが含まれています。"), 1u);
    EXPECT_EQ(count(result.err, "はZIPアーカイブではありません"), 1u) << result.err;

    const json report = json::parse(readFile(jsonPath));
    ASSERT_TRUE(report.is_array());
    ASSERT_EQ(report.size(), 30u);
    EXPECT_EQ(report[28]["endedEarly"]["kind"], "alreadyExtracted");
    EXPECT_EQ(report[29]["endedEarly"]["unzipCode"], 9);

    // Errors only: one row per failing document and per archive not
    // inspected, after the header.
    const auto records = csvRecords(readFile(csv));
    ASSERT_EQ(records.size(), 1u + 7u + 2u) << readFile(csv);
    for (std::size_t i = 1; i <= 7; ++i) {
        const auto& cells = records[i];
        ASSERT_EQ(cells.size(), 9u);
        EXPECT_EQ(cells[0], (folder / (names[20 + i] + ".zip")).string());
        EXPECT_EQ(cells[2], "DATA/d.xml");
        EXPECT_EQ(cells[3], "NG");
    }
    EXPECT_EQ(records[8][0], (folder / "c-extracted.zip").string());
    EXPECT_EQ(records[8][1], "アーカイブ");
    EXPECT_EQ(records[9][6], "9"); // the unzip code of the one that is not a ZIP

    // --recursive takes the sub-folder's archive too; everything else is
    // extracted already now.
    const auto again = runInspect({"--recursive", "--no-reception-check", folder.string()});
    std::string againTotal;
    const auto againRows = summaryRows(again.out, againTotal);
    ASSERT_EQ(againRows.size(), 31u) << again.out;
    EXPECT_EQ(againRows[30].rest, (folder / "sub" / "deeper.zip").string());
    EXPECT_EQ(againRows[30].exitCode, 0);
    EXPECT_EQ(again.status, 2);
}

TEST(InspectFolder, WorstStatusAndFoldersWithoutArchives) {
    TempDir dir;
    auto valid = standardFiles();
    auto failing = standardFiles();
    failing.push_back({"DATA/d.xml", dataDocument("no")});
    fs::create_directory(dir.path() / "mixed");
    makeArchive(dir.path() / "mixed", "b", failing);
    makeArchive(dir.path() / "mixed", "A", valid);
    fs::create_directory(dir.path() / "empty");

    const auto mixed = runInspect({(dir.path() / "mixed").string()});
    EXPECT_EQ(mixed.status, 1) << mixed.err;
    std::string total;
    const auto rows = summaryRows(mixed.out, total);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].rest, (dir.path() / "mixed" / "A.zip").string()); // "A" < "b"
    EXPECT_EQ(total, "アーカイブ 2 件、最も悪い終了状態 1");

    // The JSON report of a folder is a list, even of one archive.
    fs::create_directory(dir.path() / "one");
    makeArchive(dir.path() / "one", "only", valid);
    const auto one =
        runInspect({"--json", "-", "--no-reception-check", (dir.path() / "one").string()});
    EXPECT_EQ(one.status, 0) << one.err;
    const json list = json::parse(one.out);
    ASSERT_TRUE(list.is_array()) << one.out;
    EXPECT_EQ(list.size(), 1u);

    const auto empty = runInspect({(dir.path() / "empty").string()});
    EXPECT_EQ(empty.status, 2);
    EXPECT_EQ(empty.err, "morvik-inspect: フォルダ " + (dir.path() / "empty").string() +
                             " には *.zip ファイルがありません。\n");
}

// Report targets that would destroy or block are refused before anything
// runs: usage status, one line, nothing extracted, nothing written.
TEST(InspectReportTargets, RefusedBeforeAnythingRuns) {
    TempDir dir;
    auto files = standardFiles();
    const std::string zip = makeArchive(dir.path(), "arc", files).string();
    const std::string zipBytes = readFile(zip);
    fs::create_directory(dir.path() / "folder");
    makeArchive(dir.path() / "folder", "inner", files);
    ASSERT_EQ(::mkfifo((dir.folder() + "fifo").c_str(), 0600), 0);
    const std::string d = dir.folder();

    struct Case {
        std::vector<std::string> args;
        std::string line; // after "morvik-inspect: ", before the help pointer
    };
    const std::vector<Case> cases = {
        {{"--json", zip, zip},
         "--json の書き出し先 " + zip +
             " は調査するZIPファイルです。別のファイル名を指定してください。"},
        {{"--csv", d + "./arc.zip", zip},
         "--csv の書き出し先 " + d +
             "./arc.zip は調査するZIPファイルです。別のファイル名を指定してください。"},
        {{"--json", zip, d + "other.zip", zip},
         "--json の書き出し先 " + zip +
             " は調査するZIPファイルです。別のファイル名を指定してください。"},
        {{"--csv", d + "folder/inner.zip", d + "folder"},
         "--csv の書き出し先 " + d +
             "folder/inner.zip は調査するZIPファイルです。別のファイル名を指定してください。"},
        {{"--json", d + "folder", zip},
         "--json の書き出し先 " + d + "folder はフォルダです。ファイル名を指定してください。"},
        {{"--csv", d + "fifo", zip},
         "--csv の書き出し先 " + d +
             "fifo はパイプまたはデバイスです。標準出力に書き出すときは - を指定してください。"},
        {{"--json", "/dev/null", zip},
         "--json の書き出し先 /dev/null はパイプまたはデバイスです。標準出力に書き出すときは - "
         "を指定してください。"},
        {{"--json", d + "no/such/r.json", zip},
         "--json の書き出し先 " + d +
             "no/such/r.json に書き込めません（そのフォルダがありません）。"},
        {{"--json", "-", "--csv", "-", zip},
         "標準出力（-）に書き出せるのは --json と --csv のどちらか一つです。"},
        {{"--json", d + "r.out", "--csv", d + "./r.out", zip},
         "--json と --csv に同じファイル " + d + "r.out が指定されています。"},
    };
    for (const auto& c : cases) {
        const auto result = runInspect(c.args);
        EXPECT_EQ(result.status, 64) << c.line;
        EXPECT_TRUE(result.out.empty()) << c.line;
        EXPECT_EQ(result.err, "morvik-inspect: " + c.line + kSeeHelp + "\n");
    }
    // Nothing was extracted, written or left behind.
    EXPECT_EQ(readFile(zip), zipBytes);
    std::vector<std::string> left;
    for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
        left.push_back(entry.path().filename().string());
    }
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"arc.zip", "fifo", "folder", "inner.zip"}));
}

// A report replaces its file only when whole: an existing file keeps its
// mode and is replaced at the end; a write that fails leaves it as it was,
// removes the temporary and says so (status 70).
TEST(InspectReportTargets, WrittenWholeOrNotAtAll) {
    TempDir dir;
    const std::string zip = makeArchive(dir.path(), "arc", standardFiles()).string();
    const std::string target = dir.folder() + "report.csv";
    writeFile(target, "old");
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    const auto result = runInspect({"--csv", target, "--no-reception-check", zip});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(readFile(target).starts_with("\xEF\xBB\xBF")) << readFile(target);
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    // Three names that are not ZIP files make a JSON report of a few KB; a
    // file size limit of 1 KB makes its write fail.
    writeFile(dir.path() / "x.zip", "text\n");
    writeFile(dir.path() / "y.zip", "text\n");
    writeFile(dir.path() / "z.zip", "text\n");
    const std::string jsonPath = dir.folder() + "report.json";
    writeFile(jsonPath, "old");
    // The limit applies to the program alone; its messages go through a pipe,
    // which the limit does not touch.
    const auto limited =
        runProgram("/bin/bash", {"-c", "set -o pipefail; ( trap '' XFSZ; ulimit -f 1; exec '" +
                                           std::string(MORVIK_INSPECT_EXE) + "' --json " +
                                           jsonPath + " " + dir.folder() + "x.zip " + dir.folder() +
                                           "y.zip " + dir.folder() + "z.zip ) 2>&1 | cat"});
    EXPECT_EQ(limited.status, 70) << limited.out;
    EXPECT_NE(limited.out.find("morvik-inspect: --json のレポートを " + jsonPath +
                               " に書き出せませんでした（"),
              std::string::npos)
        << limited.out;
    EXPECT_EQ(readFile(jsonPath), "old");
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        EXPECT_FALSE(entry.path().filename().string().starts_with(".")) << entry.path();
    }
}

// What a document holds never reaches the CSV report: not the source line,
// and not a value the reason would quote (a name where a number belongs,
// the bytes of a name in the wrong encoding), in either language. The log
// shows them, so the clerk can still find the line.
TEST(InspectCsv, NoValueOfADocumentInEitherLanguage) {
    struct Case {
        std::string label;
        std::string document;
        std::string hidden; // must be absent from the CSV, present in the log
    };
    const std::vector<Case> cases = {
        {"a name for a number", dataDocument("山田太郎"), "山田太郎"},
        {"an insured number with a letter", dataDocument("12345678X"), "12345678X"},
        {"Shift_JIS bytes in a UTF-8 document",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<doc xmlns=\"urn:hl7-org:v3\">"
         "<value>\x8E\x52\x93\x63</value></doc>\n",
         "0x8E 0x52"},
    };
    for (const auto& c : cases) {
        for (const std::string reasons : {"ja", "en"}) {
            TempDir dir;
            auto files = standardFiles();
            files.push_back({"DATA/d.xml", c.document});
            const auto zip = makeArchive(dir.path(), "arc", files);
            const std::string csv = dir.folder() + "r.csv";
            // The documents' own rows; these small archives are not shaped
            // for the checks of the whole archive.
            const auto result =
                runInspect({"--reasons=" + reasons, "--no-reception-check", "--csv", csv,
                            "--csv-errors-only", zip.string()});
            EXPECT_EQ(result.status, 1) << c.label << result.err;
            EXPECT_NE(result.out.find(c.hidden), std::string::npos) << c.label << result.out;
            const auto records = csvRecords(readFile(csv));
            ASSERT_EQ(records.size(), 2u) << c.label << readFile(csv);
            EXPECT_EQ(records[1][2], "DATA/d.xml");
            EXPECT_EQ(readFile(csv).find(c.hidden), std::string::npos)
                << c.label << " " << reasons << ": " << records[1][8];
            EXPECT_FALSE(records[1][8].empty());
        }
    }
}
