// Where the analysis keeps motion does not change it: an interpolated level 0
// written straight into the caller's planes, interpolated levels held as
// float planes, and only the padding of computed levels cleared, all give the
// motion of the plain field path, bit for bit, whatever fresh host memory
// holds (the field path runs on zeroed memory, the planes path on memory
// filled with 0xFF, every float a NaN, and with 0x41).
#include "motion/Sarn_AnalyzeMotionIGNC.h"
#include "parallel/ProcessorFeatures.h"
#include "tests/motion/FrameMotionSupport.h"
#include "tests/support/Scopes.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numeric>
#include <vector>

namespace {

constexpr uint32_t kScalar = kFeatureMMX | kFeatureCMOV;
constexpr uint32_t kVector = kScalar | kFeatureSSE | kFeatureSSE2;

struct Planes {
    std::vector<float> u, v;
    bool operator==(const Planes& o) const {
        return u.size() == o.u.size() && v.size() == o.v.size() &&
               std::memcmp(u.data(), o.u.data(), u.size() * sizeof(float)) == 0 &&
               std::memcmp(v.data(), o.v.data(), v.size() * sizeof(float)) == 0;
    }
};

// Fresh host memory filled with a byte pattern (0xFF makes every float a NaN).
class PatternedHost {
public:
    explicit PatternedHost(TestHost& host) : utils_(const_cast<PF_UtilCallbacks*>(host.inData()->utils)) {
        original_ = *utils_;
        self_ = this;
        utils_->host_new_handle = newHandle;
    }
    ~PatternedHost() {
        *utils_ = original_;
        self_ = nullptr;
    }
    PatternedHost(const PatternedHost&) = delete;
    PatternedHost& operator=(const PatternedHost&) = delete;
    unsigned char pattern = 0;

private:
    static PF_Handle newHandle(A_u_longlong size) {
        PF_Handle handle = self_->original_.host_new_handle(size);
        if (handle != nullptr) {
            std::memset(self_->original_.host_lock_handle(handle), self_->pattern, size_t(size));
            self_->original_.host_unlock_handle(handle);
        }
        return handle;
    }
    static inline PatternedHost* self_ = nullptr;
    PF_UtilCallbacks* utils_;
    PF_UtilCallbacks original_;
};

struct StorageCase {
    const char* name;
    int32_t width, height, passes, finestLevel;
    uint32_t features;
};

class MotionStorage : public ::testing::TestWithParam<StorageCase> {
protected:
    // 8-bit luminance of the test picture and of a copy shifted by (1.25, -0.5):
    // u is about 1.25.
    void SetUp() override {
        const StorageCase& c = GetParam();
        a.resize(size_t(c.width) * size_t(c.height));
        b.resize(a.size());
        for (int32_t y = 0; y < c.height; ++y)
            for (int32_t x = 0; x < c.width; ++x) {
                a[size_t(y) * c.width + x] = uint8_t(motionTestPicture(x, y) + 0.5);
                b[size_t(y) * c.width + x] = uint8_t(motionTestPicture(x - 1.25, y + 0.5) + 0.5);
            }
    }

    Planes analyse(bool intoPlanes, unsigned char pattern, bool* inPlanes) {
        const StorageCase& c = GetParam();
        TestHost host(2);
        const ThreadCountScope workers(2);
        PatternedHost patterned(host);
        patterned.pattern = pattern;
        std::vector<uint8_t> pyramidA(a.size()), pyramidB(a.size()), warp(a.size());
        Sarn_AnalyzeMotionSetup setup{};
        setup.iterations = 10;
        setup.passes = c.passes;
        setup.coarsestScale = 16.0f;
        setup.finestScale = float(c.finestLevel);
        setup.lambdaD = 10.0f;
        setup.lambdaS = 1.0f;
        setup.lambda3 = 1.0f;
        setup.omega = 1.995f;
        setup.sigmaD0 = setup.sigmaD1 = 10.0f * float(std::sqrt(0.5));
        setup.sigmaS0 = float(std::sqrt(0.5));
        setup.sigmaS1 = 0.05f * float(std::sqrt(0.5));
        setup.sigma30 = setup.sigma31 = float(std::sqrt(0.5));
        Planes out{std::vector<float>(a.size(), 7.0f), std::vector<float>(a.size(), 7.0f)};
        Sarn_AnalyzeMotion8 analyser(RenderContext{host.inData(), c.features}, c.width, c.height, c.width);
        analyser.AnalyzeWith(setup, a.data(), b.data(), pyramidA.data(), pyramidB.data(), warp.data(),
                             intoPlanes ? out.u.data() : nullptr, intoPlanes ? out.v.data() : nullptr);
        *inPlanes = analyser.motionInPlanes();
        if (!*inPlanes)
            analyser.GetMotion(out.u.data(), out.v.data());
        return out;
    }

    std::vector<uint8_t> a, b;
};

TEST_P(MotionStorage, PlanesPathGivesTheFieldPathMotionBitForBit) {
    const StorageCase& c = GetParam();
    bool fieldInPlanes = true, planesInPlanes = false;
    const Planes field = analyse(false, 0x00, &fieldInPlanes);
    EXPECT_FALSE(fieldInPlanes);
    for (unsigned char pattern : {0xFF, 0x41}) {
        const Planes planes = analyse(true, pattern, &planesInPlanes);
        // Only an interpolated level 0 goes straight into the planes.
        EXPECT_EQ(planesInPlanes, c.finestLevel > 0);
        EXPECT_TRUE(field == planes) << "pattern " << int(pattern);
    }
    // The picture moved: the comparison is not one of two zero fields (nor
    // of two fields holding a NaN or an infinity).
    const double mean = std::accumulate(field.u.begin(), field.u.end(), 0.0) / double(field.u.size());
    EXPECT_TRUE(std::isfinite(mean) && mean > 0.5) << mean;
}

INSTANTIATE_TEST_SUITE_P(
    Qualities, MotionStorage,
    ::testing::Values(StorageCase{"Fast83x45", 83, 45, 1, 2, kVector},
                      StorageCase{"Better83x45", 83, 45, 1, 1, kVector},
                      StorageCase{"BetterScalar83x45", 83, 45, 1, 1, kScalar},
                      // Later passes shrink the interpolated levels' motion again.
                      StorageCase{"TwoPassesFast96x64", 96, 64, 2, 2, kVector},
                      StorageCase{"ThreePassesBetter83x45", 83, 45, 3, 1, kScalar},
                      StorageCase{"Best83x45", 83, 45, 2, 0, kVector},
                      StorageCase{"BestScalar83x45", 83, 45, 2, 0, kScalar},
                      StorageCase{"Fast19x13", 19, 13, 1, 2, kVector}),
    [](const ::testing::TestParamInfo<StorageCase>& info) { return std::string(info.param.name); });

} // namespace
