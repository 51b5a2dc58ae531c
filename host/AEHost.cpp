#include "host/AEHost.h"

#include "sdk/SPBasic.h"

#include <algorithm>
#include <cstdint>

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
    : inData(inData), output(output), smartCallbacks(smartCallbacks) {
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
