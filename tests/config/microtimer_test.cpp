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

TEST(MicroTimerMeasure, GrowsTheTrialUntilAPassLasts50ms) {
  // 100000 iterations take 20 ms: passes of 20, 40 and 60 ms, then the timed pass.
  LoopChargingClock clock(200);
  CMicroTimer timer(clock);
  clock.Watch(&timer);
  EXPECT_EQ(timer.Measure(), 5);  // 400000 loops in 80 ms = 5000 per ms
  EXPECT_EQ(clock.passes, (std::vector<uint32_t>{100000, 200000, 300000, 400000}));
}

TEST(MicroTimerMeasure, FastHostNeedsFewPassesAndRoundsDown) {
  // 7 ns per loop: the trial must grow to millions of loops, in few passes.
  LoopChargingClock clock(7);
  CMicroTimer timer(clock);
  clock.Watch(&timer);
  const int32_t loops = timer.Measure();
  // 7 ns per loop is 142.857 loops per us; integer division rounds toward zero.
  EXPECT_EQ(loops, 142);
  ASSERT_GE(clock.passes.size(), 2u);
  EXPECT_LT(clock.passes.size(), 40u);
  // The timed pass runs at least as long as the last trial pass.
  EXPECT_GE(clock.passes.back(), clock.passes[clock.passes.size() - 2]);
  EXPECT_GE(static_cast<uint64_t>(clock.passes[clock.passes.size() - 2]) * 7, 50000000u);
}

TEST(MicroTimerMeasure, RepeatsATimedPassOverWhichTheClockStood) {
  LoopChargingClock clock(200);
  clock.stalledPasses = {4, 5};
  CMicroTimer timer(clock);
  clock.Watch(&timer);
  EXPECT_EQ(timer.Measure(), 5);
  EXPECT_EQ(clock.passes, (std::vector<uint32_t>{100000, 200000, 300000, 400000, 400000, 400000}));
}

TEST(MicroTimerMeasure, GivesUpWhenTheClockNeverAdvancesOverTheTimedPass) {
  LoopChargingClock clock(200);
  for (size_t p = 4; p < 100; ++p) clock.stalledPasses.insert(p);
  CMicroTimer timer(clock);
  clock.Watch(&timer);
  EXPECT_EQ(timer.Measure(), 0);  // not calibrated rather than a division by zero
  EXPECT_GT(clock.passes.size(), 4u);
  EXPECT_LT(clock.passes.size(), 100u);
}

TEST(MicroTimerMeasure, SlowHostStoresZero) {
  // 2 us per loop: 500 loops per ms, below one per us.
  LoopChargingClock clock(2000);
  CMicroTimer timer(clock);
  clock.Watch(&timer);
  EXPECT_EQ(timer.Measure(), 0);
}

TEST(MicroTimerCalibrate, StoredValueSkipsTheMeasurement) {
  LoopChargingClock clock(200);
  CMicroTimer timer(clock);
  clock.Watch(&timer);
  MemorySettingsStore store;
  store.WriteInt(kSectionMain, kKeyMicroTimeLength, 150);
  int shown = 0;
  timer.Calibrate(store, {[&] { ++shown; }, [&] { ++shown; }});
  EXPECT_EQ(shown, 0);
  EXPECT_EQ(clock.reads_, 0);
  EXPECT_EQ(timer.LoopsPerUs(), 150);
  timer.MicroDelay(55);
  EXPECT_EQ(timer.LastDelayCount(), 8250);
}

TEST(MicroTimerCalibrate, ZeroOrNegativeMeasuresShowsNoticeAndStores) {
  for (int32_t stored : {0, -3}) {
    LoopChargingClock clock(200);
    CMicroTimer timer(clock);
    clock.Watch(&timer);
    MemorySettingsStore store;
    store.WriteInt(kSectionMain, kKeyMicroTimeLength, static_cast<uint32_t>(stored));
    std::vector<std::string> events;
    timer.Calibrate(store, {[&] { events.push_back("show"); },
                            [&] {
                              events.push_back("hide");
                              EXPECT_EQ(clock.passes.size(), 4u);  // hidden after measuring
                            }});
    EXPECT_EQ(events, (std::vector<std::string>{"show", "hide"}));
    EXPECT_EQ(timer.LoopsPerUs(), 5);
    EXPECT_EQ(store.ReadInt(kSectionMain, kKeyMicroTimeLength, -1), 5);
  }
}

TEST(MicroTimerCalibrate, WorksWithoutNoticeHooks) {
  LoopChargingClock clock(200);
  CMicroTimer timer(clock);
  clock.Watch(&timer);
  MemorySettingsStore store;
  timer.Calibrate(store);
  EXPECT_TRUE(timer.Calibrated());
  EXPECT_EQ(store.ReadInt(kSectionMain, kKeyMicroTimeLength, -1), 5);
}

TEST(MicroDelay, CountsMicrosecondsTimesLoops) {
  CMicroTimer timer;
  timer.SetLoopsPerUs(150);
  timer.MicroDelay(0);
  EXPECT_EQ(timer.LastDelayCount(), 0);
  timer.MicroDelay(1);
  EXPECT_EQ(timer.LastDelayCount(), 150);
  timer.SetLoopsPerUs(0);
  timer.MicroDelay(10000);
  EXPECT_EQ(timer.LastDelayCount(), 0);
  timer.SetLoopsPerUs(-5);
  timer.MicroDelay(10000);
  EXPECT_EQ(timer.LastDelayCount(), 0);
  // A product beyond the 32-bit range still counts in full.
  timer.SetLoopsPerUs(1);
  timer.MicroDelay(0x80000001u);
  EXPECT_EQ(timer.LastDelayCount(), 0x80000001LL);
}

TEST(MicroDelay, VirtualDelayerAdvancesTheVirtualClock) {
  VirtualClock clock;
  VirtualMicroDelayer delayer(clock);
  delayer.MicroDelay(1500);
  EXPECT_EQ(clock.NowUs(), 1500u);
  EXPECT_EQ(clock.NowMs(), 1u);
  clock.SleepMs(2);
  EXPECT_EQ(clock.NowUs(), 3500u);
}

}  // namespace
}  // namespace velmora
