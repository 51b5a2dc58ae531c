#include "image/HostFrames.h"

#include <algorithm>
#include <new>

PF_Rect clipToWorld(PF_Rect rect, const PF_EffectWorld* world) {
    rect.left = std::clamp<A_long>(rect.left, 0, world->width);
    rect.right = std::clamp<A_long>(rect.right, 0, world->width);
    rect.top = std::clamp<A_long>(rect.top, 0, world->height);
    rect.bottom = std::clamp<A_long>(rect.bottom, 0, world->height);
    return rect;
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
    PF_Rect rect = world->extent_hint;
    if (world == host.output) {
        rect.left += in->output_origin_x;
        rect.right += in->output_origin_x;
        rect.top += in->output_origin_y;
        rect.bottom += in->output_origin_y;
    }
    rect = clipToWorld(rect, world);
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
        checkoutId_ = checkoutId + frameOffset;
        result_ = host_.smartCallbacks->checkout_layer_pixels(in->effect_ref, checkoutId_, &world_);
    } else {
        result_ = in->inter.checkout_param(in->effect_ref, paramIndex,
                                           in->current_time + frameOffset * in->time_step,
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
