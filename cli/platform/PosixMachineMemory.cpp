#include "cli/MachineMemory.h"

#include <algorithm>
#include <fstream>
#include <string>
#include <unistd.h>

namespace cli {

int64_t machineMemoryBytes() {
    const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
    int64_t bytes = pages > 0 && pageSize > 0 ? int64_t(pages) * pageSize : 0;
    // "max" (no limit) does not parse as a number and leaves the physical size.
    std::ifstream limitFile("/sys/fs/cgroup/memory.max");
    int64_t limit = 0;
    if (limitFile >> limit && limit > 0)
        bytes = bytes > 0 ? std::min(bytes, limit) : limit;
    return bytes;
}

} // namespace cli
