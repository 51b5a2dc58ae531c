#include "motion/Sarn_IGNC.h"
#include "motion/IGNC_ParamsFastSobel.h"
#include "tests/motion/MotionTestField.h"
#include "tests/support/Scopes.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

namespace {

constexpr float kCD = 0.5f, kCS = 2.0f, kOmega = 1.5f;

// A luminance image of pixel type P, `pad` bytes of slack per row so that
// the stride differs from the row width.
template <class P>
struct Image {
    Image(int32_t w, int32_t h, const std::function<double(int, int)>& f)
        : width(w), height(h), stride(w * P::bytes + 6), bytes(size_t(stride) * h) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const typename P::Type v = typename P::Type(f(x, y));
                std::memcpy(&bytes[size_t(y) * stride + size_t(x) * P::bytes], &v, sizeof v);
            }
    }
    int32_t width, height, stride;
    std::vector<uint8_t> bytes;
};

// The gradient job's field for images a and b; its border elements hold no
// gradient and the smoothness term's step alone.
template <class P>
MotionTestField gradients(const Image<P>& a, const Image<P>& b) {
    MotionTestField field(a.width, a.height);
    TestHost host(2);
    const ThreadCountScope workers(3);
    typename IGNC_ParamsFastSobel::GradientThread<Sarn_AE_Environ, Sarn_PixelPtr<P>> job(
        host.inData(), field.data(), a.bytes.data(), b.bytes.data(), a.stride, field.width,
        field.rows, kCD, kCS, kOmega);
    job.execute();
    const IGNC_ParamsFastElem border{0, 0, 0, 0, 0, 0, 0, kOmega / kCS, kOmega / kCS};
    for (int32_t y = 0; y < field.rows; ++y)
        for (int32_t x = 0; x < field.width; ++x)
            if (y == 0 || y == field.rows - 1 || x == 0 || x == field.width - 1) {
                EXPECT_EQ(std::memcmp(&field.at(x, y), &border, sizeof border), 0) << x << "," << y;
            }
    return field;
}

struct Expected {
    float ix, iy, it;
};

template <class P>
void expectInterior(MotionTestField& field, const std::function<Expected(int, int)>& expected,
                    float tolerance) {
    for (int32_t y = 1; y + 1 < field.rows; ++y)
        for (int32_t x = 1; x + 1 < field.width; ++x) {
            const IGNC_ParamsFastElem& e = field.at(x, y);
            const Expected want = expected(x, y);
            EXPECT_NEAR(e.ix, want.ix, tolerance) << x << "," << y;
            EXPECT_NEAR(e.iy, want.iy, tolerance) << x << "," << y;
            EXPECT_NEAR(e.it, want.it, tolerance) << x << "," << y;
            EXPECT_FLOAT_EQ(e.stepU, kOmega / (kCD * e.ix * e.ix + kCS));
            EXPECT_FLOAT_EQ(e.stepV, kOmega / (kCD * e.iy * e.iy + kCS));
        }
}

template <class P>
class GradientTest : public ::testing::Test {};
using Depths = ::testing::Types<Sarn_Lum8, Sarn_Lum16, Sarn_LumF>;
TYPED_TEST_SUITE(GradientTest, Depths);

// Horizontal ramp a = 10x, b = a + 3: the Sobel of s = a + b is
// 4 (s(x+1) - s(x-1)) / 16 = 4 * 40 / 16 = 10; the box difference 9 * 3 / 9.
TYPED_TEST(GradientTest, HorizontalRamp) {
    using P = TypeParam;
    const double scale = P::isFloat ? 0.01 : 1.0; // fractional samples on float images
    Image<P> a(6, 5, [&](int x, int) { return 10 * x * scale; });
    Image<P> b(6, 5, [&](int x, int) { return (10 * x + 3) * scale; });
    MotionTestField field = gradients(a, b);
    expectInterior<P>(field, [&](int, int) { return Expected{float(10 * scale), 0, float(3 * scale)}; },
                      1e-6f);
}

// Vertical ramp a = b = 7y: iy = 4 * (14 * 2) / 16 = 7, no time difference.
TYPED_TEST(GradientTest, VerticalRamp) {
    using P = TypeParam;
    Image<P> a(5, 6, [](int, int y) { return 7 * y; });
    MotionTestField field = gradients(a, a);
    expectInterior<P>(field, [](int, int) { return Expected{0, 7, 0}; }, 0.0f);
}

// A vertical edge between columns 1 and 2 of height 100 in both images
// (s = 200 past it): ix = 4 * 200 / 16 = 50 on the two columns beside it.
// B is 1 brighter where the edge is: it = (sum over the box of 1) / 9.
TYPED_TEST(GradientTest, Step) {
    using P = TypeParam;
    Image<P> a(5, 4, [](int x, int) { return x >= 2 ? 100 : 0; });
    Image<P> b(5, 4, [](int x, int) { return x >= 2 ? 101 : 0; });
    MotionTestField field = gradients(a, b);
    // x = 1: s(2) = 201, s(0) = 0 -> 4 * 201 / 16; box covers one bright column.
    // x = 2: s(3) = 201, s(1) = 0; box covers two bright columns.
    // x = 3: s(4) = s(2) -> 0; three bright columns.
    expectInterior<P>(field,
                      [](int x, int) {
                          return Expected{x == 3 ? 0.0f : 4 * 201 / 16.0f, 0.0f, float(3 * x) / 9.0f};
                      },
                      1e-6f);
}

// 16-bit sums stay exact up to full scale: 8 * 2 * 32768 needs more than 16 bits.
TEST(Gradient, SixteenBitFullScaleEdgeIsExact) {
    Image<Sarn_Lum16> a(3, 3, [](int x, int) { return x == 2 ? 32768 : 0; });
    MotionTestField field = gradients(a, a);
    EXPECT_EQ(field.at(1, 1).ix, 4.0f * 65536.0f / 16.0f);
}

} // namespace
