// Which schema checks a DATA or CLAIMS document: the summary schema when it
// declares the root element, else the standard schema that does.
#include "inspection/inspectionrun.h"
#include "inspection/schemachoice.h"
#include "platform/xml/xmlparser.h"
#include "report/reasons.h"
#include "support/archives.h"
#include "support/runharness.h"
#include "support/testutil.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace morvik::inspection;
using namespace morvik::test;
namespace fs = std::filesystem;

namespace {

std::string schemaDeclaring(const std::string& targetNamespace,
                            const std::vector<std::string>& roots,
                            const std::string& valueType = "xs:integer") {
    std::string xsd = "<?xml version=\"1.0\"?>\n"
                      "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
                      "targetNamespace=\"" +
                      targetNamespace + "\" elementFormDefault=\"qualified\">\n";
    for (const auto& root : roots) {
        xsd += "  <xs:element name=\"" + root +
               "\"><xs:complexType><xs:sequence>"
               "<xs:element name=\"v\" type=\"" +
               valueType + "\"/></xs:sequence></xs:complexType></xs:element>\n";
    }
    return xsd + "</xs:schema>\n";
}

std::string document(const std::string& root, const std::string& ns, const std::string& value,
                     const std::string& schemaLocation = "") {
    std::string doc = "<?xml version=\"1.0\"?>\n<" + root + " xmlns=\"" + ns + "\"";
    if (!schemaLocation.empty()) {
        doc += " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
               "xsi:schemaLocation=\"" +
               ns + " " + schemaLocation + "\"";
    }
    return doc + ">\n  <v>" + value + "</v>\n</" + root + ">\n";
}

constexpr const char* kHl7 = "urn:hl7-org:v3";
constexpr const char* kOther = "urn:example:claims";

} // namespace

TEST(SchemaChoice, ByDeclarationHintAndFileName) {
    TempDir dir;
    const auto schemas = dir.path() / "XSD";
    writeFile(schemas / "su08_V08.xsd", schemaDeclaring(kHl7, {"summary", "doc"}));
    writeFile(schemas / "hc08_V08.xsd",
              schemaDeclaring(kHl7, {"ClinicalDocument", "doc", "checkupOnly"}));
    writeFile(schemas / "hg08_V08.xsd", schemaDeclaring(kHl7, {"ClinicalDocument"}));
    writeFile(schemas / "cc08_V08.xsd", schemaDeclaring(kOther, {"checkupClaim"}));
    writeFile(schemas / "gc08_V08.xsd", schemaDeclaring(kOther, {"checkupClaim", "guidanceClaim"}));

    struct Case {
        const char* file;
        std::string content;
        SchemaChoice::Stage stage;
        const char* expected;
    };
    using S = SchemaChoice::Stage;
    const std::vector<Case> cases = {
        // The summary schema declares <doc>: nothing changes, hc08 notwithstanding.
        {"h1.xml", document("doc", kHl7, "1"), S::data, "su08_V08.xsd"},
        {"h2.xml", document("ClinicalDocument", kHl7, "1"), S::data, "hc08_V08.xsd"},
        {"g1.xml", document("ClinicalDocument", kHl7, "1"), S::data, "hg08_V08.xsd"},
        {"x1.xml", document("ClinicalDocument", kHl7, "1"), S::data, "hc08_V08.xsd"},
        // The document's own schema location decides over its file name; only
        // the file name of the location counts.
        {"h3.xml", document("ClinicalDocument", kHl7, "1", "http://example.invalid/x/hg08_V08.xsd"),
         S::data, "hg08_V08.xsd"},
        {"g2.xml", document("ClinicalDocument", kHl7, "1", "../XSD/hc08_V08.xsd"), S::data,
         "hc08_V08.xsd"},
        // A hint naming a schema that does not declare the root is ignored,
        // and so is a file name whose letter points to such a schema.
        {"h4.xml", document("ClinicalDocument", kHl7, "1", "su08_V08.xsd"), S::data,
         "hc08_V08.xsd"},
        {"g3.xml", document("checkupOnly", kHl7, "1"), S::data, "hc08_V08.xsd"},
        {"g4.xml", document("checkupOnly", kHl7, "1", "hg08_V08.xsd"), S::data, "hc08_V08.xsd"},
        // Same local name, other namespace: nobody declares it.
        {"h5.xml", document("ClinicalDocument", kOther, "1"), S::data, "su08_V08.xsd"},
        {"c1.xml", document("checkupClaim", kOther, "1"), S::claims, "cc08_V08.xsd"},
        {"p1.xml", document("checkupClaim", kOther, "1"), S::claims, "gc08_V08.xsd"},
        {"p2.xml", document("guidanceClaim", kOther, "1"), S::claims, "gc08_V08.xsd"},
        // Claims schemas are not candidates for DATA, nor checkup schemas for CLAIMS.
        {"c2.xml", document("checkupClaim", kOther, "1"), S::data, "su08_V08.xsd"},
        {"h6.xml", document("ClinicalDocument", kHl7, "1"), S::claims, "su08_V08.xsd"},
        // Unreadable before the root element, or no document at all.
        {"h7.xml", "<<<not xml", S::data, "su08_V08.xsd"},
        {"missing.xml", "", S::data, "su08_V08.xsd"},
    };
    const auto documents = dir.path() / "docs";
    for (const auto& c : cases) {
        if (std::string(c.file) != "missing.xml") {
            writeFile(documents / c.file, c.content);
        }
    }
    CaseInsensitiveNames names;
    SchemaChoice choice(schemas.string() + "/", names);
    for (const auto& c : cases) {
        EXPECT_EQ(choice.schemaFor(documents.string() + "/", c.file, c.stage), c.expected)
            << c.file;
    }
}

// A schema is compiled only when the choice may depend on it: an archive of
// checkup documents never compiles the guidance schema.
TEST(SchemaChoice, CompilesOnlyTheSchemasItNeeds) {
    using S = SchemaChoice::Stage;
    const struct {
        const char* file;
        std::string content;
        S stage;
        std::uint64_t compilations; // su08 and the schemas asked after it
    } cases[] = {
        {"h1.xml", document("ClinicalDocument", kHl7, "1"), S::data, 2},
        {"g1.xml", document("ClinicalDocument", kHl7, "1", "../XSD/hc08_V08.xsd"), S::data, 2},
        {"g2.xml", document("ClinicalDocument", kHl7, "1"), S::data, 2},
        {"x1.xml", document("ClinicalDocument", kHl7, "1"), S::data, 2},
        {"g3.xml", document("checkupOnly", kHl7, "1"), S::data, 3},
        {"c1.xml", document("checkupClaim", kOther, "1"), S::claims, 2},
        {"h2.xml", document("nobody", kHl7, "1"), S::data, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        TempDir dir;
        const auto schemas = dir.path() / "XSD";
        writeFile(schemas / "su08_V08.xsd", schemaDeclaring(kHl7, {"summary"}));
        writeFile(schemas / "hc08_V08.xsd",
                  schemaDeclaring(kHl7, {"ClinicalDocument", "checkupOnly"}));
        writeFile(schemas / "hg08_V08.xsd", schemaDeclaring(kHl7, {"ClinicalDocument"}));
        writeFile(schemas / "cc08_V08.xsd", schemaDeclaring(kOther, {"checkupClaim"}));
        writeFile(schemas / "gc08_V08.xsd", schemaDeclaring(kOther, {"checkupClaim"}));
        writeFile(dir.path() / "docs" / c.file, c.content);
        CaseInsensitiveNames names;
        SchemaChoice choice(schemas.string() + "/", names);
        const std::uint64_t before = morvik::platform::schemaCompilations();
        (void)choice.schemaFor((dir.path() / "docs").string() + "/", c.file, c.stage);
        EXPECT_EQ(morvik::platform::schemaCompilations() - before, c.compilations);
    }
}

TEST(SchemaChoice, CandidateMustExistInTheSchemaFolder) {
    TempDir dir;
    writeFile(dir.path() / "su08_V08.xsd", schemaDeclaring(kHl7, {"summary"}));
    writeFile(dir.path() / "hg08_V08.xsd", schemaDeclaring(kHl7, {"ClinicalDocument"}));
    writeFile(dir.path() / "d" / "h1.xml", document("ClinicalDocument", kHl7, "1"));
    CaseInsensitiveNames names;
    SchemaChoice choice(dir.folder(), names);
    // hc08 is absent, so the guidance schema is the only candidate left.
    EXPECT_EQ(choice.schemaFor(dir.folder() + "d/", "h1.xml", SchemaChoice::Stage::data),
              "hg08_V08.xsd");
}

TEST(SchemaChoice, RunLogsTheChosenSchemasOutcome) {
    TempDir dir;
    ArchiveFiles files = {
        {"ix08_V08.xml", indexDocument()},
        {"XSD/ix08_V08.xsd", kIndexSchema},
        {"XSD/su08_V08.xsd", schemaDeclaring(kHl7, {"summary"})},
        {"XSD/hc08_V08.xsd", schemaDeclaring(kHl7, {"ClinicalDocument"})},
        {"DATA/h1.xml", document("ClinicalDocument", kHl7, "12")},
        {"DATA/h2.xml", document("ClinicalDocument", kHl7, "twelve")},
        {"DATA/h3.xml", document("Unknown", kHl7, "12")},
    };
    const auto zip = makeArchive(dir.path(), "arc", files);
    RunHarness h;
    EXPECT_EQ(h.run(zip.string()), RunOutcome::someFailed);
    const std::string& log = h.log.text;

    const std::string dataHeading = "特定健診・保健指導データの調査 \r\n";
    const auto stage3 = log.substr(log.find(dataHeading) + dataHeading.size());
    EXPECT_TRUE(stage3.starts_with("h1.xml・・・・・OK\r\nh2.xml\r\n"
                                   "XMLファイルの整合性チェックでエラーが発生しました。\r\n3行　"))
        << stage3;
    // h2's detail is hc08's complaint about the value, not a missing declaration.
    const auto h2Detail = stage3.substr(0, stage3.find("h3.xml"));
    EXPECT_NE(h2Detail.find("twelve"), std::string::npos) << h2Detail;
    // No schema declares <Unknown>: checked against the summary schema as before.
    const auto h3 = stage3.substr(stage3.find("h3.xml"));
    EXPECT_TRUE(h3.starts_with("h3.xml\r\nXMLファイルの整合性チェックでエラーが発生しました。\r\n"))
        << h3;
}

TEST(SchemaChoice, RealArchiveDataValidClaimsFailForTheirNamespace) {
    const fs::path real =
        fs::path(MORVIK_REALDATA_DIR) / "mhlw-v08-2024" / "5521111111_00280081_202405271_1.zip";
    if (!fs::exists(real)) {
        GTEST_SKIP() << "real archive not present";
    }
    TempDir dir;
    fs::copy_file(real, dir.path() / real.filename());
    RunHarness h;
    EXPECT_EQ(h.run((dir.path() / real.filename()).string()), RunOutcome::someFailed);
    const std::string& log = h.log.text;
    EXPECT_TRUE(log.starts_with("交換用基本情報ファイルの調査 ・・・・・OK\r\n"
                                "集計情報ファイルの調査 ・・・・・OK\r\n"
                                "特定健診・保健指導データの調査 \r\n"))
        << log;
    const std::string claimsHeading = "特定健診・保健指導決済情報の調査 \r\n";
    const auto claimsAt = log.find(claimsHeading);
    ASSERT_NE(claimsAt, std::string::npos);
    const auto data = log.substr(0, claimsAt);
    const auto claims = log.substr(claimsAt + claimsHeading.size());
    int dataOk = 0;
    for (auto at = data.find("・・・・・OK"); at != std::string::npos;
         at = data.find("・・・・・OK", at + 1)) {
        ++dataOk;
    }
    EXPECT_EQ(dataOk, 2 + 4) << data; // index, summary and the four checkup documents
    EXPECT_EQ(claims.find("・・・・・OK"), std::string::npos) << claims;
    EXPECT_NE(claims.find("http://tokuteikenshin.jp/checkup/2007"), std::string::npos) << claims;
    for (const auto& [document, schema] : h.chosen) {
        if (document.find("/DATA/") != std::string::npos) {
            EXPECT_TRUE(schema.ends_with("/XSD/hc08_V08.xsd")) << document;
        }
    }
}

// A document whose root cannot be read gets the summary schema, and the
// choice says why instead of naming a schema as if it had chosen one.
TEST(SchemaChoice, RootThatCannotBeReadIsSaidSo) {
    TempDir dir;
    writeFile(dir.path() / "su08_V08.xsd", schemaDeclaring(kHl7, {"summary"}));
    writeFile(dir.path() / "hc08_V08.xsd", schemaDeclaring(kHl7, {"ClinicalDocument"}));
    const struct {
        const char* file;
        std::string content;
        std::string problem; // a piece of it; empty: the root was read
    } cases[] = {
        {"h1.xml", document("ClinicalDocument", kHl7, "1"), ""},
        {"h2.xml",
         "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<!-- \x82 -->\n<ClinicalDocument/>",
         "文字コード"},
        {"h3.xml", "", "空"},
    };
    CaseInsensitiveNames names;
    SchemaChoice choice(dir.folder(), names);
    for (const auto& c : cases) {
        writeFile(dir.path() / c.file, c.content);
        morvik::platform::XmlErrorFacts facts;
        const std::string schema =
            choice.schemaFor(dir.folder(), c.file, SchemaChoice::Stage::data, &facts);
        // Worded as a Japanese run words it.
        const std::string problem =
            facts.message.empty()
                ? ""
                : morvik::report::reasonText(facts, morvik::report::ReasonLanguage::japanese);
        EXPECT_EQ(schema, c.problem.empty() ? "hc08_V08.xsd" : "su08_V08.xsd") << c.file;
        if (c.problem.empty()) {
            EXPECT_EQ(problem, "") << c.file;
        } else {
            EXPECT_NE(problem.find(c.problem), std::string::npos) << c.file << ": " << problem;
        }
    }
}
