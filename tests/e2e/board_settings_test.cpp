// The host's DSP, flash and boot settings and the virtual board: a new board
// folder starts as the settings describe; an existing board keeps what it is
// and says so when the settings disagree.
#include "e2e/e2e_support.h"
#include "sim/VirtualBoard.h"

namespace velmora::e2e {
namespace {

class BoardSettings : public Bench {
 protected:
  sim::BoardOptions Stored() {
    sim::BoardOptions o;
    std::string why;
    EXPECT_TRUE(sim::BoardFolder((dir / board).string()).LoadOptions(&o, &why)) << why;
    return o;
  }
  // Runs a command and returns what the board printed on standard error.
  std::string RunCapturing(const std::string& command, std::vector<std::string> args, int* status) {
    ::testing::internal::CaptureStderr();
    *status = Run(command, std::move(args));
    return ::testing::internal::GetCapturedStderr();
  }
};

TEST_F(BoardSettings, ANewBoardIsWhatTheSettingsSay) {
  // No settings at all: the defaults, a TMS320C32 with an AM29F040 in Boot1.
  ASSERT_EQ(Run("version", {}), cli::kExitOk) << err.str();
  sim::BoardOptions o = Stored();
  EXPECT_EQ(o.dspType, kTMS320C32);
  EXPECT_EQ(o.flashType, kAM29F040);
  EXPECT_EQ(o.bootMode, kBoot1);

  // Stored settings, then the command line on top of them.
  board = "second";
  PowerCycle();
  store.WriteInt("Main Configuration", kKeyMcuType, kTMS320C31);
  store.WriteInt("Main Configuration", kKeyFlashRomType, kAT29C020);
  ASSERT_EQ(Run("version", {"--dsp=c33", "--boot=3"}), cli::kExitOk);
  o = Stored();
  EXPECT_EQ(o.dspType, kTMS320C33);
  EXPECT_EQ(o.flashType, kAT29C020);
  EXPECT_EQ(o.bootMode, kBoot3);
}

TEST_F(BoardSettings, ABoardKeepsItsDspAndTheMismatchIsExplained) {
  int status = 0;
  std::string note = RunCapturing("version", {"--dsp=c31"}, &status);
  ASSERT_EQ(status, cli::kExitOk);
  EXPECT_EQ(note, "");
  PowerCycle();

  // The host is now set for a C32; the board is still a C31.
  note = RunCapturing("boot", {DemoPath(), "--verify", "--dsp=c32", "--boot=2"}, &status);
  EXPECT_EQ(Stored().dspType, kTMS320C31);
  EXPECT_NE(note.find("DSP TMS320C31 (settings: TMS320C32)"), std::string::npos) << note;
  EXPECT_NE(note.find("boot mode Boot1 (settings: Boot2)"), std::string::npos) << note;
  EXPECT_NE(note.find("--sim-dsp"), std::string::npos) << note;
  EXPECT_EQ(status, cli::kExitProcedureBase + kProcSerialBootVerifyError)
      << "a C32 boot stream does not run on a C31";

  // Changing the board on purpose: it is kept, and nothing to warn about.
  PowerCycle();
  note = RunCapturing("boot", {DemoPath(), "--verify", "--dsp=c32", "--sim-dsp=c32"}, &status);
  EXPECT_EQ(status, cli::kExitOk) << out.str();
  EXPECT_EQ(note, "");
  EXPECT_EQ(Stored().dspType, kTMS320C32);
}

}  // namespace
}  // namespace velmora::e2e
