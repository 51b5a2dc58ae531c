#include "image/Sarn_Resize.h"
#include "tests/support/Scopes.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <random>
#include <vector>

namespace {

// A float image of w x h, row-major, stride w floats.
struct FloatImage {
    int w, h;
    std::vector<float> v;
    FloatImage(int w, int h, float fill = 0.0f) : w(w), h(h), v(size_t(w) * h, fill) {}
    int32_t stride() const { return w * 4; }
};

std::vector<float> resizeFloat(TestHost& host, FloatImage& src, int dw, int dh, float scale = 1.0f) {
    FloatImage dst(dw, dh, -777.0f);
    Sarn_ResizeF resize(host.inData(), src.v.data(), dst.v.data(), src.w, src.h, dw, dh, src.stride(),
                        dst.stride(), scale, 1.0f);
    resize.run();
    return dst.v;
}

// ---- A plain per-pixel resize written straight from the definition: kernel
// evaluated into a phase table, positions walked one sample at a time, taps
// read through a clamp (and skipped past the far end while the first tap is
// before the start). No ring, no column table, no padding.
float cubic(float x) {
    const float a = std::fabs(x);
    if (a < 1.0f)
        return 0.5f * (3.0f * (a * a * a) - 5.0f * (a * a) + 2.0f);
    if (a < 2.0f)
        return 0.5f * (-(a * a * a) + 5.0f * (a * a) - 8.0f * a + 4.0f);
    return 0.0f;
}

struct PlainAxis {
    float step, offset;
    int taps;
    std::vector<std::vector<float>> w; // per phase, trimmed to its tap count

    PlainAxis(int srcLen, int dstLen, float axisScale) {
        step = float(srcLen - 1) / float(dstLen - 1);
        const float m = std::max(step, 1.0f);
        offset = -2.0f * m;
        taps = std::max(1, int(std::ceil(double(4.0f * m))));
        for (int p = 0; p <= 256; ++p) {
            const float d = p == 0 ? 0.0f : float(p) / 256.0f - 1.0f;
            std::vector<float> raw;
            for (int j = 0; j < taps; ++j)
                raw.push_back(cubic((float(j) - d + offset) / m));
            while (!raw.empty() && raw.back() == 0.0f)
                raw.pop_back();
            if (raw.size() <= 1)
                raw.assign(1, 1.0f);
            float sum = 0.0f;
            for (float r : raw)
                sum += r;
            for (float& r : raw)
                r *= axisScale / sum;
            w.push_back(raw);
        }
    }
    // First tap and phase of coordinates first .. first + n - 1, the first
    // one computed directly and the rest incrementally.
    void walk(int first, int n, std::vector<int>& index, std::vector<int>& phase) const {
        const float g = float(first) * step + offset;
        float i = std::floor(g + 0.998046875f);
        float f = g - i;
        if (f < 0.0f)
            f += 1.0f;
        for (int k = 0; k < n; ++k) {
            if (k > 0) {
                const float next = f + step;
                i += std::floor(next + 0.998046875f) - std::floor(f + 0.998046875f);
                f = next - std::floor(next);
            }
            index.push_back(int(i));
            phase.push_back(int(f * 256.0f + 0.5f));
        }
    }
    // Weighted sum over taps, `sample(k)` giving the source at index k in range.
    template <class Sample>
    float apply(int i, int p, int len, Sample sample) const {
        const std::vector<float>& wp = w[size_t(p)];
        float sum = 0.0f;
        bool firstTap = true;
        for (size_t j = 0; j < wp.size(); ++j) {
            const int k = i + int(j);
            if (i < 0 && k >= len)
                break;
            const float s = sample(std::clamp(k, 0, len - 1));
            sum = firstTap ? wp[j] * s : sum + wp[j] * s;
            firstTap = false;
        }
        return sum;
    }
};

std::vector<float> plainResize(const FloatImage& src, int dw, int dh, float scale, int bands) {
    const PlainAxis hx(src.w, dw, 1.0f), vy(src.h, dh, scale);
    std::vector<int> ci, cp;
    hx.walk(0, dw, ci, cp);
    std::vector<float> out(size_t(dw) * dh);
    for (int b = 0; b < bands; ++b) {
        const int y0 = b * dh / bands, y1 = (b + 1) * dh / bands;
        std::vector<int> ri, rp;
        vy.walk(y0, y1 - y0, ri, rp);
        for (int y = y0; y < y1; ++y)
            for (int x = 0; x < dw; ++x) {
                auto row = [&](int r) {
                    return hx.apply(ci[size_t(x)], cp[size_t(x)], src.w,
                                    [&](int k) { return src.v[size_t(r) * src.w + k]; });
                };
                out[size_t(y) * dw + x] = vy.apply(std::min(ri[size_t(y - y0)], src.h - 1),
                                                   rp[size_t(y - y0)], src.h, row);
            }
    }
    return out;
}

FloatImage randomImage(int w, int h, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(-50.0f, 300.0f);
    FloatImage img(w, h);
    for (float& v : img.v)
        v = dist(rng);
    return img;
}

} // namespace

TEST(SarnResize, EqualSizeReproducesEveryView) {
    TestHost host(2);
    for (int bands : {1, 2, 3, 7}) {
        ThreadCountScope scope(bands);
        std::vector<uint8_t> src8(64), dst8(64);
        std::vector<uint16_t> src16(64), dst16(64);
        for (int i = 0; i < 64; ++i) {
            src8[size_t(i)] = uint8_t(i * 29 + 3);
            src16[size_t(i)] = uint16_t(i * 511 + (i == 5 ? 32768 - 5 * 511 : 0));
        }
        Sarn_Resize8(host.inData(), src8.data(), dst8.data(), 8, 8, 8, 8, 8, 8, 1.0f, 1.0f).run();
        Sarn_Resize16(host.inData(), src16.data(), dst16.data(), 8, 8, 8, 8, 16, 16, 1.0f, 1.0f).run();
        EXPECT_EQ(src8, dst8);
        EXPECT_EQ(src16, dst16);
        FloatImage f = randomImage(8, 8, 7);
        EXPECT_EQ(resizeFloat(host, f, 8, 8), f.v);
    }
    EXPECT_EQ(host.liveHandles(), 0);
}

// Clamping of overshoot at a step edge enlarged 5 -> 9, horizontally and
// vertically: 17/16 of full scale stores full scale, -1/16 stores 0, and the
// midpoint half way up the edge rounds half up.
TEST(SarnResize, IntegerOutputsClampOvershoot) {
    TestHost host;
    const int edge[5] = {0, 0, 1, 1, 1};
    const int expected[9] = {0, 0, 0, 1, 2, 2, 2, 2, 2}; // -1/16, 1/2 and 17/16 of full scale
    for (const bool vertical : {false, true}) {
        std::vector<uint8_t> src8(25), dst8(81);
        std::vector<uint16_t> src16(25), dst16(81);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 5; ++x) {
                src8[size_t(y * 5 + x)] = uint8_t(255 * edge[vertical ? y : x]);
                src16[size_t(y * 5 + x)] = uint16_t(32768 * edge[vertical ? y : x]);
            }
        Sarn_Resize8(host.inData(), src8.data(), dst8.data(), 5, 5, 9, 9, 5, 9, 1.0f, 1.0f).run();
        Sarn_Resize16(host.inData(), src16.data(), dst16.data(), 5, 5, 9, 9, 10, 18, 1.0f, 1.0f).run();
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 9; ++x) {
                const int level = expected[vertical ? y : x]; // 0, half (rounded up) or full
                EXPECT_EQ(dst8[size_t(y * 9 + x)], level == 1 ? 128 : 255 * level / 2) << x << "," << y;
                EXPECT_EQ(dst16[size_t(y * 9 + x)], 16384 * level) << x << "," << y;
            }
    }
    EXPECT_EQ(host.liveHandles(), 0);
}

// Motion components inside 36-byte elements: shrinking with v = 0.5 halves a
// constant field, enlarging with v = 2 doubles it, and nothing but the chosen
// float of each element is touched.
TEST(SarnResize, MotionComponentScalesAndWritesOnlyItsFloat) {
    TestHost host(2);
    struct Case { int sw, sh, dw, dh; float value, scale; int component; };
    const Case cases[] = {{16, 12, 8, 6, 4.0f, 0.5f, 0}, {8, 6, 16, 12, 1.0f, 2.0f, 1},
                          {37, 21, 18, 10, 4.0f, 0.5f, 1}, {18, 10, 37, 21, 1.0f, 2.0f, 0}};
    for (const Case& c : cases) {
        std::vector<float> src(size_t(c.sw) * c.sh * 9, 99.0f), dst(size_t(c.dw) * c.dh * 9, -5.0f);
        for (size_t e = 0; e < src.size() / 9; ++e)
            src[e * 9 + size_t(c.component)] = c.value;
        Sarn_ResizeMotion(host.inData(), src.data() + c.component, dst.data() + c.component, c.sw,
                          c.sh, c.dw, c.dh, c.sw * 36, c.dw * 36, c.scale, 1.0f)
            .run();
        for (size_t e = 0; e < dst.size() / 9; ++e)
            for (int k = 0; k < 9; ++k) {
                if (k == c.component)
                    EXPECT_NEAR(dst[e * 9 + size_t(k)], 2.0f, 2e-6f) << "element " << e;
                else
                    ASSERT_EQ(dst[e * 9 + size_t(k)], -5.0f) << "element " << e << " float " << k;
            }
    }
}

// The banded, ring-buffered resize agrees bit for bit with the plain
// per-pixel computation at every band count, shrinking and enlarging.
TEST(SarnResize, MatchesPlainComputationAtEveryBandCount) {
    struct Size { int sw, sh, dw, dh; float scale; };
    const Size sizes[] = {{37, 23, 16, 11, 1.0f}, {16, 11, 37, 23, 2.0f}, {61, 29, 30, 14, 0.5f},
                          {20, 9, 7, 40, 1.0f},   {2, 2, 5, 3, 1.0f},     {40, 3, 40, 2, 1.0f},
                          {203, 77, 101, 39, 0.5f}, {101, 39, 203, 77, 2.0f},
                          {3, 4, 2, 4, 1.0f}}; // narrower than the kernel: taps past the end skipped
    for (int workers : {0, 2}) {
        TestHost host(workers);
        for (const Size& s : sizes) {
            FloatImage src = randomImage(s.sw, s.sh, unsigned(s.sw * 100 + s.dh));
            for (int bands : {1, 2, 3, 7}) {
                ThreadCountScope scope(bands);
                ASSERT_EQ(resizeFloat(host, src, s.dw, s.dh, s.scale), plainResize(src, s.dw, s.dh, s.scale, bands))
                    << s.sw << "x" << s.sh << " -> " << s.dw << "x" << s.dh << " bands " << bands;
            }
        }
        EXPECT_EQ(host.liveHandles(), 0);
    }
}

// Every host memory request that fails ends in std::bad_alloc with nothing
// written and no handle left behind.
TEST(SarnResize, FailedHostMemoryThrowsBeforeWritingAndLeaksNothing) {
    TestHost host(2);
    ThreadCountScope scope(3);
    FloatImage src = randomImage(24, 16, 5);
    int failures = 0;
    for (int n = 1; n <= 8; ++n) {
        FloatImage dst(12, 8, -1.0f);
        host.failHandleRequest(n);
        try {
            Sarn_ResizeF resize(host.inData(), src.v.data(), dst.v.data(), 24, 16, 12, 8, 96, 48, 1.0f, 1.0f);
            resize.run();
        } catch (const std::bad_alloc&) {
            ++failures;
            for (float v : dst.v)
                ASSERT_EQ(v, -1.0f) << "request " << n;
        }
        host.failHandleRequest(0);
        EXPECT_EQ(host.liveHandles(), 0) << "request " << n;
        EXPECT_EQ(host.lockedHandles(), 0) << "request " << n;
    }
    // Two tables, the ring and the row pointers.
    EXPECT_EQ(failures, 4);
}

TEST(SarnResize, RejectsSidesBelowTwo) {
    TestHost host;
    float pixels[4] = {};
    EXPECT_THROW(Sarn_ResizeF(host.inData(), pixels, pixels, 2, 2, 1, 2, 8, 4, 1.0f, 1.0f), Kel::Exception);
    EXPECT_THROW(Sarn_ResizeF(host.inData(), pixels, pixels, 2, 1, 2, 2, 8, 8, 1.0f, 1.0f), Kel::Exception);
    EXPECT_EQ(host.liveHandles(), 0);
}
