// Working storage of the motion-compensated renders: every scratch frame and
// memory handle goes back to the host on success, on each failed allocation
// and on a cancel.
#include "refhost/RenderDriver.h"
#include "tests/deinterlace/PanClip.h"
#include "tests/support/RefHostTesting.h"

#include <gtest/gtest.h>

#include <string>

using namespace refhost;

namespace {

struct Scenario {
    const char* name;
    A_long motion;
    A_long fields;
    int frame;
    Protocol protocol;
};

// "Best" two frames back and "Fast" on the current frame alone, both
// protocols: every field-step path (first step, motion steps, earlier-frame
// check-outs and check-ins).
const Scenario kScenarios[] = {
    {"Best smart", 4, 1, 2, Protocol::Smart},
    {"Best legacy", 4, 2, 2, Protocol::Legacy},
    {"Fast first frame", 2, 2, 0, Protocol::Smart},
    {"Better legacy", 3, 1, 1, Protocol::Legacy},
};

RenderParams paramsOf(const Scenario& s) {
    return RenderParams{.fields = s.fields, .motion = s.motion, .correctMotionErrors = true};
}

class MotionPipelineResources : public ::testing::Test {
protected:
    const Clip clip = pantest::panClip(PF_PixelFormat_ARGB64, 40, 21, 3, 1.5);
    RefHost host{HostProfile::afterEffects(), loadedPlugin().entry()};
    RenderDriver driver{host};

    // Renders once without faults; returns the output and the number of
    // world and handle requests and iterations it took.
    RenderResult baseline(const Scenario& s, int& worlds, int& handles, int64_t& iterations) {
        const int w0 = host.worldRequests(), h0 = host.handleRequests();
        const int64_t i0 = host.iterationsRun();
        RenderResult r = driver.render(clip, s.frame, paramsOf(s), s.protocol);
        EXPECT_EQ(r.err, PF_Err_NONE) << r.message;
        EXPECT_NOTHING_HELD(host);
        worlds = host.worldRequests() - w0;
        handles = host.handleRequests() - h0;
        iterations = host.iterationsRun() - i0;
        return r;
    }
};

} // namespace

// The nth world request fails, for n over all the render makes: each such render
// answers out of memory (4) and leaves nothing held; past the last request the
// render succeeds with the baseline's pixels. Likewise for memory handles.
TEST_F(MotionPipelineResources, EveryFailedAllocationReleasesEverything) {
    for (const Scenario& s : kScenarios) {
        SCOPED_TRACE(s.name);
        int worlds = 0, handles = 0;
        int64_t iterations = 0;
        const RenderResult good = baseline(s, worlds, handles, iterations);
        ASSERT_GE(worlds, 2); // two scratch frames
        ASSERT_GE(handles, 2); // two motion planes, and the motion step's buffers
        for (bool worldFaults : {true, false}) {
            const int requests = worldFaults ? worlds : handles;
            // Every request of the first field steps and of the end of the
            // render; in between (hundreds of motion-step buffers with
            // "Best") every seventh.
            for (int n = 1; n <= requests + 1; n += (n < 40 || n > requests - 8) ? 1 : 7) {
                SCOPED_TRACE(std::string(worldFaults ? "world" : "handle") + " request " +
                             std::to_string(n) + " of " + std::to_string(requests));
                if (worldFaults)
                    host.failWorldRequest(n);
                else
                    host.failHandleRequest(n);
                const RenderResult r = driver.render(clip, s.frame, paramsOf(s), s.protocol);
                host.failWorldRequest(0);
                host.failHandleRequest(0);
                if (n <= requests) {
                    EXPECT_EQ(r.err, PF_Err_OUT_OF_MEMORY) << r.message;
                } else {
                    EXPECT_EQ(r.err, PF_Err_NONE) << r.message;
                    EXPECT_EQ(r.frame.pixels, good.frame.pixels);
                }
                EXPECT_NOTHING_HELD(host);
            }
        }
    }
}

// A cancel after n host iterations, for n spread over the whole render: 517,
// nothing held. (From n = 1: a host that cancels the very first iteration
// answers the processor-count query with nothing, the render then runs every
// job on its own thread and never asks the host again.) A host iteration that
// fails with out of memory gives 4.
TEST_F(MotionPipelineResources, CancelAndFailedIterationReleaseEverything) {
    for (const Scenario& s : kScenarios) {
        SCOPED_TRACE(s.name);
        int worlds = 0, handles = 0;
        int64_t iterations = 0;
        baseline(s, worlds, handles, iterations);
        ASSERT_GT(iterations, 0);
        const int64_t step = std::max<int64_t>(1, iterations / 23);
        for (int64_t n = 1; n < iterations; n += step) {
            host.cancelIterationAfter(n);
            const RenderResult r = driver.render(clip, s.frame, paramsOf(s), s.protocol);
            host.cancelIterationAfter(-1);
            EXPECT_EQ(r.err, PF_Interrupt_CANCEL) << "cancel after " << n << ": " << r.message;
            EXPECT_NOTHING_HELD(host);
        }

        host.faults().iterationResult = PF_Err_OUT_OF_MEMORY;
        const RenderResult failed = driver.render(clip, s.frame, paramsOf(s), s.protocol);
        host.faults().iterationResult = PF_Err_NONE;
        EXPECT_EQ(failed.err, PF_Err_OUT_OF_MEMORY) << failed.message;
        EXPECT_NOTHING_HELD(host);
    }
}
