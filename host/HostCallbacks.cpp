#include "host/HostCallbacks.h"

#include "parallel/AEHost.h"

namespace {

template <class... Functions>
bool present(Functions... functions) {
    return ((functions != nullptr) && ...);
}

// One row per need: true when the tables hold every callback it names.
bool offers(const HostCallbackTables& tables, HostCallbackNeed need) {
    const PF_InData& in = *tables.inData;
    const PF_UtilCallbacks* utils = in.utils;
    switch (need) {
    case kNeedStringCopy:
        return utils != nullptr && present(utils->ansi.strcpy);
    case kNeedAddParam:
        return present(in.inter.add_param);
    case kNeedParamCheckout:
        return present(in.inter.checkout_param, in.inter.checkin_param);
    case kNeedFrameCallbacks:
        return utils != nullptr &&
               present(utils->new_world, utils->dispose_world, utils->fill, utils->copy);
    case kNeedMemoryHandles:
        return utils != nullptr &&
               present(utils->host_new_handle, utils->host_lock_handle,
                       utils->host_unlock_handle, utils->host_dispose_handle);
    case kNeedMath:
        return utils != nullptr &&
               present(utils->ansi.sqrt, utils->ansi.ceil, utils->ansi.floor);
    case kNeedPreRender:
        return tables.preRender != nullptr && present(tables.preRender->checkout_layer);
    case kNeedSmartRender:
        return tables.smartRender != nullptr &&
               present(tables.smartRender->checkout_layer_pixels,
                       tables.smartRender->checkin_layer_pixels,
                       tables.smartRender->checkout_output);
    }
    return false;
}

constexpr uint32_t kRenderNeeds =
    kNeedParamCheckout | kNeedFrameCallbacks | kNeedMemoryHandles | kNeedMath;

} // namespace

uint32_t hostCallbacksOf(PF_Cmd cmd, const PF_InData* inData) {
    switch (cmd) {
    case PF_Cmd_ABOUT:
        // "KeyG" gets the text without host callbacks.
        return isKeyGHost(inData) ? 0u : uint32_t(kNeedStringCopy);
    case PF_Cmd_PARAMS_SETUP:
        return kNeedStringCopy | kNeedAddParam;
    case PF_Cmd_USER_CHANGED_PARAM:
    case PF_Cmd_UPDATE_PARAMS_UI:
        return kNeedParamCheckout;
    case PF_Cmd_SMART_PRE_RENDER:
        return kNeedParamCheckout | kNeedPreRender;
    case PF_Cmd_RENDER:
        return kRenderNeeds;
    case PF_Cmd_SMART_RENDER:
        return kRenderNeeds | kNeedSmartRender;
    default:
        return 0;
    }
}

bool hostOffers(const HostCallbackTables& tables, uint32_t needs) {
    for (uint32_t bit = 1; bit != 0 && bit <= needs; bit <<= 1)
        if ((needs & bit) != 0 && !offers(tables, HostCallbackNeed(bit)))
            return false;
    return true;
}
