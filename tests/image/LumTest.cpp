#include "image/Sarn_ClearMem.h"
#include "image/Sarn_Lum.h"
#include "tests/support/Scopes.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace {

template <class T>
T channelAt(const std::vector<uint8_t>& bytes, size_t at) {
    T v;
    std::memcpy(&v, bytes.data() + at, sizeof(T));
    return v;
}

template <class JobT, class OrderT>
struct Lum {
    using Job = JobT;
    using Order = OrderT;
};
template <class L>
class SarnLum : public ::testing::Test {};
using LumJobs = ::testing::Types<Lum<Sarn_Lum8ARGB, Sarn_OrderARGB>, Lum<Sarn_Lum8RGBA, Sarn_OrderRGBA>,
                                 Lum<Sarn_Lum16ARGB, Sarn_OrderARGB>, Lum<Sarn_Lum16RGBA, Sarn_OrderRGBA>,
                                 Lum<Sarn_LumFARGB, Sarn_OrderARGB>, Lum<Sarn_LumFRGBA, Sarn_OrderRGBA>>;
TYPED_TEST_SUITE(SarnLum, LumJobs);

} // namespace

// L = (3 c1 + 6 c2 + c3) / 10 over the order's colour channels, alpha
// ignored: integers rounded half up (exact in integers: (sum + 5) / 10),
// floats neither rounded nor clamped. Random channels, full scale and zero
// among them, and floats outside [0, 1]. Only the rectangle is written, for
// every band count, with strides honoured on both sides.
TYPED_TEST(SarnLum, DefinitionOverExactlyTheRectangleForAnyBandCount) {
    using Source = typename TypeParam::Job::SourcePixel;
    using Type = typename Source::Type;
    using Order = typename TypeParam::Order;
    constexpr int width = 13, height = 11, size = int(sizeof(Type));
    constexpr int srcStride = (width * 4 + 3) * size, dstStride = (width + 5) * size;
    std::mt19937 rng(size * 10 + Order::c1);
    std::vector<uint8_t> src(size_t(srcStride) * height);
    for (size_t at = 0; at + size <= src.size(); at += size) {
        Type v;
        if constexpr (Source::isFloat)
            v = float(std::uniform_int_distribution<int>(-200, 1200)(rng)) / 8.0f;
        else if (const uint32_t full = uint32_t(Source::fullScale); rng() % 4 == 0)
            v = Type((rng() % 2) * full);
        else
            v = Type(rng() % (full + 1));
        std::memcpy(&src[at], &v, size);
    }
    const Sarn_Rect rect{2, 11, 1, 10};
    for (int workers : {0, 2}) {
        TestHost host(workers);
        for (int bands : {1, 2, 3, 7, 16}) {
            ThreadCountScope scope(bands);
            std::vector<uint8_t> dst(size_t(dstStride) * height, 0xEE), expected = dst;
            for (int y = rect.y0; y < rect.y1; ++y)
                for (int x = rect.x0; x < rect.x1; ++x) {
                    const size_t e = size_t(y) * srcStride + size_t(x) * 4 * size;
                    const auto c = [&](int k) { return channelAt<Type>(src, e + size_t(k) * size); };
                    Type l;
                    if constexpr (Source::isFloat)
                        l = (3.0f * c(Order::c1) + 6.0f * c(Order::c2) + c(Order::c3)) / 10.0f;
                    else
                        l = Type((3 * c(Order::c1) + 6 * c(Order::c2) + c(Order::c3) + 5) / 10);
                    std::memcpy(&expected[size_t(y) * dstStride + size_t(x) * size], &l, size);
                }
            typename TypeParam::Job job(host.inData(), {src.data(), srcStride}, {dst.data(), dstStride}, &rect);
            job.execute();
            ASSERT_EQ(dst, expected) << "bands " << bands << " workers " << workers;
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
