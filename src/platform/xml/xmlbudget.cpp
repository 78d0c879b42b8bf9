// The budget's accounts: libxml2 allocates through hooks that charge the
// account open on the calling thread, if any. The hooks pass every request
// to the C library and count what it hands out (its usable size, so that a
// block freed on another thread or outside an account needs no header of
// ours). A document's account is looked at between the reads of its parse,
// where stopping is clean; a compilation has no such points, so past its
// memory budget every further allocation of libxml2 fails and the
// compilation ends with its out-of-memory error, which the account's own
// reason replaces. A compilation over its time budget is refused when it
// ends: libxml2's compiler has long loops that allocate nothing, which no
// hook of ours can stop.
#include "platform/xml/xmlbudget.h"

#include "platform/xml/xmlruntime.h"

#include <libxml/xmlmemory.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <malloc.h>

namespace morvik::platform {

namespace {

std::atomic<std::uint64_t> g_memory{XmlBudget::kDefaultMemory};
std::atomic<std::uint32_t> g_documentSeconds{XmlBudget::kDefaultDocumentSeconds};
std::atomic<std::uint32_t> g_schemaSeconds{XmlBudget::kDefaultSchemaCompileSeconds};

thread_local BudgetScope* t_scope = nullptr;
thread_local std::uint64_t t_lastPeak = 0;

// How many allocations pass between two looks at the clock.
constexpr unsigned kClockEvery = 256;

std::size_t usable(void* block) noexcept {
    return block != nullptr ? ::malloc_usable_size(block) : 0;
}

void* budgetMalloc(std::size_t size) noexcept {
    BudgetScope* scope = t_scope;
    if (scope != nullptr && !scope->admit(size)) {
        return nullptr;
    }
    void* block = std::malloc(size);
    if (scope != nullptr) {
        scope->charge(static_cast<std::int64_t>(usable(block)));
    }
    return block;
}

void* budgetRealloc(void* block, std::size_t size) noexcept {
    BudgetScope* scope = t_scope;
    const std::size_t before = usable(block);
    if (scope != nullptr && size > before && !scope->admit(size - before)) {
        return nullptr;
    }
    void* moved = std::realloc(block, size);
    if (scope != nullptr && moved != nullptr) {
        scope->charge(static_cast<std::int64_t>(usable(moved)) - static_cast<std::int64_t>(before));
    }
    return moved;
}

void budgetFree(void* block) noexcept {
    if (BudgetScope* scope = t_scope; scope != nullptr && block != nullptr) {
        scope->charge(-static_cast<std::int64_t>(usable(block)));
    }
    std::free(block);
}

char* budgetStrdup(const char* text) noexcept {
    const std::size_t size = std::strlen(text) + 1;
    auto* copy = static_cast<char*>(budgetMalloc(size));
    if (copy != nullptr) {
        std::memcpy(copy, text, size);
    }
    return copy;
}

} // namespace

void setXmlBudget(const XmlBudget& budget) {
    g_memory.store(budget.memory != 0 ? budget.memory : XmlBudget::kDefaultMemory);
    g_documentSeconds.store(budget.documentSeconds != 0 ? budget.documentSeconds
                                                        : XmlBudget::kDefaultDocumentSeconds);
    g_schemaSeconds.store(budget.schemaCompileSeconds != 0
                              ? budget.schemaCompileSeconds
                              : XmlBudget::kDefaultSchemaCompileSeconds);
}

XmlBudget xmlBudget() {
    XmlBudget budget;
    budget.memory = g_memory.load();
    budget.documentSeconds = g_documentSeconds.load();
    budget.schemaCompileSeconds = g_schemaSeconds.load();
    return budget;
}

std::uint64_t lastBudgetPeak() {
    return t_lastPeak;
}

void installBudgetHooks() {
    xmlMemSetup(budgetFree, budgetMalloc, budgetRealloc, budgetStrdup);
}

BudgetScope::BudgetScope(BudgetKind kind, std::uint64_t size)
    : m_kind(kind), m_limit(g_memory.load()),
      m_seconds(kind == BudgetKind::document
                    ? g_documentSeconds.load() *
                          static_cast<std::uint32_t>(std::max<std::uint64_t>(
                              1, (size + XmlBudget::kDocumentStep - 1) / XmlBudget::kDocumentStep))
                    : g_schemaSeconds.load()),
      m_previous(t_scope) {
    m_deadline = std::chrono::steady_clock::now() + std::chrono::seconds(m_seconds);
    t_scope = this;
}

BudgetScope::~BudgetScope() {
    t_scope = m_previous;
    t_lastPeak = static_cast<std::uint64_t>(m_peak);
}

bool BudgetScope::admit(std::size_t more) noexcept {
    if (m_out == kBudgetMemory) {
        // A document goes on until its next read; a compilation stops here.
        return m_kind == BudgetKind::document && m_used < 2 * static_cast<std::int64_t>(m_limit);
    }
    if (m_used + static_cast<std::int64_t>(more) > static_cast<std::int64_t>(m_limit)) {
        m_out = kBudgetMemory;
        return m_kind == BudgetKind::document;
    }
    // Failing a compilation's allocations once its time is spent only made
    // libxml2 slower (its compiler goes on through its loops, reporting each
    // failure); the time is looked at between a document's reads and after a
    // compilation.
    if (++m_calls % kClockEvery == 0 && std::chrono::steady_clock::now() > m_deadline) {
        m_out = kBudgetTime;
    }
    return true;
}

void BudgetScope::charge(std::int64_t bytes) noexcept {
    m_used += bytes;
    if (m_used > m_peak) {
        m_peak = m_used;
    }
    if (bytes > 0 && m_out == nullptr && m_used > static_cast<std::int64_t>(m_limit)) {
        m_out = kBudgetMemory;
    }
}

bool BudgetScope::spent() noexcept {
    if (m_out == nullptr && std::chrono::steady_clock::now() > m_deadline) {
        m_out = kBudgetTime;
    }
    return m_out != nullptr;
}

void BudgetScope::chargeOwn(std::int64_t bytes) noexcept {
    if (BudgetScope* scope = t_scope) {
        scope->charge(bytes);
    }
}

ErrorInfo BudgetScope::error() const {
    const bool memory = std::strcmp(m_out != nullptr ? m_out : kBudgetTime, kBudgetMemory) == 0;
    return loadError(XmlLoadError::budgetExceeded, OwnFacts::overBudget,
                     memory ? kBudgetMemory : kBudgetTime,
                     memory ? std::to_string(m_limit) : std::to_string(m_seconds));
}

} // namespace morvik::platform
