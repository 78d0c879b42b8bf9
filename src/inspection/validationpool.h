// Documents validated on a few threads at once, their outcomes handed back
// in the order they were asked for: the run reports them one by one, as a
// run on one thread would, while the other cores work ahead.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace morvik::inspection {

// How many threads validate when the caller leaves it open: as many as this
// process may run on, at most kMaxValidationThreads; MORVIK_WORKERS in the
// environment overrides it. One means no thread of its own.
inline constexpr std::size_t kMaxValidationThreads = 4;
[[nodiscard]] std::size_t defaultValidationThreads();

template <class Job, class Result> class ValidationPool {
public:
    using Work = std::function<Result(const Job&)>;

    // With threads <= 1 every job is worked when it is taken, on the taking
    // thread.
    ValidationPool(std::vector<Job> jobs, Work work, std::size_t threads)
        : m_jobs(std::move(jobs)), m_work(std::move(work)) {
        if (threads <= 1) {
            return;
        }
        m_lookahead = 64 * threads;
        // A worker starts job i only while i < taken + lookahead, and job
        // i - lookahead has then been taken: its slot is free for job i.
        m_results.resize(m_lookahead);
        for (std::size_t i = 0; i < threads; ++i) {
            m_threads.emplace_back([this] { workLoop(); });
        }
    }

    ~ValidationPool() {
        cancel();
        for (std::thread& thread : m_threads) {
            thread.join();
        }
    }
    ValidationPool(const ValidationPool&) = delete;
    ValidationPool& operator=(const ValidationPool&) = delete;

    std::size_t size() const { return m_jobs.size(); }
    const Job& job(std::size_t index) const { return m_jobs[index]; }

    // The result of job index, waiting for it; indexes are taken in
    // increasing order. An exception thrown by the work is thrown here.
    Result take(std::size_t index) {
        if (m_threads.empty()) {
            return m_work(m_jobs[index]);
        }
        std::unique_lock lock(m_mutex);
        m_taken = index;
        m_changed.notify_all();
        Slot& held = m_results[index % m_results.size()];
        m_changed.wait(lock, [&] { return held.done; });
        Slot slot = std::move(held);
        held = Slot{};
        lock.unlock();
        if (slot.error) {
            std::rethrow_exception(slot.error);
        }
        return std::move(*slot.result);
    }

    // No job is started after this; those under way finish.
    void cancel() {
        std::lock_guard lock(m_mutex);
        m_cancelled = true;
        m_changed.notify_all();
    }

private:
    struct Slot {
        bool done = false;
        std::optional<Result> result;
        std::exception_ptr error;
    };

    void workLoop() {
        for (;;) {
            std::size_t index = 0;
            {
                std::unique_lock lock(m_mutex);
                // Not too far ahead of the taker: a run that stops leaves
                // little work done for nothing.
                m_changed.wait(lock, [&] {
                    return m_cancelled || m_next >= m_jobs.size() || m_next < m_taken + m_lookahead;
                });
                if (m_cancelled || m_next >= m_jobs.size()) {
                    return;
                }
                index = m_next++;
            }
            Slot slot;
            try {
                slot.result = m_work(m_jobs[index]);
            } catch (...) {
                slot.error = std::current_exception();
            }
            slot.done = true;
            std::lock_guard lock(m_mutex);
            m_results[index % m_results.size()] = std::move(slot);
            m_changed.notify_all();
        }
    }

    std::vector<Job> m_jobs;
    Work m_work;
    std::vector<Slot> m_results; // a ring of lookahead slots, job i in slot i % lookahead
    std::vector<std::thread> m_threads;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::size_t m_next = 0;
    std::size_t m_taken = 0;
    std::size_t m_lookahead = 0;
    bool m_cancelled = false;
};

} // namespace morvik::inspection
