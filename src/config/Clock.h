// Time seam: the steady clock in production, a virtual clock in the simulator
// and in tests so that time-outs can be tested without waiting.
#pragma once

#include <cstdint>

namespace velmora {

class Clock {
 public:
  virtual ~Clock() = default;
  // Millisecond tick, wrapping like timeGetTime.
  virtual uint32_t NowMs() = 0;
  // Microseconds since an arbitrary epoch; never wraps in practice.
  virtual uint64_t NowUs() = 0;
  virtual void SleepMs(uint32_t ms) = 0;
};

// std::chrono::steady_clock and std::this_thread::sleep_for.
class SteadyClock : public Clock {
 public:
  uint32_t NowMs() override;
  uint64_t NowUs() override;
  void SleepMs(uint32_t ms) override;
  static SteadyClock& Instance();
};

// Time moves only when told to (Advance) or when someone sleeps on it.
class VirtualClock : public Clock {
 public:
  uint32_t NowMs() override { return static_cast<uint32_t>(nowUs_ / 1000); }
  uint64_t NowUs() override { return nowUs_; }
  void SleepMs(uint32_t ms) override { nowUs_ += static_cast<uint64_t>(ms) * 1000; }
  void AdvanceUs(uint64_t us) { nowUs_ += us; }

 private:
  uint64_t nowUs_ = 0;
};

}  // namespace velmora
