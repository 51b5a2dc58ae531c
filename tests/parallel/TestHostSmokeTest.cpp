#include "parallel/Sarn_Thread.h"
#include "parallel/Sarn_SetThreadCount.h"
#include "tests/support/Scopes.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

namespace {
struct MarkBands : Sarn_AE_Environ::Thread {
    MarkBands(PF_InData* in, std::vector<std::atomic<int>>* marks)
        : Sarn_AE_Environ::Thread(in), marks(marks) {}
    void run(int index) override { ++(*marks)[size_t(index)]; }
    std::vector<std::atomic<int>>* marks;
};
} // namespace

// Every band of a library job runs exactly once, through the host's
// iteration and through the fallback threads alike.
TEST(LibraryJob, RunsEveryBandOnceOnEitherRunner) {
    for (int workers : {0, 3}) {
        TestHost host(workers);
        for (int count : {1, 2, 5}) {
            ThreadCountScope scope(count);
            std::vector<std::atomic<int>> marks(static_cast<size_t>(count));
            MarkBands job(host.inData(), &marks);
            job.execute();
            for (auto& m : marks)
                EXPECT_EQ(m.load(), 1) << "workers " << workers << " count " << count;
        }
        EXPECT_EQ(host.iterationCalls() > 0, workers > 0);
    }
}
