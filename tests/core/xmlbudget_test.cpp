// Documents and schemas made to exhaust memory or time, in small versions
// run against small budgets: each ends with the budget's own reason, the
// next document is checked as usual, and the memory comes back. The full
// sizes: bench/budget_bench.cpp.
#include "platform/xml/xmlbudget.h"
#include "platform/xml/xmlparser.h"
#include "report/reasons.h"
#include "support/archives.h"
#include "support/hostilexml.h"
#include "support/runharness.h"
#include "support/testutil.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace morvik::platform;
using namespace morvik::test;
namespace fs = std::filesystem;

namespace {

// Sets a budget for one test and the defaults again after it.
class BudgetFor {
public:
    explicit BudgetFor(const XmlBudget& budget) { setXmlBudget(budget); }
    ~BudgetFor() { setXmlBudget(XmlBudget{}); }
};

XmlBudget smallBudget(std::uint64_t memoryMiB = 8) {
    XmlBudget budget;
    budget.memory = memoryMiB * 1024 * 1024;
    budget.documentSeconds = 1;
    budget.schemaCompileSeconds = 1;
    return budget;
}

struct LoadResult {
    bool valid = false;
    XmlErrorFacts facts;
};

LoadResult load(XmlSchemaCollection& schemas, const fs::path& document) {
    auto doc = defaultXmlParserFactory().createDocument();
    doc->setSchemas(schemas);
    LoadResult result;
    result.valid = doc->load(document.string());
    result.facts = doc->parseError()->reasonFacts().value_or(XmlErrorFacts{});
    return result;
}

} // namespace

// Cases 1, 3 and 4 of the hostile set, small: long child lists under open
// levels (memory), many attributes on one element (quadratic time), many
// IDs (memory of our own); each ends with the budget's reason, and a small
// document after it is valid again. (Whether a document runs out of time
// depends on the machine's speed, so the time budget is not a row here.)
TEST(XmlBudget, DocumentsOverBudgetEndWithTheirOwnReason) {
    TempDir dir;
    const fs::path schema = dir.path() / "XSD" / "s.xsd";
    writeFile(schema, hostileDocumentSchema());
    writeFile(dir.path() / "ok.xml", hostileSmallDocument());
    const struct {
        const char* what;
        std::string document;
        std::uint64_t memoryMiB;
        const char* spent;
    } cases[] = {
        {"long child lists under 3 open levels", longChildLists(3, 200'000), 8, kBudgetMemory},
        {"many attributes on one element", manyAttributes(150'000), 256, kBudgetAttributes},
        {"many attributes after a comment that has more",
         "<?xml version=\"1.0\"?>\n<!--<x" + attributeList(12'000) +
             ">--><doc xmlns=\"urn:hl7-org:v3\"" + attributeList(10'001) + "/>",
         256, kBudgetAttributes},
        {"many IDs", manyIds(300'000), 8, kBudgetMemory},
    };
    auto schemas = defaultXmlParserFactory().createSchemaCollection();
    ASSERT_TRUE(schemas->add("urn:hl7-org:v3", schema.string()));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        BudgetFor budget(smallBudget(c.memoryMiB));
        const fs::path document = dir.path() / "big.xml";
        writeFile(document, c.document);
        const LoadResult big = load(*schemas, document);
        EXPECT_FALSE(big.valid);
        EXPECT_EQ(big.facts.code, static_cast<int>(XmlLoadError::budgetExceeded)) << big.facts.str1;
        EXPECT_EQ(big.facts.str1, c.spent);
        const std::string japanese =
            morvik::report::reasonText(big.facts, morvik::report::ReasonLanguage::japanese);
        EXPECT_NE(japanese.find("検証を打ち切りました"), std::string::npos) << japanese;
        EXPECT_EQ(big.facts.own, OwnFacts::overBudget);
        const std::string english =
            morvik::report::reasonText(big.facts, morvik::report::ReasonLanguage::english);
        EXPECT_NE(english.find("budget"), std::string::npos) << english;
        // The run goes on: the next document is checked as ever.
        EXPECT_TRUE(load(*schemas, dir.path() / "ok.xml").valid);
    }
}

// The same documents are valid under the default budget: the budget, not
// the documents, made them fail (the smallest of each, to stay quick).
TEST(XmlBudget, TheDefaultBudgetLeavesOrdinaryLargeDocumentsAlone) {
    TempDir dir;
    const fs::path schema = dir.path() / "XSD" / "s.xsd";
    writeFile(schema, hostileDocumentSchema());
    auto schemas = defaultXmlParserFactory().createSchemaCollection();
    ASSERT_TRUE(schemas->add("urn:hl7-org:v3", schema.string()));
    for (const std::string& document :
         {longChildLists(3, 20'000), manyAttributes(9'000), manyIds(30'000),
          // Markup that only looks like attributes: in a comment, a CDATA
          // section and a quoted value.
          "<?xml version=\"1.0\"?>\n<!--<x" + attributeList(12'000) +
              ">--><doc xmlns=\"urn:hl7-org:v3\" v=\"" + std::string(12'000, '=') +
              "\"><content><![CDATA[<x" + attributeList(12'000) + ">]]></content></doc>\n"}) {
        writeFile(dir.path() / "d.xml", document);
        const LoadResult result = load(*schemas, dir.path() / "d.xml");
        EXPECT_TRUE(result.valid) << result.facts.message;
    }
}

// Case 2, small: schema chains whose compilation grows with the square of
// their length end at the budget, with a cause that says so. (Their shape
// is let through here, so that they reach the compiler.)
TEST(XmlBudget, SchemasOverBudgetCannotBeUsed) {
    XmlBudget small = smallBudget();
    small.schemaChain = small.schemaReferences = small.schemaComponents = std::uint64_t{1} << 40;
    BudgetFor budget(small);
    TempDir dir;
    writeFile(dir.path() / "ok.xml", hostileSmallDocument());
    const struct {
        const char* what;
        std::string schema;
    } cases[] = {
        {"substitution-group chain", substitutionChain(3'000)},
        {"group reference chain", groupChain(20'000)},
        {"attribute-group reference chain", attributeGroupChain(20'000)},
        {"type derivation chain", derivationChain(20'000)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path schema = dir.path() / "XSD" / "chain.xsd";
        writeFile(schema, c.schema);
        auto schemas = defaultXmlParserFactory().createSchemaCollection();
        EXPECT_FALSE(schemas->add("urn:hl7-org:v3", schema.string()));
        const LoadResult result = load(*schemas, dir.path() / "ok.xml");
        EXPECT_EQ(result.facts.code, static_cast<int>(XmlLoadError::noSchema));
        const std::string english =
            morvik::report::reasonText(result.facts, morvik::report::ReasonLanguage::english);
        EXPECT_NE(english.find("compiling it needed more than its memory budget"),
                  std::string::npos)
            << english;
        const std::string japanese =
            morvik::report::reasonText(result.facts, morvik::report::ReasonLanguage::japanese);
        EXPECT_NE(japanese.find("コンパイルに使うメモリが上限「8 MiB」を超えました"),
                  std::string::npos)
            << japanese;
    }
}

// Through a whole run: the document over the budget the run was given fails
// with its reason in the log, the next one is checked as usual, and the next
// run has the default budget again.
TEST(XmlBudget, ARunGoesOnAfterADocumentOverBudget) {
    TempDir dir;
    ArchiveFiles files = standardFiles();
    // A long name: the validator holds an element's simple content whole
    // (letters that do not compress far, or the archive is a bomb).
    std::string letters(2 << 20, 'a');
    std::uint32_t seed = 1;
    for (char& c : letters) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>('a' + (seed >> 16) % 26);
    }
    std::string longName = dataDocument("1");
    longName.insert(longName.find("</name>"), letters);
    files.push_back({"DATA/a.xml", longName});
    files.push_back({"DATA/b.xml", dataDocument("2")});
    const fs::path zip = makeArchive(dir.path(), "arc", files);
    RunHarness h;
    h.maxDocumentMemory = 1024 * 1024;
    EXPECT_EQ(h.run(zip.string()), morvik::inspection::RunOutcome::someFailed)
        << (h.messages.shown.empty() ? "" : h.messages.shown.front().text);
    const std::string& log = h.log.text;
    const std::size_t a = log.find("a.xml");
    ASSERT_NE(a, std::string::npos) << log;
    EXPECT_NE(
        log.find("検証を打ち切りました：XMLファイルの検証に使うメモリが上限「1 MiB」を超えました",
                 a),
        std::string::npos)
        << log;
    EXPECT_NE(log.find("b.xml・・・・・OK"), std::string::npos) << log;
    EXPECT_EQ(xmlBudget().memory, XmlBudget::kDefaultMemory);
    fs::remove_all(dir.path() / "arc");
    // The default memory budget holds the long name. (Time is given room:
    // under the sanitizers every allocation is many times slower.)
    RunHarness again;
    again.maxDocumentTime = 600;
    EXPECT_EQ(again.run(zip.string()), morvik::inspection::RunOutcome::allValid) << again.log.text;
}

namespace {

// The refusal of a schema's shape among the causes of an error, if any.
const XmlErrorFacts* shapeRefusal(const XmlErrorFacts& facts) {
    if (facts.own == OwnFacts::schemaTooComplex) {
        return &facts;
    }
    for (const XmlErrorFacts& cause : facts.causes) {
        if (const XmlErrorFacts* found = shapeRefusal(cause)) {
            return found;
        }
    }
    return nullptr;
}

constexpr const char* kOther =
    "<?xml version=\"1.0\"?>\n<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
    "xmlns:o=\"urn:other\" targetNamespace=\"urn:other\">\n";

} // namespace

// Case 2 before compiling: schema sets whose shape is over the budget's
// limits (lowered here: chains of 40, 2,000 references, 500 definitions) are
// refused with their own reason, naming where the chain starts, and quickly;
// sets just inside the limits, and chains that run through other files,
// are measured as one. A circle is left to the compiler, which reports it.
TEST(XmlBudget, SchemaSetsOfAShapeOverBudgetAreRefusedBeforeCompiling) {
    XmlBudget lowered;
    lowered.schemaChain = 40;
    lowered.schemaReferences = 2'000;
    lowered.schemaComponents = 500;
    BudgetFor budget(lowered);
    const std::string start =
        "<?xml version=\"1.0\"?>\n<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
        "xmlns=\"urn:hl7-org:v3\" xmlns:o=\"urn:other\" targetNamespace=\"urn:hl7-org:v3\">\n"
        "<xs:element name=\"doc\"/>\n";
    std::string typesInOther = kOther;
    for (int i = 1; i < 30; ++i) {
        typesInOther += "<xs:simpleType name=\"t" + std::to_string(i) +
                        "\"><xs:restriction base=\"o:t" + std::to_string(i - 1) +
                        "\"/></xs:simpleType>\n";
    }
    typesInOther += "<xs:simpleType name=\"t0\"><xs:restriction base=\"xs:string\"/>"
                    "</xs:simpleType></xs:schema>\n";
    std::string flat = start;
    for (int i = 0; i < 501; ++i) {
        flat += "<xs:element name=\"e" + std::to_string(i) + "\"/>";
    }
    const struct {
        const char* what;
        std::string schema;
        std::string other;   // other.xsd beside it, when not empty
        const char* measure; // nullptr: not refused for its shape
        const char* startsAt;
    } cases[] = {
        {"substitution-group chain", substitutionChain(41), "", "chain", "s40"},
        {"group reference chain", groupChain(41), "", "chain", "g40"},
        {"attribute-group reference chain", attributeGroupChain(41), "", "chain", "a40"},
        {"type derivation chain", derivationChain(41), "", "chain", "t40"},
        {"simple type restriction chain", restrictionChain(41), "", "chain", "r40"},
        {"attribute groups branching and joining", attributeGroupDiamond(12), "", "references",
         "a11"},
        {"unions branching and joining", unionDiamond(12), "", "references", "u11"},
        {"too many definitions", flat + "</xs:schema>\n", "", "components", ""},
        {"substitution-group chain at the limit", substitutionChain(40), "", nullptr, ""},
        {"chain continued in an imported file",
         start + "<xs:import namespace=\"urn:other\" schemaLocation=\"other.xsd\"/>\n" +
             "<xs:simpleType name=\"u\"><xs:list itemType=\"v\"/></xs:simpleType>\n"
             "<xs:simpleType name=\"v\"><xs:union memberTypes=\"w9\"/></xs:simpleType>\n"
             "<xs:complexType name=\"w0\"><xs:simpleContent><xs:extension base=\"o:t29\"/>"
             "</xs:simpleContent></xs:complexType>\n" +
             [] {
                 std::string chain;
                 for (int i = 1; i < 10; ++i) {
                     chain += "<xs:complexType name=\"w" + std::to_string(i) +
                              "\"><xs:simpleContent><xs:restriction base=\"w" +
                              std::to_string(i - 1) + "\"/></xs:simpleContent></xs:complexType>\n";
                 }
                 return chain;
             }() +
             "</xs:schema>\n",
         typesInOther, "chain", "u"},
        {"chain through a file included without a namespace of its own",
         std::string(substitutionChain(30))
             .insert(substitutionChain(30).find("<xs:element"),
                     "<xs:include schemaLocation=\"other.xsd\"/>\n"),
         [] {
             std::string chain = "<?xml version=\"1.0\"?>\n<xs:schema "
                                 "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">\n"
                                 "<xs:element name=\"c0\" substitutionGroup=\"s29\"/>\n";
             for (int i = 1; i < 20; ++i) {
                 chain += "<xs:element name=\"c" + std::to_string(i) + "\" substitutionGroup=\"c" +
                          std::to_string(i - 1) + "\"/>\n";
             }
             return chain + "</xs:schema>\n";
         }(),
         "chain", "c19"},
        {"circular derivation",
         [] {
             std::string text = std::string(derivationChain(30));
             return text.insert(text.find("<xs:complexType name=\"t0\">"),
                                "<xs:complexType name=\"t0\"><xs:complexContent>"
                                "<xs:extension base=\"t29\"/></xs:complexContent>"
                                "</xs:complexType>\n");
         }(),
         "", nullptr, ""},
    };
    TempDir dir;
    writeFile(dir.path() / "ok.xml", hostileSmallDocument());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path schema = dir.path() / "XSD" / "s.xsd";
        writeFile(schema, c.schema);
        fs::remove(dir.path() / "XSD" / "other.xsd");
        if (!c.other.empty()) {
            writeFile(dir.path() / "XSD" / "other.xsd", c.other);
        }
        auto schemas = defaultXmlParserFactory().createSchemaCollection();
        const bool added = schemas->add("urn:hl7-org:v3", schema.string());
        const LoadResult result = load(*schemas, dir.path() / "ok.xml");
        const XmlErrorFacts* refused = shapeRefusal(result.facts);
        if (c.measure == nullptr) {
            EXPECT_EQ(refused, nullptr) << refused->str1;
            // The circle is the compiler's to report; the set at the limit compiles.
            EXPECT_EQ(added, std::string(c.what) != "circular derivation") << result.facts.message;
            continue;
        }
        EXPECT_FALSE(added);
        ASSERT_NE(refused, nullptr) << result.facts.code;
        EXPECT_EQ(refused->str1, c.measure);
        EXPECT_EQ(refused->element, c.startsAt);
        const std::string japanese =
            morvik::report::reasonText(result.facts, morvik::report::ReasonLanguage::japanese);
        const std::string english =
            morvik::report::reasonText(result.facts, morvik::report::ReasonLanguage::english);
        EXPECT_NE(japanese.find("上限の " + refused->str2 + " 個を超えています"), std::string::npos)
            << japanese;
        EXPECT_NE(english.find("limit of " + refused->str2), std::string::npos) << english;
        if (*c.startsAt != '\0') {
            EXPECT_NE(japanese.find("「" + std::string(c.startsAt) + "」から"), std::string::npos)
                << japanese;
        }
    }
}

// The defaults are twenty times the official set's shape or more, and
// scale with the compilation's time: the chain with its square root.
TEST(XmlBudget, TheShapeLimitsLeaveTheOfficialSchemaSetTwentyFoldRoom) {
    const fs::path official =
        fs::path(MORVIK_REALDATA_DIR) / "mhlw-v08-2024" / "XSD" / "hc08_V08.xsd";
    if (!fs::exists(official)) {
        GTEST_SKIP() << "real schema set not present";
    }
    const SchemaShape shape = schemaShapeOf(official.string());
    EXPECT_EQ(shape.files, 5u);
    EXPECT_GT(shape.longestChain, 5u);
    EXPECT_GT(shape.references, 1'000u);
    EXPECT_GT(shape.components, 1'000u);
    const SchemaShapeLimits limits = schemaShapeLimits(XmlBudget{});
    EXPECT_GE(limits.chain, 20 * shape.longestChain);
    EXPECT_GE(limits.references, 20 * shape.references);
    EXPECT_GE(limits.components, 20 * shape.components);
    XmlBudget longer;
    longer.schemaCompileSeconds = 4 * XmlBudget::kDefaultSchemaCompileSeconds;
    const SchemaShapeLimits raised = schemaShapeLimits(longer);
    EXPECT_EQ(raised.chain, 2 * limits.chain);
    EXPECT_EQ(raised.references, 4 * limits.references);
    EXPECT_EQ(raised.components, 4 * limits.components);
}
