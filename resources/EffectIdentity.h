// Who the effect is: the values the registration resource stores and that
// global setup announces again, defined once so the two cannot disagree.
#pragma once

#include "sdk/AE_Effect.h"

namespace Velmora {

// The host's version packing: major from bit 19, minor bits 15-18, bug-fix
// bits 11-14, stage bits 9-10, build bits 0-8.
constexpr A_u_long packEffectVersion(A_u_long major, A_u_long minor, A_u_long bugFix,
                                     A_u_long stage, A_u_long build) {
    return (major << 19) | (minor << 15) | (bugFix << 11) | (stage << 9) | build;
}

constexpr A_u_long kStageRelease = 3;
constexpr A_u_long kEffectVersion = packEffectVersion(2, 3, 3, kStageRelease, 0);

constexpr PF_OutFlags kOutFlags = PF_OutFlag_WIDE_TIME_INPUT | PF_OutFlag_USE_OUTPUT_EXTENT |
                                  PF_OutFlag_I_SHRINK_BUFFER | PF_OutFlag_DEEP_COLOR_AWARE |
                                  PF_OutFlag_SEND_UPDATE_PARAMS_UI;
constexpr PF_OutFlags2 kOutFlags2 = PF_OutFlag2_PARAM_GROUP_START_COLLAPSED_FLAG |
                                    PF_OutFlag2_SUPPORTS_SMART_RENDER |
                                    PF_OutFlag2_FLOAT_COLOR_AWARE;

constexpr const char* kEffectName = "Velmora";
constexpr const char* kCategory = "Corvell Pellin Suite";
constexpr const char* kEntryPointName = "PluginEntry";
constexpr const char* kMatchName = "Morvik Velmora";
constexpr const char* kVersionText = "2.3.3";

// Effect interface version the registration declares: 12.2.
constexpr A_short kSpecVersionMajor = 12;
constexpr A_short kSpecVersionMinor = 2;

} // namespace Velmora
