#include "config/MicroTimer.h"

#include <algorithm>
#include <limits>

#include "config/AppSettings.h"

namespace velmora {
namespace {

constexpr uint32_t kTrialStep = 100000;
constexpr uint64_t kMinTrialUs = 50000;
// No host counts this far within 50 ms; reaching it means the clock is stuck,
// and the trial stops instead of spinning for ever.
constexpr uint32_t kMaxTrialLength = 1u << 30;
// A clock that does not advance over the timed pass gets a few more chances.
constexpr int kTimedPassAttempts = 8;

}  // namespace

uint32_t CMicroTimer::NextTrialLength(uint32_t n) {
  return n + std::max(kTrialStep, n / 4);
}

void CMicroTimer::CountTo(uint32_t n) {
  // Shaped like MicroDelay's loop (the counter and the bound's factor are
  // read from memory on every pass) so that one iteration costs the same in
  // both and the calibrated count gives real microseconds.
  volatile int32_t factor = 1;
  counter_ = 0;
  while (counter_ < static_cast<int64_t>(n) * factor) counter_ = counter_ + 1;
}

int32_t CMicroTimer::Measure() {
  uint32_t n = kTrialStep;
  for (;;) {
    counter_ = 0;
    const uint64_t t0 = clock_.NowUs();
    CountTo(n);
    n = NextTrialLength(n);
    const uint64_t elapsed = clock_.NowUs() - t0;
    if (elapsed >= kMinTrialUs || n >= kMaxTrialLength) break;
  }

  for (int attempt = 0; attempt < kTimedPassAttempts; ++attempt) {
    counter_ = 0;
    const uint64_t t0 = clock_.NowUs();
    CountTo(n);
    const uint64_t t1 = clock_.NowUs();
    if (t1 <= t0) continue;
    const uint64_t loopsPerMs = static_cast<uint64_t>(counter_) * 1000 / (t1 - t0);
    const uint64_t loopsPerUs = loopsPerMs / 1000;
    return static_cast<int32_t>(
        std::min<uint64_t>(loopsPerUs, std::numeric_limits<int32_t>::max()));
  }
  return 0;
}

void CMicroTimer::Calibrate(SettingsStore& store, const Notice& notice) {
  const int32_t stored = store.ReadInt(kSectionMain, kKeyMicroTimeLength, 0);
  if (stored > 0) {
    loopsPerUs_ = stored;
    return;
  }
  if (notice.show) notice.show();
  const int32_t measured = Measure();
  if (notice.hide) notice.hide();
  loopsPerUs_ = measured;
  // A host below one loop per microsecond stores 0 and measures again next start.
  store.WriteInt(kSectionMain, kKeyMicroTimeLength, static_cast<uint32_t>(measured));
}

void CMicroTimer::MicroDelay(uint32_t microseconds) {
  // The bound is recomputed from the field in memory on every pass, in 64 bits
  // so that long delays cannot overflow the product.
  volatile int64_t i = 0;
  while (i < static_cast<int64_t>(microseconds) * loopsPerUs_) i = i + 1;
  lastDelayCount_ = i;
}

}  // namespace velmora
