// The operating-system side of the fallback job runner: start a thread, join it
// and read its exit code, and count processors. One implementation per system.
#pragma once

#include <cstdint>

namespace Kel::Platform {

// Thread entries use the system's own thread-start convention, so that a
// system that takes one (Windows x86: stdcall) can start them directly.
#if defined(_WIN32) && defined(__i386__)
#define KEL_THREAD_CALL __attribute__((stdcall))
#else
#define KEL_THREAD_CALL
#endif

using ThreadHandle = void*;
using ThreadEntry = uint32_t(KEL_THREAD_CALL*)(void* argument);

// Starts `entry(argument)` on a new thread with the default stack size.
// Returns null when the system cannot start a thread.
ThreadHandle startThread(ThreadEntry entry, void* argument);

// Waits without time-out for the thread, releases it and returns its exit code.
uint32_t joinThread(ThreadHandle handle);

// Number of processors the system reports (at least 1).
int32_t processorCount();

// Size of a memory page in bytes.
int32_t pageSize();

} // namespace Kel::Platform
