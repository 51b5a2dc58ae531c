// One frame of a Y4M stream in memory: the planes as stored in the file (Y,
// then Cb and Cr unless mono), samples of one byte, or of two bytes in
// little-endian order above 8 bits.
#pragma once

#include "cli/Y4mHeader.h"

#include <bit>
#include <cstdint>
#include <memory>

namespace cli {

static_assert(std::endian::native == std::endian::little,
              "Y4M samples above 8 bits are little-endian and read in place");

struct Y4mFrameLayout {
    int planes = 0;                // 1 (mono) or 3
    int sampleBytes = 1;           // 1 or 2
    int width[3] = {}, height[3] = {};
    int64_t offset[3] = {};        // byte offset of each plane
    int64_t frameBytes = 0;

    Y4mFrameLayout() = default;
    explicit Y4mFrameLayout(const Y4mHeader& header);
    int64_t planeBytes(int plane) const { return int64_t(width[plane]) * height[plane] * sampleBytes; }
};

// The storage is taken when the frame is first touched, not when it is made,
// so that a stream whose header announces huge pictures costs nothing until
// its data arrives.
class Y4mFrame {
public:
    explicit Y4mFrame(const Y4mFrameLayout& layout) : layout_(layout) {}

    uint8_t* data() { return reinterpret_cast<uint8_t*>(storage()); }
    const uint8_t* data() const { return reinterpret_cast<const uint8_t*>(storage()); }
    // For a caller that overwrites every byte (a read): storage taken now is
    // not cleared, so its pages are only used as the bytes arrive.
    uint8_t* dataToOverwrite() { return reinterpret_cast<uint8_t*>(storage(false)); }
    int64_t size() const { return layout_.frameBytes; }
    const Y4mFrameLayout& layout() const { return layout_; }

    // The frame's own interlace tag (FRAME It, Ib, Ip); Unspecified when its
    // FRAME line has none.
    Y4mInterlace interlace = Y4mInterlace::Unspecified;

    // Samples of plane p, row y (T = uint8_t for 8-bit, uint16_t above).
    template <class T>
    T* row(int plane, int y) {
        return reinterpret_cast<T*>(data() + layout_.offset[plane]) + int64_t(y) * layout_.width[plane];
    }
    template <class T>
    const T* row(int plane, int y) const {
        return reinterpret_cast<const T*>(data() + layout_.offset[plane]) + int64_t(y) * layout_.width[plane];
    }

private:
    uint16_t* storage(bool cleared = true) const;

    Y4mFrameLayout layout_;
    // uint16_t storage so that 16-bit samples are accessed as the objects they are.
    mutable std::unique_ptr<uint16_t[]> storage_;
};

} // namespace cli
