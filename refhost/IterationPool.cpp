#include "refhost/IterationPool.h"

#include <chrono>

namespace {
thread_local bool insideIteration = false;

// How long a waiting thread polls before it sleeps.
constexpr auto kPollTime = std::chrono::microseconds(10);

inline void relax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

// Polls `ready` for up to kPollTime; true when it held.
template <class Ready>
bool pollFor(const Ready& ready) {
    const auto end = std::chrono::steady_clock::now() + kPollTime;
    do {
        for (int i = 0; i < 16; ++i) {
            if (ready())
                return true;
            relax();
        }
    } while (std::chrono::steady_clock::now() < end);
    return ready();
}
} // namespace

bool IterationPool::onIterationThread() { return insideIteration; }

IterationPool::IterationPool(int threads) {
    for (int t = 1; t < threads; ++t)
        workers_.emplace_back(&IterationPool::workerLoop, this, t);
}

IterationPool::~IterationPool() {
    {
        std::lock_guard lock(mutex_);
        stop_.store(true);
    }
    wake_.notify_all();
    for (std::thread& worker : workers_)
        worker.join();
}

void IterationPool::cancelAfter(int64_t count) {
    cancelAt_.store(count < 0 ? -1 : started_.load() + count);
}

bool IterationPool::mayStart() {
    const int64_t limit = cancelAt_.load();
    if (limit < 0) {
        started_.fetch_add(1);
        return true;
    }
    int64_t n = started_.load();
    while (n < limit)
        if (started_.compare_exchange_weak(n, n + 1))
            return true;
    return false;
}

void IterationPool::work(Job& job, int threadIndex) {
    insideIteration = true;
    while (job.err.load(std::memory_order_relaxed) == PF_Err_NONE &&
           !job.cancelled.load(std::memory_order_relaxed)) {
        const A_long i = job.next.fetch_add(1);
        if (i >= job.iterations)
            break;
        if (!mayStart()) {
            job.cancelled.store(true);
            break;
        }
        const PF_Err e = job.fn(job.refcon, threadIndex, i, job.iterations);
        if (e != PF_Err_NONE) {
            PF_Err expected = PF_Err_NONE;
            job.err.compare_exchange_strong(expected, e);
        }
    }
    insideIteration = false;
}

void IterationPool::workerLoop(int threadIndex) {
    uint64_t seen = 0;
    for (;;) {
        const auto newRun = [&] { return stop_.load() || generation_.load() != seen; };
        pollFor(newRun);
        Job* job;
        {
            // job_ is read under the mutex it was written under.
            std::unique_lock lock(mutex_);
            wake_.wait(lock, newRun);
            if (stop_.load())
                return;
            seen = generation_.load();
            job = job_;
        }
        work(*job, threadIndex);
        if (pending_.fetch_sub(1) == 1) {
            // The caller may be asleep: notify under the mutex so that it
            // cannot miss the last worker between its check and its wait.
            std::lock_guard lock(mutex_);
            done_.notify_one();
        }
    }
}

PF_Err IterationPool::run(A_long iterations, void* refcon, PF_IterateGenericFunc fn) {
    if (insideIteration || fn == nullptr || iterations < -1)
        return PF_Err_BAD_CALLBACK_PARAM;
    std::lock_guard call(callMutex_);
    Job job;
    job.iterations = iterations == -1 ? threads() : iterations;
    job.refcon = refcon;
    job.fn = fn;
    if (job.iterations == 0)
        return PF_Err_NONE;
    if (!workers_.empty()) {
        {
            std::lock_guard lock(mutex_);
            job_ = &job;
            pending_.store(int(workers_.size()));
            generation_.fetch_add(1);
        }
        wake_.notify_all();
    }
    work(job, 0);
    if (!workers_.empty()) {
        const auto finished = [&] { return pending_.load() == 0; };
        pollFor(finished);
        std::unique_lock lock(mutex_);
        done_.wait(lock, finished);
        job_ = nullptr;
    }
    if (job.err.load() != PF_Err_NONE)
        return job.err.load();
    return job.cancelled.load() ? PF_Interrupt_CANCEL : PF_Err_NONE;
}
