#include "host/CopyFrame.h"

#include "image/HostFrames.h"

#include <algorithm>

namespace {

struct LayerRect {
    A_long left, top, right, bottom;
};

// A buffer's processing area, clamped to the buffer, in layer coordinates:
// the render's output buffer lies shifted by the output origin.
LayerRect areaInLayer(const AEHost& host, const PF_EffectWorld* world, A_long& shiftX,
                      A_long& shiftY) {
    const PF_Rect area = clipToWorld(host.processingArea(world), world);
    shiftX = world == host.output ? host.inData->output_origin_x : 0;
    shiftY = world == host.output ? host.inData->output_origin_y : 0;
    return {area.left - shiftX, area.top - shiftY, area.right - shiftX, area.bottom - shiftY};
}

} // namespace

PF_Err copyFrame(AEHost& host, PF_EffectWorld* source, PF_EffectWorld* destination) {
    if (host.smartCallbacks != nullptr) {
        const A_long dx = destination->origin_x - source->origin_x;
        const A_long dy = destination->origin_y - source->origin_y;
        const PF_Rect sourceRect{std::max<A_long>(dx, 0), std::max<A_long>(dy, 0),
                                 std::min<A_long>(destination->width + dx, source->width),
                                 std::min<A_long>(destination->height + dy, source->height)};
        return copyWorld(host, source, destination, sourceRect, nullptr);
    }
    // Both areas describe parts of the layer; copy their common part, each
    // rectangle in its own buffer's coordinates.
    A_long sx, sy, dx, dy;
    const LayerRect s = areaInLayer(host, source, sx, sy);
    const LayerRect d = areaInLayer(host, destination, dx, dy);
    const LayerRect common{std::max(s.left, d.left), std::max(s.top, d.top),
                           std::max(std::min(s.right, d.right), std::max(s.left, d.left)),
                           std::max(std::min(s.bottom, d.bottom), std::max(s.top, d.top))};
    const PF_Rect sourceRect{common.left + sx, common.top + sy, common.right + sx,
                             common.bottom + sy};
    const PF_Rect destinationRect{common.left + dx, common.top + dy, common.right + dx,
                                  common.bottom + dy};
    return copyWorld(host, source, destination, sourceRect, &destinationRect);
}
