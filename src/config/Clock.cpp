#include "config/Clock.h"

#include <chrono>
#include <thread>

namespace velmora {

uint32_t SteadyClock::NowMs() {
  return static_cast<uint32_t>(NowUs() / 1000);
}

uint64_t SteadyClock::NowUs() {
  using namespace std::chrono;
  return static_cast<uint64_t>(
      duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

void SteadyClock::SleepMs(uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

SteadyClock& SteadyClock::Instance() {
  static SteadyClock clock;
  return clock;
}

}  // namespace velmora
