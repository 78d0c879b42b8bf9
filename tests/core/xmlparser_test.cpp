// The libxml2 parser layer: what a load reports for good and bad documents
// (streamed, in every supported encoding), what it never reads, what a
// schema collection does with schemas that cannot be used, and the root
// element and global declaration helpers.
#include "platform/xml/xmlparser.h"
#include "report/reasons.h"
#include "platform/xml/xmltext.h"
#include "support/accesswatch.h"
#include "support/testutil.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <filesystem>
#include <iconv.h>
#include <netinet/in.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace morvik::platform;
using morvik::test::AccessWatch;
using morvik::test::TempDir;
using morvik::test::writeFile;
namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

constexpr const char* kNs = "urn:hl7-org:v3";

// <doc> holds marks (an enumeration from the included file), integers and
// one optional <part> (a global element of the included file).
const std::string kMainSchema = R"(<?xml version="1.0" encoding="UTF-8"?>
<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns="urn:hl7-org:v3"
           targetNamespace="urn:hl7-org:v3" elementFormDefault="qualified">
  <xs:include schemaLocation="parts/types.xsd"/>
  <xs:element name="doc">
    <xs:complexType>
      <xs:sequence>
        <xs:element name="mark" type="Mark" minOccurs="0" maxOccurs="unbounded"/>
        <xs:element name="n" type="xs:integer" minOccurs="0" maxOccurs="unbounded"/>
        <xs:element ref="part" minOccurs="0"/>
      </xs:sequence>
    </xs:complexType>
  </xs:element>
</xs:schema>
)";

const std::string kTypesSchema = R"(<?xml version="1.0" encoding="UTF-8"?>
<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns="urn:hl7-org:v3"
           targetNamespace="urn:hl7-org:v3" elementFormDefault="qualified">
  <xs:simpleType name="Mark">
    <xs:restriction base="xs:string">
      <xs:enumeration value="Ⅰ①～"/>
      <xs:enumeration value="健診"/>
    </xs:restriction>
  </xs:simpleType>
  <xs:element name="part" type="xs:string"/>
</xs:schema>
)";

const std::string kUtf8Declaration = R"(<?xml version="1.0" encoding="UTF-8"?>)";

// Line 1 the declaration, line 2 the root start tag, body from line 3.
std::string document(const std::string& body, const std::string& declaration = kUtf8Declaration) {
    return declaration + "\n<doc xmlns=\"urn:hl7-org:v3\">\n" + body + "</doc>\n";
}

std::string repeated(const std::string& piece, std::size_t times) {
    std::string result;
    result.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i) {
        result += piece;
    }
    return result;
}

std::string convert(const std::string& utf8, const char* to) {
    iconv_t handle = ::iconv_open(to, "UTF-8");
    EXPECT_NE(handle, reinterpret_cast<iconv_t>(-1));
    std::string out(utf8.size() * 4 + 4, '\0');
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    ::iconv(handle, &in, &inLeft, &outPtr, &outLeft);
    ::iconv_close(handle);
    out.resize(out.size() - outLeft);
    return out;
}

struct Outcome {
    bool loaded = false;
    std::int32_t errorCode = 0;
    std::int32_t line = 0;
    std::string srcText;
    std::string reason;
    bool operator==(const Outcome&) const = default;
};

Outcome validOutcome() {
    Outcome outcome;
    outcome.loaded = true;
    return outcome;
}

std::ostream& operator<<(std::ostream& out, const Outcome& o) {
    return out << "{loaded " << o.loaded << ", code " << o.errorCode << ", line " << o.line
               << ", src '" << o.srcText << "', reason '" << o.reason << "'}";
}

Outcome load(const std::vector<std::string>& schemaPaths, const std::string& documentPath,
             std::vector<bool>* added = nullptr, OpenedDocumentHandle opened = {}) {
    XmlParserFactory& parser = defaultXmlParserFactory();
    auto schemas = parser.createSchemaCollection();
    auto doc = parser.createDocument();
    EXPECT_TRUE(schemas && doc);
    for (const std::string& path : schemaPaths) {
        const bool ok = schemas->add(kNs, path);
        if (added != nullptr) {
            added->push_back(ok);
        }
    }
    EXPECT_TRUE(doc->setSchemas(*schemas));
    if (opened) {
        EXPECT_TRUE(doc->setOpened(std::move(opened)));
    }
    Outcome outcome;
    outcome.loaded = doc->load(documentPath);
    auto error = doc->parseError();
    EXPECT_TRUE(error);
    outcome.errorCode = error->errorCode().value();
    outcome.line = error->line().value();
    outcome.srcText = error->srcText().value();
    // Worded as the English reasons word it (our own refusals carry fields).
    outcome.reason = morvik::report::reasonText(error->reasonFacts().value(), morvik::report::ReasonLanguage::english);
    return outcome;
}

// The schema set of this file in a temporary folder.
struct SchemaSet {
    TempDir dir;
    fs::path main;
    explicit SchemaSet(const fs::path& sub = "schemas") {
        main = dir.path() / sub / "main.xsd";
        writeFile(main, kMainSchema);
        writeFile(dir.path() / sub / "parts" / "types.xsd", kTypesSchema);
    }
    Outcome check(const std::string& content, const std::string& name = "d.xml") const {
        const fs::path path = dir.path() / name;
        writeFile(path, content);
        return load({main.string()}, path.string());
    }
    // The same document given as its bytes, for a path where no file is.
    Outcome checkBytes(const std::string& content, const std::string& name = "d.xml") const {
        const fs::path path = dir.path() / "nowhere" / name;
        OpenedDocumentHandle opened;
        (void)readRootElementFromBytes(path.string(), content, nullptr, &opened);
        EXPECT_TRUE(givenAsBytes(opened, path.string()));
        return load({main.string()}, path.string(), nullptr, std::move(opened));
    }
};

// A listening socket on the loopback interface: tells whether anyone
// connected to it.
class LocalListener {
public:
    LocalListener() {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(::listen(m_fd, 4), 0);
        socklen_t length = sizeof address;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
    }
    ~LocalListener() { ::close(m_fd); }
    int port() const { return m_port; }
    bool connected() {
        const int client = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            return false;
        }
        ::close(client);
        return true;
    }

private:
    int m_fd = -1;
    int m_port = 0;
};

bool isUtf8(const std::string& text) {
    return oneLineUtf8(text) == text || text.empty();
}

} // namespace

TEST(XmlParser, LoadOutcomesOfDocuments) {
    // The layer's own English facts, as libxml2 and the layer word them.
    SchemaSet set;
    const std::string sjis = R"(<?xml version="1.0" encoding="Shift_JIS"?>)";
    const std::string eucJp = R"(<?xml version="1.0" encoding="EUC-JP"?>)";
    const struct {
        const char* name;
        std::string content;
        std::int32_t code; // 0 valid, 1 any non-zero, otherwise exact
        std::int32_t line;
        std::string srcText;
        std::string reason; // contained in the reason
    } cases[] = {
        {"valid", document("  <mark>健診</mark>\n  <n>1</n>\n  <part>x</part>\n"), 0, 0, "", ""},
        {"bad value", document("  <n>1</n>\n  <n>12x</n>\n"), 1824, 4, "  <n>12x</n>",
         "'12x' is not a valid value of the atomic type 'xs:integer'"},
        {"unexpected element", document("  <n>1</n>\n  <mark>健診</mark>\n"), 1871, 4,
         "  <mark>健診</mark>", "This element is not expected"},
        {"enumeration", document("  <mark>検診</mark>\n"), 1840, 3, "  <mark>検診</mark>",
         "[facet 'enumeration'] The value '検診' is not an element of the set"},
        {"mismatched tag", document("  <n>1</b>\n"), 76, 3, "  <n>1</b>",
         "Opening and ending tag mismatch: n line 3 and b"},
        {"unclosed root", kUtf8Declaration + "\n<doc xmlns=\"urn:hl7-org:v3\">\n  <n>1</n>\n", 77,
         4, "", "Premature end of data in tag doc line 2"},
        {"text after root", document("") + "junk\n", 5, 4, "junk", "Extra content at the end"},
        {"undefined entity", document("  <n>&x;</n>\n"), 26, 3, "  <n>&x;</n>",
         "Entity 'x' not defined"},
        {"empty file", "", 4, 1, "", "Document is empty"},
        {"binary garbage", "\x89PNG\r\n\x1A\n\0\0\0\rIHDR\xFF\xD8"s, 1, 1, "\xEF\xBF\xBDPNG",
         "Start tag expected"},
        {"root not declared", kUtf8Declaration + "\n<other xmlns=\"urn:hl7-org:v3\"/>\n", -5, 2,
         "<other xmlns=\"urn:hl7-org:v3\"/>",
         "Element '{urn:hl7-org:v3}other': No matching global declaration available for the "
         "validation root (the schema declares the target namespace 'urn:hl7-org:v3')."},
        {"root in another namespace", kUtf8Declaration + "\n<doc xmlns=\"urn:other\"/>\n", -5, 2,
         "<doc xmlns=\"urn:other\"/>", "Element '{urn:other}doc'"},
        {"root in no namespace", "<doc/>", -5, 1, "<doc/>", "Element 'doc'"},
        {"unknown encoding",
         document("  <n>1</n>\n", R"(<?xml version="1.0" encoding="NO-SUCH-CODE"?>)"), 32, 1,
         R"(<?xml version="1.0" encoding="NO-SUCH-CODE"?>)", "Unsupported encoding NO-SUCH-CODE"},
        {"internal DTD", kUtf8Declaration + "\n<!DOCTYPE doc [\n<!ELEMENT doc ANY>\n]>\n<doc/>\n",
         -3, 2, "<!DOCTYPE doc [", "DTD is prohibited"},
        {"UTF-8 with byte-order mark", "\xEF\xBB\xBF" + document("  <mark>Ⅰ①～</mark>\n"), 0, 0, "",
         ""},
        // Code page 932 characters under the Shift_JIS label: Ⅰ①～ and 健診.
        {"Shift_JIS with CP932 characters",
         document("  <mark>\x87\x54\x87\x40\x81\x60</mark>\n  <mark>\x8C\x92\x90\x66</mark>\n",
                  sjis),
         0, 0, "", ""},
        {"Shift_JIS error", document("  <n>\x8C\x92\x90\x66</n>\n", sjis), 1824, 3, "  <n>健診</n>",
         "'健診' is not a valid value"},
        // Converted ahead of parsing; still reported on the line of the bytes.
        {"bytes that are no Shift_JIS", document("  <n>1</n>\n  <n>\x82</n>\n  <n>2</n>\n", sjis),
         6003, 4, "  <n>\xEF\xBF\xBD</n>",
         "input conversion failed due to input error, bytes 0x82 0x3C"},
        {"lower-case sjis label",
         document("  <mark>\x87\x54\x87\x40\x81\x60</mark>\n",
                  R"(<?xml version="1.0" encoding="sjis"?>)"),
         0, 0, "", ""},
        {"EUC-JP", document("  <mark>\xB7\xF2\xBF\xC7</mark>\n", eucJp), 0, 0, "", ""},
        {"EUC-JP error", document("  <n>\xB7\xF2\xBF\xC7</n>\n", eucJp), 1824, 3, "  <n>健診</n>",
         "'健診' is not a valid value"},
        {"UTF-16LE",
         "\xFF\xFE"s + convert(document("  <mark>健診</mark>\n",
                                        R"(<?xml version="1.0" encoding="UTF-16"?>)"),
                               "UTF-16LE"),
         0, 0, "", ""},
        {"UTF-16BE error",
         "\xFE\xFF"s + convert(document("  <n>1</n>\n  <n>健</n>\n",
                                        R"(<?xml version="1.0" encoding="UTF-16"?>)"),
                               "UTF-16BE"),
         1824, 4, "  <n>健</n>", "'健' is not a valid value"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome outcome = set.check(c.content);
        // A document handed over as its bytes tells exactly what its file
        // tells, its lines' texts included.
        EXPECT_EQ(set.checkBytes(c.content), outcome);
        if (c.code == 0) {
            EXPECT_EQ(outcome, validOutcome()) << outcome;
            continue;
        }
        EXPECT_FALSE(outcome.loaded);
        if (c.code == 1) {
            EXPECT_NE(outcome.errorCode, 0);
        } else {
            EXPECT_EQ(outcome.errorCode, c.code) << outcome;
        }
        EXPECT_EQ(outcome.line, c.line) << outcome;
        EXPECT_EQ(outcome.srcText.substr(0, c.srcText.size()), c.srcText) << outcome;
        EXPECT_NE(outcome.reason.find(c.reason), std::string::npos) << outcome;
        EXPECT_TRUE(isUtf8(outcome.srcText)) << outcome;
        EXPECT_EQ(outcome.reason.find('\n'), std::string::npos) << outcome;
        EXPECT_FALSE(outcome.reason.ends_with(" ")) << outcome;
    }
}

TEST(XmlParser, ErrorsFarIntoLargeDocumentsAreFoundWhileStreaming) {
    SchemaSet set;
    const std::string lines = repeated("  <n>1</n>\n", 100000); // about 1 MB
    const struct {
        const char* name;
        std::string tail;
        std::int32_t code;
        std::string srcText;
    } cases[] = {
        {"not well-formed", "  <n>2</m>\n", 76, "  <n>2</m>"},
        {"not valid", "  <n>two</n>\n", 1824, "  <n>two</n>"},
        {"valid", "  <n>2</n>\n", 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome outcome = set.check(document(lines + c.tail + lines));
        EXPECT_EQ(set.checkBytes(document(lines + c.tail + lines)), outcome);
        EXPECT_EQ(outcome.errorCode, c.code) << outcome;
        EXPECT_EQ(outcome.line, c.code == 0 ? 0 : 100003);
        EXPECT_EQ(outcome.srcText, c.srcText);
    }
}

TEST(XmlParser, MultiMegabyteLine) {
    SchemaSet set;
    const std::string filler = repeated("<n>1</n>", 400000); // 3.2 MB on one line
    const Outcome valid = set.check(document(filler + "\n"));
    EXPECT_EQ(valid, validOutcome()) << valid;

    const Outcome invalid = set.check(document(filler + "<n>BAD</n>" + filler + "\n"));
    EXPECT_EQ(invalid.errorCode, 1824);
    EXPECT_EQ(invalid.line, 3);
    EXPECT_NE(invalid.srcText.find("<n>BAD</n>"), std::string::npos) << invalid.srcText;
    EXPECT_TRUE(invalid.srcText.starts_with(kCutMarker));
    EXPECT_TRUE(invalid.srcText.ends_with(kCutMarker));
    EXPECT_LT(invalid.srcText.size(), 2 * kSourceWindow);
}

TEST(XmlParser, NothingThatADoctypeNamesIsRead) {
    // The layer's own English facts, as libxml2 and the layer word them.
    SchemaSet set;
    const fs::path secret = set.dir.path() / "secret.txt";
    const fs::path dtd = set.dir.path() / "doc.dtd";
    writeFile(secret, "<n>1</n>");
    writeFile(dtd, "<!ENTITY s SYSTEM \"secret.txt\">");
    const std::string lol = "<!ENTITY a \"aaaaaaaaaa\">" + [] {
        std::string d;
        for (int i = 1; i < 10; ++i) {
            const std::string prev(1, static_cast<char>('a' + i - 1));
            d += "<!ENTITY " + std::string(1, static_cast<char>('a' + i)) + " \"" +
                 repeated("&" + prev + ";", 10) + "\">";
        }
        return d;
    }();
    const struct {
        const char* name;
        std::string doctype;
        std::string body;
    } cases[] = {
        {"external entity", "<!DOCTYPE doc [<!ENTITY s SYSTEM \"" + secret.string() + "\">]>",
         "  &s;\n"},
        {"external parameter entity",
         "<!DOCTYPE doc [<!ENTITY % p SYSTEM \"" + dtd.string() + "\"> %p;]>", "  &s;\n"},
        {"external subset", "<!DOCTYPE doc SYSTEM \"" + dtd.string() + "\">", "  &s;\n"},
        {"entity expansion", "<!DOCTYPE doc [" + lol + "]>", "  <part>&j;</part>\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AccessWatch secretWatch(secret);
        AccessWatch dtdWatch(dtd);
        const Outcome outcome = set.check(kUtf8Declaration + "\n" + c.doctype + "\n" +
                                          "<doc xmlns=\"urn:hl7-org:v3\">\n" + c.body + "</doc>\n");
        EXPECT_EQ(outcome.errorCode, static_cast<int>(XmlLoadError::dtdProhibited)) << outcome;
        EXPECT_EQ(outcome.line, 2);
        EXPECT_NE(outcome.reason.find("DTD is prohibited"), std::string::npos);
        EXPECT_FALSE(secretWatch.touched());
        EXPECT_FALSE(dtdWatch.touched());
        // The watch does see a read.
        morvik::test::readFile(secret);
        EXPECT_TRUE(secretWatch.touched());
    }
}

TEST(XmlParser, SchemaLocationHintsAreNeverLoaded) {
    SchemaSet set;
    // A schema that would make the document valid if it were used.
    const fs::path lenient = set.dir.path() / "lenient.xsd";
    writeFile(lenient, R"(<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema"
        targetNamespace="urn:hl7-org:v3"><xs:element name="doc"/></xs:schema>)");
    AccessWatch watch(lenient);
    const Outcome outcome = set.check(kUtf8Declaration +
                                      "\n<doc xmlns=\"urn:hl7-org:v3\" "
                                      "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                                      "xsi:schemaLocation=\"urn:hl7-org:v3 " +
                                      lenient.string() + "\">\n  <n>x</n>\n</doc>\n");
    EXPECT_EQ(outcome.errorCode, 1824) << outcome;
    EXPECT_FALSE(watch.touched());
}

TEST(XmlParser, FilesThatAreNoDocuments) {
    // The layer's own English facts, as libxml2 and the layer word them.
    SchemaSet set;
    const fs::path folder = set.dir.path() / "folder.xml";
    fs::create_directory(folder);
    const struct {
        const char* name;
        fs::path path;
        XmlLoadError code;
        std::string reason;
    } cases[] = {
        {"missing", set.dir.path() / "missing.xml", XmlLoadError::cannotRead,
         "cannot be opened: No such file or directory"},
        {"folder", folder, XmlLoadError::notAFile, "is a folder, not a document"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome outcome = load({set.main.string()}, c.path.string());
        EXPECT_EQ(outcome.errorCode, static_cast<int>(c.code)) << outcome;
        EXPECT_EQ(outcome.line, 0);
        EXPECT_EQ(outcome.srcText, "");
        EXPECT_NE(outcome.reason.find(c.reason), std::string::npos) << outcome;
        EXPECT_NE(outcome.reason.find(c.path.string()), std::string::npos) << outcome;
    }
}

TEST(XmlParser, SchemasThatCannotBeUsed) {
    // The layer's own English facts, as libxml2 and the layer word them.
    SchemaSet set;
    const fs::path dir = set.dir.path();
    const fs::path secret = dir / "secret.txt";
    writeFile(secret, "x");
    writeFile(dir / "notschema.xsd", "<notaschema/>");
    writeFile(dir / "broken.xsd", "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">");
    writeFile(dir / "badtype.xsd", R"(<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema"
        xmlns:h="urn:hl7-org:v3" targetNamespace="urn:hl7-org:v3">
        <xs:element name="doc" type="h:NoSuchType"/></xs:schema>)");
    writeFile(dir / "include.xsd", R"(<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema"
        targetNamespace="urn:hl7-org:v3"><xs:include schemaLocation="sub/missing.xsd"/>
        <xs:element name="doc"/></xs:schema>)");
    writeFile(dir / "doctype.xsd", "<!DOCTYPE xs:schema [<!ENTITY s SYSTEM \"" + secret.string() +
                                       "\">]>\n<xs:schema "
                                       "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
                                       "targetNamespace=\"urn:hl7-org:v3\"><xs:element "
                                       "name=\"doc\"/><!-- &s; --></xs:schema>");
    writeFile(dir / "incdoctype.xsd", R"(<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema"
        targetNamespace="urn:hl7-org:v3"><xs:include schemaLocation="doctype.xsd"/></xs:schema>)");
    const fs::path doc = dir / "d.xml";
    writeFile(doc, document("  <n>1</n>\n"));

    const struct {
        const char* name;
        std::string schema;
        std::string reason;
    } cases[] = {
        {"missing file", "nothere.xsd", "No such file or directory"},
        {"not a schema", "notschema.xsd", "is not a schema document"},
        {"not well-formed", "broken.xsd", "broken.xsd"},
        {"unresolved type", "badtype.xsd", "NoSuchType"},
        {"include of a missing file", "include.xsd", "sub/missing.xsd"},
        {"DOCTYPE in the schema", "doctype.xsd", "DTD is prohibited in the schema file"},
        {"DOCTYPE in an included file", "incdoctype.xsd", "DTD is prohibited in the schema file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AccessWatch watch(secret);
        const std::string schemaPath = (dir / c.schema).string();
        std::vector<bool> added;
        const Outcome outcome = load({schemaPath}, doc.string(), &added);
        EXPECT_EQ(added, std::vector<bool>{false});
        EXPECT_EQ(outcome.errorCode, static_cast<int>(XmlLoadError::noSchema)) << outcome;
        EXPECT_EQ(outcome.line, 2);
        EXPECT_EQ(outcome.srcText, "<doc xmlns=\"urn:hl7-org:v3\">");
        EXPECT_TRUE(outcome.reason.starts_with(
            "No schema is available to validate the document against. The schema '" + schemaPath +
            "' could not be used: "))
            << outcome;
        EXPECT_NE(outcome.reason.find(c.reason), std::string::npos) << outcome;
        EXPECT_FALSE(watch.touched());
    }
}

TEST(XmlParser, CollectionStates) {
    // The layer's own English facts, as libxml2 and the layer word them.
    SchemaSet set;
    const fs::path dir = set.dir.path();
    // The same element in another namespace, and a second schema for the
    // first namespace that replaces it.
    writeFile(dir / "other.xsd", R"(<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema"
        targetNamespace="urn:other"><xs:element name="doc" type="xs:string"/></xs:schema>)");
    writeFile(dir / "loose.xsd", R"(<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema"
        targetNamespace="urn:hl7-org:v3"><xs:element name="doc"/></xs:schema>)");
    const std::string main = set.main.string();
    const std::string other = (dir / "other.xsd").string();
    const std::string loose = (dir / "loose.xsd").string();
    const std::string missing = (dir / "missing.xsd").string();
    const fs::path hl7Doc = dir / "hl7.xml";
    const fs::path otherDoc = dir / "other.xml";
    writeFile(hl7Doc, document("  <n>x</n>\n"));
    writeFile(otherDoc, kUtf8Declaration + "\n<doc xmlns=\"urn:other\">text</doc>\n");

    const struct {
        const char* name;
        std::vector<std::string> schemas;
        fs::path document;
        std::int32_t code;
        std::string reason;
    } cases[] = {
        {"no schema added",
         {},
         hl7Doc,
         -4,
         "No schema is available to validate the document against."},
        {"schema with its own namespace", {other}, otherDoc, 0, ""},
        {"two namespaces, first", {main, other}, hl7Doc, 1824, "'x' is not a valid value"},
        {"two namespaces, second", {main, other}, otherDoc, 0, ""},
        {"later schema replaces earlier", {main, loose}, hl7Doc, 0, ""},
        {"failed add before a good one", {missing, main}, hl7Doc, 1824, "'x'"},
        {"failed add and a schema of another namespace",
         {missing, other},
         hl7Doc,
         -5,
         "(the schema declares the target namespace 'urn:other'). The schema '" + missing +
             "' could not be used: cannot open '" + missing + "': No such file or directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome outcome = load(c.schemas, c.document.string());
        EXPECT_EQ(outcome.errorCode, c.code) << outcome;
        EXPECT_EQ(outcome.loaded, c.code == 0);
        EXPECT_NE(outcome.reason.find(c.reason), std::string::npos) << outcome;
    }
}

TEST(XmlParser, DocumentOperations) {
    XmlParserFactory& parser = defaultXmlParserFactory();
    auto doc = parser.createDocument();
    ASSERT_TRUE(doc);
    EXPECT_TRUE(doc->setAsync(false));
    EXPECT_FALSE(doc->setAsync(true));

    struct ForeignCollection : XmlSchemaCollection {
        bool add(const std::string&, const std::string&) override { return true; }
    } foreign;
    EXPECT_FALSE(doc->setSchemas(foreign));

    // Before any load there is no valid document to speak of.
    auto before = doc->parseError();
    ASSERT_TRUE(before);
    EXPECT_EQ(before->errorCode(), static_cast<int>(XmlLoadError::notLoaded));
    EXPECT_EQ(before->line(), 0);
}

TEST(XmlParser, IncludesResolveInFoldersWithSpacesAndJapaneseNames) {
    SchemaSet set("健診 スキーマ/v08 (2024)");
    EXPECT_EQ(set.check(document("  <mark>健診</mark>\n  <part>p</part>\n")), validOutcome());
    EXPECT_EQ(set.check(document("  <mark>検診</mark>\n")).errorCode, 1840);
}

TEST(XmlParser, NetworkSchemaLocationsAreNotFetched) {
    // The layer's own English facts, as libxml2 and the layer word them.
    LocalListener listener;
    TempDir dir;
    const std::string url = "http://127.0.0.1:" + std::to_string(listener.port());
    const fs::path schema = dir.path() / "net.xsd";
    writeFile(schema, R"(<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema"
        targetNamespace="urn:hl7-org:v3" xmlns:r="urn:remote">
        <xs:import namespace="urn:remote" schemaLocation=")" +
                          url + R"(/remote.xsd"/>
        <xs:include schemaLocation=")" +
                          url + R"(/inc.xsd"/>
        <xs:element name="doc"/></xs:schema>)");
    const fs::path doc = dir.path() / "d.xml";
    writeFile(doc, document(""));
    std::vector<bool> added;
    const Outcome outcome = load({schema.string()}, doc.string(), &added);
    EXPECT_EQ(added, std::vector<bool>{false});
    EXPECT_NE(outcome.reason.find("is not a local file; nothing is fetched from a network"),
              std::string::npos)
        << outcome;
    EXPECT_FALSE(listener.connected());
}

TEST(XmlParser, ErrorsGoToTheCallNotToTheProcess) {
    SchemaSet set;
    const fs::path dir = set.dir.path();
    writeFile(dir / "bad.xsd", "<notaschema/>");
    writeFile(dir / "include.xsd", R"(<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema"
        targetNamespace="urn:hl7-org:v3"><xs:include schemaLocation="missing.xsd"/></xs:schema>)");
    writeFile(dir / "ok.xml", document("  <n>1</n>\n"));
    const std::string eucJp = R"(<?xml version="1.0" encoding="EUC-JP"?>)";
    const std::vector<std::string> documents = {
        document("  <n>1</b>\n"),
        document("  <n>x</n>\n"),
        // Bytes that are no EUC-JP: the converter fails.
        document("  <mark>\xFF\x54</mark>\n", eucJp),
        kUtf8Declaration + "\n<!DOCTYPE doc SYSTEM \"x.dtd\">\n<doc/>",
        "\x89PNG\r\n\x1A\n\0\0"s,
        "",
        document("", R"(<?xml version="1.0" encoding="NO-SUCH-CODE"?>)"),
    };
    testing::internal::CaptureStderr();
    std::vector<std::int32_t> codes;
    for (const std::string& content : documents) {
        codes.push_back(set.check(content).errorCode);
    }
    for (const char* schema : {"bad.xsd", "include.xsd", "missing.xsd"}) {
        codes.push_back(load({(dir / schema).string()}, (dir / "ok.xml").string()).errorCode);
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    for (std::size_t i = 0; i < codes.size(); ++i) {
        EXPECT_NE(codes[i], 0) << "case " << i;
    }
}

TEST(XmlParser, ReadRootElement) {
    TempDir dir;
    const fs::path path = dir.path() / "r.xml";
    const std::string xsi = "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"";
    const struct {
        const char* name;
        std::string content;
        std::optional<XmlRootElement> root;
    } cases[] = {
        {"namespace and hint",
         kUtf8Declaration + "\n<!-- c -->\n<?pi x?>\n<ClinicalDocument xmlns=\"urn:hl7-org:v3\" " +
             xsi + " xsi:schemaLocation=\"urn:hl7-org:v3 ../XSD/hc08_V08.xsd\">\n<junk",
         XmlRootElement{kNs, "ClinicalDocument", {"hc08_V08.xsd"}, 4}},
        {"prefixed root, several pairs",
         "<p:index xmlns:p=\"urn:a\" " + xsi +
             " xsi:schemaLocation=\"urn:a  a\\b\\ix08_V08.xsd\n urn:b http://x/y/co08_V08.xsd\"/>",
         XmlRootElement{"urn:a", "index", {"ix08_V08.xsd", "co08_V08.xsd"}, 2}},
        {"no namespace", "<claim " + xsi + " xsi:noNamespaceSchemaLocation=\"cc08_V08.xsd\">",
         XmlRootElement{"", "claim", {"cc08_V08.xsd"}, 1}},
        {"hint without xsi namespace", "<a schemaLocation=\"x y.xsd\"/>",
         XmlRootElement{"", "a", {}, 1}},
        {"Shift_JIS", "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<\x8C\x92 xmlns=\"urn:j\"/>",
         XmlRootElement{"urn:j", "健", {}, 2}},
        {"binary after the root", "<a>\0\xFF\xFE\x01"s, XmlRootElement{"", "a", {}, 1}},
        {"empty", "", std::nullopt},
        {"garbage before the root", "\x89PNG\r\n", std::nullopt},
        {"DOCTYPE", "<!DOCTYPE a SYSTEM \"a.dtd\">\n<a/>", std::nullopt},
        {"unbound prefix", "<p:a/>", std::nullopt},
        {"unclosed start tag", "<a b=\"1\"", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(path, c.content);
        const std::optional<XmlRootElement> root = readRootElement(path.string());
        ASSERT_EQ(root.has_value(), c.root.has_value());
        if (root) {
            EXPECT_EQ(root->namespaceUri, c.root->namespaceUri);
            EXPECT_EQ(root->localName, c.root->localName);
            EXPECT_EQ(root->schemaFileNames, c.root->schemaFileNames);
            EXPECT_EQ(root->line, c.root->line);
        }
    }
    EXPECT_FALSE(readRootElement((dir.path() / "missing.xml").string()));
    EXPECT_FALSE(readRootElement(dir.path().string()));
}

TEST(XmlParser, SchemaDeclaresGlobalElement) {
    SchemaSet set;
    const fs::path dir = set.dir.path();
    writeFile(dir / "imports.xsd", R"(<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema"
        targetNamespace="urn:outer" xmlns:h="urn:hl7-org:v3">
        <xs:import namespace="urn:hl7-org:v3" schemaLocation="schemas/main.xsd"/>
        <xs:element name="outer"><xs:complexType><xs:sequence>
          <xs:element ref="h:doc"/><xs:element name="local" type="xs:string"/>
        </xs:sequence></xs:complexType></xs:element>
        <xs:element name="free"/></xs:schema>)");
    writeFile(dir / "nons.xsd", R"(<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema">
        <xs:element name="claim"/></xs:schema>)");
    writeFile(dir / "broken.xsd", "<xs:schema");
    const std::string main = set.main.string();
    const std::string imports = (dir / "imports.xsd").string();
    const std::string nons = (dir / "nons.xsd").string();
    const struct {
        std::string schema;
        std::string namespaceUri;
        std::string localName;
        bool declared;
    } cases[] = {
        {main, kNs, "doc", true},
        {main, kNs, "part", true},  // from the included file
        {main, kNs, "n", false},    // a local element
        {main, kNs, "Mark", false}, // a type, not an element
        {main, "urn:other", "doc", false},
        {main, "", "doc", false},
        {imports, "urn:outer", "outer", true},
        {imports, "urn:outer", "free", true},
        {imports, "urn:outer", "local", false},
        {imports, kNs, "doc", true}, // from the imported schema
        {nons, "", "claim", true},
        {nons, kNs, "claim", false},
        {(dir / "broken.xsd").string(), kNs, "doc", false},
        {(dir / "missing.xsd").string(), kNs, "doc", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(schemaDeclaresGlobalElement(c.schema, c.namespaceUri, c.localName), c.declared)
            << c.schema << " {" << c.namespaceUri << "}" << c.localName;
    }
}

// A document probed for its root and handed to the load goes on from where
// the probe stopped; replaced (or written anew) before the load, or handed to
// the load of another file, it is loaded as the file is then.
TEST(XmlParser, ProbedDocumentHandedToTheLoad) {
    SchemaSet set;
    const fs::path path = set.dir.path() / "d.xml";
    const fs::path other = set.dir.path() / "e.xml";
    writeFile(other, document("  <n>z</n>\n"));
    const auto probed = [&] {
        OpenedDocumentHandle opened;
        EXPECT_TRUE(readRootElement(path.string(), nullptr, &opened));
        EXPECT_TRUE(opened);
        return opened;
    };
    writeFile(path, document("  <n>1</n>\n"));
    EXPECT_EQ(load({set.main.string()}, path.string(), nullptr, probed()).errorCode, 0);
    EXPECT_EQ(load({set.main.string()}, other.string(), nullptr, probed()).errorCode, 1824);
    OpenedDocumentHandle opened = probed();
    writeFile(path, document("  <n>x</n>\n"));
    EXPECT_EQ(load({set.main.string()}, path.string(), nullptr, std::move(opened)).errorCode, 1824);
    writeFile(path, document("  <n>1</n>\n"));
    opened = probed();
    writeFile(set.dir.path() / "new.xml", document("  <n>y</n>\n"));
    fs::rename(set.dir.path() / "new.xml", path);
    EXPECT_EQ(load({set.main.string()}, path.string(), nullptr, std::move(opened)).errorCode, 1824);
}

namespace {

// What the read hook does to the document once it has been read.
enum class Swap { otherFile, linkToPrivateFile, removed };
Swap g_swap = Swap::otherFile;
fs::path g_private;

void swapDocument(const std::string& path) {
    fs::remove(path);
    switch (g_swap) {
    case Swap::otherFile:
        writeFile(path, repeated("SECRET other file's line\n", 10));
        break;
    case Swap::linkToPrivateFile:
        fs::create_symlink(g_private, path);
        break;
    case Swap::removed:
        break;
    }
}

} // namespace

TEST(XmlParser, ErrorLinesComeFromTheDocumentThatWasRead) {
    // Whatever is put at the document's name after it was read, the lines
    // shown are those of what was validated: a swap in that window must not
    // put another file's text (through a link: a private one) into the log.
    SchemaSet set;
    g_private = set.dir.path() / "private.txt";
    writeFile(g_private, repeated("SECRET private line\n", 10));
    const std::string sjis = R"(<?xml version="1.0" encoding="Shift_JIS"?>)";
    const struct {
        const char* name;
        std::string content;
        std::int32_t line;
        std::string srcText;
    } cases[] = {
        {"not valid", document("  <n>1</n>\n  <n>12x</n>\n"), 4, "  <n>12x</n>"},
        {"not well-formed", document("  <n>1</b>\n"), 3, "  <n>1</b>"},
        {"root not declared", kUtf8Declaration + "\n<other xmlns=\"urn:hl7-org:v3\"/>\n", 2,
         "<other xmlns=\"urn:hl7-org:v3\"/>"},
        {"no root", kUtf8Declaration + "\n<!-- c -->\n<\n", 3, "<"},
        {"undecodable", document("  <n>1</n>\n  <n>\x82</n>\n", sjis), 4, "  <n>\xEF\xBF\xBD</n>"},
    };
    for (const Swap swap : {Swap::otherFile, Swap::linkToPrivateFile, Swap::removed}) {
        g_swap = swap;
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + ", swap " + std::to_string(static_cast<int>(swap)));
            const fs::path path = set.dir.path() / "d.xml";
            fs::remove(path);
            writeFile(path, c.content);
            setDocumentReadHook(swapDocument);
            const Outcome outcome = load({set.main.string()}, path.string());
            setDocumentReadHook(nullptr);
            EXPECT_FALSE(outcome.loaded);
            EXPECT_EQ(outcome.line, c.line) << outcome;
            EXPECT_EQ(outcome.srcText, c.srcText) << outcome;
        }
    }
}
