// The reference host's generic iteration: a pool of worker threads that lives
// as long as the host, with the calling thread taking part as thread 0.
// Iterations are handed out one at a time to whichever thread is free.
//
// A plug-in runs many short jobs back to back (a motion step at 1080 runs
// about a hundred), so a waiting thread first polls for a few microseconds
// before it sleeps: a kernel wake-up costs more than a small job. (Yielding
// between polls instead would hand the processor to another program for a
// whole time slice when processors are scarce.)
//
// Fault injection: a budget of iterations over the pool's life after which
// no further iteration starts and the call answers PF_Interrupt_CANCEL, as a
// host does once the user cancelled; and a thread starter that can refuse,
// as the system does at its thread limit.
#pragma once

#include "sdk/AE_EffectCB.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace refhost {

class IterationPool {
public:
    // Starts a thread running `body`; throws (std::system_error, as
    // std::thread does) when the system cannot.
    using ThreadStarter = std::function<std::thread(std::function<void()> body)>;

    // `threads` counts the calling thread; at least 1. Workers the system
    // refuses to start are done without: the pool runs with those that
    // started, and threads() says how many.
    explicit IterationPool(int threads, const ThreadStarter& start = {});
    ~IterationPool();
    IterationPool(const IterationPool&) = delete;
    IterationPool& operator=(const IterationPool&) = delete;

    int threads() const { return int(workers_.size()) + 1; }
    // True on a thread while it runs an iteration of this or any pool.
    static bool onIterationThread();

    // Runs fn(refcon, threadIndex, i, iterations) for i = 0 .. iterations - 1
    // (-1: once per thread). Stops handing out iterations after the first
    // non-zero result, which it returns; PF_Interrupt_CANCEL once the cancel
    // budget is spent. An exception out of fn counts as the result
    // PF_Err_INTERNAL_STRUCT_DAMAGED (see exceptionsCaught). Calls from
    // several threads take turns; a call from inside an iteration is refused
    // with PF_Err_BAD_CALLBACK_PARAM.
    PF_Err run(A_long iterations, void* refcon, PF_IterateGenericFunc fn);

    // Iterations started over the pool's life.
    int64_t iterationsRun() const { return started_.load(); }
    // Exceptions caught from iteration functions over the pool's life.
    int64_t exceptionsCaught() const { return thrown_.load(); }
    // After `count` more iterations (over the pool's life from now) every
    // iteration is refused; negative: never.
    void cancelAfter(int64_t count);

private:
    struct Job {
        A_long iterations = 0;
        void* refcon = nullptr;
        PF_IterateGenericFunc fn = nullptr;
        std::atomic<A_long> next{0};
        std::atomic<PF_Err> err{PF_Err_NONE};
        std::atomic<bool> cancelled{false};
    };
    class Launch;

    void workerLoop(int threadIndex);
    void work(Job& job, int threadIndex) noexcept;
    PF_Err call(const Job& job, int threadIndex, A_long i) noexcept;
    bool mayStart();

    std::mutex callMutex_; // one run at a time
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    Job* job_ = nullptr;                   // set under mutex_ before generation_ moves
    std::atomic<uint64_t> generation_{0}; // one step per run
    std::atomic<int> pending_{0};         // workers still in the current run
    std::atomic<bool> stop_{false};
    std::vector<std::thread> workers_;

    std::atomic<int64_t> started_{0};
    std::atomic<int64_t> cancelAt_{-1};
    std::atomic<int64_t> thrown_{0};
};

} // namespace refhost
