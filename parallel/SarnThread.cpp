#include "parallel/SarnThread.h"

#include "host/AEHost.h"
#include "parallel/JobBinding.h"
#include "parallel/ThreadCount.h"

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
    AEHost host(inData, nullptr, nullptr);
    LaunchedJob launched{this, Sarn_GetThreadCount()};
    JobBinding binding{&launched, runBand};
    host.thread(dispatchBand, &binding, launched.count);
}
