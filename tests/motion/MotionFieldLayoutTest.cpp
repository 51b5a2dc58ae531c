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

// Unpack takes the new motion from the packed totals, not the packed u, v.
TEST(MotionField, UnpackTakesTotalsFromTheDeltaSlots) {
    TestHost host;
    const ThreadCountScope workers(1);
    MotionTestField field(8, 1);
    for (int x = 0; x < 8; ++x)
        field.at(x, 0) = IGNC_ParamsFastElem{1.0f, 2.0f, 3.0f + x, 4.0f - x, 5, 6, 7, 8, 9};
    Internals::PackFast<Sarn_AE_Environ>(host.inData(), field.data(), 8, 1).execute();
    Internals::UnpackFast<Sarn_AE_Environ>(host.inData(), field.data(), 8, 1).execute();
    for (int x = 0; x < 8; ++x) {
        EXPECT_EQ(field.at(x, 0).u, 3.0f + x);
        EXPECT_EQ(field.at(x, 0).v, 4.0f - x);
        EXPECT_EQ(field.at(x, 0).du, 0.0f);
        EXPECT_EQ(field.at(x, 0).stepU, 8.0f);
    }
}

TEST(MotionField, ResetDeltaClearsEveryElementOfEveryBand) {
    TestHost host(3);
    for (int bands : {1, 3, 7}) {
        const ThreadCountScope workers(bands);
        MotionTestField field(9, 5);
        for (size_t i = 0; i < field.count; ++i)
            field.data()[i] = IGNC_ParamsFastElem{1, 2, 3, 4, 5, 6, 7, 8, 9};
        Internals::ResetDelta<Sarn_AE_Environ, IGNC_ParamsFastSobel>(host.inData(), field.data(),
                                                                     int64_t(field.count))
            .execute();
        for (size_t i = 0; i < field.count; ++i) {
            const IGNC_ParamsFastElem& e = field.data()[i];
            ASSERT_EQ(e.du, 0.0f) << i;
            ASSERT_EQ(e.dv, 0.0f) << i;
            ASSERT_EQ(e.u, 1.0f);
            ASSERT_EQ(e.ix, 5.0f);
        }
    }
}

// The plane gets width floats per row and nothing of the padding; the
// channel is chosen by the byte offset of the source pointer.
TEST(MotionField, CopyParamToArrayDropsPadding) {
    TestHost host(2);
    const ThreadCountScope workers(2);
    const int32_t width = 9, rows = 3;
    MotionTestField field(width, rows);
    for (int32_t y = 0; y < rows; ++y)
        for (int32_t x = 0; x < field.columns; ++x) {
            field.at(x, y).u = x < width ? float(y * 100 + x) : -1.0f;
            field.at(x, y).v = x < width ? float(-(y * 100 + x)) : -1.0f;
        }
    const float guard = 12345.0f;
    for (int channel = 0; channel < 2; ++channel) {
        std::vector<float> plane(size_t(width * rows) + 4, guard);
        using Copy = Internals::CopyParamToArray<Sarn_AE_Environ, IGNC_Field>;
        Copy(host.inData(), plane.data(), reinterpret_cast<const uint8_t*>(field.data()) + 4 * channel,
             width, rows, width, field.columns)
            .execute();
        for (int32_t y = 0; y < rows; ++y)
            for (int32_t x = 0; x < width; ++x)
                EXPECT_EQ(plane[size_t(y * width + x)], float(channel ? -(y * 100 + x) : y * 100 + x));
        for (size_t i = size_t(width * rows); i < plane.size(); ++i)
            EXPECT_EQ(plane[i], guard);
    }
}

} // namespace
