// The image view of a host frame buffer, in the coordinates the render works
// in: under Smart Render the buffer's origin places it; in a legacy render the
// view is the buffer's processing area, and the output buffer is moved by
// minus the output origin so that it lines up with the input.
#pragma once

#include "image/ImageView.h"
#include "parallel/AEHost.h"

template <int BytesPerPixel>
ImageView<BytesPerPixel> viewOfWorld(const AEHost& host, const PF_EffectWorld& buffer) {
    ImageView<BytesPerPixel> view;
    view.data = reinterpret_cast<uint8_t*>(buffer.data);
    view.stride = buffer.rowbytes;
    if (host.smartCallbacks != nullptr) {
        view.rect = ViewRect{buffer.origin_x, buffer.origin_y, buffer.origin_x + buffer.width,
                             buffer.origin_y + buffer.height};
        return view;
    }
    view.rect = ViewRect{0, 0, buffer.width, buffer.height};
    const PF_Rect area = host.processingArea(&buffer);
    view = cropView(view, ViewRect{area.left, area.top, area.right, area.bottom});
    if (&buffer == host.output) {
        view.rect.left -= host.inData->output_origin_x;
        view.rect.right -= host.inData->output_origin_x;
        view.rect.top -= host.inData->output_origin_y;
        view.rect.bottom -= host.inData->output_origin_y;
    }
    return view;
}
