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
};

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

} // namespace morvik::platform
