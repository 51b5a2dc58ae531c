// Per-run overhead of the job runner: an empty run of N bands through the
// fallback threads (started and joined per run), through the test host's
// generic iteration (threads started per run) and through the reference
// host's pooled generic iteration (threads kept across runs).
#include "parallel/AEHost.h"
#include "host/PluginEntry.h"
#include "refhost/RefHost.h"
#include "parallel/SystemThread.h"
#include "tests/support/TestHost.h"

#include <benchmark/benchmark.h>

using namespace refhost;

namespace {

void emptyBand(int32_t, int32_t, int32_t, void*) {}

void BM_FallbackRunner(benchmark::State& state) {
    const int32_t bands = int32_t(state.range(0));
    for (auto _ : state)
        Kel::Host::System::Thread().thread(emptyBand, nullptr, bands);
    state.SetLabel("threads started per run");
}
BENCHMARK(BM_FallbackRunner)->Arg(2)->Arg(4)->Arg(8)->UseRealTime();

void BM_HostIteration(benchmark::State& state) {
    TestHost testHost(2);
    AEHost host(testHost.inData(), nullptr, nullptr);
    const int32_t bands = int32_t(state.range(0));
    for (auto _ : state)
        host.thread(emptyBand, nullptr, bands);
    state.SetLabel("test host, threads started per run");
}
BENCHMARK(BM_HostIteration)->Arg(2)->Arg(4)->Arg(8)->UseRealTime();

void BM_RefHostPooledIteration(benchmark::State& state) {
    RefHost refHost(HostProfile::afterEffects().withWorkers(2), &PluginEntry);
    AEHost host(&refHost.inData(), nullptr, nullptr);
    const int32_t bands = int32_t(state.range(0));
    host.thread(emptyBand, nullptr, bands); // the pool starts on first use
    for (auto _ : state)
        host.thread(emptyBand, nullptr, bands);
    state.SetLabel("reference host, pool of 2 kept across runs");
}
BENCHMARK(BM_RefHostPooledIteration)->Arg(2)->Arg(4)->Arg(8)->UseRealTime();

void BM_InlineSingleBand(benchmark::State& state) {
    TestHost testHost(2);
    AEHost host(testHost.inData(), nullptr, nullptr);
    for (auto _ : state)
        host.thread(emptyBand, nullptr, 1);
}
BENCHMARK(BM_InlineSingleBand);

} // namespace

BENCHMARK_MAIN();
