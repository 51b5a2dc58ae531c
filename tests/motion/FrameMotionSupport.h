// Colour frames built from a smooth analytic picture, so that a shifted copy
// is exact at any sub-pixel offset, and a recorder of what a motion analysis
// reports.
#pragma once

#include "image/Sarn_Pixel.h"
#include "motion/Sarn_MotionObserver.h"

#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

// Values on the 8-bit scale, about 28 to 228.
inline double motionTestPicture(double x, double y) {
    return 128.0 + 45.0 * std::sin(0.21 * x + 0.11 * y) + 35.0 * std::cos(0.17 * y - 0.13 * x + 1.0) +
           20.0 * std::sin(0.05 * x + 0.23 * y + 2.0);
}

template <class Pixel>
struct TestFrame {
    TestFrame(int32_t width, int32_t height)
        : width(width), height(height), rowBytes(width * Pixel::bytes),
          bytes(size_t(rowBytes) * size_t(height)) {}

    // channel(c, x, y) gives channel c on the 8-bit scale; stored at the depth's full scale.
    void fill(const std::function<double(int, int32_t, int32_t)>& channel) {
        const double scale = Pixel::isFloat ? 1.0 / 255.0 : double(fullScale()) / 255.0;
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x)
                for (int c = 0; c < 4; ++c)
                    Pixel::store(data() + size_t(y) * rowBytes + size_t(x) * Pixel::bytes, c,
                                 float(channel(c, x, y) * scale));
    }
    // Grey picture shifted by (dx, dy): the content at (x, y) of the
    // unshifted picture appears at (x + dx, y + dy). Alpha is opaque.
    template <class Order>
    void picture(double dx, double dy) {
        fill([dx, dy](int c, int32_t x, int32_t y) {
            return c == Order::alpha ? 255.0 : motionTestPicture(x - dx, y - dy);
        });
    }
    static float fullScale() {
        if constexpr (Pixel::isFloat)
            return 1.0f;
        else
            return Pixel::fullScale;
    }
    uint8_t* data() { return bytes.data(); }

    int32_t width, height, rowBytes;
    std::vector<uint8_t> bytes;
};

struct LevelVisit {
    int32_t pass, level, width, height;
    bool computed;
    bool operator==(const LevelVisit&) const = default;
};

class MotionRecorder : public Sarn_MotionObserver {
public:
    void pass(int32_t index, const IGNC_Settings& s) override {
        currentPass = index;
        passes.push_back(s);
    }
    void level(int32_t level, int32_t width, int32_t height, bool computed) override {
        levels.push_back(LevelVisit{currentPass, level, width, height, computed});
    }
    std::vector<IGNC_Settings> passes;
    std::vector<LevelVisit> levels;
    int32_t currentPass = -1;
};
