// A file that replaces its target only once it is written whole: the bytes
// go to a temporary file beside the target (same folder, so the rename stays
// on one file system) and the temporary is renamed over the target at the
// end. Until then the target is as it was; a failure removes the temporary.
#pragma once

#include "platform/fs/fd.h"

#include <optional>
#include <string>
#include <string_view>

namespace morvik::platform {

class ReplacingFile {
public:
    // The temporary for target, created now (mode 0666 less the umask, or
    // the mode of the file it will replace). A target that is a symbolic
    // link is resolved, so the link stays and the file it names is replaced.
    // nullopt with errno set when the temporary cannot be created.
    [[nodiscard]] static std::optional<ReplacingFile> create(const std::string& target);

    ReplacingFile(ReplacingFile&& other) noexcept;
    ReplacingFile& operator=(ReplacingFile&&) = delete;
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;
    ~ReplacingFile();

    // The temporary's path (".NAME.morvik-XXXXXX" beside the target).
    const std::string& temporaryPath() const { return m_temporary; }

    // Writes all of bytes, then closes the temporary and renames it over the
    // target. 0 when done, else the errno value of the step that failed; the
    // temporary is then removed and the target untouched.
    [[nodiscard]] int commit(std::string_view bytes);

private:
    ReplacingFile(Fd fd, std::string temporary, std::string target)
        : m_fd(std::move(fd)), m_temporary(std::move(temporary)), m_target(std::move(target)) {}
    void discard();

    Fd m_fd;
    std::string m_temporary;
    std::string m_target;
};

} // namespace morvik::platform
