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
  ASSERT_TRUE(ResolveBoardOptions(folder,
                                  {{"dsp", "TMS320C32"},
                                   {"firmware", "1.1"},
                                   {"boot", "Boot3"},
                                   {"reset-polarity", "high"},
                                   {"flash-rev", "b"},
                                   {"flash-speed", "90ns"}},
                                  &again, &error));
  BoardOptions stored;
  ASSERT_TRUE(folder.LoadOptions(&stored, &error));
  EXPECT_EQ(stored.dspType, 1);
  EXPECT_EQ(stored.firmwareVersion, 0x11);
  EXPECT_EQ(stored.bootMode, 2);
  EXPECT_TRUE(stored.resetActiveHigh);
  EXPECT_EQ(stored.flashType, 4);
  EXPECT_EQ(stored.flash, (FlashOptions{true, 90}));

  for (auto [key, value] : {std::pair{"flash", "AM29F999"},
                            {"flash-speed", "100"},
                            {"flash-rev", "C"},
                            {"flash-speed", "fast"}}) {
    EXPECT_FALSE(ResolveBoardOptions(folder, {{key, value}}, &again, &error)) << value;
    EXPECT_NE(error.find(value), std::string::npos) << error;
  }
}

TEST(BoardFolderOptions, ValueParsersAcceptTheUsualSpellings) {
  const struct {
    bool (*parse)(const std::string&, uint8_t*);
    const char* text;
    int value;  // -1: refused
  } cases[] = {{ParseDspType, "c33", 2},
               {ParseDspType, "C34", -1},
               {ParseFlashType, "hy29f040a", 2},
               {ParseBootMode, "boot1", 0},
               {ParseBootMode, "0", -1},
               {ParseFirmwareVersion, "0x12", 0x12},
               {ParseFirmwareVersion, "1.3", 0x13},
               {ParseFirmwareVersion, "1.16", -1}};
  for (const auto& c : cases) {
    uint8_t v = 0;
    EXPECT_EQ(c.parse(c.text, &v), c.value >= 0) << c.text;
    EXPECT_EQ(v, c.value < 0 ? 0 : c.value) << c.text;
  }
}

// Booting a flashed program in a new process, on the registered "sim" backend
// in real time, is the business of the velmora-cli flash-then-read check.
TEST(VirtualBoardFolder, EachChipTypeKeepsAFlashFileOfItsOwn) {
  TempFolder tmp;
  FtdiBackendOptions opts;
  opts.simDir = tmp.path.string();
  opts.values = {{"dsp", "C31"}, {"flash", "AM29F010"}, {"boot", "2"}};
  VirtualClock clock;
  std::string error;
  auto dev = OpenVirtualBoard(opts, &error, &clock);
  ASSERT_TRUE(dev) << error;
  EXPECT_EQ(dev->TheBoard().FlashWindowStart(), 0x400000u);
  dev->TheBoard().WriteFlashImage(BootTable(0, 0x809C00, {Br(0x809C00)}));
  dev.reset();  // saves the flash
  EXPECT_TRUE(fs::exists(tmp.path / "flash-AM29F010.bin"));
  opts.values = {{"flash", "AT29C040A"}};
  dev = OpenVirtualBoard(opts, &error, &clock);
  ASSERT_TRUE(dev) << error;
  EXPECT_FALSE(dev->TheBoard().FlashHoldsProgram());
  EXPECT_TRUE(fs::exists(tmp.path / "flash-AM29F010.bin"));

  // Bad values of the knobs and an unwritable trace refuse the board.
  for (auto [key, value] : {std::pair{"dsp", "C35"},
                            {"program-us", "slow"},
                            {"erase-fails", "-1"},
                            {"trace", "/nonexistent/dir/bus.csv"}}) {
    opts.values = {{key, value}};
    EXPECT_FALSE(CreateFtdiBackend("sim", opts, error)) << key;
    EXPECT_NE(error.find(value), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace velmora::sim::test
