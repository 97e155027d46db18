// The calibrated microsecond busy-wait that paces pod traffic.
#pragma once

#include <cstdint>
#include <functional>

#include "config/Clock.h"
#include "config/SettingsStore.h"

namespace velmora {

// What the pod link waits with. CMicroTimer is the real one; the virtual board
// and tests substitute one that advances a virtual clock instead of spinning.
class MicroDelayer {
 public:
  virtual ~MicroDelayer() = default;
  virtual void MicroDelay(uint32_t microseconds) = 0;
};

class CMicroTimer : public MicroDelayer {
 public:
  // Hooks for the notice shown while measuring (the GUI shows its dialog and
  // wait cursor; headless callers pass nothing).
  struct Notice {
    std::function<void()> show;
    std::function<void()> hide;
  };

  explicit CMicroTimer(Clock& clock = SteadyClock::Instance()) : clock_(clock) {}

  // Reads "MicroTime Length"; measures and stores it when it is 0 or less.
  void Calibrate(SettingsStore& store, const Notice& notice = {});
  void MicroDelay(uint32_t microseconds) override;

  int32_t LoopsPerUs() const { return loopsPerUs_; }
  void SetLoopsPerUs(int32_t loops) { loopsPerUs_ = loops; }
  bool Calibrated() const { return loopsPerUs_ > 0; }

  // The measurement itself: grows a trial loop until one pass lasts at least
  // 50 ms, then times one more pass. Gives loops per microsecond (0 when the
  // host is too slow or the clock never advanced). Public for tests with a
  // fake clock, which can watch Counter() to charge time per iteration.
  int32_t Measure();

  // The counting variable of the measuring loop.
  uint32_t Counter() const { return counter_; }
  // How far the last MicroDelay counted.
  int64_t LastDelayCount() const { return lastDelayCount_; }

  // Trial loop length of the pass after one of n iterations: 100000 more while
  // passes are short, a quarter more beyond 400000 so that a fast host does not
  // spend seconds in ever slightly longer passes.
  static uint32_t NextTrialLength(uint32_t n);

 private:
  void CountTo(uint32_t n);

  Clock& clock_;
  volatile uint32_t counter_ = 0;
  volatile int32_t loopsPerUs_ = 0;
  int64_t lastDelayCount_ = 0;
};

// Delayer for the virtual board and tests: advances a virtual clock.
class VirtualMicroDelayer : public MicroDelayer {
 public:
  explicit VirtualMicroDelayer(VirtualClock& clock) : clock_(clock) {}
  void MicroDelay(uint32_t microseconds) override { clock_.AdvanceUs(microseconds); }

 private:
  VirtualClock& clock_;
};

}  // namespace velmora
