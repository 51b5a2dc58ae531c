#include "refhost/RenderDriver.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace refhost {

namespace {

constexpr PF_ParamIndex kFieldsParam = 1, kMotionParam = 2, kCorrectParam = 3;

bool emptyRect(const PF_LRect& r) { return r.right <= r.left || r.bottom <= r.top; }

PF_LRect intersect(const PF_LRect& a, const PF_LRect& b) {
    PF_LRect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
               std::min(a.bottom, b.bottom)};
    return emptyRect(r) ? PF_LRect{0, 0, 0, 0} : r;
}

short bitDepthOf(const PixelFormatInfo& info) {
    switch (info.depth) {
    case ChannelDepth::Bits8: return 8;
    case ChannelDepth::Bits16: return 16;
    case ChannelDepth::Float: return 32;
    }
    return 8;
}

} // namespace

RenderDriver::RenderDriver(RefHost& host) : host_(host) {
    if (host_.numParams() < 4) {
        if (host_.globalSetup().err != PF_Err_NONE || host_.paramsSetup().err != PF_Err_NONE ||
            host_.numParams() < 4)
            throw std::runtime_error("RenderDriver: the plug-in's setup failed");
    }
    host_.setRenderSession(this);
}

RenderDriver::~RenderDriver() {
    releaseAll();
    host_.setRenderSession(nullptr);
}

int RenderDriver::frameAt(A_long time, A_long timeStep) const {
    if (timeStep <= 0)
        timeStep = host_.inData().time_step;
    // Floor division, so that a time just before 0 is frame -1.
    const int64_t t = time, s = timeStep;
    return int(t >= 0 ? t / s : -((-t + s - 1) / s));
}

void RenderDriver::prepare(const RenderParams& params) {
    host_.setPopup(kFieldsParam, params.fields);
    host_.setPopup(kMotionParam, params.motion);
    host_.setCheckbox(kCorrectParam, params.correctMotionErrors);
    PF_InData& in = host_.inData();
    in.current_time = frameIndex_ * in.time_step;
    in.downsample_x = settings_.downsampleX;
    in.downsample_y = settings_.downsampleY;
    in.width = clip_->width();
    in.height = clip_->height();
    in.output_origin_x = 0;
    in.output_origin_y = 0;
    in.extent_hint = PF_Rect{0, 0, clip_->width(), clip_->height()};
    if (settings_.workerThreads > 0 && settings_.workerThreads != host_.workerThreads())
        host_.setWorkerThreads(settings_.workerThreads);
}

RenderResult RenderDriver::render(const Clip& clip, int frameIndex, const RenderParams& params,
                                  Protocol protocol) {
    if (!clip.hasFrame(frameIndex))
        throw std::out_of_range("RenderDriver: no such frame in the clip");
    RenderResult result;
    clip_ = &clip;
    frameIndex_ = frameIndex;
    result_ = &result;
    struct Reset {
        RenderDriver* driver;
        ~Reset() {
            driver->releaseAll();
            driver->result_ = nullptr;
            driver->clip_ = nullptr;
        }
    } reset{this};
    prepare(params);
    // Both fill `result` in place: a copy would duplicate the output pixels.
    if (protocol == Protocol::Smart)
        renderSmart();
    else
        renderLegacy();
    return result;
}

void RenderDriver::renderSmart() {
    RenderResult& result = *result_;
    const Clip& clip = *clip_;
    PF_PreRenderInput preInput{};
    preInput.output_request.rect =
        settings_.outputRequest.value_or(PF_LRect{0, 0, clip.width(), clip.height()});
    preInput.output_request.field = PF_Field_FRAME;
    preInput.output_request.channel_mask = 15;
    preInput.bitdepth = bitDepthOf(clip.formatInfo());
    PF_PreRenderOutput preOutput{};
    PF_PreRenderExtra preExtra{&preInput, &preOutput, host_.preRenderCallbacks()};
    CommandCall preCall;
    preCall.extra = &preExtra;
    preCall.passParams = false;
    const CommandResult pre = host_.command(PF_Cmd_SMART_PRE_RENDER, preCall);
    result.preRenderErr = pre.err;
    result.preRender = preOutput;
    result.err = pre.err;
    result.message = pre.message();
    result.showsMessage = pre.showsMessage();

    // A message from pre-render is shown; the render goes on unless it failed.
    if (pre.err == PF_Err_NONE) {
        outputRect_ = preOutput.result_rect;
        PF_SmartRenderInput input{};
        input.output_request = preInput.output_request;
        input.bitdepth = preInput.bitdepth;
        input.pre_render_data = preOutput.pre_render_data;
        PF_SmartRenderExtra extra{&input, host_.smartRenderCallbacks()};
        CommandCall call;
        call.extra = &extra;
        call.passParams = false;
        const CommandResult rendered = host_.command(PF_Cmd_SMART_RENDER, call);
        result.err = rendered.err;
        if (rendered.showsMessage() || !result.showsMessage) {
            result.message = rendered.message();
            result.showsMessage = rendered.showsMessage();
        }
        if (outputMade_)
            result.frame = frameOf(output_, output_.origin_x, output_.origin_y);
    }

    // The host owns the pre-render data now and frees it with the plug-in's
    // deleter, whatever the render's outcome.
    if (preOutput.pre_render_data != nullptr) {
        if (preOutput.delete_pre_render_data_func != nullptr) {
            preOutput.delete_pre_render_data_func(preOutput.pre_render_data);
            result.preRenderDataFreed = true;
        } else {
            host_.ledger().misuse("pre-render data without a deleter");
        }
    }
    for (const auto& [id, checkout] : checkouts_)
        result.layerPixelsLeftCheckedOut += checkout.count > 0 ? 1 : 0;
}

void RenderDriver::renderLegacy() {
    RenderResult& result = *result_;
    const Clip& clip = *clip_;
    PF_InData& in = host_.inData();
    const PF_Rect wholeLayer{0, 0, clip.width(), clip.height()};
    const PF_Rect inputHint = settings_.inputExtentHint.value_or(wholeLayer);

    PF_EffectWorld& layer = host_.param(0).u.ld;
    layer = layerWorld(frameIndex_, PF_LRect{0, 0, clip.width(), clip.height()}, "layer");
    layer.extent_hint = inputHint;
    legacyLayers_.push_back({layer, frameIndex_, true});

    const A_long ox = settings_.outputOrigin.h, oy = settings_.outputOrigin.v;
    output_ = host_.makeHostWorld(std::max<A_long>(0, clip.width() + 2 * ox),
                                  std::max<A_long>(0, clip.height() + 2 * oy), clip.format(),
                                  "output");
    outputMade_ = true;
    output_.extent_hint = settings_.outputExtentHint.value_or(wholeLayer);
    in.output_origin_x = ox;
    in.output_origin_y = oy;
    in.extent_hint = settings_.inDataExtentHint.value_or(inputHint);

    CommandCall call;
    call.output = &output_;
    const CommandResult rendered = host_.command(PF_Cmd_RENDER, call);
    result.err = rendered.err;
    result.message = rendered.message();
    result.showsMessage = rendered.showsMessage();
    result.frame = frameOf(output_, -ox, -oy);
}

PF_EffectWorld RenderDriver::layerWorld(int frame, const PF_LRect& rect, const std::string& what) {
    const Clip& clip = *clip_;
    const A_long width = rect.right - rect.left, height = rect.bottom - rect.top;
    PF_EffectWorld world = host_.makeHostWorld(width, height, clip.format(), what);
    const size_t bpp = size_t(clip.formatInfo().bytesPerPixel);
    const std::vector<uint8_t>& pixels = clip.frame(frame);
    // Rows of no pixels copy nothing (and an empty frame has no data pointer).
    for (A_long y = 0; width > 0 && y < height; ++y)
        std::memcpy(reinterpret_cast<uint8_t*>(world.data) + size_t(y) * size_t(world.rowbytes),
                    pixels.data() + size_t(rect.top + y) * clip.rowBytes() + size_t(rect.left) * bpp,
                    size_t(width) * bpp);
    world.origin_x = rect.left;
    world.origin_y = rect.top;
    return world;
}

void RenderDriver::checkUntouched(const PF_EffectWorld& world, int frame, const PF_LRect& rect,
                                  const std::string& what) {
    host_.checkPadding(&world, what);
    const Clip& clip = *clip_;
    const size_t bpp = size_t(clip.formatInfo().bytesPerPixel);
    const std::vector<uint8_t>& pixels = clip.frame(frame);
    const size_t rowBytes = size_t(rect.right - rect.left) * bpp;
    for (A_long y = 0; rowBytes > 0 && y < rect.bottom - rect.top; ++y)
        if (std::memcmp(reinterpret_cast<const uint8_t*>(world.data) +
                            size_t(y) * size_t(world.rowbytes),
                        pixels.data() + size_t(rect.top + y) * clip.rowBytes() +
                            size_t(rect.left) * bpp,
                        rowBytes) != 0) {
            host_.ledger().misuse("the plug-in wrote into the input frame " + what);
            return;
        }
}

Frame RenderDriver::frameOf(const PF_EffectWorld& world, A_long originX, A_long originY) {
    Frame frame;
    frame.format = clip_->format();
    frame.width = world.width;
    frame.height = world.height;
    frame.originX = originX;
    frame.originY = originY;
    const size_t rowBytes = size_t(world.width) * size_t(clip_->formatInfo().bytesPerPixel);
    frame.pixels = std::move(spare_);
    spare_.clear();
    frame.pixels.resize(rowBytes * size_t(world.height));
    for (A_long y = 0; rowBytes > 0 && y < world.height; ++y)
        std::memcpy(frame.pixels.data() + size_t(y) * rowBytes,
                    reinterpret_cast<const uint8_t*>(world.data) + size_t(y) * size_t(world.rowbytes),
                    rowBytes);
    return frame;
}

void RenderDriver::releaseAll() {
    for (auto& [id, checkout] : checkouts_)
        if (checkout.world != nullptr) {
            checkUntouched(*checkout.world, checkout.request.frameIndex,
                           checkout.request.result.result_rect, "id " + std::to_string(id));
            host_.disposeHostWorld(checkout.world);
        }
    checkouts_.clear();
    for (LegacyLayer& layer : legacyLayers_) {
        checkUntouched(layer.world, layer.frame,
                       PF_LRect{0, 0, layer.world.width, layer.world.height},
                       "at frame " + std::to_string(layer.frame));
        host_.disposeHostWorld(&layer.world);
    }
    legacyLayers_.clear();
    if (outputMade_) {
        host_.checkPadding(&output_, "output");
        host_.disposeHostWorld(&output_);
        output_ = PF_EffectWorld{};
        outputMade_ = false;
    }
    if (host_.paramCount() > 0)
        host_.param(0).u.ld = PF_LayerDef{};
    PF_InData& in = host_.inData();
    in.output_origin_x = 0;
    in.output_origin_y = 0;
    outputRect_ = PF_LRect{};
}

// ---- Answers to the host's callbacks ----------------------------------------------

PF_Err RenderDriver::checkoutLayer(PF_ParamIndex index, A_long id, const PF_RenderRequest& request,
                                   A_long time, A_long timeStep, A_u_long,
                                   PF_CheckoutResult* result) {
    *result = PF_CheckoutResult{};
    if (clip_ == nullptr)
        return PF_Err_INVALID_CALLBACK;
    if (index != 0)
        return PF_Err_INVALID_INDEX;
    LayerRequest entry;
    entry.index = index;
    entry.id = id;
    entry.time = time;
    entry.frameIndex = frameAt(time, timeStep);
    entry.request = request;
    if (clip_->hasFrame(entry.frameIndex)) {
        const PF_LRect layer{0, 0, clip_->width(), clip_->height()};
        result->max_result_rect = layer;
        result->result_rect = intersect(request.rect, layer);
        result->ref_width = clip_->width();
        result->ref_height = clip_->height();
    }
    result->par = {1, 1};
    entry.result = *result;
    result_->layerRequests.push_back(entry);
    // A later request under the same id replaces the earlier one.
    Checkout& checkout = checkouts_[id];
    if (checkout.world != nullptr)
        host_.disposeHostWorld(checkout.world);
    checkout = Checkout{};
    checkout.request = entry;
    return PF_Err_NONE;
}

PF_Err RenderDriver::checkoutLayerPixels(A_long id, PF_EffectWorld** pixels) {
    *pixels = nullptr;
    if (clip_ == nullptr)
        return PF_Err_INVALID_CALLBACK;
    result_->pixelCheckouts.push_back(id);
    auto it = checkouts_.find(id);
    if (it == checkouts_.end()) {
        host_.ledger().misuse("checkout_layer_pixels of id " + std::to_string(id) +
                              " not requested in pre-render");
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    Checkout& checkout = it->second;
    ++checkout.count;
    // Nothing of the layer at that time: checked out, without pixels.
    if (emptyRect(checkout.request.result.result_rect))
        return PF_Err_NONE;
    if (checkout.world == nullptr) {
        checkout.storage = layerWorld(checkout.request.frameIndex, checkout.request.result.result_rect,
                                      "id " + std::to_string(id));
        checkout.world = &checkout.storage;
    }
    *pixels = checkout.world;
    return PF_Err_NONE;
}

PF_Err RenderDriver::checkinLayerPixels(A_long id) {
    if (clip_ == nullptr)
        return PF_Err_INVALID_CALLBACK;
    auto it = checkouts_.find(id);
    if (it == checkouts_.end() || it->second.count == 0) {
        host_.ledger().misuse("checkin_layer_pixels of id " + std::to_string(id) +
                              " not checked out");
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    Checkout& checkout = it->second;
    if (--checkout.count == 0 && checkout.world != nullptr) {
        checkUntouched(*checkout.world, checkout.request.frameIndex,
                       checkout.request.result.result_rect, "id " + std::to_string(id));
        host_.disposeHostWorld(checkout.world);
        checkout.world = nullptr;
    }
    return PF_Err_NONE;
}

PF_Err RenderDriver::checkoutOutput(PF_EffectWorld** output) {
    *output = nullptr;
    if (clip_ == nullptr)
        return PF_Err_INVALID_CALLBACK;
    if (!outputMade_) {
        const PF_LRect& r = outputRect_;
        output_ = host_.makeHostWorld(std::max<A_long>(0, r.right - r.left),
                                      std::max<A_long>(0, r.bottom - r.top), clip_->format(),
                                      "output");
        output_.origin_x = r.left;
        output_.origin_y = r.top;
        outputMade_ = true;
    }
    result_->outputCheckedOut = true;
    *output = &output_;
    return PF_Err_NONE;
}

PF_Err RenderDriver::checkoutLayerParam(A_long time, A_long timeStep, A_u_long,
                                        PF_LayerDef* layer) {
    if (clip_ == nullptr)
        return PF_Err_NONE; // outside a render parameter 0 is what the host holds
    LayerParamCheckout entry;
    entry.time = time;
    entry.frameIndex = frameAt(time, timeStep);
    if (!clip_->hasFrame(entry.frameIndex))
        entry.result = PF_Err_BAD_CALLBACK_PARAM;
    else if (entry.frameIndex != frameIndex_ && settings_.refuseEarlierFrames != PF_Err_NONE)
        entry.result = settings_.refuseEarlierFrames;
    result_->layerParamCheckouts.push_back(entry);
    if (entry.result != PF_Err_NONE)
        return entry.result;
    *layer = layerWorld(entry.frameIndex, PF_LRect{0, 0, clip_->width(), clip_->height()},
                        "at frame " + std::to_string(entry.frameIndex));
    layer->extent_hint = host_.param(0).u.ld.extent_hint;
    legacyLayers_.push_back({*layer, entry.frameIndex, false});
    return PF_Err_NONE;
}

void RenderDriver::checkinLayerParam(PF_LayerDef* layer) {
    for (auto it = legacyLayers_.begin(); it != legacyLayers_.end(); ++it) {
        if (it->world.data != layer->data || it->renderLayer)
            continue;
        checkUntouched(it->world, it->frame, PF_LRect{0, 0, it->world.width, it->world.height},
                       "at frame " + std::to_string(it->frame));
        host_.disposeHostWorld(&it->world);
        legacyLayers_.erase(it);
        return;
    }
}

} // namespace refhost
