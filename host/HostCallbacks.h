// Which host callbacks each command calls, checked once at the entry: a host
// whose tables lack one gets PF_Err_BAD_CALLBACK_PARAM before anything runs,
// and past the entry every callback a command uses is known to be there.
#pragma once

#include "sdk/AE_Effect.h"
#include "sdk/AE_EffectCB.h"

#include <cstdint>

enum HostCallbackNeed : uint32_t {
    kNeedStringCopy = 1u << 0,     // ansi.strcpy
    kNeedAddParam = 1u << 1,       // inter.add_param
    kNeedParamCheckout = 1u << 2,  // inter.checkout_param and checkin_param
    kNeedFrameCallbacks = 1u << 3, // new_world, dispose_world, fill, copy
    kNeedMemoryHandles = 1u << 4,  // host_new_handle, lock, unlock, dispose
    kNeedMath = 1u << 5,           // ansi.sqrt, ceil, floor
    kNeedPreRender = 1u << 6,      // checkout_layer
    kNeedSmartRender = 1u << 7,    // checkout_layer_pixels, checkin_layer_pixels, checkout_output
};

struct HostCallbackTables {
    const PF_InData* inData;
    const PF_PreRenderCallbacks* preRender;     // null outside smart pre-render
    const PF_SmartRenderCallbacks* smartRender; // null outside smart render
};

// What command `cmd` calls on the host.
uint32_t hostCallbacksOf(PF_Cmd cmd, const PF_InData* inData);

// True when every callback in `needs` is present.
bool hostOffers(const HostCallbackTables& tables, uint32_t needs);
