// The job runner's host side: processor count and band runs through the
// host's generic iteration, with the fallback runner when there is none.
#include "host/AEHost.h"
#include "parallel/KelException.h"
#include "parallel/SystemThread.h"
#include "parallel/platform/PlatformThread.h"

#include <new>

namespace {

struct HostIterationContext {
    BandFunction bandFunction;
    void* refcon;
    AEHost* host;
    int32_t count; // bands asked for; 0: as many as the host chooses
};

PF_Err countProcessors(void* refcon, A_long, A_long i, A_long iterations) {
    if (i == 0)
        *static_cast<int32_t*>(refcon) = iterations;
    return PF_Err_NONE;
}

} // namespace

PF_Err hostIterationCallback(void* context, A_long threadIndex, A_long i, A_long iterations) {
    const HostIterationContext* c = static_cast<const HostIterationContext*>(context);
    // Bands cut their rows by (i, iterations): any other iteration than the
    // ones asked for would reach rows outside the image.
    if (iterations < 1 || i < 0 || i >= iterations || (c->count != 0 && iterations != c->count))
        return PF_Err_BAD_CALLBACK_PARAM;
    try {
        c->bandFunction(i, iterations, threadIndex, c->refcon);
    } catch (const std::bad_alloc&) {
        return PF_Err_OUT_OF_MEMORY;
    } catch (const Kel::Interrupted&) {
        // A cancelled band ends quietly; the host's own result decides the run.
    } catch (...) {
        return PF_Err_INTERNAL_STRUCT_DAMAGED;
    }
    return threadIndex == 0 ? c->host->status : PF_Err_NONE;
}

bool AEHost::hasHostIteration() const {
    return inData->version.major >= 12 && inData->utils != nullptr &&
           inData->utils->iterate_generic != nullptr;
}

int32_t AEHost::processorCount() const {
    if (!hasHostIteration())
        return Kel::Platform::processorCount();
    int32_t count = 1;
    inData->utils->iterate_generic(-1, &count, countProcessors);
    // A host that reports no processors still has the calling thread.
    return count < 1 ? 1 : count;
}

void AEHost::thread(BandFunction bandFunction, void* refcon, int32_t count) {
    const int32_t bands = count == 0 ? processorCount() : count;
    if (bands == 1) {
        bandFunction(0, 1, 0, refcon);
        return;
    }
    if (!hasHostIteration()) {
        Kel::Host::System::Thread().thread(bandFunction, refcon, count);
        return;
    }
    HostIterationContext context{bandFunction, refcon, this, count};
    const PF_Err result =
        inData->utils->iterate_generic(count != 0 ? count : -1, &context, hostIterationCallback);
    switch (result) {
    case PF_Err_NONE:
        if (status != 0)
            throw Kel::Interrupted();
        return;
    case PF_Err_OUT_OF_MEMORY:
        throw std::bad_alloc();
    case PF_Interrupt_CANCEL:
        status = PF_Interrupt_CANCEL;
        throw Kel::Interrupted();
    default:
        throw Kel::Exception("AEHost::thread", "An unknown error occurred in a thread.");
    }
}
