// The render commands: smart pre-render negotiates the input areas and the
// earlier frames; render (smart or legacy) copies the input to the output and
// rebuilds the missing field, by interpolation ("Off") or by the frame
// pipeline of the pixel format (motion compensation).
#include "host/RenderCommand.h"

#include "deinterlace/DeinterlaceFields.h"
#include "deinterlace/MotionDeinterlace.h"
#include "parallel/AEHost.h"
#include "host/CommandGuard.h"
#include "image/CopyFrame.h"
#include "host/ParamCheckout.h"
#include "host/Parameters.h"
#include "image/PixelFormats.h"
#include "host/PreRenderData.h"
#include "host/QualitySettings.h"
#include "parallel/RenderContext.h"
#include "image/HostFrames.h"
#include "parallel/KelException.h"
#include "parallel/ProcessorFeatures.h"
#include "parallel/Sarn_SetThreadCount.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>

namespace {

constexpr A_long kEarlierFrameCheckoutBase = 1000;
constexpr A_long kWholeLayer = 100000;
// The whole-layer request covers layers of at most this side, so larger
// frames are refused rather than rendered from a part of the layer.
constexpr A_long kMaxFrameSide = kWholeLayer;

bool fitsWholeLayer(const PF_EffectWorld& world) {
    return world.width <= kMaxFrameSide && world.height <= kMaxFrameSide;
}

// Reads a popup or checkbox value: from the array when the host passed one,
// else checked out at the current time. Returns the host's error, if any.
PF_Err readParam(PF_InData* in_data, PF_ParamDef** params, PF_ParamIndex index, A_long& value) {
    if (const PF_ParamDef* def = arrayParam(in_data, params, index)) {
        value = def->param_type == PF_Param_CHECKBOX ? def->u.bd.value : def->u.pd.value;
        return PF_Err_NONE;
    }
    const ParamCheckout checkout(in_data, index);
    if (!checkout.ok())
        return checkout.error();
    const PF_ParamDef& def = checkout.def();
    value = index == kParamCorrectMotionErrors ? def.u.bd.value : def.u.pd.value;
    return PF_Err_NONE;
}

bool validMotion(A_long value) { return value >= kMotionOff && value <= kMotionBest; }
bool validFields(A_long value) { return value == kUpperFieldFirst || value == kLowerFieldFirst; }

// A request side moved by `by` pixels, held at the ends of the 32-bit range.
A_long grown(A_long side, A_long by) {
    return A_long(std::clamp<int64_t>(int64_t(side) + by, INT32_MIN, INT32_MAX));
}

bool hasArea(const PF_LRect& r) { return r.right > r.left && r.bottom > r.top; }

// "Off": the kernel of the frame's own depth and channel order, so that BGRA
// and VUYA frames are ranked by their own colour channels.
void interpolateFields(AEHost& host, const PixelFormatInfo& info, const ViewRect& area,
                       const PF_EffectWorld& output, const PF_EffectWorld& input, A_long fields) {
    const bool first = info.order == ChannelOrder::AlphaFirst;
    switch (info.depth) {
    case PixelDepth::Bits8:
        return first ? DeinterlaceFields<Sarn_Pixel8, Sarn_OrderARGB>(host, area, output, input, fields)
                     : DeinterlaceFields<Sarn_Pixel8, Sarn_OrderRGBA>(host, area, output, input, fields);
    case PixelDepth::Bits16:
        return first ? DeinterlaceFields<Sarn_Pixel16, Sarn_OrderARGB>(host, area, output, input, fields)
                     : DeinterlaceFields<Sarn_Pixel16, Sarn_OrderRGBA>(host, area, output, input, fields);
    case PixelDepth::Float:
        return first ? DeinterlaceFields<Sarn_PixelF, Sarn_OrderARGB>(host, area, output, input, fields)
                     : DeinterlaceFields<Sarn_PixelF, Sarn_OrderRGBA>(host, area, output, input, fields);
    }
}

// Motion compensation: the frame pipeline of the frame's depth and order.
void reconstructWithMotion(AEHost& host, const RenderContext& context,
                           const PixelFormatInfo& info, const ViewRect& area,
                           PF_EffectWorld& output, PF_EffectWorld& input, A_long fields,
                           const MotionSettings& settings) {
    const bool first = info.order == ChannelOrder::AlphaFirst;
    const A_long base = kEarlierFrameCheckoutBase;
    switch (info.depth) {
    case PixelDepth::Bits8:
        return first ? MotionDeinterlace<Sarn_Pixel8, Sarn_OrderARGB>(host, context, kParamInput, base, area, output, input, fields, settings)
                     : MotionDeinterlace<Sarn_Pixel8, Sarn_OrderRGBA>(host, context, kParamInput, base, area, output, input, fields, settings);
    case PixelDepth::Bits16:
        return first ? MotionDeinterlace<Sarn_Pixel16, Sarn_OrderARGB>(host, context, kParamInput, base, area, output, input, fields, settings)
                     : MotionDeinterlace<Sarn_Pixel16, Sarn_OrderRGBA>(host, context, kParamInput, base, area, output, input, fields, settings);
    case PixelDepth::Float:
        return first ? MotionDeinterlace<Sarn_PixelF, Sarn_OrderARGB>(host, context, kParamInput, base, area, output, input, fields, settings)
                     : MotionDeinterlace<Sarn_PixelF, Sarn_OrderRGBA>(host, context, kParamInput, base, area, output, input, fields, settings);
    }
}

// The render rectangle {left, top, right, bottom} in the coordinates of the
// output's view.
ViewRect renderRect(const AEHost& host, const PF_EffectWorld& output) {
    if (host.worldSuite == nullptr) {
        const PF_Rect& hint = host.inData->extent_hint;
        return ViewRect{hint.left, hint.top, hint.right, hint.bottom};
    }
    if (host.smartCallbacks != nullptr)
        return ViewRect{output.origin_x, output.origin_y, output.origin_x + output.width,
                        output.origin_y + output.height};
    const PF_Rect area = host.processingArea(&output);
    const A_long left = std::clamp<A_long>(area.left, 0, output.width);
    const A_long top = std::clamp<A_long>(area.top, 0, output.height);
    const A_long right = std::clamp<A_long>(area.right, 0, output.width);
    const A_long bottom = std::clamp<A_long>(area.bottom, 0, output.height);
    const A_long ox = host.inData->output_origin_x, oy = host.inData->output_origin_y;
    return ViewRect{left - ox, top - oy, right - ox, bottom - oy};
}

PF_Err render(AEHost& host, PF_ParamDef** params, PF_EffectWorld* input, PF_EffectWorld* output,
              const PreRenderData* preRender) {
    PF_InData* in_data = host.inData;
    A_long fields = 0;
    if (PF_Err err = readParam(in_data, params, kParamFields, fields))
        return err;

    float scale = 1.0f;
    if (in_data->downsample_x.den >= 1 && in_data->downsample_y.den >= 1)
        scale = float(in_data->downsample_y.num) / float(in_data->downsample_y.den);

    PF_PixelFormat format;
    if (host.worldSuite != nullptr) {
        if (PF_Err err = host.worldSuite->PF_GetPixelFormat(input, &format))
            return err;
    } else {
        format = (input->world_flags & PF_WorldFlag_DEEP) != 0 ? PF_PixelFormat_ARGB64
                                                               : PF_PixelFormat_ARGB32;
    }
    // Everything past here addresses the two frames as the host describes
    // them: the description must hold pixels of the format it claims.
    const PixelFormatInfo info = pixelFormatInfo(format);
    const int pixelBytes = info.known ? bytesPerPixel(info.depth) : 0;
    requireUsableFrame(host, *input, pixelBytes);
    requireUsableFrame(host, *output, pixelBytes);
    if (!sameFormat(host, *input, *output))
        throw UnusableHostFrame{};
    const ViewRect area = renderRect(host, *output);

    if (PF_Err err = copyFrame(host, input, output))
        return err;
    if (scale < 1.0f)
        return PF_Err_NONE;

    const RenderContext context{in_data, detectProcessorFeatures()};
    Sarn_SetThreadCount(host.processorCount());
    A_long motion = 0;
    if (PF_Err err = readParam(in_data, params, kParamMotionCompensation, motion))
        return err;
    // Values the popups cannot hold leave the output as the copy of the input.
    if (!validFields(fields) || !validMotion(motion))
        return PF_Err_BAD_CALLBACK_PARAM;

    if (motion == kMotionOff) {
        if (!info.known)
            return PF_Err_BAD_CALLBACK_PARAM;
        interpolateFields(host, info, area, *output, *input, fields);
        return PF_Err_NONE;
    }

    QualitySettings quality = qualitySettings(motion);
    if (preRender != nullptr)
        quality.earlierFrames = std::min(quality.earlierFrames, preRender->previousFramesAvailable);
    A_long correctErrors = 0;
    if (PF_Err err = readParam(in_data, params, kParamCorrectMotionErrors, correctErrors))
        return err;
    if (!info.known)
        return PF_Err_NONE;
    const MotionSettings settings{quality.earlierFrames, quality.passes, quality.finestLevel,
                                  correctErrors != 0, info.vuya};
    reconstructWithMotion(host, context, info, area, *output, *input, fields, settings);
    return PF_Err_NONE;
}

} // namespace

PF_Err renderCommand(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef** params,
                     PF_EffectWorld* input, PF_EffectWorld* output,
                     PF_SmartRenderExtra* smartExtra) {
    PF_SmartRenderCallbacks* smart = nullptr;
    const PreRenderData* preRender = nullptr;
    if (smartExtra != nullptr) {
        smart = smartExtra->cb;
        if (smartExtra->input == nullptr)
            return PF_Err_BAD_CALLBACK_PARAM;
        if (PF_Err err = smart->checkout_layer_pixels(in_data->effect_ref, 0, &input))
            return err;
        if (PF_Err err = smart->checkout_output(in_data->effect_ref, &output))
            return err;
        preRender = static_cast<const PreRenderData*>(smartExtra->input->pre_render_data);
    }
    if (smart == nullptr && (input == nullptr || output == nullptr))
        return PF_Err_BAD_CALLBACK_PARAM;
    if (output == nullptr)
        return PF_Err_NONE;

    for (const PF_EffectWorld* world : {input, output})
        if (world != nullptr && !fitsWholeLayer(*world)) {
            showHostMessage(in_data, out_data,
                            "Velmora renders frames of at most " + std::to_string(kMaxFrameSide) +
                                " pixels a side, not " + std::to_string(world->width) + " x " +
                                std::to_string(world->height));
            return PF_Err_BAD_CALLBACK_PARAM;
        }

    AEHost host(in_data, output, smart);
    try {
        if (input == nullptr) {
            // Smart render of a layer without pixels here (empty, or nothing
            // at this time): nothing to deinterlace, the output is transparent.
            requireUsableFrame(host, *output, 0);
            return fillWorld(host, output, nullptr);
        }
        return render(host, params, input, output, preRender);
    } catch (const UnusableHostFrame&) {
        return PF_Err_BAD_CALLBACK_PARAM;
    } catch (const std::bad_alloc&) {
        return PF_Err_OUT_OF_MEMORY;
    } catch (const Kel::Interrupted&) {
        return host.status.load();
    }
}

PF_Err smartPreRenderCommand(PF_InData* in_data, PF_OutData*, PF_PreRenderExtra* extra) {
    if (extra->input == nullptr || extra->output == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    PreRenderData* data = static_cast<PreRenderData*>(std::malloc(sizeof(PreRenderData)));
    if (data == nullptr)
        return PF_Err_OUT_OF_MEMORY;
    *data = PreRenderData{};
    data->previousFramesAvailable = 0;
    extra->output->pre_render_data = data;
    extra->output->delete_pre_render_data_func = std::free;

    PF_RenderRequest request = extra->input->output_request;
    request.field = PF_Field_FRAME;
    request.channel_mask = 15;
    request.preserve_rgb_of_zero_alpha = 1;

    A_long motion = 0;
    if (PF_Err err = readParam(in_data, nullptr, kParamMotionCompensation, motion))
        return err;
    if (!validMotion(motion))
        return PF_Err_BAD_CALLBACK_PARAM;

    if (motion == kMotionOff) {
        // The kernel reads the kept rows around each rebuilt row and the
        // columns beside it.
        request.rect.left = grown(request.rect.left, -1);
        request.rect.top = grown(request.rect.top, -1);
        request.rect.right = grown(request.rect.right, 1);
        request.rect.bottom = grown(request.rect.bottom, 2);
    } else {
        request.rect = PF_LRect{-kWholeLayer, -kWholeLayer, kWholeLayer, kWholeLayer};
    }

    PF_PreRenderCallbacks* cb = extra->cb;
    if (PF_Err err = cb->checkout_layer(in_data->effect_ref, kParamInput, 0, &request,
                                        in_data->current_time, in_data->time_step,
                                        in_data->time_scale, &data->current))
        return err;
    extra->output->max_result_rect = data->current.max_result_rect;

    if (motion != kMotionOff) {
        const A_long earlier = motion == kMotionBest ? 2 : 1;
        request.rect = data->current.max_result_rect;
        for (A_long k = earlier; k >= 1; --k) {
            PF_CheckoutResult result{};
            if (PF_Err err = cb->checkout_layer(
                    in_data->effect_ref, kParamInput, kEarlierFrameCheckoutBase - k, &request,
                    timeAtOffset(in_data, -k), in_data->time_step,
                    in_data->time_scale, &result))
                return err;
            if (hasArea(result.max_result_rect))
                data->previousFramesAvailable = std::max<int32_t>(data->previousFramesAvailable, k);
        }
    }

    if (motion == kMotionOff) {
        const PF_LRect& asked = extra->input->output_request.rect;
        const PF_LRect& max = extra->output->max_result_rect;
        extra->output->result_rect =
            PF_LRect{std::max(max.left, asked.left), std::max(max.top, asked.top),
                     std::min(max.right, asked.right), std::min(max.bottom, asked.bottom)};
    } else {
        extra->output->result_rect = extra->output->max_result_rect;
        extra->output->flags |= PF_RenderOutputFlag_RETURNS_EXTRA_PIXELS;
    }
    return PF_Err_NONE;
}
