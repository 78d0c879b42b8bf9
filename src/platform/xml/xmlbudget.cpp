// The budget's accounts: libxml2 allocates through hooks that charge the
// account open on the calling thread, if any. The hooks pass every request
// to the C library and count what it hands out (its usable size, so that a
// block freed on another thread or outside an account needs no header of
// ours). A document's account is looked at between the reads of its parse,
// where stopping is clean; a compilation has no such points, so past its
// memory budget every further allocation of libxml2 fails and the
// compilation ends with its out-of-memory error, which the account's own
// reason replaces (and what libxml2 lost when its lists could not grow is
// freed after it). A compilation over its time budget is refused when it
// ends: libxml2's compiler has long loops that allocate nothing, which no
// hook of ours can stop; the shape of a schema set, read before it compiles
// (xmlschemashape.cpp), keeps those loops short.
#include "platform/xml/xmlbudget.h"

#include "platform/xml/xmlruntime.h"

#include <libxml/xmlerror.h>
#include <libxml/xmlmemory.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <memory>

namespace morvik::platform {

namespace {

std::atomic<std::uint64_t> g_memory{XmlBudget::kDefaultMemory};
std::atomic<std::uint32_t> g_documentSeconds{XmlBudget::kDefaultDocumentSeconds};
std::atomic<std::uint32_t> g_schemaSeconds{XmlBudget::kDefaultSchemaCompileSeconds};
std::atomic<std::uint64_t> g_schemaChain{0};
std::atomic<std::uint64_t> g_schemaReferences{0};
std::atomic<std::uint64_t> g_schemaComponents{0};

thread_local BudgetScope* t_scope = nullptr;
thread_local std::uint64_t t_lastPeak = 0;
thread_local std::uint64_t t_lastReleased = 0;

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
        scope->refusedGrowth(block);
        return nullptr;
    }
    if (scope != nullptr) {
        // Granted: whatever becomes of it, it is not lost.
        scope->freed(block);
    }
    void* moved = std::realloc(block, size);
    if (scope != nullptr && moved != nullptr) {
        scope->charge(static_cast<std::int64_t>(usable(moved)) - static_cast<std::int64_t>(before));
    }
    return moved;
}

void budgetFree(void* block) noexcept {
    if (BudgetScope* scope = t_scope; scope != nullptr && block != nullptr) {
        scope->freed(block);
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
    g_schemaChain.store(budget.schemaChain);
    g_schemaReferences.store(budget.schemaReferences);
    g_schemaComponents.store(budget.schemaComponents);
}

XmlBudget xmlBudget() {
    XmlBudget budget;
    budget.memory = g_memory.load();
    budget.documentSeconds = g_documentSeconds.load();
    budget.schemaCompileSeconds = g_schemaSeconds.load();
    budget.schemaChain = g_schemaChain.load();
    budget.schemaReferences = g_schemaReferences.load();
    budget.schemaComponents = g_schemaComponents.load();
    return budget;
}

SchemaShapeLimits schemaShapeLimits(const XmlBudget& budget) {
    const double ratio = static_cast<double>(budget.schemaCompileSeconds != 0
                                                 ? budget.schemaCompileSeconds
                                                 : XmlBudget::kDefaultSchemaCompileSeconds) /
                         XmlBudget::kDefaultSchemaCompileSeconds;
    const auto scaled = [](std::uint64_t value, double by) {
        return std::max<std::uint64_t>(1,
                                       static_cast<std::uint64_t>(static_cast<double>(value) * by));
    };
    SchemaShapeLimits limits;
    limits.chain = budget.schemaChain != 0
                       ? budget.schemaChain
                       : scaled(XmlBudget::kDefaultSchemaChain, std::sqrt(ratio));
    limits.references = budget.schemaReferences != 0
                            ? budget.schemaReferences
                            : scaled(XmlBudget::kDefaultSchemaReferences, ratio);
    limits.components = budget.schemaComponents != 0
                            ? budget.schemaComponents
                            : scaled(XmlBudget::kDefaultSchemaComponents, ratio);
    return limits;
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
    if (kind == BudgetKind::schema) {
        t_lastReleased = 0;
    }
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

void BudgetScope::refusedGrowth(void* block) noexcept {
    if (block == nullptr) {
        return;
    }
    try {
        if (!m_refusedGrowth) {
            m_refusedGrowth = std::make_unique<std::unordered_set<void*>>();
        }
        m_refusedGrowth->insert(block);
    } catch (...) {
        // Not remembered: lost for good, as without this account.
    }
}

void BudgetScope::freed(void* block) noexcept {
    if (m_refusedGrowth) {
        m_refusedGrowth->erase(block);
    }
}

std::size_t BudgetScope::releaseLostBlocks() noexcept {
    if (!m_refusedGrowth) {
        return 0;
    }
    std::unordered_set<void*> lost;
    lost.swap(*m_refusedGrowth);
    // The strings of the thread's last error live on until the next error.
    if (const xmlError* last = xmlGetLastError()) {
        for (const void* kept :
             {static_cast<const void*>(last->message), static_cast<const void*>(last->file),
              static_cast<const void*>(last->str1), static_cast<const void*>(last->str2),
              static_cast<const void*>(last->str3)}) {
            lost.erase(const_cast<void*>(kept));
        }
    }
    for (void* block : lost) {
        charge(-static_cast<std::int64_t>(usable(block)));
        std::free(block);
    }
    t_lastReleased = lost.size();
    return lost.size();
}

std::uint64_t lastBudgetReleasedBlocks() {
    return t_lastReleased;
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
