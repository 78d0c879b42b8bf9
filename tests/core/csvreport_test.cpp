// The CSV report: cells as a spreadsheet reads them, the whole file byte for
// byte, and what must never reach it.
#include "report/csvreport.h"

#include <gtest/gtest.h>

using morvik::report::ArchiveReport;
using morvik::inspection::DocumentReport;
using morvik::inspection::EarlyEnd;
using morvik::inspection::Stage;
using morvik::report::csvCell;
using morvik::report::CsvRows;
using morvik::report::reportCsv;

namespace {

const std::string kBom = "\xEF\xBB\xBF";
const std::string kHeader = "アーカイブ,区分,ファイル,判定,行,列,コード,レベル,理由\r\n";

DocumentReport document(Stage stage, const std::string& name, int status) {
    DocumentReport report;
    report.stage = stage;
    report.documentFolder = "/work/a/DATA/";
    report.documentName = name;
    report.status = status;
    return report;
}

} // namespace

TEST(CsvCell, QuotingAndFormulaCells) {
    struct Case {
        std::string text;
        std::string cell;
    };
    const std::vector<Case> cases = {
        {"", ""},
        {"plain.xml", "plain.xml"},
        {"要素「value」の値は整数ではありません。", "要素「value」の値は整数ではありません。"},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"two\r\nlines", "\"two\r\nlines\""},
        {"line\nfeed", "\"line\nfeed\""},
        // A name that a spreadsheet would run as a formula stays text.
        {"=HYPERLINK(\"http://x\")", "\"'=HYPERLINK(\"\"http://x\"\")\""},
        {"+1", "'+1"},
        {"-2+3", "'-2+3"},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"\tx", "'\tx"},
        {"\rx", "\"'\rx\""},
        {"a=b", "a=b"},
        // Bytes that are not UTF-8 cannot open as text: U+FFFD instead.
        {"bad\xFF\xFEname", "bad\xEF\xBF\xBD\xEF\xBF\xBDname"},
        {"\xE3\x81", "\xEF\xBF\xBD\xEF\xBF\xBD"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(csvCell(c.text), c.cell) << c.text;
    }
}

TEST(CsvReport, WholeFileBomCrLfAndRows) {
    ArchiveReport good;
    good.archive = "in/good.zip";
    good.extractionFolder = "/work/a/";
    auto index = document(Stage::index, "ix08_V08.xml", 0);
    index.documentFolder = "/work/a/";
    good.checked.push_back(index);
    auto bad = document(Stage::data, "d,1.xml", 1);
    bad.message = "XMLファイルの整合性チェックでエラーが発生しました。";
    bad.facts.errorCode = 1824;
    bad.facts.errors.push_back(
        {4, 12, "  <name>山田 太郎</name>", "要素「value」の値は整数ではありません。", 1824});
    bad.facts.errors.push_back(
        {9, 0, "<addr>東京都千代田区1-1</addr>", "要素「x」は\"ここ\"に置けません。", 1871});
    good.checked.push_back(bad);
    auto missing = document(Stage::claims, "=c.xml", 1);
    missing.documentFolder = "/work/a/CLAIMS/";
    missing.message = "XMLファイルが「/work/a/CLAIMS/」に存在しない為、XMLの検証が出来ません。";
    good.checked.push_back(missing);

    ArchiveReport refused;
    refused.archive = "in/not.zip";
    refused.outcome = "endedEarly";
    refused.earlyEnd = EarlyEnd{EarlyEnd::Kind::extractionFailed, "in/not.zip", "", 9, ""};
    refused.message = "解凍に失敗しました。Error Code:0x9";
    refused.cause = {"in/not.zip はZIPアーカイブではありません。"};

    const std::string failing =
        "in/good.zip,特定健診・保健指導データ,\"DATA/d,1.xml\",NG,4,12,1824,エラー,"
        "要素「value」の値は整数ではありません。\r\n"
        "in/good.zip,特定健診・保健指導データ,\"DATA/d,1.xml\",NG,9,,1871,エラー,"
        "\"要素「x」は\"\"ここ\"\"に置けません。\"\r\n";
    const std::string fileDoesNotExist =
        "in/good.zip,特定健診・保健指導決済情報,CLAIMS/=c.xml,NG,,,,エラー,"
        "XMLファイルが「/work/a/CLAIMS/」に存在しない為、XMLの検証が出来ません。\r\n";
    const std::string refusedRow =
        "in/not.zip,アーカイブ,,NG,,,9,エラー,\"解凍に失敗しました。Error Code:0x9\n"
        "in/not.zip はZIPアーカイブではありません。\"\r\n";
    EXPECT_EQ(reportCsv({good, refused}, CsvRows::all),
              kBom + kHeader + "in/good.zip,交換用基本情報ファイル,ix08_V08.xml,OK,,,,,\r\n" +
                  failing + fileDoesNotExist + refusedRow);
    EXPECT_EQ(reportCsv({good, refused}, CsvRows::errorsOnly),
              kBom + kHeader + failing + fileDoesNotExist + refusedRow);
    EXPECT_EQ(reportCsv({}, CsvRows::all), kBom + kHeader);
}

// The document's own text (the source line of an error, where names,
// addresses and insured-person numbers are) never reaches the report.
TEST(CsvReport, NoSourceTextOfADocument) {
    const std::vector<std::string> personal = {"山田 太郎", "東京都千代田区1-1", "12345678",
                                               "ヤマダ タロウ"};
    ArchiveReport archive;
    archive.archive = "a.zip";
    archive.extractionFolder = "/work/a/";
    auto bad = document(Stage::data, "d.xml", 1);
    bad.facts.errorCode = 1824;
    for (const auto& text : personal) {
        bad.facts.errors.push_back({3, 5, "<x>" + text + "</x>", "要素「x」は使えません。", 1824});
    }
    archive.checked.push_back(bad);
    for (const CsvRows rows : {CsvRows::all, CsvRows::errorsOnly}) {
        const std::string csv = reportCsv({archive}, rows);
        for (const auto& text : personal) {
            EXPECT_EQ(csv.find(text), std::string::npos) << text;
        }
        EXPECT_NE(csv.find("要素「x」は使えません。"), std::string::npos);
    }
}
