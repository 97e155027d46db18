// Command sequences of the flash chips, as their data sheets give them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "sim/FlashChip.h"

namespace velmora::sim {
namespace {

constexpr uint64_t kUs = 1000;
constexpr uint64_t kMs = 1000 * kUs;

// A chip on a bus whose cycles are `gap` apart.
struct Bus {
  FlashChip chip;
  uint64_t gap;
  uint64_t now = 0;
  uint32_t u1 = 0x5555, u2 = 0x2AAA;  // the unlock addresses used
  Bus(uint8_t type, uint64_t gapNs, FlashOptions options = {}) : chip(type), gap(gapNs) {
    chip.Configure(options);
  }
  void W(uint32_t a, uint8_t v, uint64_t after = 0) {
    chip.BusWrite(a, v, now += after ? after : gap);
  }
  void Seq(std::initializer_list<std::pair<uint32_t, uint8_t>> cycles) {
    for (auto [a, v] : cycles) W(a, v);
  }
  uint8_t R(uint32_t a) { return chip.BusRead(a, now += gap); }
  void Advance(uint64_t ns) { chip.Update(now += ns); }
  // JEDEC: program one byte; the erase command (0x10 chip, 0x30 sector at a).
  void Program(uint32_t a, uint8_t v) { Seq({{u1, 0xAA}, {u2, 0x55}, {u1, 0xA0}, {a, v}}); }
  void Erase(uint8_t command = 0x10, uint32_t a = 0x5555) {
    Seq({{u1, 0xAA}, {u2, 0x55}, {u1, 0x80}, {u1, 0xAA}, {u2, 0x55}, {a, command}});
  }
  // Atmel: the protected-write prefix.
  void Unlock() { Seq({{0x5555, 0xAA}, {0x2AAA, 0x55}, {0x5555, 0xA0}}); }
};

TEST(FlashJedec, CommandCyclesCompareA14ToA0AndOnTheBRevisionsA10ToA0) {
  // The unlock addresses 555h/2AAh inside a 2K block reach only the B
  // revisions of the AMD parts; 5555h/2AAAh reach every part.
  const struct {
    uint8_t chip;
    bool revisionB;
    uint32_t u1, u2;
    bool accepted;
  } cases[] = {
      {0, false, 0x5555, 0x2AAA, true},    {0, false, 0x0555, 0x02AA, false},
      {0, true, 0x0555, 0x02AA, true},     {0, true, 0x5555, 0x2AAA, true},
      {1, false, 0x0555, 0x02AA, false},   {1, true, 0x1D555, 0x1D2AA, true},
      {1, false, 0x1D555, 0x1D2AA, false}, {1, false, 0x45555, 0x42AAA, true},
      {2, true, 0x0555, 0x02AA, false},  // no B revision: always A14-A0
      {2, false, 0x5555, 0x2AAA, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.chip) + (c.revisionB ? "B " : " ") + std::to_string(c.u1));
    Bus f(c.chip, 100, {c.revisionB, 150});
    f.u1 = c.u1;
    f.u2 = c.u2;
    f.Program(0x100, 0x12);
    f.Advance(20 * kUs);
    EXPECT_EQ(f.chip.Peek(0x100), c.accepted ? 0x12 : 0xFF);
  }
}

TEST(FlashJedec, ProgramPollsThroughDq7AndDq6AndBrokenSequencesAreDropped) {
  Bus f(1, 100);      // AM29F040
  f.W(0x1234, 0x12);  // a plain write does nothing
  EXPECT_EQ(f.chip.Peek(0x1234), 0xFF);
  f.Program(0x1234, 0x12);
  // While the byte programs, reads give DQ7 complemented (0x12 has bit 7 clear)
  // and a toggling DQ6.
  const uint8_t s1 = f.R(0x1234), s2 = f.R(0x1234);
  EXPECT_EQ(s1 & 0x80, 0x80);
  EXPECT_NE(s1 & 0x40, s2 & 0x40);
  EXPECT_TRUE(f.chip.Busy());
  f.Advance(10 * kUs);
  EXPECT_FALSE(f.chip.Busy());
  EXPECT_EQ(f.R(0x1234), 0x12);
  f.Seq({{0x5555, 0xAA}, {0x2AAB, 0x55}, {0x5555, 0xA0}, {0x100, 0x00}});
  f.Advance(10 * kUs);
  EXPECT_EQ(f.chip.Peek(0x100), 0xFF);
}

TEST(FlashJedec, AFailedOperationKeepsTheStatusUntilTheResetCommand) {
  Bus f(0, 100);  // AM29F010
  f.Program(0x10, 0x0F);
  f.Advance(20 * kUs);
  f.Program(0x10, 0x05);  // clears two more bits: fine
  f.Advance(20 * kUs);
  EXPECT_EQ(f.chip.Peek(0x10), 0x05);
  f.Program(0x10, 0xF0);  // would need 0 -> 1
  f.Advance(FlashChip::kProgramTimeoutNs + kUs);
  EXPECT_EQ(f.R(0x10) & 0x20, 0x20);   // DQ5: time limit exceeded
  EXPECT_EQ(f.chip.Peek(0x10), 0x00);  // only the clearing part took effect
  // Commands other than the reset are ignored meanwhile.
  f.Program(0x20, 0x00);
  f.Advance(20 * kUs);
  EXPECT_EQ(f.R(0x10) & 0x20, 0x20);
  EXPECT_EQ(f.chip.Peek(0x20), 0xFF);
  f.W(0x0, 0xF0);
  EXPECT_EQ(f.R(0x10), 0x00);

  // An erase that timed out: the next erase takes effect only after a reset.
  Bus e(2, 100);  // HY29F040A
  e.chip.Fill(0x00);
  e.chip.SetEraseFailures(1);
  e.Erase();
  EXPECT_EQ(e.R(0) & 0x20, 0x00);
  e.Advance(FlashChip::kEraseTimeoutNs + kMs);
  EXPECT_EQ(e.R(0) & 0xA0, 0x20);
  e.Erase();
  e.Advance(9 * 1000 * kMs);
  EXPECT_EQ(e.R(0) & 0xA0, 0x20) << "still failed";
  EXPECT_EQ(e.chip.Peek(0x7FFFF), 0x00);
  e.W(0, 0xF0);
  e.Erase();
  e.Advance(9 * 1000 * kMs);
  EXPECT_EQ(e.R(0), 0xFF);
  EXPECT_EQ(e.chip.Peek(0x7FFFF), 0xFF);
}

TEST(FlashJedec, ChipEraseTakesDataSheetTimeAndReportsThroughDq7AndDq3) {
  Bus f(1, 100);
  f.chip.Fill(0x00);
  f.Erase();
  EXPECT_EQ(f.R(0) & 0x80, 0x00);  // DQ7 = 0 while erasing
  EXPECT_EQ(f.R(0) & 0x08, 0x08);  // DQ3: erase running
  f.Advance(7 * 1000 * kMs);
  EXPECT_TRUE(f.chip.Busy());
  f.Advance(2 * 1000 * kMs);
  EXPECT_FALSE(f.chip.Busy());
  EXPECT_EQ(f.R(0), 0xFF);
  EXPECT_EQ(f.chip.Peek(0x7FFFF), 0xFF);
}

TEST(FlashJedec, SectorEraseWindowAndAutoselect) {
  Bus f(0, 100);
  f.chip.Fill(0x00);
  f.Erase(0x30, 0x4123);  // the 16 KiB sector at 0x4000
  f.Advance(2000 * kMs);
  EXPECT_EQ(f.chip.Peek(0x4000), 0xFF);
  EXPECT_EQ(f.chip.Peek(0x7FFF), 0xFF);
  EXPECT_EQ(f.chip.Peek(0x3FFF), 0x00);
  EXPECT_EQ(f.chip.Peek(0x8000), 0x00);
  // Another command inside the window abandons the erase.
  f.Erase(0x30, 0x8000);
  f.W(0x5555, 0xAA);
  f.Advance(2000 * kMs);
  EXPECT_EQ(f.chip.Peek(0x8000), 0x00);

  Bus a(2, 100);  // HY29F040A
  a.Seq({{0x5555, 0xAA}, {0x2AAA, 0x55}, {0x5555, 0x90}});
  EXPECT_EQ(a.R(0), 0xAD);
  EXPECT_EQ(a.R(1), 0xA4);
  a.Program(0x100, 0x00);  // only the reset leaves the codes
  EXPECT_EQ(a.R(1), 0xA4);
  a.W(0, 0xF0);
  EXPECT_EQ(a.R(0), 0xFF);
  EXPECT_EQ(a.chip.Peek(0x100), 0xFF);
}

TEST(FlashAtmel, PageLoadEndsAfterTheByteLoadWindowAndTheWriteCycleRewritesThePage) {
  Bus f(3, kUs);  // AT29C010A: 128-byte pages
  f.chip.Fill(0x00);
  for (uint32_t i = 0; i < 4; ++i) f.W(0x100 + i, static_cast<uint8_t>(0xA0 + i));
  EXPECT_TRUE(f.chip.Busy());
  // Within the write cycle: DQ7 of the last byte complemented, DQ6 toggling.
  f.Advance(FlashChip::kByteLoadWindowNs + kUs);
  const uint8_t a = f.R(0x103), b = f.R(0x103);
  EXPECT_EQ(a & 0x80, 0x00);  // 0xA3 has bit 7 set
  EXPECT_NE(a & 0x40, b & 0x40);
  EXPECT_EQ(f.chip.Peek(0x100), 0x00);  // nothing written yet
  f.W(0x104, 0x55);                     // ignored during the write cycle
  f.Advance(10 * kMs);
  EXPECT_FALSE(f.chip.Busy());
  EXPECT_EQ(f.R(0x103), 0xA3);
  EXPECT_EQ(f.chip.Peek(0x100), 0xA0);
  // Bytes of the page that were not loaded come out erased; bits can rise.
  EXPECT_EQ(f.chip.Peek(0x104), 0xFF);
  EXPECT_EQ(f.chip.Peek(0x17F), 0xFF);
  EXPECT_EQ(f.chip.Peek(0x180), 0x00);  // next page untouched
  // A byte loaded after the window closed meets the write cycle and is lost.
  f.W(0x200, 0x11);
  f.W(0x201, 0x22, FlashChip::kByteLoadWindowNs + kUs);
  f.Advance(25 * kMs);
  EXPECT_EQ(f.chip.Peek(0x200), 0x11);
  EXPECT_EQ(f.chip.Peek(0x201), 0xFF);
}

TEST(FlashAtmel, SoftwareDataProtectionBlocksPlainWrites) {
  Bus f(5, kUs);  // AT29C040A, 256-byte pages
  EXPECT_FALSE(f.chip.SdpEnabled());
  f.Unlock();  // the protected write enables protection
  f.W(0x300, 0x42);
  f.Advance(11 * kMs);
  EXPECT_TRUE(f.chip.SdpEnabled());
  EXPECT_EQ(f.chip.Peek(0x300), 0x42);
  f.W(0x300, 0x43);  // without the sequence: ignored
  f.Advance(11 * kMs);
  EXPECT_EQ(f.chip.Peek(0x300), 0x42);
  EXPECT_FALSE(f.chip.Busy());
  f.Unlock();
  f.W(0x300, 0x44);
  f.Advance(11 * kMs);
  EXPECT_EQ(f.chip.Peek(0x300), 0x44);
  // The six-byte disable sequence.
  f.Seq({{0x5555, 0xAA},
         {0x2AAA, 0x55},
         {0x5555, 0x80},
         {0x5555, 0xAA},
         {0x2AAA, 0x55},
         {0x5555, 0x20}});
  EXPECT_FALSE(f.chip.SdpEnabled());
  f.Advance(1 * kMs);
  f.W(0x300, 0x45);
  f.Advance(11 * kMs);
  EXPECT_EQ(f.chip.Peek(0x300), 0x45);

  // Unprotected command bytes that break off are page data.
  Bus g(4, kUs);                            // AT29C020
  g.Seq({{0x5555, 0xAA}, {0x5556, 0x12}});  // looks like a sequence, but is not
  g.Advance(11 * kMs);
  EXPECT_EQ(g.chip.Peek(0x5555), 0xAA);
  EXPECT_EQ(g.chip.Peek(0x5556), 0x12);
}

TEST(FlashFile, ContentsAndProtectionSurviveSaveAndLoad) {
  const auto dir = std::filesystem::temp_directory_path() / "velmora-flash-test";
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "flash.bin").string();
  FlashChip chip(3);
  const uint8_t bytes[] = {8, 0, 0, 0, 0xF8, 0x08};
  chip.WriteContents(0, bytes, sizeof bytes);
  chip.SetSdpEnabled(true);
  std::string error;
  ASSERT_TRUE(chip.Save(path, &error)) << error;
  auto back = FlashChip::Load(path, 3, &error);
  ASSERT_TRUE(back) << error;
  EXPECT_EQ(back->Contents(), chip.Contents());
  EXPECT_TRUE(back->SdpEnabled());

  // Another chip type, a truncated file and a foreign file are refused.
  EXPECT_FALSE(FlashChip::Load(path, 1, &error));
  EXPECT_NE(error.find("AT29C010A"), std::string::npos);
  std::filesystem::resize_file(path, std::filesystem::file_size(path) - 10);
  EXPECT_FALSE(FlashChip::Load(path, 3, &error));
  EXPECT_NE(error.find("truncated"), std::string::npos);
  std::ofstream(path, std::ios::trunc) << "hello";
  EXPECT_FALSE(FlashChip::Load(path, 3, &error));
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace velmora::sim
