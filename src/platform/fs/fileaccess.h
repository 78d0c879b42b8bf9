// What the operating system says of a path before anything is opened: is it
// a regular file this process may read, and how many processors it may run on.
#pragma once

#include <cstddef>
#include <string>

namespace morvik::platform {

// Why a path is not a regular file that this process may read.
enum class FileAccess {
    readable,      // a regular file, readable by this process
    missing,       // no such file, or a component of the path is not a folder
    folder,        // a folder
    notRegular,    // a device, FIFO or socket
    notPermitted,  // exists, but this process may not read it (errorNumber says why)
};

struct FileAccessCheck {
    FileAccess access = FileAccess::readable;
    int errorNumber = 0; // errno of the failed look, 0 when none
};

// Looks without opening: a FIFO never makes the look wait for a writer.
[[nodiscard]] FileAccessCheck checkFileAccess(const std::string& path);

// The processors this process may run on (taskset, cgroups), not all the
// machine has; at least 1.
[[nodiscard]] std::size_t allowedProcessors();

} // namespace morvik::platform
