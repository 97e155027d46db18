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

// The "cli-fake" backend makes a new pod for each run; the test keeps them.
VirtualClock* g_clock = nullptr;
FakePod* g_pod = nullptr;
std::function<void(FakePod&)> g_setUp;
std::vector<std::unique_ptr<FakePod>>* g_pods = nullptr;

class TargetCli : public ::testing::Test {
 protected:
  void SetUp() override {
    g_clock = &clock;
    g_pods = &pods;
    g_setUp = [this](FakePod& pod) {
      pod.target = std::ref(responder);
      if (podSetUp) podSetUp(pod);
    };
    RegisterFtdiBackend("cli-fake", [](const FtdiBackendOptions&, std::string&) {
      g_pods->push_back(std::make_unique<FakePod>(*g_clock));
      g_pod = g_pods->back().get();
      g_setUp(*g_pod);
      return std::unique_ptr<FtdiApi>(std::make_unique<FtdiApiProxy>(*g_pod));
    });
    dir = std::filesystem::temp_directory_path() /
          ("velmora_cli_target_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir);
    env = {&out, &err, false, &store, &clock, &delayer, [] { return false; }, nullptr};
  }
  void TearDown() override {
    g_pod = nullptr;
    std::filesystem::remove_all(dir);
  }

  int Run(const std::string& command, std::vector<std::string> args) {
    args.push_back("--pod=cli-fake");
    return RunTargetCommand(command, args, env);
  }

  // A C31 program of n words at 0x809800 with the symbols counter (int) and x (float).
  std::string WriteProgram(uint32_t n) {
    CoffWriterSection text{.name = ".text", .physicalAddress = 0x809800};
    text.data.resize(n);
    std::iota(text.data.begin(), text.data.end(), 0x11110000u);
    const std::string path = (dir / "program.out").string();
    EXPECT_TRUE(
        WriteCoffFile(path, {}, {text},
                      {{.name = "counter", .value = 0x809C00, .sectionNumber = 1, .type = 4},
                       {.name = "x", .value = 0x809C10, .sectionNumber = 1, .type = 6}}));
    return path;
  }

  VirtualClock clock;
  VirtualMicroDelayer delayer{clock};
  std::vector<std::unique_ptr<FakePod>> pods;
  MemorySettingsStore store;
  ResponderModel responder;
  std::function<void(FakePod&)> podSetUp;
  std::ostringstream out, err;
  CliEnv env;
  std::filesystem::path dir;
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
  EXPECT_EQ(g_pod->commands.back(), (PodCommand{'R', 0x000103E8, true})) << err.str();

  podSetUp = [](FakePod& pod) { pod.answerReset = false; };
  EXPECT_EQ(Run("reset", {}), cli::kExitResetFailed);
  EXPECT_EQ(err.str(), "Failed to reset target board\n");
}

TEST_F(TargetCli, ReadPrintsEachWordInItsFormatAndRejectsWhatTheConsoleRejects) {
  responder.memory = {{0x809800, 7}, {0x809801, 0xFFFFFFFF}, {0x809802, 42}};
  EXPECT_EQ(Run("read", {"0x809800", "--count", "3", "--format=signed"}), cli::kExitOk);
  EXPECT_EQ(out.str(), "0x809800 7\n0x809801 -1\n0x809802 42\n");

  out.str("");
  responder.memory[0x809C00] = 0x00400000;  // 1.5 in the C3x format
  const std::string coff = WriteProgram(4);
  EXPECT_EQ(Run("read", {"counter", "--coff", coff, "--format", "float"}), cli::kExitOk)
      << err.str();
  EXPECT_EQ(out.str(), "0x809C00 1.5\n");

  // What the console rejects is refused before any pod is touched.
  g_pod = nullptr;
  EXPECT_EQ(Run("read", {"0x1000000"}), cli::kExitUsage);
  EXPECT_EQ(err.str(), "[ ERROR ] : Maximum address range is from 0x0 to 0xffffff\n");
  err.str("");
  EXPECT_EQ(Run("read", {"nosuchname"}), cli::kExitUsage);
  EXPECT_EQ(err.str(), "[ ERROR ] : Wrong Variable Input\n");
  EXPECT_EQ(Run("read", {"0x809800", "--format=octal"}), cli::kExitUsage);
  EXPECT_EQ(Run("read", {"0x809800", "--count=0"}), cli::kExitUsage);
  EXPECT_EQ(g_pod, nullptr);
}

TEST_F(TargetCli, WriteReadsValuesAsTheConsoleDoes) {
  const std::string coff = WriteProgram(4);
  EXPECT_EQ(Run("write", {"x", "1.5", "--coff=" + coff}), cli::kExitOk);
  EXPECT_EQ(responder.memory[0x809C10], 0x00400000u);
  EXPECT_EQ(out.str(), "[ RESULT ] : Writing Completed...\n");
  EXPECT_EQ(Run("write", {"0x809800", "-1.5"}), cli::kExitUsage);
  EXPECT_NE(err.str().find("[ ERROR ] : Wrong Float Data Input"), std::string::npos);
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
