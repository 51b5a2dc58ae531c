#include "motion/EstimateFrameMotion.h"
#include "motion/Sarn_AnalyzeMotionIGNC.h"
#include "parallel/ProcessorFeatures.h"
#include "tests/motion/FrameMotionSupport.h"
#include "tests/support/Scopes.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <vector>

namespace {

constexpr uint32_t kVector = kFeatureMMX | kFeatureCMOV | kFeatureSSE | kFeatureSSE2;

TEST(MotionLevels, CoarserLevelsOfAFiveLevelPyramidFitInTheImageHeight) {
    for (int32_t height = 1; height <= 5000; ++height)
        ASSERT_LE(Sarn_MotionLevels::pyramidRows(4096, height, 5), height) << height;
    EXPECT_EQ(Sarn_MotionLevels::pyramidRows(64, 32, 5), 16 + 8 + 4);
    EXPECT_EQ(Sarn_MotionLevels::pyramidRows(15, 15, 5), 8 + 4);
}

struct LevelCase {
    const char* name;
    int32_t width, height, finestLevel;
    int32_t levels, firstComputed; // levels visited in pass 0, and the finest one computed
};

class LevelStructure : public ::testing::TestWithParam<LevelCase> {};

// Levels are reported on entry: the finest first, then each coarser one, of
// half the size rounded up.
TEST_P(LevelStructure, VisitsTheLevelsThatExistAndComputesFromTheFinestOn) {
    const LevelCase& c = GetParam();
    TestHost host(2);
    const ThreadCountScope workers(2);
    TestFrame<Sarn_Pixel8> a(c.width, c.height), b(c.width, c.height);
    a.picture<Sarn_OrderARGB>(0.0, 0.0);
    b.picture<Sarn_OrderARGB>(0.75, 0.5);
    std::vector<float> u(size_t(c.width) * c.height, 7.0f), v(u.size(), 7.0f);
    MotionRecorder recorder;
    EstimateFrameMotion<Sarn_Pixel8, Sarn_OrderARGB>(RenderContext{host.inData(), kVector}, c.width, c.height,
                                                     a.data(), b.data(), a.rowBytes, b.rowBytes, u.data(),
                                                     v.data(), 1, c.finestLevel, 14.142136f, false,
                                                     LumaSource::WeightedRGB, &recorder);
    std::vector<LevelVisit> visits;
    for (int32_t level = 0, w = c.width, h = c.height; level < c.levels; ++level, w = (w + 1) / 2, h = (h + 1) / 2)
        visits.push_back(LevelVisit{0, level, w, h, level >= c.firstComputed});
    EXPECT_EQ(recorder.levels, visits);
    // Some level is always computed, so the shift shows up as motion.
    EXPECT_GT(std::accumulate(u.begin(), u.end(), 0.0) / double(u.size()), 0.3) << "no motion was computed";
    EXPECT_EQ(host.liveHandles(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LevelStructure,
    ::testing::Values(
        // 15 x 15: level 2 is narrower than 8, so there is no level 3.
        LevelCase{"Best15x15", 15, 15, 0, 3, 0},
        // "Fast" on 64 x 32: level 3 is lower than 8 rows; levels 1 and 0 only interpolated.
        LevelCase{"Fast64x32", 64, 32, 2, 4, 2},
        LevelCase{"Better64x32", 64, 32, 1, 4, 1},
        LevelCase{"Best128x128", 128, 128, 0, 5, 0},
        // The cap: "Fast" on 12 rows has only levels 0 and 1; level 1 is computed.
        LevelCase{"FastCapped64x12", 64, 12, 2, 2, 1},
        // "Better" on 6 rows: only level 0 exists, and it is computed.
        LevelCase{"BetterCapped40x6", 40, 6, 1, 1, 0}),
    [](const ::testing::TestParamInfo<LevelCase>& info) { return std::string(info.param.name); });

// The recorded settings of every pass of a five-pass estimate of one picture
// pair at a depth.
template <class Pixel>
std::vector<IGNC_Settings> fivePassesOf() {
    TestHost host(2);
    const ThreadCountScope workers(2);
    TestFrame<Pixel> a(24, 16), b(24, 16);
    a.template picture<Sarn_OrderRGBA>(0.0, 0.0);
    b.template picture<Sarn_OrderRGBA>(0.5, 0.0);
    std::vector<float> u(24 * 16), v(24 * 16);
    MotionRecorder recorder;
    EstimateFrameMotion<Pixel, Sarn_OrderRGBA>(RenderContext{host.inData(), kVector}, 24, 16, a.data(), b.data(),
                                               a.rowBytes, b.rowBytes, u.data(), v.data(), 5, 0, 1.0f, false,
                                               LumaSource::WeightedRGB, &recorder);
    return recorder.passes;
}

// sigmaS of pass p is (1 / sqrt 2) x 0.05^(p / 5), never the end value itself;
// the data scale is ten steps of 1/255 of each depth's full scale, over sqrt 2.
TEST(MotionSchedule, BestRunsFivePassesWithGeometricallyFallingSmoothnessAtEveryDepth) {
    const double s = std::sqrt(0.5);
    const struct {
        std::vector<IGNC_Settings> passes;
        double sigmaD, tolerance;
    } depths[] = {{fivePassesOf<Sarn_Pixel8>(), 10.0 * s, 1e-5},
                  {fivePassesOf<Sarn_Pixel16>(), 10.0 * 32768.0 / 255.0 * s, 1e-3},
                  {fivePassesOf<Sarn_PixelF>(), 10.0 / 255.0 * s, 1e-8}};
    for (const auto& depth : depths) {
        ASSERT_EQ(depth.passes.size(), 5u);
        for (int p = 0; p < 5; ++p) {
            const IGNC_Settings& settings = depth.passes[size_t(p)];
            EXPECT_NEAR(settings.sigmaS, s * std::pow(0.05, p / 5.0), 1e-5) << "pass " << p;
            EXPECT_NEAR(settings.sigmaD, depth.sigmaD, depth.tolerance);
            EXPECT_NEAR(settings.sigma3, s, 1e-6);
            EXPECT_FLOAT_EQ(settings.lambdaD, 10.0f);
            EXPECT_FLOAT_EQ(settings.lambdaS, 1.0f);
            EXPECT_FLOAT_EQ(settings.omega, 1.995f);
        }
        EXPECT_GT(depth.passes[4].sigmaS, 0.05 * s * 1.5);
    }
}

// Analyze takes thresholds; tauD is in units of 1/255 and carries the 255
// factor. With three passes the last one is start x (end / start)^(2/3).
TEST(MotionSchedule, AnalyzeTurnsThresholdsIntoScales) {
    TestHost host(2);
    const ThreadCountScope workers(2);
    const int32_t w = 20, h = 12;
    std::vector<uint8_t> a(size_t(w) * h), pa(a.size()), pb(a.size()), warp(a.size());
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            a[size_t(y) * w + x] = uint8_t(motionTestPicture(x, y));
    uint8_t* images[5] = {a.data(), a.data(), pa.data(), pb.data(), warp.data()};
    MotionRecorder recorder;
    {
        Sarn_AnalyzeMotion8 analyser(RenderContext{host.inData(), kVector}, w, h, w, true, &recorder);
        Sarn_AnalyzeMotion& base = analyser;
        base.Notify(123u);
        base.Analyze(3, 3, 16.0f, 0.0f, 10.0f, 1.0f, 1.0f, 0.1f, 2.0f, 3.0f, 0.1f, 0.1f, 3.0f, 1.9f, &images[0],
                     &images[1], &images[2], &images[3], &images[4]);
        EXPECT_EQ(analyser.levelCount(), 5);
        EXPECT_EQ(analyser.finestComputedLevel(), 0);
        std::vector<float> u(size_t(w) * h, 1.0f), v(u.size(), 1.0f);
        base.GetMotion(u.data(), v.data());
        EXPECT_EQ(u, std::vector<float>(u.size(), 0.0f));
        EXPECT_EQ(v, u);
    }
    EXPECT_EQ(host.liveHandles(), 0);
    ASSERT_EQ(recorder.passes.size(), 3u);
    const double s = std::sqrt(0.5);
    const double sigmaS[3] = {2.0 * s, 2.0 * s * std::pow(0.05, 1.0 / 3.0), 2.0 * s * std::pow(0.05, 2.0 / 3.0)};
    for (int p = 0; p < 3; ++p) {
        EXPECT_NEAR(recorder.passes[size_t(p)].sigmaD, 0.1 * 255.0 * s, 1e-4);
        EXPECT_NEAR(recorder.passes[size_t(p)].sigmaS, sigmaS[p], 1e-5);
        EXPECT_NEAR(recorder.passes[size_t(p)].sigma3, 3.0 * s, 1e-5);
        EXPECT_FLOAT_EQ(recorder.passes[size_t(p)].omega, 1.9f);
    }
    // Levels 0 (20 x 12) and 1 (10 x 6), in each of the three passes.
    ASSERT_EQ(recorder.levels.size(), 6u);
    EXPECT_EQ(recorder.levels[5], (LevelVisit{2, 1, 10, 6, true}));
}

} // namespace
