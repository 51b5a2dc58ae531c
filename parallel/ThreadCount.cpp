#include "parallel/ThreadCount.h"

#include <atomic>

namespace {
// Atomic so that renders started concurrently by a host on several of its
// threads do not race; relaxed is enough because every band reads it after the
// runner's own synchronisation with the thread that wrote it.
std::atomic<int> workerCount{1};
} // namespace

void Sarn_SetThreadCount(int count) { workerCount.store(count, std::memory_order_relaxed); }

int Sarn_GetThreadCount() { return workerCount.load(std::memory_order_relaxed); }
