#include "image/Sarn_ClearMem.h"
#include "image/Sarn_Lum.h"
#include "tests/support/Scopes.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace {

// Runs one Lum job over a 1-pixel image built from four channel values.
template <class Job, class In, class Out>
Out lumOfOne(std::array<In, 4> element) {
    TestHost host;
    Out result{};
    const Sarn_Rect rect{0, 1, 0, 1};
    Sarn_PixelPtr<typename Job::SourcePixel> src{reinterpret_cast<uint8_t*>(element.data()), 4 * sizeof(In)};
    Sarn_PixelPtr<typename Job::DestinationPixel> dst{reinterpret_cast<uint8_t*>(&result), sizeof(Out)};
    Job job(host.inData(), src, dst, &rect);
    job.execute();
    return result;
}

} // namespace

TEST(SarnLum, EightBitExamples) {
    // (3 c1 + 6 c2 + c3) / 10 + 0.5, truncated.
    EXPECT_EQ((lumOfOne<Sarn_Lum8ARGB, uint8_t, uint8_t>({255, 255, 255, 255})), 255);
    EXPECT_EQ((lumOfOne<Sarn_Lum8ARGB, uint8_t, uint8_t>({0, 255, 0, 0})), 77); // 76.5 + 0.5
    EXPECT_EQ((lumOfOne<Sarn_Lum8ARGB, uint8_t, uint8_t>({0, 0, 0, 255})), 26); // 25.5 + 0.5
    EXPECT_EQ((lumOfOne<Sarn_Lum8ARGB, uint8_t, uint8_t>({0, 1, 0, 0})), 0);    // 0.3 + 0.5
    EXPECT_EQ((lumOfOne<Sarn_Lum8ARGB, uint8_t, uint8_t>({200, 0, 0, 5})), 1);  // 0.5 + 0.5; alpha ignored
    EXPECT_EQ((lumOfOne<Sarn_Lum8RGBA, uint8_t, uint8_t>({10, 20, 30, 40})), 18);
    EXPECT_EQ((lumOfOne<Sarn_Lum8RGBA, uint8_t, uint8_t>({0, 0, 255, 0})), 26);
}

TEST(SarnLum, SixteenBitExamples) {
    EXPECT_EQ((lumOfOne<Sarn_Lum16ARGB, uint16_t, uint16_t>({0, 32768, 32768, 32768})), 32768);
    EXPECT_EQ((lumOfOne<Sarn_Lum16ARGB, uint16_t, uint16_t>({0, 32768, 0, 0})), 9830); // 9830.4
    EXPECT_EQ((lumOfOne<Sarn_Lum16ARGB, uint16_t, uint16_t>({0, 0, 5, 0})), 3);        // 3.0 + 0.5
    EXPECT_EQ((lumOfOne<Sarn_Lum16RGBA, uint16_t, uint16_t>({100, 200, 300, 7})), 180);
    EXPECT_EQ((lumOfOne<Sarn_Lum16RGBA, uint16_t, uint16_t>({0, 0, 15, 32768})), 2); // 1.5 + 0.5
}

TEST(SarnLum, FloatExamplesAreUnroundedAndUnclamped) {
    EXPECT_EQ((lumOfOne<Sarn_LumFARGB, float, float>({0.0f, 2.0f, 2.0f, 2.0f})), 2.0f);
    EXPECT_EQ((lumOfOne<Sarn_LumFARGB, float, float>({0.0f, -1.0f, 0.0f, 0.0f})), -3.0f / 10.0f);
    EXPECT_EQ((lumOfOne<Sarn_LumFARGB, float, float>({0.0f, 0.0f, 0.0f, 7.0f})), 7.0f / 10.0f);
    EXPECT_EQ((lumOfOne<Sarn_LumFRGBA, float, float>({10.0f, 20.0f, 30.0f, 40.0f})), 18.0f);
    EXPECT_EQ((lumOfOne<Sarn_LumFRGBA, float, float>({0.0f, 0.0f, 5.0f, 1.0f})), 0.5f);
}

// Only the rectangle is written, rows are cut into bands correctly for every
// band count, and strides are honoured on both sides.
TEST(SarnLum, WritesExactlyTheRectangleForAnyBandCount) {
    constexpr int width = 13, height = 11, srcStride = width * 4 + 8, dstStride = width + 5;
    std::vector<uint8_t> src(size_t(srcStride) * height);
    for (size_t i = 0; i < src.size(); ++i)
        src[i] = uint8_t(i * 37 + 11);
    const Sarn_Rect rect{2, 11, 1, 10};
    for (int workers : {0, 2}) {
        TestHost host(workers);
        for (int bands : {1, 2, 3, 7, 16}) {
            ThreadCountScope scope(bands);
            std::vector<uint8_t> dst(size_t(dstStride) * height, 0xEE);
            Sarn_Lum8ARGB job(host.inData(), {src.data(), srcStride}, {dst.data(), dstStride}, &rect);
            job.execute();
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < dstStride; ++x) {
                    const bool inside = x >= rect.x0 && x < rect.x1 && y >= rect.y0 && y < rect.y1;
                    int expected = 0xEE;
                    if (inside) {
                        const uint8_t* e = &src[size_t(y) * srcStride + size_t(x) * 4];
                        const int weighted = 3 * e[1] + 6 * e[2] + e[3]; // exact in integers
                        expected = (weighted + 5) / 10;                  // half up
                    }
                    ASSERT_EQ(dst[size_t(y) * dstStride + size_t(x)], expected)
                        << "x " << x << " y " << y << " bands " << bands << " workers " << workers;
                }
        }
    }
}

// Bands take their own byte ranges: together they clear the block, and only it.
TEST(SarnClearMem, ClearsWholeBlockAndNothingElse) {
    for (int workers : {0, 3}) {
        TestHost host(workers);
        for (int bands : {1, 2, 3, 7}) {
            ThreadCountScope scope(bands);
            for (size_t n : {size_t(0), size_t(1), size_t(5), size_t(10), size_t(4099)}) {
                std::vector<uint8_t> bytes(n + 32, 0xC3);
                Sarn_ClearMem<Sarn_AE_Environ> job(host.inData(), bytes.data() + 16, n);
                job.execute();
                for (size_t i = 0; i < bytes.size(); ++i) {
                    const bool inside = i >= 16 && i < 16 + n;
                    ASSERT_EQ(bytes[i], inside ? 0 : 0xC3) << "n " << n << " bands " << bands << " i " << i;
                }
            }
        }
    }
}
