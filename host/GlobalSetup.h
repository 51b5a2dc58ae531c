// The global setup command: version, out flags and accepted pixel formats.
#pragma once

#include "sdk/AE_Effect.h"
#include "sdk/AE_EffectSuites.h"

#include <array>

// Announced in this order; each code is the 32-bit value whose lowest byte is
// the first letter.
extern const std::array<PrPixelFormat, 8> kAnnouncedPixelFormats;

PF_Err globalSetupCommand(PF_InData* in_data, PF_OutData* out_data);
