#include "cli/Y4mFrame.h"

namespace cli {

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

uint16_t* Y4mFrame::storage(bool cleared) const {
    if (!storage_) {
        const size_t count = size_t((layout_.frameBytes + 1) / 2);
        storage_.reset(cleared ? new uint16_t[count]() : new uint16_t[count]);
    }
    return storage_.get();
}

} // namespace cli
