// What each "Motion Compensation" choice asks of the frame pipeline.
#pragma once

#include "host/Parameters.h"

#include <cstdint>

struct QualitySettings {
    int32_t earlierFrames; // frames before the current one the pipeline starts from
    int32_t passes;        // annealing passes of the motion analysis
    int32_t finestLevel;   // finest pyramid level at which motion is solved
};

// mode = "Motion Compensation" value - 1, in 1..3.
inline QualitySettings qualitySettings(A_long motionCompensation) {
    switch (motionCompensation) {
    case kMotionFast:
        return {1, 1, 2};
    case kMotionBetter:
        return {1, 1, 1};
    default:
        return {2, 5, 0};
    }
}
