// What identifies the content of a file without reading it: the stamp by
// which compiled schemas are reused only while their files are unchanged.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>

struct stat;

namespace morvik::platform {

struct FileStamp {
    std::string path;
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t modifiedNs = 0;
    // The status change time: a file rewritten in place with its length and
    // modification time restored still shows here.
    std::int64_t changedNs = 0;

    bool operator==(const FileStamp&) const = default;
};

// The stamp of what fstat or stat told about path.
FileStamp stampFrom(const std::string& path, const struct stat& info);

// The stamp of the file at path now; exists is false when it cannot be
// looked at.
FileStamp stampOf(const std::string& path);

} // namespace morvik::platform
