// The recorder on the demo (C31 board, 25 MHz, control loop at 20 kHz). The
// argument of each: 0 on the virtual clock (board and link time, host CPU not
// counted), 1 in real time with the board on its own thread.
// - SingleCapture4Channels: the effective sample rate of a 4-channel capture
//   of the whole buffer (4096 samples) in target time, from the pass counter
//   it recorded, and the upload of its 16384 words against the wire-time
//   bound: per word an S and a V command of 9 bytes, 10 bits per byte at
//   921,600 baud (the replies travel the other way at the same time);
//   target <= 1.2x.
// - Continuous: the sustained rate of a stream the target offers faster than
//   the wire carries (2 channels at 20 kHz), words delivered a second against
//   the same bound, with the samples the target had to drop.
// - LiveMonitoring4Words: for comparison, grouped reads of the same 4
//   variables one round after the other, as the watch panes read them.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "config/AppSettings.h"
#include "config/Clock.h"
#include "config/MicroTimer.h"
#include "image/CoffReader.h"
#include "monitoring/Recorder.h"
#include "monitoring/TargetPort.h"
#include "podlink/PodLink.h"
#include "sim/Board.h"
#include "sim/SimFtdiDevice.h"

namespace velmora {
namespace {

constexpr double kWireWordSeconds = 18 * 10.0 / kPodBaudRate;
constexpr uint32_t kTimer0Period = 0x808028;

struct Rig {
  explicit Rig(bool real) : realTime(real) {}

  bool realTime;
  VirtualClock virtualClock;
  VirtualMicroDelayer virtualDelayer{virtualClock};
  std::unique_ptr<CMicroTimer> timer;
  std::unique_ptr<CPodLink> link;
  std::unique_ptr<PodLinkPort> port;
  sim::SimFtdiDevice* device = nullptr;
  ProgramData demo;
  std::string error;
  double loopHz = 0;

  Clock& TheClock() {
    return realTime ? static_cast<Clock&>(SteadyClock::Instance()) : virtualClock;
  }
  uint32_t Symbol(const std::string& name) const {
    for (const CDataObject& s : demo.symbols)
      if (s.name == name) return s.address;
    return 0;
  }
  RecChannel Channel(const std::string& name, RecType type) const {
    return {name, Symbol(name), type};
  }

  bool Start() {
    AppSettings settings;
    settings.dspType = kTMS320C31;
    settings.dataScanTime = 0;  // 10 us
    if (ReadCoffFile(VELMORA_SOURCE_DIR "/examples/demo/demo.out",
                     Derive(settings).MemoryInterface(), demo) != kCoffOk) {
      error = "cannot read the demo";
      return false;
    }
    MicroDelayer* delayer = &virtualDelayer;
    if (realTime) {
      timer = std::make_unique<CMicroTimer>();
      timer->SetLoopsPerUs(timer->Measure());
      delayer = timer.get();
    }
    link = std::make_unique<CPodLink>(
        [this](std::string&) -> std::unique_ptr<FtdiApi> {
          sim::BoardConfig config;
          config.dspType = kTMS320C31;
          auto board = std::make_unique<sim::Board>(config);
          auto d = realTime ? std::make_unique<sim::SimFtdiDevice>(std::move(board),
                                                                   sim::PodOptions{})
                            : std::make_unique<sim::SimFtdiDevice>(
                                  std::move(board), sim::PodOptions{}, virtualClock);
          device = d.get();
          return d;
        },
        TheClock(), *delayer);
    link->SetTransferSettings(Derive(settings));
    if (!link->LoadDriver() || !link->FindDevice() || !link->Open() ||
        !link->SerialBootDownload(demo)) {
      error = "cannot boot the demo on the virtual board";
      return false;
    }
    Wait(20);
    port = std::make_unique<PodLinkPort>(*link);
    uint32_t period = 0;
    port->ReadTargetWord(kTimer0Period, period);
    loopHz = 25e6 / 2 / period;
    return true;
  }
  void Wait(uint32_t ms) {
    TheClock().SleepMs(ms);
    if (!realTime) device->Sync();
  }
  double Now() { return TheClock().NowUs() / 1e6; }
};

// One rig per clock, booted when first asked for.
Rig& SharedRig(bool real) {
  static Rig virtualRig(false), realRig(true);
  static bool virtualStarted = virtualRig.Start() || true;
  Rig& rig = real ? realRig : virtualRig;
  if (real) {
    static bool realStarted = realRig.Start() || true;
    (void)realStarted;
  }
  (void)virtualStarted;
  return rig;
}

const char* ClockName(bool real) {
  return real ? "real time" : "virtual clock";
}

void BM_SingleCapture4Channels(benchmark::State& state) {
  Rig& r = SharedRig(state.range(0) != 0);
  if (!r.port) {
    state.SkipWithError(r.error.c_str());
    return;
  }
  Recorder recorder(*r.port, r.Symbol("rec"));
  std::string error;
  if (!recorder.Probe(error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  RecConfig config;
  config.channels = {r.Channel("pass", RecType::Unsigned), r.Channel("setpoint", RecType::Float),
                     r.Channel("output", RecType::Float), r.Channel("command", RecType::Float)};
  config.samples = recorder.CapacityWords() / 4;
  for (auto _ : state) {
    if (!recorder.Configure(config, error) || !recorder.Arm()) {
      state.SkipWithError("cannot arm");
      return;
    }
    RecStatus status;
    while (recorder.Poll(status) && status.state != rec::kDone) r.Wait(20);
    RecCapture capture;
    const double t0 = r.Now();
    if (recorder.Upload(capture) != RecResult::Ok) {
      state.SkipWithError("the upload failed");
      return;
    }
    const double upload = r.Now() - t0;
    const size_t n = capture.Samples();
    const double span = (capture.Word(n - 1, 0) - capture.Word(0, 0)) / r.loopHz;
    const double rate = (n - 1) / span;
    const double bound = capture.words.size() * kWireWordSeconds;
    state.counters["sample_rate_hz"] = rate;
    state.counters["upload_s"] = upload;
    state.counters["ratio"] = upload / bound;
    std::printf(
        "single capture, %s, 4 channels x %zu samples: effective sample rate %.0f Hz (loop %.0f "
        "Hz); upload of %zu words %.3f s, wire bound %.3f s, ratio %.3f\n",
        ClockName(r.realTime), n, rate, r.loopHz, capture.words.size(), upload, bound,
        upload / bound);
  }
}
BENCHMARK(BM_SingleCapture4Channels)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond);

void BM_Continuous(benchmark::State& state) {
  Rig& r = SharedRig(state.range(0) != 0);
  if (!r.port) {
    state.SkipWithError(r.error.c_str());
    return;
  }
  Recorder recorder(*r.port, r.Symbol("rec"));
  std::string error;
  recorder.Probe(error);
  RecConfig config;
  config.channels = {r.Channel("pass", RecType::Unsigned), r.Channel("output", RecType::Float)};
  config.samples = 4096;
  config.continuous = true;
  for (auto _ : state) {
    if (!recorder.Configure(config, error) || !recorder.Arm()) {
      state.SkipWithError("cannot arm");
      return;
    }
    RecCapture capture;
    // The ring is full after 0.1 s; from then on the wire sets the pace.
    r.Wait(200);
    size_t taken = 0;
    recorder.Drain(capture, taken);
    const size_t before = capture.Samples();
    const double t0 = r.Now();
    while (r.Now() - t0 < 3.0) {
      if (recorder.Drain(capture, taken) != RecResult::Ok) {
        state.SkipWithError("a drain failed");
        return;
      }
    }
    const double seconds = r.Now() - t0;
    recorder.Stop();
    const double words = static_cast<double>(capture.Samples() - before) * 2 / seconds;
    const double bound = 1.0 / kWireWordSeconds;
    state.counters["words_per_s"] = words;
    state.counters["ratio_to_bound"] = words / bound;
    std::printf(
        "continuous, %s, 2 channels offered at %.0f samples/s: sustained %.0f words/s (%.0f "
        "samples/s), wire bound %.0f words/s, %.3f of it; %llu samples dropped by the target\n",
        ClockName(r.realTime), r.loopHz, words, words / 2, bound, words / bound,
        static_cast<unsigned long long>(capture.overruns));
  }
}
BENCHMARK(BM_Continuous)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond);

void BM_LiveMonitoring4Words(benchmark::State& state) {
  Rig& r = SharedRig(state.range(0) != 0);
  if (!r.port) {
    state.SkipWithError(r.error.c_str());
    return;
  }
  const uint32_t addresses[4] = {r.Symbol("pass"), r.Symbol("setpoint"), r.Symbol("output"),
                                 r.Symbol("command")};
  for (auto _ : state) {
    uint32_t values[4];
    const double t0 = r.Now();
    uint32_t firstPass = 0, lastPass = 0;
    size_t rounds = 0;
    while (r.Now() - t0 < 1.0) {
      if (r.port->ReadTargetWords(addresses, 4, values) != 4) {
        state.SkipWithError("a read failed");
        return;
      }
      if (!rounds) firstPass = values[0];
      lastPass = values[0];
      ++rounds;
    }
    const double seconds = r.Now() - t0;
    const double rate = rounds / seconds;
    state.counters["samples_per_s"] = rate;
    std::printf(
        "live monitoring, %s, 4 variables: %.0f rounds/s (%.0f words/s), one sample per %.1f "
        "loop passes on average\n",
        ClockName(r.realTime), rate, rate * 4, (lastPass - firstPass) / static_cast<double>(rounds - 1));
  }
}
BENCHMARK(BM_LiveMonitoring4Words)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace velmora

BENCHMARK_MAIN();
