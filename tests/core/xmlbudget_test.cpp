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
        EXPECT_EQ(big.facts.code, static_cast<int>(XmlLoadError::budgetExceeded))
            << big.facts.str1;
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
// their length end at the budget, with a cause that says so.
TEST(XmlBudget, SchemasOverBudgetCannotBeUsed) {
    BudgetFor budget(smallBudget());
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
    EXPECT_NE(log.find("メモリが上限「1 MiB」を超えた", a), std::string::npos) << log;
    EXPECT_NE(log.find("b.xml・・・・・OK"), std::string::npos) << log;
    EXPECT_EQ(xmlBudget().memory, XmlBudget::kDefaultMemory);
    fs::remove_all(dir.path() / "arc");
    // The default memory budget holds the long name. (Time is given room:
    // under the sanitizers every allocation is many times slower.)
    RunHarness again;
    again.maxDocumentTime = 600;
    EXPECT_EQ(again.run(zip.string()), morvik::inspection::RunOutcome::allValid) << again.log.text;
}
