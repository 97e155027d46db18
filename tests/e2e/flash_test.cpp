// velmora-cli flash write, verify and read with the demo on every chip and DSP
// type, the flashed demo booting from the flash, and the failures a user can
// meet on the way.
#include <fstream>
#include <iterator>

#include "e2e/e2e_support.h"

namespace velmora::e2e {
namespace {

std::vector<uint32_t> ReadWords(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
  std::vector<uint32_t> words(bytes.size() / 4);
  for (size_t i = 0; i < words.size(); ++i)
    for (int b = 0; b < 4; ++b)
      words[i] |= uint32_t{static_cast<uint8_t>(bytes[4 * i + b])} << (8 * b);
  return words;
}

class Flash : public Bench {
 protected:
  // The settings of one combination, as command-line options.
  std::vector<std::string> Types(uint8_t dsp, uint8_t flash, uint8_t boot) {
    std::string chip = FlashTypeName(flash);
    for (char& c : chip) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return {std::string("--dsp=c3") + char('1' + dsp), "--flash=" + chip,
            "--boot=" + std::to_string(boot + 1)};
  }
  int RunWith(const std::string& command, std::vector<std::string> args,
              const std::vector<std::string>& types) {
    args.insert(args.end(), types.begin(), types.end());
    return Run(command, args);
  }
  // The demo's counter, read through the responder of the running demo.
  uint32_t Counter(const std::vector<std::string>& types) {
    EXPECT_EQ(RunWith("read", {"counter", "--coff", DemoPath()}, types), cli::kExitOk) << err.str();
    return static_cast<uint32_t>(
        std::stoul(out.str().substr(out.str().find(' ') + 1), nullptr, 16));
  }

  // One board of the table: written with verify, verified, read back, and
  // booting the demo from its flash after a power cycle and after a reset.
  void ProgramVerifyReadAndBoot(uint8_t dsp, uint8_t flash, uint8_t boot) {
    const std::vector<std::string> types = Types(dsp, flash, boot);
    SCOPED_TRACE(::testing::PrintToString(types));
    board = "board-" + std::to_string(dsp) + std::to_string(flash) + std::to_string(boot);
    PowerCycle();

    ASSERT_EQ(RunWith("flash", {"write", DemoPath(), "--verify"}, types), cli::kExitOk)
        << err.str();
    EXPECT_NE(out.str().find("Flash Program & Verifying is successful"), std::string::npos);
    ASSERT_EQ(RunWith("flash", {"verify", DemoPath()}, types), cli::kExitOk) << err.str();
    const auto image = dir / (board + ".bin");
    ASSERT_EQ(RunWith("flash", {"read", DemoPath(), "--out", image.string()}, types), cli::kExitOk)
        << err.str();
    const ProgramData demo = Demo(dsp);
    const std::vector<uint32_t> read = ReadWords(image);
    ASSERT_EQ(read.size(), demo.image.imageByteCount / 4);
    for (size_t i = 0; i < read.size(); ++i) {
      uint32_t expected = demo.image.words[i];
      if (i == 1 && dsp != kTMS320C32) expected = kDefaultPrimaryBus;  // the patched header
      if (dsp == kTMS320C32 && i >= 1 && i <= 3)
        expected = i == 1 ? kDefaultIostrb : i == 2 ? kDefaultStrb0 : kDefaultStrb1;
      ASSERT_EQ(read[i], expected) << "word " << i;
    }

    // Switched off and on: the board boots the demo from its flash.
    PowerCycle();
    ASSERT_EQ(RunWith("version", {}, types), cli::kExitOk);
    Wait(100);
    const uint32_t first = Counter(types);
    Wait(100);
    EXPECT_GT(Counter(types), first) << Board().HaltMessage();
    // And again after a reset.
    ASSERT_EQ(RunWith("reset", {}, types), cli::kExitOk);
    Wait(100);
    const uint32_t afterReset = Counter(types);
    EXPECT_LT(afterReset, first + 20) << "counting from 0 again";
    Wait(100);
    EXPECT_GT(Counter(types), afterReset);
  }
};

TEST_F(Flash, EveryChipOnEveryDspInEveryBootModeProgramsVerifiesReadsBackAndBoots) {
  for (uint8_t dsp = 0; dsp < 3; ++dsp)
    for (uint8_t flash = 0; flash < 6; ++flash)
      for (uint8_t boot = 0; boot < 3; ++boot) ProgramVerifyReadAndBoot(dsp, flash, boot);
}

// The same table through the libftdi backend and the stand-in libftdi1, whose
// chip has no driver polling it: replies wait in its FIFO for the backend's
// reads, and the purges act on the chip itself.
TEST_F(Flash, EveryChipOnEveryDspInEveryBootModeWorksThroughTheLibftdiBackend) {
  if (!UseStubLibrary()) GTEST_SKIP() << "no stand-in libftdi1 in this build";
  for (uint8_t dsp = 0; dsp < 3; ++dsp)
    for (uint8_t flash = 0; flash < 6; ++flash)
      for (uint8_t boot = 0; boot < 3; ++boot) ProgramVerifyReadAndBoot(dsp, flash, boot);
}

TEST_F(Flash, TheLastWordsSurviveSwitchingOffRightAfterTheWrite) {
  // velmora-cli ends right after the last word or 10 ms after the last page:
  // the words must have reached the board by then, and the board keeps its
  // power until the chip has finished.
  for (uint8_t flash : {kAM29F010, kHY29F040A, kAT29C010A, kAT29C040A}) {
    const auto types = Types(kTMS320C32, flash, 2);
    board = FlashTypeName(flash);
    PowerCycle();
    ASSERT_EQ(RunWith("flash", {"write", DemoPath()}, types), cli::kExitOk) << err.str();
    PowerCycle();
    EXPECT_EQ(RunWith("flash", {"verify", DemoPath()}, types), cli::kExitOk) << out.str();
  }
}

TEST_F(Flash, AVerifyFindsACorruptedByte) {
  // Written with the bus control word given on the command line.
  const auto types = Types(kTMS320C33, kAT29C040A, 0);
  ASSERT_EQ(RunWith("flash", {"write", DemoPath(), "--bus=0x10F8"}, types), cli::kExitOk)
      << err.str();
  EXPECT_EQ(Board().FlashImageWord(1), 0x10F8u);
  ASSERT_EQ(RunWith("flash", {"verify", DemoPath(), "--bus=0x10F8"}, types), cli::kExitOk);
  ASSERT_EQ(RunWith("flash", {"verify", DemoPath(), "--bus=0x10F8", "--quick"}, types),
            cli::kExitOk);
  // One bit of a byte in the middle of the program: the quick verify's CRC
  // differs and the word-by-word verify says so, as the full verify does.
  const uint32_t offset = Board().BootOffset() + 4 * 40 + 2;
  Board().Flash().CorruptByte(offset, Board().Flash().Peek(offset) ^ 0x10);
  for (const char* quick : {"--quick", "--bus=0x10F8"}) {
    EXPECT_EQ(RunWith("flash", {"verify", DemoPath(), "--bus=0x10F8", quick}, types),
              cli::kExitProcedureBase + kProcFlashVerifyError);
    EXPECT_EQ(out.str(), "[ Completed ]\n[ Error : Flash Data Verifying ]\n");
  }
  // Written again and checked by its CRC.
  ASSERT_EQ(RunWith("flash", {"write", DemoPath(), "--bus=0x10F8", "--verify", "--quick"}, types),
            cli::kExitOk);
  EXPECT_NE(out.str().find("Flash Program & Verifying is successful"), std::string::npos);
}

TEST_F(Flash, ACancelledWriteStopsAndSaysSo) {
  // The loader goes in batches of 7 words; the third page sees the cancel.
  const auto types = Types(kTMS320C31, kAT29C010A, 0);
  const int loaderBatches =
      static_cast<int>((ProductionFlashLoaders().Get(FlashLoaderId::kC31).words.size() + 6) / 7);
  cancelAfter = loaderBatches + 3;
  EXPECT_EQ(RunWith("flash", {"write", DemoPath()}, types),
            cli::kExitProcedureBase + kProcCanceled);
  EXPECT_EQ(out.str(), "[ Completed ]\n[ Canceled ]\n");
  cancelAfter = 0;
  EXPECT_EQ(RunWith("flash", {"verify", DemoPath()}, types),
            cli::kExitProcedureBase + kProcFlashVerifyError)
      << "partly programmed";

  // Cancel while a JEDEC chip erases: the erase dialog says so.
  const auto jedec = Types(kTMS320C31, kAM29F010, 0);
  board = "jedec";
  PowerCycle();
  cancelAfter = loaderBatches + 100;
  EXPECT_EQ(RunWith("flash", {"write", DemoPath()}, jedec),
            cli::kExitProcedureBase + kProcCanceled);
  EXPECT_EQ(out.str(), "[ Completed ]\n [ Canceled ]\n");
}

TEST_F(Flash, AnEraseThatTimesOutFailsAndTheRetrySucceeds) {
  const auto types = Types(kTMS320C32, kHY29F040A, 1);
  EXPECT_EQ(RunWith("flash", {"write", DemoPath(), "--sim-erase-fails=1"}, types),
            cli::kExitProcedureBase + kProcEraseError);
  EXPECT_EQ(out.str(), "[ Completed ]\n [ Error : Flash Erasing... ]\n");
  EXPECT_FALSE(Board().FlashHoldsProgram());
  // The same chip, still powered: the retry takes it out of its failed state.
  ASSERT_EQ(RunWith("flash", {"write", DemoPath(), "--verify"}, types), cli::kExitOk) << out.str();
}

TEST_F(Flash, AChipTooSlowForTheHostsPaceFailsTheWriteInsteadOfLosingWords) {
  // 4 ms a word against the host's word every 0.1 ms: the TMS320C32 loader's
  // ring overflows.
  const auto types = Types(kTMS320C32, kAM29F010, 0);
  EXPECT_EQ(RunWith("flash", {"write", DemoPath(), "--sim-program-us=1000"}, types),
            cli::kExitProcedureBase + kProcFlashWriteError);
  EXPECT_EQ(out.str(), "[ Completed ]\n [ Completed ]\n[ Error : Flash Data Writing ]\n");
}

TEST_F(Flash, TheBusTraceShowsTheLoadersCyclesOnABRevisionOfTheFastestGrade) {
  const auto types = Types(kTMS320C31, kAM29F040, 0);
  const auto trace = dir / "bus.csv";
  ASSERT_EQ(RunWith("flash",
                    {"write", DemoPath(), "--sim-flash-rev=B", "--sim-flash-speed=70",
                     "--sim-trace=" + trace.string()},
                    types),
            cli::kExitOk)
      << out.str();
  PowerCycle();  // closes the trace
  std::ifstream in(trace);
  std::string line, first;
  std::getline(in, first);
  EXPECT_EQ(first, "ns,op,address,data");
  // The unlock cycles in the 32K block of the base, then the first program.
  std::vector<std::string> writes;
  while (std::getline(in, line) && writes.size() < 12)
    if (line.find(",W,") != std::string::npos) writes.push_back(line.substr(line.find(",W,")));
  EXPECT_EQ(writes,
            (std::vector<std::string>{",W,0x005555,0xF0", ",W,0x005555,0xAA", ",W,0x002AAA,0x55",
                                      ",W,0x005555,0x80", ",W,0x005555,0xAA", ",W,0x002AAA,0x55",
                                      ",W,0x005555,0x10", ",W,0x005555,0xAA", ",W,0x002AAA,0x55",
                                      ",W,0x005555,0xA0", ",W,0x001000,0x08", ",W,0x005555,0xAA"}));
  // The options are the board's: the next run keeps them.
  EXPECT_EQ(RunWith("flash", {"verify", DemoPath()}, types), cli::kExitOk);
  EXPECT_TRUE(Device()->TheBoard().Flash().RevisionB());
  EXPECT_EQ(Device()->TheBoard().Flash().AccessNs(), 70u);
}

TEST_F(Flash, AResetThePodDoesNotAnswerFailsEveryProcedure) {
  const auto types = Types(kTMS320C31, kAM29F040, 0);
  EXPECT_EQ(RunWith("flash", {"write", DemoPath(), "--sim-reset-reply=0"}, types),
            cli::kExitProcedureBase + kProcTargetResetError);
  EXPECT_EQ(out.str(), "[ Error : Target Board Reset ]\n");
  PowerCycle();
  EXPECT_EQ(RunWith("boot", {DemoPath(), "--sim-reset-reply=0"}, types),
            cli::kExitProcedureBase + kProcTargetResetError);
  PowerCycle();
  EXPECT_EQ(RunWith("reset", {"--sim-reset-reply=0"}, types), cli::kExitResetFailed);
  EXPECT_EQ(err.str(), "Failed to reset target board\n");
}

TEST_F(Flash, AStreamThatBreaksMidWayFails) {
  const auto types = Types(kTMS320C33, kAM29F040, 0);
  // The pod drops off the USB bus during the loader download...
  unplugAfter = 10;
  EXPECT_EQ(RunWith("flash", {"write", DemoPath()}, types),
            cli::kExitProcedureBase + kProcFlashLoaderDownloadError);
  EXPECT_EQ(out.str(), "[ Error : Flash Algorithm Data Downloading ]\n");
  PowerCycle();
  // ...or during a serial boot.
  EXPECT_EQ(RunWith("boot", {DemoPath()}, types),
            cli::kExitProcedureBase + kProcSerialBootDownloadError);
  EXPECT_EQ(out.str(), "[ Error : Serial Boot Downloading ]\n");
  PowerCycle();
  unplugAfter = 0;
  // The serial line to the target breaks: the host streams on, the verify
  // finds out.
  EXPECT_EQ(RunWith("boot", {DemoPath(), "--verify", "--sim-break-after=60"}, types),
            cli::kExitProcedureBase + kProcSerialBootVerifyError);
  EXPECT_EQ(out.str(), "[ Completed ]\n[ Error : Serial Boot Verifying ]\n");
}

}  // namespace
}  // namespace velmora::e2e
