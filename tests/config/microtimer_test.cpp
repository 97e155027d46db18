#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "config/AppSettings.h"
#include "config/MicroTimer.h"
#include "config/SettingsStore.h"

namespace velmora {
namespace {

// A clock that charges a fixed cost per iteration of the timer's counting loop:
// each reading advances time by the iterations counted since the last reading.
class LoopChargingClock : public Clock {
 public:
  explicit LoopChargingClock(uint64_t nsPerLoop) : nsPerLoop_(nsPerLoop) {}
  void Watch(const CMicroTimer* timer) { timer_ = timer; }

  uint64_t NowUs() override {
    ++reads_;
    const uint32_t counter = timer_ ? timer_->Counter() : 0;
    if (counter >= lastCounter_) {
      ns_ += static_cast<uint64_t>(counter - lastCounter_) * nsPerLoop_;
      // An end-of-pass reading: remember how long the pass was.
      if (counter != 0) passes.push_back(counter);
    }
    lastCounter_ = counter;
    if (stalledPasses.count(passes.size()) && counter != 0) return frozenUs_;
    frozenUs_ = ns_ / 1000;
    return ns_ / 1000;
  }
  uint32_t NowMs() override { return static_cast<uint32_t>(NowUs() / 1000); }
  void SleepMs(uint32_t ms) override { ns_ += static_cast<uint64_t>(ms) * 1000000; }

  std::vector<uint32_t> passes;
  // Passes (numbered from 1) whose closing reading returns the opening time.
  std::set<size_t> stalledPasses;
  int reads_ = 0;

 private:
  uint64_t nsPerLoop_;
  const CMicroTimer* timer_ = nullptr;
  uint32_t lastCounter_ = 0;
  uint64_t ns_ = 0;
  uint64_t frozenUs_ = 0;
};

// A timer measured on a LoopChargingClock.
struct Rig {
  LoopChargingClock clock;
  CMicroTimer timer{clock};
  explicit Rig(uint64_t nsPerLoop, std::set<size_t> stalled = {}) : clock(nsPerLoop) {
    clock.stalledPasses = std::move(stalled);
    clock.Watch(&timer);
  }
};

TEST(MicroTimerMeasure, GrowsTheTrialUntilAPassLasts50msAndRoundsDown) {
  // 100000 iterations take 20 ms: passes of 20, 40 and 60 ms, then the timed pass.
  Rig slow(200);
  EXPECT_EQ(slow.timer.Measure(), 5);  // 400000 loops in 80 ms = 5000 per ms
  EXPECT_EQ(slow.clock.passes, (std::vector<uint32_t>{100000, 200000, 300000, 400000}));
  // 7 ns per loop is 142.857 loops per us: the trial grows to millions of loops
  // in few passes, and the timed pass runs at least as long as the last trial.
  Rig fast(7);
  EXPECT_EQ(fast.timer.Measure(), 142);
  const auto& passes = fast.clock.passes;
  ASSERT_GE(passes.size(), 2u);
  EXPECT_LT(passes.size(), 40u);
  EXPECT_GE(passes.back(), passes[passes.size() - 2]);
  EXPECT_GE(uint64_t{passes[passes.size() - 2]} * 7, 50000000u);
  // 2 us per loop: 500 loops per ms, below one per us.
  EXPECT_EQ(Rig(2000).timer.Measure(), 0);
}

TEST(MicroTimerMeasure, RepeatsATimedPassOverWhichTheClockStoodAndGivesUpInTheEnd) {
  Rig twice(200, {4, 5});
  EXPECT_EQ(twice.timer.Measure(), 5);
  EXPECT_EQ(twice.clock.passes,
            (std::vector<uint32_t>{100000, 200000, 300000, 400000, 400000, 400000}));
  std::set<size_t> always;
  for (size_t p = 4; p < 100; ++p) always.insert(p);
  Rig never(200, always);
  EXPECT_EQ(never.timer.Measure(), 0);  // not calibrated rather than a division by zero
  EXPECT_GT(never.clock.passes.size(), 4u);
  EXPECT_LT(never.clock.passes.size(), 100u);
}

TEST(MicroTimerCalibrate, AStoredValueSkipsTheMeasurementZeroOrLessMeasuresAndStores) {
  Rig stored(200);
  MemorySettingsStore store;
  store.WriteInt(kSectionMain, kKeyMicroTimeLength, 150);
  int shown = 0;
  stored.timer.Calibrate(store, {[&] { ++shown; }, [&] { ++shown; }});
  EXPECT_EQ(shown, 0);
  EXPECT_EQ(stored.clock.reads_, 0);
  EXPECT_EQ(stored.timer.LoopsPerUs(), 150);

  for (int32_t value : {0, -3}) {
    Rig rig(200);
    store.WriteInt(kSectionMain, kKeyMicroTimeLength, static_cast<uint32_t>(value));
    std::vector<std::string> events;
    rig.timer.Calibrate(store, {[&] { events.push_back("show"); },
                                [&] {
                                  events.push_back("hide");
                                  EXPECT_EQ(rig.clock.passes.size(), 4u);  // after measuring
                                }});
    EXPECT_EQ(events, (std::vector<std::string>{"show", "hide"}));
    EXPECT_EQ(rig.timer.LoopsPerUs(), 5);
    EXPECT_EQ(store.ReadInt(kSectionMain, kKeyMicroTimeLength, -1), 5);
  }
  Rig quiet(200);  // no notice hooks
  MemorySettingsStore empty;
  quiet.timer.Calibrate(empty);
  EXPECT_TRUE(quiet.timer.Calibrated());
  EXPECT_EQ(empty.ReadInt(kSectionMain, kKeyMicroTimeLength, -1), 5);
}

TEST(MicroDelay, CountsMicrosecondsTimesLoops) {
  CMicroTimer timer;
  const struct {
    int32_t loopsPerUs;
    uint32_t us;
    int64_t count;
  } cases[] = {{150, 55, 8250}, {150, 0, 0},    {150, 1, 150},
               {0, 10000, 0},   {-5, 10000, 0}, {1, 0x80000001u, 0x80000001LL}};  // beyond 32 bits
  for (const auto& c : cases) {
    timer.SetLoopsPerUs(c.loopsPerUs);
    timer.MicroDelay(c.us);
    EXPECT_EQ(timer.LastDelayCount(), c.count) << c.loopsPerUs << " x " << c.us;
  }
  VirtualClock clock;
  VirtualMicroDelayer delayer(clock);
  delayer.MicroDelay(1500);
  clock.SleepMs(2);
  EXPECT_EQ(clock.NowUs(), 3500u);
  EXPECT_EQ(clock.NowMs(), 3u);
}

}  // namespace
}  // namespace velmora
