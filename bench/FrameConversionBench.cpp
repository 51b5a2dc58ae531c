// Y4M frame <-> plug-in pixel conversion on a 1920x1080 frame, against a plain
// copy of the pixel buffer. Run: build/bench/FrameConversionBench
#include "cli/PixelConversion.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

using namespace cli;

namespace {

struct Fixture {
    Fixture(const char* tag, PixelFormat format)
        : header(parseY4mHeader(std::string("YUV4MPEG2 W1920 H1080 It C") + tag)), frame(Y4mFrameLayout(header)),
          converter(header, format), pixels(size_t(converter.rowBytes() * header.height / 4)) {
        std::mt19937 random(1);
        for (int64_t i = 0; i < frame.size(); ++i)
            frame.data()[i] = uint8_t(random());
        if (frame.layout().sampleBytes == 2)
            for (int64_t i = 1; i < frame.size(); i += 2)
                frame.data()[i] &= 3;
    }
    uint8_t* bytes() { return reinterpret_cast<uint8_t*>(pixels.data()); }
    Y4mHeader header;
    Y4mFrame frame;
    FrameConverter converter;
    std::vector<float> pixels;
};

void toPixels(benchmark::State& state, const char* tag, PixelFormat format) {
    Fixture f(tag, format);
    for (auto _ : state) {
        f.converter.toPixels(f.frame, f.bytes(), f.converter.rowBytes());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * f.converter.rowBytes() * f.header.height);
}

void fromPixels(benchmark::State& state, const char* tag, PixelFormat format) {
    Fixture f(tag, format);
    f.converter.toPixels(f.frame, f.bytes(), f.converter.rowBytes());
    for (auto _ : state) {
        f.converter.fromPixels(f.bytes(), f.converter.rowBytes(), f.frame);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * f.converter.rowBytes() * f.header.height);
}

// The baseline: copying a pixel buffer of the same size.
void copyPixels(benchmark::State& state, int pixelBytes) {
    std::vector<uint8_t> a(size_t(1920) * 1080 * size_t(pixelBytes), 1), b(a.size());
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), a.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(a.size()));
}

BENCHMARK_CAPTURE(copyPixels, memcpy_4B, 4)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(toPixels, c420_8_vuya, "420jpeg", PixelFormat::vuya)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(fromPixels, c420_8_vuya, "420jpeg", PixelFormat::vuya)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(toPixels, c420_8_argb, "420jpeg", PixelFormat::argb)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(fromPixels, c420_8_argb, "420jpeg", PixelFormat::argb)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(copyPixels, memcpy_8B, 8)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(toPixels, c420_10_Vuya, "420p10", PixelFormat::Vuya)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(fromPixels, c420_10_Vuya, "420p10", PixelFormat::Vuya)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(copyPixels, memcpy_16B, 16)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(toPixels, c420_8_VUya, "420jpeg", PixelFormat::VUya)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(fromPixels, c420_8_VUya, "420jpeg", PixelFormat::VUya)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
