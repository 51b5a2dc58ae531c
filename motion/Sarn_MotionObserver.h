// Optional observer of a motion analysis: which levels exist and are
// computed, the scales of every pass, and the time spent per stage. The
// analysis runs the same with or without one.
#pragma once

#include "motion/IGNC_Params.h"

#include <cstdint>

class Sarn_MotionObserver {
public:
    enum class Stage { Luminance, Pyramid, Warp, Gradients, Sweeps, CopyOut, Discard };

    virtual ~Sarn_MotionObserver() = default;
    // Start of graduated-non-convexity pass `index`, with its level-0 settings.
    virtual void pass(int32_t /*index*/, const IGNC_Settings& /*settings*/) {}
    // Level `level` of width x height was reached; `computed` is false when it
    // only receives the interpolated coarse result.
    virtual void level(int32_t /*level*/, int32_t /*width*/, int32_t /*height*/, bool /*computed*/) {}
    virtual void enter(Stage) {}
    virtual void leave(Stage) {}
};

// enter() now, leave() at the end of the scope, also when a job throws.
class Sarn_MotionStageScope {
public:
    Sarn_MotionStageScope(Sarn_MotionObserver* observer, Sarn_MotionObserver::Stage stage)
        : observer_(observer), stage_(stage) {
        if (observer_ != nullptr)
            observer_->enter(stage_);
    }
    ~Sarn_MotionStageScope() {
        if (observer_ != nullptr)
            observer_->leave(stage_);
    }
    Sarn_MotionStageScope(const Sarn_MotionStageScope&) = delete;
    Sarn_MotionStageScope& operator=(const Sarn_MotionStageScope&) = delete;

private:
    Sarn_MotionObserver* observer_;
    Sarn_MotionObserver::Stage stage_;
};
