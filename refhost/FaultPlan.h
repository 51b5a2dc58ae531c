// Failures the reference host injects on request.
#pragma once

#include "sdk/AE_Effect.h"
#include "sdk/AE_EffectSuites.h"

#include <functional>
#include <map>
#include <set>
#include <string>

namespace refhost {

// Host callbacks at which a test can make the host throw a C++ exception, to
// drive the plug-in's guards through the real entry point.
enum class CallbackSite { AddParam, AddPixelFormat, UpdateParamUI, CheckoutParam };

struct FaultPlan {
    // 1-based number of the add_param call (over the host's life) that fails
    // with `addParamError`; 0 for none.
    int failAddParamAt = 0;
    PF_Err addParamError = PF_Err_OUT_OF_MEMORY;
    // Suites offered, but whose acquisition returns an error.
    std::set<std::string> failAcquisition;
    // Suites whose acquisition reports success yet yields no table (not held).
    std::set<std::string> nullAcquisition;
    // checkout_param fails with PF_Err_OUT_OF_MEMORY while set.
    bool failCheckoutParam = false;
    // checkout_param of parameter 0 at one of these times answers its code: a
    // frame the host cannot give in the middle of a layer.
    std::map<A_long, PF_Err> refuseLayerAt;
    // 1-based number of the world request (new_world or the world suite's
    // PF_NewWorld, over the host's life) that fails with PF_Err_OUT_OF_MEMORY;
    // 0 for none. RefHost::failWorldRequest counts from now.
    int failWorldAt = 0;
    // 1-based number of the memory handle request that returns null; 0: none.
    int failHandleAt = 0;
    // Returned by iterate_generic after all iterations ran (e.g.
    // PF_Err_OUT_OF_MEMORY); 0 for none. Cancelling after N iterations is
    // RefHost::cancelIterationAfter.
    PF_Err iterationResult = PF_Err_NONE;
    // Non-zero: the world suite's get-pixel-format answers this code for
    // every frame (e.g. one no plug-in knows); the frames keep their own.
    PF_PixelFormat reportedPixelFormat = 0;
    // Thrown from inside the named callback.
    std::map<CallbackSite, std::function<void()>> throwAt;
};

} // namespace refhost
