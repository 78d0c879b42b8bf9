// morvik-inspect end to end: the JSON report (parsed back and held against
// the fields docs/json-report.md documents), --into, and several archives in
// one call.
#include "cli/process.h"
#include "support/archives.h"
#include "support/testutil.h"
#include "support/zipbuilder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>

using namespace morvik::test;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

// The field names of one table of docs/json-report.md: the table under the
// heading that starts with heading, first column in backquotes.
std::set<std::string> documentedFields(const std::string& heading) {
    std::ifstream doc(MORVIK_SOURCE_DIR "/docs/json-report.md");
    std::set<std::string> fields;
    bool inside = false;
    const std::regex row(R"(^\| `([A-Za-z]+)` \|)");
    for (std::string line; std::getline(doc, line);) {
        if (line.starts_with("#")) {
            inside = line.starts_with(heading);
            continue;
        }
        std::smatch match;
        if (inside && std::regex_search(line, match, row)) {
            fields.insert(match[1]);
        }
    }
    return fields;
}

std::set<std::string> keysOf(const json& object) {
    std::set<std::string> keys;
    for (const auto& item : object.items()) {
        keys.insert(item.key());
    }
    return keys;
}

// Every object of the report has exactly the documented fields.
void expectDocumentedShape(const json& archive) {
    EXPECT_EQ(keysOf(archive), documentedFields("### Archive")) << archive.dump(2);
    EXPECT_EQ(keysOf(archive["counts"]), documentedFields("### counts"));
    if (!archive["endedEarly"].is_null()) {
        EXPECT_EQ(keysOf(archive["endedEarly"]), documentedFields("### endedEarly"));
    }
    if (!archive["reception"].is_null()) {
        EXPECT_EQ(keysOf(archive["reception"]), documentedFields("### reception"));
        for (const auto& finding : archive["reception"]["findings"]) {
            EXPECT_EQ(keysOf(finding), documentedFields("### Finding"));
        }
    }
    for (const auto& document : archive["documents"]) {
        EXPECT_EQ(keysOf(document), documentedFields("### Document"));
        for (const auto& error : document["errors"]) {
            EXPECT_EQ(keysOf(error), documentedFields("### Error"));
        }
    }
}

json parsed(const std::string& text) {
    json value = json::parse(text, nullptr, false);
    EXPECT_FALSE(value.is_discarded()) << text;
    return value;
}

fs::path copyOfDemo(const TempDir& dir) {
    const fs::path demo = MORVIK_DEMO_ZIP;
    fs::copy_file(demo, dir.path() / demo.filename());
    return dir.path() / demo.filename();
}

} // namespace

TEST(InspectJson, DocumentedFieldsAreTheOnesWritten) {
    // The documentation's tables are found at all.
    for (const char* heading : {"### Archive", "### counts", "### endedEarly", "### reception",
                                "### Finding", "### Document", "### Error"}) {
        EXPECT_GE(documentedFields(heading).size(), 2u) << heading;
    }
}

TEST(InspectJson, DemoArchive) {
    TempDir dir;
    const fs::path zip = copyOfDemo(dir);
    const std::string reportPath = dir.folder() + "report.json";
    const auto result = runInspect({"--json", reportPath, zip.string()});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(result.out.starts_with("交換用基本情報ファイルの調査 ")) << result.out;
    const json report = parsed(readFile(reportPath));
    ASSERT_TRUE(report.is_object());
    expectDocumentedShape(report);

    const std::string extraction = dir.folder() + zip.stem().string() + "/";
    EXPECT_EQ(report["format"], 2);
    EXPECT_EQ(report["program"], "morvik-inspect");
    EXPECT_EQ(report["version"], MORVIK_VERSION);
    EXPECT_EQ(report["archive"], zip.string());
    EXPECT_EQ(report["extractionFolder"], extraction);
    EXPECT_EQ(report["schemaFolder"], extraction + "XSD/");
    EXPECT_EQ(report["outcome"], "someFailed");
    EXPECT_EQ(report["exitCode"], 1);
    EXPECT_TRUE(report["endedEarly"].is_null());
    EXPECT_EQ(report["cause"], json::array());
    EXPECT_EQ(report["allErrors"], false);
    EXPECT_EQ(report["counts"], json({{"documents", 5}, {"ok", 4}, {"failed", 1}}));
    // The demo's own schema set is not the official one.
    ASSERT_TRUE(report["reception"].is_object());
    EXPECT_FALSE(report["reception"]["schemaSet"].empty());
    EXPECT_NE(result.out.find("【注意】schema-set"), std::string::npos) << result.out;

    struct Expected {
        std::string stage;
        std::string path;
        std::string verdict;
    };
    const std::vector<Expected> expected = {
        {"index", "ix08_V08.xml", "ok"},
        {"summary", "su08_V08.xml", "ok"},
        {"data", "DATA/h1310000001202612010001.xml", "ok"},
        {"data", "DATA/h1310000001202612010002.xml", "failed"},
        {"claims", "CLAIMS/c1310000001202612010001.xml", "ok"},
    };
    const json& documents = report["documents"];
    ASSERT_EQ(documents.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const json& document = documents[i];
        EXPECT_EQ(document["stage"], expected[i].stage) << i;
        EXPECT_EQ(document["path"], expected[i].path) << i;
        EXPECT_EQ(document["verdict"], expected[i].verdict) << i;
        // Whether more errors followed is not looked at without --all-errors.
        EXPECT_TRUE(document["errorsCapped"].is_null());
        if (expected[i].verdict == "ok") {
            EXPECT_TRUE(document["message"].is_null());
            EXPECT_TRUE(document["errors"].empty());
            continue;
        }
        EXPECT_EQ(document["message"], "XMLファイルの整合性チェックでエラーが発生しました。");
        EXPECT_TRUE(document["schema"].get<std::string>().starts_with(extraction + "XSD/"));
        EXPECT_FALSE(document["errorCode"].is_null());
        ASSERT_EQ(document["errors"].size(), 1u);
        const json& error = document["errors"][0];
        // The invalid date is on line 8 of the document.
        EXPECT_EQ(error["line"], 8);
        EXPECT_NE(error["srcText"].get<std::string>().find("2026-13-02"), std::string::npos)
            << error;
        EXPECT_FALSE(error["reason"].get<std::string>().empty());
        // The log's detail line carries the same line number and reason.
        EXPECT_NE(result.out.find(error["reason"].get<std::string>()), std::string::npos);
    }
}

// --json -: the report alone on standard output, the log on standard error;
// failures of every kind the run knows, and a run that ended early.
TEST(InspectJson, ReportOnStandardOutputWithFailures) {
    TempDir dir;
    auto files = standardFiles();
    files.push_back({"DATA/bad.xml", dataDocument("x")});
    files.push_back({"DATA/broken.xml", "<doc xmlns=\"urn:hl7-org:v3\"><name>"});
    files.push_back({"CLAIMS/c.xml", claimDocument()});
    std::erase_if(files, [](const auto& file) { return file.first == "ix08_V08.xml"; });
    const auto zip = makeArchive(dir.path(), "arc", files);

    const auto result = runInspect({"--json", "-", zip.string()});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(result.err.starts_with("交換用基本情報ファイルの調査 \n")) << result.err;
    const json report = parsed(result.out);
    expectDocumentedShape(report);
    EXPECT_EQ(report["counts"], json({{"documents", 5}, {"ok", 2}, {"failed", 3}}));
    const json& documents = report["documents"];
    ASSERT_EQ(documents.size(), 5u);
    // The missing index file: a failure without parser errors.
    EXPECT_EQ(documents[0]["path"], "ix08_V08.xml");
    EXPECT_EQ(documents[0]["verdict"], "failed");
    EXPECT_TRUE(documents[0]["errors"].empty());
    EXPECT_EQ(documents[0]["detail"], "");
    // The invalid value: line and column known.
    EXPECT_EQ(documents[2]["path"], "DATA/bad.xml");
    ASSERT_EQ(documents[2]["errors"].size(), 1u);
    EXPECT_EQ(documents[2]["errors"][0]["line"], 4);
    EXPECT_NE(documents[2]["errors"][0]["srcText"].get<std::string>().find("<value>x</value>"),
              std::string::npos);
    // Not well-formed.
    EXPECT_EQ(documents[3]["path"], "DATA/broken.xml");
    EXPECT_EQ(documents[3]["verdict"], "failed");
    EXPECT_FALSE(documents[3]["errors"].empty());

    // The second run ends early; the report says why, with the cause line.
    const auto second = runInspect({"--json", "-", zip.string()});
    EXPECT_EQ(second.status, 2);
    const json early = parsed(second.out);
    expectDocumentedShape(early);
    EXPECT_EQ(early["outcome"], "endedEarly");
    EXPECT_EQ(early["exitCode"], 2);
    EXPECT_EQ(early["extractionFolder"], dir.folder() + "arc/");
    EXPECT_TRUE(early["schemaFolder"].is_null());
    EXPECT_EQ(early["endedEarly"]["kind"], "alreadyExtracted");
    EXPECT_EQ(early["endedEarly"]["message"],
              "XMLZip圧縮フォルダには、すでに解凍済みのXMLファイルが含まれています。");
    EXPECT_TRUE(early["endedEarly"]["unzipCode"].is_null());
    ASSERT_EQ(early["cause"].size(), 1u);
    EXPECT_NE(second.err.find(early["cause"][0].get<std::string>()), std::string::npos);
    EXPECT_EQ(early["counts"], json({{"documents", 0}, {"ok", 0}, {"failed", 0}}));
}

TEST(InspectInto, ExtractsUnderTheFolderGivenAndRefusesThereOnTheNextRun) {
    TempDir dir;
    auto files = standardFiles();
    files.push_back({"DATA/d.xml", dataDocument("1")});
    fs::create_directory(dir.path() / "share");
    const auto zip = makeArchive(dir.path() / "share", "arc", files);
    fs::create_directory(dir.path() / "work");

    // The exit statuses of the stages alone: the small made-up documents are
    // not of the real kinds, which the fifth section would count.
    const auto first = runInspect(
        {"--into", dir.folder() + "work", "--json", "-", "--no-reception-check", zip.string()});
    EXPECT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(readFile(dir.path() / "work" / "arc" / "DATA" / "d.xml"), dataDocument("1"));
    EXPECT_FALSE(fs::exists(dir.path() / "share" / "arc"));
    const json report = parsed(first.out);
    EXPECT_EQ(report["extractionFolder"], dir.folder() + "work/arc/");
    EXPECT_EQ(report["schemaFolder"], dir.folder() + "work/arc/XSD/");

    // Beside the ZIP file the folder is still free; under --into it is not.
    const auto second = runInspect({"--into=" + dir.folder() + "work/", zip.string()});
    EXPECT_EQ(second.status, 2);
    EXPECT_NE(second.err.find("解凍先フォルダ " + dir.folder() + "work/arc/ には前回"),
              std::string::npos)
        << second.err;
    const auto beside = runInspect({"--no-reception-check", zip.string()});
    EXPECT_EQ(beside.status, 0) << beside.err;
    EXPECT_TRUE(fs::exists(dir.path() / "share" / "arc" / "DATA" / "d.xml"));
}

// Several archives: one after another, each log under its heading, the
// worst exit status, and a list in the report.
TEST(InspectSeveral, MixedOutcomes) {
    TempDir dir;
    auto good = standardFiles();
    good.push_back({"DATA/d.xml", dataDocument("1")});
    auto bad = standardFiles();
    bad.push_back({"DATA/d.xml", dataDocument("no")});
    const std::string goodZip = makeArchive(dir.path(), "good", good).string();
    const std::string badZip = makeArchive(dir.path(), "bad", bad).string();
    const std::string missingZip = dir.folder() + "missing.zip";

    struct Case {
        std::vector<std::string> zips;
        int status;
        std::vector<int> exitCodes;
    };
    const std::vector<Case> cases = {
        {{goodZip, badZip}, 1, {0, 1}},
        {{missingZip, goodZip, badZip}, 2, {2, 0, 1}},
        {{badZip, "notes.txt"}, 2, {1, 2}},
    };
    for (const auto& c : cases) {
        for (const auto& name : {"good", "bad"}) {
            fs::remove_all(dir.path() / name);
        }
        std::vector<std::string> args{"--json", dir.folder() + "report.json"};
        // The stages' statuses; the fifth section is off (the small made-up
        // documents are not of the real kinds).
        args.push_back("--no-reception-check");
        args.insert(args.end(), c.zips.begin(), c.zips.end());
        const auto result = runInspect(args);
        EXPECT_EQ(result.status, c.status) << c.zips.size();

        // Headings in the order given, the first without a blank line before it.
        std::vector<std::string> headings;
        for (const auto& line : linesOf(result.out)) {
            if (line.starts_with("==> ")) {
                headings.push_back(line);
            }
        }
        std::vector<std::string> expected;
        for (const auto& zip : c.zips) {
            expected.push_back("==> " + zip + " <==");
        }
        EXPECT_EQ(headings, expected);
        EXPECT_TRUE(result.out.starts_with(expected.front() + "\n")) << result.out;

        const json report = parsed(readFile(dir.path() / "report.json"));
        ASSERT_TRUE(report.is_array());
        ASSERT_EQ(report.size(), c.zips.size());
        for (std::size_t i = 0; i < c.zips.size(); ++i) {
            expectDocumentedShape(report[i]);
            EXPECT_EQ(report[i]["archive"], c.zips[i]);
            EXPECT_EQ(report[i]["exitCode"], c.exitCodes[i]) << c.zips[i];
        }
    }

    // The good archive's log between its heading and the next one, whole.
    fs::remove_all(dir.path() / "good");
    fs::remove_all(dir.path() / "bad");
    const auto pair = runInspect({"--no-reception-check", goodZip, badZip});
    const std::string goodLog = "==> " + goodZip +
                                " <==\n"
                                "交換用基本情報ファイルの調査 ・・・・・OK\n"
                                "集計情報ファイルの調査 ・・・・・OK\n"
                                "特定健診・保健指導データの調査 \n"
                                "d.xml・・・・・OK\n"
                                "特定健診・保健指導決済情報の調査 \n"
                                "\n==> " +
                                badZip + " <==\n";
    EXPECT_TRUE(pair.out.starts_with(goodLog)) << pair.out;
}

namespace {

// A summary schema whose <doc> holds any number of integer values, and a
// document with one bad value per line from line 3 on.
const char* const kManyValuesSchema = R"(<?xml version="1.0" encoding="UTF-8"?>
<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns="urn:hl7-org:v3"
           targetNamespace="urn:hl7-org:v3" elementFormDefault="qualified">
  <xs:element name="summary">
    <xs:complexType><xs:sequence>
      <xs:element name="total" type="xs:nonNegativeInteger"/>
    </xs:sequence></xs:complexType>
  </xs:element>
  <xs:element name="doc">
    <xs:complexType><xs:sequence>
      <xs:element name="value" type="xs:integer" maxOccurs="unbounded"/>
    </xs:sequence></xs:complexType>
  </xs:element>
</xs:schema>
)";

std::string manyBadValues(int count) {
    std::string text =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<doc xmlns=\"urn:hl7-org:v3\">\n";
    for (int i = 0; i < count; ++i) {
        text += "  <value>bad" + std::to_string(i) + "</value>\n";
    }
    return text + "</doc>\n";
}

fs::path manyErrorsArchive(const fs::path& folder, const std::string& name, int count) {
    auto files = standardFiles();
    for (auto& [path, content] : files) {
        if (path == "XSD/su08_V08.xsd") {
            content = kManyValuesSchema;
        }
    }
    files.push_back({"DATA/many.xml", manyBadValues(count)});
    return makeArchive(folder, name, files);
}

} // namespace

// --all-errors: every error in the report (and on standard error with
// --verbose), up to 100; the result log keeps the first alone.
TEST(InspectAllErrors, EveryErrorOfAFailingDocument) {
    struct Case {
        std::vector<std::string> options;
        int badValues;
        std::size_t errors;
        json capped;
    };
    const std::vector<Case> cases = {
        {{}, 3, 1, nullptr},
        {{"--all-errors"}, 3, 3, false},
        {{"--all-errors", "--verbose"}, 3, 3, false},
        {{"--all-errors"}, 120, 100, true},
    };
    std::string firstLog;
    for (const auto& c : cases) {
        TempDir dir;
        const auto zip = manyErrorsArchive(dir.path(), "arc", c.badValues);
        std::vector<std::string> args = c.options;
        args.insert(args.end(), {"--json", dir.folder() + "r.json", zip.string()});
        const auto result = runInspect(args);
        EXPECT_EQ(result.status, 1) << result.err;
        const json report = parsed(readFile(dir.path() / "r.json"));
        expectDocumentedShape(report);
        const json& many = report["documents"].back();
        ASSERT_EQ(many["path"], "DATA/many.xml");
        EXPECT_EQ(report["allErrors"], !c.options.empty());
        EXPECT_EQ(many["errorsCapped"], c.capped) << c.badValues;
        ASSERT_EQ(many["errors"].size(), c.errors) << c.badValues;
        for (std::size_t i = 0; i < c.errors; ++i) {
            // One bad value per line, from line 3 on, each error on its own line.
            EXPECT_EQ(many["errors"][i]["line"], 3 + i) << i;
            EXPECT_NE(
                many["errors"][i]["srcText"].get<std::string>().find("bad" + std::to_string(i)),
                std::string::npos)
                << i;
        }
        const bool verbose = c.options.size() == 2;
        EXPECT_EQ(result.err.find("  line 5, column ") != std::string::npos, verbose) << result.err;
        // The log is the same whatever was asked of the report.
        if (c.badValues == 3) {
            if (firstLog.empty()) {
                firstLog = result.out;
            }
            EXPECT_EQ(result.out, firstLog);
        }
    }
}

// Entries beside the top folder are left in the archive: one notice line,
// each named with --verbose, all listed in the report.
TEST(InspectLeftInArchive, NoticeVerboseAndReport) {
    for (const bool verbose : {false, true}) {
        TempDir dir;
        std::vector<ZipEntry> entries = {zipFile("readme.txt", "x"),
                                         zipFile("__MACOSX/arc/._ix08_V08.xml", "x")};
        for (const auto& [name, content] : standardFiles()) {
            entries.push_back(zipFile("arc/" + name, content));
        }
        writeZip(dir.path() / "arc.zip", entries);
        std::vector<std::string> args = {"--json", dir.folder() + "r.json", "--no-reception-check",
                                         dir.folder() + "arc.zip"};
        if (verbose) {
            args.insert(args.begin(), "--verbose");
        }
        const auto result = runInspect(args);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_NE(
            result.err.find("の 2 個の項目は、最上位のフォルダ 「arc/」 の外にあるため解凍せず"),
            std::string::npos)
            << result.err;
        EXPECT_EQ(result.err.find("left in archive: __MACOSX/arc/._ix08_V08.xml") !=
                      std::string::npos,
                  verbose)
            << result.err;
        const json report = parsed(readFile(dir.path() / "r.json"));
        expectDocumentedShape(report);
        EXPECT_EQ(report["leftInArchive"],
                  json::array({"readme.txt", "__MACOSX/arc/._ix08_V08.xml"}));
        EXPECT_FALSE(fs::exists(dir.path() / "readme.txt"));
        EXPECT_FALSE(fs::exists(dir.path() / "__MACOSX"));
    }
}

// After an element that is not expected the rest of its parent goes
// unchecked: the report says the list may be incomplete.
TEST(InspectAllErrors, AnUnexpectedElementMarksTheListIncomplete) {
    TempDir dir;
    auto files = standardFiles();
    for (auto& [path, content] : files) {
        if (path == "XSD/su08_V08.xsd") {
            content = kManyValuesSchema;
        }
    }
    files.push_back({"DATA/many.xml",
                     "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<doc xmlns=\"urn:hl7-org:v3\">\n"
                     "  <value>bad0</value>\n  <other/>\n  <value>bad1</value>\n</doc>\n"});
    const auto zip = makeArchive(dir.path(), "arc", files);
    const auto result =
        runInspect({"--all-errors", "--verbose", "--json", dir.folder() + "r.json", zip.string()});
    EXPECT_EQ(result.status, 1) << result.err;
    const json report = parsed(readFile(dir.path() / "r.json"));
    expectDocumentedShape(report);
    const json& many = report["documents"].back();
    EXPECT_EQ(many["errorsIncomplete"], true) << many.dump(2);
    EXPECT_NE(result.err.find("the list may be incomplete"), std::string::npos) << result.err;
}
