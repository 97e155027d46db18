// The demo program on each DSP type: serial boot with and without verify, and
// its variables read and changed through the responder while it runs.
#include <cstring>

#include "c3x/C3xFloat.h"
#include "e2e/e2e_support.h"

namespace velmora::e2e {
namespace {

class DemoSession : public Bench, public ::testing::WithParamInterface<uint8_t> {
 protected:
  uint8_t Dsp() const { return GetParam(); }
  std::string DspOption() const { return std::string("--dsp=") + "c3" + char('1' + Dsp()); }

  // One word through the responder, as velmora-cli read prints it.
  uint32_t ReadWord(const std::string& what) {
    EXPECT_EQ(Run("read", {what, "--coff", DemoPath(), DspOption()}), cli::kExitOk) << err.str();
    const std::string line = out.str();
    const size_t blank = line.find(' ');
    return blank == std::string::npos
               ? 0xDEADBEEF
               : static_cast<uint32_t>(std::stoul(line.substr(blank + 1), nullptr, 16));
  }
};

TEST_P(DemoSession, BootsVerifiesAndRunsWithItsVariablesWatchable) {
  ASSERT_EQ(Run("boot", {DemoPath(), DspOption()}), cli::kExitOk) << err.str();
  EXPECT_EQ(out.str(), "[ Completed ]\n");
  ASSERT_EQ(Run("boot", {DemoPath(), "--verify", DspOption()}), cli::kExitOk) << err.str();
  EXPECT_EQ(Board().State(), sim::BoardState::Running) << Board().HaltMessage();

  // The counter counts on its own between two reads.
  const uint32_t first = ReadWord("counter");
  Wait(200);
  const uint32_t second = ReadWord("counter");
  EXPECT_GT(second, first);
  EXPECT_LT(second - first, 200u) << "about 100 to 240 ticks a second";

  // wave is a smooth sine of amplitude gain (1.0).
  float wave[3];
  for (float& w : wave) {
    w = static_cast<float>(c3x::SingleToDouble(ReadWord("wave")));
    Wait(20);
  }
  for (float w : wave) EXPECT_LE(std::abs(w), 1.0f);
  EXPECT_NE(wave[0], wave[2]);
  EXPECT_LT(std::abs(wave[1] - wave[0]), 0.2f) << "smooth";

  // history holds the counter's recent values at counter & 7; noise moves.
  const uint32_t noise = ReadWord("noise");
  EXPECT_EQ(ReadWord("history[3]") & 7, 3u);
  Wait(20);
  EXPECT_NE(ReadWord("noise"), noise);

  // Writes reach the program: a step of 1000 makes the counter leap, a gain of
  // 0 flattens the wave.
  ASSERT_EQ(Run("write", {"step", "1000", "--coff", DemoPath(), DspOption()}), cli::kExitOk)
      << err.str();
  const uint32_t before = ReadWord("counter");
  Wait(50);
  EXPECT_GE(ReadWord("counter") - before, 1000u);
  EXPECT_EQ((ReadWord("counter") - before) % 1000, 0u);
  ASSERT_EQ(Run("write", {"gain", "0.0", "--coff", DemoPath(), DspOption()}), cli::kExitOk);
  Wait(20);
  EXPECT_EQ(c3x::SingleToDouble(ReadWord("wave")), 0.0);
  EXPECT_EQ(Board().State(), sim::BoardState::Running) << Board().HaltMessage();
}

TEST_P(DemoSession, AWriteBrokenOffOrAbandonedStoresNothing) {
  ASSERT_EQ(Run("boot", {DemoPath(), DspOption()}), cli::kExitOk) << err.str();
  const uint32_t step = SymbolAddress(Demo(Dsp()), "step");
  Wait(10);
  // Words straight to the target's serial port: a write whose low half never
  // came, then a commit.
  auto send = [&](uint32_t word) {
    uint32_t reply = 0;
    sim::Board& b = Board();
    b.RunForNs(200'000);
    reply = b.SerialExchange(word);
    b.RunForNs(200'000);
    return reply;
  };
  send(0xAD000000 | step);
  EXPECT_EQ(send(0xD1000000 | 0x0001), step) << "the address is echoed";
  send(0x33000000);  // no low half: abandoned
  send(step);
  EXPECT_EQ(send(step), 1u) << "step kept its value";
  // A full sequence that the host abandons (echo mismatch) leaves it as well.
  send(0xAD000000 | step);
  send(0xD1000000);
  send(0xD0000000 | 7);
  send(0x44000000);
  send(step);
  EXPECT_EQ(send(step), 1u);
  // And a complete one stores.
  send(0xAD000000 | step);
  send(0xD1000000 | 0x0002);
  send(0xD0000000 | 0x0003);
  send(0x33000000);
  send(step);
  EXPECT_EQ(send(step), 0x00020003u);
}

INSTANTIATE_TEST_SUITE_P(EachDsp, DemoSession, ::testing::Values(0, 1, 2), [](const auto& info) {
  return std::string("C3") + char('1' + info.param);
});

}  // namespace
}  // namespace velmora::e2e
