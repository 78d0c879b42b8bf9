// The rules a streaming validation must not let slip, and what a load
// reports for documents that break them: IDs unique, ID references
// answered, identity constraints, well-formedness before any schema
// complaint, lines as XML counts them, and every error on request.
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

const fs::path kSchema = fs::path(MORVIK_FIXTURES_DIR) / "rules" / "rules.xsd";

struct Load {
    std::int32_t code = 0;
    std::vector<XmlErrorRecord> errors;
    bool capped = false;
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
    result.capped = error->errorsCapped();
    return result;
}

// Line 1 the declaration, line 2 the root start tag, the body from line 3.
std::string document(const std::string& body, const std::string& lineEnd = "\n") {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + lineEnd +
           "<doc xmlns=\"urn:hl7-org:v3\">" + lineEnd + body + "</doc>" + lineEnd;
}

struct Case {
    const char* what;
    std::string content;
    std::int32_t code;  // 0: valid
    std::int32_t line;  // of the first error
    std::string source; // its line's text
    std::string reason; // a piece of its (English) reason
};

void check(const Case& c) {
    const Load got = load(c.content);
    EXPECT_EQ(got.code, c.code) << c.what;
    if (c.code == 0) {
        EXPECT_TRUE(got.errors.empty()) << c.what;
        return;
    }
    ASSERT_FALSE(got.errors.empty()) << c.what;
    EXPECT_EQ(got.errors.size(), 1u) << c.what;
    const XmlErrorRecord& first = got.errors.front();
    EXPECT_EQ(first.line, c.line) << c.what;
    EXPECT_EQ(first.srcText, c.source) << c.what;
    EXPECT_NE(first.reason.find(c.reason), std::string::npos) << c.what << ": " << first.reason;
}

} // namespace

TEST(XmlRules, IdsReferencesAndIdentityConstraints) {
    const std::int32_t idc = XML_SCHEMAV_CVC_IDC;
    const std::int32_t badValue = XML_SCHEMAV_CVC_DATATYPE_VALID_1_2_1;
    const std::int32_t dangling = static_cast<std::int32_t>(XmlLoadError::idrefNotFound);
    const Case cases[] = {
        {"IDs and references that match, forward and back",
         document("<item ID=\"a\" key=\"1\"/>\n<item ID=\"b\" key=\"2\"/>\n"
                  "<thing tid=\"t\"/>\n<ref IDREF=\"c\" to=\"1\"/>\n"
                  "<ref IDREF=\"a\" targets=\"a b t\" many=\" b  a \" to=\"2\"/>\n"
                  "<thing tid=\"c\"/>\n"),
         0, 0, "", ""},
        {"repeated ID", document("<item ID=\"n1\" key=\"1\"/>\n<item ID=\"n1\" key=\"2\"/>\n"),
         badValue, 4, "<item ID=\"n1\" key=\"2\"/>",
         "'n1' is not a valid value of the atomic type 'xs:ID'"},
        {"an ID repeated by an attribute of a type derived from xs:ID",
         document("<item ID=\"x\" key=\"1\"/>\n<thing tid=\"x\"/>\n"), badValue, 4,
         "<thing tid=\"x\"/>", "attribute 'tid': 'x'"},
        {"reference to no ID", document("<item ID=\"a\" key=\"1\"/>\n<ref IDREF=\"b\"/>\n"),
         dangling, 4, "<ref IDREF=\"b\"/>", "'b' does not match any ID"},
        {"list of references with one that names no ID",
         document("<item ID=\"a\" key=\"1\"/>\n<ref targets=\"a zz\"/>\n"), dangling, 4,
         "<ref targets=\"a zz\"/>", "'zz' does not match any ID"},
        {"xs:IDREFS with one that names no ID",
         document("<item ID=\"a\" key=\"1\"/>\n<ref many=\"a q\"/>\n"), dangling, 4,
         "<ref many=\"a q\"/>", "'q' does not match any ID"},
        {"repeated key", document("<item key=\"1\"/>\n<item key=\"1\"/>\n"), idc, 4,
         "<item key=\"1\"/>", "Duplicate key-sequence ['1']"},
        {"key reference without its key", document("<item key=\"1\"/>\n<ref to=\"9\"/>\n"), idc, 5,
         "</doc>", "No match found for key-sequence ['9']"},
    };
    for (const Case& c : cases) {
        check(c);
    }
}

// A document that is not well-formed reports its well-formedness error,
// never a schema complaint about a half-read element, even when a schema
// error came first.
TEST(XmlRules, WellFormednessComesFirst) {
    const std::string head = "<?xml version=\"1.0\"?>\n<doc xmlns=\"urn:hl7-org:v3\">\n";
    const Case cases[] = {
        {"cut inside a start tag", head + "<item key=\"1\"/>\n<ite", XML_ERR_GT_REQUIRED, 4, "<ite",
         "Couldn't find end of Start Tag ite"},
        {"cut inside an attribute value", head + "<item key=\"1", XML_ERR_ATTRIBUTE_NOT_FINISHED, 3,
         "<item key=\"1", "AttValue"},
        {"cut inside text", head + "<n>12", XML_ERR_TAG_NOT_FINISHED, 3, "<n>12",
         "Premature end of data"},
        {"cut inside an end tag", head + "<n>12</n", XML_ERR_GT_REQUIRED, 3, "<n>12</n",
         "expected '>'"},
        {"cut after the root's start tag", head, XML_ERR_TAG_NOT_FINISHED, 3, "",
         "Premature end of data in tag doc line 2"},
        {"a schema error, then a mismatched tag",
         head + "<n>x</n>\n<item key=\"1\"></itme>\n</doc>\n", XML_ERR_TAG_NAME_MISMATCH, 4,
         "<item key=\"1\"></itme>", "Opening and ending tag mismatch"},
        {"a schema error, then text after the root", head + "<n>x</n>\n</doc>\ntrailing\n",
         XML_ERR_DOCUMENT_END, 5, "trailing", "Extra content at the end of the document"},
    };
    for (const Case& c : cases) {
        check(c);
    }
}

// CR, CR LF and LF each end one line, in the reported line and its text.
TEST(XmlRules, LinesAsXmlCountsThem) {
    const std::int32_t badValue = XML_SCHEMAV_CVC_DATATYPE_VALID_1_2_1;
    const std::string body = "<n>1</n>\n<n>x</n>\n";
    const Case cases[] = {
        {"LF", document(body), badValue, 4, "<n>x</n>", "'x' is not a valid value"},
        {"CR LF", document("<n>1</n>\r\n<n>x</n>\r\n", "\r\n"), badValue, 4, "<n>x</n>",
         "'x' is not a valid value"},
        {"CR alone", document("<n>1</n>\r<n>x</n>\r", "\r"), badValue, 4, "<n>x</n>",
         "'x' is not a valid value"},
        {"mixed",
         "<?xml version=\"1.0\"?>\r\n<doc xmlns=\"urn:hl7-org:v3\">\r<n>1</n>\n<n>2</n>"
         "\r\n\r<n>x</n>\r</doc>\r",
         badValue, 6, "<n>x</n>", "'x' is not a valid value"},
        {"CR alone, not well-formed",
         "<?xml version=\"1.0\"?>\r<doc xmlns=\"urn:hl7-org:v3\">\r"
         "<n>1</n>\r<n>2</b>\r</doc>\r",
         XML_ERR_TAG_NAME_MISMATCH, 4, "<n>2</b>", "Opening and ending tag mismatch"},
    };
    for (const Case& c : cases) {
        check(c);
    }
}

TEST(XmlRules, EveryErrorOnRequest) {
    const std::string threeErrors =
        document("<n>x</n>\n<n>1</n>\n<n>y</n>\n<item ID=\"a\" key=\"1\"/>\n<ref IDREF=\"b\"/>\n");
    struct Row {
        std::size_t limit;
        std::vector<std::int32_t> lines;
        bool capped;
    };
    const Row rows[] = {
        {1, {3}, false},
        {2, {3, 5}, true},
        {10, {3, 5, 7}, false},
    };
    for (const Row& row : rows) {
        const Load got = load(threeErrors, row.limit);
        std::vector<std::int32_t> lines;
        for (const XmlErrorRecord& error : got.errors) {
            lines.push_back(error.line);
        }
        EXPECT_EQ(lines, row.lines) << row.limit;
        if (row.limit > 1) {
            EXPECT_EQ(got.capped, row.capped) << row.limit;
        }
        EXPECT_EQ(got.code, got.errors.front().code);
    }
    // A well-formedness error is reported alone.
    const Load broken = load(document("<n>x</n>\n<n>y</n>\n<n>1</b>\n"), 10);
    ASSERT_EQ(broken.errors.size(), 1u);
    EXPECT_EQ(broken.errors[0].code, XML_ERR_TAG_NAME_MISMATCH);
    EXPECT_EQ(broken.errors[0].line, 5);
}

// With no schema for its root, a document that is not well-formed still
// reports its well-formedness error.
TEST(XmlRules, WellFormednessFirstAlsoWithoutASchemaForTheRoot) {
    const std::string other = "<?xml version=\"1.0\"?>\n<claim xmlns=\"urn:other\">\n";
    const Case cases[] = {
        {"root of another namespace, well-formed", other + "<n>1</n>\n</claim>\n",
         static_cast<std::int32_t>(XmlLoadError::rootNotDeclared), 2, "<claim xmlns=\"urn:other\">",
         "No matching global declaration"},
        {"root of another namespace, cut in a start tag", other + "<n>1</n>\n<nam",
         XML_ERR_GT_REQUIRED, 4, "<nam", "Couldn't find end of Start Tag nam"},
    };
    for (const Case& c : cases) {
        check(c);
    }
}
