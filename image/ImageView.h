// Rectangles {left, top, right, bottom} and image views (rectangle, pointer to
// the pixel at (left, top), row stride in bytes) of the frame pipeline and the
// field kernel.
#pragma once

#include <algorithm>
#include <cstdint>

// Columns left .. right - 1 and rows top .. bottom - 1. A rectangle whose
// right is less than its left (or bottom less than top) is empty; zero width
// or height is not. The host's PF_LRect order, in the render's view
// coordinates; Sarn_Rect is the library jobs' rectangle, in their order.
struct ViewRect {
    int32_t left, top, right, bottom;

    bool isEmpty() const { return right < left || bottom < top; }
    int32_t width() const { return right - left; }
    int32_t height() const { return bottom - top; }
    bool operator==(const ViewRect&) const = default;
};

// Replaces r by its intersection with s (possibly inverted).
inline void intersectRect(ViewRect& r, const ViewRect& s) {
    r.left = std::max(r.left, s.left);
    r.top = std::max(r.top, s.top);
    r.right = std::min(r.right, s.right);
    r.bottom = std::min(r.bottom, s.bottom);
}

template <int BytesPerPixel>
struct ImageView {
    static constexpr int bytesPerPixel = BytesPerPixel;

    ViewRect rect{0, 0, 0, 0};
    uint8_t* data = nullptr; // the pixel at (rect.left, rect.top)
    int32_t stride = 0;      // bytes from one row to the next

    uint8_t* pixel(int32_t x, int32_t y) const {
        return data + int64_t(y - rect.top) * stride + int64_t(x - rect.left) * BytesPerPixel;
    }
};

// Narrows the view to its intersection with `rect`. A rectangle that misses
// the view leaves a null pointer; a zero-width or zero-height one still moves
// the pointer.
template <int BytesPerPixel>
ImageView<BytesPerPixel> cropView(const ImageView<BytesPerPixel>& view, const ViewRect& rect) {
    ImageView<BytesPerPixel> cropped = view;
    intersectRect(cropped.rect, rect);
    if (cropped.rect.isEmpty() || view.data == nullptr)
        cropped.data = nullptr;
    else
        cropped.data = view.pixel(cropped.rect.left, cropped.rect.top);
    return cropped;
}
