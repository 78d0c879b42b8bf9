// The file descriptor owner and the read-only open.
#include "platform/fs/fd.h"

#include <fcntl.h>
#include <unistd.h>

namespace morvik::platform {

bool Fd::close() {
    if (m_fd < 0) {
        return true;
    }
    return ::close(std::exchange(m_fd, -1)) == 0;
}

Fd openForReading(const std::string& path, FollowLinks follow) {
    const int noFollow = follow == FollowLinks::no ? O_NOFOLLOW : 0;
    return Fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | noFollow));
}

} // namespace morvik::platform
