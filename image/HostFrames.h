// Host frame helpers: scratch frames allocated from the host, fills and copies
// through the host's callbacks, and check-out of earlier layer frames.
#pragma once

#include "parallel/AEHost.h"

// One host frame owned for a scope; empty (null data) until allocated.
class ScratchWorld {
public:
    explicit ScratchWorld(AEHost& host) : host_(host) {}
    ~ScratchWorld() { release(); }
    ScratchWorld(const ScratchWorld&) = delete;
    ScratchWorld& operator=(const ScratchWorld&) = delete;

    // Releases any frame held, then, when width and height are positive, asks
    // the host for a new one (world suite, else the utility callbacks, which
    // know only "argb" and "ae16"). Throws std::bad_alloc when refused, and
    // UnusableHostFrame (after disposing of it) when the frame handed back
    // is not the size asked for or cannot hold its pixels.
    void allocate(A_long width, A_long height, PF_PixelFormat format, bool clear);
    void release();

    PF_EffectWorld* world() { return &world_; }
    bool empty() const { return world_.data == nullptr; }

private:
    AEHost& host_;
    PF_EffectWorld world_{};
    bool fromSuite_ = false;
};

// Fills `world` with `colour` (null: transparent black): the whole world under
// smart render, else its extent hint (moved by the output origin when it is the
// render's output) clipped to the world. Returns the host's result.
PF_Err fillWorld(AEHost& host, PF_EffectWorld* world, const PF_Pixel* colour);

// Copies through the host; the source rectangle is clipped to the source, the
// destination rectangle (when given) to the destination. Without one the host
// places the copy at the destination's top-left. Returns the host's result.
PF_Err copyWorld(AEHost& host, PF_EffectWorld* source, PF_EffectWorld* destination,
                 PF_Rect sourceRect, const PF_Rect* destinationRect);

// One checked-out frame of a layer parameter; checked in by scope.
class LayerCheckout {
public:
    explicit LayerCheckout(AEHost& host) : host_(host) {}
    ~LayerCheckout() { checkin(); }
    LayerCheckout(const LayerCheckout&) = delete;
    LayerCheckout& operator=(const LayerCheckout&) = delete;

    // Smart render: layer pixels with id checkoutId + frameOffset. Legacy:
    // parameter paramIndex at the current time + frameOffset time steps.
    PF_Err checkout(PF_ParamIndex paramIndex, A_long checkoutId, A_long frameOffset);
    void checkin();
    bool hasPixels() const;
    PF_EffectWorld* world() const { return world_; }
    PF_Err result() const { return result_; }

private:
    AEHost& host_;
    PF_ParamDef param_{};
    PF_EffectWorld* world_ = nullptr;
    PF_Err result_ = PF_Err_NONE;
    A_long checkoutId_ = 0;
    bool checkedOut_ = false;
};

// Thrown when a frame the host handed over cannot be addressed as described
// (see requireUsableFrame); the render answers PF_Err_BAD_CALLBACK_PARAM.
struct UnusableHostFrame {};

// True when `world` can be addressed with pixels of `bytesPerPixel` bytes (0:
// unknown, rows only checked for sign): width and height not negative, pixels
// present when there are any, rows not negative and at least a row of pixels
// apart, and, when `extentHint` is set, an extent hint that is not inverted.
bool usableFrame(const PF_EffectWorld& world, int bytesPerPixel, bool extentHint);

// Throws UnusableHostFrame unless usableFrame holds; extent hints matter only
// to legacy renders.
void requireUsableFrame(const AEHost& host, const PF_EffectWorld& world, int bytesPerPixel);

// True when the two frames hold one pixel format: by the world suite, else by
// the deep flag. A format the suite cannot tell counts as different.
bool sameFormat(const AEHost& host, const PF_EffectWorld& a, const PF_EffectWorld& b);

// The time `frameOffset` time steps from the current one, wrapping as the
// host's 32-bit times do rather than overflowing.
A_long timeAtOffset(const PF_InData* inData, A_long frameOffset);

// Clips a host rectangle to a world's bounds.
PF_Rect clipToWorld(PF_Rect rect, const PF_EffectWorld* world);
