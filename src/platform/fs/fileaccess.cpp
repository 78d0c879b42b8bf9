// File access and processor count from POSIX.
#include "platform/fs/fileaccess.h"

#include <cerrno>
#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

namespace morvik::platform {

FileAccessCheck checkFileAccess(const std::string& path) {
    const auto failed = [](int error) {
        if (error == ENOENT || error == ENOTDIR) {
            return FileAccessCheck{FileAccess::missing, error};
        }
        return FileAccessCheck{FileAccess::notPermitted, error};
    };
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return failed(errno);
    }
    if (S_ISDIR(info.st_mode)) {
        return {FileAccess::folder, EISDIR};
    }
    if (!S_ISREG(info.st_mode)) {
        return {FileAccess::notRegular, ENODEV};
    }
    if (::faccessat(AT_FDCWD, path.c_str(), R_OK, AT_EACCESS) != 0) {
        return failed(errno);
    }
    return {};
}

std::size_t allowedProcessors() {
#if defined(__EMSCRIPTEN__)
    // The page runs on one thread.
    return 1;
#else
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (::sched_getaffinity(0, sizeof allowed, &allowed) == 0) {
        const int count = CPU_COUNT(&allowed);
        return count > 0 ? static_cast<std::size_t>(count) : 1;
    }
    return 1;
#endif
}

} // namespace morvik::platform
