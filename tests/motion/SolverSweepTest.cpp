#include "motion/Sarn_IGNC.h"
#include "motion/IGNC_ParamsFastSobel.h"
#include "parallel/ProcessorFeatures.h"
#include "tests/motion/MotionTestField.h"
#include "tests/support/TierTest.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

using Solver8 = Sarn_IGNC<Sarn_AE_Environ, Sarn_PixelPtr<Sarn_Lum8>, IGNC_ParamsFastSobel>;
constexpr uint32_t kScalar = kFeatureMMX | kFeatureCMOV;
constexpr uint32_t kVector = kFeatureMMX | kFeatureCMOV | kFeatureSSE | kFeatureSSE2;

IGNC_Settings settingsFor(MotionTestField& field, float lambdaD, float lambdaS, float sigmaD,
                          float sigmaS, float omega) {
    return IGNC_Settings{field.data(), lambdaD, lambdaS, 0.0f, sigmaD, sigmaS, 0.0f, omega,
                         field.width, field.rows};
}

// Runs one colour of a sweep on a field whose du, dv hold increments, on
// either path; on the vectorised path the field is converted to totals,
// packed, swept and unpacked, and the result turned back into increments.
void sweepOnce(MotionTestField& field, const IGNC_Settings& s, int colour, uint32_t features) {
    TestHost host(2);
    Solver8 solver(host.inData(), features);
    const Sarn_Rect rect{0, s.width, 0, s.rows};
    const bool packed = solver.vectorised();
    std::vector<IGNC_ParamsFastElem> before(field.data(), field.data() + field.count);
    if (packed) {
        for (size_t i = 0; i < field.count; ++i) {
            field.data()[i].du += field.data()[i].u;
            field.data()[i].dv += field.data()[i].v;
        }
        Sarn_MotionInternals::PackFast<Sarn_AE_Environ>(host.inData(), s.field, s.width, s.rows).execute();
    }
    Solver8::IterThread(&solver, &s, &rect, colour).execute();
    if (packed) {
        Sarn_MotionInternals::UnpackFast<Sarn_AE_Environ>(host.inData(), s.field, s.width, s.rows).execute();
        for (size_t i = 0; i < field.count; ++i) {
            IGNC_ParamsFastElem& e = field.data()[i];
            e.du = e.u - before[i].u;
            e.dv = e.v - before[i].v;
            e.u = before[i].u;
            e.v = before[i].v;
        }
    }
}

class SweepByHand : public ::testing::TestWithParam<uint32_t> {};

// All weights and scales 1: cD = 1, cS = 4, 2 sigma^2 = 2.
// Interior (1, 1): u' = 0.5, ix = iy = 1, it = 0.5, neighbours' u' = 0, 0, 0, 1,
// v' = 0 everywhere. step = 1 / (1 + 4). r = 0.5, psi(0.5) = 1 / 2.25:
//   gU = 2 psi(0.5) + psi(0.5) = 4/3, du = -4/15;
//   r = -4/15 + 0.5 = 7/30, psi(7/30) = 420/1849 = gV, dv = -84/1849.
// Border (0, 0): u' = 0.25, v' = 0.5, neighbours below and right both 0;
// step = 1/4 and no data term:
//   du = 0.25 - 0.25 * 2 psi(0.25) = 17/132, dv = -0.25 * 2 psi(0.5) = -2/9.
TEST_P(SweepByHand, InteriorAndBorderElements) {
    MotionTestField field(3, 3);
    const IGNC_Settings s = settingsFor(field, 1, 1, 1, 1, 1);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            field.at(x, y) = IGNC_ParamsFastElem{0, 0, 0, 0, 0, 0, 0, 0.25f, 0.25f};
    field.at(1, 1) = IGNC_ParamsFastElem{0.5f, 0, 0, 0, 1, 1, 0.5f, 0.2f, 0.2f};
    field.at(2, 1).u = 0.75f;
    field.at(2, 1).du = 0.25f;
    field.at(0, 0).du = 0.25f;
    field.at(0, 0).v = 0.5f;
    const std::vector<IGNC_ParamsFastElem> before(field.data(), field.data() + field.count);

    sweepOnce(field, s, 0, GetParam());

    EXPECT_NEAR(field.at(1, 1).du, -4.0 / 15, 1e-6);
    EXPECT_NEAR(field.at(1, 1).dv, -84.0 / 1849, 1e-6);
    EXPECT_NEAR(field.at(0, 0).du, 17.0 / 132, 1e-6);
    EXPECT_NEAR(field.at(0, 0).dv, -2.0 / 9, 1e-6);
    // Colour 1 is not touched by a colour 0 run.
    for (auto [x, y] : {std::pair{1, 0}, {0, 1}, {2, 1}, {1, 2}})
        EXPECT_EQ(std::memcmp(&field.at(x, y), &before[size_t(y * 8 + x)], sizeof before[0]), 0) << x << "," << y;
}

// With lambdaS = 1, sigmaS = 10 the step is 1 / 0.04 = 25; four neighbours
// 10 away give psi = -20 / 300 each, a step of +6.7 that the clamp keeps at 1
// (and -1 for v, whose neighbours lie the other way).
TEST_P(SweepByHand, IncrementIsClampedToOnePixel) {
    MotionTestField field(3, 3);
    const IGNC_Settings s = settingsFor(field, 0, 1, 1, 10, 1);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            field.at(x, y) = IGNC_ParamsFastElem{10, -10, 0, 0, 0, 0, 0, 25, 25};
    field.at(1, 1).u = 0;
    field.at(1, 1).v = 0;
    sweepOnce(field, s, 0, GetParam());
    EXPECT_NEAR(field.at(1, 1).du, 1.0f, 1e-6);
    EXPECT_NEAR(field.at(1, 1).dv, -1.0f, 1e-6);
}

INSTANTIATE_TEST_SUITE_P(Paths, SweepByHand, ::testing::Values(kScalar, kVector),
                         [](const auto& info) { return info.param == kScalar ? "Scalar" : "Vectorised"; });

TEST(UpdateChanged, TakesCoarseEstimateOnlyBeyondHalfAPixel) {
    TestHost host;
    const ThreadCountScope workers(1);
    MotionTestField field(8, 1);
    struct Case {
        float u, v, coarseU, coarseV;
        bool replaced;
    } cases[] = {
        {1.0f, 0.0f, 0.5f, -0.5f, false},  // exactly half a pixel in both
        {1.0f, 0.0f, 0.4999f, 0.0f, true}, // just beyond in u
        {0.0f, 2.0f, 0.0f, 2.6f, true},    // beyond in v only
        {0.0f, 0.0f, 0.25f, -0.25f, false},
        // 0.1f - 0.6f is -0.5 in float but -0.50000002 exactly: taken.
        {0.1f, 0.0f, 0.6f, 0.0f, true},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        field.at(int32_t(i), 0) = IGNC_ParamsFastElem{cases[i].u, cases[i].v, cases[i].coarseU,
                                                      cases[i].coarseV, 0, 0, 0, 0, 0};
    Solver8::UpdateChangedThread(host.inData(), 8, 1, field.data()).execute();
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        EXPECT_EQ(field.at(int32_t(i), 0).u, c.replaced ? c.coarseU : c.u) << i;
        EXPECT_EQ(field.at(int32_t(i), 0).v, c.replaced ? c.coarseV : c.v) << i;
    }
}

// Random images and starting motion for one level.
struct Level {
    int32_t width, rows, stride;
    std::vector<uint8_t> a, b;
    std::vector<float> u, v;
};

Level randomLevel(int32_t width, int32_t rows, unsigned seed) {
    std::mt19937 rng(seed);
    Level level{width, rows, width + 3, {}, {}, {}, {}};
    level.a.resize(size_t(level.stride) * rows);
    level.b.resize(level.a.size());
    // Smooth pattern plus noise, so that gradients are of every size.
    for (int32_t y = 0; y < rows; ++y)
        for (int32_t x = 0; x < width; ++x) {
            const double base = 128 + 60 * std::sin(0.3 * x + 0.2 * y);
            level.a[size_t(y * level.stride + x)] = uint8_t(base + rng() % 20);
            level.b[size_t(y * level.stride + x)] = uint8_t(base + 10 + rng() % 20);
        }
    std::uniform_real_distribution<float> motion(-2.0f, 2.0f);
    for (int32_t i = 0; i < width * rows; ++i) {
        level.u.push_back(motion(rng));
        level.v.push_back(motion(rng));
    }
    return level;
}

// Gradients and `iterations` iterations of one level; returns the field.
MotionTestField solveLevel(const Level& level, uint32_t features, int bands, int iterations) {
    TestHost host(3);
    const ThreadCountScope workers(bands);
    MotionTestField field(level.width, level.rows);
    for (int32_t y = 0; y < level.rows; ++y)
        for (int32_t x = 0; x < level.width; ++x) {
            field.at(x, y).u = level.u[size_t(y * level.width + x)];
            field.at(x, y).v = level.v[size_t(y * level.width + x)];
        }
    const IGNC_Settings s = settingsFor(field, 5.0f, 1.0f, 7.0f, 0.3f, 1.9f);
    Solver8 solver(host.inData(), features);
    solver.gradients(s, level.a.data(), level.b.data(), level.stride);
    solver.solve(s, iterations);
    return field;
}

// Red-black order makes every sweep independent of how its rows are cut, on
// either path; and the vectorised path finds the scalar path's motion.
TEST(SolverPaths, AnyBandCountAndEitherPathGiveTheSameMotion) {
    for (auto [width, rows] : {std::pair{37, 23}, {64, 16}, {9, 40}}) {
        const Level level = randomLevel(width, rows, unsigned(width * rows));
        MotionTestField scalar = solveLevel(level, kScalar, 1, 10);
        MotionTestField vectorised = solveLevel(level, kVector, 1, 10);
        for (int bands : {2, 3, 7}) {
            EXPECT_EQ(std::memcmp(solveLevel(level, kScalar, bands, 10).data(), scalar.data(), scalar.bytes()), 0)
                << "scalar, bands " << bands;
            EXPECT_EQ(std::memcmp(solveLevel(level, kVector, bands, 10).data(), vectorised.data(), scalar.bytes()),
                      0)
                << "vectorised, bands " << bands;
        }
        float moved = 0.0f;
        for (int32_t y = 0; y < rows; ++y)
            for (int32_t x = 0; x < width; ++x) {
                ASSERT_NEAR(vectorised.at(x, y).u, scalar.at(x, y).u, 1e-4f) << x << "," << y;
                ASSERT_NEAR(vectorised.at(x, y).v, scalar.at(x, y).v, 1e-4f) << x << "," << y;
                EXPECT_EQ(vectorised.at(x, y).du, 0.0f);
                moved = std::max(moved, std::fabs(scalar.at(x, y).u - level.u[size_t(y * width + x)]));
            }
        EXPECT_GT(moved, 0.01f) << "the iterations must actually move the motion";
    }
}

// Every instruction set gives the same bits as SSE, for every width (whole
// vectors, leftovers, padding), with random and extreme values in the field.
TEST(SolverSimd, WiderSweepsMatchSseBitForBit) {
    std::vector<SimdLevel> levels = runnableSimdTiers();
    levels.erase(levels.begin()); // the solver's narrowest vector path is SSE2
    if (levels.size() <= 1)
        GTEST_SKIP() << "no wider instruction set on this processor";
    const float extremes[] = {0.0f, -0.0f, 1e30f, -1e30f, 1e-30f, 3.0f, -7.5f};
    for (int32_t width = 1; width <= 70; width += (width < 40 ? 1 : 7)) {
        const int32_t rows = 6;
        std::mt19937 rng{unsigned(width)};
        std::uniform_real_distribution<float> dist(-3.0f, 3.0f);
        MotionTestField start(width, rows);
        for (int32_t y = 0; y < rows; ++y)
            for (int32_t x = 0; x < width; ++x) {
                float* e = reinterpret_cast<float*>(&start.at(x, y));
                for (int f = 0; f < 9; ++f)
                    e[f] = rng() % 11 == 0 ? extremes[rng() % std::size(extremes)] : dist(rng);
                e[7] = std::fabs(e[7]);
                e[8] = std::fabs(e[8]);
            }
        expectTiersMatchFirst(
            [&] {
                MotionTestField field(width, rows);
                std::memcpy(field.data(), start.data(), field.bytes());
                TestHost host(2);
                const ThreadCountScope workers(2);
                const IGNC_Settings s = settingsFor(field, 2.0f, 1.5f, 3.0f, 0.7f, 1.9f);
                Solver8(host.inData(), kVector).solve(s, 3);
                const uint8_t* bytes = reinterpret_cast<const uint8_t*>(field.data());
                return std::vector<uint8_t>(bytes, bytes + field.bytes());
            },
            "width " + std::to_string(width), levels);
    }
}

} // namespace
