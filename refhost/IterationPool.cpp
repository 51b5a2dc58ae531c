#include "refhost/IterationPool.h"

#include <algorithm>
#include <chrono>
#include <exception>

namespace refhost {

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

IterationPool::IterationPool(int threads, const ThreadStarter& start) {
    // Reserved first: a thread that started is stored without a throw.
    workers_.reserve(size_t(std::max(0, threads - 1)));
    for (int t = 1; t < threads; ++t) {
        try {
            std::function<void()> body = [this, t] { workerLoop(t); };
            workers_.push_back(start ? start(std::move(body)) : std::thread(std::move(body)));
        } catch (const std::exception&) {
            // At the system's thread limit later starts fail too; the workers
            // that started keep the indices 1 .. threads() - 1.
            break;
        }
    }
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

PF_Err IterationPool::call(const Job& job, int threadIndex, A_long i) noexcept {
    try {
        return job.fn(job.refcon, threadIndex, i, job.iterations);
    } catch (...) {
        // An exception let out of a C callback is the plug-in's fault; it must
        // not unwind the host's threads, nor the caller's while workers use
        // the job. It ends the run like any failing iteration.
        thrown_.fetch_add(1);
        return PF_Err_INTERNAL_STRUCT_DAMAGED;
    }
}

void IterationPool::work(Job& job, int threadIndex) noexcept {
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
        const PF_Err e = call(job, threadIndex, i);
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

// Hands a job to the workers for its own lifetime: the destructor waits until
// every worker has left the job, so that the job, on run's stack, outlives
// every use on every way out of run.
class IterationPool::Launch {
public:
    Launch(IterationPool& pool, Job& job) : pool_(pool) {
        if (pool_.workers_.empty())
            return;
        {
            std::lock_guard lock(pool_.mutex_);
            pool_.job_ = &job;
            pool_.pending_.store(int(pool_.workers_.size()));
            pool_.generation_.fetch_add(1);
        }
        pool_.wake_.notify_all();
    }
    ~Launch() {
        if (pool_.workers_.empty())
            return;
        const auto finished = [this] { return pool_.pending_.load() == 0; };
        pollFor(finished);
        std::unique_lock lock(pool_.mutex_);
        pool_.done_.wait(lock, finished);
        pool_.job_ = nullptr;
    }
    Launch(const Launch&) = delete;
    Launch& operator=(const Launch&) = delete;

private:
    IterationPool& pool_;
};

PF_Err IterationPool::run(A_long iterations, void* refcon, PF_IterateGenericFunc fn) {
    if (insideIteration || fn == nullptr || iterations < -1)
        return PF_Err_BAD_CALLBACK_PARAM;
    std::lock_guard turn(callMutex_);
    Job job;
    job.iterations = iterations == -1 ? threads() : iterations;
    job.refcon = refcon;
    job.fn = fn;
    if (job.iterations == 0)
        return PF_Err_NONE;
    {
        const Launch launch(*this, job);
        work(job, 0);
    }
    if (job.err.load() != PF_Err_NONE)
        return job.err.load();
    return job.cancelled.load() ? PF_Interrupt_CANCEL : PF_Err_NONE;
}

} // namespace refhost
