// The number of validation threads.
#include "inspection/validationpool.h"

#include "platform/fs/fileaccess.h"

#include <algorithm>
#include <cstdlib>
#include <string>

namespace morvik::inspection {

std::size_t defaultValidationThreads() {
    if (const char* chosen = std::getenv("MORVIK_WORKERS"); chosen != nullptr && *chosen != '\0') {
        try {
            return std::clamp<std::size_t>(std::stoul(chosen), 1, 64);
        } catch (...) {
            // Not a number: the default.
        }
    }
    // The processors this process may run on, not all the machine has.
    const std::size_t cpus = platform::allowedProcessors();
    return std::clamp<std::size_t>(cpus, 1, kMaxValidationThreads);
}

} // namespace morvik::inspection
