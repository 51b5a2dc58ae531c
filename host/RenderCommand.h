// The render commands: legacy render, smart pre-render and smart render.
#pragma once

#include "sdk/AE_Effect.h"
#include "sdk/AE_EffectCB.h"

// Legacy render (params, input and output set, smartExtra null) and smart
// render (params, input and output null, smartExtra set).
PF_Err renderCommand(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef** params,
                     PF_EffectWorld* input, PF_EffectWorld* output,
                     PF_SmartRenderExtra* smartExtra);

PF_Err smartPreRenderCommand(PF_InData* in_data, PF_OutData* out_data, PF_PreRenderExtra* extra);
