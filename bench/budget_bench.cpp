// The XML budget's figures: the most memory libxml2 holds (as the budget
// counts it) and the time for the real archive's documents and schemas and
// for generated documents, against which the defaults are set; and the
// hostile cases in their full sizes under the default budget, one per
// process, for /usr/bin/time -v.
//
//   budget_bench peaks DIR              every *.xml under DIR (an extracted
//                                        archive) against DIR's XSD folder
//   budget_bench case NAME [SIZE]       one hostile case: children, attributes,
//                                        ids, substitution, groups,
//                                        attributegroups, derivation,
//                                        restriction, agdiamond, uniondiamond
//   budget_bench shape XSD...           the shape of each schema set as the
//                                        compilation's budget measures it
#include "platform/xml/xmlbudget.h"
#include "platform/xml/xmlparser.h"
#include "support/hostilexml.h"
#include "support/testutil.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;
using namespace morvik::platform;
using namespace morvik::test;

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int peaks(const fs::path& dir) {
    XmlParserFactory& parser = defaultXmlParserFactory();
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (entry.path().extension() != ".xml") {
            continue;
        }
        const std::string name = entry.path().filename().string();
        const std::string schemaName = name.starts_with("ix") ? "ix08_V08.xsd"
                                       : name.starts_with("su") ? "su08_V08.xsd"
                                       : entry.path().parent_path().filename() == "CLAIMS"
                                           ? "cc08_V08.xsd"
                                           : "hc08_V08.xsd";
        fs::path xsd = dir / "XSD" / schemaName;
        for (const auto& sub : fs::directory_iterator(dir)) {
            if (fs::exists(sub.path() / "XSD" / schemaName)) {
                xsd = sub.path() / "XSD" / schemaName;
            }
        }
        auto schemas = parser.createSchemaCollection();
        setenv(kNoSchemaCacheVariable, "1", 1);
        auto start = std::chrono::steady_clock::now();
        schemas->add("urn:hl7-org:v3", xsd.string());
        const double compile = secondsSince(start);
        const std::uint64_t compilePeak = lastBudgetPeak();
        auto doc = parser.createDocument();
        doc->setSchemas(*schemas);
        start = std::chrono::steady_clock::now();
        const bool valid = doc->load(entry.path().string());
        std::printf("%-40s %8ju bytes  peak %8.2f MB %7.3f s  (%s: compile peak %6.2f MB %6.3f s) "
                    "%s\n",
                    name.c_str(), static_cast<std::uintmax_t>(fs::file_size(entry.path())),
                    lastBudgetPeak() / 1048576.0, secondsSince(start), schemaName.c_str(),
                    compilePeak / 1048576.0, compile, valid ? "valid" : "invalid");
    }
    return 0;
}

// Our own refusals among the causes of an error: case number and fields.
std::string ownCauses(const XmlErrorFacts& facts) {
    std::string text;
    if (facts.own != OwnFacts::none) {
        text += " [own " + std::to_string(static_cast<int>(facts.own)) + " " + facts.str1 + " " +
                facts.str2 + " " + facts.str3 + (facts.element.empty() ? "" : " " + facts.element) +
                "]";
    }
    for (const XmlErrorFacts& cause : facts.causes) {
        text += ownCauses(cause);
    }
    return text;
}

int hostileCase(const std::string& name, std::size_t size) {
    TempDir dir;
    const fs::path schema = dir.path() / "XSD" / "s.xsd";
    std::string document;
    if (name == "children") {
        document = longChildLists(8, size != 0 ? size : 4'900'000);
    } else if (name == "attributes") {
        document = manyAttributes(size != 0 ? size : 300'000);
    } else if (name == "ids") {
        document = manyIds(size != 0 ? size : 20'000'000);
    }
    if (!document.empty()) {
        writeFile(schema, hostileDocumentSchema());
        writeFile(dir.path() / "d.xml", document);
        document.clear();
        document.shrink_to_fit();
    } else {
        writeFile(dir.path() / "d.xml", hostileSmallDocument());
        const std::size_t length = size != 0 ? size : 100'000;
        const std::size_t steps = size != 0 ? size : 30;
        writeFile(schema, name == "substitution"      ? substitutionChain(size != 0 ? size : 20'000)
                          : name == "groups"          ? groupChain(length)
                          : name == "attributegroups" ? attributeGroupChain(length)
                          : name == "restriction"     ? restrictionChain(length)
                          : name == "agdiamond"       ? attributeGroupDiamond(steps)
                          : name == "uniondiamond"    ? unionDiamond(steps)
                                                      : derivationChain(length));
    }
    XmlParserFactory& parser = defaultXmlParserFactory();
    const auto start = std::chrono::steady_clock::now();
    auto schemas = parser.createSchemaCollection();
    schemas->add("urn:hl7-org:v3", schema.string());
    auto doc = parser.createDocument();
    doc->setSchemas(*schemas);
    const bool valid = doc->load((dir.path() / "d.xml").string());
    std::printf("%s: %.2f s, %s: %s%s\n", name.c_str(), secondsSince(start),
                valid ? "valid" : "invalid", doc->parseError()->reason().value_or("").c_str(),
                ownCauses(doc->parseError()->reasonFacts().value_or(XmlErrorFacts{})).c_str());
    return 0;
}

// The figures the defaults of the schema shape are set against.
int shapes(int count, char** paths) {
    const SchemaShapeLimits limits = schemaShapeLimits(xmlBudget());
    std::printf("default limits: chain %ju, references %ju, global definitions %ju\n",
                static_cast<std::uintmax_t>(limits.chain),
                static_cast<std::uintmax_t>(limits.references),
                static_cast<std::uintmax_t>(limits.components));
    for (int i = 0; i < count; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const SchemaShape shape = schemaShapeOf(paths[i]);
        const double seconds = secondsSince(start);
        std::printf("%s: %ju files, %ju global definitions, chain %ju (%s %s), references %ju "
                    "(most from %s %s); "
                    "read in %.3f s\n",
                    paths[i], static_cast<std::uintmax_t>(shape.files),
                    static_cast<std::uintmax_t>(shape.components),
                    static_cast<std::uintmax_t>(shape.longestChain), shape.chainStart.kind.c_str(),
                    shape.chainStart.name.c_str(), static_cast<std::uintmax_t>(shape.references),
                    shape.widestStart.kind.c_str(), shape.widestStart.name.c_str(), seconds);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "peaks" && argc > 2) {
        return peaks(argv[2]);
    }
    if (mode == "case" && argc > 2) {
        return hostileCase(argv[2], argc > 3 ? std::stoul(argv[3]) : 0);
    }
    if (mode == "shape" && argc > 2) {
        return shapes(argc - 2, argv + 2);
    }
    std::fprintf(stderr, "usage: budget_bench peaks DIR | case NAME [SIZE] | shape XSD...\n");
    return 64;
}
