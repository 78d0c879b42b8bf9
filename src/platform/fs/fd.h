// The one owner of a file descriptor, and the one way this program opens a
// file that it only reads.
#pragma once

#include <string>
#include <utility>

namespace morvik::platform {

// Closes its descriptor when it goes; movable, not copyable. An empty Fd
// holds -1.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() { close(); }
    Fd(Fd&& other) noexcept : m_fd(other.release()) {}
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            close();
            m_fd = other.release();
        }
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }

    // Gives up ownership: the caller closes the descriptor.
    [[nodiscard]] int release() { return std::exchange(m_fd, -1); }

    // Closes now. False when close itself failed: a full disk or quota may
    // show only then, so a writer must look at it.
    bool close();

private:
    int m_fd = -1;
};

enum class FollowLinks { yes, no };

// Opens path for reading only. Never waits: a FIFO opens at once instead of
// waiting for a writer, and a terminal never becomes the controlling one.
// The descriptor is not inherited by programs this process starts. With
// FollowLinks::no a symbolic link as the last component fails with ELOOP.
// An empty Fd with errno set when the open fails.
[[nodiscard]] Fd openForReading(const std::string& path, FollowLinks follow = FollowLinks::yes);

} // namespace morvik::platform
