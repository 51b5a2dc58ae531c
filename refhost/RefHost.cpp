#include "refhost/RefHost.h"

#include <atomic>
#include <cmath>
#include <algorithm>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>
#include <new>
#include <stdexcept>

namespace refhost {

namespace {
// Hosts alive, and the one whose command runs on this thread (and on the
// workers of its pool): several hosts may render at once on threads of their
// own, each reached by its callbacks without an effect reference through the
// thread it runs on. A thread outside any command reaches the host only while
// it is the sole one.
std::mutex hostsMutex;
std::vector<RefHost*> hosts;
thread_local RefHost* threadHost = nullptr;

class ThreadHostScope {
public:
    explicit ThreadHostScope(RefHost* host) : previous_(threadHost) { threadHost = host; }
    ~ThreadHostScope() { threadHost = previous_; }
    ThreadHostScope(const ThreadHostScope&) = delete;
    ThreadHostScope& operator=(const ThreadHostScope&) = delete;

private:
    RefHost* previous_;
};
} // namespace

std::string suiteKey(const char* name, int32_t version) {
    return std::string(name) + " v" + std::to_string(version);
}

RefHost::RefHost(HostProfile profile, PF_EntryFunc entry)
    : profile_(std::move(profile)), entry_(entry), worlds_(profile_.rowPaddingBytes) {
    {
        std::lock_guard lock(hostsMutex);
        hosts.push_back(this);
    }
    worlds_.setRecycling(profile_.recycleMemory);
    handles_.setRecycling(profile_.recycleMemory);

    utils_.ansi.strcpy = &RefHost::ansiStrcpy;
    utils_.ansi.sqrt = &RefHost::ansiSqrt;
    utils_.ansi.ceil = &RefHost::ansiCeil;
    utils_.ansi.floor = &RefHost::ansiFloor;
    utils_.new_world = &RefHost::newWorld;
    utils_.dispose_world = &RefHost::disposeWorld;
    utils_.fill = &RefHost::fill;
    utils_.copy = &RefHost::copy;
    utils_.host_new_handle = &RefHost::newHandle;
    utils_.host_lock_handle = &RefHost::lockHandle;
    utils_.host_unlock_handle = &RefHost::unlockHandle;
    utils_.host_dispose_handle = &RefHost::disposeHandle;
    utils_.host_get_handle_size = &RefHost::handleSize;
    if (profile_.iterateGeneric)
        utils_.iterate_generic = &RefHost::iterateGeneric;

    basic_.AcquireSuite = &RefHost::acquireSuite;
    basic_.ReleaseSuite = &RefHost::releaseSuite;
    basic_.IsEqual = &RefHost::isEqual;
    pixelFormatSuite_.AddSupportedPixelFormat = &RefHost::addSupportedPixelFormat;
    pixelFormatSuite_.ClearSupportedPixelFormats = &RefHost::clearSupportedPixelFormats;
    worldSuite_.PF_NewWorld = &RefHost::worldNew;
    worldSuite_.PF_DisposeWorld = &RefHost::worldDispose;
    worldSuite_.PF_GetPixelFormat = &RefHost::worldPixelFormat;
    paramUtilsSuite_.PF_UpdateParamUI = &RefHost::updateParamUI;

    preRenderCallbacks_.checkout_layer = &RefHost::checkoutLayer;
    smartRenderCallbacks_.checkout_layer_pixels = &RefHost::checkoutLayerPixels;
    smartRenderCallbacks_.checkin_layer_pixels = &RefHost::checkinLayerPixels;
    smartRenderCallbacks_.checkout_output = &RefHost::checkoutOutput;

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

RefHost::~RefHost() {
    pool_.reset();
    std::lock_guard lock(hostsMutex);
    hosts.erase(std::find(hosts.begin(), hosts.end(), this));
}

RefHost* RefHost::active() {
    if (threadHost != nullptr)
        return threadHost;
    std::lock_guard lock(hostsMutex);
    return hosts.size() == 1 ? hosts.front() : nullptr;
}

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
    const ThreadHostScope scope(this);
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
                              A_long time_step, A_u_long time_scale, PF_ParamDef* param) {
    RefHost* host = fromEffectRef(effect_ref);
    if (host == nullptr || param == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    host->ledger_.called("checkout_param");
    fireThrow(host, CallbackSite::CheckoutParam);
    if (host->faults_.failCheckoutParam)
        return PF_Err_OUT_OF_MEMORY;
    if (const auto refused = host->faults_.refuseLayerAt.find(what_time);
        index == 0 && refused != host->faults_.refuseLayerAt.end())
        return refused->second;
    if (index < 0 || index >= host->numParams_)
        return PF_Err_INVALID_INDEX;
    // Values do not vary over time in this host; the layer does.
    *param = host->params_[size_t(index)]->def;
    if (index == 0 && host->session_ != nullptr) {
        const PF_Err err = host->session_->checkoutLayerParam(what_time, time_step, time_scale,
                                                              &param->u.ld);
        if (err != PF_Err_NONE) {
            *param = PF_ParamDef{};
            return err;
        }
    }
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
        if (it->second == 0 && host->session_ != nullptr)
            host->session_->checkinLayerParam(&param->u.ld);
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

// ---- Worlds -----------------------------------------------------------------

PF_Err RefHost::allocateWorld(A_long width, A_long height, PF_PixelFormat format, bool clear,
                              const char* via, PF_EffectWorld* world) {
    ledger_.called(via);
    if (world == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    const int request = ++worldRequests_;
    if (faults_.failWorldAt != 0 && request == faults_.failWorldAt)
        return PF_Err_OUT_OF_MEMORY;
    const PF_Err err =
        worlds_.create(width, height, format, clear, WorldStore::Owner::Plugin, "world", world);
    if (err == PF_Err_NONE)
        ledger_.acquired(HostLedger::Held::World, worlds_.keyOf(world->data));
    return err;
}

PF_Err RefHost::releaseWorld(PF_EffectWorld* world, const char* via) {
    ledger_.called(via);
    if (world == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    checkPadding(world, "disposed world");
    std::string key;
    if (!worlds_.destroy(world, WorldStore::Owner::Plugin, &key)) {
        ledger_.misuse(std::string(via) + " of a world the plug-in does not hold");
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    ledger_.released(HostLedger::Held::World, key);
    world->data = nullptr;
    return PF_Err_NONE;
}

void RefHost::checkPadding(const PF_EffectWorld* world, const std::string& what) {
    if (world != nullptr && world->data != nullptr && !worlds_.keyOf(world->data).empty() &&
        !worlds_.paddingIntact(world->data))
        ledger_.misuse("row padding written in " + what + " " + worlds_.keyOf(world->data));
}

PF_PixelFormat RefHost::pixelFormatOf(const PF_EffectWorld* world) const {
    PF_PixelFormat format = PF_PixelFormat_INVALID;
    if (world == nullptr || !worlds_.describe(world->data, &format))
        return PF_PixelFormat_INVALID;
    return format;
}

PF_EffectWorld RefHost::makeHostWorld(A_long width, A_long height, PF_PixelFormat format,
                                      const std::string& what) {
    PF_EffectWorld world{};
    if (worlds_.create(width, height, format, false, WorldStore::Owner::Host, what, &world) !=
        PF_Err_NONE)
        throw std::bad_alloc();
    return world;
}

void RefHost::disposeHostWorld(PF_EffectWorld* world) {
    if (world != nullptr && worlds_.destroy(world, WorldStore::Owner::Host))
        world->data = nullptr;
}

const PixelFormatInfo* RefHost::formatForPixels(const PF_EffectWorld* world) const {
    PF_PixelFormat format = 0;
    if (worlds_.describe(world->data, &format))
        return pixelFormatInfo(format);
    return pixelFormatInfo((world->world_flags & PF_WorldFlag_DEEP) != 0 ? PF_PixelFormat_ARGB64
                                                                           : PF_PixelFormat_ARGB32);
}

PF_Err RefHost::newWorld(PF_ProgPtr effect_ref, A_long width, A_long height,
                         PF_NewWorldFlags flags, PF_EffectWorld* world) {
    RefHost* host = fromEffectRef(effect_ref);
    if (host == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    const PF_PixelFormat format = (flags & PF_NewWorldFlag_DEEP_PIXELS) != 0
                                      ? PF_PixelFormat_ARGB64
                                      : PF_PixelFormat_ARGB32;
    return host->allocateWorld(width, height, format, (flags & PF_NewWorldFlag_CLEAR_PIXELS) != 0,
                               "new_world", world);
}

PF_Err RefHost::disposeWorld(PF_ProgPtr effect_ref, PF_EffectWorld* world) {
    RefHost* host = fromEffectRef(effect_ref);
    if (host == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    return host->releaseWorld(world, "dispose_world");
}

PF_Err RefHost::worldNew(PF_ProgPtr effect_ref, A_long width, A_long height, PF_Boolean clear,
                         PF_PixelFormat format, PF_EffectWorld* world) {
    RefHost* host = fromEffectRef(effect_ref);
    if (host == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    return host->allocateWorld(width, height, format, clear != 0, "PF_NewWorld", world);
}

PF_Err RefHost::worldDispose(PF_ProgPtr effect_ref, PF_EffectWorld* world) {
    RefHost* host = fromEffectRef(effect_ref);
    if (host == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    return host->releaseWorld(world, "PF_DisposeWorld");
}

PF_Err RefHost::worldPixelFormat(const PF_EffectWorld* world, PF_PixelFormat* format) {
    RefHost* host = active();
    if (host == nullptr || world == nullptr || format == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    host->ledger_.called("PF_GetPixelFormat");
    const PF_PixelFormat known = host->pixelFormatOf(world);
    if (known == PF_PixelFormat_INVALID)
        return PF_Err_BAD_CALLBACK_PARAM;
    *format = host->faults_.reportedPixelFormat != 0 ? host->faults_.reportedPixelFormat : known;
    return PF_Err_NONE;
}

// ---- Fill and copy -------------------------------------------------------------

namespace {
struct Span {
    A_long left, top, right, bottom;
    A_long width() const { return right - left; }
    A_long height() const { return bottom - top; }
    bool empty() const { return right <= left || bottom <= top; }
};

// A host rectangle clipped to a frame; the whole frame when null.
Span clippedSpan(const PF_Rect* rect, const PF_EffectWorld* world) {
    if (rect == nullptr)
        return {0, 0, world->width, world->height};
    return {std::clamp<A_long>(rect->left, 0, world->width),
            std::clamp<A_long>(rect->top, 0, world->height),
            std::clamp<A_long>(rect->right, 0, world->width),
            std::clamp<A_long>(rect->bottom, 0, world->height)};
}

uint8_t* pixelAt(const PF_EffectWorld* world, A_long x, A_long y, int bytesPerPixel) {
    return reinterpret_cast<uint8_t*>(world->data) + int64_t(y) * world->rowbytes +
           int64_t(x) * bytesPerPixel;
}
} // namespace

PF_Err RefHost::fill(PF_ProgPtr effect_ref, const PF_Pixel* colour, const PF_Rect* rect,
                     PF_EffectWorld* world) {
    RefHost* host = fromEffectRef(effect_ref);
    if (host == nullptr || world == nullptr || world->data == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    host->ledger_.called("fill");
    const PixelFormatInfo* format = host->formatForPixels(world);
    const std::array<uint8_t, 16> pixel =
        encodePixel(*format, colour != nullptr ? *colour : PF_Pixel{0, 0, 0, 0});
    const Span span = clippedSpan(rect, world);
    if (span.empty())
        return PF_Err_NONE;
    const int bpp = format->bytesPerPixel;
    for (A_long y = span.top; y < span.bottom; ++y) {
        uint8_t* out = pixelAt(world, span.left, y, bpp);
        for (A_long x = 0; x < span.width(); ++x)
            std::memcpy(out + int64_t(x) * bpp, pixel.data(), size_t(bpp));
    }
    return PF_Err_NONE;
}

PF_Err RefHost::copy(PF_ProgPtr effect_ref, PF_EffectWorld* src, PF_EffectWorld* dst,
                     PF_Rect* srcRect, PF_Rect* dstRect) {
    RefHost* host = fromEffectRef(effect_ref);
    if (host == nullptr || src == nullptr || dst == nullptr || src->data == nullptr ||
        dst->data == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    host->ledger_.called("copy");
    const PixelFormatInfo* from = host->formatForPixels(src);
    const PixelFormatInfo* to = host->formatForPixels(dst);
    // Pixels move as they are: frames of one pixel size copy byte for byte
    // whatever their channel order (the plug-in rebuilds BGRA and VUYA frames
    // in "argb"-format scratch frames); a change of depth is refused.
    if (from->bytesPerPixel != to->bytesPerPixel || from->depth != to->depth)
        return PF_Err_BAD_CALLBACK_PARAM;
    // The source rectangle goes to the destination rectangle's top-left
    // without scaling, cut to what fits in both rectangles and frames.
    const Span source = clippedSpan(srcRect, src);
    const Span target = dstRect != nullptr ? clippedSpan(dstRect, dst)
                                           : Span{0, 0, dst->width, dst->height};
    const A_long width = std::min(source.width(), target.width());
    const A_long height = std::min(source.height(), target.height());
    if (width <= 0 || height <= 0)
        return PF_Err_NONE;
    const int bpp = from->bytesPerPixel;
    const size_t rowBytes = size_t(width) * size_t(bpp);
    // Within one frame, walk rows away from the overlap.
    const bool upwards = src->data == dst->data && target.top > source.top;
    for (A_long k = 0; k < height; ++k) {
        const A_long row = upwards ? height - 1 - k : k;
        std::memmove(pixelAt(dst, target.left, target.top + row, bpp),
                     pixelAt(src, source.left, source.top + row, bpp), rowBytes);
    }
    return PF_Err_NONE;
}

// ---- Memory handles --------------------------------------------------------------

PF_Handle RefHost::newHandle(A_u_longlong size) {
    RefHost* host = active();
    if (host == nullptr)
        return nullptr;
    host->ledger_.called("host_new_handle");
    const int request = ++host->handleRequests_;
    if (host->faults_.failHandleAt != 0 && request == host->faults_.failHandleAt)
        return nullptr;
    std::string key;
    PF_Handle handle = host->handles_.create(size, &key);
    if (handle != nullptr)
        host->ledger_.acquired(HostLedger::Held::MemoryHandle, key);
    return handle;
}

void* RefHost::lockHandle(PF_Handle handle) {
    RefHost* host = active();
    if (host == nullptr)
        return nullptr;
    host->ledger_.called("host_lock_handle");
    void* block = host->handles_.lock(handle);
    if (block == nullptr)
        host->ledger_.misuse("lock of an unknown memory handle");
    return block;
}

void RefHost::unlockHandle(PF_Handle handle) {
    RefHost* host = active();
    if (host == nullptr)
        return;
    host->ledger_.called("host_unlock_handle");
    if (!host->handles_.unlock(handle))
        host->ledger_.misuse("unlock of a memory handle that is not locked");
}

void RefHost::disposeHandle(PF_Handle handle) {
    RefHost* host = active();
    if (host == nullptr)
        return;
    host->ledger_.called("host_dispose_handle");
    std::string key;
    bool wasLocked = false;
    if (!host->handles_.dispose(handle, &key, &wasLocked)) {
        host->ledger_.misuse("dispose of an unknown memory handle");
        return;
    }
    if (wasLocked)
        host->ledger_.misuse("disposed " + key + " while locked");
    host->ledger_.released(HostLedger::Held::MemoryHandle, key);
}

A_u_longlong RefHost::handleSize(PF_Handle handle) {
    RefHost* host = active();
    if (host == nullptr)
        return 0;
    host->ledger_.called("host_get_handle_size");
    uint64_t size = 0;
    if (!host->handles_.size(handle, &size))
        host->ledger_.misuse("size of an unknown memory handle");
    return size;
}

// ---- Generic iteration ---------------------------------------------------------------

IterationPool& RefHost::pool() {
    std::lock_guard lock(poolMutex_);
    if (!pool_)
        pool_ = std::make_unique<IterationPool>(
            std::max(1, profile_.workerThreads), [this](std::function<void()> body) {
                return std::thread([this, body = std::move(body)] {
                    const ThreadHostScope scope(this);
                    body();
                });
            });
    return *pool_;
}

void RefHost::setWorkerThreads(int threads) {
    std::lock_guard lock(poolMutex_);
    profile_.workerThreads = std::max(1, threads);
    pool_.reset();
}

void RefHost::cancelIterationAfter(int64_t n) { pool().cancelAfter(n); }

int64_t RefHost::iterationsRun() const {
    return pool_ ? pool_->iterationsRun() : 0;
}

PF_Err RefHost::iterateGeneric(A_long iterations, void* refcon, PF_IterateGenericFunc fn) {
    RefHost* host = active();
    if (host == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    host->ledger_.called("iterate_generic");
    if (fn == nullptr || iterations < -1 || IterationPool::onIterationThread()) {
        host->ledger_.misuse("iterate_generic from inside an iteration or without a function");
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    IterationPool& pool = host->pool();
    const int64_t thrown = pool.exceptionsCaught();
    const PF_Err err = pool.run(iterations, refcon, fn);
    if (pool.exceptionsCaught() != thrown)
        host->ledger_.misuse("an exception escaped an iteration function");
    if (err != PF_Err_NONE)
        return err;
    return host->faults_.iterationResult;
}

// ---- Pre-render and smart-render callbacks ------------------------------------------

template <class Call>
PF_Err RefHost::sessionCall(PF_ProgPtr effect_ref, bool argumentsGiven, const char* name, Call call) {
    RefHost* host = fromEffectRef(effect_ref);
    if (host == nullptr || !argumentsGiven)
        return PF_Err_BAD_CALLBACK_PARAM;
    host->ledger_.called(name);
    if (host->session_ == nullptr)
        return PF_Err_INVALID_CALLBACK;
    return call(*host->session_);
}

PF_Err RefHost::checkoutLayer(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long id,
                              const PF_RenderRequest* request, A_long time, A_long timeStep,
                              A_u_long timeScale, PF_CheckoutResult* result) {
    return sessionCall(effect_ref, request != nullptr && result != nullptr, "checkout_layer",
                       [&](RenderSession& session) {
                           return session.checkoutLayer(index, id, *request, time, timeStep, timeScale,
                                                        result);
                       });
}

PF_Err RefHost::checkoutLayerPixels(PF_ProgPtr effect_ref, A_long id, PF_EffectWorld** pixels) {
    return sessionCall(effect_ref, pixels != nullptr, "checkout_layer_pixels",
                       [&](RenderSession& session) { return session.checkoutLayerPixels(id, pixels); });
}

PF_Err RefHost::checkinLayerPixels(PF_ProgPtr effect_ref, A_long id) {
    return sessionCall(effect_ref, true, "checkin_layer_pixels",
                       [&](RenderSession& session) { return session.checkinLayerPixels(id); });
}

PF_Err RefHost::checkoutOutput(PF_ProgPtr effect_ref, PF_EffectWorld** output) {
    return sessionCall(effect_ref, output != nullptr, "checkout_output",
                       [&](RenderSession& session) { return session.checkoutOutput(output); });
}

} // namespace refhost
