#include "cli/MachineMemory.h"

#include <windows.h>

namespace cli {

// The physical memory; a job object's limit is not looked at.
int64_t machineMemoryBytes() {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    return GlobalMemoryStatusEx(&status) ? int64_t(status.ullTotalPhys) : 0;
}

} // namespace cli
