// Flash verify and read of a 32K-word image through the built-in loader on the
// virtual board, and the loader's CRC-32:
// - Verify32K / Read32K: the grouped verify and read, each against its
//   wire-time bound: per word the 9-byte read command and the 4-byte reply,
//   10 bits per byte at 921,600 baud (32K words: 4.62 s); target <= 1.2x.
// - QuickVerify32K: the CRC-32 verify of the same image, download of the
//   loader reported apart; target < 1 s.
// - LoaderCrcSpeed: target cycles per byte of the loader's CRC-32 (board time:
//   instructions and flash wait states), on each DSP at its board clock.
// - WriteVerify32KLibftdi: the same image erased, written word by word and
//   verified through the libftdi backend and the stand-in libftdi1 (the
//   modelled chip with no driver polling it), write and verify each against
//   its wire-time bound (write: 9 bytes a word, 3.20 s); target <= 1.2x.
// Arguments of the first three and the last: 0 on the virtual clock (board
// time, host CPU not counted), 1 in real time with the board on its own thread.
#include <benchmark/benchmark.h>
#ifdef VELMORA_FTDISTUB
#include <dlfcn.h>
#endif

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "c3x/Assembler.h"
#include "config/Clock.h"
#include "config/MicroTimer.h"
#include "podlink/FtdiBackends.h"
#include "podlink/PodLink.h"
#include "sim/Board.h"
#include "sim/SimFtdiDevice.h"

namespace velmora {
namespace {

constexpr uint32_t kWords = 32768;
constexpr uint8_t kDsp = kTMS320C31;
constexpr uint8_t kFlash = kAM29F040;  // 512 KB: 32K words fit Boot1

double WireBoundSeconds(uint32_t words) {
  return static_cast<double>(words) * (9 + 4) * 10.0 / kPodBaudRate;
}

ProgramImage RandomImage(uint32_t words) {
  ProgramImage image;
  image.words.resize(words + 64, 0xFFFFFFFF);
  uint32_t x = 12345;
  for (uint32_t i = 0; i < words; ++i) image.words[i] = x = x * 1664525u + 1013904223u;
  image.imageByteCount = 4 * words;
  return image;
}

// A link to a board whose flash holds the image, the loader downloaded.
struct Rig {
  VirtualClock virtualClock;
  VirtualMicroDelayer virtualDelayer{virtualClock};
  std::unique_ptr<CMicroTimer> timer;
  std::unique_ptr<CPodLink> link;
  ProgramImage image = RandomImage(kWords);
  bool realTime;
  double downloadSeconds = 0;

  explicit Rig(bool real) : realTime(real) {
    Clock& clock = real ? static_cast<Clock&>(SteadyClock::Instance()) : virtualClock;
    MicroDelayer* delayer = &virtualDelayer;
    if (real) {
      timer = std::make_unique<CMicroTimer>();
      timer->SetLoopsPerUs(timer->Measure());
      delayer = timer.get();
    }
    link = std::make_unique<CPodLink>(
        [this, real](std::string&) -> std::unique_ptr<FtdiApi> {
          sim::BoardConfig cfg;
          cfg.dspType = kDsp;
          cfg.flashType = kFlash;
          auto board = std::make_unique<sim::Board>(cfg);
          board->PowerUp();
          board->RunForNs(cfg.serialBootWindowNs + 1'000'000);
          board->WriteFlashImage(
              std::vector<uint32_t>(image.words.begin(), image.words.begin() + kWords));
          if (real)
            return std::make_unique<sim::SimFtdiDevice>(std::move(board), sim::PodOptions{});
          return std::make_unique<sim::SimFtdiDevice>(std::move(board), sim::PodOptions{},
                                                      virtualClock);
        },
        clock, *delayer);
    AppSettings s;
    s.dspType = kDsp;
    s.flashType = kFlash;
    s.dataScanTime = 0;
    link->SetTransferSettings(Derive(s));
    link->ApplyMemoryInterfaceValuesToLoaders();
    const double start = Now();
    ok = link->LoadDriver() && link->FindDevice() && link->Open() && link->DownloadFlashLoader();
    downloadSeconds = Now() - start;
  }
  double Now() { return realTime ? SteadyNow() : virtualClock.NowUs() / 1e6; }
  static double SteadyNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  bool ok = false;
};

const char* ClockName(bool real) {
  return real ? "real time" : "virtual clock";
}

void Verify32K(benchmark::State& state) {
  Rig rig(state.range(0) != 0);
  if (!rig.ok) return state.SkipWithError("no loader on the virtual board");
  double seconds = 0;
  for (auto _ : state) {
    const double start = rig.Now();
    if (!rig.link->VerifyFlash(rig.image)) return state.SkipWithError("verify failed");
    seconds = rig.Now() - start;
  }
  const double bound = WireBoundSeconds(kWords);
  state.counters["verify_s"] = seconds;
  state.counters["ratio"] = seconds / bound;
  std::printf("verify 32K words, %s: %.3f s, wire bound %.3f s, ratio %.3f\n",
              ClockName(rig.realTime), seconds, bound, seconds / bound);
}
BENCHMARK(Verify32K)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond);

void Read32K(benchmark::State& state) {
  Rig rig(state.range(0) != 0);
  if (!rig.ok) return state.SkipWithError("no loader on the virtual board");
  double seconds = 0;
  for (auto _ : state) {
    ProgramImage read = rig.image;
    const double start = rig.Now();
    if (!rig.link->ReadFlash(read) || read.words != rig.image.words)
      return state.SkipWithError("read failed");
    seconds = rig.Now() - start;
  }
  const double bound = WireBoundSeconds(kWords);
  state.counters["read_s"] = seconds;
  state.counters["ratio"] = seconds / bound;
  std::printf("read 32K words, %s: %.3f s, wire bound %.3f s, ratio %.3f\n",
              ClockName(rig.realTime), seconds, bound, seconds / bound);
}
BENCHMARK(Read32K)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond);

void QuickVerify32K(benchmark::State& state) {
  Rig rig(state.range(0) != 0);
  if (!rig.ok) return state.SkipWithError("no loader on the virtual board");
  double seconds = 0;
  for (auto _ : state) {
    const double start = rig.Now();
    if (!rig.link->QuickVerifyFlash(rig.image)) return state.SkipWithError("quick verify failed");
    seconds = rig.Now() - start;
  }
  state.counters["quick_verify_s"] = seconds;
  state.counters["loader_download_s"] = rig.downloadSeconds;
  std::printf("quick verify 32K words, %s: %.3f s (loader download before it: %.3f s)\n",
              ClockName(rig.realTime), seconds, rig.downloadSeconds);
}
BENCHMARK(QuickVerify32K)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

// Board cycles from the CRC command's byte count until the loader has stored
// the CRC of `bytes` bytes (crc_result, found by assembling the source).
uint64_t CrcCycles(uint8_t dsp, uint8_t flash, uint32_t bytes) {
  const FlashLoaderId id = ChooseFlashLoader(dsp, flash);
  const char* names[] = {"c31", "c32_byte", "c32_page", "c33"};
  const std::string path = std::string(VELMORA_SOURCE_DIR) + "/src/podlink/loaders/flash_loader_" +
                           names[static_cast<int>(id)] + ".asm";
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  const c3x::AsmResult r = c3x::Assemble(text.str(), path, c3x::FileIncludeReader());
  uint32_t crcResult = 0;
  for (const c3x::AsmSymbol& sym : r.symbols)
    if (sym.name == "crc_result") crcResult = sym.value;
  if (!r.ok || !crcResult) return 0;

  sim::BoardConfig cfg;
  cfg.dspType = dsp;
  cfg.flashType = flash;
  sim::Board board(cfg);
  board.PowerUp();
  const FlashLoaderSet loaders = ProductionFlashLoaders();
  for (uint32_t w : loaders.Get(id).words) {
    board.RunForNs(10'000);
    board.SerialExchange(w);
  }
  board.RunForNs(100'000);
  board.SerialExchange(kFlashCrc | sim::BootBaseAddress(dsp, 0));
  board.RunForNs(100'000);
  constexpr uint32_t kUnset = 0xDEADBEEF;
  board.WriteWord(crcResult, kUnset);
  board.SerialExchange(bytes);
  const uint64_t start = board.NowCycles();
  uint32_t v = kUnset;
  for (int i = 0; i < 10'000'000 && v == kUnset; ++i) {
    board.RunForNs(100);
    board.ReadWord(crcResult, &v);
  }
  return board.NowCycles() - start;
}

void LoaderCrcSpeed(benchmark::State& state) {
  const uint8_t dsp = static_cast<uint8_t>(state.range(0));
  const uint8_t flash = dsp == kTMS320C32 ? kAM29F040 : kAT29C040A;
  constexpr uint32_t kBytes = 4 * kWords;
  double perByte = 0;
  for (auto _ : state)
    perByte =
        static_cast<double>(CrcCycles(dsp, flash, kBytes) - CrcCycles(dsp, flash, 0)) / kBytes;
  const double mhz = sim::DefaultCpuMhz(dsp);
  state.counters["cycles_per_byte"] = perByte;
  state.counters["ms_for_32K_words"] = perByte * kBytes / (mhz * 1000);
  std::printf(
      "loader CRC-32 on the %s at %.0f MHz, seven wait states: %.1f cycles a byte, "
      "%.0f ms for 32K words\n",
      DspTypeName(dsp), mhz, perByte, perByte * kBytes / (mhz * 1000));
}
BENCHMARK(LoaderCrcSpeed)->DenseRange(0, 2)->Iterations(1);

#ifdef VELMORA_FTDISTUB
void WriteVerify32KLibftdi(benchmark::State& state) {
  const bool real = state.range(0) != 0;
  VirtualClock virtualClock;
  VirtualMicroDelayer virtualDelayer{virtualClock};
  std::unique_ptr<CMicroTimer> timer;
  Clock& clock = real ? static_cast<Clock&>(SteadyClock::Instance()) : virtualClock;
  MicroDelayer* delayer = &virtualDelayer;
  if (real) {
    timer = std::make_unique<CMicroTimer>();
    timer->SetLoopsPerUs(timer->Measure());
    delayer = timer.get();
  }
  // Held for the run: the backend's own load shares it, and on the virtual
  // clock the board follows the host's clock.
  void* stub = dlopen(VELMORA_FTDISTUB, RTLD_NOW | RTLD_LOCAL);
  if (!stub) return state.SkipWithError("the stand-in libftdi1 does not load");
  auto setClock = reinterpret_cast<void (*)(VirtualClock*)>(dlsym(stub, "velmora_stub_set_clock"));
  auto powerOff = reinterpret_cast<void (*)()>(dlsym(stub, "velmora_stub_power_off"));
  setClock(real ? nullptr : &virtualClock);
  char folder[] = "/tmp/velmora_bench_XXXXXX";
  if (!mkdtemp(folder)) return state.SkipWithError("no scratch folder");
  FtdiBackendOptions options;
  options.simDir = folder;
  options.values = {
      {"library", VELMORA_FTDISTUB}, {"dsp", "C31"}, {"flash", "AM29F040"}, {"boot", "Boot1"}};
  const ProgramImage image = RandomImage(kWords);
  double writeSeconds = 0, verifySeconds = 0;
  bool ok = true;
  {
    CPodLink link([&](std::string& error) { return CreateFtdiBackend("ftdi", options, error); },
                  clock, *delayer);
    AppSettings s;
    s.dspType = kDsp;
    s.flashType = kFlash;
    link.SetTransferSettings(Derive(s));
    link.ApplyMemoryInterfaceValuesToLoaders();
    auto now = [&] {
      return real ? Rig::SteadyNow() : static_cast<double>(virtualClock.NowUs()) / 1e6;
    };
    for (auto _ : state) {
      ok = link.LoadDriver() && link.FindDevice() && link.Open() && link.DownloadFlashLoader() &&
           link.EraseFlash();
      double start = now();
      ok = ok && link.WriteFlash(image);
      writeSeconds = now() - start;
      start = now();
      ok = ok && link.VerifyFlash(image);
      verifySeconds = now() - start;
    }
  }
  powerOff();
  setClock(nullptr);
  dlclose(stub);
  std::filesystem::remove_all(folder);
  if (!ok) return state.SkipWithError("write or verify failed");
  const double writeBound = kWords * 9 * 10.0 / kPodBaudRate;
  const double verifyBound = WireBoundSeconds(kWords);
  state.counters["write_ratio"] = writeSeconds / writeBound;
  state.counters["verify_ratio"] = verifySeconds / verifyBound;
  std::printf(
      "libftdi backend + stand-in libftdi1, %s: write 32K words %.3f s (wire bound %.3f s, "
      "ratio %.3f), verify %.3f s (wire bound %.3f s, ratio %.3f)\n",
      ClockName(real), writeSeconds, writeBound, writeSeconds / writeBound, verifySeconds,
      verifyBound, verifySeconds / verifyBound);
}
BENCHMARK(WriteVerify32KLibftdi)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond);
#endif

}  // namespace
}  // namespace velmora

BENCHMARK_MAIN();
