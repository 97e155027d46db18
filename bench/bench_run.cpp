// Speed of `velmora-cli run`: the runner executing a long loop (a float
// multiply-accumulate over a buffer, an integer checksum and a decrement-and-
// branch), as a program under test would, in instructions per second. With
// and without the per-instruction trace.
#include <benchmark/benchmark.h>

#include <sstream>
#include <string>

#include "c3x/Assembler.h"
#include "sim/Runner.h"

namespace {

using namespace velmora;

constexpr const char* kLongLoop = R"(
        .text 0x809800
start:  LDI   0x80, AR0
        LSH   16, AR0
        OR    0x9C00, AR0         ; AR0 -> 0x809C00: 64 floats
        LDI   63, BK
        ADDI  1, BK               ; BK = 64
        LDF   0.5, R1
        LDF   0.0, R0
        LDI   0, R2
outer:  LDI   1000, AR2
inner:  MPYF3 *AR0++%, R1, R3     ; seven instructions a pass
        ADDF  R3, R0
        ADDI  R2, R2
        XOR   0x1234, R2
        LSH   -1, R2
        NOP
        DB    AR2, inner
        BR    outer
)";

void RunLongLoop(benchmark::State& state, bool trace) {
  const c3x::AsmResult code = c3x::Assemble(kLongLoop, "loop.asm");
  if (!code.ok) {
    state.SkipWithError(code.errors.front().c_str());
    return;
  }
  sim::Runner runner(0);
  std::string error;
  runner.Load(code.sections[0].origin, code.sections[0].words, error);
  std::ostringstream sink;
  runner.SetTrace(trace ? &sink : nullptr);
  const uint64_t chunk = trace ? 100'000 : 10'000'000;
  uint64_t executed = 0;
  uint32_t pc = code.sections[0].origin;
  for (auto _ : state) {
    const uint64_t before = runner.Steps();
    runner.Run(pc, chunk, std::nullopt);
    pc = runner.Core().Pc();
    executed += runner.Steps() - before;
    sink.str("");
  }
  state.counters["instructions/s"] =
      benchmark::Counter(static_cast<double>(executed), benchmark::Counter::kIsRate);
}

void BM_RunLongLoop(benchmark::State& state) {
  RunLongLoop(state, false);
}
void BM_RunLongLoopTraced(benchmark::State& state) {
  RunLongLoop(state, true);
}
BENCHMARK(BM_RunLongLoop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RunLongLoopTraced)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
