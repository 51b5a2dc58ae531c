#include "motion/IGNC_ParamsFastSobel.h"
#include "motion/Sarn_MotionInternals.h"
#include "parallel/Sarn_Thread.h"
#include "tests/motion/MotionTestField.h"
#include "tests/support/Scopes.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Internals = Sarn_MotionInternals;

float valueOf(int32_t x, int32_t y, int f) { return float(y * 1000 + x * 10 + f) + 0.25f; }

void fillDistinct(MotionTestField& field, int32_t width) {
    for (int32_t y = 0; y < field.rows; ++y)
        for (int32_t x = 0; x < width; ++x) {
            float* e = reinterpret_cast<float*>(&field.at(x, y));
            for (int f = 0; f < 9; ++f)
                e[f] = valueOf(x, y, f);
        }
}

class LayoutTest : public ::testing::TestWithParam<int32_t> {
protected:
    const ThreadCountScope workers{2};
    TestHost host{2};
};

// Pack puts each field of the even and the odd elements of a block in groups
// of four, pads the last block with the last element, and unpack returns the
// motion seeded by ResetDeltaFast with zero deltas.
TEST_P(LayoutTest, PackThenUnpackAfterResetDeltaFast) {
    const int32_t width = GetParam();
    const int32_t rows = 3;
    MotionTestField field(width, rows);
    fillDistinct(field, width);
    Internals::ResetDeltaFast<Sarn_AE_Environ, IGNC_ParamsFastSobel>(host.inData(), field.data(),
                                                                     int64_t(field.count))
        .execute();
    Internals::PackFast<Sarn_AE_Environ>(host.inData(), field.data(), width, rows).execute();

    const int32_t blocks = field.columns / 8;
    EXPECT_EQ(blocks, (width + 7) / 8);
    for (int32_t y = 0; y < rows; ++y)
        for (int32_t b = 0; b < blocks; ++b)
            for (int e = 0; e < 8; ++e) {
                const int32_t x = b * 8 + e;
                const int32_t source = x < width ? x : width - 1;
                for (int f = 0; f < 9; ++f) {
                    // du, dv hold u, v after the reset.
                    const int seeded = f == 2 ? 0 : f == 3 ? 1 : f;
                    const float* block = field.floats() + (size_t(y) * field.columns + b * 8) * 9;
                    EXPECT_EQ(block[(e % 2) * 36 + f * 4 + e / 2], valueOf(source, y, seeded))
                        << "width " << width << " y " << y << " x " << x << " field " << f;
                }
            }

    Internals::UnpackFast<Sarn_AE_Environ>(host.inData(), field.data(), width, rows).execute();
    for (int32_t y = 0; y < rows; ++y)
        for (int32_t x = 0; x < field.columns; ++x) {
            const int32_t source = x < width ? x : width - 1;
            const IGNC_ParamsFastElem& e = field.at(x, y);
            EXPECT_EQ(e.u, valueOf(source, y, 0));
            EXPECT_EQ(e.v, valueOf(source, y, 1));
            EXPECT_EQ(e.du, 0.0f);
            EXPECT_EQ(e.dv, 0.0f);
            EXPECT_EQ(e.ix, valueOf(source, y, 4));
            EXPECT_EQ(e.it, valueOf(source, y, 6));
            EXPECT_EQ(e.stepV, valueOf(source, y, 8));
        }
}

INSTANTIATE_TEST_SUITE_P(Widths, LayoutTest, ::testing::Values(8, 9, 15, 16, 17, 1, 31));

} // namespace
