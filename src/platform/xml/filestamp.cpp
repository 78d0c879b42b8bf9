// File stamps from stat.
#include "platform/xml/filestamp.h"

#include <sys/stat.h>

namespace morvik::platform {

FileStamp stampFrom(const std::string& path, const struct stat& info) {
    FileStamp stamp;
    stamp.path = path;
    stamp.exists = true;
    stamp.device = info.st_dev;
    stamp.inode = info.st_ino;
    stamp.size = info.st_size;
    stamp.modifiedNs =
        static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
    stamp.changedNs =
        static_cast<std::int64_t>(info.st_ctim.tv_sec) * 1'000'000'000 + info.st_ctim.tv_nsec;
    return stamp;
}

FileStamp stampOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        FileStamp missing;
        missing.path = path;
        return missing;
    }
    return stampFrom(path, info);
}

} // namespace morvik::platform
