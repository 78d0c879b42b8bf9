// Documents validated from the bytes the extraction inflates, while it goes
// on: the schemas are put in place first, then every document the run will
// validate is handed over as its data, validated on a few threads (or on the
// extracting thread when there is one) and its outcome kept for the run to
// take instead of reading the file back. Nothing here is shown to anyone: an
// extraction that fails afterwards drops every outcome.
#pragma once

#include "platform/zip/unzip.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace morvik::inspection {

class InflatedValidation final : public platform::ExtractionSink {
public:
    // A document as inflated: its path below the destination ('/'-separated)
    // and its bytes.
    struct Document {
        std::string path;
        std::string bytes;
    };
    // Once the schemas are in place, with how many files the extraction
    // writes: whether documents can be validated now.
    using Setup = std::function<bool(std::uint64_t files)>;
    // Whether the file at path is a document the run will validate and its
    // outcome can be kept.
    using Accept = std::function<bool(std::string_view path)>;
    // Validates one document and keeps its outcome; called on any thread.
    using Work = std::function<void(Document&&)>;

    struct Limits {
        // Larger documents are read from their files as before: a document of
        // hundreds of megabytes is streamed, never held whole.
        std::size_t maxDocumentBytes = std::size_t{8} << 20;
        // Documents waiting for a thread: beyond, the extraction waits.
        std::size_t maxQueuedBytes = std::size_t{16} << 20;
        std::size_t maxQueued = 64;
    };

    // With no threads each document is validated on the extracting thread
    // as it comes.
    InflatedValidation(Setup setup, Accept accept, Work work, std::size_t threads, Limits limits);
    InflatedValidation(Setup setup, Accept accept, Work work, std::size_t threads)
        : InflatedValidation(std::move(setup), std::move(accept), std::move(work), threads,
                             Limits{}) {}
    // Drops what is queued and waits for the threads.
    ~InflatedValidation() override;
    InflatedValidation(const InflatedValidation&) = delete;
    InflatedValidation& operator=(const InflatedValidation&) = delete;

    // After the extraction: validates what is still queued (validateQueued)
    // or drops it, and waits for the threads.
    void finish(bool validateQueued);

    // Whether the setup succeeded (documents were taken).
    bool active() const { return m_active; }
    // How many documents were handed over (queued or validated at once).
    std::uint64_t handed() const { return m_handed; }

    bool first(std::string_view path) override;
    void firstPlaced(std::uint64_t files) override;
    bool wanted(std::string_view path, std::uint64_t size) override;
    void inflated(std::string_view path, std::string data) override;

private:
    void workLoop();
    // The work on one document; one that fails keeps nothing.
    void run(Document document);

    Setup m_setup;
    Accept m_accept;
    Work m_work;
    std::size_t m_threadCount;
    Limits m_limits;
    bool m_active = false;
    std::uint64_t m_handed = 0;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Document> m_queue;
    std::size_t m_queuedBytes = 0;
    bool m_closed = false;
    bool m_dropQueued = false;
    std::vector<std::thread> m_threads;
};

} // namespace morvik::inspection
