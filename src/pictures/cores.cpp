#include "pictures/cores.h"

#include <algorithm>
#include <sched.h>
#include <thread>

namespace slidemill::pictures {

int usableCores() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0)
        return std::max(1, CPU_COUNT(&set));
    return int(std::max(1u, std::thread::hardware_concurrency()));
}

} // namespace slidemill::pictures
