// rec_sample on the C3x core: what one call costs in each state of the
// recorder, and that a sample costs 3 instructions more per channel.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "c3x/Assembler.h"
#include "monitoring/Recorder.h"
#include "monitoring/ValueFormats.h"
#include "sim/Runner.h"

namespace velmora::sim {
namespace {

uint32_t FloatToC3xWord(double value) {
  return FloatToC3x(static_cast<float>(value));
}

const char* const kHarness = R"(
        .text   200000h
start:  LDP     @k_stack
        LDI     @k_stack, SP
        LDI     64, R0
        PUSH    R0
        LDI     @k_buf, R0
        PUSH    R0
        CALL    _rec_init
        SUBI    2, SP
ready:  BR      ready
pass:   LDP     @var                    ; the loop: var += 1, fvar = var
        LDI     @var, R0
        ADDI    1, R0
        STI     R0, @var
        FLOAT   R0, R1
        STF     R1, @fvar
call:   CALL    _rec_sample
back:   BR      back
k_stack .word   stack
k_buf   .word   buf
        .bss    stack, 32
        .bss    buf, 64
        .bss    var, 1
        .bss    fvar, 1
        .include "recorder.asm"
)";

class RecSample : public ::testing::Test {
 public:
  void SetUp() override {
    const std::string dir = VELMORA_SOURCE_DIR "/examples/recorder/";
    const c3x::AsmResult r = c3x::Assemble(kHarness, dir + "harness.asm", c3x::FileIncludeReader());
    ASSERT_TRUE(r.ok) << (r.errors.empty() ? "" : r.errors[0]);
    std::string error;
    for (const auto& s : r.sections) {
      if (s.uninitialised) continue;
      ASSERT_TRUE(runner.Load(s.origin, s.words, error)) << error;
    }
    for (const auto& s : r.symbols) symbols[s.name] = s.value;
    ASSERT_EQ(runner.Run(symbols["start"], 1000, symbols["ready"]), StepStop::Until);
    ASSERT_EQ(runner.ReadWord(Rec(rec::kMagic)), rec::kMagicWord);
  }
  uint32_t Rec(uint32_t offset) { return symbols["_rec"] + offset; }
  void Set(uint32_t offset, uint32_t value) {
    std::string error;
    ASSERT_TRUE(runner.Load(Rec(offset), {value}, error)) << error;
  }
  uint32_t Get(uint32_t offset) { return runner.ReadWord(Rec(offset)); }
  // Instructions of one pass's call, CALL and RETS included.
  uint64_t Call() {
    EXPECT_EQ(runner.Run(symbols["pass"], 100, symbols["call"]), StepStop::Until);
    const uint64_t before = runner.Steps();
    EXPECT_EQ(runner.Run(symbols["call"], 1000, symbols["back"]), StepStop::Until);
    return runner.Steps() - before;
  }
  // A recorder of n channels of var (fvar for the trigger channel 0 when
  // `floatTrigger`), ring of 8 samples, in `mode` and `state`.
  void Setup(uint32_t n, uint32_t mode, uint32_t state) {
    Set(rec::kState, rec::kIdle);
    Set(rec::kMode, mode);
    Set(rec::kChannels, n);
    Set(rec::kDivider, 1);
    Set(rec::kDivCount, 1);
    Set(rec::kTriggerChannel, 0);
    Set(rec::kFlags, 0);
    Set(rec::kPretrigger, 0);
    Set(rec::kSize, 8 * n);
    Set(rec::kWriteIndex, 0);
    Set(rec::kReadIndex, 0);
    Set(rec::kCount, 0);
    Set(rec::kPost, 5);
    Set(rec::kPrimed, 0);
    Set(rec::kOverruns, 0);
    for (uint32_t c = 0; c < 8; ++c) Set(rec::kChannel0 + c, symbols["var"]);
    Set(rec::kState, state);
  }

  Runner runner{0};
  std::map<std::string, uint32_t> symbols;
};

TEST_F(RecSample, EachStateCostsABoundedNumberOfInstructionsAndThreeMorePerChannel) {
  // The bounds docs/recorder.md and recorder.asm give, without the 3 a
  // channel; `perChannel` whether the channels are copied on that pass.
  const struct {
    const char* what;
    uint32_t mode, state;
    std::function<void(RecSample&)> more;
    uint64_t bound;
    bool perChannel;
  } cases[] = {
      {"idle", 0, rec::kIdle, {}, 10, false},
      {"done", 0, rec::kDone, {}, 12, false},
      {"between samples", 0, rec::kTriggered,
       [](RecSample& t) {
         t.Set(rec::kDivider, 4);
         t.Set(rec::kDivCount, 3);
       },
       16, false},
      {"after the trigger", 0, rec::kTriggered, {}, 44, true},
      {"the last sample", 0, rec::kTriggered, [](RecSample& t) { t.Set(rec::kPost, 1); }, 47, true},
      {"armed, no trigger: fires", 0, rec::kArmed, {}, 56, true},
      {"armed, pre-trigger still filling", 0, rec::kArmed,
       [](RecSample& t) { t.Set(rec::kPretrigger, 5); }, 50, true},
      {"armed, first value of the trigger", 0, rec::kArmed,
       [](RecSample& t) { t.Set(rec::kFlags, rec::kRising); }, 59, true},
      {"armed, integer trigger waits", 0, rec::kArmed,
       [](RecSample& t) {
         t.Set(rec::kFlags, rec::kRising | rec::kFalling);
         t.Set(rec::kPrimed, 1);
         t.Set(rec::kLevel, 0x7FFFFFFF);
       },
       69, true},
      {"armed, float trigger fires", 0, rec::kArmed,
       [](RecSample& t) {
         t.Set(rec::kChannel0, t.symbols["fvar"]);
         t.Set(rec::kFlags, rec::kFalling | rec::kFloatCompare);
         t.Set(rec::kPrimed, 1);
         t.Set(rec::kPrevious, FloatToC3xWord(1e9));
         t.Set(rec::kLevel, FloatToC3xWord(1e8));
       },
       76, true},
      {"continuous, storing", 1, rec::kTriggered, {}, 43, true},
      {"continuous, ring full", 1, rec::kTriggered,
       [](RecSample& t) { t.Set(rec::kReadIndex, t.Get(rec::kSize) / 8); }, 32, false},
      {"continuous, waiting for the trigger", 1, rec::kArmed,
       [](RecSample& t) {
         t.Set(rec::kFlags, rec::kRising);
         t.Set(rec::kPrimed, 1);
         t.Set(rec::kLevel, 0x7FFFFFFF);
       },
       48, false},
  };
  for (const auto& c : cases) {
    uint64_t cost[2] = {};
    const uint32_t widths[2] = {1, 8};
    for (int i = 0; i < 2; ++i) {
      Setup(widths[i], c.mode, c.state);
      if (c.more) c.more(*this);
      const uint32_t stored = Get(rec::kWriteIndex), calls = Get(rec::kCalls);
      cost[i] = Call();
      EXPECT_EQ(Get(rec::kCalls), calls + 1) << c.what;
      EXPECT_EQ(Get(rec::kWriteIndex) != stored, c.perChannel) << c.what << ": stored or not";
    }
    EXPECT_LE(cost[0] - (c.perChannel ? 3 : 0), c.bound) << c.what;
    EXPECT_EQ(cost[1] - cost[0], c.perChannel ? 21u : 0u) << c.what;
  }
}

}  // namespace
}  // namespace velmora::sim
