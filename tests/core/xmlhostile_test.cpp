// Schema files and documents made to read what is not theirs: a schema's
// DOCTYPE in encodings a byte sniffer does not understand, includes and
// imports that reach outside the schema folder, folder names that read as
// URI syntax, and documents that are links to elsewhere.
#include "inspection/inspectionrun.h"
#include "platform/xml/xmlparser.h"
#include "report/reasons.h"
#include "support/accesswatch.h"
#include "support/archives.h"
#include "support/runharness.h"
#include "support/testutil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iconv.h>

using namespace morvik::platform;
using namespace morvik::test;
namespace fs = std::filesystem;

namespace {

std::string convert(const std::string& utf8, const char* to) {
    iconv_t handle = ::iconv_open(to, "UTF-8");
    EXPECT_NE(handle, reinterpret_cast<iconv_t>(-1)) << to;
    std::string out(utf8.size() * 8 + 8, '\0');
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    ::iconv(handle, &in, &inLeft, &outPtr, &outLeft);
    ::iconv(handle, nullptr, nullptr, &outPtr, &outLeft);
    ::iconv_close(handle);
    out.resize(out.size() - outLeft);
    return out;
}

// Compiles the schema at path in a fresh collection; the reason of the
// failure when it cannot be used, empty when it can.
std::string addFailure(const fs::path& schema, const fs::path& document) {
    XmlParserFactory& parser = defaultXmlParserFactory();
    auto schemas = parser.createSchemaCollection();
    auto doc = parser.createDocument();
    if (schemas->add("urn:hl7-org:v3", schema.string())) {
        return {};
    }
    doc->setSchemas(*schemas);
    doc->load(document.string());
    return morvik::report::reasonText(doc->parseError()->reasonFacts().value_or(XmlErrorFacts()), morvik::report::ReasonLanguage::english);
}

constexpr const char* kDocument = "<?xml version=\"1.0\"?>\n<doc xmlns=\"urn:hl7-org:v3\"/>\n";

std::string schemaBody(const std::string& extra = "") {
    return "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
           "targetNamespace=\"urn:hl7-org:v3\" elementFormDefault=\"qualified\">" +
           extra + "<xs:element name=\"doc\"/></xs:schema>\n";
}

} // namespace

// The DOCTYPE of a schema file is refused by the parser itself, whatever the
// encoding: the file its entity names is never opened.
TEST(XmlHostile, SchemaDoctypeInEveryEncoding) {
    TempDir dir;
    const fs::path canary = dir.path() / "CANARY-SECRET";
    writeFile(canary, "secret");
    writeFile(dir.path() / "d.xml", kDocument);
    const std::string doctype =
        "<!DOCTYPE xs:schema [<!ENTITY c SYSTEM \"file://" + canary.string() + "\">]>\n";
    const std::string body = schemaBody("<xs:annotation><xs:documentation>&c;"
                                        "</xs:documentation></xs:annotation>");
    const struct {
        const char* encoding;
        std::string bytes;
    } cases[] = {
        {"UTF-8", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + doctype + body},
        {"UTF-7",
         "<?xml version=\"1.0\" encoding=\"UTF-7\"?>\n" + convert(doctype + body, "UTF-7")},
        {"UTF-16",
         convert("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n" + doctype + body, "UTF-16")},
        {"UTF-32BE",
         convert("<?xml version=\"1.0\" encoding=\"UTF-32BE\"?>\n" + doctype + body, "UTF-32BE")},
        {"EBCDIC",
         convert("<?xml version=\"1.0\" encoding=\"IBM037\"?>\n" + doctype + body, "IBM037")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.encoding);
        const fs::path schema = dir.path() / (std::string(c.encoding) + ".xsd");
        writeFile(schema, c.bytes);
        AccessWatch watch(canary);
        const std::string failure = addFailure(schema, dir.path() / "d.xml");
        EXPECT_NE(failure.find("DTD is prohibited"), std::string::npos) << failure;
        EXPECT_EQ(failure.find("secret"), std::string::npos) << failure;
        EXPECT_FALSE(watch.touched());
    }
}

// A schema may use the files of its own folder and its subfolders; nothing
// else on the disk is read, however it is named.
TEST(XmlHostile, SchemasStayInTheirFolder) {
    TempDir dir;
    const fs::path folder = dir.path() / "XSD";
    const fs::path outside = dir.path() / "outside" / "lax.xsd";
    writeFile(outside, schemaBody());
    writeFile(folder / "core" / "types.xsd",
              "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
              "targetNamespace=\"urn:hl7-org:v3\"><xs:element name=\"part\"/></xs:schema>\n");
    fs::create_directory_symlink(outside.parent_path(), folder / "linked");
    writeFile(dir.path() / "d.xml", kDocument);
    const struct {
        const char* what;
        std::string location;
        bool usable;
    } cases[] = {
        {"subfolder", "core/types.xsd", true},
        {"absolute path", outside.string(), false},
        {"file: URI", "file://" + outside.string(), false},
        {"up and out", "../outside/lax.xsd", false},
        {"link to a folder outside", "linked/lax.xsd", false},
        {"system file", "/etc/passwd", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path schema = folder / "main.xsd";
        writeFile(schema, "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
                          "targetNamespace=\"urn:hl7-org:v3\" elementFormDefault=\"qualified\">"
                          "<xs:include schemaLocation=\"" +
                              c.location + "\"/><xs:element name=\"doc\"/></xs:schema>\n");
        AccessWatch watch(outside);
        const std::string failure = addFailure(schema, dir.path() / "d.xml");
        if (c.usable) {
            EXPECT_EQ(failure, "");
        } else {
            EXPECT_NE(failure.find("outside the schema folder"), std::string::npos) << failure;
        }
        EXPECT_FALSE(watch.touched());
    }
}

// '#', '?' and '%' are characters of a folder name, not URI syntax: a schema
// set with includes works below such folders, through the whole run.
TEST(XmlHostile, FolderNamesThatLookLikeUriSyntax) {
    const std::string ok = "・・・・・OK\r\n";
    const std::string types = R"(<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema"
        xmlns="urn:hl7-org:v3" targetNamespace="urn:hl7-org:v3" elementFormDefault="qualified">
      <xs:simpleType name="Value"><xs:restriction base="xs:integer"/></xs:simpleType>
    </xs:schema>)";
    const std::string summary = R"(<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema"
        xmlns="urn:hl7-org:v3" targetNamespace="urn:hl7-org:v3" elementFormDefault="qualified">
      <xs:include schemaLocation="coreschemas/types.xsd"/>
      <xs:element name="summary"><xs:complexType><xs:sequence>
        <xs:any processContents="lax" minOccurs="0" maxOccurs="unbounded"/>
      </xs:sequence></xs:complexType></xs:element>
      <xs:element name="doc"><xs:complexType><xs:sequence>
        <xs:element name="name" type="xs:string"/><xs:element name="value" type="Value"/>
      </xs:sequence></xs:complexType></xs:element>
    </xs:schema>)";
    for (const char* name : {"C#", "what?", "pct%41x", "100%", "a b", "健診[1];&x:y"}) {
        SCOPED_TRACE(name);
        TempDir dir;
        fs::create_directories(dir.path() / name);
        const fs::path zip = makeArchive(dir.path() / name, "arc",
                                         {{"ix08_V08.xml", indexDocument()},
                                          {"su08_V08.xml", summaryDocument()},
                                          {"XSD/ix08_V08.xsd", kIndexSchema},
                                          {"XSD/su08_V08.xsd", summary},
                                          {"XSD/coreschemas/types.xsd", types},
                                          {"DATA/a.xml", dataDocument("5")},
                                          {"DATA/b.xml", dataDocument("x")}});
        RunHarness h;
        EXPECT_EQ(h.run(zip.string()), morvik::inspection::RunOutcome::someFailed);
        const std::string start = "交換用基本情報ファイルの調査 " + ok + "集計情報ファイルの調査 " +
                                  ok + "特定健診・保健指導データの調査 \r\na.xml" + ok +
                                  "b.xml\r\n";
        EXPECT_TRUE(h.log.text.starts_with(start)) << h.log.text;
        // The bad value is the document's own fault, not a schema's.
        EXPECT_NE(h.log.text.find("<value>x</value>"), std::string::npos) << h.log.text;
    }
}

// A document that is a link is read only when it points into its own folder.
TEST(XmlHostile, DocumentLinksLeadingElsewhereAreNotRead) {
    TempDir dir;
    const fs::path schema = dir.path() / "XSD" / "s.xsd";
    writeFile(schema, schemaBody());
    const fs::path secret = dir.path() / "secret.xml";
    writeFile(secret, kDocument);
    writeFile(dir.path() / "DATA" / "real.xml", kDocument);
    fs::create_symlink(secret, dir.path() / "DATA" / "out.xml");
    fs::create_symlink("real.xml", dir.path() / "DATA" / "in.xml");
    XmlParserFactory& parser = defaultXmlParserFactory();
    auto schemas = parser.createSchemaCollection();
    ASSERT_TRUE(schemas->add("urn:hl7-org:v3", schema.string()));
    for (const auto& [name, valid] : {std::pair{"in.xml", true}, std::pair{"out.xml", false}}) {
        AccessWatch watch(secret);
        auto doc = parser.createDocument();
        doc->setSchemas(*schemas);
        EXPECT_EQ(doc->load((dir.path() / "DATA" / name).string()), valid) << name;
        if (!valid) {
            EXPECT_NE(morvik::report::reasonText(*doc->parseError()->reasonFacts(), morvik::report::ReasonLanguage::english)
                          .find("leads outside its folder"),
                      std::string::npos);
        }
        EXPECT_FALSE(watch.touched()) << name;
    }
}
