// The flash loaders and the target responder on the virtual board:
// - FlashWriteDemo: erase (JEDEC chips), program and verify the demo through
//   the built-in loader, host and board on one virtual clock; reports the
//   board time the procedure takes and the host time it costs to simulate.
// - WordProgram: board time from a flash word's arrival until it is in the
//   chip, against the host's 85 us between words.
// - ResponderWord: target instruction cycles one responder word costs the
//   running program.
#include <benchmark/benchmark.h>

#include <memory>

#include "c3x/Assembler.h"
#include "config/MicroTimer.h"
#include "image/CoffReader.h"
#include "podlink/PodLink.h"
#include "sim/SimFtdiDevice.h"

namespace {

using namespace velmora;

std::string Demo() {
  return std::string(VELMORA_SOURCE_DIR) + "/examples/demo/demo.out";
}

void FlashWriteDemo(benchmark::State& state) {
  const uint8_t dsp = static_cast<uint8_t>(state.range(0));
  const uint8_t flash = static_cast<uint8_t>(state.range(1));
  ProgramData demo;
  MemoryInterfaceValues mi;
  mi.dspType = dsp;
  if (ReadCoffFile(Demo(), mi, demo) != kCoffOk) {
    state.SkipWithError("demo.out cannot be read");
    return;
  }
  double boardSeconds = 0;
  for (auto _ : state) {
    VirtualClock clock;
    VirtualMicroDelayer delayer(clock);
    CPodLink link(
        [&](std::string&) -> std::unique_ptr<FtdiApi> {
          sim::BoardConfig cfg;
          cfg.dspType = dsp;
          cfg.flashType = flash;
          auto board = std::make_unique<sim::Board>(cfg);
          board->PowerUp();
          return std::make_unique<sim::SimFtdiDevice>(std::move(board), sim::PodOptions{}, clock);
        },
        clock, delayer);
    DerivedTransferSettings s;
    s.dspType = dsp;
    s.flashType = flash;
    s.bootBase = 0x1000;
    link.SetTransferSettings(s);
    if (!link.LoadDriver() || !link.FindDevice() || !link.Open() ||
        !link.FlashProgramAndVerify(demo.image)) {
      state.SkipWithError("flash write failed");
      return;
    }
    boardSeconds = clock.NowUs() / 1e6;
  }
  state.counters["board_s"] = boardSeconds;
  state.SetLabel(std::string(DspTypeName(dsp)) + " " + FlashTypeName(flash));
}
BENCHMARK(FlashWriteDemo)
    ->ArgsProduct({{0, 1, 2}, {0, 1, 2, 3, 4, 5}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// A board with the production loader of (dsp, flash) running.
std::unique_ptr<sim::Board> BoardWithLoader(uint8_t dsp, uint8_t flash) {
  sim::BoardConfig cfg;
  cfg.dspType = dsp;
  cfg.flashType = flash;
  auto board = std::make_unique<sim::Board>(cfg);
  board->PowerUp();
  const FlashLoaderSet loaders = ProductionFlashLoaders();
  for (uint32_t w : loaders.Get(ChooseFlashLoader(dsp, flash)).words) {
    board->RunForNs(10'000);
    board->SerialExchange(w);
  }
  board->RunForNs(100'000);
  return board;
}

void WordProgram(benchmark::State& state) {
  const uint8_t dsp = static_cast<uint8_t>(state.range(0));
  const uint8_t flash = static_cast<uint8_t>(state.range(1));
  double slowestUs = 0;
  for (auto _ : state) {
    auto board = BoardWithLoader(dsp, flash);
    board->SerialExchange(kFlashProgram);
    board->RunForNs(100'000);
    board->SerialExchange(64);
    board->RunForNs(100'000);
    board->SerialExchange(0x1000);
    for (uint32_t i = 0; i < 64; ++i) {
      board->RunForNs(100'000);
      const uint32_t word = 0x5A00A500u ^ (i * 0x01030507u);
      board->SerialExchange(word);
      uint64_t ns = 0;
      while ((board->Flash().Busy() || board->FlashImageWord(i) != word) && ns < 1'000'000) {
        board->RunForNs(500);
        ns += 500;
      }
      slowestUs = std::max(slowestUs, ns / 1000.0);
    }
  }
  state.counters["slowest_word_us"] = slowestUs;
  state.counters["host_spacing_us"] = kFixedWordDelayUs + kFlashWordDelayUs;
  state.SetLabel(std::string(DspTypeName(dsp)) + " " + FlashTypeName(flash));
}
BENCHMARK(WordProgram)->ArgsProduct({{0, 1, 2}, {0, 1, 2}})->Iterations(1);

void ResponderWord(benchmark::State& state) {
  const uint8_t dsp = static_cast<uint8_t>(state.range(0));
  const std::string source = std::string("        .text 200000h\n") +
                             "start:  LDP     @k_stack\n"
                             "        LDI     @k_stack, SP\n"
                             "        CALL    _resp_init\n"
                             "idle:   IDLE\n"
                             "        BR      idle\n"
                             "k_stack .word   stack\n"
                             "        .bss    stack, 32\n"
                             "        .include \"" VELMORA_SOURCE_DIR
                             "/examples/responder/responder.asm\"\n";
  const c3x::AsmResult r = c3x::Assemble(source, "bench.asm", c3x::FileIncludeReader());
  if (!r.ok) {
    state.SkipWithError(r.errors.front().c_str());
    return;
  }
  sim::BoardConfig cfg;
  cfg.dspType = dsp;
  sim::Board board(cfg);
  for (const auto& s : r.sections)
    if (!s.uninitialised) board.LoadWords(s.origin, s.words);
  board.StartAt(0x200000);
  board.RunForNs(100'000);
  double cyclesPerRead = 0, cyclesPerWrite = 0;
  for (auto _ : state) {
    auto cost = [&](std::initializer_list<uint32_t> words) {
      const uint64_t before = board.CpuCore().Instructions();
      for (uint32_t w : words) {
        board.SerialExchange(w);
        board.RunForNs(100'000);
      }
      return static_cast<double>(board.CpuCore().Instructions() - before) / words.size();
    };
    cyclesPerRead = cost({0x200000, 0x200001, 0x200002, 0x200003});
    cyclesPerWrite = cost({0xAD200100, 0xD1001234, 0xD0005678, 0x33000000});
  }
  state.counters["cycles_per_read"] = cyclesPerRead;
  state.counters["cycles_per_write_word"] = cyclesPerWrite;
  state.SetLabel(DspTypeName(dsp));
}
BENCHMARK(ResponderWord)->DenseRange(0, 2)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
