// Host-side CPU cost per streamed word of serial boot and flash programming,
// against a device that takes every byte at once and a delayer that does not
// pause: what is left is the link's own formatting and bookkeeping. The wire
// time of one word (9 bytes, 10 bits each, at 921,600 baud) is about 97.7 us;
// the counters give the cost per word and its share of that wire time.
#include <benchmark/benchmark.h>

#include <ctime>
#include <memory>

#include "config/Clock.h"
#include "config/MicroTimer.h"
#include "podlink/PodLink.h"

namespace velmora {
namespace {

constexpr double kWireUsPerWord = 9.0 * 10.0 * 1e6 / 921600.0;

// Accepts everything instantly; answers a reset with "R".
class InstantDevice : public FtdiApi {
 public:
  FT_STATUS FT_ListDevices(void* arg1, void* arg2, DWORD flags) override {
    if (flags == FT_LIST_NUMBER_ONLY) {
      *static_cast<DWORD*>(arg1) = 1;
    } else {
      static const char kName[64] = "USB POD";
      std::copy(kName, kName + 64, static_cast<char*>(arg2));
    }
    return FT_OK;
  }
  FT_STATUS FT_OpenEx(void*, DWORD, FT_HANDLE* h) override {
    *h = this;
    return FT_OK;
  }
  FT_STATUS FT_Close(FT_HANDLE) override { return FT_OK; }
  FT_STATUS FT_ResetDevice(FT_HANDLE) override { return FT_OK; }
  FT_STATUS FT_GetLatencyTimer(FT_HANDLE, UCHAR* t) override {
    *t = 1;
    return FT_OK;
  }
  FT_STATUS FT_SetLatencyTimer(FT_HANDLE, UCHAR) override { return FT_OK; }
  FT_STATUS FT_SetBaudRate(FT_HANDLE, DWORD) override { return FT_OK; }
  FT_STATUS FT_SetDataCharacteristics(FT_HANDLE, UCHAR, UCHAR, UCHAR) override { return FT_OK; }
  FT_STATUS FT_SetFlowControl(FT_HANDLE, USHORT, UCHAR, UCHAR) override { return FT_OK; }
  FT_STATUS FT_SetTimeouts(FT_HANDLE, DWORD, DWORD) override { return FT_OK; }
  FT_STATUS FT_Purge(FT_HANDLE, DWORD) override {
    pendingReset_ = false;
    return FT_OK;
  }
  FT_STATUS FT_Write(FT_HANDLE, void* buffer, DWORD count, DWORD* written) override {
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    if (count && bytes[0] == 'R') pendingReset_ = true;
    bytesWritten_ += count;
    *written = count;
    return FT_OK;
  }
  FT_STATUS FT_Read(FT_HANDLE, void* buffer, DWORD count, DWORD* read) override {
    auto* out = static_cast<uint8_t*>(buffer);
    for (DWORD i = 0; i < count; ++i) out[i] = pendingReset_ ? 'R' : 0;
    pendingReset_ = false;
    *read = count;
    return FT_OK;
  }
  FT_STATUS FT_GetQueueStatus(FT_HANDLE, DWORD* rx) override {
    *rx = 0;
    return FT_OK;
  }
  FT_STATUS FT_GetStatus(FT_HANDLE, DWORD* rx, DWORD* tx, DWORD* e) override {
    *rx = *tx = *e = 0;
    return FT_OK;
  }
  uint64_t bytesWritten_ = 0;

 private:
  bool pendingReset_ = false;
};

class NoPause : public MicroDelayer {
 public:
  void MicroDelay(uint32_t) override {}
};

struct Bench {
  Bench(uint8_t dsp, uint8_t flash)
      : link([](std::string&) { return std::make_unique<InstantDevice>(); },
             SteadyClock::Instance(), delayer) {
    link.LoadDriver();
    link.FindDevice();
    link.Open();
    DerivedTransferSettings s;
    s.dspType = dsp;
    s.flashType = flash;
    link.SetTransferSettings(s);
    program.image.words.assign(kImageWords, 0xFFFFFFFF);
    for (uint32_t i = 0; i < kWords; ++i) program.image.words[i] = i * 2654435761u;
    program.image.imageByteCount = kWords * 4;
    program.image.dataByteCount = kWords * 4;
  }
  static constexpr uint32_t kWords = 70000;
  NoPause delayer;
  CPodLink link;
  ProgramData program;
};

// Thread CPU time of the loop, per word, and as a share of the wire time.
class CpuMeter {
 public:
  CpuMeter() { start_ = Now(); }
  void Report(benchmark::State& state, uint64_t words) const {
    const double ns = static_cast<double>(Now() - start_) / static_cast<double>(words ? words : 1);
    state.SetItemsProcessed(static_cast<int64_t>(words));
    state.counters["cpu_ns_per_word"] = ns;
    state.counters["pct_of_wire_time"] = ns / (kWireUsPerWord * 1000.0) * 100.0;
  }

 private:
  static int64_t Now() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return int64_t{t.tv_sec} * 1000000000 + t.tv_nsec;
  }
  int64_t start_;
};

void BM_SerialBootPerWord(benchmark::State& state) {
  Bench b(kTMS320C31, kAM29F040);
  uint64_t words = 0;
  CpuMeter meter;
  for (auto _ : state) {
    if (!b.link.SerialBootDownload(b.program)) state.SkipWithError("serial boot failed");
    words += Bench::kWords - 2;
  }
  meter.Report(state, words);
}
BENCHMARK(BM_SerialBootPerWord)->Unit(benchmark::kMillisecond);

void BM_FlashWritePerWord(benchmark::State& state) {
  Bench b(kTMS320C31, kAM29F040);
  uint64_t words = 0;
  CpuMeter meter;
  for (auto _ : state) {
    if (!b.link.WriteFlash(b.program.image)) state.SkipWithError("flash write failed");
    words += Bench::kWords;
  }
  meter.Report(state, words);
}
BENCHMARK(BM_FlashWritePerWord)->Unit(benchmark::kMillisecond);

void BM_FlashPageWritePerWord(benchmark::State& state) {
  Bench b(kTMS320C31, kAT29C040A);
  uint64_t words = 0;
  CpuMeter meter;
  for (auto _ : state) {
    if (!b.link.WriteFlashPages(b.program.image)) state.SkipWithError("page write failed");
    words += Bench::kWords;
  }
  meter.Report(state, words);
}
BENCHMARK(BM_FlashPageWritePerWord)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velmora

BENCHMARK_MAIN();
