// The input field view as the field kernel reads it, with the reach of the
// neighbourhood of one output pixel: columns x - 1 to x + 1 and field rows
// k (the kept row above) to k + 1 (the kept row below).
#pragma once

#include "image/ImageView.h"

#include <cstdint>

template <int BytesPerPixel>
struct NeighbourhoodView {
    ImageView<BytesPerPixel> view;
    int32_t reachLeft = -1;
    int32_t reachTop = 0;
    int32_t reachRight = 1;
    int32_t reachBottom = 1;
};
