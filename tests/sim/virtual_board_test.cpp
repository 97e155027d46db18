// The board folder: options and flash contents that outlive the process.
#include <gtest/gtest.h>

#include <filesystem>

#include "SimTestSupport.h"
#include "sim/VirtualBoard.h"

namespace velmora::sim::test {
namespace {

namespace fs = std::filesystem;

struct TempFolder {
  fs::path path;
  TempFolder() {
    path = fs::temp_directory_path() /
           ("velmora-sim-" + std::to_string(reinterpret_cast<uintptr_t>(this)) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(path);
  }
  ~TempFolder() { fs::remove_all(path); }
};

// Opens the pod and asks for the firmware version; gives the reply bytes.
std::string AskVersion(FtdiApi& api, DWORD readTimeoutMs) {
  char desc[] = "USB POD", q[] = "?";
  FT_HANDLE h = nullptr;
  EXPECT_EQ(api.FT_OpenEx(desc, FT_OPEN_BY_DESCRIPTION, &h), FT_OK);
  api.FT_SetBaudRate(h, 921600);
  api.FT_SetLatencyTimer(h, 1);
  api.FT_SetTimeouts(h, readTimeoutMs, 300);
  DWORD n = 0;
  EXPECT_EQ(api.FT_Write(h, q, 1, &n), FT_OK);
  char reply[2] = {};
  EXPECT_EQ(api.FT_Read(h, reply, 2, &n), FT_OK);
  EXPECT_EQ(api.FT_Close(h), FT_OK);
  return std::string(reply, n);
}

TEST(BoardFolderOptions, ConfiguredDefaultsOnlySeedANewBoardExplicitValuesOverride) {
  TempFolder tmp;
  BoardFolder folder(tmp.path.string());
  BoardOptions o;
  std::string error;
  ASSERT_TRUE(ResolveBoardOptions(
      folder, {{"configured-dsp", "2"}, {"configured-flash", "AT29C020"}, {"configured-boot", "2"}},
      &o, &error))
      << error;
  EXPECT_EQ(o.dspType, 2);
  EXPECT_EQ(o.flashType, 4);
  EXPECT_EQ(o.bootMode, 1);
  EXPECT_EQ(o.firmwareVersion, 0x12);

  // A later process with other configured values sees the same board.
  BoardOptions again;
  ASSERT_TRUE(ResolveBoardOptions(folder, {{"configured-dsp", "C31"}}, &again, &error));
  EXPECT_EQ(again, o);

  // Explicit options change the board and are remembered.
  ASSERT_TRUE(ResolveBoardOptions(
      folder,
      {{"dsp", "TMS320C32"}, {"firmware", "1.1"}, {"boot", "Boot3"}, {"reset-polarity", "high"}},
      &again, &error));
  BoardOptions stored;
  ASSERT_TRUE(folder.LoadOptions(&stored, &error));
  EXPECT_EQ(stored.dspType, 1);
  EXPECT_EQ(stored.firmwareVersion, 0x11);
  EXPECT_EQ(stored.bootMode, 2);
  EXPECT_TRUE(stored.resetActiveHigh);
  EXPECT_EQ(stored.flashType, 4);

  EXPECT_FALSE(ResolveBoardOptions(folder, {{"flash", "AM29F999"}}, &again, &error));
  EXPECT_NE(error.find("AM29F999"), std::string::npos);
}

TEST(BoardFolderOptions, ValueParsersAcceptTheUsualSpellings) {
  uint8_t v = 0;
  EXPECT_TRUE(ParseDspType("c33", &v));
  EXPECT_EQ(v, 2);
  EXPECT_FALSE(ParseDspType("C34", &v));
  EXPECT_TRUE(ParseFlashType("hy29f040a", &v));
  EXPECT_EQ(v, 2);
  EXPECT_TRUE(ParseBootMode("boot1", &v));
  EXPECT_EQ(v, 0);
  EXPECT_FALSE(ParseBootMode("0", &v));
  EXPECT_TRUE(ParseFirmwareVersion("0x12", &v));
  EXPECT_EQ(v, 0x12);
  EXPECT_TRUE(ParseFirmwareVersion("1.3", &v));
  EXPECT_EQ(v, 0x13);
  EXPECT_FALSE(ParseFirmwareVersion("1.16", &v));
}

TEST(VirtualBoardFolder, AFlashedProgramBootsInTheNextProcess) {
  TempFolder tmp;
  FtdiBackendOptions opts;
  opts.simDir = tmp.path.string();
  opts.values = {{"dsp", "C31"}, {"flash", "AM29F010"}, {"boot", "2"}};
  VirtualClock clock;
  std::string error;
  {
    auto dev = OpenVirtualBoard(opts, &error, &clock);
    ASSERT_TRUE(dev) << error;
    Board& b = dev->TheBoard();
    EXPECT_EQ(b.FlashWindowStart(), 0x400000u);
    b.WriteFlashImage(BootTable(0, 0x809C00, {ImmOp(Op::LDI, R6, 123), Br(0x809C01)}));
  }  // the device saves the flash as it goes
  EXPECT_TRUE(fs::exists(tmp.path / "flash-AM29F010.bin"));

  opts.values.clear();  // the folder remembers the board
  auto dev = OpenVirtualBoard(opts, &error, &clock);
  ASSERT_TRUE(dev) << error;
  clock.AdvanceUs(50'000);
  dev->Sync();
  ASSERT_EQ(dev->TheBoard().State(), BoardState::Running) << dev->TheBoard().HaltMessage();
  EXPECT_EQ(dev->TheBoard().CpuCore().Regs().r[6].man, 123u);

  // Another chip type has a file of its own; the first one is kept.
  dev.reset();
  opts.values = {{"flash", "AT29C040A"}};
  dev = OpenVirtualBoard(opts, &error, &clock);
  ASSERT_TRUE(dev) << error;
  EXPECT_FALSE(dev->TheBoard().FlashHoldsProgram());
  EXPECT_TRUE(fs::exists(tmp.path / "flash-AM29F010.bin"));
}

TEST(VirtualBoardFolder, TheSimBackendRegistersAndAnswersOnAVirtualOrARealClock) {
  TempFolder tmp;
  // Linking the module registers the backend.
  ASSERT_TRUE(FtdiBackendRegistered("sim"));
  RegisterSimBackend();  // and registering again is harmless
  FtdiBackendOptions opts;
  opts.simDir = tmp.path.string();
  opts.values = {{"clock", "virtual"}, {"firmware", "1.3"}};
  std::string error;
  auto api = CreateFtdiBackend("sim", opts, error);
  ASSERT_TRUE(api) << error;
  EXPECT_EQ(AskVersion(*api, 300), "?\x13");
  api.reset();
  // Without a virtual clock the board runs in real time; the folder keeps the firmware.
  opts.values.clear();
  auto dev = OpenVirtualBoard(opts, &error);
  ASSERT_TRUE(dev) << error;
  EXPECT_EQ(AskVersion(*dev, 2000), "?\x13");

  opts.values = {{"dsp", "C35"}};
  EXPECT_FALSE(CreateFtdiBackend("sim", opts, error));
  EXPECT_NE(error.find("C35"), std::string::npos);
}

}  // namespace
}  // namespace velmora::sim::test
