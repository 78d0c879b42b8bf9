// How much memory and time libxml2 may spend on one document and on one
// compilation of a schema set, counted per validation thread inside the
// process. A document over its budget ends with its own error
// (XmlLoadError::budgetExceeded) and the run goes on with the next one; a
// schema set over its budget cannot be used, and says why.
#pragma once

#include <cstdint>
#include <string>

namespace morvik::platform {

struct XmlBudget {
    // Defaults: at least twenty times the peak of the real archives and of
    // the benchmark documents (bench/validate.md has the measurements).
    static constexpr std::uint64_t kDefaultMemory = std::uint64_t{512} << 20; // 512 MiB
    static constexpr std::uint32_t kDefaultDocumentSeconds = 20;
    // A document's time budget grows with its size: documentSeconds for
    // every started step of this many bytes.
    static constexpr std::uint64_t kDocumentStep = 10 * 1024 * 1024;
    static constexpr std::uint32_t kDefaultSchemaCompileSeconds = 20;

    // The most bytes libxml2 may hold at once for one document (its parser
    // and validator) and for one schema compilation.
    std::uint64_t memory = kDefaultMemory;
    // The longest one document's parse and validation may take, per started
    // 10 MiB of the document.
    std::uint32_t documentSeconds = kDefaultDocumentSeconds;
    // The longest one schema set's compilation may take.
    std::uint32_t schemaCompileSeconds = kDefaultSchemaCompileSeconds;

    // The shape of a schema set that may be compiled, read from its files
    // before the compilation starts (libxml2's compiler cannot be stopped
    // while it walks chains of references): definitions on one chain of
    // references, references followed from every definition (counted once
    // for every path; the compiler's work grows with them), and global
    // definitions. The largest official set (hc08_V08.xsd and hg08_V08.xsd
    // with coreschemas/) has a chain of 11, 8,461 references and 1,670
    // global definitions (budget_bench shape); the defaults are 22.7, 23.6
    // and 23.9 times as much. bench/budget.md has what the hostile sets cost
    // at these limits.
    static constexpr std::uint64_t kDefaultSchemaChain = 250;
    static constexpr std::uint64_t kDefaultSchemaReferences = 200'000;
    static constexpr std::uint64_t kDefaultSchemaComponents = 40'000;
    // 0: the default, grown or shrunk with schemaCompileSeconds (see
    // schemaShapeLimits); the settings have no key of their own.
    std::uint64_t schemaChain = 0;
    std::uint64_t schemaReferences = 0;
    std::uint64_t schemaComponents = 0;
};

// The most a schema set may hold to be compiled.
struct SchemaShapeLimits {
    // Definitions on one chain of references.
    std::uint64_t chain = 0;
    // References followed from every definition, counted once for every
    // path (a chain of n has n × (n − 1) / 2).
    std::uint64_t references = 0;
    // Global definitions in all the set's files together.
    std::uint64_t components = 0;
};

// The limits of a budget: its own fields where set, else the defaults scaled
// to its compilation time: the references and the number of definitions
// with the time, the chain with its square root (the time spent on a chain
// grows with the square of its length).
SchemaShapeLimits schemaShapeLimits(const XmlBudget& budget);

// What the set measured, and where.
struct SchemaShape {
    std::uint64_t components = 0;
    std::uint64_t longestChain = 0; // definitions on the longest chain
    // The references followed from every definition, counted once for every
    // path: the work of the compiler's walks.
    std::uint64_t references = 0;
    // The definition the longest chain starts at and the one from which the
    // most references are followed: its kind ("element", "type", "group", "attributeGroup", ...),
    // its name (local) and the file that defines it.
    struct Where {
        std::string kind, name, file;
    };
    Where chainStart, widestStart;
    std::uint64_t files = 0; // schema files read
};

// The shape of the schema set at path (its files inside its own folder), as
// a compilation measures it before it starts (for the benchmarks).
SchemaShape schemaShapeOf(const std::string& path);

// The budget of the loads and compilations that start from now on, in every
// thread (0 in a field takes its default).
void setXmlBudget(const XmlBudget& budget);
XmlBudget xmlBudget();

// The code's facts: str1 "memory", "time" or "attributes" (of one element,
// whose checking takes time that grows with the square of their number),
// str2 the limit (bytes, seconds or attributes) in decimal.
inline constexpr const char* kBudgetMemory = "memory";
inline constexpr const char* kBudgetTime = "time";
inline constexpr const char* kBudgetAttributes = "attributes";

// The largest amount of memory libxml2 held at once during the latest load
// or compilation on this thread that was budgeted (for the benchmarks).
std::uint64_t lastBudgetPeak();

// How many blocks the latest compilation over its memory budget on this
// thread lost in libxml2 and that were freed after it (for the tests).
std::uint64_t lastBudgetReleasedBlocks();

} // namespace morvik::platform
