// Every vector tier of the field kernel against the scalar one, bit for bit,
// for all six instances, on random and extreme values, widths 1 to 70,
// several strides and random band splits, outputs reaching beyond the input,
// with the input ending right before an unreadable page.
#include "deinterlace/FieldMedianKernel.h"
#include "tests/support/TierTest.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#define NOMINMAX // std::numeric_limits<T>::max, not the macro
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace {

// Bytes whose end touches a page that may not be read.
class GuardedBuffer {
public:
#ifdef _WIN32
    explicit GuardedBuffer(size_t size) {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        const size_t page = info.dwPageSize;
        mapped_ = ((size + page - 1) / page + 1) * page;
        void* p = VirtualAlloc(nullptr, mapped_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
        if (p == nullptr)
            throw std::bad_alloc();
        base_ = static_cast<uint8_t*>(p);
        DWORD previous;
        VirtualProtect(base_ + mapped_ - page, page, PAGE_NOACCESS, &previous);
        data_ = base_ + mapped_ - page - size;
    }
    ~GuardedBuffer() { VirtualFree(base_, 0, MEM_RELEASE); }
#else
    explicit GuardedBuffer(size_t size) {
        const size_t page = size_t(sysconf(_SC_PAGESIZE));
        mapped_ = ((size + page - 1) / page + 1) * page;
        void* p = mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            throw std::bad_alloc();
        base_ = static_cast<uint8_t*>(p);
        mprotect(base_ + mapped_ - page, page, PROT_NONE);
        data_ = base_ + mapped_ - page - size;
    }
    ~GuardedBuffer() { munmap(base_, mapped_); }
#endif
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;
    uint8_t* data() const { return data_; }

private:
    uint8_t* base_ = nullptr;
    uint8_t* data_ = nullptr;
    size_t mapped_ = 0;
};

template <class T>
T randomChannel(std::mt19937& random) {
    const uint32_t pick = random() % 8;
    if constexpr (std::is_same_v<T, float>) {
        static const float extremes[] = {0.0f, -0.0f, 1.0f, -1.0f, 3.0e38f, -3.0e38f,
                                         std::numeric_limits<float>::max(),
                                         std::numeric_limits<float>::infinity(),
                                         std::numeric_limits<float>::denorm_min(), 1e-30f,
                                         std::numeric_limits<float>::quiet_NaN(), 0.5f};
        if (pick < 2)
            return extremes[random() % (sizeof extremes / sizeof extremes[0])];
        if (pick < 4) // few distinct values: many ties
            return float(random() % 4) * 0.25f;
        return std::uniform_real_distribution<float>(-2.0f, 2.0f)(random);
    } else {
        const uint32_t full = sizeof(T) == 1 ? 255 : 32768;
        if (pick == 0)
            return 0;
        if (pick == 1)
            return T(full);
        if (pick == 2)
            return T(full - 1);
        if (pick == 3)
            return T(random() % 3);
        return T(random() % (full + 1));
    }
}

template <class Pixel, class Order>
void compareTiers(uint32_t seed) {
    using Kernel = FieldMedianKernel<Pixel, Order>;
    using T = typename Pixel::Type;
    constexpr int bytes = Pixel::bytes;
    std::mt19937 random(seed);

    for (int32_t width = 1; width <= 70; ++width) {
        for (int32_t extra : {0, bytes, 52}) {
            const int32_t rows = 1 + int32_t(random() % 5);
            const int32_t stride = width * bytes + extra;
            const size_t inputSize = size_t(rows - 1) * stride + size_t(width) * bytes;
            GuardedBuffer input(inputSize);
            for (size_t i = 0; i < inputSize; i += sizeof(T)) {
                const T v = randomChannel<T>(random);
                std::memcpy(input.data() + i, &v, sizeof v);
            }
            ImageView<bytes> inView{ViewRect{0, 5, width, 5 + rows}, input.data(), stride};

            // Without margin the output covers the input; with it the output
            // also has columns left and right of the input and rows below
            // it, all of which read clamped neighbours.
            const int32_t margin = extra == bytes ? 3 : 0;
            const int32_t outLeft = -margin, outRight = width + (margin > 0 ? margin + 2 : 0);
            const int32_t outStride = (outRight - outLeft) * bytes + 8;
            const int32_t outRows = rows + (margin > 0 ? 2 : 0);

            // Random band splits at every tier, the first run included.
            expectTiersMatchFirst(
                [&] {
                    const int32_t bands = 1 + int32_t(random() % 4);
                    std::vector<uint8_t> out(size_t(outRows) * outStride, 0x5A);
                    ImageView<bytes> outView{ViewRect{outLeft, 5, outRight, 5 + outRows}, out.data(), outStride};
                    FieldJob<bytes> job{outView.rect, nullptr, &outView, &inView};
                    for (int32_t index = 0; index < bands; ++index)
                        Kernel::band(&job, index, bands, 0);
                    return out;
                },
                "width " + std::to_string(width) + " extra " + std::to_string(extra) + " rows " +
                    std::to_string(rows));
        }
    }
}

} // namespace

TEST(FieldMedianSimd, VectorTiersMatchScalarForAllInstances) {
    compareTiers<Sarn_Pixel8, Sarn_OrderARGB>(11);
    compareTiers<Sarn_Pixel16, Sarn_OrderARGB>(12);
    compareTiers<Sarn_PixelF, Sarn_OrderARGB>(13);
    compareTiers<Sarn_Pixel8, Sarn_OrderRGBA>(14);
    compareTiers<Sarn_Pixel16, Sarn_OrderRGBA>(15);
    compareTiers<Sarn_PixelF, Sarn_OrderRGBA>(16);
}

// The scalar kernel is itself checked against the definition elsewhere; here
// the vector path must actually be taken, or the comparison proves nothing.
TEST(FieldMedianSimd, VectorRowsAreSelectedByTier) {
    using Kernel8 = FieldMedianKernel<Sarn_Pixel8, Sarn_OrderARGB>;
    using KernelF = FieldMedianKernel<Sarn_PixelF, Sarn_OrderRGBA>;
    {
        const SimdLimitScope limit(SimdLevel::Scalar);
        EXPECT_EQ(Kernel8::vectorRows(), nullptr);
    }
    const struct {
        SimdLevel level;
        const FieldMedianRowTable& table;
    } tiers[] = {{SimdLevel::SSE2, fieldMedianRows_sse2()},
                 {SimdLevel::AVX2, fieldMedianRows_avx2()},
                 {SimdLevel::AVX512, fieldMedianRows_avx512()}};
    for (const auto& tier : tiers) {
        if (int(detectedSimdLevel()) < int(tier.level))
            continue;
        const SimdLimitScope limit(tier.level);
        EXPECT_EQ(Kernel8::vectorRows(), tier.table.rows[kFieldMedian8AlphaFirst]) << int(tier.level);
        EXPECT_EQ(KernelF::vectorRows(), tier.table.rows[kFieldMedianFloatAlphaLast]) << int(tier.level);
    }
}
