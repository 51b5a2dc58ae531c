#include "deinterlace/MotionDeinterlace.h"

#include "deinterlace/DeinterlaceFields.h"
#include "deinterlace/FieldView.h"
#include "image/ViewOfWorld.h"
#include "image/CopyFrame.h"
#include "image/HostFrames.h"
#include "image/HostMemory.h"
#include "image/Sarn_Pixel.h"
#include "motion/EstimateFrameMotion.h"
#include "parallel/KelException.h"

#include <algorithm>
#include <new>
#include <utility>

namespace {

int32_t otherField(int32_t field) { return field == 1 ? 2 : field == 2 ? 1 : 0; }

void checkHost(PF_Err err) {
    if (err == PF_Err_OUT_OF_MEMORY)
        throw std::bad_alloc();
    if (err != PF_Err_NONE)
        throw Kel::Exception("MotionDeinterlace", "The host could not copy a frame.");
}

// The format of the scratch frames. With the world suite they take the
// input's own format, so that the host's copies into and out of them are
// between frames of one format (a host need not convert, say, "bgra" into
// "argb"); the pipeline reads them in the input's channel order either way.
template <class Pixel>
PF_PixelFormat scratchFormat(const AEHost& host, const PF_EffectWorld& input) {
    PF_PixelFormat own = PF_PixelFormat_INVALID;
    if (host.worldSuite != nullptr &&
        host.worldSuite->PF_GetPixelFormat(&input, &own) == PF_Err_NONE &&
        own != PF_PixelFormat_INVALID)
        return own;
    const bool premiere = isPremiereHost(host.inData);
    if constexpr (Pixel::bytes == 4)
        return PF_PixelFormat_ARGB32;
    else if constexpr (Pixel::bytes == 8)
        return premiere ? PrPixelFormat_ARGB_4444_16u : PF_PixelFormat_ARGB64;
    else
        return premiere ? PrPixelFormat_ARGB_4444_32f : PF_PixelFormat_ARGB128;
}

// Ten levels of 255 (times the square root of two) on each depth's scale.
template <class Pixel>
float discardThreshold() {
    if constexpr (Pixel::bytes == 4)
        return 14.142136f;
    else if constexpr (Pixel::bytes == 8)
        return 1817.2922f;
    else
        return 0.05545936f;
}

// Number of rows of parity `parity` in [top, top + height).
int32_t rowsOfParity(int32_t top, int32_t height, int32_t parity) {
    const int32_t first = firstRowOfParity(top, parity);
    const int32_t end = top + height;
    return first < end ? (end - first + 1) / 2 : 0;
}

// A scratch frame shaped like the input buffer (size, origin, extent hint),
// so that its view coincides with the input's in every coordinate the render
// uses, whatever the input's place in the layer.
void allocateTwin(ScratchWorld& scratch, const PF_EffectWorld& input, PF_PixelFormat format) {
    scratch.allocate(input.width, input.height, format, false);
    PF_EffectWorld* world = scratch.world();
    world->origin_x = input.origin_x;
    world->origin_y = input.origin_y;
    world->extent_hint = input.extent_hint;
}

// Estimates the motion of field `kept` from the previous reconstruction to the
// frame just written and warps the frame's other field with it. All addresses
// are relative to the view, so a buffer placed anywhere in the layer gives the
// same pixels as one at the layer's origin.
template <class Pixel, class Order>
void motionStep(const RenderContext& context, const ImageView<Pixel::bytes>& written,
                const ImageView<Pixel::bytes>& previous, int32_t kept, const MotionSettings& settings,
                float* motionX, float* motionY) {
    const int32_t width = written.rect.width();
    const int32_t height = written.rect.height();
    const int32_t top = written.rect.top;
    const int32_t keptParity = kept - 1, rebuiltParity = 1 - keptParity;
    const int32_t keptFirst = firstRowOfParity(top, keptParity);
    const int32_t rebuiltFirst = firstRowOfParity(top, rebuiltParity);
    const int32_t keptRows = rowsOfParity(top, height, keptParity);
    const int32_t rebuiltRows = rowsOfParity(top, height, rebuiltParity);
    if (width <= 0 || keptRows <= 0 || rebuiltRows <= 0)
        return;

    // The kept field of the new and of the previous reconstruction: the motion
    // step sees only rows that exist.
    const uint8_t* fieldA = written.data + int64_t(keptFirst - top) * written.stride;
    const uint8_t* fieldB = previous.data + int64_t(keptFirst - top) * previous.stride;
    const int32_t strideA = int32_t(int64_t(written.stride) * 2);
    const int32_t strideB = int32_t(int64_t(previous.stride) * 2);
    EstimateFrameMotion<Pixel, Order>(context, width, keptRows, fieldA, fieldB, strideA, strideB,
                                      motionX, motionY, settings.passes, settings.finestLevel,
                                      discardThreshold<Pixel>(), settings.correctErrors,
                                      settings.vuya ? LumaSource::YChannel : LumaSource::WeightedRGB);

    // Rebuilt row j lies between kept lines j and j + 1: when the view starts
    // with a rebuilt row, the kept lines are numbered from 1. Only rows whose
    // motion was estimated are warped.
    const int32_t firstKeptLine = rebuiltFirst < keptFirst ? 1 : 0;
    const Sarn_Rect fieldRect{0, width, firstKeptLine, firstKeptLine + keptRows};
    const Sarn_Rect sourceRect{0, width, 0, height};
    const Sarn_Rect rect{0, width, 0, std::min(rebuiltRows, keptRows)};
    uint8_t* destination = written.data + int64_t(rebuiltFirst - top) * written.stride;
    LaunchColourWarp<Pixel, Order>(context, fieldA, previous.data, destination, strideA,
                                   previous.stride, strideA, motionX, motionY, &fieldRect,
                                   &sourceRect, &rect, float(rebuiltFirst - top));
}

// Legacy render has no pre-render to say which earlier frames the layer has:
// checks out frames -1, -2, ... nearest first and stops at the first the host
// refuses or gives without pixels (the layer's start, a cut), so that the
// chain starts at the earliest frame of an unbroken run. Returns how many are
// held. Out of memory and cancel are the host's failures, not a missing frame,
// and end the render.
int32_t checkoutEarlierFrames(AEHost& host, LayerCheckout (&held)[kMostEarlierFrames],
                              int32_t wanted, PF_ParamIndex layerIndex, A_long checkoutBase) {
    int32_t found = 0;
    for (; found < std::min(wanted, kMostEarlierFrames); ++found) {
        LayerCheckout& frame = held[found];
        const PF_Err err = frame.checkout(layerIndex, checkoutBase, -(found + 1));
        if (err == PF_Err_OUT_OF_MEMORY)
            throw std::bad_alloc();
        if (err == PF_Interrupt_CANCEL) {
            host.status = PF_Interrupt_CANCEL; // the render answers with its status
            throw Kel::Interrupted{};
        }
        if (!frame.hasPixels())
            break;
    }
    return found;
}

} // namespace

template <class Pixel, class Order>
void MotionDeinterlace(AEHost& host, const RenderContext& context, PF_ParamIndex layerIndex,
                       A_long checkoutBase, const ViewRect& renderRect, PF_EffectWorld& output,
                       PF_EffectWorld& input, int32_t fields, const MotionSettings& settings) {
    constexpr int kBytes = Pixel::bytes;
    const ImageView<kBytes> inputView = viewOfWorld<kBytes>(host, input);
    const int32_t width = inputView.rect.width();
    const int32_t height = inputView.rect.height();
    // Nothing to reconstruct: the output keeps its copy of the input.
    if (width <= 0 || height <= 0 || inputView.data == nullptr)
        return;

    const bool legacy = host.smartCallbacks == nullptr;
    LayerCheckout held[kMostEarlierFrames]{LayerCheckout(host), LayerCheckout(host)};
    const int32_t earlierFrames =
        legacy ? checkoutEarlierFrames(host, held, settings.earlierFrames, layerIndex, checkoutBase)
               : settings.earlierFrames;

    const uint64_t planeBytes = uint64_t(width) * uint64_t((height + 1) / 2) * sizeof(float);
    HostBuffer motionX(context.inData, planeBytes);
    HostBuffer motionY(context.inData, planeBytes);
    ScratchWorld scratchA(host), scratchB(host);
    const PF_PixelFormat format = scratchFormat<Pixel>(host, input);
    allocateTwin(scratchA, input, format);
    allocateTwin(scratchB, input, format);

    ScratchWorld* write = &scratchB;
    ScratchWorld* previous = &scratchA;
    bool first = true;
    for (int32_t k = earlierFrames; k >= 0; --k) {
        LayerCheckout checkout(host);
        PF_EffectWorld* source = &input;
        if (k > 0 && legacy) {
            source = held[k - 1].world();
        } else if (k > 0) {
            checkout.checkout(layerIndex, checkoutBase, -k);
            if (!checkout.hasPixels()) {
                checkHost(fillWorld(host, &output, nullptr));
                return;
            }
            source = checkout.world();
            requireUsableFrame(host, *source, kBytes);
            if (!sameFormat(host, *source, input))
                throw UnusableHostFrame{};
        }
        for (int pass = 0; pass < 2; ++pass) {
            const int32_t kept = pass == 0 ? fields : otherField(fields);
            checkHost(copyFrameClearingRest(host, source, write->world()));
            DeinterlaceFields<Pixel, Order>(host, renderRect, *write->world(), *source, kept);
            const bool needsMotion = !first;
            if (needsMotion)
                motionStep<Pixel, Order>(context, viewOfWorld<kBytes>(host, *write->world()),
                                         viewOfWorld<kBytes>(host, *previous->world()), kept,
                                         settings, motionX.as<float>(), motionY.as<float>());
            first = false;
            std::swap(write, previous);
            if (needsMotion && k == 0)
                break;
        }
    }
    // `previous` now holds the reconstruction written last.
    checkHost(copyFrame(host, previous->world(), &output));
}

template void MotionDeinterlace<Sarn_Pixel8, Sarn_OrderARGB>(AEHost&, const RenderContext&, PF_ParamIndex, A_long, const ViewRect&, PF_EffectWorld&, PF_EffectWorld&, int32_t, const MotionSettings&);
template void MotionDeinterlace<Sarn_Pixel16, Sarn_OrderARGB>(AEHost&, const RenderContext&, PF_ParamIndex, A_long, const ViewRect&, PF_EffectWorld&, PF_EffectWorld&, int32_t, const MotionSettings&);
template void MotionDeinterlace<Sarn_PixelF, Sarn_OrderARGB>(AEHost&, const RenderContext&, PF_ParamIndex, A_long, const ViewRect&, PF_EffectWorld&, PF_EffectWorld&, int32_t, const MotionSettings&);
template void MotionDeinterlace<Sarn_Pixel8, Sarn_OrderRGBA>(AEHost&, const RenderContext&, PF_ParamIndex, A_long, const ViewRect&, PF_EffectWorld&, PF_EffectWorld&, int32_t, const MotionSettings&);
template void MotionDeinterlace<Sarn_Pixel16, Sarn_OrderRGBA>(AEHost&, const RenderContext&, PF_ParamIndex, A_long, const ViewRect&, PF_EffectWorld&, PF_EffectWorld&, int32_t, const MotionSettings&);
template void MotionDeinterlace<Sarn_PixelF, Sarn_OrderRGBA>(AEHost&, const RenderContext&, PF_ParamIndex, A_long, const ViewRect&, PF_EffectWorld&, PF_EffectWorld&, int32_t, const MotionSettings&);
