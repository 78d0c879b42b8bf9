// Whether anything opened or read a file since the watch began (inotify):
// the proof that a file a hostile input names is never read.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/inotify.h>
#include <unistd.h>

namespace morvik::test {

class AccessWatch {
public:
    explicit AccessWatch(const std::filesystem::path& path) {
        m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        EXPECT_GE(m_fd, 0);
        EXPECT_GE(::inotify_add_watch(m_fd, path.c_str(), IN_OPEN | IN_ACCESS), 0);
    }
    ~AccessWatch() { ::close(m_fd); }
    AccessWatch(const AccessWatch&) = delete;
    AccessWatch& operator=(const AccessWatch&) = delete;

    bool touched() {
        char buffer[4096];
        return ::read(m_fd, buffer, sizeof buffer) > 0;
    }

private:
    int m_fd = -1;
};

} // namespace morvik::test
