// The reference host: plays After Effects (or Premiere Pro, or "KeyG") for
// one plug-in entry point, loaded from a library (PluginLibrary) or linked in.
//
// All host state lives here: the input record and callback tables handed to
// the plug-in, the parameter array, the UI flags set through the param utils
// suite, the pixel formats announced, the ledger of what the plug-in holds
// and the fault plan. `inData()` is wired to this host at all times, so unit
// tests can hand it straight to library code without calling the entry point.
//
// Callbacks without an effect reference (string copy, math, the basic suite,
// memory handles) reach the host through the one active instance: at most one
// RefHost exists at a time.
//
// Extension points, for the parts that arrive next:
// - Frame side: `utils_` fields new_world/dispose_world/fill/copy, the memory
//   handle functions and iterate_generic (on a pool of `profile.workerThreads`
//   threads when `profile.iterateGeneric`), and the world suite table
//   (`worldSuite_`, now answering PF_Err_INVALID_CALLBACK). Each allocation
//   goes through ledger().acquired(Held::World / Held::MemoryHandle, ...) and
//   its release through released(), so the leak checks cover them unchanged;
//   failures join FaultPlan.
// - Render protocols: the pre-render and smart-render callback tables
//   (checkout_layer, checkout_layer_pixels, checkin_layer_pixels,
//   checkout_output) belong beside `interact_`, the input layer in
//   `params_[0]`, and the command helpers beside render() below follow the
//   shape of paramsSetup(): build the extra record, call command(), check what
//   is held.
#pragma once

#include "refhost/FaultPlan.h"
#include "refhost/HostLedger.h"
#include "refhost/HostProfile.h"
#include "sdk/AE_Effect.h"
#include "sdk/AE_EffectCB.h"
#include "sdk/AE_EffectSuites.h"
#include "sdk/SPBasic.h"

#include <memory>
#include <string>
#include <vector>

struct CommandResult {
    PF_Err err = PF_Err_NONE;
    PF_OutData out{};

    std::string message() const { return out.return_msg; }
    bool showsMessage() const { return (out.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE) != 0; }
};

// How one command is called; the defaults are what a host passes.
struct CommandCall {
    void* extra = nullptr;
    PF_LayerDef* output = nullptr;
    bool passParams = true;
    bool nullInData = false;
    bool nullOutData = false;
    // Output record contents before the call (zero by default).
    PF_OutData outSeed{};
};

class RefHost {
public:
    RefHost(HostProfile profile, PF_EntryFunc entry);
    ~RefHost();
    RefHost(const RefHost&) = delete;
    RefHost& operator=(const RefHost&) = delete;

    // The active instance, for callbacks that carry no effect reference.
    static RefHost* active();

    const HostProfile& profile() const { return profile_; }
    FaultPlan& faults() { return faults_; }
    HostLedger& ledger() { return ledger_; }
    const HostLedger& ledger() const { return ledger_; }

    // Wired to this host; time, extent and downsample fields are free to set.
    PF_InData& inData() { return inData_; }

    // ---- Commands -------------------------------------------------------
    CommandResult command(PF_Cmd cmd, const CommandCall& call = {});
    CommandResult about() { return command(PF_Cmd_ABOUT); }
    // Keeps version, flags and pixel formats announced on success.
    CommandResult globalSetup();
    // Adopts the declared parameters when the plug-in sets num_params.
    CommandResult paramsSetup();
    CommandResult userChangedParam(PF_ParamIndex index);
    CommandResult updateParamsUI() { return command(PF_Cmd_UPDATE_PARAMS_UI); }

    // ---- What the plug-in announced ------------------------------------
    A_u_long announcedVersion() const { return announcedVersion_; }
    PF_OutFlags announcedOutFlags() const { return announcedOutFlags_; }
    PF_OutFlags2 announcedOutFlags2() const { return announcedOutFlags2_; }
    const std::vector<PrPixelFormat>& supportedPixelFormats() const { return pixelFormats_; }
    int uiUpdates() const { return uiUpdates_; }

    // ---- Parameters ------------------------------------------------------
    // Declared parameters including the input layer at 0; the count the
    // plug-in reported is numParams() (1 until parameter setup succeeds).
    int paramCount() const { return int(params_.size()); }
    int numParams() const { return numParams_; }
    PF_ParamDef& param(int index) { return params_.at(size_t(index))->def; }
    void setPopup(int index, A_long value) { param(index).u.pd.value = value; }
    void setCheckbox(int index, bool on) { param(index).u.bd.value = on ? 1 : 0; }
    // The array passed to commands: one pointer per declared parameter.
    PF_ParamDef** paramArray();
    A_long lastCheckoutTime() const { return lastCheckoutTime_; }

private:
    struct HostParam {
        PF_ParamDef def{};
        std::string text; // choices or checkbox label, owned by the host
    };

    static RefHost* fromEffectRef(PF_ProgPtr effect_ref);
    static void fireThrow(RefHost* host, CallbackSite site);

    // Callbacks handed to the plug-in.
    static PF_Err addParam(PF_ProgPtr effect_ref, PF_ParamIndex index, PF_ParamDefPtr def);
    static PF_Err checkoutParam(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long what_time,
                                A_long time_step, A_u_long time_scale, PF_ParamDef* param);
    static PF_Err checkinParam(PF_ProgPtr effect_ref, PF_ParamDef* param);
    static A_char* ansiStrcpy(A_char* dest, const A_char* src);
    static A_FpLong ansiSqrt(A_FpLong x);
    static A_FpLong ansiCeil(A_FpLong x);
    static A_FpLong ansiFloor(A_FpLong x);
    static SPErr acquireSuite(const char* name, int32_t version, const void** suite);
    static SPErr releaseSuite(const char* name, int32_t version);
    static SPBoolean isEqual(const char* a, const char* b);
    static PF_Err addSupportedPixelFormat(PF_ProgPtr effect_ref, PrPixelFormat format);
    static PF_Err clearSupportedPixelFormats(PF_ProgPtr effect_ref);
    static PF_Err updateParamUI(PF_ProgPtr effect_ref, PF_ParamIndex index, const PF_ParamDef* def);
    // World suite until the frame side arrives: every call is refused.
    static PF_Err worldNew(PF_ProgPtr, A_long, A_long, PF_Boolean, PF_PixelFormat, PF_EffectWorld*);
    static PF_Err worldDispose(PF_ProgPtr, PF_EffectWorld*);
    static PF_Err worldPixelFormat(const PF_EffectWorld*, PF_PixelFormat*);

    const void* suiteTable(const std::string& name, int32_t version) const;

    HostProfile profile_;
    PF_EntryFunc entry_;
    FaultPlan faults_;
    HostLedger ledger_;

    PF_InData inData_{};
    PF_UtilCallbacks utils_{};
    SPBasicSuite basic_{};
    PF_PixelFormatSuite2 pixelFormatSuite_{};
    PF_WorldSuite2 worldSuite_{};
    PF_ParamUtilsSuite1 paramUtilsSuite_{};

    std::vector<std::unique_ptr<HostParam>> params_;
    std::vector<PF_ParamDef*> paramPointers_;
    std::vector<std::pair<const PF_ParamDef*, PF_ParamIndex>> checkedOut_;
    int numParams_ = 1;
    int addParamCalls_ = 0;
    int uiUpdates_ = 0;
    A_long lastCheckoutTime_ = 0;

    A_u_long announcedVersion_ = 0;
    PF_OutFlags announcedOutFlags_ = 0;
    PF_OutFlags2 announcedOutFlags2_ = 0;
    std::vector<PrPixelFormat> pixelFormats_;
};

// Suite key used in the ledger: "<name> v<version>".
std::string suiteKey(const char* name, int32_t version);
