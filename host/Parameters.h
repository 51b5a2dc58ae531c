// The effect's three parameters: their declaration, and the rule that greys
// out "Correct Motion Errors" while "Motion Compensation" is "Off".
#pragma once

#include "sdk/AE_Effect.h"

class HostSuiteCache;

// Host parameter indices; 0 is the input layer.
enum ParamIndex : PF_ParamIndex {
    kParamInput = 0,
    kParamFields = 1,
    kParamMotionCompensation = 2,
    kParamCorrectMotionErrors = 3,
    kParamCount = 4
};

// Popup values are 1-based.
enum FieldsChoice : A_long { kUpperFieldFirst = 1, kLowerFieldFirst = 2 };
enum MotionCompensationChoice : A_long {
    kMotionOff = 1,
    kMotionFast = 2,
    kMotionBetter = 3,
    kMotionBest = 4
};

// Entry `index` of the host's parameter array; null when there is no array or
// the host counts fewer parameters (num_params), so no entry past its end is read.
const PF_ParamDef* arrayParam(const PF_InData* in_data, PF_ParamDef* const* params,
                              PF_ParamIndex index);

struct ParamUiContext {
    PF_InData* inData;
    PF_ParamDef** params;   // may be null
    HostSuiteCache* suites; // may be null: the value is read, nothing reaches the host
};

// Sets or clears PF_PUI_DISABLED on "Correct Motion Errors" from the current
// "Motion Compensation" value and hands it to the host. Never throws because
// of the suite; a missing parameter array skips the update.
void applyMotionErrorsState(const ParamUiContext& context);

PF_Err paramsSetupCommand(PF_InData* in_data, PF_OutData* out_data);
PF_Err userChangedParamCommand(PF_InData* in_data, PF_ParamDef** params,
                               const PF_UserChangedParamExtra* extra);
PF_Err updateParamsUiCommand(PF_InData* in_data, PF_ParamDef** params);
