#include "image/HostFrames.h"

#include "image/PixelFormats.h"

#include <algorithm>
#include <cstdint>
#include <new>

namespace {

// A rectangle's sides, 64-bit, clipped to a world's bounds (an empty world
// when its sizes are negative) and stored by field name.
PF_Rect clipped(int64_t left, int64_t top, int64_t right, int64_t bottom,
                const PF_EffectWorld* world) {
    const int64_t width = std::max<A_long>(world->width, 0);
    const int64_t height = std::max<A_long>(world->height, 0);
    PF_Rect rect{};
    rect.left = decltype(rect.left)(std::clamp<int64_t>(left, 0, width));
    rect.right = decltype(rect.right)(std::clamp<int64_t>(right, 0, width));
    rect.top = decltype(rect.top)(std::clamp<int64_t>(top, 0, height));
    rect.bottom = decltype(rect.bottom)(std::clamp<int64_t>(bottom, 0, height));
    return rect;
}

} // namespace

PF_Rect clipToWorld(PF_Rect rect, const PF_EffectWorld* world) {
    return clipped(rect.left, rect.top, rect.right, rect.bottom, world);
}

A_long timeAtOffset(const PF_InData* inData, A_long frameOffset) {
    return A_long(uint32_t(inData->current_time) +
                  uint32_t(frameOffset) * uint32_t(inData->time_step));
}

bool usableFrame(const PF_EffectWorld& world, int bytesPerPixel, bool extentHint) {
    if (world.width < 0 || world.height < 0 || world.rowbytes < 0)
        return false;
    if (world.width > 0 && world.height > 0 && world.data == nullptr)
        return false;
    if (int64_t(world.rowbytes) < int64_t(world.width) * bytesPerPixel)
        return false;
    const PF_Rect& hint = world.extent_hint;
    return !extentHint || (hint.left <= hint.right && hint.top <= hint.bottom);
}

void requireUsableFrame(const AEHost& host, const PF_EffectWorld& world, int bytesPerPixel) {
    if (!usableFrame(world, bytesPerPixel, host.smartCallbacks == nullptr))
        throw UnusableHostFrame{};
}

bool sameFormat(const AEHost& host, const PF_EffectWorld& a, const PF_EffectWorld& b) {
    if (host.worldSuite == nullptr)
        return (a.world_flags & PF_WorldFlag_DEEP) == (b.world_flags & PF_WorldFlag_DEEP);
    PF_PixelFormat formatA = PF_PixelFormat_INVALID, formatB = PF_PixelFormat_INVALID;
    return host.worldSuite->PF_GetPixelFormat(&a, &formatA) == PF_Err_NONE &&
           host.worldSuite->PF_GetPixelFormat(&b, &formatB) == PF_Err_NONE && formatA == formatB;
}

void ScratchWorld::allocate(A_long width, A_long height, PF_PixelFormat format, bool clear) {
    release();
    if (width <= 0 || height <= 0)
        return;
    PF_InData* in = host_.inData;
    PF_Err err;
    if (host_.worldSuite != nullptr) {
        err = host_.worldSuite->PF_NewWorld(in->effect_ref, width, height, clear ? 1 : 0, format,
                                            &world_);
        fromSuite_ = true;
    } else {
        PF_NewWorldFlags flags;
        if (format == PF_PixelFormat_ARGB32)
            flags = PF_NewWorldFlag_NONE;
        else if (format == PF_PixelFormat_ARGB64)
            flags = PF_NewWorldFlag_DEEP_PIXELS;
        else
            throw std::bad_alloc();
        if (clear)
            flags |= PF_NewWorldFlag_CLEAR_PIXELS;
        err = in->utils->new_world(in->effect_ref, width, height, flags, &world_);
        fromSuite_ = false;
    }
    if (err != PF_Err_NONE) {
        world_ = PF_EffectWorld{};
        throw std::bad_alloc();
    }
    const PixelFormatInfo info = pixelFormatInfo(format);
    if (world_.width != width || world_.height != height ||
        !usableFrame(world_, info.known ? bytesPerPixel(info.depth) : 0, false)) {
        release();
        world_ = PF_EffectWorld{};
        throw UnusableHostFrame{};
    }
}

void ScratchWorld::release() {
    if (world_.data == nullptr)
        return;
    PF_InData* in = host_.inData;
    if (fromSuite_ && host_.worldSuite != nullptr)
        host_.worldSuite->PF_DisposeWorld(in->effect_ref, &world_);
    else
        in->utils->dispose_world(in->effect_ref, &world_);
    world_ = PF_EffectWorld{};
}

PF_Err fillWorld(AEHost& host, PF_EffectWorld* world, const PF_Pixel* colour) {
    PF_InData* in = host.inData;
    if (host.smartCallbacks != nullptr)
        return in->utils->fill(in->effect_ref, colour, nullptr, world);
    const PF_Rect& hint = world->extent_hint;
    const int64_t dx = world == host.output ? in->output_origin_x : 0;
    const int64_t dy = world == host.output ? in->output_origin_y : 0;
    PF_Rect rect = clipped(hint.left + dx, hint.top + dy, hint.right + dx, hint.bottom + dy, world);
    return in->utils->fill(in->effect_ref, colour, &rect, world);
}

PF_Err copyWorld(AEHost& host, PF_EffectWorld* source, PF_EffectWorld* destination,
                 PF_Rect sourceRect, const PF_Rect* destinationRect) {
    PF_InData* in = host.inData;
    PF_Rect src = clipToWorld(sourceRect, source);
    if (destinationRect == nullptr)
        return in->utils->copy(in->effect_ref, source, destination, &src, nullptr);
    PF_Rect dst = clipToWorld(*destinationRect, destination);
    return in->utils->copy(in->effect_ref, source, destination, &src, &dst);
}

PF_Err LayerCheckout::checkout(PF_ParamIndex paramIndex, A_long checkoutId, A_long frameOffset) {
    checkin();
    PF_InData* in = host_.inData;
    world_ = nullptr;
    param_ = PF_ParamDef{};
    if (host_.smartCallbacks != nullptr) {
        checkoutId_ = A_long(uint32_t(checkoutId) + uint32_t(frameOffset));
        result_ = host_.smartCallbacks->checkout_layer_pixels(in->effect_ref, checkoutId_, &world_);
    } else {
        result_ = in->inter.checkout_param(in->effect_ref, paramIndex,
                                           timeAtOffset(in, frameOffset),
                                           in->time_step, in->time_scale, &param_);
        if (result_ == PF_Err_NONE)
            world_ = &param_.u.ld;
    }
    checkedOut_ = result_ == PF_Err_NONE;
    return result_;
}

void LayerCheckout::checkin() {
    if (!checkedOut_)
        return;
    checkedOut_ = false;
    PF_InData* in = host_.inData;
    if (host_.smartCallbacks != nullptr)
        host_.smartCallbacks->checkin_layer_pixels(in->effect_ref, checkoutId_);
    else
        in->inter.checkin_param(in->effect_ref, &param_);
}

bool LayerCheckout::hasPixels() const {
    return checkedOut_ && result_ == PF_Err_NONE && world_ != nullptr && world_->data != nullptr;
}
