// The exported entry point, declared for code that calls it in-process.
#pragma once

#include "sdk/AE_Effect.h"

extern "C" PF_Err PluginEntry(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                              PF_ParamDef* params[], PF_LayerDef* output, void* extra);
