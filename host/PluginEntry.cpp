// The plug-in's one exported function: maps command selectors to commands and
// keeps every exception on this side of the host boundary.
#include "host/PluginEntry.h"

#include "host/About.h"
#include "host/CommandGuard.h"
#include "host/GlobalSetup.h"
#include "host/HostCallbacks.h"
#include "host/Parameters.h"
#include "host/RenderCommand.h"
#include "sdk/AE_EffectCB.h"

namespace {

bool handled(PF_Cmd cmd) {
    switch (cmd) {
    case PF_Cmd_ABOUT:
    case PF_Cmd_GLOBAL_SETUP:
    case PF_Cmd_PARAMS_SETUP:
    case PF_Cmd_RENDER:
    case PF_Cmd_USER_CHANGED_PARAM:
    case PF_Cmd_UPDATE_PARAMS_UI:
    case PF_Cmd_SMART_PRE_RENDER:
    case PF_Cmd_SMART_RENDER:
        return true;
    default:
        return false;
    }
}

// The callback tables a command reaches: the input record's, and the one its
// extra record carries.
HostCallbackTables callbackTables(PF_Cmd cmd, const PF_InData* in_data, void* extra) {
    HostCallbackTables tables{in_data, nullptr, nullptr};
    if (cmd == PF_Cmd_SMART_PRE_RENDER && extra != nullptr)
        tables.preRender = static_cast<PF_PreRenderExtra*>(extra)->cb;
    if (cmd == PF_Cmd_SMART_RENDER && extra != nullptr)
        tables.smartRender = static_cast<PF_SmartRenderExtra*>(extra)->cb;
    return tables;
}

PF_Err dispatch(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                PF_LayerDef* output, void* extra) {
    switch (cmd) {
    case PF_Cmd_ABOUT:
        return aboutCommand(in_data, out_data);
    case PF_Cmd_GLOBAL_SETUP:
        return globalSetupCommand(in_data, out_data);
    case PF_Cmd_PARAMS_SETUP:
        return paramsSetupCommand(in_data, out_data);
    case PF_Cmd_RENDER: {
        const PF_ParamDef* layer = arrayParam(in_data, params, kParamInput);
        if (layer == nullptr || output == nullptr)
            return PF_Err_BAD_CALLBACK_PARAM;
        return renderCommand(in_data, out_data, params, &params[kParamInput]->u.ld, output,
                             nullptr);
    }
    case PF_Cmd_USER_CHANGED_PARAM:
        return userChangedParamCommand(in_data, params,
                                       static_cast<const PF_UserChangedParamExtra*>(extra));
    case PF_Cmd_UPDATE_PARAMS_UI:
        return updateParamsUiCommand(in_data, params);
    case PF_Cmd_SMART_PRE_RENDER:
        if (extra == nullptr)
            return PF_Err_BAD_CALLBACK_PARAM;
        return smartPreRenderCommand(in_data, out_data, static_cast<PF_PreRenderExtra*>(extra));
    case PF_Cmd_SMART_RENDER:
        if (extra == nullptr)
            return PF_Err_BAD_CALLBACK_PARAM;
        return renderCommand(in_data, out_data, nullptr, nullptr, nullptr,
                             static_cast<PF_SmartRenderExtra*>(extra));
    default:
        return PF_Err_NONE;
    }
}

bool isRender(PF_Cmd cmd) {
    return cmd == PF_Cmd_RENDER || cmd == PF_Cmd_SMART_PRE_RENDER || cmd == PF_Cmd_SMART_RENDER;
}

} // namespace

extern "C" __attribute__((visibility("default"))) PF_Err
PluginEntry(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
            PF_LayerDef* output, void* extra) {
    if (!handled(cmd))
        return PF_Err_NONE;
    // Every handled command reads the input record and may write a message.
    if (in_data == nullptr || out_data == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    if (!hostOffers(callbackTables(cmd, in_data, extra), hostCallbacksOf(cmd, in_data)))
        return PF_Err_BAD_CALLBACK_PARAM;
    // A render that ends in a message has not written its output: it failed.
    const MessageOutcome outcome = isRender(cmd) ? MessageOutcome::Fails : MessageOutcome::Succeeds;
    return runGuarded(in_data, out_data, outcome,
                      [&] { return dispatch(cmd, in_data, out_data, params, output, extra); });
}
