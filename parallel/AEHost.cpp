#include "parallel/AEHost.h"

#include "parallel/KelException.h"
#include "parallel/SystemThread.h"
#include "parallel/platform/PlatformThread.h"
#include "sdk/SPBasic.h"

#include <algorithm>
#include <cstdint>
#include <new>

namespace {

// The AEHosts living on this thread, innermost first through enclosing_.
// Jobs run on the thread of the render that owns them, so no other thread
// ever reads this one's chain.
thread_local AEHost* innermostHost = nullptr;

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

bool isKeyGHost(const PF_InData* inData) { return inData->appl_id == kApplIdKeyG; }

bool isPremiereHost(const PF_InData* inData) { return inData->appl_id == kApplIdPremiere; }

SPBasicSuite* usableBasicSuite(const PF_InData* inData) {
    SPBasicSuite* basic = inData->pica_basicP;
    if (isKeyGHost(inData) || basic == nullptr || basic->AcquireSuite == nullptr ||
        basic->ReleaseSuite == nullptr)
        return nullptr;
    return basic;
}

AEHost::AEHost(PF_InData* inData, PF_EffectWorld* output, PF_SmartRenderCallbacks* smartCallbacks)
    : inData(inData), output(output), smartCallbacks(smartCallbacks), enclosing_(innermostHost) {
    innermostHost = this;
    SPBasicSuite* basic = usableBasicSuite(inData);
    if (basic == nullptr)
        return;
    const void* suite = nullptr;
    if (basic->AcquireSuite(kPFWorldSuite, kPFWorldSuiteVersion2, &suite) != 0 || suite == nullptr)
        return;
    const auto* world = static_cast<const PF_WorldSuite2*>(suite);
    if (world->PF_NewWorld == nullptr || world->PF_DisposeWorld == nullptr ||
        world->PF_GetPixelFormat == nullptr) {
        // Without all three the callbacks serve better than half a suite.
        basic->ReleaseSuite(kPFWorldSuite, kPFWorldSuiteVersion2);
        return;
    }
    worldSuite = const_cast<PF_WorldSuite2*>(world);
}

AEHost::~AEHost() {
    innermostHost = enclosing_;
    if (worldSuite != nullptr)
        inData->pica_basicP->ReleaseSuite(kPFWorldSuite, kPFWorldSuiteVersion2);
}

PF_Err AEHost::addSupportedPixelFormat(PrPixelFormat code) {
    SPBasicSuite* basic = usableBasicSuite(inData);
    if (basic == nullptr)
        return PF_Err_NONE;
    const void* suite = nullptr;
    if (basic->AcquireSuite(kPFPixelFormatSuite, kPFPixelFormatSuiteVersion2, &suite) != 0 ||
        suite == nullptr)
        return PF_Err_NONE;
    // Released on every exit, also when the host's function throws.
    struct Release {
        SPBasicSuite* basic;
        ~Release() { basic->ReleaseSuite(kPFPixelFormatSuite, kPFPixelFormatSuiteVersion2); }
    } release{basic};
    const auto* formats = static_cast<const PF_PixelFormatSuite2*>(suite);
    if (formats->AddSupportedPixelFormat == nullptr)
        return PF_Err_NONE;
    return formats->AddSupportedPixelFormat(inData->effect_ref, code);
}

PF_Rect AEHost::processingArea(const PF_EffectWorld* world) const {
    PF_Rect area{};
    area.bottom = decltype(area.bottom)(world->height);
    area.right = decltype(area.right)(world->width);
    if (smartCallbacks != nullptr)
        return area;
    // 64-bit sums: no output origin a host sends can overflow them.
    int64_t left = world->extent_hint.left, top = world->extent_hint.top;
    if (world == output) {
        left += inData->output_origin_x;
        top += inData->output_origin_y;
    }
    area.left = decltype(area.left)(std::clamp<int64_t>(left, 0, std::max<A_long>(world->width, 0)));
    area.top = decltype(area.top)(std::clamp<int64_t>(top, 0, std::max<A_long>(world->height, 0)));
    return area;
}

AEHost* AEHost::of(const PF_InData* inData) {
    for (AEHost* host = innermostHost; host != nullptr; host = host->enclosing_)
        if (host->inData == inData)
            return host;
    return nullptr;
}

// The job runner: processor count and band runs through the host's generic
// iteration, with the fallback runner when there is none.

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
    return threadIndex == 0 ? c->host->status.load() : PF_Err_NONE;
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
