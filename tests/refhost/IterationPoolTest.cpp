// The reference host's iteration pool under a hostile system and hostile
// plug-ins: threads that cannot start, iteration functions that throw.
#include "refhost/IterationPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <set>
#include <stdexcept>
#include <system_error>
#include <thread>

using namespace refhost;

namespace {

struct Tally {
    std::mutex mutex;
    std::multiset<A_long> iterations;
    std::set<A_long> threadIndices;
};

PF_Err tally(void* refcon, A_long threadIndex, A_long i, A_long) {
    Tally* t = static_cast<Tally*>(refcon);
    std::lock_guard lock(t->mutex);
    t->iterations.insert(i);
    t->threadIndices.insert(threadIndex);
    return PF_Err_NONE;
}

// Waits for `flag` for at most ten seconds, so that a broken pool fails the
// test instead of hanging it.
bool await(const std::atomic<bool>& flag) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!flag.load()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::yield();
    }
    return true;
}

// Two threads meet in one run, one iteration each; one of them throws while
// the other is still inside its iteration (it stays a while after both met).
struct Thrower {
    bool throwOnCaller;
    std::atomic<bool> throwerEntered{false};
    std::atomic<bool> otherEntered{false};
    std::atomic<bool> otherLeft{false};

    static PF_Err fn(void* refcon, A_long threadIndex, A_long, A_long) {
        Thrower* t = static_cast<Thrower*>(refcon);
        if ((threadIndex == 0) == t->throwOnCaller) {
            t->throwerEntered.store(true);
            if (await(t->otherEntered))
                throw std::runtime_error("iteration failed");
            return PF_Err_NONE;
        }
        t->otherEntered.store(true);
        await(t->throwerEntered);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        t->otherLeft.store(true);
        return PF_Err_NONE;
    }
};

} // namespace

TEST(IterationPool, RunsWithTheWorkersThatStarted) {
    // (1-based start that the system refuses, threads the pool ends with)
    const struct {
        int refusedStart;
        int threads;
    } cases[] = {{1, 1}, {3, 3}, {0, 4}};
    for (const auto& c : cases) {
        int starts = 0;
        const IterationPool::ThreadStarter start = [&](std::function<void()> body) {
            if (++starts == c.refusedStart)
                throw std::system_error(EAGAIN, std::generic_category(), "thread limit");
            return std::thread(std::move(body));
        };
        IterationPool pool(4, start);
        ASSERT_EQ(pool.threads(), c.threads) << "refused start " << c.refusedStart;
        Tally once;
        EXPECT_EQ(pool.run(-1, &once, tally), PF_Err_NONE);
        EXPECT_EQ(once.iterations.size(), size_t(c.threads));
        Tally all;
        EXPECT_EQ(pool.run(40, &all, tally), PF_Err_NONE);
        EXPECT_EQ(all.iterations.size(), 40u);
        EXPECT_EQ(std::set<A_long>(all.iterations.begin(), all.iterations.end()).size(), 40u);
        for (A_long t : all.threadIndices)
            EXPECT_TRUE(t >= 0 && t < c.threads) << t;
    }
}

TEST(IterationPool, AnExceptionFailsTheRunAfterEveryThreadLeftIt) {
    IterationPool pool(2);
    for (bool onCaller : {true, false}) {
        Thrower thrower{onCaller};
        EXPECT_EQ(pool.run(2, &thrower, Thrower::fn), PF_Err_INTERNAL_STRUCT_DAMAGED)
            << (onCaller ? "caller" : "worker");
        EXPECT_TRUE(thrower.otherLeft.load());
        EXPECT_FALSE(IterationPool::onIterationThread());
        // The pool is whole again: the next run is neither refused nor cut.
        Tally next;
        EXPECT_EQ(pool.run(5, &next, tally), PF_Err_NONE);
        EXPECT_EQ(next.iterations.size(), 5u);
    }
    EXPECT_EQ(pool.exceptionsCaught(), 2);
}
