#include "host/Parameters.h"

#include "parallel/AEHost.h"
#include "host/ParamCheckout.h"
#include "host/HostSuiteCache.h"
#include "sdk/AE_EffectCB.h"

namespace {

PF_Err addParam(PF_InData* in_data, PF_ParamDef& def, const char* name) {
    in_data->utils->ansi.strcpy(def.name, name);
    return in_data->inter.add_param(in_data->effect_ref, -1, &def);
}

PF_Err addPopup(PF_InData* in_data, A_long id, const char* name, A_short choices,
                const char* names, A_short dephault, PF_ParamFlags flags) {
    PF_ParamDef def{};
    def.uu.id = id;
    def.param_type = PF_Param_POPUP;
    def.u.pd.value = dephault;
    def.u.pd.num_choices = choices;
    def.u.pd.dephault = dephault;
    def.u.pd.u.namesptr = names;
    def.flags = flags;
    return addParam(in_data, def, name);
}

PF_Err addCheckbox(PF_InData* in_data, A_long id, const char* label, PF_ParamUIFlags uiFlags) {
    PF_ParamDef def{};
    def.uu.id = id;
    def.param_type = PF_Param_CHECKBOX;
    def.u.bd.value = 0;
    def.u.bd.dephault = 0;
    def.u.bd.u.nameptr = label;
    def.ui_flags = uiFlags;
    return addParam(in_data, def, "");
}

// Runs the enable rule with a suite cache for this command; a host without
// the basic suite still gets the value read, but no update.
void applyWithSuites(PF_InData* in_data, PF_ParamDef** params) {
    try {
        HostSuiteCache suites(usableBasicSuite(in_data));
        applyMotionErrorsState({in_data, params, &suites});
    } catch (...) {
        applyMotionErrorsState({in_data, params, nullptr});
    }
}

} // namespace

const PF_ParamDef* arrayParam(const PF_InData* in_data, PF_ParamDef* const* params,
                              PF_ParamIndex index) {
    if (params == nullptr || index < 0 || index >= in_data->num_params)
        return nullptr;
    return params[index];
}

void applyMotionErrorsState(const ParamUiContext& context) {
    PF_InData* in_data = context.inData;
    PF_ParamDef** params = context.params;
    A_long motion = 0;
    if (const PF_ParamDef* def = arrayParam(in_data, params, kParamMotionCompensation)) {
        motion = def->u.pd.value;
    } else {
        const ParamCheckout checkout(in_data, kParamMotionCompensation);
        if (!checkout.ok())
            return;
        motion = checkout.def().u.pd.value;
    }
    // The update sends the whole definition, so without the array there is
    // nothing to send.
    const PF_ParamDef* correct = arrayParam(in_data, params, kParamCorrectMotionErrors);
    if (correct == nullptr)
        return;
    PF_ParamDef copy = *correct;
    if (motion == kMotionOff)
        copy.ui_flags |= PF_PUI_DISABLED;
    else
        copy.ui_flags &= ~PF_PUI_DISABLED;
    if (context.suites == nullptr)
        return;
    try {
        context.suites->paramUtilsSuite()->PF_UpdateParamUI(in_data->effect_ref,
                                                            kParamCorrectMotionErrors, &copy);
    } catch (...) {
        // No suite, no update; the greyed state is cosmetic.
    }
}

PF_Err paramsSetupCommand(PF_InData* in_data, PF_OutData* out_data) {
    PF_Err err = addPopup(in_data, kParamFields, "Fields", 2,
                          "Upper Field First|Lower Field First", kUpperFieldFirst, 0);
    if (err == PF_Err_NONE)
        err = addPopup(in_data, kParamMotionCompensation, "Motion Compensation", 4,
                       "Off|Fast|Better|Best", kMotionOff, PF_ParamFlag_SUPERVISE);
    if (err == PF_Err_NONE)
        err = addCheckbox(in_data, kParamCorrectMotionErrors, "Correct Motion Errors",
                          PF_PUI_DISABLED);
    if (err != PF_Err_NONE)
        return err;
    out_data->num_params = kParamCount;
    return PF_Err_NONE;
}

PF_Err userChangedParamCommand(PF_InData* in_data, PF_ParamDef** params,
                               const PF_UserChangedParamExtra* extra) {
    if (extra == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    if (extra->param_index == kParamMotionCompensation)
        applyWithSuites(in_data, params);
    return PF_Err_NONE;
}

PF_Err updateParamsUiCommand(PF_InData* in_data, PF_ParamDef** params) {
    applyWithSuites(in_data, params);
    return PF_Err_NONE;
}
