// The checks of the whole archive: the value paths collected while a
// document streams, the rules one by one on archives shaped like the real
// files (a row that passes and a row that fails each), the real archive's
// findings, the schema set's digests, the command line's fifth section and
// its switch, and that no finding shows a person's values.
#include "cli/process.h"
#include "inspection/archivecheck.h"
#include "inspection/checks/checktools.h"
#include "inspection/checks/schemaset.h"
#include "inspection/xmlschemachk.h"
#include "platform/zip/unzip.h"
#include "support/realshaped.h"
#include "support/runharness.h"
#include "support/testutil.h"
#include "support/zipbuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <set>

using namespace morvik::test;
using morvik::inspection::Finding;
using morvik::inspection::FindingLevel;
using morvik::inspection::ReceptionReport;
using morvik::inspection::SchemaFileVerdict;
namespace fs = std::filesystem;
namespace checks = morvik::inspection::checks;

namespace {

const fs::path kRealData = fs::path(MORVIK_REALDATA_DIR) / "mhlw-v08-2024";
const fs::path kRealArchive = kRealData / "5521111111_00280081_202405271_1.zip";

struct ReceptionRecorder : morvik::inspection::RunObserver {
    std::optional<ReceptionReport> report;
    void receptionChecked(const ReceptionReport& found) override { report = found; }
};

struct Checked {
    morvik::inspection::RunOutcome outcome;
    std::string log;
    ReceptionReport report;
};

Checked inspect(const fs::path& zip, const std::string& schemaText = "") {
    RunHarness h;
    ReceptionRecorder recorder;
    h.receptionCheck = true;
    h.observer = &recorder;
    const auto outcome = h.run(zip.string(), schemaText);
    EXPECT_TRUE(recorder.report.has_value());
    return {outcome, h.log.text, recorder.report.value_or(ReceptionReport{})};
}

std::vector<const Finding*> findingsOf(const ReceptionReport& report, const std::string& rule) {
    std::vector<const Finding*> found;
    for (const Finding& finding : report.findings) {
        if (finding.rule == rule) {
            found.push_back(&finding);
        }
    }
    return found;
}

std::string value(const Finding& finding, const std::string& name) {
    for (const auto& fact : finding.compared) {
        if (fact.name == name) {
            return fact.value;
        }
    }
    return "(none)";
}

std::string rulesOf(const ReceptionReport& report) {
    std::string text;
    for (const Finding& finding : report.findings) {
        text += finding.rule + " ";
    }
    return text;
}

} // namespace

// ---- the path language and the collection in the validation's one pass ----

TEST(ValuePaths, WhatIsAPath) {
    struct Row {
        const char* path;
        bool accepted;
    };
    const Row rows[] = {
        {"settlement/unitAmount/@value", true},
        {"@schemaLocation", true},
        {"recordTarget/patientRole/id[@root='1.2.392.200119.6.101']/@extension", true},
        {"participant[@typeCode='HLD']/time/high/@value", true},
        {"settlement/unitAmount", false},         // no attribute at the end
        {"settlement//unitAmount/@value", false}, // an empty step
        {"id[@root=1.2]/@extension", false},      // the value unquoted
        {"id[root='x']/@extension", false},       // the predicate not on an attribute
        {"a b/@c", false},
        {"", false},
    };
    for (const Row& row : rows) {
        morvik::platform::ValuePaths paths;
        EXPECT_EQ(paths.add(row.path).has_value(), row.accepted) << row.path;
    }
    morvik::platform::ValuePaths paths;
    EXPECT_EQ(paths.add("a/@b"), paths.add("a/@b")); // the same path, the same index
}

// Values come from the validation itself: a valid document, one that fails
// its schema (still read to its end), and one that is not well-formed (cut
// short: not readable, so its values are not all it holds).
TEST(ValuePaths, CollectedWhileValidating) {
    struct Row {
        const char* name;
        std::string content;
        bool valid;
        bool complete;
        std::vector<std::string> values; // unitAmount, every other amount, insurer id
    };
    ShapedPerson person;
    std::string failing = shapedClaim(person);
    failing.replace(failing.find("<encounter>"), 11, "<encounterX>");
    failing.replace(failing.find("</encounter>"), 12, "</encounterX>");
    std::string broken = shapedClaim(person);
    broken.replace(broken.find("</settlement>"), 13, "</settlementX>");
    const Row rows[] = {
        {"valid.xml", shapedClaim(person), true, true, {"9900", "2900", "06130009"}},
        {"invalid.xml", failing, true, true, {"9900", "2900", "06130009"}},
        {"broken.xml", broken, false, false, {"9900", "2900", "06130009"}},
    };
    TempDir dir;
    // A claim schema that wants nothing but an <encounter> first: the failing
    // row breaks that, the others pass (lax beyond it).
    writeFile(dir.path() / "cc.xsd",
              std::string("<?xml version=\"1.0\"?>\n<xs:schema "
                          "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" targetNamespace=\"") +
                  kMinistryNamespace +
                  "\" elementFormDefault=\"qualified\">\n<xs:element name=\"checkupClaim\">"
                  "<xs:complexType><xs:sequence><xs:element name=\"encounter\">"
                  "<xs:complexType><xs:sequence><xs:any processContents=\"skip\" "
                  "maxOccurs=\"unbounded\"/></xs:sequence></xs:complexType></xs:element>"
                  "<xs:any processContents=\"skip\" maxOccurs=\"unbounded\"/></xs:sequence>"
                  "</xs:complexType></xs:element></xs:schema>\n");
    morvik::platform::ValuePaths paths;
    const auto unit = *paths.add("settlement/unitAmount/@value");
    const auto other = *paths.add("settlement/unitPriceOther/amount/@value");
    const auto insurer = *paths.add("subjectPerson/insuranceCard/insurerNumber/@extension");
    for (const Row& row : rows) {
        writeFile(dir.path() / row.name, row.content);
        morvik::inspection::ValidationFacts facts;
        facts.valuePaths = &paths;
        std::string message;
        std::string detail;
        RecordingStatusLine status;
        const int result = morvik::inspection::XmlSchemaChk(
            dir.folder(), row.name, dir.folder(), "cc.xsd", message, detail, status, &facts);
        EXPECT_EQ(result == 0, row.valid && row.content == shapedClaim(person)) << row.name;
        EXPECT_EQ(facts.values.complete, row.complete) << row.name;
        EXPECT_EQ(facts.values.rootName, "checkupClaim") << row.name;
        EXPECT_EQ(facts.values.rootNamespace, kMinistryNamespace) << row.name;
        std::vector<std::string> got;
        for (const auto wanted : {unit, other, insurer}) {
            for (const auto& [index, text] : facts.values.values) {
                if (index == wanted) {
                    got.push_back(text);
                }
            }
        }
        EXPECT_EQ(got, row.values) << row.name;
    }
}

// ---- numbers and dates ----

TEST(ReceptionTools, CheckDigitsAndDates) {
    struct Digits {
        const char* number;
        bool holds;
    };
    // Insurer and body numbers of the real archive, and one digit off each.
    for (const Digits& row :
         {Digits{"00280081", true}, Digits{"00280082", false}, Digits{"2813300114", true},
          Digits{"2813303589", true}, Digits{"2813303580", false}, Digits{"5521111111", true},
          Digits{"06130009", true}, Digits{"0613000a", false}}) {
        EXPECT_EQ(checks::checkDigitHolds(row.number), row.holds) << row.number;
    }
    struct Date {
        const char* text;
        bool real;
    };
    for (const Date& row :
         {Date{"20240229", true}, Date{"20230229", false}, Date{"21000229", false},
          Date{"20000229", true}, Date{"20240231", false}, Date{"20241301", false},
          Date{"20240100", false}, Date{"2024011", false}}) {
        EXPECT_EQ(checks::isCalendarDate(row.text), row.real) << row.text;
    }
}

// ---- every rule: a row that holds and a row that breaks it ----

struct RuleRow {
    const char* rule;
    FindingLevel level;
    std::function<void(ShapedArchive&)> breakIt; // null: the archive as built holds
};

class RuleTest : public ::testing::TestWithParam<RuleRow> {};

TEST_P(RuleTest, HoldsAndBreaks) {
    const RuleRow& row = GetParam();
    TempDir dir;
    ShapedArchive holding;
    const Checked good = inspect(makeArchive(dir.path(), holding.baseName(), holding.files()));
    EXPECT_TRUE(findingsOf(good.report, row.rule).empty()) << rulesOf(good.report);

    TempDir other;
    ShapedArchive broken;
    row.breakIt(broken);
    const Checked bad = inspect(makeArchive(other.path(), broken.baseName(), broken.files()));
    const auto found = findingsOf(bad.report, row.rule);
    ASSERT_FALSE(found.empty()) << row.rule << ": " << rulesOf(bad.report) << "\n" << bad.log;
    EXPECT_EQ(found.front()->level, row.level);
    // The finding's line is in the fifth section of the log.
    EXPECT_NE(bad.log.find("ファイル間の整合性の調査 \r\n"), std::string::npos);
    EXPECT_NE(bad.log.find(findingLine(*found.front())), std::string::npos);
    // エラー fails the run; 注意 alone does not (the lax schema set is itself
    // a 注意, so an archive that holds every other rule is all valid).
    if (row.level == FindingLevel::error) {
        EXPECT_EQ(bad.outcome, morvik::inspection::RunOutcome::someFailed);
    }
    EXPECT_EQ(good.outcome, morvik::inspection::RunOutcome::allValid) << good.log;
}

const RuleRow kRules[] = {
    {"archive-name", FindingLevel::caution,
     [](ShapedArchive& a) { a.zipBase = "1310000003_06130009_20261201_1"; }},
    {"archive-name-index", FindingLevel::caution,
     [](ShapedArchive& a) { a.indexSender = "1310000011"; }},
    {"document-kind", FindingLevel::error,
     [](ShapedArchive& a) {
         // An index file copied into DATA.
         a.extra.push_back({"DATA/h131000001120261201019999.xml", shapedIndex(a)});
         a.totalRecordCount = "5";
     }},
    {"legacy-namespace", FindingLevel::error,
     [](ShapedArchive& a) {
         for (auto& p : a.persons) {
             p.claimNamespace = "http://tokuteikenshin.jp/checkup/2007";
         }
     }},
    {"file-name", FindingLevel::caution,
     [](ShapedArchive& a) {
         a.persons[0].dataName = "h13100000112026120101_0001_06130009.xml";
         a.persons[0].claimName = "c13100000112026120101_0001_06130009.xml";
     }},
    {"file-pairing", FindingLevel::error,
     [](ShapedArchive& a) { a.persons[1].claimName = "c131000001120261201010000099.xml"; }},
    {"file-name-archive", FindingLevel::caution,
     [](ShapedArchive& a) {
         a.persons[0].dataName = "h131000001120261201110000001.xml";
         a.persons[0].claimName = "c131000001120261201110000001.xml";
     }},
    {"record-count", FindingLevel::error, [](ShapedArchive& a) { a.totalRecordCount = "3"; }},
    {"interaction-type", FindingLevel::caution, [](ShapedArchive& a) { a.interactionType = "1"; }},
    {"subject-count", FindingLevel::error, [](ShapedArchive& a) { a.totalSubjectCount = "3"; }},
    {"summary-totals", FindingLevel::error,
     [](ShapedArchive& a) {
         a.totalCostAmount = "9900";
         a.totalClaimAmount = "9900";
     }},
    {"summary-arithmetic", FindingLevel::error,
     [](ShapedArchive& a) { a.totalPaymentAmount = "100"; }},
    {"service-event-type", FindingLevel::error,
     [](ShapedArchive& a) { a.persons[1].category = "21"; }},
    {"claim-unit-total", FindingLevel::error,
     [](ShapedArchive& a) {
         a.persons[0].others = {"2900", "500"};
     }},
    {"claim-amount", FindingLevel::error,
     [](ShapedArchive& a) { a.persons[0].paymentAmount = "1000"; }},
    {"pair-identity", FindingLevel::error,
     [](ShapedArchive& a) { a.persons[1].claimInsured = "7000009"; }},
    {"insurer-number", FindingLevel::error,
     [](ShapedArchive& a) {
         a.persons[0].insurer = "06130001";
         a.receiver = "06130001";
     }},
    {"body-number", FindingLevel::caution, [](ShapedArchive& a) { a.sender = "1310000001"; }},
    {"calendar-date", FindingLevel::error,
     [](ShapedArchive& a) { a.persons[0].ticketExpiry = "20270231"; }},
    {"date-order", FindingLevel::error,
     [](ShapedArchive& a) { a.persons[1].examDate = "20261205"; }},
    {"age-range", FindingLevel::caution, [](ShapedArchive& a) { a.persons[0].birth = "19880101"; }},
    {"schema-choice", FindingLevel::caution,
     [](ShapedArchive& a) {
         // The declared hc08 is missing; the guidance schema declares
         // ClinicalDocument too, and the run chooses it instead.
         a.dataSchema = "hg08_V08.xsd";
     }},
};

INSTANTIATE_TEST_SUITE_P(EveryRule, RuleTest, ::testing::ValuesIn(kRules),
                         [](const ::testing::TestParamInfo<RuleRow>& row) {
                             std::string name = row.param.rule;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

// ---- the real archive ----

namespace {

// The real archive's files below its top folder, unpacked into dir.
ArchiveFiles realFiles(const TempDir& dir) {
    EXPECT_EQ(morvik::platform::UnZip(nullptr,
                                      "-x -o -q \"" + kRealArchive.string() + "\" \"" +
                                          dir.folder() + "unpacked/\"",
                                      0, 0),
              0);
    const fs::path top = dir.path() / "unpacked" / "5521111111_00280081_202405271_1";
    ArchiveFiles files;
    for (const auto& item : fs::recursive_directory_iterator(top)) {
        if (item.is_regular_file()) {
            files.push_back(
                {fs::relative(item.path(), top).generic_string(), readFile(item.path())});
        }
    }
    return files;
}

} // namespace

// Exactly the findings the reception note lists for it, no more, and the run
// fails because of them.
TEST(RealArchive, ExactlyTheListedFindings) {
    if (!fs::exists(kRealArchive)) {
        GTEST_SKIP() << "real archive not present";
    }
    TempDir dir;
    fs::copy_file(kRealArchive, dir.path() / kRealArchive.filename());
    const Checked checked = inspect(dir.path() / kRealArchive.filename());
    EXPECT_EQ(checked.outcome, morvik::inspection::RunOutcome::someFailed);

    std::multiset<std::string> rules;
    for (const Finding& finding : checked.report.findings) {
        rules.insert(finding.rule + (finding.level == FindingLevel::error ? " エラー" : " 注意"));
    }
    EXPECT_EQ(rules, (std::multiset<std::string>{
                         "summary-totals エラー", "summary-arithmetic エラー",
                         "archive-name-index 注意", "interaction-type 注意", "file-name 注意",
                         "file-name-archive 注意", "legacy-namespace エラー"}))
        << checked.log;

    const Finding& totals = *findingsOf(checked.report, "summary-totals").at(0);
    EXPECT_EQ(value(totals, "totalCostAmount"), "9310");
    EXPECT_EQ(value(totals, "Σ unitAmount"), "37240");
    EXPECT_EQ(value(totals, "totalClaimAmount"), "(none)"); // 37240 = Σ claimAmount holds
    const Finding& arithmetic = *findingsOf(checked.report, "summary-arithmetic").at(0);
    EXPECT_EQ(value(arithmetic, "差引"), "9310");
    EXPECT_EQ(value(arithmetic, "totalClaimAmount"), "37240");
    const Finding& name = *findingsOf(checked.report, "archive-name-index").at(0);
    EXPECT_EQ(value(name, "ZIP名の送付元"), "5521111111");
    EXPECT_EQ(value(name, "ix08 sender"), "2813300114");
    EXPECT_EQ(findingsOf(checked.report, "file-name").at(0)->files.size(), 8u);
    EXPECT_EQ(value(*findingsOf(checked.report, "file-name-archive").at(0), "ファイル名のN"), "0");
    EXPECT_EQ(findingsOf(checked.report, "legacy-namespace").at(0)->files.size(), 4u);
    // The schema set is the official one, file by file.
    EXPECT_EQ(checked.report.schemaFiles.size(), 11u);
    for (const auto& file : checked.report.schemaFiles) {
        EXPECT_EQ(file.verdict, SchemaFileVerdict::official) << file.file;
    }
}

// The table in the code is the real schema set's, recomputed.
TEST(SchemaSet, DigestsOfTheOfficialSet) {
    if (!fs::exists(kRealData / "XSD")) {
        GTEST_SKIP() << "real schema set not present";
    }
    for (const auto& [name, digest] : checks::kOfficialSchemaSet) {
        EXPECT_EQ(checks::normalisedSha256(readFile(kRealData / "XSD" / name)), digest) << name;
    }
    // Line ends, trailing blanks and trailing empty lines do not count; a
    // character does.
    EXPECT_EQ(checks::normalisedSha256("a\r\nb  \r\n\r\n"), checks::normalisedSha256("a\nb"));
    EXPECT_NE(checks::normalisedSha256("a\nb"), checks::normalisedSha256("a\nc"));
}

// A schema of the archive relaxed so that an invalid index passes: the stages
// say OK, the fifth section names the schema as modified.
TEST(SchemaSet, RelaxedSchemaNamedAsModified) {
    if (!fs::exists(kRealArchive)) {
        GTEST_SKIP() << "real archive not present";
    }
    TempDir dir;
    ArchiveFiles files = realFiles(dir);
    for (auto& [name, content] : files) {
        if (name == "XSD/co08_V08.xsd") {
            const std::size_t at = content.find("[0-9]{10}");
            ASSERT_NE(at, std::string::npos);
            content.replace(at, 9, "[0-9]{1,20}");
        } else if (name == "ix08_V08.xml") {
            content.replace(content.find("2813300114"), 10, "281330011");
        } else if (name == "XSD/hc08_V08.xsd") {
            name = "XSD/hc08_V08.xsd.removed"; // a missing file is named too
        }
    }
    const Checked checked =
        inspect(makeArchive(dir.path(), "5521111111_00280081_202405271_1", files));
    EXPECT_EQ(checked.log.find("交換用基本情報ファイルの調査 ・・・・・OK\r\n"), 0u) << checked.log;
    const auto set = findingsOf(checked.report, "schema-set");
    ASSERT_EQ(set.size(), 1u) << checked.log;
    EXPECT_EQ(value(*set[0], "改変"), "co08_V08.xsd");
    EXPECT_EQ(value(*set[0], "欠落"), "hc08_V08.xsd");
    EXPECT_NE(checked.log.find("【注意】schema-set"), std::string::npos);
    // With hc08 gone the checkup documents are judged by the guidance schema:
    // the finding says so, and that they failed it.
    const auto choice = findingsOf(checked.report, "schema-choice");
    ASSERT_EQ(choice.size(), 1u) << checked.log;
    EXPECT_EQ(value(*choice[0], "指定されたスキーマ"), "hc08_V08.xsd");
    EXPECT_EQ(value(*choice[0], "検証に使ったスキーマ"), "hg08_V08.xsd");
    EXPECT_EQ(value(*choice[0], "その結果"), "エラー");
    EXPECT_EQ(choice[0]->files.size(), 4u);
}

// ---- the command line: the section, its switch, and no personal values ----

TEST(ReceptionCommandLine, OffGivesTheFourStagesByteForByte) {
    TempDir dir;
    ShapedArchive archive;
    archive.persons[0].paymentAmount = "1000"; // an エラー finding
    const fs::path zip = makeArchive(dir.path(), archive.baseName(), archive.files());
    TempDir second;
    const fs::path zip2 = second.path() / zip.filename();
    fs::copy_file(zip, zip2);

    const auto off = runInspect({"--no-reception-check", zip.string()});
    const auto on = runInspect({zip2.string()});
    // Without the check: the four stages, all OK, exit 0, as before the check existed.
    const std::string stages = "交換用基本情報ファイルの調査 ・・・・・OK\n"
                               "集計情報ファイルの調査 ・・・・・OK\n"
                               "特定健診・保健指導データの調査 \n" +
                               archive.dataName(archive.persons[0]) + "・・・・・OK\n" +
                               archive.dataName(archive.persons[1]) +
                               "・・・・・OK\n"
                               "特定健診・保健指導決済情報の調査 \n" +
                               archive.claimName(archive.persons[0]) + "・・・・・OK\n" +
                               archive.claimName(archive.persons[1]) + "・・・・・OK\n";
    EXPECT_EQ(off.out, stages);
    EXPECT_EQ(off.status, 0);
    // With it: the same bytes, then the fifth section; the エラー fails the run.
    EXPECT_TRUE(on.out.starts_with(stages)) << on.out;
    EXPECT_NE(on.out.find("ファイル間の整合性の調査 \n【", stages.size()), std::string::npos)
        << on.out;
    EXPECT_NE(on.out.find("【エラー】claim-amount"), std::string::npos);
    EXPECT_EQ(on.status, 1);
}

TEST(ReceptionCommandLine, NothingFoundIsOk) {
    TempDir dir;
    ShapedArchive archive;
    const fs::path zip = makeArchive(dir.path(), archive.baseName(), archive.files());
    // The archive's own lax schemas differ from the official set (a 注意);
    // with the real set named instead, nothing is found.
    if (!fs::exists(kRealData / "XSD")) {
        GTEST_SKIP() << "real schema set not present";
    }
    const auto result = runInspect(
        {"--schema", (kRealData / "XSD").string(), "--no-reception-check", zip.string()});
    EXPECT_EQ(result.out.find("ファイル間"), std::string::npos);
    TempDir again;
    const fs::path zip2 = again.path() / zip.filename();
    fs::copy_file(zip, zip2);
    // The real schemas judge these made-up documents strictly; the checks of
    // the whole archive find nothing.
    const auto checked = runInspect({"--schema", (kRealData / "XSD").string(), zip2.string()});
    EXPECT_TRUE(checked.out.ends_with("ファイル間の整合性の調査 \n・・・・・OK\n")) << checked.out;
}

// Planted values of persons appear nowhere in the log or the JSON report,
// though the rules that read them find fault with their documents.
TEST(ReceptionCommandLine, NoPersonalValueInLogOrReport) {
    TempDir dir;
    ShapedArchive archive;
    ShapedPerson& planted = archive.persons[0];
    planted.name = "ミョウジナマエ";
    planted.address = "架空県架空市九十九番地";
    planted.insured = "9876543";
    planted.claimInsured = "9876544"; // pair-identity: the insured numbers differ
    planted.symbol = "記号ＱＺ";
    planted.ticket = "99887766554";
    planted.birth = "19880707";                   // age-range
    archive.persons[1].ticketExpiry = "20270230"; // calendar-date
    const fs::path zip = makeArchive(dir.path(), archive.baseName(), archive.files());
    const fs::path json = dir.path() / "report.json";
    const auto result = runInspect({"--json", json.string(), "--verbose", zip.string()});
    const std::string report = readFile(json);
    EXPECT_NE(result.out.find("【エラー】pair-identity"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("被保険者番号"), std::string::npos);
    EXPECT_NE(result.out.find("【注意】age-range"), std::string::npos);
    EXPECT_NE(report.find("\"rule\": \"pair-identity\""), std::string::npos);
    for (const std::string& value :
         {planted.name, planted.address, planted.insured, planted.claimInsured, planted.symbol,
          planted.ticket, planted.birth, archive.persons[1].birth}) {
        EXPECT_EQ(result.out.find(value), std::string::npos) << value;
        EXPECT_EQ(result.err.find(value), std::string::npos) << value;
        EXPECT_EQ(report.find(value), std::string::npos) << value;
    }
}
