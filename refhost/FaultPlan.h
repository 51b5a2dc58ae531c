// Failures the reference host injects on request.
#pragma once

#include "sdk/AE_Effect.h"

#include <functional>
#include <map>
#include <set>
#include <string>

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
    // Thrown from inside the named callback.
    std::map<CallbackSite, std::function<void()>> throwAt;
};
