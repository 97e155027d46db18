// Calibration time of the micro-timer on this host, and how closely the
// calibrated MicroDelay meets the pauses the pod link asks for.
#include <benchmark/benchmark.h>

#include <chrono>

#include "config/MicroTimer.h"

namespace {

using velmora::CMicroTimer;

// The measurement blocks start-up; it should stay a fraction of a second.
void BM_Calibration(benchmark::State& state) {
  int32_t loops = 0;
  for (auto _ : state) {
    CMicroTimer timer;
    loops = timer.Measure();
    benchmark::DoNotOptimize(loops);
  }
  state.counters["loops_per_us"] = loops;
}
BENCHMARK(BM_Calibration)->Iterations(3)->Unit(benchmark::kMillisecond);

// Requested pause vs. the time MicroDelay really spends (ratio 1.0 is exact;
// above 1 errs on the safe side for the pod).
void BM_MicroDelay(benchmark::State& state) {
  static const int32_t loopsPerUs = CMicroTimer().Measure();
  CMicroTimer timer;
  timer.SetLoopsPerUs(loopsPerUs);
  const auto requested = static_cast<uint32_t>(state.range(0));
  double spentUs = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    timer.MicroDelay(requested);
    spentUs +=
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count();
  }
  state.counters["requested_us"] = requested;
  state.counters["actual_over_requested"] =
      spentUs / (static_cast<double>(requested) * static_cast<double>(state.iterations()));
}
BENCHMARK(BM_MicroDelay)->Arg(10)->Arg(55)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
