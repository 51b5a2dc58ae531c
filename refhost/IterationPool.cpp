#include "refhost/IterationPool.h"

namespace {
thread_local bool insideIteration = false;
} // namespace

bool IterationPool::onIterationThread() { return insideIteration; }

IterationPool::IterationPool(int threads) {
    for (int t = 1; t < threads; ++t)
        workers_.emplace_back(&IterationPool::workerLoop, this, t);
}

IterationPool::~IterationPool() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
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
        Job* job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return stop_ || generation_ != seen; });
            if (stop_)
                return;
            seen = generation_;
            job = job_;
        }
        work(*job, threadIndex);
        {
            std::lock_guard lock(mutex_);
            if (--pending_ == 0)
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
            pending_ = int(workers_.size());
            ++generation_;
        }
        wake_.notify_all();
    }
    work(job, 0);
    if (!workers_.empty()) {
        std::unique_lock lock(mutex_);
        done_.wait(lock, [&] { return pending_ == 0; });
        job_ = nullptr;
    }
    if (job.err.load() != PF_Err_NONE)
        return job.err.load();
    return job.cancelled.load() ? PF_Interrupt_CANCEL : PF_Err_NONE;
}
