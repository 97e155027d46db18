// Speed of the simulated C3x: instructions per second on a typical inner loop
// (loads, stores with post-increment, integer and float arithmetic, a
// decrement-and-branch) and on a delayed-branch loop.
#include <benchmark/benchmark.h>

#include <vector>

#include "c3x/Isa.h"
#include "sim/Board.h"

namespace {

using velmora::c3x::Info;
using velmora::c3x::Op;
using namespace velmora::sim;

uint32_t Gen(Op op, unsigned g, unsigned dst, uint32_t src) {
  return Info(op).opcode | (g << 21) | (dst << 16) | (src & 0xFFFF);
}
uint32_t Ind(unsigned mod, unsigned ar, unsigned disp = 0) {
  return (mod << 11) | (ar << 8) | disp;
}

constexpr uint32_t kRam = 0x809800;
constexpr unsigned R0 = 0, R1 = 1, R2 = 2, R3 = 3, AR0 = 8, AR1 = 9, AR2 = 10, BK = 19;

std::vector<uint32_t> LoadConst(unsigned reg, uint32_t v) {
  return {Gen(Op::LDI, 3, reg, v >> 16), Gen(Op::LSH, 3, reg, 16), Gen(Op::OR, 3, reg, v & 0xFFFF)};
}

std::vector<uint32_t> MixedLoop() {
  // AR0 reads and AR1 writes two circular buffers of 64 words; AR2 counts.
  std::vector<uint32_t> p = LoadConst(AR0, 0x809A00);          // 0-2
  for (uint32_t w : LoadConst(AR1, 0x809B00)) p.push_back(w);  // 3-5
  p.push_back(Gen(Op::LDI, 3, BK, 64));                        // 6
  p.push_back(Gen(Op::LDI, 3, R2, 0x1400));                    // 7
  p.push_back(Gen(Op::LDF, 3, R3, 0x0000));                    // 8: 1.0
  // loop (9):
  p.push_back(Gen(Op::LDI, 3, AR2, 0x7FFF));
  // inner (10): seven instructions
  p.push_back(Gen(Op::LDI, 2, R0, Ind(0x06, 0, 1)));  // LDI *AR0++(1)%, R0
  p.push_back(Gen(Op::ADDI, 0, R0, R2));              // ADDI R2, R0
  p.push_back(Gen(Op::MPYI, 3, R0, 3));               // MPYI 3, R0
  p.push_back(Gen(Op::STI, 2, R0, Ind(0x06, 1, 1)));  // STI R0, *AR1++(1)%
  p.push_back(Gen(Op::MPYF, 0, R3, R3));              // MPYF R3, R3
  p.push_back(Gen(Op::SUBI, 3, R1, 1));               // SUBI 1, R1
  p.push_back(0x6C000000u | (1u << 25) | (2u << 22) | static_cast<uint16_t>(-7));  // DB AR2
  p.push_back(0x60000000u | (kRam + 9));                                           // BR loop
  return p;
}

void RunProgram(benchmark::State& state, const std::vector<uint32_t>& program) {
  BoardConfig cfg;
  Board board(cfg);
  board.LoadWords(kRam, program);
  board.StartAt(kRam);
  Cpu& cpu = board.CpuCore();
  const uint64_t chunk = 1'000'000;
  uint64_t executed = 0;
  for (auto _ : state) {
    const uint64_t before = cpu.Instructions();
    cpu.Run(cpu.Cycle() + chunk);
    executed += cpu.Instructions() - before;
    if (cpu.Stopped()) state.SkipWithError(cpu.StopMessage().c_str());
  }
  state.counters["instructions_per_second"] =
      benchmark::Counter(static_cast<double>(executed), benchmark::Counter::kIsRate);
}

void BM_MixedLoop(benchmark::State& state) {
  RunProgram(state, MixedLoop());
}
BENCHMARK(BM_MixedLoop)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DelayedBranchLoop(benchmark::State& state) {
  // ADDI; BRD back with three useful instructions in the delay slots.
  RunProgram(state, {Gen(Op::LDI, 3, R0, 0), Gen(Op::ADDI, 3, R0, 1), 0x61000000u | (kRam + 1),
                     Gen(Op::ADDI, 3, R1, 2), Gen(Op::SUBI, 3, R2, 1), Gen(Op::XOR, 0, R3, R0)});
}
BENCHMARK(BM_DelayedBranchLoop)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
