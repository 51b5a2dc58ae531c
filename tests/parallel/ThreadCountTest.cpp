// The worker count under hosts that report no processors or iterate other
// than asked, and under renders that run at once with different counts.
#include "parallel/AEHost.h"
#include "image/Sarn_Resize.h"
#include "parallel/KelException.h"
#include "parallel/Sarn_Thread.h"
#include "parallel/Sarn_SetThreadCount.h"
#include "tests/support/Scopes.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <utility>
#include <vector>

namespace {

// A generic iteration that runs `reportedIterations` iterations (with i = 0
// at least once) on the calling thread, whatever it was asked for.
A_long reportedIterations = 0;

PF_Err reportingIterate(A_long, void* refcon, PF_IterateGenericFunc fn) {
    for (A_long i = 0; i < std::max<A_long>(reportedIterations, 1); ++i)
        if (const PF_Err err = fn(refcon, 0, i, reportedIterations))
            return err;
    return PF_Err_NONE;
}

void countBand(int32_t, int32_t, int32_t, void* refcon) { ++*static_cast<int*>(refcon); }

// Adds up the count each band reads (so a band run twice shows); band 0
// first lets another render set a count of its own.
struct RecordCounts : Sarn_AE_Environ::Thread {
    explicit RecordCounts(PF_InData* in) : Sarn_AE_Environ::Thread(in) {}
    void run(int index) override {
        if (index == 0)
            std::thread([] { Sarn_SetThreadCount(1); }).join();
        seen[size_t(index)] += Sarn_GetThreadCount();
    }
    std::vector<std::atomic<int>> seen = std::vector<std::atomic<int>>(4);
};

} // namespace

// A host that reports no processors still has one band; iterations other
// than the ones asked for run no band.
TEST(WorkerCount, HostsReportingNoProcessorsOrOtherIterations) {
    TestHost reporting;
    reporting.inData()->utils->iterate_generic = reportingIterate;
    AEHost host(reporting.inData(), nullptr, nullptr);
    for (A_long reported : {0, -3}) {
        reportedIterations = reported;
        EXPECT_EQ(host.processorCount(), 1) << reported;
        ThreadCountScope count(reported);
        EXPECT_EQ(Sarn_GetThreadCount(), 1) << reported;
    }
    // (bands asked for, iterations the host runs)
    for (const auto& [asked, runs] : {std::pair{4, 8}, std::pair{4, 2}, std::pair{3, -1}}) {
        reportedIterations = runs;
        int bands = 0;
        EXPECT_THROW(host.thread(countBand, &bands, asked), Kel::Exception) << asked << " " << runs;
        EXPECT_EQ(bands, 0) << asked << " " << runs;
    }
}

TEST(WorkerCount, BandsReadTheCountTheirJobWasLaunchedWith) {
    for (int workers : {1, 0}) { // host iteration in band order; fallback threads
        TestHost testHost(workers);
        ThreadCountScope count(4);
        RecordCounts job(testHost.inData());
        job.execute();
        for (const std::atomic<int>& count : job.seen)
            EXPECT_EQ(count.load(), 4) << "workers " << workers;
        EXPECT_EQ(Sarn_GetThreadCount(), 4); // this thread's render keeps its own
        EXPECT_EQ(testHost.iterationCalls() > 0, workers > 0);
    }
}

// Two renders at once over one host, each on an AEHost of its own and setting
// its own count at its start as the render command does: every result equals
// the one rendered alone.
TEST(WorkerCount, ConcurrentRendersWithDifferentCounts) {
    TestHost host(3);
    std::vector<float> src(37 * 29);
    for (size_t i = 0; i < src.size(); ++i)
        src[i] = float((i * 7919) % 251);
    auto resized = [&] {
        std::vector<float> dst(23 * 61, -1.0f);
        Sarn_ResizeF(host.inData(), src.data(), dst.data(), 37, 29, 23, 61, 37 * 4, 23 * 4, 1.0f, 1.0f).run();
        return dst;
    };
    ThreadCountScope one(1);
    const std::vector<float> alone = resized();

    std::atomic<int> wrong{0};
    auto render = [&](int count) {
        for (int frame = 0; frame < 150; ++frame) {
            const AEHost environment(host.inData(), nullptr, nullptr);
            Sarn_SetThreadCount(count);
            if (resized() != alone)
                ++wrong;
        }
    };
    std::thread many(render, 7);
    std::thread few(render, 2);
    many.join();
    few.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(host.liveHandles(), 0);
}
