#include "cli/Y4mFrame.h"

Y4mFrameLayout::Y4mFrameLayout(const Y4mHeader& header) {
    sampleBytes = header.bitDepth > 8 ? 2 : 1;
    width[0] = header.width;
    height[0] = header.height;
    // Odd sizes round the chroma planes up, as every Y4M writer does.
    const int halfWidth = int((int64_t(header.width) + 1) / 2);
    const int halfHeight = int((int64_t(header.height) + 1) / 2);
    switch (header.chroma) {
    case Y4mChroma::Mono:
        planes = 1;
        break;
    case Y4mChroma::C420:
        planes = 3;
        width[1] = width[2] = halfWidth;
        height[1] = height[2] = halfHeight;
        break;
    case Y4mChroma::C422:
        planes = 3;
        width[1] = width[2] = halfWidth;
        height[1] = height[2] = header.height;
        break;
    case Y4mChroma::C444:
        planes = 3;
        width[1] = width[2] = header.width;
        height[1] = height[2] = header.height;
        break;
    }
    int64_t at = 0;
    for (int p = 0; p < planes; ++p) {
        offset[p] = at;
        at += planeBytes(p);
    }
    frameBytes = at;
}

Y4mFrame::Y4mFrame(const Y4mFrameLayout& layout)
    : layout_(layout), storage_(new uint16_t[size_t((layout.frameBytes + 1) / 2)]()) {}
