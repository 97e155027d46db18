// The velmora-cli target commands run in-process against the scripted fake pod.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <numeric>
#include <sstream>

#include "CliCommand.h"
#include "PodOptions.h"
#include "image/CoffWriter.h"
#include "support/FakePod.h"

namespace velmora::cli {
std::map<std::string, CommandInfo>& Commands() {
  static std::map<std::string, CommandInfo> commands;
  return commands;
}
}  // namespace velmora::cli

namespace velmora::test {
namespace {

using cli::CliEnv;
using cli::RunTargetCommand;

// The "cli-fake" backend makes a new pod for each run; the test keeps it.
VirtualClock* g_clock = nullptr;
FakePod* g_pod = nullptr;
std::function<void(FakePod&)> g_setUp;
std::vector<std::unique_ptr<FakePod>>* g_pods = nullptr;
bool g_cancel = false;

class TargetCli : public ::testing::Test {
 protected:
  void SetUp() override {
    g_clock = &clock;
    g_pods = &pods;
    g_cancel = false;
    g_setUp = [this](FakePod& pod) {
      pod.target = std::ref(responder);
      if (podSetUp) podSetUp(pod);
    };
    RegisterFtdiBackend("cli-fake", [](const FtdiBackendOptions&, std::string&) {
      auto pod = std::make_unique<FakePod>(*g_clock);
      g_setUp(*pod);
      g_pod = pod.get();
      g_pods->push_back(std::move(pod));
      return std::unique_ptr<FtdiApi>(std::make_unique<FtdiApiProxy>(*g_pod));
    });
    dir = std::filesystem::temp_directory_path() /
          ("velmora_cli_target_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir);
    env.out = &out;
    env.err = &err;
    env.progressBar = false;
    env.store = &store;
    env.clock = &clock;
    env.delayer = &delayer;
    env.cancelRequested = [] { return g_cancel; };
  }
  void TearDown() override {
    g_pod = nullptr;
    std::filesystem::remove_all(dir);
  }

  int Run(const std::string& command, std::vector<std::string> args) {
    args.push_back("--pod=cli-fake");
    return RunTargetCommand(command, args, env);
  }

  // A C31 program with one section at 0x809800 and the symbols counter and x.
  std::string WriteProgram(uint32_t words, uint32_t address = 0x809800) {
    CoffWriterSection text;
    text.name = ".text";
    text.physicalAddress = text.virtualAddress = address;
    text.data.resize(words);
    std::iota(text.data.begin(), text.data.end(), 0x11110000u);
    CoffWriterSymbol counter;
    counter.name = "counter";
    counter.value = 0x809C00;
    counter.sectionNumber = 1;
    counter.type = 4;  // int
    CoffWriterSymbol x;
    x.name = "x";
    x.value = 0x809C10;
    x.sectionNumber = 1;
    x.type = 6;  // float
    const std::string path = (dir / "program.out").string();
    EXPECT_TRUE(WriteCoffFile(path, {}, {text}, {counter, x}));
    sectionData = text.data;
    return path;
  }

  std::string Sent() const { return std::string(g_pod->sent.begin(), g_pod->sent.end()); }

  VirtualClock clock;
  VirtualMicroDelayer delayer{clock};
  std::vector<std::unique_ptr<FakePod>> pods;
  MemorySettingsStore store;
  ResponderModel responder;
  std::function<void(FakePod&)> podSetUp;
  std::ostringstream out, err;
  CliEnv env;
  std::filesystem::path dir;
  std::vector<uint32_t> sectionData;
};

TEST_F(TargetCli, VersionPrintsMajorAndMinor) {
  podSetUp = [](FakePod& pod) { pod.firmware = 0x12; };
  EXPECT_EQ(Run("version", {}), cli::kExitOk);
  EXPECT_EQ(out.str(), "Version : 1.2\n");

  out.str("");
  podSetUp = [](FakePod& pod) { pod.fault = FakePod::Fault::kSilent; };
  EXPECT_EQ(Run("version", {}), cli::kExitTransferFailed);
  EXPECT_EQ(out.str(), "");
}

TEST_F(TargetCli, MissingLibraryOrPodEndsWithTheStartUpTexts) {
  RegisterFtdiBackend("cli-missing", [](const FtdiBackendOptions&, std::string& error) {
    error = "cannot load libftd2xx.so";
    return std::unique_ptr<FtdiApi>();
  });
  EXPECT_EQ(RunTargetCommand("reset", {"--pod=cli-missing"}, env), cli::kExitNoDriver);
  EXPECT_NE(err.str().find("Failet to load FTD2XX.DLL\n"), std::string::npos);
  EXPECT_NE(err.str().find("cannot load libftd2xx.so"), std::string::npos);

  err.str("");
  podSetUp = [](FakePod& pod) { pod.devices = {"FT232R USB UART", "usb pod"}; };
  EXPECT_EQ(Run("reset", {}), cli::kExitNoPod);
  EXPECT_EQ(err.str(), "Not connected to Velmora-UT POD\n");

  err.str("");
  podSetUp = [](FakePod& pod) { pod.failCalls = {{"FT_SetBaudRate", FT_IO_ERROR}}; };
  EXPECT_EQ(Run("reset", {}), cli::kExitNoHandle);
  EXPECT_EQ(err.str(), "Failed to get USB Handle\n");
}

TEST_F(TargetCli, ResetUsesTheStoredPulseAndPolarity) {
  store.WriteInt(kSectionMain, "Reset Time", 9);
  store.WriteInt(kSectionMain, "Reset Polarity", 1);
  EXPECT_EQ(Run("reset", {}), cli::kExitOk);
  EXPECT_NE(Sent().find("R000103E8"), std::string::npos) << Sent() << err.str();

  podSetUp = [](FakePod& pod) { pod.answerReset = false; };
  EXPECT_EQ(Run("reset", {}), cli::kExitResetFailed);
  EXPECT_EQ(err.str(), "Failed to reset target board\n");
}

TEST_F(TargetCli, ReadPrintsOneLinePerWordInTheChosenFormat) {
  responder.memory = {{0x809800, 7}, {0x809801, 0xFFFFFFFF}, {0x809802, 42}};
  EXPECT_EQ(Run("read", {"0x809800", "--count", "3", "--format=signed"}), cli::kExitOk);
  EXPECT_EQ(out.str(), "0x809800 7\n0x809801 -1\n0x809802 42\n");

  out.str("");
  responder.memory[0x809C00] = 0x00400000;  // 1.5 in the C3x format
  const std::string coff = WriteProgram(4);
  EXPECT_EQ(Run("read", {"counter", "--coff", coff, "--format", "float"}), cli::kExitOk)
      << err.str();
  EXPECT_EQ(out.str(), "0x809C00 1.5\n");
}

TEST_F(TargetCli, ReadRejectsWhatTheConsoleRejects) {
  EXPECT_EQ(Run("read", {"0x1000000"}), cli::kExitUsage);
  EXPECT_EQ(err.str(), "[ ERROR ] : Maximum address range is from 0x0 to 0xffffff\n");
  err.str("");
  EXPECT_EQ(Run("read", {"nosuchname"}), cli::kExitUsage);
  EXPECT_EQ(err.str(), "[ ERROR ] : Wrong Variable Input\n");
  EXPECT_EQ(Run("read", {"0x809800", "--format=octal"}), cli::kExitUsage);
  EXPECT_EQ(Run("read", {"0x809800", "--count=0"}), cli::kExitUsage);
  EXPECT_EQ(g_pod, nullptr);  // no pod was touched
}

TEST_F(TargetCli, WriteReadsValuesAsTheConsoleDoes) {
  const std::string coff = WriteProgram(4);
  EXPECT_EQ(Run("write", {"x", "1.5", "--coff=" + coff}), cli::kExitOk);
  EXPECT_EQ(responder.memory[0x809C10], 0x00400000u);
  EXPECT_EQ(out.str(), "[ RESULT ] : Writing Completed...\n");
  EXPECT_EQ(Run("write", {"0x809800", "0x1234ABCD"}), cli::kExitOk);
  EXPECT_EQ(responder.memory[0x809800], 0x1234ABCDu);
  EXPECT_EQ(Run("write", {"0x809800", "-1.5"}), cli::kExitUsage);
  EXPECT_NE(err.str().find("[ ERROR ] : Wrong Float Data Input"), std::string::npos);
}

TEST_F(TargetCli, BootStreamsTheProgramAndVerifies) {
  const std::string coff = WriteProgram(12);
  for (uint32_t i = 0; i < 12; ++i) responder.memory[0x809800 + i] = sectionData[i];
  EXPECT_EQ(Run("boot", {coff, "--verify", "--dsp=c31"}), cli::kExitOk);
  // Size word, address, 12 data words and the closing 0.
  const std::vector<uint32_t> s = g_pod->WordsWith('S');
  ASSERT_GE(s.size(), 15u);
  EXPECT_EQ(s[0], 12u);
  EXPECT_EQ(s[1], 0x809800u);
  EXPECT_EQ(std::vector<uint32_t>(s.begin() + 2, s.begin() + 14), sectionData);
  EXPECT_EQ(s[14], 0u);
  EXPECT_EQ(out.str(), "[ Completed ]\n[ Completed ]\n");

  responder.memory[0x809805] ^= 1;
  out.str("");
  EXPECT_EQ(Run("boot", {coff, "--verify", "--dsp=c31"}),
            cli::kExitProcedureBase + kProcSerialBootVerifyError);
  EXPECT_NE(out.str().find("[ Error : Serial Boot Verifying ]"), std::string::npos);
}

TEST_F(TargetCli, TerminalProgressBarIsRedrawnInPlace) {
  const std::string coff = WriteProgram(40);
  env.progressBar = true;
  EXPECT_EQ(Run("boot", {coff, "--dsp=c31"}), cli::kExitOk);
  EXPECT_NE(err.str().find("Serial Boot Procedure: Serial Boot Data Downloading...\n"),
            std::string::npos);
  EXPECT_NE(err.str().find("\r[" + std::string(40, '#') + "] 100%\n"), std::string::npos);
  EXPECT_EQ(out.str(), "[ Completed ]\n");
}

TEST_F(TargetCli, CancelEndsWithItsOwnStatus) {
  const std::string coff = WriteProgram(40);
  g_cancel = true;
  EXPECT_EQ(Run("boot", {coff, "--dsp=c33"}), cli::kExitProcedureBase + kProcCanceled);
  EXPECT_EQ(out.str(), "[ Canceled ]\n");
}

TEST_F(TargetCli, FlashRefusesWithoutLoaderOrRoom) {
  const std::string coff = WriteProgram(8);
  const FlashLoaderSet noLoaders;
  env.flashLoaders = &noLoaders;
  EXPECT_EQ(Run("flash", {"write", coff, "--dsp=c31"}), cli::kExitRefused);
  EXPECT_NE(err.str().find("flash loader not available"), std::string::npos);
  EXPECT_EQ(g_pod->WordsWith('S').size(), 0u);

  // Boot3 on a C31 leaves 0x1000 bytes: a program of 0x1000 words does not fit.
  err.str("");
  g_pod = nullptr;
  const std::string big = WriteProgram(0x1000);
  EXPECT_EQ(Run("flash", {"verify", big, "--dsp=c31", "--boot=3", "--flash=am29f040"}),
            cli::kExitRefused);
  EXPECT_EQ(err.str(), "Program size(0x4014) is bigger than available boot region(0x1000)\n");
  EXPECT_EQ(g_pod, nullptr);
}

class TargetCliFlash : public TargetCli {
 protected:
  void SetUp() override {
    TargetCli::SetUp();
    for (FlashLoader& l : loaders.loaders) {
      l.words = {3, 0x809810, 0x1, 0x2, 0x3, 0};
      l.patchIndices = {2};
    }
    env.flashLoaders = &loaders;
    podSetUp = [this](FakePod& pod) { pod.target = std::ref(model); };
    model.base = 0x1000;
  }
  FlashLoaderSet loaders;
  FlashLoaderModel model;
};

TEST_F(TargetCliFlash, WriteVerifyAndReadBackThroughTheLoader) {
  const std::string coff = WriteProgram(6);
  EXPECT_EQ(Run("flash", {"write", coff, "--verify", "--dsp=c33", "--flash=am29f010", "--boot=1",
                          "--bus=0x1234"}),
            cli::kExitOk)
      << err.str();
  EXPECT_NE(out.str().find(" [ Completed ]\n"), std::string::npos);  // the erase
  EXPECT_NE(out.str().find("Flash Program & Verifying is successful\n"), std::string::npos);
  // The image header went out with the overridden bus value.
  EXPECT_EQ(model.Word(0), 8u);
  EXPECT_EQ(model.Word(1), 0x1234u);
  EXPECT_EQ(model.Word(4), sectionData[0]);

  out.str("");
  const std::string image = (dir / "flash.bin").string();
  EXPECT_EQ(Run("flash", {"read", coff, "--out", image, "--dsp=c33", "--flash=am29f010"}),
            cli::kExitOk);
  std::ifstream in(image, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(bytes.size(), (2u + 2u + 6u + 1u) * 4u);
  EXPECT_EQ(static_cast<uint8_t>(bytes[4]), 0x34);
  EXPECT_EQ(static_cast<uint8_t>(bytes[5]), 0x12);
  EXPECT_EQ(out.str(), "[ Completed ]\n[ Completed ]\nFlash Reading is successful\n");
}

TEST_F(TargetCliFlash, FailuresGiveTheirResultCodes) {
  const std::string coff = WriteProgram(6);
  model.eraseFailsWithBit5 = true;
  EXPECT_EQ(Run("flash", {"write", coff, "--dsp=c31", "--flash=am29f040"}),
            cli::kExitProcedureBase + kProcEraseError);
  EXPECT_NE(out.str().find(" [ Error : Flash Erasing... ]"), std::string::npos);

  podSetUp = [](FakePod& pod) { pod.answerReset = false; };
  EXPECT_EQ(Run("flash", {"verify", coff, "--dsp=c31"}),
            cli::kExitProcedureBase + kProcTargetResetError);

  // Nothing programmed: the verify finds erased flash.
  podSetUp = [this](FakePod& pod) { pod.target = std::ref(model); };
  model = FlashLoaderModel{};
  model.base = 0x1000;
  EXPECT_EQ(Run("flash", {"verify", coff, "--dsp=c31"}),
            cli::kExitProcedureBase + kProcFlashVerifyError);
}

TEST_F(TargetCli, BadOptionsAreUsageErrors) {
  const std::string coff = WriteProgram(4);
  EXPECT_EQ(Run("boot", {coff, "--dsp=c34"}), cli::kExitUsage);
  EXPECT_EQ(Run("boot", {coff, "--scan-us=0"}), cli::kExitUsage);
  EXPECT_EQ(Run("boot", {coff, "--strb0=xyz"}), cli::kExitUsage);
  EXPECT_EQ(Run("boot", {coff, "--frobnicate"}), cli::kExitUsage);
  EXPECT_EQ(Run("flash", {"erase", coff}), cli::kExitUsage);
  EXPECT_EQ(Run("boot", {(dir / "missing.out").string()}), cli::kExitFile);
  EXPECT_EQ(g_pod, nullptr);
  EXPECT_EQ(RunTargetCommand("reset", {"--pod=no-such-backend"}, env), cli::kExitNoDriver);
  EXPECT_NE(err.str().find("unknown pod backend 'no-such-backend'"), std::string::npos);
}

TEST_F(TargetCli, StoredSettingsAreNeverWritten) {
  store.WriteInt(kSectionMain, "MCU TYPE", 0);
  const auto before = store.Values();
  const std::string coff = WriteProgram(4);
  EXPECT_EQ(Run("boot", {coff, "--dsp=c32", "--scan-us=100", "--strb0=0F0000"}), cli::kExitOk);
  EXPECT_EQ(store.Values(), before);
}

}  // namespace
}  // namespace velmora::test
