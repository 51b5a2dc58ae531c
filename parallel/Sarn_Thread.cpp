#include "parallel/Sarn_Thread.h"

#include "parallel/AEHost.h"
#include "parallel/JobBinding.h"
#include "parallel/Sarn_SetThreadCount.h"

namespace {
// A job and the band count it was launched with, which its bands cut their
// rows (and per-band scratch) by, whatever count is set while they run.
struct LaunchedJob {
    Sarn_Thread* job;
    int32_t count;
};

void runBand(void* object, int32_t index, int32_t, int32_t) {
    const LaunchedJob* launched = static_cast<const LaunchedJob*>(object);
    const JobThreadCount count(launched->count);
    launched->job->run(index);
}
} // namespace

void Sarn_AE_Environ::Thread::execute() {
    LaunchedJob launched{this, Sarn_GetThreadCount()};
    JobBinding binding{&launched, runBand};
    // The render's own environment: a cancel this job sees becomes the
    // render's status, and every later job of the render stops at once.
    if (AEHost* host = AEHost::of(inData)) {
        host->thread(dispatchBand, &binding, launched.count);
        return;
    }
    // A job run outside any render (a test, a benchmark) gets one of its own.
    AEHost own(inData, nullptr, nullptr);
    own.thread(dispatchBand, &binding, launched.count);
}
