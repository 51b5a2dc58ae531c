// Field views: every second row of an image, numbered in field rows. The
// rebuilt field's row 2k + r becomes field row k; the kept field's row 2k + q
// becomes field row k + q, so that for every rebuilt field row k the kept
// field rows k and k + 1 are the frame rows directly above and below it.
#pragma once

#include "image/ImageView.h"

#include <cstdint>

// Parity of the kept frame rows: 0 for field 1 (even rows, upper field),
// 1 for field 2 (odd rows, lower field). Any other value keeps the upper field.
inline int32_t keptParityOf(int32_t keptField) { return keptField == 2 ? 1 : 0; }

// Smallest row number not less than y with parity p (0 or 1); -1 is odd.
inline int32_t firstRowOfParity(int32_t y, int32_t parity) {
    return (y & 1) == parity ? y : y + 1;
}

// Field row of frame row y (of the matching parity): rebuilt rows 2k + r give
// k, kept rows 2k + q give k + q. Arithmetic shift floors negative rows.
inline int32_t rebuiltFieldRow(int32_t y) { return y >> 1; }
inline int32_t keptFieldRow(int32_t y, int32_t keptParity) { return (y >> 1) + keptParity; }

// The rows of parity `rebuiltParity` of `view` inside `area` (columns and
// rows as given), as a field view of the rebuilt field.
template <int BytesPerPixel>
ImageView<BytesPerPixel> rebuiltFieldView(const ImageView<BytesPerPixel>& view,
                                          const ViewRect& area, int32_t rebuiltParity) {
    const int32_t first = firstRowOfParity(area.top, rebuiltParity);
    const int32_t end = firstRowOfParity(area.bottom, rebuiltParity);
    ImageView<BytesPerPixel> field = cropView(view, ViewRect{area.left, first, area.right, end});
    field.stride = int32_t(int64_t(field.stride) * 2);
    field.rect = ViewRect{area.left, rebuiltFieldRow(first), area.right, rebuiltFieldRow(end)};
    return field;
}

// The rows of parity `keptParity` of the whole view, as a field view of the
// kept field.
template <int BytesPerPixel>
ImageView<BytesPerPixel> keptFieldView(const ImageView<BytesPerPixel>& view, int32_t keptParity) {
    const int32_t first = firstRowOfParity(view.rect.top, keptParity);
    const int32_t end = firstRowOfParity(view.rect.bottom, keptParity);
    ImageView<BytesPerPixel> field =
        cropView(view, ViewRect{view.rect.left, first, view.rect.right, end});
    field.stride = int32_t(int64_t(field.stride) * 2);
    field.rect = ViewRect{view.rect.left, keptFieldRow(first, keptParity), view.rect.right,
                          keptFieldRow(end, keptParity)};
    return field;
}
