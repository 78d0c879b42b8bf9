// The number of validation threads.
#include "inspection/validationpool.h"

#include <algorithm>
#include <cstdlib>
#include <sched.h>
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
    // The processors this process may run on (taskset, cgroups), not all
    // the machine has.
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    std::size_t cpus = 1;
    if (::sched_getaffinity(0, sizeof allowed, &allowed) == 0) {
        cpus = static_cast<std::size_t>(CPU_COUNT(&allowed));
    }
    return std::clamp<std::size_t>(cpus, 1, kMaxValidationThreads);
}

} // namespace morvik::inspection
