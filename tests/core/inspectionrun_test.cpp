// The inspection run end to end, through its services, on archives built by
// the tests: the whole result log is compared byte for byte.
#include "inspection/inspectionrun.h"
#include "support/archives.h"
#include "support/runharness.h"
#include "support/testutil.h"
#include "support/zipbuilder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

using namespace morvik::inspection;
using namespace morvik::test;
namespace fs = std::filesystem;

namespace {

constexpr const char* kSection = kMainSection;
constexpr const char* kOk = "・・・・・OK\r\n";
constexpr const char* kParserFailure = "XMLファイルの整合性チェックでエラーが発生しました。";
constexpr const char* kSelectZip = "XMLファイルが圧縮されているZIPファイルを選択してください。";
constexpr const char* kNoSchema = "XMLスキーマとして指定されたフォルダにスキーマが見つかりません。";
constexpr const char* kAlreadyExtracted =
    "XMLZip圧縮フォルダには、すでに解凍済みのXMLファイルが含まれています。";

std::string missingDocument(const std::string& path) {
    return "XMLファイルが「" + path + "」に存在しない為、XMLの検証が出来ません。 ";
}

using Harness = RunHarness;

// Replaces each parser detail line (line number, 行, ideographic space, ...)
// with a marker, after checking its form.
std::string maskDetails(const std::string& log) {
    static const std::regex detail("\r\n[0-9]+行　[^\r\n]*[^\r\n]\r\n");
    return std::regex_replace(log, detail, "\r\n<detail>\r\n");
}

} // namespace

TEST(InspectionRun, WorkedExampleLogByteForByte) {
    TempDir dir;
    auto files = standardFiles();
    files.push_back({"DATA/doc001.xml", dataDocument("1")});
    files.push_back({"DATA/doc002.xml", dataDocument("not a number")});
    files.push_back({"CLAIMS/clm001.xml", claimDocument()});
    const auto zip = makeArchive(dir.path(), "sample", files);

    // The layer's own English facts, as libxml2 and the layer word them.
    Harness h;
    h.reasons = morvik::report::ReasonWordingIn(morvik::report::ReasonLanguage::english);
    EXPECT_EQ(h.run(zip.string()), RunOutcome::someFailed);

    const std::string expected = std::string("交換用基本情報ファイルの調査 ") + kOk +
                                 "集計情報ファイルの調査 " + kOk +
                                 "特定健診・保健指導データの調査 \r\n"
                                 "doc001.xml" +
                                 kOk + "doc002.xml\r\n" + kParserFailure +
                                 "\r\n<detail>\r\n"
                                 "特定健診・保健指導決済情報の調査 \r\n"
                                 "clm001.xml" +
                                 kOk;
    EXPECT_EQ(maskDetails(h.log.text), expected) << h.log.text;
    EXPECT_EQ(h.log.clears, 1);
    EXPECT_TRUE(h.messages.shown.empty());
    // The detail names the line of the bad value and the parser's reason.
    EXPECT_NE(h.log.text.find("\r\n4行　  <value>not a number</value>Element"), std::string::npos)
        << h.log.text;
    // Panel 1 keeps the last progress text of the last document.
    ASSERT_FALSE(h.status.texts.empty());
    EXPECT_EQ(h.status.texts.back(), "XML出力ファイルの整合性チェック中");
    EXPECT_EQ(h.status.texts.size(), 5u * 3u);
    EXPECT_EQ(h.saved("TX_XmlFnm"), zip.string());
    EXPECT_EQ(h.saved("TX_Schima"), "");
    EXPECT_TRUE(fs::exists(dir.path() / "sample" / "DATA" / "doc002.xml"));
}

TEST(InspectionRun, AllValidArchiveReportsAllValid) {
    TempDir dir;
    auto files = standardFiles();
    files.push_back({"DATA/a.xml", dataDocument()});
    Harness h;
    EXPECT_EQ(h.run(makeArchive(dir.path(), "ok", files).string()), RunOutcome::allValid);
    EXPECT_EQ(h.log.text, std::string("交換用基本情報ファイルの調査 ") + kOk +
                              "集計情報ファイルの調査 " + kOk +
                              "特定健診・保健指導データの調査 \r\na.xml" + kOk +
                              "特定健診・保健指導決済情報の調査 \r\n");
}

TEST(InspectionRun, MissingPiecesOfTheArchive) {
    struct Case {
        const char* what;
        std::vector<std::string> drop;
        std::string expected; // with {E} for the extraction folder
    };
    const std::vector<Case> cases = {
        {"no summary file",
         {"su08_V08.xml"},
         std::string("交換用基本情報ファイルの調査 ") + kOk +
             "特定健診・保健指導データの調査 \r\n特定健診・保健指導決済情報の調査 \r\n"},
        {"no index file",
         {"ix08_V08.xml"},
         "交換用基本情報ファイルの調査 \r\n" + missingDocument("{E}ix08_V08.xml") + "\r\n\r\n" +
             "集計情報ファイルの調査 " + kOk +
             "特定健診・保健指導データの調査 \r\n特定健診・保健指導決済情報の調査 \r\n"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        auto files = standardFiles();
        std::erase_if(files, [&](const auto& file) {
            return std::find(c.drop.begin(), c.drop.end(), file.first) != c.drop.end();
        });
        Harness h;
        const auto zip = makeArchive(dir.path(), "arc", files);
        const auto outcome = h.run(zip.string());
        std::string expected = c.expected;
        const std::string extraction = (dir.path() / "arc").string() + "/";
        if (auto at = expected.find("{E}"); at != std::string::npos) {
            expected.replace(at, 3, extraction);
        }
        EXPECT_EQ(h.log.text, expected) << c.what;
        EXPECT_EQ(outcome,
                  c.drop[0] == "ix08_V08.xml" ? RunOutcome::someFailed : RunOutcome::allValid)
            << c.what;
    }
}

TEST(InspectionRun, DataListingSkipsHiddenAndReportsFolders) {
    TempDir dir;
    auto files = standardFiles();
    files.push_back({"DATA/a.xml", dataDocument("x")});
    files.push_back({"DATA/.hidden.xml", dataDocument()});
    files.push_back({"DATA/b.XML", dataDocument()});
    files.push_back({"DATA/notes.txt", "not a document"});
    files.push_back({"DATA/x.xml/", ""});
    const auto zip = makeArchive(dir.path(), "arc", files);
    Harness h;
    EXPECT_EQ(h.run(zip.string()), RunOutcome::someFailed);
    const std::string data = (dir.path() / "arc" / "DATA").string() + "/";
    const std::string expected = std::string("交換用基本情報ファイルの調査 ") + kOk +
                                 "集計情報ファイルの調査 " + kOk +
                                 "特定健診・保健指導データの調査 \r\n"
                                 "a.xml\r\n" +
                                 kParserFailure +
                                 "\r\n<detail>\r\n"
                                 "b.XML" +
                                 kOk +
                                 // The folder fails the existence test: empty detail line,
                                 // although the document before it left a detail.
                                 "x.xml\r\n" + missingDocument(data + "x.xml") + "\r\n\r\n" +
                                 "特定健診・保健指導決済情報の調査 \r\n";
    EXPECT_EQ(maskDetails(h.log.text), expected);
}

TEST(InspectionRun, LowerCaseDocumentFoldersAreFound) {
    TempDir dir;
    auto files = standardFiles();
    files.push_back({"data/a.xml", dataDocument()});
    files.push_back({"Claims/c.xml", claimDocument()});
    Harness h;
    EXPECT_EQ(h.run(makeArchive(dir.path(), "arc", files).string()), RunOutcome::allValid);
    EXPECT_NE(h.log.text.find("\r\na.xml・・・・・OK\r\n"), std::string::npos);
    EXPECT_NE(h.log.text.find("\r\nc.xml・・・・・OK\r\n"), std::string::npos);
}

TEST(InspectionRun, ZipPathChecksComeFirstAndKeepTheLog) {
    TempDir dir;
    struct Case {
        std::string zipPath;
        const char* message; // nullptr: passes the checks and reaches extraction
    };
    const std::vector<Case> cases = {
        {"", kSelectZip},
        {"   ", kSelectZip},
        {"zip", kSelectZip},
        {"a.zi", kSelectZip},
        {dir.folder() + "a.zip ", kSelectZip},
        {dir.folder() + "a.zipx", kSelectZip},
        {dir.folder() + "missing.zip", nullptr},
        {dir.folder() + "missing.Zip", nullptr},
        {dir.folder() + "missing.ZIP", nullptr},
    };
    for (const auto& c : cases) {
        Harness h;
        h.log.text = "previous run";
        h.settings.save("Morvik", kSection, "TX_Schima", "old");
        h.settings.savedKeys.clear();
        EXPECT_EQ(h.run(c.zipPath, " schema folder "), RunOutcome::endedEarly) << c.zipPath;
        EXPECT_EQ(h.log.text, "previous run") << c.zipPath;
        EXPECT_EQ(h.log.clears, 0);
        // Both inputs are saved as typed before any check.
        EXPECT_EQ(h.saved("TX_XmlFnm"), c.zipPath);
        EXPECT_EQ(h.saved("TX_Schima"), " schema folder ");
        EXPECT_EQ(h.settings.savedKeys, (std::vector<std::string>{"TX_XmlFnm", "TX_Schima"}));
        ASSERT_EQ(h.messages.shown.size(), 1u) << c.zipPath;
        // Past the ZIP path checks, the schema folder typed in (which does
        // not exist) is looked at before the archive is touched.
        EXPECT_EQ(
            h.messages.shown[0].text,
            c.message != nullptr
                ? std::string(c.message)
                : std::string("XMLスキーマとして指定されたフォルダにスキーマが見つかりません。"))
            << c.zipPath;
        EXPECT_EQ(h.messages.shown[0].caption, "Morvik");
        EXPECT_EQ(h.messages.shown[0].icon, MessageIcon::none);
    }
}

TEST(InspectionRun, SecondRunStopsAtTheExtractedCopy) {
    TempDir dir;
    const auto zip = makeArchive(dir.path(), "arc", standardFiles());
    Harness first;
    ASSERT_EQ(first.run(zip.string()), RunOutcome::allValid);

    Harness second;
    second.log.text = first.log.text;
    EXPECT_EQ(second.run(zip.string()), RunOutcome::endedEarly);
    ASSERT_EQ(second.messages.shown.size(), 1u);
    EXPECT_EQ(second.messages.shown[0].text, kAlreadyExtracted);
    EXPECT_EQ(second.programs.opened, std::vector<std::string>{dir.folder()});
    EXPECT_EQ(second.log.text, first.log.text);
    EXPECT_EQ(second.log.clears, 0);
}

TEST(InspectionRun, NoSchemaFolderLeavesLogAndExtractedFiles) {
    TempDir dir;
    auto files = standardFiles();
    std::erase_if(files, [](const auto& file) { return file.first.starts_with("XSD/"); });
    const auto zip = makeArchive(dir.path(), "arc", files);
    Harness h;
    h.log.text = "previous";
    EXPECT_EQ(h.run(zip.string()), RunOutcome::endedEarly);
    ASSERT_EQ(h.messages.shown.size(), 1u);
    EXPECT_EQ(h.messages.shown[0].text, kNoSchema);
    EXPECT_EQ(h.log.text, "previous");
    EXPECT_TRUE(fs::exists(dir.path() / "arc" / "ix08_V08.xml"));
}

TEST(InspectionRun, SchemaFolderTextIsUsedForEveryDocument) {
    TempDir dir;
    writeFile(dir.path() / "schemas" / "ix08_V08.xsd", kIndexSchema);
    writeFile(dir.path() / "schemas" / "su08_V08.xsd", kSummarySchema);
    auto files = standardFiles();
    std::erase_if(files, [](const auto& file) { return file.first.starts_with("XSD/"); });
    files.push_back({"DATA/a.xml", dataDocument()});
    const auto zip = makeArchive(dir.path(), "arc", files);
    Harness h;
    EXPECT_EQ(h.run(zip.string(), (dir.path() / "schemas").string()), RunOutcome::allValid);
    ASSERT_EQ(h.chosen.size(), 3u);
    for (const auto& [document, schema] : h.chosen) {
        EXPECT_TRUE(schema.starts_with((dir.path() / "schemas").string() + "/")) << schema;
    }
}

namespace {

// Everything the run tells its observer, as text lines.
struct RecordingObserver : RunObserver {
    std::vector<std::string> events;
    std::vector<DocumentReport> reports;
    void started(const std::string&, const std::string&, std::size_t documents) override {
        events.push_back("started " + std::to_string(documents));
    }
    void documentChecked(const DocumentReport& report) override {
        events.push_back(std::to_string(static_cast<int>(report.stage)) + " " +
                         report.documentName + " " + std::to_string(report.status));
        reports.push_back(report);
    }
    void endedEarly(const EarlyEnd& end) override {
        events.push_back("ended " + std::to_string(static_cast<int>(end.kind)) + " " +
                         std::to_string(end.unzipCode()));
    }
};

} // namespace

TEST(InspectionRun, ObserverHearsEveryDocumentInLogOrder) {
    TempDir dir;
    auto files = standardFiles();
    files.push_back({"DATA/a.xml", dataDocument()});
    files.push_back({"DATA/b.xml", dataDocument("x")});
    files.push_back({"CLAIMS/c.xml", claimDocument()});
    const auto zip = makeArchive(dir.path(), "arc", files);
    Harness h;
    RecordingObserver observer;
    h.observer = &observer;
    EXPECT_EQ(h.run(zip.string()), RunOutcome::someFailed);
    EXPECT_EQ(observer.events,
              (std::vector<std::string>{"started 5", "1 ix08_V08.xml 0", "2 su08_V08.xml 0",
                                        "3 a.xml 0", "3 b.xml -1", "4 c.xml 0"}));
    // The failed document's facts are those of its detail line.
    const DocumentReport& failed = observer.reports[3];
    ASSERT_EQ(failed.facts.errors.size(), 1u);
    const ValidationError& error = failed.facts.errors[0];
    EXPECT_EQ(failed.detail, std::to_string(error.line) + "行　" + error.srcText + error.reason);
    EXPECT_GT(error.line, 0);
    EXPECT_GT(error.column, 0);
    EXPECT_NE(failed.facts.errorCode, 0);
    EXPECT_EQ(failed.schemaPath, (dir.path() / "arc" / "XSD" / "su08_V08.xsd").string());
}

TEST(InspectionRun, StopRequestEndsTheRunBeforeTheNextDocument) {
    TempDir dir;
    auto files = standardFiles();
    files.push_back({"DATA/a.xml", dataDocument()});
    files.push_back({"DATA/b.xml", dataDocument()});
    const auto zip = makeArchive(dir.path(), "arc", files);
    for (int allowed : {0, 1, 3}) {
        fs::remove_all(dir.path() / "arc");
        Harness h;
        RecordingObserver observer;
        h.observer = &observer;
        int asked = 0;
        // Counted from the first document on: the extraction asks too.
        h.stopRequested = [&] {
            return fs::exists(dir.path() / "arc" / "ix08_V08.xml") && asked++ >= allowed;
        };
        EXPECT_EQ(h.run(zip.string()), RunOutcome::stopped) << allowed;
        EXPECT_EQ(observer.reports.size(), static_cast<std::size_t>(allowed)) << allowed;
        const std::vector<std::string> lines = {
            "交換用基本情報ファイルの調査 ・・・・・OK\r\n",
            "集計情報ファイルの調査 ・・・・・OK\r\n",
            "特定健診・保健指導データの調査 \r\na.xml・・・・・OK\r\n"};
        std::string expected;
        for (int i = 0; i < allowed; ++i) {
            expected += lines[static_cast<std::size_t>(i)];
        }
        EXPECT_EQ(h.log.text, expected) << allowed;
    }
}

// A stop during extraction rolls it back as a failure would, without a
// failure message: the user asked for it.
TEST(InspectionRun, StopDuringExtractionLeavesNothingAndTellsNoFailure) {
    TempDir dir;
    auto files = standardFiles();
    for (int i = 0; i < 6; ++i) {
        files.push_back({"DATA/d" + std::to_string(i) + ".xml", dataDocument()});
    }
    const auto zip = makeArchive(dir.path(), "arc", files);
    for (int allowed : {0, 2, 5}) {
        Harness h;
        RecordingObserver observer;
        h.observer = &observer;
        int asked = 0;
        h.stopRequested = [&] { return asked++ >= allowed; };
        EXPECT_EQ(h.run(zip.string()), RunOutcome::stopped) << allowed;
        EXPECT_EQ(asked, allowed + 1) << allowed;
        EXPECT_FALSE(fs::exists(dir.path() / "arc")) << allowed;
        EXPECT_TRUE(h.messages.shown.empty()) << allowed;
        EXPECT_TRUE(observer.events.empty()) << allowed;
        EXPECT_EQ(h.log.text, "") << allowed;
    }
}

TEST(InspectionRun, ObserverHearsWhyARunEndedEarly) {
    TempDir dir;
    const auto zip = makeArchive(dir.path(), "arc", standardFiles());
    writeFile(dir.path() / "broken.zip", "not a zip archive");
    {
        const auto noSchema = makeArchive(dir.path(), "bare", {{"ix08_V08.xml", indexDocument()}});
        Harness h;
        RecordingObserver observer;
        h.observer = &observer;
        EXPECT_EQ(h.run(noSchema.string()), RunOutcome::endedEarly);
        EXPECT_EQ(observer.events, std::vector<std::string>{"ended 3 0"});
    }
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "ended 0 0"},
        {(dir.path() / "broken.zip").string(), "ended 2 9"},
        {zip.string(), "ended 1 0"}, // run once below first, so it is extracted already
    };
    Harness first;
    ASSERT_EQ(first.run(zip.string()), RunOutcome::allValid);
    for (const auto& [path, expected] : cases) {
        Harness h;
        RecordingObserver observer;
        h.observer = &observer;
        EXPECT_EQ(h.run(path), RunOutcome::endedEarly) << path;
        EXPECT_EQ(observer.events, std::vector<std::string>{expected}) << path;
    }
}

// Where the archives come from, file names ignore letter case: every fixed
// name is found however the archive spells it, and folders that differ only
// in case are one folder.
TEST(InspectionRun, FixedNamesInAnyLetterCase) {
    const std::string ok = "・・・・・OK\r\n";
    const std::string failed = std::string("\r\n") + kParserFailure + "\r\n<detail>\r\n";
    const std::string index = "交換用基本情報ファイルの調査 ";
    const std::string summary = "集計情報ファイルの調査 ";
    const std::string data = "特定健診・保健指導データの調査 \r\n";
    const std::string claims = "特定健診・保健指導決済情報の調査 \r\n";
    struct Case {
        const char* what;
        std::string zipName;
        std::string topFolder;
        ArchiveFiles files;
        std::string log;
    };
    const std::vector<Case> cases = {
        {"DATA and data are one folder",
         "arc",
         "arc",
         {{"ix08_V08.xml", indexDocument()},
          {"su08_V08.xml", summaryDocument()},
          {"XSD/ix08_V08.xsd", kIndexSchema},
          {"XSD/su08_V08.xsd", kSummarySchema},
          {"DATA/a.xml", dataDocument()},
          {"DATA/b.xml", dataDocument()},
          {"data/b.xml", dataDocument("not a number")},
          {"data/c.xml", dataDocument()},
          {"Claims/k.xml", claimDocument()}},
         index + ok + summary + ok + data + "a.xml" + ok + "b.xml" + ok + "b.xml" + failed +
             "c.xml" + ok + claims + "k.xml" + ok},
        {"index and summary file names in capitals",
         "arc",
         "arc",
         {{"IX08_V08.XML", indexDocument()},
          {"Su08_V08.xml", summaryDocument()},
          {"XSD/ix08_V08.xsd", kIndexSchema},
          {"XSD/su08_V08.xsd", kSummarySchema}},
         index + ok + summary + ok + data + claims},
        {"top folder in another case than the ZIP file", "ARC2", "Arc2", standardFiles(),
         index + ok + summary + ok + data + claims},
        {"schema file in another case",
         "arc",
         "arc",
         {{"ix08_V08.xml", indexDocument()},
          {"su08_V08.xml", summaryDocument()},
          {"xsd/ix08_V08.xsd", kIndexSchema},
          {"xsd/SU08_V08.XSD", kSummarySchema},
          {"DATA/a.xml", dataDocument()}},
         index + ok + summary + ok + data + "a.xml" + ok + claims},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const fs::path made = makeArchive(dir.path(), c.topFolder, c.files);
        const fs::path zip = dir.path() / (c.zipName + ".zip");
        if (made != zip) {
            fs::rename(made, zip);
        }
        Harness h;
        h.run(zip.string());
        EXPECT_TRUE(h.messages.shown.empty()) << c.what;
        EXPECT_EQ(maskDetails(h.log.text), c.log) << c.what << "\n" << h.log.text;
    }
}

// A file name with control characters (planted beside the archive's own
// documents) can neither break the log's lines nor reach a terminal raw.
TEST(InspectionRun, ControlCharactersInNamesAreShownNotObeyed) {
    TempDir dir;
    auto files = standardFiles();
    files.push_back({"DATA/a.xml", dataDocument()});
    std::vector<ZipEntry> entries = {zipFile("beside.txt", "x")};
    for (const auto& [name, content] : files) {
        entries.push_back(zipFile("arc/" + name, content));
    }
    const auto zip = dir.path() / "arc.zip";
    writeZip(zip, entries);
    const std::string planted = "b\r\n\x1B[2J・・・・・OK\x7F.xml";
    // An extracted copy would stop the run: the file appears between the
    // extraction and the listing (as another program could put it there),
    // when the run tells of the entry it left in the archive.
    struct Planter : RunObserver {
        fs::path path;
        void leftInArchive(const std::vector<std::string>&) override {
            writeFile(path, dataDocument());
        }
    } planter;
    planter.path = dir.path() / "arc" / "DATA" / planted;
    Harness h;
    h.observer = &planter;
    EXPECT_EQ(h.run(zip.string()), RunOutcome::allValid);
    EXPECT_NE(h.log.text.find("a.xml・・・・・OK\r\nb␍␊␛[2J・・・・・OK␡.xml・・・・・OK\r\n"),
              std::string::npos)
        << h.log.text;
    EXPECT_EQ(h.log.text.find('\x1B'), std::string::npos);
    EXPECT_EQ(h.log.text.find('\x7F'), std::string::npos);
}

// An earlier extraction whose top folder differs from the ZIP file's name
// only in letter case is the same folder: the next run stops there.
TEST(InspectionRun, ExtractedCopyInAnotherLetterCaseStopsTheNextRun) {
    TempDir dir;
    const auto made = makeArchive(dir.path(), "Arc2", standardFiles());
    const auto zip = dir.path() / "ARC2.zip";
    fs::rename(made, zip);
    Harness first;
    EXPECT_EQ(first.run(zip.string()), RunOutcome::allValid);
    Harness second;
    EXPECT_EQ(second.run(zip.string()), RunOutcome::endedEarly);
    ASSERT_EQ(second.messages.shown.size(), 1u);
    EXPECT_EQ(second.messages.shown[0].text, kAlreadyExtracted);
}

// A DATA document in another namespace is checked against the summary schema
// as a last resort; its reason names the namespace the folder needs, not the
// summary schema's. The English reason stays libxml2-shaped.
TEST(InspectionRun, DataDocumentInAnotherNamespaceNamesTheNamespaceItNeeds) {
    TempDir dir;
    auto files = standardFiles();
    std::string document = dataDocument("1");
    document.replace(document.find("urn:hl7-org:v3"), 14, "urn:wrong");
    files.push_back({"DATA/d1.xml", document});
    const fs::path zip = makeArchive(dir.path(), "arc", files);
    Harness japanese;
    japanese.run(zip.string());
    EXPECT_NE(japanese.log.text.find("名前空間が違います：ルート要素「doc」（名前空間「urn:wrong」）。"
                                     "このフォルダのファイルは名前空間「urn:hl7-org:v3」で書きます。"),
              std::string::npos)
        << japanese.log.text;
    EXPECT_EQ(japanese.log.text.find("https://www.mhlw.go.jp"), std::string::npos)
        << japanese.log.text;
    TempDir again;
    const fs::path zip2 = makeArchive(again.path(), "arc", files);
    Harness english;
    english.reasons = morvik::report::ReasonWordingIn(morvik::report::ReasonLanguage::english);
    english.run(zip2.string());
    EXPECT_NE(english.log.text.find("Element '{urn:wrong}doc': No matching global declaration "
                                    "available for the validation root"),
              std::string::npos)
        << english.log.text;
}

// The namespace a DATA or CLAIMS document's reason names when no schema
// declares its root: the one its folder needs (HL7's for DATA, the ministry's
// for CLAIMS, as the standard schemas declare them), never the namespace of
// the summary schema tried last (the test's summary schema is in HL7's
// namespace). The English reason names it too where the summary schema's
// namespace is not the one needed.
TEST(InspectionRun, UndeclaredRootNamesTheNamespaceOfItsFolder) {
    const std::string legacyClaim = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                    "<claim xmlns=\"http://tokuteikenshin.jp/checkup/2007\">\n"
                                    "  <amount>9900</amount>\n</claim>\n";
    std::string misnamedData = dataDocument("1");
    misnamedData.replace(misnamedData.find("<doc "), 5, "<report ");
    misnamedData.replace(misnamedData.find("</doc>"), 6, "</report>");
    const struct {
        const char* name;
        std::string path, content;
        morvik::report::ReasonLanguage language;
        std::string want;
    } cases[] = {
        {"claim in the legacy namespace", "CLAIMS/c1.xml", legacyClaim,
         morvik::report::ReasonLanguage::japanese,
         "　→ 名前空間が違います：ルート要素「claim」（名前空間「http://tokuteikenshin.jp/checkup/"
         "2007」）。このフォルダのファイルは名前空間「https://www.mhlw.go.jp/stf/seisakunitsuite/"
         "bunya/0000161103.html」で書きます。\r\n"},
        {"claim in the legacy namespace, English", "CLAIMS/c1.xml", legacyClaim,
         morvik::report::ReasonLanguage::english,
         "Element '{http://tokuteikenshin.jp/checkup/2007}claim': No matching global declaration "
         "available for the validation root (documents in this folder need the namespace "
         "'https://www.mhlw.go.jp/stf/seisakunitsuite/bunya/0000161103.html').\r\n"},
        {"DATA document with another root in its namespace", "DATA/d1.xml", misnamedData,
         morvik::report::ReasonLanguage::japanese,
         "　→ "
         "ルート要素が違います：「report」（名前空間「urn:hl7-org:v3」）を宣言しているスキーマが"
         "ありません。\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        auto files = standardFiles();
        files.push_back({c.path, c.content});
        Harness h;
        h.reasons = morvik::report::ReasonWordingIn(c.language);
        h.run(makeArchive(dir.path(), "arc", files).string());
        EXPECT_NE(h.log.text.find(c.want), std::string::npos) << h.log.text;
    }
}
