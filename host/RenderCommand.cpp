#include "host/RenderCommand.h"

#include <string>

// The frame pipelines are not part of this build yet; the host shows the
// message instead of a silently unchanged frame.
PF_Err renderCommand(PF_InData*, PF_OutData*, PF_ParamDef**, PF_EffectWorld*, PF_EffectWorld*,
                     PF_SmartRenderExtra*) {
    throw std::string("Rendering is not available yet in this build.");
}

PF_Err smartPreRenderCommand(PF_InData*, PF_OutData*, PF_PreRenderExtra*) {
    throw std::string("Rendering is not available yet in this build.");
}
