// Whole-frame copy from one host buffer to another that keeps both buffers'
// places in the layer.
#pragma once

#include "parallel/AEHost.h"

// Smart render: buffers are placed by their origins, on whichever side of
// each other they lie. Legacy render: the two processing areas, lined up
// through the output origin when one of the two buffers is the render's
// output. Returns the host's result.
PF_Err copyFrame(AEHost& host, PF_EffectWorld* source, PF_EffectWorld* destination);

// copyFrame into a frame the source may not cover (an earlier frame placed
// or cut differently from the current one): the destination is cleared to
// transparent black first unless the copy covers all of it, so that nothing
// an earlier copy or the allocation left shows through.
PF_Err copyFrameClearingRest(AEHost& host, PF_EffectWorld* source, PF_EffectWorld* destination);
