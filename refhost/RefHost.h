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
// memory handles) reach the host through the active instance: the host whose
// command runs on the calling thread (or on whose pool it works), else the
// only host alive. Several hosts may exist and render at once, each on
// threads of its own.
//
// Frame side: worlds from new_world/dispose_world and the world suite (every
// pixel format, padded rows, see WorldStore), fill and copy, memory handles
// (HandleStore) and iterate_generic on a pool of `profile.workerThreads`
// threads that lives as long as the host (IterationPool). Every world and
// handle the plug-in holds is in the ledger; faults: FaultPlan and the
// fail*/cancel* calls below.
//
// Render protocols: RenderDriver (refhost/RenderDriver.h) drives the smart
// and legacy render commands of one frame of a Clip through this host.
#pragma once

#include "refhost/FaultPlan.h"
#include "refhost/HostLedger.h"
#include "refhost/HandleStore.h"
#include "refhost/HostProfile.h"
#include "refhost/IterationPool.h"
#include "refhost/RenderSession.h"
#include "refhost/WorldStore.h"
#include "sdk/AE_Effect.h"
#include "sdk/AE_EffectCB.h"
#include "sdk/AE_EffectSuites.h"
#include "sdk/SPBasic.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace refhost {

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

    // The active instance, for callbacks that carry no effect reference
    // (null when several hosts exist and none runs on this thread).
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

    // ---- Frames, memory and iteration -----------------------------------
    WorldStore& worlds() { return worlds_; }
    const HandleStore& handles() const { return handles_; }
    // Pixel format of a frame the host made; PF_PixelFormat_INVALID if none.
    PF_PixelFormat pixelFormatOf(const PF_EffectWorld* world) const;
    // A frame owned by the host (not in the ledger), e.g. a layer frame;
    // throws std::bad_alloc when refused. Released with disposeHostWorld.
    PF_EffectWorld makeHostWorld(A_long width, A_long height, PF_PixelFormat format,
                                 const std::string& what);
    void disposeHostWorld(PF_EffectWorld* world);
    // Records a misuse when the row padding of `world` was written.
    void checkPadding(const PF_EffectWorld* world, const std::string& what);

    int worldRequests() const { return worldRequests_.load(); }
    int handleRequests() const { return handleRequests_.load(); }
    // The nth world (handle) request from now fails; 0 disables.
    void failWorldRequest(int n) { faults_.failWorldAt = n == 0 ? 0 : worldRequests() + n; }
    void failHandleRequest(int n) { faults_.failHandleAt = n == 0 ? 0 : handleRequests() + n; }
    // After n more iterations iterate_generic starts none and answers
    // PF_Interrupt_CANCEL, also in later calls; negative: never.
    void cancelIterationAfter(int64_t n);
    int64_t iterationsRun() const;
    // Rebuilds the iteration pool with `threads` threads (caller included).
    void setWorkerThreads(int threads);
    int workerThreads() const { return profile_.workerThreads; }

    // ---- Render protocols -----------------------------------------------
    // The pre-render and smart-render callbacks and the legacy check-out of
    // parameter 0 go to `session` while it is set (null: none; the smart
    // callbacks then answer PF_Err_INVALID_CALLBACK).
    void setRenderSession(RenderSession* session) { session_ = session; }
    PF_PreRenderCallbacks* preRenderCallbacks() { return &preRenderCallbacks_; }
    PF_SmartRenderCallbacks* smartRenderCallbacks() { return &smartRenderCallbacks_; }

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
    static PF_Err checkoutLayer(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long id,
                                const PF_RenderRequest* request, A_long time, A_long timeStep,
                                A_u_long timeScale, PF_CheckoutResult* result);
    static PF_Err checkoutLayerPixels(PF_ProgPtr effect_ref, A_long id, PF_EffectWorld** pixels);
    static PF_Err checkinLayerPixels(PF_ProgPtr effect_ref, A_long id);
    static PF_Err checkoutOutput(PF_ProgPtr effect_ref, PF_EffectWorld** output);
    // The shared part of the render-session callbacks: checks the host and the
    // arguments, records the call, then hands it to the session when one is open.
    template <class Call>
    static PF_Err sessionCall(PF_ProgPtr effect_ref, bool argumentsGiven, const char* name, Call call);
    static PF_Err newWorld(PF_ProgPtr effect_ref, A_long width, A_long height,
                           PF_NewWorldFlags flags, PF_EffectWorld* world);
    static PF_Err disposeWorld(PF_ProgPtr effect_ref, PF_EffectWorld* world);
    static PF_Err fill(PF_ProgPtr effect_ref, const PF_Pixel* colour, const PF_Rect* rect,
                       PF_EffectWorld* world);
    static PF_Err copy(PF_ProgPtr effect_ref, PF_EffectWorld* src, PF_EffectWorld* dst,
                       PF_Rect* srcRect, PF_Rect* dstRect);
    static PF_Handle newHandle(A_u_longlong size);
    static void* lockHandle(PF_Handle handle);
    static void unlockHandle(PF_Handle handle);
    static void disposeHandle(PF_Handle handle);
    static A_u_longlong handleSize(PF_Handle handle);
    static PF_Err iterateGeneric(A_long iterations, void* refcon, PF_IterateGenericFunc fn);
    static PF_Err worldNew(PF_ProgPtr effect_ref, A_long width, A_long height, PF_Boolean clear,
                           PF_PixelFormat format, PF_EffectWorld* world);
    static PF_Err worldDispose(PF_ProgPtr effect_ref, PF_EffectWorld* world);
    static PF_Err worldPixelFormat(const PF_EffectWorld* world, PF_PixelFormat* format);

    PF_Err allocateWorld(A_long width, A_long height, PF_PixelFormat format, bool clear,
                         const char* via, PF_EffectWorld* world);
    PF_Err releaseWorld(PF_EffectWorld* world, const char* via);
    // Format of a world for fill and copy: the recorded one, else 8- or
    // 16-bit ARGB by the deep flag (a frame the host did not make).
    const PixelFormatInfo* formatForPixels(const PF_EffectWorld* world) const;
    IterationPool& pool();

    const void* suiteTable(const std::string& name, int32_t version) const;

    HostProfile profile_;
    PF_EntryFunc entry_;
    FaultPlan faults_;
    HostLedger ledger_;
    WorldStore worlds_;
    HandleStore handles_;
    std::mutex poolMutex_;
    std::unique_ptr<IterationPool> pool_;
    std::atomic<int> worldRequests_{0};
    std::atomic<int> handleRequests_{0};

    PF_InData inData_{};
    PF_UtilCallbacks utils_{};
    SPBasicSuite basic_{};
    PF_PixelFormatSuite2 pixelFormatSuite_{};
    PF_WorldSuite2 worldSuite_{};
    PF_ParamUtilsSuite1 paramUtilsSuite_{};
    PF_PreRenderCallbacks preRenderCallbacks_{};
    PF_SmartRenderCallbacks smartRenderCallbacks_{};
    RenderSession* session_ = nullptr;

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

} // namespace refhost
