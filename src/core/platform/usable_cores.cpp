#include "platform/usable_cores.h"

#include <sched.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <thread>

namespace pixhaul {

unsigned UsableCores() {
    if (const char* text = std::getenv(kThreadsVariable); text != nullptr) {
        char* end = nullptr;
        const long value = std::strtol(text, &end, 10);
        if (end != text && *end == '\0' && value >= 1 && value <= 1024) {
            return static_cast<unsigned>(value);
        }
    }
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) {
        return static_cast<unsigned>(CPU_COUNT(&set));
    }
    return std::max(1U, std::thread::hardware_concurrency());
}

}  // namespace pixhaul
