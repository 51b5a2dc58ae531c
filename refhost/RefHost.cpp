#include "refhost/RefHost.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <stdexcept>

namespace {
std::atomic<RefHost*> activeHost{nullptr};
} // namespace

std::string suiteKey(const char* name, int32_t version) {
    return std::string(name) + " v" + std::to_string(version);
}

RefHost::RefHost(HostProfile profile, PF_EntryFunc entry)
    : profile_(std::move(profile)), entry_(entry) {
    RefHost* expected = nullptr;
    if (!activeHost.compare_exchange_strong(expected, this))
        throw std::logic_error("only one reference host may exist at a time");

    utils_.ansi.strcpy = &RefHost::ansiStrcpy;
    utils_.ansi.sqrt = &RefHost::ansiSqrt;
    utils_.ansi.ceil = &RefHost::ansiCeil;
    utils_.ansi.floor = &RefHost::ansiFloor;

    basic_.AcquireSuite = &RefHost::acquireSuite;
    basic_.ReleaseSuite = &RefHost::releaseSuite;
    basic_.IsEqual = &RefHost::isEqual;
    pixelFormatSuite_.AddSupportedPixelFormat = &RefHost::addSupportedPixelFormat;
    pixelFormatSuite_.ClearSupportedPixelFormats = &RefHost::clearSupportedPixelFormats;
    worldSuite_.PF_NewWorld = &RefHost::worldNew;
    worldSuite_.PF_DisposeWorld = &RefHost::worldDispose;
    worldSuite_.PF_GetPixelFormat = &RefHost::worldPixelFormat;
    paramUtilsSuite_.PF_UpdateParamUI = &RefHost::updateParamUI;

    inData_.inter.add_param = &RefHost::addParam;
    inData_.inter.checkout_param = &RefHost::checkoutParam;
    inData_.inter.checkin_param = &RefHost::checkinParam;
    inData_.utils = &utils_;
    inData_.effect_ref = reinterpret_cast<PF_ProgPtr>(this);
    inData_.appl_id = profile_.applId;
    inData_.version = profile_.version;
    inData_.pica_basicP = profile_.basicSuite ? &basic_ : nullptr;
    inData_.current_time = 0;
    inData_.time_step = 1001;
    inData_.local_time_step = 1001;
    inData_.time_scale = 30000;
    inData_.downsample_x = {1, 1};
    inData_.downsample_y = {1, 1};
    inData_.pixel_aspect_ratio = {1, 1};

    // The input layer is always parameter 0.
    auto input = std::make_unique<HostParam>();
    input->def.param_type = PF_Param_LAYER;
    params_.push_back(std::move(input));
    inData_.num_params = 1;
}

RefHost::~RefHost() { activeHost.store(nullptr); }

RefHost* RefHost::active() { return activeHost.load(); }

RefHost* RefHost::fromEffectRef(PF_ProgPtr effect_ref) {
    RefHost* host = active();
    if (host == nullptr)
        return nullptr;
    if (reinterpret_cast<RefHost*>(effect_ref) != host) {
        host->ledger_.misuse("callback with a foreign effect reference");
        return nullptr;
    }
    return host;
}

void RefHost::fireThrow(RefHost* host, CallbackSite site) {
    auto it = host->faults_.throwAt.find(site);
    if (it != host->faults_.throwAt.end() && it->second)
        it->second();
}

PF_ParamDef** RefHost::paramArray() {
    paramPointers_.clear();
    for (auto& p : params_)
        paramPointers_.push_back(&p->def);
    return paramPointers_.data();
}

CommandResult RefHost::command(PF_Cmd cmd, const CommandCall& call) {
    CommandResult result;
    result.out = call.outSeed;
    inData_.num_params = numParams_;
    PF_ParamDef** params = call.passParams ? paramArray() : nullptr;
    result.err = entry_(cmd, call.nullInData ? nullptr : &inData_,
                        call.nullOutData ? nullptr : &result.out, params, call.output, call.extra);
    return result;
}

CommandResult RefHost::globalSetup() {
    CommandResult result = command(PF_Cmd_GLOBAL_SETUP);
    if (result.err == PF_Err_NONE) {
        announcedVersion_ = result.out.my_version;
        announcedOutFlags_ = result.out.out_flags;
        announcedOutFlags2_ = result.out.out_flags2;
    }
    return result;
}

CommandResult RefHost::paramsSetup() {
    CommandResult result = command(PF_Cmd_PARAMS_SETUP);
    if (result.err == PF_Err_NONE && result.out.num_params > 0) {
        if (result.out.num_params != paramCount())
            ledger_.misuse("num_params " + std::to_string(result.out.num_params) + " but " +
                           std::to_string(paramCount()) + " parameters added");
        numParams_ = result.out.num_params;
    }
    return result;
}

CommandResult RefHost::userChangedParam(PF_ParamIndex index) {
    PF_UserChangedParamExtra extra{index};
    CommandCall call;
    call.extra = &extra;
    return command(PF_Cmd_USER_CHANGED_PARAM, call);
}

// ---- Interaction callbacks --------------------------------------------------

PF_Err RefHost::addParam(PF_ProgPtr effect_ref, PF_ParamIndex index, PF_ParamDefPtr def) {
    RefHost* host = fromEffectRef(effect_ref);
    if (host == nullptr || def == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    host->ledger_.called("add_param");
    fireThrow(host, CallbackSite::AddParam);
    ++host->addParamCalls_;
    if (host->faults_.failAddParamAt == host->addParamCalls_)
        return host->faults_.addParamError;
    if (index != -1 && index != host->paramCount())
        return PF_Err_INVALID_INDEX;
    if (def->param_type != PF_Param_POPUP && def->param_type != PF_Param_CHECKBOX)
        return PF_Err_UNRECOGNIZED_PARAM_TYPE;
    auto param = std::make_unique<HostParam>();
    param->def = *def;
    param->def.name[sizeof param->def.name - 1] = 0;
    // The host keeps its own copy of the choice string or label.
    if (def->param_type == PF_Param_POPUP) {
        param->text = def->u.pd.u.namesptr != nullptr ? def->u.pd.u.namesptr : "";
        param->def.u.pd.u.namesptr = param->text.c_str();
    } else {
        param->text = def->u.bd.u.nameptr != nullptr ? def->u.bd.u.nameptr : "";
        param->def.u.bd.u.nameptr = param->text.c_str();
    }
    host->params_.push_back(std::move(param));
    return PF_Err_NONE;
}

PF_Err RefHost::checkoutParam(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long what_time,
                              A_long, A_u_long, PF_ParamDef* param) {
    RefHost* host = fromEffectRef(effect_ref);
    if (host == nullptr || param == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    host->ledger_.called("checkout_param");
    fireThrow(host, CallbackSite::CheckoutParam);
    if (host->faults_.failCheckoutParam)
        return PF_Err_OUT_OF_MEMORY;
    if (index < 0 || index >= host->numParams_)
        return PF_Err_INVALID_INDEX;
    // Values do not vary over time in this host.
    *param = host->params_[size_t(index)]->def;
    host->lastCheckoutTime_ = what_time;
    host->checkedOut_.emplace_back(param, index);
    host->ledger_.acquired(HostLedger::Held::ParamCheckout, "param " + std::to_string(index));
    return PF_Err_NONE;
}

PF_Err RefHost::checkinParam(PF_ProgPtr effect_ref, PF_ParamDef* param) {
    RefHost* host = fromEffectRef(effect_ref);
    if (host == nullptr || param == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    host->ledger_.called("checkin_param");
    for (auto it = host->checkedOut_.begin(); it != host->checkedOut_.end(); ++it) {
        if (it->first != param)
            continue;
        host->ledger_.released(HostLedger::Held::ParamCheckout,
                               "param " + std::to_string(it->second));
        host->checkedOut_.erase(it);
        return PF_Err_NONE;
    }
    host->ledger_.misuse("checked in a parameter that was not checked out");
    return PF_Err_BAD_CALLBACK_PARAM;
}

// ---- Utility callbacks ----------------------------------------------------

A_char* RefHost::ansiStrcpy(A_char* dest, const A_char* src) {
    if (RefHost* host = active())
        host->ledger_.called("strcpy");
    return std::strcpy(dest, src);
}

A_FpLong RefHost::ansiSqrt(A_FpLong x) {
    if (RefHost* host = active())
        host->ledger_.called("sqrt");
    return std::sqrt(x);
}

A_FpLong RefHost::ansiCeil(A_FpLong x) {
    if (RefHost* host = active())
        host->ledger_.called("ceil");
    return std::ceil(x);
}

A_FpLong RefHost::ansiFloor(A_FpLong x) {
    if (RefHost* host = active())
        host->ledger_.called("floor");
    return std::floor(x);
}

// ---- Basic suite and named suites -------------------------------------------

const void* RefHost::suiteTable(const std::string& name, int32_t version) const {
    if (profile_.withheldSuites.count(name) != 0)
        return nullptr;
    if (name == kPFPixelFormatSuite && version == kPFPixelFormatSuiteVersion2)
        return &pixelFormatSuite_;
    if (name == kPFWorldSuite && version == kPFWorldSuiteVersion2)
        return &worldSuite_;
    if (name == kPFParamUtilsSuite && version == kPFParamUtilsSuiteVersion1)
        return &paramUtilsSuite_;
    return nullptr;
}

SPErr RefHost::acquireSuite(const char* name, int32_t version, const void** suite) {
    RefHost* host = active();
    if (host == nullptr || name == nullptr || suite == nullptr)
        return kSPSuiteNotFoundError;
    host->ledger_.called("AcquireSuite");
    *suite = nullptr;
    const void* table = host->suiteTable(name, version);
    if (table == nullptr || host->faults_.failAcquisition.count(name) != 0)
        return kSPSuiteNotFoundError;
    if (host->faults_.nullAcquisition.count(name) != 0)
        return kSPNoError;
    *suite = table;
    host->ledger_.acquired(HostLedger::Held::Suite, suiteKey(name, version));
    return kSPNoError;
}

SPErr RefHost::releaseSuite(const char* name, int32_t version) {
    RefHost* host = active();
    if (host == nullptr || name == nullptr)
        return kSPSuiteNotFoundError;
    host->ledger_.called("ReleaseSuite");
    host->ledger_.released(HostLedger::Held::Suite, suiteKey(name, version));
    return kSPNoError;
}

SPBoolean RefHost::isEqual(const char* a, const char* b) {
    return a != nullptr && b != nullptr && std::strcmp(a, b) == 0;
}

PF_Err RefHost::addSupportedPixelFormat(PF_ProgPtr effect_ref, PrPixelFormat format) {
    RefHost* host = fromEffectRef(effect_ref);
    if (host == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    host->ledger_.called("AddSupportedPixelFormat");
    fireThrow(host, CallbackSite::AddPixelFormat);
    host->pixelFormats_.push_back(format);
    return PF_Err_NONE;
}

PF_Err RefHost::clearSupportedPixelFormats(PF_ProgPtr effect_ref) {
    RefHost* host = fromEffectRef(effect_ref);
    if (host == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    host->ledger_.called("ClearSupportedPixelFormats");
    host->pixelFormats_.clear();
    return PF_Err_NONE;
}

PF_Err RefHost::updateParamUI(PF_ProgPtr effect_ref, PF_ParamIndex index, const PF_ParamDef* def) {
    RefHost* host = fromEffectRef(effect_ref);
    if (host == nullptr || def == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    host->ledger_.called("PF_UpdateParamUI");
    fireThrow(host, CallbackSite::UpdateParamUI);
    if (index <= 0 || index >= host->numParams_)
        return PF_Err_INVALID_INDEX;
    PF_ParamDef& stored = host->params_[size_t(index)]->def;
    if (stored.param_type != def->param_type)
        return PF_Err_BAD_CALLBACK_PARAM;
    stored.ui_flags = def->ui_flags;
    ++host->uiUpdates_;
    return PF_Err_NONE;
}

PF_Err RefHost::worldNew(PF_ProgPtr, A_long, A_long, PF_Boolean, PF_PixelFormat, PF_EffectWorld*) {
    return PF_Err_INVALID_CALLBACK;
}

PF_Err RefHost::worldDispose(PF_ProgPtr, PF_EffectWorld*) { return PF_Err_INVALID_CALLBACK; }

PF_Err RefHost::worldPixelFormat(const PF_EffectWorld*, PF_PixelFormat*) {
    return PF_Err_INVALID_CALLBACK;
}
