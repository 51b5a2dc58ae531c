// What the render command hands to the frame pipelines and the motion step:
// the host's input record and the processor feature mask.
#pragma once

#include "sdk/AE_Effect.h"

#include <cstdint>

struct RenderContext {
    PF_InData* inData;
    uint32_t cpuFeatures;
};
