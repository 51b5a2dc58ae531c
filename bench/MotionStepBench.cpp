// The per-frame motion step on one 1080 field pair (1920 x 540, 8-bit ARGB: a
// textured picture and a copy shifted by (1.5, 0.5)) for "Fast", "Better" and
// "Best" on two bands. Counters give the share of the time per stage. The
// baseline is a plain copy of one colour field of the same size.
// With --pooled-host-memory the test host's allocator keeps freed blocks, as
// a host's memory manager would; otherwise every call faults in the fresh
// pages of its 37 MB motion field (counted in rest%).
#include "motion/EstimateFrameMotion.h"
#include "parallel/ProcessorFeatures.h"
#include "parallel/Sarn_SetThreadCount.h"
#include "tests/support/TestHost.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <malloc.h>
#include <sys/resource.h>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr int32_t kWidth = 1920, kRows = 540, kThreads = 2;

struct FieldPair {
    FieldPair() : a(size_t(kWidth) * kRows * 4), b(a.size()), u(size_t(kWidth) * kRows), v(u.size()) {
        for (int32_t y = 0; y < kRows; ++y)
            for (int32_t x = 0; x < kWidth; ++x)
                for (int c = 0; c < 4; ++c) {
                    const auto at = [&](double px, double py) {
                        return 128.0 + 50.0 * std::sin(0.21 * px + 0.11 * py + c) +
                               40.0 * std::cos(0.17 * py - 0.13 * px + 1.0) + 20.0 * std::sin(0.05 * px + 0.23 * py);
                    };
                    const size_t i = (size_t(y) * kWidth + x) * 4 + size_t(c);
                    a[i] = uint8_t(c == 0 ? 255.0 : at(x, y) + 0.5);
                    b[i] = uint8_t(c == 0 ? 255.0 : at(x - 1.5, y - 0.5) + 0.5);
                }
    }
    std::vector<uint8_t> a, b;
    std::vector<float> u, v;
};

FieldPair& pair() {
    static FieldPair data;
    return data;
}

class StageClock : public Sarn_MotionObserver {
public:
    using Clock = std::chrono::steady_clock;
    void enter(Stage s) override { started[int(s)] = Clock::now(); }
    void leave(Stage s) override {
        total[int(s)] += std::chrono::duration<double>(Clock::now() - started[int(s)]).count();
    }
    Clock::time_point started[7];
    double total[7] = {};
};

double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + 1e-6 * double(t.tv_usec); };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void runStep(benchmark::State& state, int32_t passes, int32_t finestLevel) {
    FieldPair& data = pair();
    TestHost host(kThreads);
    Sarn_SetThreadCount(kThreads);
    const RenderContext context{host.inData(), detectProcessorFeatures()};
    StageClock clock;
    double all = 0.0;
    const double cpuBefore = processCpuSeconds();
    for (auto _ : state) {
        const auto start = StageClock::Clock::now();
        EstimateFrameMotion<Sarn_Pixel8, Sarn_OrderARGB>(context, kWidth, kRows, data.a.data(), data.b.data(),
                                                         kWidth * 4, kWidth * 4, data.u.data(), data.v.data(),
                                                         passes, finestLevel, 14.142136f, false,
                                                         LumaSource::WeightedRGB, &clock);
        all += std::chrono::duration<double>(StageClock::Clock::now() - start).count();
        benchmark::ClobberMemory();
    }
    const double cpu = processCpuSeconds() - cpuBefore;
    Sarn_SetThreadCount(1);
    using Stage = Sarn_MotionObserver::Stage;
    const auto share = [&](Stage s) { return all > 0.0 ? 100.0 * clock.total[int(s)] / all : 0.0; };
    state.counters["ms"] = 1000.0 * all / double(state.iterations());
    // CPU time of all threads per call: less disturbed by other load on the
    // machine than the wall time.
    state.counters["cpu_ms"] = 1000.0 * cpu / double(state.iterations());
    state.counters["lum%"] = share(Stage::Luminance);
    state.counters["pyramid%"] = share(Stage::Pyramid);
    state.counters["warp%"] = share(Stage::Warp);
    state.counters["grad%"] = share(Stage::Gradients);
    state.counters["sweep%"] = share(Stage::Sweeps);
    state.counters["copy%"] = share(Stage::CopyOut);
    // Host allocations, clearing the motion fields and the job runner's own cost.
    double staged = 0.0;
    for (double t : clock.total)
        staged += t;
    state.counters["rest%"] = all > 0.0 ? 100.0 * (all - staged) / all : 0.0;
}

void BM_Fast(benchmark::State& state) { runStep(state, 1, 2); }
void BM_Better(benchmark::State& state) { runStep(state, 1, 1); }
void BM_Best(benchmark::State& state) { runStep(state, 5, 0); }

void BM_FieldCopyBaseline(benchmark::State& state) {
    FieldPair& data = pair();
    std::vector<uint8_t> out(data.a.size());
    for (auto _ : state) {
        std::memcpy(out.data(), data.a.data(), out.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(out.size()));
}

BENCHMARK(BM_FieldCopyBaseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Fast)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Better)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Best)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--pooled-host-memory") == 0) {
            mallopt(M_MMAP_THRESHOLD, 1 << 30);
            mallopt(M_TRIM_THRESHOLD, 1 << 30);
            argv[i--] = argv[--argc];
        }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
