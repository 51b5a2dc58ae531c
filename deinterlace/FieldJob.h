// What the bands of one field interpolation run share; filled by
// DeinterlaceFields, only read by the bands.
#pragma once

#include "image/ImageView.h"

class AEHost;

template <int BytesPerPixel>
struct FieldJob {
    ViewRect bandArea;                     // columns, and field rows of the output field view
    AEHost* host;                          // not read by the kernel
    const ImageView<BytesPerPixel>* output; // the rebuilt field of the output
    const ImageView<BytesPerPixel>* input;  // the kept field of the input
};
