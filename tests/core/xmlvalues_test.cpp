// Values the streaming validation must judge by their declarations: numbers
// that libxml2 takes although they are none, IDs and references wherever a
// declaration puts them; and what the parser alone gets wrong: a byte-order
// mark against the declared encoding, the lines of namespace errors in files
// whose lines end in CR, xsi:type with blanks around it, and the list of
// errors after an element that is not expected.
#include "platform/xml/xmlparser.h"
#include "report/reasons.h"
#include "support/testutil.h"

#include <gtest/gtest.h>

#include <libxml/xmlerror.h>

#include <filesystem>

using namespace morvik::platform;
using morvik::test::TempDir;
using morvik::test::writeFile;
namespace fs = std::filesystem;

namespace {

const fs::path kSchema = fs::path(MORVIK_FIXTURES_DIR) / "values" / "values.xsd";

struct Load {
    std::int32_t code = 0;
    std::vector<XmlErrorRecord> errors;
    bool contentLeftUnchecked = false;
};

Load load(const std::string& content, std::size_t limit = 1) {
    TempDir dir;
    writeFile(dir.path() / "d.xml", content);
    XmlParserFactory& parser = defaultXmlParserFactory();
    auto schemas = parser.createSchemaCollection();
    auto doc = parser.createDocument();
    EXPECT_TRUE(schemas->add("urn:hl7-org:v3", kSchema.string()));
    EXPECT_TRUE(doc->setSchemas(*schemas));
    EXPECT_TRUE(doc->setErrorLimit(limit));
    doc->load((dir.path() / "d.xml").string());
    auto error = doc->parseError();
    Load result;
    result.code = error->errorCode().value();
    result.errors = error->errors();
    for (XmlErrorRecord& record : result.errors) {
        record.reason = morvik::report::reasonText(record.facts, morvik::report::ReasonLanguage::english);
    }
    result.contentLeftUnchecked = error->contentLeftUnchecked();
    return result;
}

// Line 1 the declaration, line 2 the root start tag, the body from line 3.
std::string document(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<doc xmlns=\"urn:hl7-org:v3\" "
           "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n" +
           body + "</doc>\n";
}

constexpr std::int32_t kNotANumber = static_cast<std::int32_t>(XmlLoadError::notANumber);
constexpr std::int32_t kBadValue = XML_SCHEMAV_CVC_DATATYPE_VALID_1_2_1;
constexpr std::int32_t kDangling = static_cast<std::int32_t>(XmlLoadError::idrefNotFound);

struct Row {
    const char* what;
    std::string body;
    std::int32_t code;       // 0: valid
    std::int32_t line;       // of the first error
    std::string reason = {}; // a piece of its English reason
};

void check(const Row& row) {
    const Load got = load(document(row.body));
    EXPECT_EQ(got.code, row.code) << row.what;
    if (row.code == 0) {
        EXPECT_TRUE(got.errors.empty()) << row.what << ": " << got.errors.front().reason;
        return;
    }
    ASSERT_FALSE(got.errors.empty()) << row.what;
    EXPECT_EQ(got.errors.front().line, row.line) << row.what;
    EXPECT_NE(got.errors.front().reason.find(row.reason), std::string::npos)
        << row.what << ": " << got.errors.front().reason;
}

std::string pq(const std::string& value) {
    return "<value xsi:type=\"PQ\" value=\"" + value + "\" unit=\"mg\"/>\n";
}

} // namespace

// A number with an exponent marker and no exponent digits is no xs:double;
// libxml2 2.9 takes it. Every place that names a double is checked.
TEST(XmlValues, NumbersWithADanglingExponentAreRefused) {
    std::vector<Row> rows;
    for (const char* value : {"1e", "1E", "1e+", "1e-", "1.e", ".1e", "-1e", "1.0E", " 2e "}) {
        rows.push_back({value, pq(value), kNotANumber, 3,
                        "is not a valid value of the type '{urn:hl7-org:v3}real'"});
    }
    for (const char* value : {"1e5", "1.0E-3", ".5", "-0", "+7", "INF", "-INF", "NaN", "12"}) {
        rows.push_back({value, pq(value), 0, 0});
    }
    rows.push_back({"a string value of another type by the same name",
                    "<value xsi:type=\"ST\" value=\"1e\"/>\n", 0, 0});
    rows.push_back({"xsi:type with a prefix",
                    "<value xmlns:v3=\"urn:hl7-org:v3\" xsi:type=\"v3:PQ\" value=\"3E\"/>\n",
                    kNotANumber, 3, "'3E'"});
    rows.push_back({"a local declaration of a derived type",
                    "<range>\n<low value=\"1\"/>\n<high value=\"2e+\"/>\n</range>\n", kNotANumber,
                    5, "'2e+'"});
    rows.push_back({"element content", "<d>1</d>\n<d>4.5e</d>\n", kNotANumber, 4,
                    "Element '{urn:hl7-org:v3}d': '4.5e' is not a valid value of the type "
                    "'xs:double'"});
    rows.push_back({"xs:float", "<f>1E-</f>\n", kNotANumber, 3, "xs:float"});
    rows.push_back({"a list of doubles", "<dl>1 2.5e 3</dl>\n", kNotANumber, 3, "'2.5e'"});
    rows.push_back({"not a number at all stays libxml2's error", pq("abc"),
                    XML_SCHEMAV_CVC_DATATYPE_VALID_1_2_3, 3, "'abc'"});
    rows.push_back({"an integer stays libxml2's", "<n>1e</n>\n", kBadValue, 3, "'1e'"});
    for (const Row& row : rows) {
        check(row);
    }
}

// The Japanese reason of the new error names the value and the forms.
TEST(XmlValues, TheNumberErrorHasAJapaneseReason) {
    const Load got = load(document(pq("1e")));
    ASSERT_EQ(got.errors.size(), 1u);
    const std::string japanese = morvik::report::reasonText(
        got.errors.front().facts, morvik::report::ReasonLanguage::japanese);
    EXPECT_EQ(japanese,
              "数値として正しくありません：要素「value」の属性「value」の値「1e」"
              "（「xs:decimal」・「xs:double」のどちらとしても読めません。指数を表す「e」の"
              "後には数字が必要です）。");
    EXPECT_EQ(morvik::report::reasonText(got.errors.front().facts,
                                         morvik::report::ReasonLanguage::english),
              got.errors.front().reason);
}

// IDs keyed by their declaration: the attribute ID is an xs:ID on <item> and
// a string on <note>; IDs also in element content, simple content, unions.
TEST(XmlValues, IdsKeyedByDeclaration) {
    const Row rows[] = {
        {"an ID repeated on the element that declares it an ID, a string between",
         "<item ID=\"a\"/>\n<note ID=\"x\"/>\n<item ID=\"a\"/>\n", kBadValue, 5,
         "'a' is not a valid value of the atomic type 'xs:ID'"},
        {"the same value in the attribute that is no ID", "<item ID=\"a\"/>\n<note ID=\"a\"/>\n", 0,
         0},
        {"a reference to an item's ID", "<item ID=\"a\"/>\n<note ID=\"n\"/>\n<ref IDREF=\"a\"/>\n",
         0, 0},
        {"a reference to a note's string names no ID", "<note ID=\"n\"/>\n<ref IDREF=\"n\"/>\n",
         kDangling, 4, "'n' does not match any ID"},
        {"an ID in element content, repeated", "<key>k1</key>\n<key> k1 </key>\n", kBadValue, 4,
         "'k1'"},
        {"a reference in element content to it", "<see>k1</see>\n<key>k1</key>\n", 0, 0},
        {"a reference in element content to nothing", "<key>k1</key>\n<see>k2</see>\n", kDangling,
         4, "Element '{urn:hl7-org:v3}see': 'k2' does not match any ID"},
        {"an ID in simple content with an attribute",
         "<sid lang=\"ja\">s1</sid>\n<item ID=\"s1\"/>\n", kBadValue, 4, "'s1'"},
        {"an ID member of a union, repeated", "<u code=\"c1\"/>\n<u code=\"c1\"/>\n", kBadValue, 4,
         "'c1'"},
        {"the union's numbers are no IDs", "<u code=\"12\"/>\n<u code=\"12\"/>\n", 0, 0},
        {"an ID of one kind repeated by another", "<key>z</key>\n<u code=\"z\"/>\n", kBadValue, 4,
         "'z'"},
    };
    for (const Row& row : rows) {
        check(row);
    }
}

// libxml2 looks an xsi:type value up with its blanks; a QName's whitespace
// is collapsed first.
TEST(XmlValues, XsiTypeWithBlanksAround) {
    const Row rows[] = {
        {"blanks around", "<value xsi:type=\"  PQ \" value=\"1\"/>\n", 0, 0},
        {"a line break before", "<value xsi:type=\"&#10;PQ\" value=\"1\"/>\n", 0, 0},
        {"and still checked", "<value xsi:type=\" PQ\" value=\"1e\"/>\n", kNotANumber, 3, "'1e'"},
        {"an unknown type stays an error", "<value xsi:type=\" XX \"/>\n", XML_SCHEMAV_CVC_ELT_4_2,
         3, "XX"},
    };
    for (const Row& row : rows) {
        check(row);
    }
}

namespace {

std::string utf16(const std::string& ascii, bool littleEndian) {
    std::string bytes = littleEndian ? std::string("\xFF\xFE") : std::string("\xFE\xFF");
    for (const char c : ascii) {
        bytes += littleEndian ? std::string{c, '\0'} : std::string{'\0', c};
    }
    return bytes;
}

} // namespace

// A UTF-16 byte-order mark and a declaration of another encoding cannot both
// be right: a well-formedness error of its own, on line 1.
TEST(XmlValues, ByteOrderMarkAgainstTheDeclaredEncoding) {
    const std::string body = "\n<doc xmlns=\"urn:hl7-org:v3\">\n<n>1</n>\n</doc>\n";
    const auto declared = [&](const std::string& label) {
        return "<?xml version=\"1.0\"" + (label.empty() ? "" : " encoding=\"" + label + "\"") +
               "?>" + body;
    };
    const std::int32_t conflict = static_cast<std::int32_t>(XmlLoadError::byteOrderMarkConflict);
    struct BomRow {
        const char* what;
        std::string bytes;
        std::int32_t code;
    };
    const BomRow rows[] = {
        {"UTF-16LE mark, UTF-8 declared", utf16(declared("UTF-8"), true), conflict},
        {"UTF-16LE mark, Shift_JIS declared", utf16(declared("Shift_JIS"), true), conflict},
        {"UTF-16LE mark, UTF-16BE declared", utf16(declared("UTF-16BE"), true), conflict},
        {"UTF-16BE mark, UTF-8 declared", utf16(declared("UTF-8"), false), conflict},
        {"UTF-16LE mark, UTF-16 declared", utf16(declared("UTF-16"), true), 0},
        {"UTF-16LE mark, utf-16le declared", utf16(declared("utf-16le"), true), 0},
        {"UTF-16BE mark, UTF-16BE declared", utf16(declared("UTF-16BE"), false), 0},
        {"UTF-16LE mark, nothing declared", utf16(declared(""), true), 0},
        {"UTF-8 mark, UTF-8 declared", "\xEF\xBB\xBF" + declared("UTF-8"), 0},
    };
    for (const BomRow& row : rows) {
        const Load got = load(row.bytes);
        EXPECT_EQ(got.code, row.code) << row.what;
        if (row.code == conflict) {
            ASSERT_EQ(got.errors.size(), 1u) << row.what;
            EXPECT_EQ(got.errors.front().line, 1) << row.what;
            EXPECT_NE(morvik::report::reasonText(got.errors.front().facts,
                                                 morvik::report::ReasonLanguage::japanese)
                          .find("バイト順マーク"),
                      std::string::npos)
                << row.what;
        }
    }
}

// Namespace errors are the parser's: lines as XML counts them (CR, CR LF and
// LF each end one line), also where the parser counts only LF.
TEST(XmlValues, NamespaceErrorLinesInCrFiles) {
    const std::string root = "<doc xmlns=\"urn:hl7-org:v3\">";
    const auto lines = [](const std::vector<std::string>& parts, const std::string& end) {
        std::string text;
        for (const std::string& part : parts) {
            text += part + end;
        }
        return text;
    };
    const std::string head = "<?xml version=\"1.0\"?>";
    struct NsRow {
        const char* what;
        std::string content;
        std::int32_t line;
    };
    const NsRow rows[] = {
        {"unbound prefix, CR", lines({head, root, "<n>1</n>", "<p:n>2</p:n>", "</doc>"}, "\r"), 4},
        {"empty prefix binding, CR",
         lines({head, root, "<n>1</n>", "<n xmlns:p=\"\">2</n>", "</doc>"}, "\r"), 4},
        {"two colons, CR", lines({head, root, "<n>1</n>", "<n>2</n>", "<a:b:c/>", "</doc>"}, "\r"),
         5},
        {"a namespaced attribute twice, CR",
         lines({head, root, "<n>1</n>",
                "<n xmlns:a=\"urn:x\" xmlns:b=\"urn:x\" a:k=\"1\" b:k=\"2\">3</n>", "</doc>"},
               "\r"),
         4},
        {"unbound prefix, LF", lines({head, root, "<n>1</n>", "<p:n>2</p:n>", "</doc>"}, "\n"), 4},
        {"unbound prefix after CR LF and two lone CRs",
         head + "\r\n" + root + "\r\n<n>1</n>\r<n>2</n>\r<n>3</n>\r\n<p:n>2</p:n>\r\n</doc>\r\n",
         6},
    };
    for (const NsRow& row : rows) {
        const Load got = load(row.content);
        ASSERT_FALSE(got.errors.empty()) << row.what;
        EXPECT_EQ(got.errors.front().facts.domain, XML_FROM_NAMESPACE) << row.what;
        EXPECT_EQ(got.errors.front().line, row.line) << row.what;
        EXPECT_GT(got.errors.front().column, 0) << row.what;
    }
}

// After "element not expected" libxml2 checks nothing more of the parent's
// content: the list says it may be incomplete.
TEST(XmlValues, AnUnexpectedElementMarksTheListIncomplete) {
    struct ListRow {
        const char* what;
        std::string body;
        bool incomplete;
    };
    const ListRow rows[] = {
        {"an unexpected element, then a bad value", "<n>1</n>\n<bogus/>\n<n>x</n>\n", true},
        {"two bad values", "<n>x</n>\n<n>y</n>\n", false},
        {"valid", "<n>1</n>\n", false},
    };
    for (const ListRow& row : rows) {
        const Load got = load(document(row.body), 100);
        EXPECT_EQ(got.contentLeftUnchecked, row.incomplete) << row.what;
    }
}
