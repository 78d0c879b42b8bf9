// The CSV report: cells as a spreadsheet reads them, the whole file byte for
// byte, and what must never reach it.
#include "report/causes.h"
#include "report/csvreport.h"

#include <gtest/gtest.h>

using morvik::inspection::DocumentReport;
using morvik::inspection::EarlyEnd;
using morvik::inspection::Stage;
using morvik::report::ArchiveReport;
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
    // Worded again from the facts, the value hidden.
    morvik::platform::XmlErrorFacts valueFacts;
    valueFacts.domain = 17;
    valueFacts.code = 1824;
    valueFacts.message = "Element '{urn:hl7-org:v3}value': 'ヤマダ' is not a valid value of the "
                         "atomic type 'xs:integer'.";
    bad.facts.errors.push_back(
        {1824, 17, 4, 12, "  <value>ヤマダ</value>", "要素「value」の値「ヤマダ」は…", valueFacts});
    // No facts: the parser's message might quote the document.
    bad.facts.errors.push_back({1871, 17, 9, 0, "<addr>東京都千代田区1-1</addr>",
                                "Element 'x': \"東京都\" is not expected.", std::nullopt});
    good.checked.push_back(bad);
    auto missing = document(Stage::claims, "=c.xml", 1);
    missing.documentFolder = "/work/a/CLAIMS/";
    missing.message = "XMLファイルが「/work/a/CLAIMS/」に存在しない為、XMLの検証が出来ません。";
    good.checked.push_back(missing);

    ArchiveReport refused;
    refused.archive = "in/not.zip";
    refused.outcome = "endedEarly";
    EarlyEnd notZip;
    notZip.kind = EarlyEnd::Kind::extractionFailed;
    notZip.zipPath = "in/not.zip";
    notZip.extraction.zipPath = "in/not.zip";
    notZip.extraction.unzip.result = morvik::platform::UnzipResult::archiveNotFound;
    refused.earlyEnd = notZip;
    refused.message = "解凍に失敗しました。Error Code:0x9";
    refused.cause = {"in/not.zip はZIPアーカイブではありません。"};

    const std::string failing =
        "in/good.zip,特定健診・保健指導データ,\"DATA/d,1.xml\",NG,4,12,1824,エラー,"
        "値が正しくありません：要素「value」の値「…」は、型「xs:integer」（整数）の値として正しくありません。\r\n"
        "in/good.zip,特定健診・保健指導データ,\"DATA/d,1.xml\",NG,9,,1871,エラー,"
        "XMLのエラー（コード 1871）。理由の文は文書の内容を含むことがあるため、結果ログだけに"
        "書きます。\r\n";
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

// What the document holds (the source line of an error, and the value its
// reason quotes: names, addresses, insured-person numbers) never reaches the
// report, in either language.
TEST(CsvReport, NothingTheDocumentHolds) {
    // The last holds a character the wording marks values with.
    const std::vector<std::string> personal = {"山田 太郎", "東京都千代田区1-1", "12345678",
                                               "ヤマダ タロウ", "x\xEE\x80\x81y98765"};
    ArchiveReport archive;
    archive.archive = "a.zip";
    archive.extractionFolder = "/work/a/";
    auto bad = document(Stage::data, "d.xml", 1);
    bad.facts.errorCode = 1824;
    for (const auto& text : personal) {
        // As libxml2 reports a value that is not a number: the value quoted.
        morvik::platform::XmlErrorFacts facts;
        facts.domain = 17;
        facts.code = 1824;
        facts.message = "Element '{urn:hl7-org:v3}x': '" + text +
                        "' is not a valid value of the atomic type 'xs:integer'.";
        bad.facts.errors.push_back(
            {1824, 17, 3, 5, "<x>" + text + "</x>", "要素「x」の値「" + text + "」は…", facts});
    }
    archive.checked.push_back(bad);
    for (const auto language :
         {morvik::report::ReasonLanguage::japanese, morvik::report::ReasonLanguage::english}) {
        const std::string csv = reportCsv({archive}, CsvRows::errorsOnly, language);
        for (const auto& text : personal) {
            EXPECT_EQ(csv.find(text), std::string::npos) << text;
        }
        EXPECT_EQ(csv.find("98765"), std::string::npos) << csv;
        const bool japanese = language == morvik::report::ReasonLanguage::japanese;
        EXPECT_NE(
            csv.find(japanese ? "要素「x」の値「…」" : "Element '{urn:hl7-org:v3}x': '…' is not"),
            std::string::npos)
            << csv;
    }
}

// Unzip code 50 (the destination cannot take the files): beside the ZIP
// file, the cause points to --into; with --into already given, it does not.
TEST(Causes, ReadOnlyDestinationSuggestsInto) {
    using morvik::report::causeOfEarlyEnd;
    struct Case {
        std::string into;
        bool suggestsInto;
    };
    const std::vector<Case> cases = {
        {"", true},
        {"/tmp/work", false},
    };
    for (const auto& c : cases) {
        EarlyEnd end;
        end.kind = EarlyEnd::Kind::extractionFailed;
        end.zipPath = "/share/a.zip";
        end.extraction.zipPath = end.zipPath;
        end.extraction.place = morvik::inspection::extractionPlaceOf(end.zipPath, c.into);
        end.extraction.destinationNamed = !c.into.empty();
        end.extraction.unzip.result = morvik::platform::UnzipResult::diskFull;
        end.extractionFolder = end.extraction.place.folder();
        const auto lines = causeOfEarlyEnd(end);
        ASSERT_FALSE(lines.empty());
        EXPECT_TRUE(lines[0].starts_with("解凍先フォルダ「")) << lines[0];
        EXPECT_EQ(lines[0].find("--into") != std::string::npos, c.suggestsInto) << lines[0];
    }
}

// Each finding of the reception check is one row, in errors-only files too:
// its files, rule, level and the facts compared; a formula-like value from
// a hostile file name is made inert like any other cell.
TEST(CsvReport, ReceptionFindingsOneRowEach) {
    using morvik::inspection::FindingLevel;
    ArchiveReport archive;
    archive.archive = "in/a.zip";
    archive.reception.emplace();
    archive.reception->findings.push_back(
        {"summary-totals",
         FindingLevel::error,
         "集計情報の総額が請求の合計と合わない",
         {"su08_V08.xml"},
         {{"totalCostAmount", "9310"}, {"Σ unitAmount", "37240"}}});
    archive.reception->findings.push_back(
        {"file-name", FindingLevel::caution, "文書のファイル名が形式に合わない",
         {"=h1.xml", "CLAIMS/c1.xml"}, {}});
    for (const CsvRows rows : {CsvRows::all, CsvRows::errorsOnly}) {
        const std::string csv =
            reportCsv({archive}, rows, morvik::report::ReasonLanguage::japanese);
        EXPECT_NE(csv.find("in/a.zip,受付チェック,su08_V08.xml,NG,,,summary-totals,エラー,"
                           "集計情報の総額が請求の合計と合わない：totalCostAmount=9310、"
                           "Σ unitAmount=37240\r\n"),
                  std::string::npos)
            << csv;
        EXPECT_NE(csv.find("in/a.zip,受付チェック,'=h1.xml / CLAIMS/c1.xml,注意,,,file-name,"
                           "注意,文書のファイル名が形式に合わない\r\n"),
                  std::string::npos)
            << csv;
    }
}
