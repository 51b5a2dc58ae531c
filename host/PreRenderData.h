// What smart pre-render hands to smart render through the host. Allocated with
// malloc and freed by the host with free, the deleter pre-render hands over.
#pragma once

#include "sdk/AE_EffectCB.h"

#include <cstdint>

struct PreRenderData {
    PF_CheckoutResult current;       // check-out of the current input frame
    int32_t previousFramesAvailable; // largest k in 1..2 whose frame k steps back exists; 0 none
};
