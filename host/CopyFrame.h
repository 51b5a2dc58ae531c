// Whole-frame copy from one host buffer to another that keeps both buffers'
// places in the layer.
#pragma once

#include "host/AEHost.h"

// Smart render: buffers are placed by their origins. Legacy render: the two
// processing areas, lined up through the output origin when one of the two
// buffers is the render's output. Returns the host's result.
PF_Err copyFrame(AEHost& host, PF_EffectWorld* source, PF_EffectWorld* destination);
