// Used only by the XML layer's own files: libxml2's process-wide set-up, the
// policy of what its external entity loader may read, and the collector of
// the errors that one call of ours meets.
#pragma once

#include "platform/result.h"
#include "platform/xml/filestamp.h"
#include "platform/xml/xmlerror.h"
#include "platform/xml/xmlparser.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

struct _xmlParserCtxt;
struct _xmlError;

namespace morvik::platform {

// An owner of a libxml2 object: Handle<xmlSchema, xmlSchemaFree>.
template <auto Release> struct Releaser {
    template <class T> void operator()(T* handle) const noexcept { Release(handle); }
};
template <class T, auto Release> using Handle = std::unique_ptr<T, Releaser<Release>>;

// libxml2's xmlChar is an unsigned char holding UTF-8.
inline const char* text(const unsigned char* value) {
    return reinterpret_cast<const char*>(value);
}
inline const unsigned char* xml(const char* value) {
    return reinterpret_cast<const unsigned char*>(value);
}

// libxml2's process-wide settings, made once: Shift_JIS read as CP932, and
// the external entity loader of LoadScope.
void ensureRuntime();

std::string errnoText(int error);

// One error as a load reports it: where the parser stood (lines counted as
// libxml2 counts them), and the facts from which its reason is worded.
// facts.code is libxml2's (positive) or one of XmlLoadError (negative);
// facts.message is the English reason.
struct ErrorInfo {
    std::int32_t line = 0;
    std::int32_t column = 0;
    std::string file;
    XmlErrorFacts facts;

    std::int32_t code() const { return facts.code; }
    const std::string& reason() const { return facts.message; }
};

// A failure of our own layer: its code, which refusal it is, and its fields
// (str1, str2, str3 as OwnFacts says).
ErrorInfo loadError(XmlLoadError code, OwnFacts own, std::string str1 = {}, std::string str2 = {},
                    std::int32_t line = 0, std::int32_t column = 0);

// One refusal of the loader or the schema reader, as a cause of the error it
// leads to.
XmlErrorFacts refusal(OwnFacts own, std::string str1 = {}, std::string str2 = {});

// What an error means for the rest of the document.
enum class ErrorWeight {
    // The document is not well-formed, or cannot be read at all: the parse
    // ends, and this error is the one reported, whatever came before.
    fatal,
    // A rule of the schema is broken: the parse goes on, so that a later
    // well-formedness error still wins and further errors can be kept.
    invalid,
};

// Receives libxml2's errors on this thread while it lives and restores the
// receivers that were there before when it goes. Keeps the first fatal error,
// or else up to limit errors of the schema (warnings are no errors), and the
// text of generic messages, which some failures (an encoder error) send
// instead of a structured error.
class ErrorCollector {
public:
    ErrorCollector();
    ~ErrorCollector();
    ErrorCollector(const ErrorCollector&) = delete;
    ErrorCollector& operator=(const ErrorCollector&) = delete;

    // How many schema errors to keep; at least one.
    void setLimit(std::size_t limit) { m_limit = limit > 0 ? limit : 1; }

    // Validator errors carry no position in streaming mode: they happen where
    // this parser stands.
    void watch(_xmlParserCtxt* parser) { m_parser = parser; }

    bool hasError() const { return !m_errors.empty(); }
    const ErrorInfo& first() const { return m_errors.front(); }
    const std::vector<ErrorInfo>& errors() const { return m_errors; }
    // A fatal error was met: nothing after it is read.
    bool fatal() const { return m_fatal; }
    // As many schema errors as wanted are kept: no more need be looked for.
    bool full() const { return !m_fatal && m_errors.size() >= m_limit; }
    // More schema errors may have followed those kept.
    bool capped() const { return m_capped; }
    void markCapped() { m_capped = true; }
    const std::string& genericText() const { return m_generic; }

    void record(ErrorInfo error, ErrorWeight weight = ErrorWeight::fatal);
    // error ends the document and is the one reported, whatever came before
    // (the out-of-memory errors of a spent budget give way to its own).
    void overrule(ErrorInfo error);

    std::int32_t parserLine() const;
    std::int32_t parserColumn() const;

private:
    static void onStructured(void* self, _xmlError* error) noexcept;
    static void onGeneric(void* self, const char* format, ...) noexcept;

    void (*m_previousStructured)(void*, _xmlError*);
    void* m_previousStructuredContext;
    void (*m_previousGeneric)(void*, const char*, ...);
    void* m_previousGenericContext;
    _xmlParserCtxt* m_parser = nullptr;
    std::size_t m_limit = 1;
    std::vector<ErrorInfo> m_errors;
    bool m_fatal = false;
    bool m_capped = false;
    std::string m_generic;
};

// libxml2's allocation hooks that charge the budget account of the calling
// thread (xmlbudget.cpp); set by ensureRuntime before anything else.
void installBudgetHooks();

enum class BudgetKind { document, schema };

// The account of one document's parse or one schema compilation on this
// thread while it lives (scopes nest; the innermost is charged): the memory
// libxml2 holds and the time since it began, against the budget set by
// setXmlBudget.
class BudgetScope {
public:
    // A document's time budget is for its size (bytes); a compilation's
    // does not depend on its size.
    explicit BudgetScope(BudgetKind kind, std::uint64_t size = 0);
    ~BudgetScope();
    BudgetScope(const BudgetScope&) = delete;
    BudgetScope& operator=(const BudgetScope&) = delete;

    // Whether the budget is spent (memory, or time now): the work stops.
    bool spent() noexcept;
    // Whether it ran out so far (without looking at the clock).
    bool ranOut() const { return m_out != nullptr; }
    // The error of a spent budget (OwnFacts::overBudget).
    ErrorInfo error() const;

    // Memory of our own that grows with the document (its IDs and pending
    // references), charged to the innermost account of this thread.
    static void chargeOwn(std::int64_t bytes) noexcept;

    // Frees the blocks whose growth the budget refused and that libxml2 has
    // not freed since, once everything the compilation made is freed; keeps
    // the thread's last error, which may hold one. Returns how many. (Most
    // of libxml2's lists grow with "list = realloc(list, size)", which loses
    // the list when the growth is refused: nothing refers to it any more.)
    std::size_t releaseLostBlocks() noexcept;

    // For the allocation hooks.
    bool admit(std::size_t more) noexcept;
    void charge(std::int64_t bytes) noexcept;
    void refusedGrowth(void* block) noexcept;
    void freed(void* block) noexcept;

private:
    BudgetKind m_kind;
    std::uint64_t m_limit;
    std::chrono::steady_clock::time_point m_deadline;
    std::uint32_t m_seconds;
    BudgetScope* m_previous;
    std::int64_t m_used = 0;
    std::int64_t m_peak = 0;
    unsigned m_calls = 0;
    const char* m_out = nullptr; // kBudgetMemory or kBudgetTime once spent
    std::unique_ptr<std::unordered_set<void*>> m_refusedGrowth;
};

// schemaFiles: the loader serves regular files inside the schema folder
// (without a DOCTYPE) while a schema compiles. nothing: every request is
// refused.
enum class LoadPolicy { schemaFiles, nothing };

// What the external entity loader may do for the calls of this thread while
// the scope lives, and what it did: the files it read (or looked for in
// vain) and the first thing it refused. Scopes nest; the innermost rules.
class LoadScope {
public:
    explicit LoadScope(LoadPolicy policy);
    // The schemaFiles policy, for files inside schemaFolder (a canonical path
    // without a closing separator).
    LoadScope(LoadPolicy policy, std::string schemaFolder);
    ~LoadScope();
    LoadScope(const LoadScope&) = delete;
    LoadScope& operator=(const LoadScope&) = delete;

    static LoadScope* current();

    LoadPolicy policy() const { return m_policy; }
    const std::string& schemaFolder() const { return m_schemaFolder; }
    const std::vector<FileStamp>& files() const { return m_files; }
    // The first refusal; OwnFacts::none when nothing was refused.
    const XmlErrorFacts& refusal() const { return m_refusal; }
    bool refusedAny() const { return m_refusal.own != OwnFacts::none; }

    void noteFile(FileStamp stamp) { m_files.push_back(std::move(stamp)); }
    void refuse(XmlErrorFacts why);

private:
    LoadPolicy m_policy;
    std::string m_schemaFolder;
    LoadScope* m_previous;
    std::vector<FileStamp> m_files;
    XmlErrorFacts m_refusal;
};

// A whole file read at once, with the stamp of exactly what was read.
struct FileContent {
    FileStamp stamp;
    std::string bytes;
};

// Reads a schema file: a regular file of at most 64 MiB. The failure is the
// refusal naming the path and the cause. stamp receives what was looked at,
// also on failure.
Result<FileContent, XmlErrorFacts> readWholeFile(const std::string& path, FileStamp& stamp);

// path as a file: URI, every byte but the unreserved ones and '/' escaped, so
// that libxml2 resolves includes against it as a path: '#', '?' and '%' in a
// folder name are characters of the name, not URI syntax.
std::string fileUri(const std::string& absolutePath);

// text with every file: URI (up to a quote or a blank) written as its path
// again, for messages that name schema files.
std::string pathsForUris(std::string text);

// The same for a refusal's fields and those of its causes.
void pathsForUris(XmlErrorFacts& facts);

// Whether the prologue of an XML file (before its first element) holds a
// document type declaration. UTF-16 files are looked at through their low
// bytes, which is enough for the ASCII markup of a prologue.
bool prologueHasDoctype(std::string_view bytes);

} // namespace morvik::platform
