// One monitoring tick of 21 visible rows against the virtual board in real
// time, with the 10 us transfer pause, compared with the wire time of its pod
// traffic: per row an S and a V command of 9 bytes each and a 4-byte reply,
// 10 bits per byte at 921,600 baud. Once on the "sim" device (a D2XX-style
// driver polling the modelled chip), once through the libftdi backend and the
// stand-in libftdi1 (the chip polled only by the backend's reads).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "c3x/Assembler.h"
#include "config/AppSettings.h"
#include "config/Clock.h"
#include "config/MicroTimer.h"
#include "image/CoffReader.h"
#include "monitoring/TargetPort.h"
#include "monitoring/WatchLists.h"
#include "podlink/FtdiBackends.h"
#include "podlink/PodLink.h"
#include "sim/Board.h"
#include "sim/SimFtdiDevice.h"

namespace velmora {
namespace {

constexpr size_t kVisibleRows = 20;  // one more, partly visible, is read too
constexpr double kBytesPerRow = 9 + 9 + 4;

double WireBoundSeconds(size_t rows) {
  return static_cast<double>(rows) * kBytesPerRow * 10.0 / kPodBaudRate;
}

// A running responder on a TMS320C31 board, reached through the pod link.
struct Target {
  std::unique_ptr<CMicroTimer> timer;
  std::unique_ptr<CPodLink> link;
  std::vector<CDataObject> items;
  std::string error;
  std::string folder;

  ~Target() {
    link.reset();
    if (!folder.empty()) std::filesystem::remove_all(folder);
  }

  bool Start(bool viaLibftdi) {
    const std::string out = "bench_monitor_tick_responder.out";
    std::vector<std::string> errors;
    if (!c3x::AssembleFile(VELMORA_SOURCE_DIR "/tests/shell/monitor_responder.asm", out, errors)) {
      error = "cannot assemble the responder";
      return false;
    }
    AppSettings settings;
    settings.dspType = kTMS320C31;
    settings.dataScanTime = 0;         // 10 us
    settings.delayTimeAfterReset = 0;  // 50 ms
    ProgramData program;
    if (ReadCoffFile(out, Derive(settings).MemoryInterface(), program) != kCoffOk) {
      error = "cannot read the responder";
      return false;
    }
    std::remove(out.c_str());
    timer = std::make_unique<CMicroTimer>();
    timer->SetLoopsPerUs(timer->Measure());
    CPodLink::DriverLoader loader = [](std::string&) -> std::unique_ptr<FtdiApi> {
      sim::BoardConfig config;
      config.dspType = kTMS320C31;
      return std::make_unique<sim::SimFtdiDevice>(std::make_unique<sim::Board>(config),
                                                  sim::PodOptions{});
    };
    if (viaLibftdi) {
#ifdef VELMORA_FTDISTUB
      char scratch[] = "/tmp/velmora_bench_XXXXXX";
      if (!mkdtemp(scratch)) {
        error = "no scratch folder";
        return false;
      }
      folder = scratch;
      FtdiBackendOptions options;
      options.simDir = folder;
      options.values = {{"library", VELMORA_FTDISTUB}, {"dsp", "C31"}};
      loader = [options](std::string& e) { return CreateFtdiBackend("ftdi", options, e); };
#else
      error = "no stand-in libftdi1 in this build";
      return false;
#endif
    }
    link = std::make_unique<CPodLink>(loader, SteadyClock::Instance(), *timer);
    link->SetTransferSettings(Derive(settings));
    if (!link->LoadDriver() || !link->FindDevice() || !link->Open() ||
        !link->SerialBootDownload(program)) {
      error = "cannot boot the responder on the virtual board";
      return false;
    }
    SteadyClock::Instance().SleepMs(20);
    for (size_t i = 0; i <= kVisibleRows; ++i) {
      CDataObject item;
      item.name = "v" + std::to_string(i);
      item.address = 0x809C00 + static_cast<uint32_t>(i % 12);
      item.typeCode = 4;
      items.push_back(item);
    }
    return true;
  }
};

Target& SharedTarget() {
  static Target target;
  static const bool started = target.Start(false);
  (void)started;
  return target;
}

Target& LibftdiTarget() {
  static Target target;
  static const bool started = target.Start(true);
  (void)started;
  return target;
}

// Tick time against the wire bound, as counters and as a printed line.
void Report(benchmark::State& state, std::chrono::steady_clock::time_point start, size_t rows,
            const char* how, uint32_t sink) {
  benchmark::DoNotOptimize(sink);
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double tick =
      elapsed / static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
  const double bound = WireBoundSeconds(rows);
  state.counters["tick_ms"] = tick * 1e3;
  state.counters["wire_bound_ms"] = bound * 1e3;
  state.counters["ratio"] = tick / bound;
  std::printf("monitor tick, %zu rows, %s: %.3f ms, wire bound %.3f ms, ratio %.3f\n", rows, how,
              tick * 1e3, bound * 1e3, tick / bound);
}

// The tick as the panes run it.
void BM_MonitorTick21Rows(benchmark::State& state) {
  Target& t = SharedTarget();
  if (!t.link) {
    state.SkipWithError(t.error.c_str());
    return;
  }
  PodLinkPort port(*t.link);
  uint32_t sink = 0;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    const RefreshOutcome r = RefreshVisibleRows(t.items, 0, kVisibleRows, true, port,
                                                [&](size_t, uint32_t word) { sink += word; });
    if (!r.ok) {
      state.SkipWithError("a read failed");
      return;
    }
  }
  Report(state, start, t.items.size(), "grouped reads", sink);
}
BENCHMARK(BM_MonitorTick21Rows)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// The tick as the panes run it, through the libftdi backend.
void BM_MonitorTick21RowsLibftdi(benchmark::State& state) {
  Target& t = LibftdiTarget();
  if (!t.link) {
    state.SkipWithError(t.error.c_str());
    return;
  }
  PodLinkPort port(*t.link);
  uint32_t sink = 0;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    const RefreshOutcome r = RefreshVisibleRows(t.items, 0, kVisibleRows, true, port,
                                                [&](size_t, uint32_t word) { sink += word; });
    if (!r.ok) {
      state.SkipWithError("a read failed");
      return;
    }
  }
  Report(state, start, t.items.size(), "grouped reads, libftdi backend", sink);
}
BENCHMARK(BM_MonitorTick21RowsLibftdi)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// For comparison: one ReadTargetWord per row, each waiting for its reply.
void BM_MonitorTick21RowsOneByOne(benchmark::State& state) {
  Target& t = SharedTarget();
  if (!t.link) {
    state.SkipWithError(t.error.c_str());
    return;
  }
  uint32_t sink = 0;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    for (const CDataObject& item : t.items) {
      uint32_t word = 0;
      if (!t.link->ReadTargetWord(item.address, word)) {
        state.SkipWithError("a read failed");
        return;
      }
      sink += word;
    }
  }
  Report(state, start, t.items.size(), "one read at a time", sink);
}
BENCHMARK(BM_MonitorTick21RowsOneByOne)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace
}  // namespace velmora

BENCHMARK_MAIN();
