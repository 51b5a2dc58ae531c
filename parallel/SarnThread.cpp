#include "parallel/SarnThread.h"

#include "host/AEHost.h"
#include "parallel/JobBinding.h"
#include "parallel/ThreadCount.h"

namespace {
void runBand(void* object, int32_t index, int32_t, int32_t) {
    static_cast<Sarn_Thread*>(object)->run(index);
}
} // namespace

void Sarn_AE_Environ::Thread::execute() {
    AEHost host(inData, nullptr, nullptr);
    JobBinding binding{static_cast<Sarn_Thread*>(this), runBand};
    host.thread(dispatchBand, &binding, Sarn_GetThreadCount());
}
