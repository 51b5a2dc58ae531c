#include "host/AEHost.h"

#include "sdk/SPBasic.h"

#include <algorithm>

bool isKeyGHost(const PF_InData* inData) { return inData->appl_id == kApplIdKeyG; }

bool isPremiereHost(const PF_InData* inData) { return inData->appl_id == kApplIdPremiere; }

namespace {
bool suitesUsable(const PF_InData* inData) {
    return !isKeyGHost(inData) && inData->pica_basicP != nullptr;
}
} // namespace

AEHost::AEHost(PF_InData* inData, PF_EffectWorld* output, PF_SmartRenderCallbacks* smartCallbacks)
    : inData(inData), output(output), smartCallbacks(smartCallbacks) {
    if (!suitesUsable(inData))
        return;
    const void* suite = nullptr;
    if (inData->pica_basicP->AcquireSuite(kPFWorldSuite, kPFWorldSuiteVersion2, &suite) == 0 &&
        suite != nullptr)
        worldSuite = static_cast<PF_WorldSuite2*>(const_cast<void*>(suite));
}

AEHost::~AEHost() {
    if (worldSuite != nullptr)
        inData->pica_basicP->ReleaseSuite(kPFWorldSuite, kPFWorldSuiteVersion2);
}

PF_Err AEHost::addSupportedPixelFormat(PrPixelFormat code) {
    if (!suitesUsable(inData))
        return PF_Err_NONE;
    SPBasicSuite* basic = inData->pica_basicP;
    const void* suite = nullptr;
    if (basic->AcquireSuite(kPFPixelFormatSuite, kPFPixelFormatSuiteVersion2, &suite) != 0 ||
        suite == nullptr)
        return PF_Err_NONE;
    // Released on every exit, also when the host's function throws.
    struct Release {
        SPBasicSuite* basic;
        ~Release() { basic->ReleaseSuite(kPFPixelFormatSuite, kPFPixelFormatSuiteVersion2); }
    } release{basic};
    return static_cast<const PF_PixelFormatSuite2*>(suite)->AddSupportedPixelFormat(
        inData->effect_ref, code);
}

PF_Rect AEHost::processingArea(const PF_EffectWorld* world) const {
    const A_long height = world->height;
    const A_long width = world->width;
    if (smartCallbacks != nullptr)
        return PF_Rect{0, 0, width, height};
    PF_Rect hint = world->extent_hint;
    if (world == output) {
        hint.left += inData->output_origin_x;
        hint.top += inData->output_origin_y;
    }
    return PF_Rect{std::max<A_long>(hint.left, 0), std::max<A_long>(hint.top, 0), width, height};
}
