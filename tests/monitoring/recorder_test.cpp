// The recorder's host side against a block in plain memory: decoding, the
// refusals of a set-up, the order an upload puts the ring in, draining with a
// wrap, and the loop rate.
#include <gtest/gtest.h>

#include <cmath>

#include "config/Clock.h"
#include "monitoring/Recorder.h"
#include "monitoring/memory_port.h"

namespace velmora {
namespace {

constexpr uint32_t kBlock = 0x201000;
constexpr uint32_t kBuffer = 0x204000;

struct RecorderTest : ::testing::Test {
  void SetUp() override {
    port.memory[kBlock + rec::kMagic] = rec::kMagicWord;
    port.memory[kBlock + rec::kBuffer] = kBuffer;
    port.memory[kBlock + rec::kCapacity] = 64;
  }
  uint32_t Block(uint32_t offset) { return port.memory[kBlock + offset]; }
  RecConfig TwoChannels(uint32_t samples) {
    RecConfig c;
    c.channels = {{"a", 0x200100, RecType::Int}, {"b", 0x200101, RecType::Float}};
    c.samples = samples;
    return c;
  }
  test::MemoryPort port;
  Recorder recorder{port, kBlock};
  std::string error;
};

TEST(RecorderDecode, C3xFloatsAndIntegersDecodeExactly) {
  const struct {
    RecType type;
    uint32_t word;
    double value;
  } cases[] = {
      {RecType::Float, 0x80000000, 0.0},
      {RecType::Float, 0x00000000, 1.0},
      {RecType::Float, 0x00400000, 1.5},
      {RecType::Float, 0xFFC00000, -0.75},
      {RecType::Float, 0x00800000, -2.0},
      {RecType::Float, 0x06480000, 100.0},
      {RecType::Float, 0x7F7FFFFF, std::ldexp(2.0 - std::ldexp(1.0, -23), 127)},
      {RecType::Float, 0x81000000, std::ldexp(1.0, -127)},
      {RecType::Float, 0xF8000001, std::ldexp(1.0 + std::ldexp(1.0, -23), -8)},
      {RecType::Int, 0xFFFFFFFF, -1.0},
      {RecType::Unsigned, 0xFFFFFFFF, 4294967295.0},
      {RecType::Int, 0x80000000, -2147483648.0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RecDecode(c.type, c.word), c.value) << std::hex << c.word;
    if (c.type == RecType::Float && c.word != 0x81000000 && c.word != 0x7F7FFFFF) {
      EXPECT_EQ(RecDecode(RecType::Float, RecLevelWord(RecType::Float, c.value)), c.value)
          << "the level word of " << c.value;
    }
  }
  EXPECT_EQ(RecLevelWord(RecType::Int, -2.6), 0xFFFFFFFDu);
  EXPECT_EQ(RecLevelWord(RecType::Int, 1e12), 0x7FFFFFFFu);
  EXPECT_EQ(RecLevelWord(RecType::Unsigned, 5e9), 0x7FFFFFFFu) << "compared signed";
  EXPECT_EQ(RecLevelWord(RecType::Unsigned, -3), 0u);
}

TEST_F(RecorderTest, ProbeRefusesAProgramWithoutAnInitialisedRecorder) {
  EXPECT_TRUE(recorder.Probe(error)) << error;
  EXPECT_EQ(recorder.CapacityWords(), 64u);
  port.memory[kBlock + rec::kCapacity] = 0;
  EXPECT_FALSE(recorder.Probe(error));
  port.memory[kBlock + rec::kMagic] = 0;
  EXPECT_FALSE(recorder.Probe(error));
  EXPECT_NE(error.find("rec_init"), std::string::npos);
  port.FailReadAfter(0);
  EXPECT_FALSE(recorder.Probe(error));
}

TEST_F(RecorderTest, ConfigureRefusesWhatTheBufferOrTheTargetCannotDo) {
  ASSERT_TRUE(recorder.Probe(error));
  const struct {
    const char* what;
    void (*change)(RecConfig&);
  } refused[] = {
      {"no channels", [](RecConfig& c) { c.channels.clear(); }},
      {"nine channels", [](RecConfig& c) { c.channels.resize(9, c.channels[0]); }},
      {"divider 0", [](RecConfig& c) { c.divider = 0; }},
      {"more samples than the buffer holds", [](RecConfig& c) { c.samples = 33; }},
      {"no samples", [](RecConfig& c) { c.samples = 0; }},
      {"trigger on a channel not recorded", [](RecConfig& c) { c.trigger = RecTrigger{2}; }},
      {"pre-trigger without room for the trigger", [](RecConfig& c) { c.pretrigger = 32; }},
      {"a continuous ring of one sample",
       [](RecConfig& c) {
         c.continuous = true;
         c.samples = 1;
       }},
  };
  for (const auto& r : refused) {
    RecConfig c = TwoChannels(32);
    r.change(c);
    port.memory[kBlock + rec::kState] = 77;
    EXPECT_FALSE(recorder.Configure(c, error)) << r.what;
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(Block(rec::kState), 77u) << r.what << ": nothing written";
  }
  RecConfig c = TwoChannels(32);
  c.pretrigger = 31;
  c.divider = 5;
  c.trigger = RecTrigger{1, RecEdge::Either, -0.75};
  ASSERT_TRUE(recorder.Configure(c, error)) << error;
  EXPECT_EQ(Block(rec::kState), rec::kIdle);
  EXPECT_EQ(Block(rec::kSize), 64u);
  EXPECT_EQ(Block(rec::kPost), 0u);
  EXPECT_EQ(Block(rec::kDivider), 5u);
  EXPECT_EQ(Block(rec::kFlags), rec::kRising | rec::kFalling | rec::kFloatCompare);
  EXPECT_EQ(Block(rec::kLevel), 0xFFC00000u);
  EXPECT_EQ(Block(rec::kTriggerChannel), 1u);
  EXPECT_EQ(Block(rec::kChannel0 + 1), 0x200101u);
  ASSERT_TRUE(recorder.Arm());
  EXPECT_EQ(Block(rec::kState), rec::kArmed);
  port.writeFails = true;
  EXPECT_FALSE(recorder.Configure(c, error));
}

TEST_F(RecorderTest, UploadPutsTheRingOldestFirstWithTheTriggerWhereTheTargetSawIt) {
  ASSERT_TRUE(recorder.Probe(error));
  ASSERT_TRUE(recorder.Configure(TwoChannels(8), error));
  // COUNT samples s = 0, 1, ... written round a ring of 8 as the target
  // writes them: after 12 the last 8 (4..11) remain, the oldest at word
  // (12 % 8) * 2.
  const struct {
    uint32_t count, triggerIndex;
    size_t samples, first;
    std::optional<size_t> trigger;
  } cases[] = {
      {12, (6 % 8) * 2, 8, 4, 2},
      {3, 0xFFFFFFFF, 3, 0, std::nullopt},  // stopped early: from word 0, no trigger
      {8, 0, 8, 0, 0},
  };
  for (const auto& c : cases) {
    for (uint32_t s = 0; s < c.count; ++s) port.memory[kBuffer + (s % 8) * 2] = s;
    port.memory[kBlock + rec::kCount] = c.count;
    port.memory[kBlock + rec::kWriteIndex] = (c.count % 8) * 2;
    port.memory[kBlock + rec::kTriggerIndex] = c.triggerIndex;
    RecCapture capture;
    size_t lastDone = 0, calls = 0;
    ASSERT_EQ(recorder.Upload(capture,
                              [&](size_t done, size_t total) {
                                EXPECT_EQ(total, c.samples * 2);
                                EXPECT_GE(done, lastDone);
                                lastDone = done;
                                ++calls;
                                return true;
                              }),
              RecResult::Ok);
    ASSERT_EQ(capture.Samples(), c.samples);
    EXPECT_GE(calls, 2u) << "progress from 0 to the end";
    EXPECT_EQ(lastDone, c.samples * 2);
    for (size_t s = 0; s < c.samples; ++s) EXPECT_EQ(capture.Word(s, 0), c.first + s);
    EXPECT_EQ(capture.triggerSample, c.trigger);
  }
  // A cancel stops between chunks; a failed read is a failure.
  RecCapture capture;
  EXPECT_EQ(recorder.Upload(capture, [](size_t, size_t) { return false; }), RecResult::Cancelled);
  port.FailReadAfter(5);
  EXPECT_EQ(recorder.Upload(capture), RecResult::Failed);
  // A write index the ring cannot have is refused rather than trusted.
  port.memory[kBlock + rec::kWriteIndex] = 5;
  EXPECT_EQ(recorder.Upload(capture), RecResult::Failed);
}

TEST_F(RecorderTest, DrainReadsAcrossTheWrapAndHandsTheRingBack) {
  ASSERT_TRUE(recorder.Probe(error));
  RecConfig c = TwoChannels(4);
  c.continuous = true;
  ASSERT_TRUE(recorder.Configure(c, error));
  for (uint32_t w = 0; w < 8; ++w) port.memory[kBuffer + w] = 100 + w;
  port.memory[kBlock + rec::kReadIndex] = 6;
  port.memory[kBlock + rec::kWriteIndex] = 4;  // words 6, 7, 0..3 wait
  port.memory[kBlock + rec::kOverruns] = 3;
  RecCapture capture;
  size_t taken = 0;
  ASSERT_EQ(recorder.Drain(capture, taken), RecResult::Ok);
  EXPECT_EQ(taken, 3u);
  EXPECT_EQ(capture.words, (std::vector<uint32_t>{106, 107, 100, 101, 102, 103}));
  EXPECT_EQ(Block(rec::kReadIndex), 4u);
  EXPECT_EQ(capture.overruns, 3u);
  ASSERT_EQ(recorder.Drain(capture, taken), RecResult::Ok);
  EXPECT_EQ(taken, 0u) << "nothing new";
  EXPECT_EQ(capture.Samples(), 3u);
  // A failed read hands nothing back.
  port.memory[kBlock + rec::kWriteIndex] = 6;
  port.FailReadAfter(3);
  EXPECT_EQ(recorder.Drain(capture, taken), RecResult::Failed);
  EXPECT_EQ(Block(rec::kReadIndex), 4u);
}

TEST(RecorderRate, MeasuredRatesSnapToTheTimerPeriodOnlyWhenTheBoundsAllowOne) {
  const struct {
    RecLoopRate measured;
    uint32_t period;
    double expected;
  } cases[] = {
      {{19900, 19800, 20050}, 625, 20000},  // 25 MHz
      {{24050, 23900, 24100}, 625, 24000},  // 30 MHz
      {{26667, 26600, 26700}, 625, 26667},  // 33.3 MHz: no whole MHz within
      {{20100, 20050, 20150}, 625, 20100},  // 25 MHz lies outside the bounds
      {{20300, 19000, 21000}, 625, 20300},  // 24, 25 and 26 MHz: too rough to choose
      {{100.1, 99.9, 100.3}, 125000, 100},  // 25 MHz, a slow tick
      {{5000, 4990, 5010}, 0, 5000},        // timer stopped
      {{0, 0, 0}, 625, 0},
  };
  for (const auto& c : cases)
    EXPECT_DOUBLE_EQ(SnapLoopRateToTimer(c.measured, c.period), c.expected) << c.measured.hz;
}

TEST_F(RecorderTest, LoopRateCountsCallsOverTheClockAndMatchesItToTimer0) {
  struct Counting : test::MemoryPort {
    VirtualClock* clock = nullptr;
    uint32_t period = 625;
    int reads = 0;
    bool ReadTargetWord(uint32_t address, uint32_t& value) override {
      if (address == 0x808028) {
        value = period;
        return true;
      }
      // The target calls rec_sample 20,000 times a second; a read takes
      // 200 us and the word early or late within it.
      const uint64_t taken = ++reads % 2 ? 150 : 10;
      clock->AdvanceUs(taken);
      value = static_cast<uint32_t>(clock->NowUs() / 50);
      clock->AdvanceUs(200 - taken);
      return true;
    }
  } counting;
  VirtualClock clock;
  counting.clock = &clock;
  Recorder r(counting, kBlock);
  const RecLoopRate m = r.MeasureLoopRate(clock, 250);
  EXPECT_LE(m.lowHz, 20000.0);
  EXPECT_GE(m.highHz, 20000.0);
  EXPECT_LT(m.highHz - m.lowHz, 40.0);
  EXPECT_NE(m.hz, 20000.0) << "the estimate alone is a little off";
  EXPECT_EQ(r.LoopRateFromTimer0(clock, 250), 20000.0);
  counting.period = 0;
  EXPECT_NE(r.LoopRateFromTimer0(clock, 250), 20000.0) << "nothing to match with";
}

TEST(RecorderCsv, TimeRunsFromTheTriggerInTargetSeconds) {
  RecCapture capture;
  capture.channels = {
      {"pass", 1, RecType::Unsigned}, {"out", 2, RecType::Float}, {"err", 3, RecType::Int}};
  capture.divider = 2;
  capture.words = {10,         0x00400000, 0xFFFFFFFF, 4294967295u, 0xFFC00000,
                   0x80000000, 14,         0x80000000, 123456789};
  capture.triggerSample = 1;
  EXPECT_EQ(RecCsv(capture, 20000.0),
            "Time (s),pass,out,err\r\n-0.0001,10,1.5,-1\r\n0,4294967295,-0.75,-2147483648\r\n"
            "0.0001,14,0,123456789\r\n")
      << "integers in full";
  capture.triggerSample.reset();
  EXPECT_EQ(RecCsv(capture, 0).substr(0, 34), "Sample,pass,out,err\r\n0,10,1.5,-1\r\n");
}

}  // namespace
}  // namespace velmora
