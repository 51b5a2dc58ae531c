// Windows threads for the fallback job runner.
#include "parallel/platform/PlatformThread.h"

#include <windows.h>

namespace Kel::Platform {

ThreadHandle startThread(ThreadEntry entry, void* argument) {
    // ThreadEntry has the system's thread-start convention; only the return
    // type's spelling differs (DWORD is a 32-bit unsigned integer here too).
    return CreateThread(nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(entry), argument, 0,
                        nullptr);
}

uint32_t joinThread(ThreadHandle handle) {
    WaitForSingleObject(handle, INFINITE);
    DWORD code = 0;
    if (!GetExitCodeThread(handle, &code))
        code = 3; // unreadable: report the band as failed rather than done
    CloseHandle(handle);
    return uint32_t(code);
}

int32_t processorCount() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors < 1 ? 1 : int32_t(info.dwNumberOfProcessors);
}

int32_t pageSize() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize < 1 ? 4096 : int32_t(info.dwPageSize);
}

} // namespace Kel::Platform
