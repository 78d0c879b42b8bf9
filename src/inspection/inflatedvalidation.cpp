// Validation of what the extraction inflates, while it goes on.
#include "inspection/inflatedvalidation.h"

#include "inspection/inspectionrun.h"

#include "platform/text/utf8.h"

#include <cstdlib>
#include <cstring>

namespace morvik::inspection {

bool defaultValidateWhileExtracting() {
    const char* chosen = std::getenv("MORVIK_VALIDATE_WHILE_EXTRACTING");
    return chosen != nullptr && *chosen != '\0' && std::strcmp(chosen, "0") != 0;
}

InflatedValidation::InflatedValidation(Setup setup, Accept accept, Work work,
                                       std::size_t threads, Limits limits)
    : m_setup(std::move(setup)), m_accept(std::move(accept)), m_work(std::move(work)),
      m_threadCount(threads), m_limits(limits) {}

InflatedValidation::~InflatedValidation() { finish(false); }

bool InflatedValidation::first(std::string_view path) {
    // The schemas, wherever the archive keeps them.
    return path.size() >= 4 && platform::upperAscii(path.substr(path.size() - 4)) == ".XSD";
}

void InflatedValidation::firstPlaced(std::uint64_t files) {
    m_active = m_setup(files);
    if (!m_active || m_threadCount == 0) {
        return;
    }
    for (std::size_t i = 0; i < m_threadCount; ++i) {
        m_threads.emplace_back([this] { workLoop(); });
    }
}

bool InflatedValidation::wanted(std::string_view path, std::uint64_t size) {
    if (!m_active || size > m_limits.maxDocumentBytes) {
        return false;
    }
    return m_accept(path);
}

void InflatedValidation::inflated(std::string_view path, std::string data) {
    ++m_handed;
    if (m_threads.empty()) {
        run(Document{std::string(path), std::move(data)});
        return;
    }
    {
        // The extraction waits for room: what is inflated is validated from
        // memory, never read back, and what waits stays bounded.
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] {
            return m_queue.empty() || (m_queue.size() < m_limits.maxQueued &&
                                       m_queuedBytes + data.size() <= m_limits.maxQueuedBytes);
        });
        m_queuedBytes += data.size();
        m_queue.push_back(Document{std::string(path), std::move(data)});
    }
    m_changed.notify_all();
}

void InflatedValidation::workLoop() {
    for (;;) {
        Document document;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [&] { return !m_queue.empty() || m_closed; });
            if (m_queue.empty() || m_dropQueued) {
                return;
            }
            document = std::move(m_queue.front());
            m_queue.pop_front();
            m_queuedBytes -= document.bytes.size();
        }
        m_changed.notify_all();
        run(std::move(document));
    }
}

void InflatedValidation::run(Document document) {
    try {
        m_work(std::move(document));
    } catch (...) {
        // Nothing kept: the run validates the document from its file.
    }
}

void InflatedValidation::finish(bool validateQueued) {
    {
        const std::lock_guard lock(m_mutex);
        m_closed = true;
        m_dropQueued = !validateQueued;
        if (m_dropQueued) {
            m_queue.clear();
            m_queuedBytes = 0;
        }
    }
    m_changed.notify_all();
    for (std::thread& thread : m_threads) {
        thread.join();
    }
    m_threads.clear();
    m_active = false;
}

} // namespace morvik::inspection
