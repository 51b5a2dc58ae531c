#include "parallel/AEHost.h"
#include "parallel/KelException.h"
#include "parallel/SystemThread.h"
#include "parallel/platform/PlatformThread.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <new>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Call {
    int32_t index, count, threadIndex;
    std::thread::id thread;
    bool operator==(const Call&) const = default;
};

// Records every band call; throws what `failures` says for a band index.
struct Recorder {
    std::mutex mutex;
    std::vector<Call> calls;
    std::vector<int> failures; // per band index: 0 none, 1 bad_alloc, 2 Interrupted, 3 runtime_error
    static void band(int32_t index, int32_t count, int32_t threadIndex, void* refcon) {
        Recorder* r = static_cast<Recorder*>(refcon);
        {
            std::lock_guard<std::mutex> lock(r->mutex);
            r->calls.push_back({index, count, threadIndex, std::this_thread::get_id()});
        }
        const int failure = size_t(index) < r->failures.size() ? r->failures[size_t(index)] : 0;
        if (failure == 1)
            throw std::bad_alloc();
        if (failure == 2)
            throw Kel::Interrupted();
        if (failure == 3)
            throw std::runtime_error("band failed");
    }
};

// What a run ended with: the exception's kind, a Kel::Exception's message, or
// "" when it returned.
std::string outcomeOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::bad_alloc&) {
        return "bad_alloc";
    } catch (const Kel::Interrupted&) {
        return "Interrupted";
    } catch (const Kel::Exception& e) {
        return e.what();
    } catch (const std::runtime_error&) {
        return "runtime_error";
    }
    return "";
}

const std::string kUnknown = "AEHost::thread: An unknown error occurred in a thread.";
const std::string kUnknownFallback = "Kel::Host::System::Thread::thread: An unknown error occurred in a thread.";

} // namespace

// One band runs inline on the calling thread under either runner, and its
// exceptions pass unchanged; more go through the host's iteration, count 0
// meaning one band per processor the host reports.
TEST(JobRunner, SingleBandRunsInlineMoreThroughTheHostsIteration) {
    TestHost testHost(3);
    AEHost host(testHost.inData(), nullptr, nullptr);
    Kel::Host::System::Thread fallback;
    const std::function<void(Recorder&)> runners[] = {
        [&](Recorder& r) { host.thread(Recorder::band, &r, 1); },
        [&](Recorder& r) { fallback.thread(Recorder::band, &r, 1); }};
    for (const auto& run : runners) {
        Recorder r;
        run(r);
        EXPECT_EQ(r.calls, (std::vector<Call>{{0, 1, 0, std::this_thread::get_id()}}));
        for (const auto& [failure, expected] : {std::pair{1, "bad_alloc"}, {2, "Interrupted"}, {3, "runtime_error"}}) {
            r.failures = {failure};
            EXPECT_EQ(outcomeOf([&] { run(r); }), expected);
        }
    }
    EXPECT_EQ(testHost.iterationCalls(), 0);
    EXPECT_EQ(host.processorCount(), 3);
    for (int32_t count : {0, 2, 7}) {
        Recorder r;
        host.thread(Recorder::band, &r, count);
        const int32_t expected = count == 0 ? 3 : count;
        ASSERT_EQ(r.calls.size(), size_t(expected));
        std::set<int32_t> indices;
        for (const Call& c : r.calls) {
            EXPECT_EQ(c.count, expected);
            indices.insert(c.index);
        }
        EXPECT_EQ(indices.size(), size_t(expected));
    }
}

// Band failures and the host's own result code, each on a fresh host: what
// the run throws, and what a second run on the same host, which the host
// completes, throws. A band that reports a cancel by itself does not fail the
// run; the host's cancel stands for the rest of its render, yet the next
// render's host starts clean.
TEST(JobRunner, HostIterationMapsBandFailuresAndHostCodes) {
    struct Case {
        std::vector<int> failures;
        PF_Err hostResult;
        std::string expected, expectedNext;
    };
    const Case cases[] = {
        {{0, 1}, PF_Err_NONE, "bad_alloc", ""},
        {{}, PF_Interrupt_CANCEL, "Interrupted", "Interrupted"},
        {{0, 0, 3}, PF_Err_NONE, kUnknown, ""},
        {{2, 2, 2, 2}, PF_Err_NONE, "", ""},
        {{}, PF_Err_OUT_OF_MEMORY, "bad_alloc", ""},
        {{}, PF_Err_INVALID_INDEX, kUnknown, ""},
    };
    TestHost testHost(2);
    for (const Case& c : cases) {
        AEHost host(testHost.inData(), nullptr, nullptr);
        testHost.setIterationResult(c.hostResult);
        Recorder r;
        r.failures = c.failures;
        EXPECT_EQ(outcomeOf([&] { host.thread(Recorder::band, &r, 4); }), c.expected) << c.hostResult;
        EXPECT_EQ(host.status, c.hostResult == PF_Interrupt_CANCEL ? PF_Interrupt_CANCEL : 0);
        testHost.setIterationResult(PF_Err_NONE);
        r.failures = {};
        EXPECT_EQ(outcomeOf([&] { host.thread(Recorder::band, &r, 4); }), c.expectedNext) << c.hostResult;
    }
}

// Old hosts get the fallback threads: one worker per band, none of them the
// calling thread; when several fail, the later failing worker decides.
TEST(JobRunner, OldHostsUseTheFallbackThreadsWhereTheLaterFailingWorkerDecides) {
    TestHost testHost(2);
    testHost.inData()->version.major = 11;
    AEHost host(testHost.inData(), nullptr, nullptr);
    EXPECT_EQ(host.processorCount(), Kel::Platform::processorCount());
    Recorder r;
    host.thread(Recorder::band, &r, 4);
    EXPECT_EQ(testHost.iterationCalls(), 0);
    ASSERT_EQ(r.calls.size(), 4u);
    std::set<std::thread::id> threads;
    for (const Call& c : r.calls) {
        EXPECT_EQ(c.threadIndex, c.index); // worker number equals band number
        EXPECT_EQ(c.count, 4);
        threads.insert(c.thread);
    }
    EXPECT_EQ(threads.size(), 4u);
    EXPECT_EQ(threads.count(std::this_thread::get_id()), 0u);
    for (const auto& [failures, expected] :
         {std::pair<std::vector<int>, std::string>{{0, 1, 0, 3}, kUnknownFallback},
          {{0, 3, 0, 1}, "bad_alloc"}, {{1, 0, 2, 0}, "Interrupted"}}) {
        r.failures = failures;
        EXPECT_EQ(outcomeOf([&] { host.thread(Recorder::band, &r, 4); }), expected);
    }
    r.failures = {};
    r.calls.clear();
    host.thread(Recorder::band, &r, 0);
    EXPECT_EQ(r.calls.size(), size_t(std::max(1, Kel::Platform::processorCount())));
}
