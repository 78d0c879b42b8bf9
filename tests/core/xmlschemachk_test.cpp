// Document validation: outcome, message, detail and progress texts of every
// path, the steps that are guarded one by one when parser operations fail,
// and the real 2024 file set when it is at hand.
#include "inspection/xmlschemachk.h"
#include "platform/xml/xmlparser.h"
#include "report/reasons.h"
#include "support/testutil.h"
#include "support/xmlfaults.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <archive.h>
#include <archive_entry.h>
#include <filesystem>
#include <functional>

using namespace morvik::inspection;
using namespace morvik::platform;
using morvik::test::FaultyXmlParserFactory;
using morvik::test::RecordingStatusLine;
using morvik::test::TempDir;
using morvik::test::writeFile;
using morvik::test::XmlOperation;
namespace fs = std::filesystem;

namespace {

const std::string kStartText = "XML出力ファイルの整合性チェック開始";
const std::string kSchemaLoadText = "XMLスキーマファイルのロード";
const std::string kCheckingText = "XML出力ファイルの整合性チェック中";
const std::vector<std::string> kAllTexts = {kStartText, kSchemaLoadText, kCheckingText};
const std::vector<std::string> kFirstTextOnly = {kStartText};

const std::string kDone = "XML出力ファイルの整合性チェック完了";
const std::string kError = "XMLファイルの整合性チェックでエラーが発生しました。";
const std::string kParserMissing =
    "整合性チェックに必要なMicrosoft XML6.0がインストールされていない可能性があります。 ";

std::string documentMissing(const std::string& path) {
    return "XMLファイルが「" + path + "」に存在しない為、XMLの検証が出来ません。 ";
}
std::string schemaMissing(const std::string& path) {
    return "XMLスキーマファイルが「" + path + "」に存在しない為、XMLの検証が出来ません。 ";
}

const std::string kSchema = R"(<?xml version="1.0" encoding="UTF-8"?>
<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema" targetNamespace="urn:hl7-org:v3"
           elementFormDefault="qualified">
  <xs:element name="doc">
    <xs:complexType><xs:sequence>
      <xs:element name="n" type="xs:integer" maxOccurs="unbounded"/>
    </xs:sequence></xs:complexType>
  </xs:element>
</xs:schema>
)";

std::string document(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<doc xmlns=\"urn:hl7-org:v3\">\n" + body +
           "</doc>\n";
}

const std::string kValid = document("  <n>1</n>\n");
const std::string kInvalid = document("  <n>1</n>\n  <n>x</n>\n");
const std::string kInvalidDetail =
    "4行　  <n>x</n>Element '{urn:hl7-org:v3}n': 'x' is not a valid value of the atomic type "
    "'xs:integer'.";

const std::string kSentinel = "left by an earlier call";

// A folder with the schema "s.xsd" and the documents of these tests.
struct Fixture {
    TempDir dir;
    std::string folder = dir.folder();
    Fixture() {
        writeFile(dir.path() / "s.xsd", kSchema);
        writeFile(dir.path() / "valid.xml", kValid);
        writeFile(dir.path() / "invalid.xml", kInvalid);
    }
};

struct Result {
    int status = 0;
    std::string message;
    std::string detail = kSentinel;
    std::vector<std::string> texts;
};

Result check(const std::string& documentFolder, const std::string& documentName,
             const std::string& schemaFolder, const std::string& schemaName,
             XmlParserFactory* parser = nullptr) {
    Result result;
    RecordingStatusLine status;
    // The English reasons, as a run asked for them words them.
    const morvik::report::ReasonWordingIn english(morvik::report::ReasonLanguage::english);
    result.status = XmlSchemaChk(documentFolder, documentName, schemaFolder, schemaName,
                                 result.message, result.detail, status,
                                 parser != nullptr ? *parser : defaultXmlParserFactory(), nullptr,
                                 &english);
    result.texts = status.texts;
    return result;
}

} // namespace

TEST(XmlSchemaChk, OutcomesOfEveryPath) {
    // The layer's own English facts, as libxml2 and the layer word them.
    Fixture f;
    const std::string dir = f.folder;
    fs::create_directory(f.dir.path() / "sub.xml");
    writeFile(f.dir.path() / "empty.xml", "");
    writeFile(f.dir.path() / "notschema.xsd", "<notaschema/>");
    writeFile(f.dir.path() / "broken.xml", document("  <n>1</b>\n"));
    writeFile(f.dir.path() / "pre-valid.xml", kValid);
    writeFile(f.dir.path() / "dtd.xml",
              "<?xml version=\"1.0\"?>\n<!DOCTYPE doc [<!ENTITY e SYSTEM \"/etc/passwd\">]>\n"
              "<doc xmlns=\"urn:hl7-org:v3\"><n>&e;</n></doc>\n");
    writeFile(f.dir.path() / "other.xml", "<other xmlns=\"urn:hl7-org:v3\"/>\n");
    const struct {
        const char* name;
        std::string documentFolder, documentName, schemaFolder, schemaName;
        int status;
        std::string message;
        std::string detail; // kSentinel: not written
        std::vector<std::string> texts;
    } cases[] = {
        {"valid", dir, "valid.xml", dir, "s.xsd", 0, kDone, kSentinel, kAllTexts},
        {"invalid", dir, "invalid.xml", dir, "s.xsd", -1, kError, kInvalidDetail, kAllTexts},
        {"not well-formed", dir, "broken.xml", dir, "s.xsd", -1, kError,
         "3行　  <n>1</b>Opening and ending tag mismatch: n line 3 and b", kAllTexts},
        {"empty document", dir, "empty.xml", dir, "s.xsd", -1, kError, "1行　Document is empty",
         kAllTexts},
        {"root not declared", dir, "other.xml", dir, "s.xsd", -1, kError,
         "1行　<other xmlns=\"urn:hl7-org:v3\"/>Element '{urn:hl7-org:v3}other': No matching "
         "global declaration available for the validation root (the schema declares the target "
         "namespace 'urn:hl7-org:v3').",
         kAllTexts},
        {"document missing", dir, "missing.xml", dir, "s.xsd", -1,
         documentMissing(dir + "missing.xml"), kSentinel, kFirstTextOnly},
        {"schema missing", dir, "valid.xml", dir, "missing.xsd", -1,
         schemaMissing(dir + "missing.xsd"), kSentinel, kFirstTextOnly},
        {"both missing", dir, "missing.xml", dir, "missing.xsd", -1,
         documentMissing(dir + "missing.xml"), kSentinel, kFirstTextOnly},
        {"empty folder and name", "", "", dir, "s.xsd", -1, documentMissing(""), kSentinel,
         kFirstTextOnly},
        {"folder named like a document", dir, "sub.xml", dir, "s.xsd", -1,
         documentMissing(dir + "sub.xml"), kSentinel, kFirstTextOnly},
        // Folder and name run together, as given.
        {"folder without closing separator", f.dir.path().string(), "valid.xml", dir, "s.xsd", -1,
         documentMissing(f.dir.path().string() + "valid.xml"), kSentinel, kFirstTextOnly},
        {"run-together path that exists", dir + "pre-", "valid.xml", dir, "s.xsd", 0, kDone,
         kSentinel, kAllTexts},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Result r = check(c.documentFolder, c.documentName, c.schemaFolder, c.schemaName);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.message, c.message);
        EXPECT_EQ(r.detail, c.detail);
        EXPECT_EQ(r.texts, c.texts);
    }

    // Outcomes whose detail holds a path or libxml2's wording in part.
    const Result schemaUnusable = check(dir, "valid.xml", dir, "notschema.xsd");
    EXPECT_EQ(schemaUnusable.status, -1);
    EXPECT_EQ(schemaUnusable.message, kError);
    EXPECT_EQ(schemaUnusable.detail,
              "2行　<doc xmlns=\"urn:hl7-org:v3\">No schema is available to validate the document "
              "against. The schema '" +
                  dir + "notschema.xsd' could not be used: The XML document '" + dir +
                  "notschema.xsd' is not a schema document.");
    EXPECT_EQ(schemaUnusable.texts, kAllTexts);

    const Result doctype = check(dir, "dtd.xml", dir, "s.xsd");
    EXPECT_EQ(doctype.status, -1);
    EXPECT_TRUE(
        doctype.detail.starts_with("2行　<!DOCTYPE doc [<!ENTITY e SYSTEM \"/etc/passwd\">]>"
                                   "DTD is prohibited"))
        << doctype.detail;
}

TEST(XmlSchemaChk, NoParserObjectBeforeTheExistenceTestsPass) {
    Fixture f;
    FaultyXmlParserFactory parser(defaultXmlParserFactory());
    check(f.folder, "missing.xml", f.folder, "missing.xsd", &parser);
    check(f.folder, "valid.xml", f.folder, "missing.xsd", &parser);
    EXPECT_EQ(parser.calls(XmlOperation::createDocument), 0);
    EXPECT_EQ(parser.calls(XmlOperation::createSchemaCollection), 0);

    // Past them, one document and one collection per call.
    check(f.folder, "valid.xml", f.folder, "s.xsd", &parser);
    EXPECT_EQ(parser.calls(XmlOperation::createDocument), 1);
    EXPECT_EQ(parser.calls(XmlOperation::createSchemaCollection), 1);
    EXPECT_EQ(parser.calls(XmlOperation::add), 1);
    EXPECT_EQ(parser.calls(XmlOperation::load), 1);
}

TEST(XmlSchemaChk, EachStepIsGuardedByItself) {
    // The layer's own English facts, as libxml2 and the layer word them.
    Fixture f;
    const std::string noSchemaDetail =
        "2行　<doc xmlns=\"urn:hl7-org:v3\">No schema is available to validate the document "
        "against.";
    const std::string invalidReason = kInvalidDetail.substr(kInvalidDetail.find("Element"));
    using Setup = std::function<void(FaultyXmlParserFactory&)>;
    const struct {
        const char* name;
        Setup setup;
        std::string documentName;
        int status;
        std::string message;
        std::string detail;
    } cases[] = {
        {"parser not installed", [](auto& p) { p.failEverything(); }, "valid.xml", -1,
         kParserMissing, ""},
        {"document made again after a failed creation",
         [](auto& p) { p.failNext(XmlOperation::createDocument, 1); }, "valid.xml", 0, kDone,
         kSentinel},
        {"collection made again after a failed creation",
         [](auto& p) { p.failNext(XmlOperation::createSchemaCollection, 1); }, "invalid.xml", -1,
         kError, kInvalidDetail},
        {"no collection at all",
         [](auto& p) { p.failAlways(XmlOperation::createSchemaCollection); }, "valid.xml", -1,
         kError, noSchemaDetail},
        {"async refused", [](auto& p) { p.failAlways(XmlOperation::setAsync); }, "valid.xml", 0,
         kDone, kSentinel},
        {"add fails", [](auto& p) { p.failAlways(XmlOperation::add); }, "valid.xml", -1, kError,
         noSchemaDetail},
        {"schemas not attached", [](auto& p) { p.failAlways(XmlOperation::setSchemas); },
         "valid.xml", -1, kError, noSchemaDetail},
        {"load fails", [](auto& p) { p.failAlways(XmlOperation::load); }, "valid.xml", -1, kError,
         "0行　No document has been loaded."},
        {"parse error unavailable", [](auto& p) { p.failAlways(XmlOperation::parseError); },
         "invalid.xml", -1, kParserMissing, ""},
        // An unreadable error code leads down the error path even for a
        // valid document: line 0, no source text, no reason.
        {"error code unreadable, valid document",
         [](auto& p) { p.failAlways(XmlOperation::errorCode); }, "valid.xml", -1, kError, "0行　"},
        {"error code unreadable, invalid document",
         [](auto& p) { p.failAlways(XmlOperation::errorCode); }, "invalid.xml", -1, kError,
         kInvalidDetail},
        {"line unreadable", [](auto& p) { p.failAlways(XmlOperation::line); }, "invalid.xml", -1,
         kError, invalidReason},
        {"source text unreadable", [](auto& p) { p.failAlways(XmlOperation::srcText); },
         "invalid.xml", -1, kError, invalidReason},
        {"reason unreadable", [](auto& p) { p.failAlways(XmlOperation::reason); }, "invalid.xml",
         -1, kError, "4行　  <n>x</n>"},
        {"line and reason unreadable",
         [](auto& p) {
             p.failAlways(XmlOperation::line);
             p.failAlways(XmlOperation::reason);
         },
         "invalid.xml", -1, kParserMissing, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FaultyXmlParserFactory parser(defaultXmlParserFactory());
        c.setup(parser);
        const Result r = check(f.folder, c.documentName, f.folder, "s.xsd", &parser);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.message, c.message);
        EXPECT_EQ(r.detail, c.detail);
        EXPECT_EQ(r.texts, kAllTexts);
    }
}

TEST(XmlSchemaChk, ObjectsAreMadeAgainByEveryStepThatNeedsThem) {
    Fixture f;
    FaultyXmlParserFactory parser(defaultXmlParserFactory());
    parser.failEverything();
    check(f.folder, "valid.xml", f.folder, "s.xsd", &parser);
    // The document is tried on creation, for async, for attaching the
    // schemas, for the load, and for reading the error code, the line and the
    // reason (the source text is skipped once the line is missing); the
    // collection on creation and for add (attaching gives up at the document).
    EXPECT_EQ(parser.calls(XmlOperation::createDocument), 7);
    EXPECT_EQ(parser.calls(XmlOperation::createSchemaCollection), 2);

    // Line is read before the source text; a missing line leaves the source
    // text unread.
    FaultyXmlParserFactory lineFails(defaultXmlParserFactory());
    lineFails.failAlways(XmlOperation::line);
    check(f.folder, "invalid.xml", f.folder, "s.xsd", &lineFails);
    EXPECT_EQ(lineFails.calls(XmlOperation::srcText), 0);
    FaultyXmlParserFactory srcFails(defaultXmlParserFactory());
    srcFails.failAlways(XmlOperation::srcText);
    check(f.folder, "invalid.xml", f.folder, "s.xsd", &srcFails);
    EXPECT_EQ(srcFails.calls(XmlOperation::line), 1);
    // The parse error is obtained afresh for every value read.
    EXPECT_EQ(srcFails.calls(XmlOperation::parseError), 4);
}

namespace {

// Unpacks every file of a ZIP archive below dest.
bool extractAll(const fs::path& zip, const fs::path& dest) {
    struct ReadFree {
        void operator()(archive* a) const noexcept { archive_read_free(a); }
    };
    std::unique_ptr<archive, ReadFree> reader(archive_read_new());
    archive_read_support_format_zip(reader.get());
    if (archive_read_open_filename(reader.get(), zip.c_str(), 64 * 1024) != ARCHIVE_OK) {
        return false;
    }
    archive_entry* entry = nullptr;
    while (archive_read_next_header(reader.get(), &entry) == ARCHIVE_OK) {
        const std::string name = archive_entry_pathname(entry);
        if (name.empty() || name.back() == '/' || name.find("..") != std::string::npos) {
            continue;
        }
        std::string content(static_cast<std::size_t>(archive_entry_size(entry)), '\0');
        if (archive_read_data(reader.get(), content.data(), content.size()) !=
            static_cast<la_ssize_t>(content.size())) {
            return false;
        }
        writeFile(dest / name, content);
    }
    return true;
}

fs::path firstXml(const fs::path& folder) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files.empty() ? fs::path() : files.front();
}

} // namespace

TEST(XmlSchemaChkRealData, StandardFileSet2024) {
    // The layer's own English facts, as libxml2 and the layer word them.
    const fs::path base = fs::path(MORVIK_REALDATA_DIR) / "mhlw-v08-2024";
    const fs::path zip = base / "5521111111_00280081_202405271_1.zip";
    if (!fs::exists(zip) || !fs::exists(base / "XSD")) {
        GTEST_SKIP() << "real data not present at " << base;
    }
    TempDir dir;
    ASSERT_TRUE(extractAll(zip, dir.path()));
    const fs::path top = dir.path() / "5521111111_00280081_202405271_1";
    const std::string docs = top.string() + "/";
    const std::string xsd = (base / "XSD").string() + "/";
    const fs::path data = firstXml(top / "DATA");
    const fs::path claim = firstXml(top / "CLAIMS");
    ASSERT_FALSE(data.empty());
    ASSERT_FALSE(claim.empty());
    const std::string dataFolder = data.parent_path().string() + "/";
    const std::string claimFolder = claim.parent_path().string() + "/";

    const struct {
        const char* name;
        std::string folder, document, schema;
        int status;
        std::string detailPart;
    } cases[] = {
        {"index", docs, "ix08_V08.xml", "ix08_V08.xsd", 0, ""},
        {"summary", docs, "su08_V08.xml", "su08_V08.xsd", 0, ""},
        {"checkup against the summary schema", dataFolder, data.filename().string(), "su08_V08.xsd",
         -1, "Element '{urn:hl7-org:v3}ClinicalDocument': No matching global declaration"},
        {"checkup against its own schema", dataFolder, data.filename().string(), "hc08_V08.xsd", 0,
         ""},
        {"claim in another namespace", claimFolder, claim.filename().string(), "cc08_V08.xsd", -1,
         "{http://tokuteikenshin.jp/checkup/2007}checkupClaim"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Result r = check(c.folder, c.document, xsd, c.schema);
        EXPECT_EQ(r.status, c.status) << r.detail;
        if (c.status == 0) {
            EXPECT_EQ(r.message, kDone);
        } else {
            EXPECT_EQ(r.message, kError);
            EXPECT_NE(r.detail.find(c.detailPart), std::string::npos) << r.detail;
        }
    }

    const auto root = readRootElement(data.string());
    ASSERT_TRUE(root);
    EXPECT_EQ(root->namespaceUri, "urn:hl7-org:v3");
    EXPECT_EQ(root->localName, "ClinicalDocument");
    EXPECT_EQ(root->schemaFileNames, std::vector<std::string>{"hc08_V08.xsd"});
    const auto claimRoot = readRootElement(claim.string());
    ASSERT_TRUE(claimRoot);
    EXPECT_EQ(claimRoot->namespaceUri, "http://tokuteikenshin.jp/checkup/2007");
    EXPECT_EQ(claimRoot->localName, "checkupClaim");
    EXPECT_EQ(claimRoot->schemaFileNames, std::vector<std::string>{"cc08_V08.xsd"});

    EXPECT_TRUE(
        schemaDeclaresGlobalElement(xsd + "hc08_V08.xsd", "urn:hl7-org:v3", "ClinicalDocument"));
    EXPECT_FALSE(
        schemaDeclaresGlobalElement(xsd + "su08_V08.xsd", "urn:hl7-org:v3", "ClinicalDocument"));
    EXPECT_TRUE(schemaDeclaresGlobalElement(
        xsd + "su08_V08.xsd", "https://www.mhlw.go.jp/stf/seisakunitsuite/bunya/0000161103.html",
        "summary"));
    EXPECT_FALSE(schemaDeclaresGlobalElement(xsd + "cc08_V08.xsd", claimRoot->namespaceUri,
                                             claimRoot->localName));
}
