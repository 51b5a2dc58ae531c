#include "parallel/Sarn_SetThreadCount.h"

#include <atomic>

namespace {
// Relaxed is enough: a thread reads the process's count only when it never
// set one, and bands read their job's count, handed over by the runner.
std::atomic<int> processCount{1};
// This thread's count: the one its render set or its running band's job's;
// 0 for none.
thread_local int threadCount = 0;

int atLeastOne(int count) { return count < 1 ? 1 : count; }
} // namespace

void Sarn_SetThreadCount(int count) {
    threadCount = atLeastOne(count);
    processCount.store(threadCount, std::memory_order_relaxed);
}

int Sarn_GetThreadCount() {
    return threadCount != 0 ? threadCount : processCount.load(std::memory_order_relaxed);
}

JobThreadCount::JobThreadCount(int count) : saved_(threadCount) { threadCount = atLeastOne(count); }

JobThreadCount::~JobThreadCount() { threadCount = saved_; }
