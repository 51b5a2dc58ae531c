// A parameter checked out from the host at the current time, checked in again
// by scope on every path.
#pragma once

#include "sdk/AE_Effect.h"

class ParamCheckout {
public:
    ParamCheckout(PF_InData* in_data, PF_ParamIndex index) : inData_(in_data) {
        err_ = in_data->inter.checkout_param(in_data->effect_ref, index, in_data->current_time,
                                             in_data->time_step, in_data->time_scale, &def_);
    }
    ~ParamCheckout() {
        if (err_ == PF_Err_NONE)
            inData_->inter.checkin_param(inData_->effect_ref, &def_);
    }
    ParamCheckout(const ParamCheckout&) = delete;
    ParamCheckout& operator=(const ParamCheckout&) = delete;

    bool ok() const { return err_ == PF_Err_NONE; }
    PF_Err error() const { return err_; }
    const PF_ParamDef& def() const { return def_; }

private:
    PF_InData* inData_;
    PF_ParamDef def_{};
    PF_Err err_;
};
