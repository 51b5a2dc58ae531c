// POSIX threads for the fallback job runner.
#include "parallel/platform/PlatformThread.h"

#include <pthread.h>
#include <unistd.h>

#include <cstdint>
#include <new>

namespace Kel::Platform {

namespace {
struct Start {
    ThreadEntry entry;
    void* argument;
    uint32_t exitCode;
    pthread_t thread;
};

void* trampoline(void* p) {
    Start* start = static_cast<Start*>(p);
    start->exitCode = start->entry(start->argument);
    return nullptr;
}
} // namespace

ThreadHandle startThread(ThreadEntry entry, void* argument) {
    Start* start = new (std::nothrow) Start{entry, argument, 0, {}};
    if (start == nullptr)
        return nullptr;
    if (pthread_create(&start->thread, nullptr, trampoline, start) != 0) {
        delete start;
        return nullptr;
    }
    return start;
}

uint32_t joinThread(ThreadHandle handle) {
    Start* start = static_cast<Start*>(handle);
    pthread_join(start->thread, nullptr);
    const uint32_t code = start->exitCode;
    delete start;
    return code;
}

int32_t processorCount() {
    const long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n < 1 ? 1 : int32_t(n);
}

int32_t pageSize() {
    const long n = sysconf(_SC_PAGESIZE);
    return n < 1 ? 4096 : int32_t(n);
}

} // namespace Kel::Platform
