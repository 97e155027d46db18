// velmora-cli run in process against the scripted fake pod: the command line
// (options before or after the command, errors, help, version), the target
// commands, and the JSON outputs.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <numeric>
#include <sstream>

#include "PodOptions.h"
#include "image/CoffWriter.h"
#include "image/SymbolFile.h"
#include "support/FakePod.h"

namespace velmora::test {
namespace {

using cli::CliEnv;

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

  // The command line with the fake pod added at its end.
  int Run(std::vector<std::string> args) {
    args.push_back("--pod=cli-fake");
    return cli::RunCli(args, env);
  }
  void Clear() {
    out.str("");
    err.str("");
    g_pod = nullptr;
  }

  // A C31 program of n words at 0x809800 with the symbols counter (int) and x (float).
  std::string WriteProgram(uint32_t n, const std::string& extraSymbol = "x") {
    CoffWriterSection text{.name = ".text", .physicalAddress = 0x809800};
    text.data.resize(n);
    std::iota(text.data.begin(), text.data.end(), 0x11110000u);
    const std::string path = (dir / "program.out").string();
    EXPECT_TRUE(
        WriteCoffFile(path, {}, {text},
                      {{.name = "counter", .value = 0x809C00, .sectionNumber = 1, .type = 4},
                       {.name = extraSymbol, .value = 0x809C10, .sectionNumber = 1, .type = 6}}));
    return path;
  }

  // The flash loader behind the pod for the flash commands, at the boot base
  // of a C31 with an AM29F010 in Boot1.
  void UseFlashLoader() {
    AppSettings s;
    s.dspType = kTMS320C31;
    s.flashType = kAM29F010;
    s.bootType = 0;
    flash.base = Derive(s).bootBase;
    podSetUp = [this](FakePod& pod) { pod.target = std::ref(flash); };
  }

  VirtualClock clock;
  VirtualMicroDelayer delayer{clock};
  std::vector<std::unique_ptr<FakePod>> pods;
  MemorySettingsStore store;
  ResponderModel responder;
  FlashLoaderModel flash;
  std::function<void(FakePod&)> podSetUp;
  std::ostringstream out, err;
  CliEnv env;
  std::filesystem::path dir;
};

TEST_F(TargetCli, SharedOptionsWorkBeforeOrAfterTheCommandInBothForms) {
  const std::string coff = WriteProgram(4);
  const std::vector<std::vector<std::string>> lines = {
      {"--dsp", "c31", "info", coff},
      {"--dsp=C31", "info", coff},
      {"info", coff, "--dsp", "tms320c31"},
      {"info", "--dsp=0", coff},
      {"--settings", "/nonexistent.ini", "--dsp", "c31", "--bus", "10F8", "info", coff},
  };
  for (const auto& line : lines) {
    Clear();
    EXPECT_EQ(Run(line), cli::kExitOk) << line[0] << " " << line[1] << "\n" << err.str();
    EXPECT_NE(out.str().find("DSP type:    TMS320C31\n"), std::string::npos) << out.str();
  }
  // The line from the field report: a value after a space before the command.
  Clear();
  EXPECT_EQ(Run({"--dsp", "c31", "boot", coff}), cli::kExitOk) << err.str();
  EXPECT_EQ(out.str(), "[ Completed ]\n");
  Clear();
  EXPECT_EQ(cli::RunCli({"--pod", "cli-fake", "--boot", "2", "version"}, env), cli::kExitOk);
  EXPECT_EQ(out.str(), "Version : 1.2\n");
}

TEST_F(TargetCli, WrongUsageIsStatusTwoWithAClearMessageAndTouchesNoPod) {
  const std::string coff = WriteProgram(4);
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const Case cases[] = {
      {{"boot", coff, "--dsp=c34"}, "--dsp: 'c34' is not one of c31, c32 or c33"},
      {{"--flash", "am29f011", "version"},
       "is not one of am29f010, am29f040, hy29f040a, at29c010a, at29c020 or at29c040a"},
      {{"--boot=4", "reset"}, "'4' is not one of 1, 2 or 3"},
      {{"boot", coff, "--scan-us=0"}, "--scan-us"},
      {{"boot", coff, "--strb0", "xyz"}, "'xyz' is not a hexadecimal value"},
      {{"boot", coff, "--dsp"}, "option --dsp needs a value (c31|c32|c33)"},
      {{"boot", coff, "--frobnicate"}, "--frobnicate"},
      {{"boot"}, "FILE.out is required"},
      {{"flash", "erase", coff}, "velmora-cli flash"},
      {{"flash", "verify", coff, "--verify"}, "--verify"},
      {{"c31", "boot", coff}, "unknown command 'c31'"},
      {{"read", "0x809800", "--format=octal"}, "hex, signed, unsigned, float or binary"},
      {{"read", "0x809800", "--count=0"}, "--count"},
      {{"read", "x=1"}, "takes one address or name"},
      {{"--sim-=1", "version"}, "names no virtual board setting"},
      {{"version", "extra"}, "extra"},
      {{}, "Usage: velmora-cli"},
  };
  for (const Case& c : cases) {
    Clear();
    EXPECT_EQ(cli::RunCli(c.args, env), cli::kExitUsage) << c.message;
    EXPECT_NE((err.str() + out.str()).find(c.message), std::string::npos)
        << "expected '" << c.message << "' in:\n"
        << err.str() << out.str();
    EXPECT_EQ(g_pod, nullptr) << c.message;
  }
  // The backends to choose from are the registered ones.
  Clear();
  EXPECT_EQ(cli::RunCli({"--pod=no-such-backend", "reset"}, env), cli::kExitUsage);
  EXPECT_NE(err.str().find("unknown pod backend 'no-such-backend'; use "), std::string::npos);
  EXPECT_NE(err.str().find("cli-fake"), std::string::npos) << err.str();
}

TEST_F(TargetCli, HelpComesFromTheDeclarationsAndVersionNamesTheRevision) {
  EXPECT_EQ(cli::RunCli({"--help"}, env), cli::kExitOk);
  for (const char* text : {"Usage: velmora-cli", "flash", "loader-table", "--sim-KEY=VALUE",
                           "--dsp c31|c32|c33", "34 a word transfer failed"})
    EXPECT_NE(out.str().find(text), std::string::npos) << text << "\n" << out.str();
  // A command's help: its own options, then the shared ones and its statuses.
  for (const std::vector<std::string>& line : {std::vector<std::string>{"flash", "write", "--help"},
                                               {"--dsp", "c31", "flash", "write", "-h"}}) {
    out.str("");
    EXPECT_EQ(cli::RunCli(line, env), cli::kExitOk);
    for (const char* text :
         {"velmora-cli flash write", "--verify", "--scan-us N", "19 flash\nread"})
      EXPECT_NE(out.str().find(text), std::string::npos) << text << "\n" << out.str();
  }
  out.str("");
  EXPECT_EQ(cli::RunCli({"info", "x.out", "--version"}, env), cli::kExitOk);
  EXPECT_EQ(out.str().rfind("velmora-cli 2.", 0), 0u) << out.str();
  EXPECT_NE(out.str().find(" (git "), std::string::npos) << out.str();
}

TEST_F(TargetCli, VersionPrintsMajorAndMinor) {
  podSetUp = [](FakePod& pod) { pod.firmware = 0x12; };
  EXPECT_EQ(Run({"version"}), cli::kExitOk);
  EXPECT_EQ(out.str(), "Version : 1.2\n");

  out.str("");
  podSetUp = [](FakePod& pod) { pod.fault = FakePod::Fault::kSilent; };
  EXPECT_EQ(Run({"version"}), cli::kExitTransferFailed);
  EXPECT_EQ(out.str(), "");
}

TEST_F(TargetCli, MissingLibraryOrPodEndsWithTheStartUpTexts) {
  RegisterFtdiBackend("cli-missing", [](const FtdiBackendOptions&, std::string& error) {
    error = "cannot load libftd2xx.so";
    return std::unique_ptr<FtdiApi>();
  });
  EXPECT_EQ(cli::RunCli({"reset", "--pod=cli-missing"}, env), cli::kExitNoDriver);
  EXPECT_NE(err.str().find("Failet to load FTD2XX.DLL\n"), std::string::npos);
  EXPECT_NE(err.str().find("cannot load libftd2xx.so"), std::string::npos);

  err.str("");
  podSetUp = [](FakePod& pod) { pod.devices = {"FT232R USB UART", "usb pod"}; };
  EXPECT_EQ(Run({"reset"}), cli::kExitNoPod);
  EXPECT_EQ(err.str(), "Not connected to Velmora-UT POD\n");

  err.str("");
  podSetUp = [](FakePod& pod) { pod.failCalls = {{"FT_SetBaudRate", FT_IO_ERROR}}; };
  EXPECT_EQ(Run({"reset"}), cli::kExitNoHandle);
  EXPECT_EQ(err.str(), "Failed to get USB Handle\n");
}

TEST_F(TargetCli, ResetUsesTheStoredPulseAndPolarity) {
  store.WriteInt(kSectionMain, "Reset Time", 9);
  store.WriteInt(kSectionMain, "Reset Polarity", 1);
  EXPECT_EQ(Run({"reset"}), cli::kExitOk);
  EXPECT_EQ(g_pod->commands.back(), (PodCommand{'R', 0x000103E8, true})) << err.str();

  podSetUp = [](FakePod& pod) { pod.answerReset = false; };
  EXPECT_EQ(Run({"reset"}), cli::kExitResetFailed);
  EXPECT_EQ(err.str(), "Failed to reset target board\n");
}

TEST_F(TargetCli, ReadPrintsEachWordInItsFormatAndRejectsWhatTheConsoleRejects) {
  responder.memory = {{0x809800, 7}, {0x809801, 0xFFFFFFFF}, {0x809802, 42}};
  EXPECT_EQ(Run({"read", "0x809800", "--count", "3", "--format=signed"}), cli::kExitOk);
  EXPECT_EQ(out.str(), "0x809800 7\n0x809801 -1\n0x809802 42\n");

  out.str("");
  responder.memory[0x809C00] = 0x00400000;  // 1.5 in the C3x format
  const std::string coff = WriteProgram(4);
  EXPECT_EQ(Run({"read", "counter", "--coff", coff, "--format", "FLOAT"}), cli::kExitOk)
      << err.str();
  EXPECT_EQ(out.str(), "0x809C00 1.5\n");

  // What the console rejects is refused before any pod is touched.
  Clear();
  EXPECT_EQ(Run({"read", "0x1000000"}), cli::kExitUsage);
  EXPECT_EQ(err.str(), "[ ERROR ] : Maximum address range is from 0x0 to 0xffffff\n");
  err.str("");
  EXPECT_EQ(Run({"read", "nosuchname"}), cli::kExitUsage);
  EXPECT_EQ(err.str(), "[ ERROR ] : Wrong Variable Input\n");
  EXPECT_EQ(Run({"read", "0xFFFFFF", "--count=2"}), cli::kExitUsage);
  EXPECT_EQ(g_pod, nullptr);
}

TEST_F(TargetCli, WriteReadsValuesAsTheConsoleDoes) {
  const std::string coff = WriteProgram(4);
  EXPECT_EQ(Run({"write", "x", "1.5", "--coff=" + coff}), cli::kExitOk);
  EXPECT_EQ(responder.memory[0x809C10], 0x00400000u);
  EXPECT_EQ(out.str(), "[ RESULT ] : Writing Completed...\n");
  EXPECT_EQ(Run({"write", "0x809800", "-1.5"}), cli::kExitUsage);
  EXPECT_NE(err.str().find("[ ERROR ] : Wrong Float Data Input"), std::string::npos);
}

TEST_F(TargetCli, TerminalProgressBarIsRedrawnInPlace) {
  const std::string coff = WriteProgram(40);
  env.progressBar = true;
  EXPECT_EQ(Run({"boot", coff, "--dsp=c31"}), cli::kExitOk);
  EXPECT_NE(err.str().find("Serial Boot Procedure: Serial Boot Data Downloading...\n"),
            std::string::npos);
  EXPECT_NE(err.str().find("\r[" + std::string(40, '#') + "] 100%\n"), std::string::npos);
  EXPECT_EQ(out.str(), "[ Completed ]\n");
}

TEST_F(TargetCli, EraseShowsItsElapsedSecondsOnATerminalOnly) {
  const std::string coff = WriteProgram(8);
  UseFlashLoader();
  flash.eraseNeverFinishes = true;  // runs into the 20-second limit
  for (const bool terminal : {true, false}) {
    Clear();
    env.progressBar = terminal;
    EXPECT_EQ(Run({"flash", "write", coff, "--dsp=c31", "--flash=am29f010", "--boot=1"}),
              cli::kExitProcedureBase + kProcEraseError);
    const std::string e = err.str();
    EXPECT_EQ(e.find("\rFlash Memory Erasing... 0 s") != std::string::npos, terminal) << e;
    EXPECT_EQ(e.find("\rFlash Memory Erasing... 19 s") != std::string::npos, terminal) << e;
    EXPECT_EQ(e.find("Flash Memory Erasing...\n") != std::string::npos, !terminal) << e;
    EXPECT_EQ(out.str(), "[ Completed ]\n [ Error : Flash Erasing... ]\n");
  }
}

TEST_F(TargetCli, FailedFlashReadSaysSoAsTheDesktopDoes) {
  const std::string coff = WriteProgram(8);
  UseFlashLoader();
  int reads = 0;
  podSetUp = [&](FakePod& pod) {
    pod.target = [&](uint32_t word) {
      // The pod drops off after the third word read from the flash.
      if ((word & 0xFF000000) == 0x77000000 && ++reads == 3) pod.FailWrite(1);
      return flash(word);
    };
  };
  EXPECT_EQ(Run({"flash", "read", coff, "--dsp=c31", "--flash=am29f010", "--boot=1"}),
            cli::kExitProcedureBase + kProcFlashReadError);
  EXPECT_EQ(out.str(), "[ Completed ]\n[ Error : Flash Data Reading ]\n");
  EXPECT_NE(err.str().find("Flash ROM Procedure: ERROR\n"), std::string::npos) << err.str();
}

TEST_F(TargetCli, FlashRefusesWithoutLoaderOrRoom) {
  const std::string coff = WriteProgram(8);
  const FlashLoaderSet noLoaders;
  env.flashLoaders = &noLoaders;
  EXPECT_EQ(Run({"flash", "write", coff, "--dsp=c31"}), cli::kExitRefused);
  EXPECT_NE(err.str().find("flash loader not available"), std::string::npos);
  EXPECT_EQ(g_pod->WordsWith('S').size(), 0u);

  // Boot3 on a C31 leaves 0x1000 bytes: a program of 0x1000 words does not fit.
  Clear();
  const std::string big = WriteProgram(0x1000);
  EXPECT_EQ(Run({"flash", "verify", big, "--dsp=c31", "--boot=3", "--flash=am29f040"}),
            cli::kExitRefused);
  EXPECT_EQ(err.str(), "Program size(0x4014) is bigger than available boot region(0x1000)\n");
  EXPECT_EQ(g_pod, nullptr);
  EXPECT_EQ(Run({"boot", (dir / "missing.out").string()}), cli::kExitFile);
  EXPECT_EQ(g_pod, nullptr);
}

TEST_F(TargetCli, StoredSettingsAreNeverWritten) {
  store.WriteInt(kSectionMain, "MCU TYPE", 0);
  const auto before = store.Values();
  const std::string coff = WriteProgram(4);
  EXPECT_EQ(Run({"boot", coff, "--dsp=c32", "--scan-us=100", "--strb0=0F0000"}), cli::kExitOk);
  EXPECT_EQ(store.Values(), before);
}

// Scripts read these keys; their order and value types stay as they were.
TEST_F(TargetCli, JsonOutputsParseAndKeepTheirKeys) {
  using nlohmann::ordered_json;
  auto keys = [](const ordered_json& object) {
    std::vector<std::string> names;
    for (const auto& item : object.items()) names.push_back(item.key());
    return names;
  };
  using Keys = std::vector<std::string>;
  // An 8-bit name (Latin-1 in the file) comes out as valid JSON.
  const std::string coff = WriteProgram(4, "caf\xE9");
  ASSERT_EQ(Run({"info", coff, "--json", "--dsp=c31"}), cli::kExitOk) << err.str();
  const ordered_json info = ordered_json::parse(out.str());
  EXPECT_EQ(keys(info), (Keys{"format", "image_bytes", "data_bytes", "sections", "symbols"}));
  EXPECT_TRUE(info["format"].is_string() && info["image_bytes"].is_number_unsigned() &&
              info["data_bytes"].is_number_unsigned());
  EXPECT_EQ(keys(info["sections"].at(0)), (Keys{"name", "start", "size"}));
  EXPECT_EQ(info["sections"][0]["start"], 0x809800);
  EXPECT_EQ(keys(info["symbols"].at(1)), (Keys{"name", "address", "type", "type_text", "array"}));
  EXPECT_EQ(info["symbols"][1]["name"], "caf\u00e9");
  EXPECT_EQ(info["symbols"][1]["type_text"], "Floating point");
  EXPECT_EQ(out.str().find('\xE9'), std::string::npos);

  const std::string sym = (dir / "lists.sym").string();
  ASSERT_EQ(SaveSymbolFile(sym, {{.name = "counter", .address = 0x809C00, .typeCode = 4}},
                           {{.address = 0x808064, .viewType = 4}}),
            SymbolFileResult::kOk);
  out.str("");
  ASSERT_EQ(Run({"sym", "dump", sym, "--json"}), cli::kExitOk) << err.str();
  const ordered_json lists = ordered_json::parse(out.str());
  EXPECT_EQ(keys(lists), (Keys{"variables", "addresses"}));
  for (const ordered_json* item : {&lists["variables"].at(0), &lists["addresses"].at(0)})
    EXPECT_EQ(keys(*item), (Keys{"name", "array", "address", "type", "view"}));
  EXPECT_EQ(lists["addresses"][0]["address"], 0x808064);
  EXPECT_EQ(lists["addresses"][0]["view"], 4);
}

}  // namespace
}  // namespace velmora::test
