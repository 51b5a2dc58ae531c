#include "image/CopyFrame.h"

#include "image/HostFrames.h"

#include <algorithm>
#include <cstdint>

namespace {

// ViewRect's order in layer coordinates, 64-bit so that no origin or shift a
// host sends can overflow; a zero-sized one is empty (it covers nothing).
struct LayerRect {
    int64_t left, top, right, bottom;
    bool contains(const LayerRect& other) const {
        return other.right <= other.left || other.bottom <= other.top ||
               (left <= other.left && top <= other.top && right >= other.right &&
                bottom >= other.bottom);
    }
};

// A host rectangle built by field names, so that it does not depend on the
// order in which the host declares them.
PF_Rect hostRect(int64_t left, int64_t top, int64_t right, int64_t bottom) {
    PF_Rect rect{};
    rect.left = decltype(rect.left)(left);
    rect.top = decltype(rect.top)(top);
    rect.right = decltype(rect.right)(right);
    rect.bottom = decltype(rect.bottom)(bottom);
    return rect;
}

// A buffer's processing area, clamped to the buffer, in layer coordinates:
// the render's output buffer lies shifted by the output origin.
LayerRect areaInLayer(const AEHost& host, const PF_EffectWorld* world, int64_t& shiftX,
                      int64_t& shiftY) {
    const PF_Rect area = clipToWorld(host.processingArea(world), world);
    shiftX = world == host.output ? host.inData->output_origin_x : 0;
    shiftY = world == host.output ? host.inData->output_origin_y : 0;
    return {area.left - shiftX, area.top - shiftY, area.right - shiftX, area.bottom - shiftY};
}

// Smart render: a buffer's place in the layer.
LayerRect placeInLayer(const PF_EffectWorld* world) {
    return {world->origin_x, world->origin_y, int64_t(world->origin_x) + world->width,
            int64_t(world->origin_y) + world->height};
}

} // namespace

PF_Err copyFrame(AEHost& host, PF_EffectWorld* source, PF_EffectWorld* destination) {
    if (host.smartCallbacks != nullptr) {
        // The common part of the two places, in each buffer's own coordinates:
        // a source lying right of or below the destination lands inside it,
        // not at its top-left.
        const LayerRect s = placeInLayer(source), d = placeInLayer(destination);
        const int64_t left = std::max(s.left, d.left), top = std::max(s.top, d.top);
        const int64_t right = std::max(std::min(s.right, d.right), left);
        const int64_t bottom = std::max(std::min(s.bottom, d.bottom), top);
        const PF_Rect sourceRect =
            hostRect(left - s.left, top - s.top, right - s.left, bottom - s.top);
        const PF_Rect destinationRect =
            hostRect(left - d.left, top - d.top, right - d.left, bottom - d.top);
        return copyWorld(host, source, destination, sourceRect, &destinationRect);
    }
    // Both areas describe parts of the layer; copy their common part, each
    // rectangle in its own buffer's coordinates.
    int64_t sx, sy, dx, dy;
    const LayerRect s = areaInLayer(host, source, sx, sy);
    const LayerRect d = areaInLayer(host, destination, dx, dy);
    const LayerRect common{std::max(s.left, d.left), std::max(s.top, d.top),
                           std::max(std::min(s.right, d.right), std::max(s.left, d.left)),
                           std::max(std::min(s.bottom, d.bottom), std::max(s.top, d.top))};
    const PF_Rect sourceRect = hostRect(common.left + sx, common.top + sy, common.right + sx,
                                        common.bottom + sy);
    const PF_Rect destinationRect = hostRect(common.left + dx, common.top + dy,
                                             common.right + dx, common.bottom + dy);
    return copyWorld(host, source, destination, sourceRect, &destinationRect);
}

PF_Err copyFrameClearingRest(AEHost& host, PF_EffectWorld* source, PF_EffectWorld* destination) {
    bool covered;
    if (host.smartCallbacks != nullptr) {
        covered = placeInLayer(source).contains(placeInLayer(destination));
    } else {
        int64_t sx, sy, dx, dy;
        covered = areaInLayer(host, source, sx, sy).contains(areaInLayer(host, destination, dx, dy));
    }
    if (!covered) {
        PF_InData* in = host.inData;
        if (PF_Err err = in->utils->fill(in->effect_ref, nullptr, nullptr, destination))
            return err;
    }
    return copyFrame(host, source, destination);
}
