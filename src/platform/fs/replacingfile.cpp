// The temporary-then-rename writer of report files.
#include "platform/fs/replacingfile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace morvik::platform {

namespace {

// The path the rename must replace: the file a link names, else target.
std::string resolvedTarget(const std::string& target) {
    char resolved[PATH_MAX];
    if (::realpath(target.c_str(), resolved) != nullptr) {
        return resolved;
    }
    return target;
}

mode_t currentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

} // namespace

std::optional<ReplacingFile> ReplacingFile::create(const std::string& target) {
    const std::string real = resolvedTarget(target);
    const std::size_t slash = real.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : real.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? real : real.substr(slash + 1);
    std::string temporary = folder + "." + name + ".morvik-XXXXXX";
    Fd fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd) {
        return std::nullopt;
    }
    struct stat existing {};
    const mode_t mode = ::stat(real.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)
                            ? existing.st_mode & 07777
                            : 0666 & ~currentUmask();
    if (::fchmod(fd.get(), mode) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        errno = error;
        return std::nullopt;
    }
    return ReplacingFile(std::move(fd), std::move(temporary), real);
}

ReplacingFile::ReplacingFile(ReplacingFile&& other) noexcept
    : m_fd(std::move(other.m_fd)), m_temporary(std::move(other.m_temporary)),
      m_target(std::move(other.m_target)) {
    other.m_temporary.clear();
}

ReplacingFile::~ReplacingFile() {
    discard();
}

void ReplacingFile::discard() {
    m_fd.close();
    if (!m_temporary.empty()) {
        ::unlink(m_temporary.c_str());
        m_temporary.clear();
    }
}

int ReplacingFile::commit(std::string_view bytes) {
    if (m_temporary.empty()) {
        return EBADF;
    }
    while (!bytes.empty()) {
        const ssize_t written = ::write(m_fd.get(), bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            const int error = written < 0 ? errno : EIO;
            discard();
            return error;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    // A full disk or quota may show only at close.
    if (!m_fd.close() || ::rename(m_temporary.c_str(), m_target.c_str()) != 0) {
        const int error = errno;
        discard();
        return error;
    }
    m_temporary.clear();
    return 0;
}

} // namespace morvik::platform
