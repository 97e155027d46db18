// Command sequences of the flash chips, as their data sheets give them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "sim/FlashChip.h"

namespace velmora::sim {
namespace {

constexpr uint64_t kUs = 1000;
constexpr uint64_t kMs = 1000 * kUs;

struct Jedec {
  FlashChip chip;
  uint64_t now = 0;
  explicit Jedec(uint8_t type) : chip(type) {}
  void W(uint32_t a, uint8_t v) { chip.BusWrite(a, v, now += 100); }
  uint8_t R(uint32_t a) { return chip.BusRead(a, now += 100); }
  void Program(uint32_t a, uint8_t v) {
    W(0x555, 0xAA);
    W(0x2AA, 0x55);
    W(0x555, 0xA0);
    W(a, v);
  }
  void ChipErase() {
    W(0x555, 0xAA);
    W(0x2AA, 0x55);
    W(0x555, 0x80);
    W(0x555, 0xAA);
    W(0x2AA, 0x55);
    W(0x555, 0x10);
  }
  void Advance(uint64_t ns) {
    now += ns;
    chip.Update(now);
  }
};

TEST(FlashJedec, ProgramNeedsTheUnlockCyclesAndPollsDq7UntilDone) {
  Jedec f(1);         // AM29F040
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

  // The unlock addresses are decoded on A10-A0 only: 0x5555/0x2AAA work too.
  f.W(0x5555, 0xAA);
  f.W(0x2AAA, 0x55);
  f.W(0x5555, 0xA0);
  f.W(0x40000, 0x34);
  f.Advance(10 * kUs);
  EXPECT_EQ(f.chip.Peek(0x40000), 0x34);

  // A broken sequence is dropped.
  f.W(0x555, 0xAA);
  f.W(0x2AB, 0x55);
  f.W(0x555, 0xA0);
  f.W(0x100, 0x00);
  f.Advance(10 * kUs);
  EXPECT_EQ(f.chip.Peek(0x100), 0xFF);
}

TEST(FlashJedec, ProgrammingCanOnlyClearBitsAndFailsWithDq5Otherwise) {
  Jedec f(0);  // AM29F010
  f.Program(0x10, 0x0F);
  f.Advance(20 * kUs);
  f.Program(0x10, 0x05);  // clears two more bits: fine
  f.Advance(20 * kUs);
  EXPECT_EQ(f.chip.Peek(0x10), 0x05);

  f.Program(0x10, 0xF0);  // would need 0 -> 1
  f.Advance(FlashChip::kProgramTimeoutNs + kUs);
  const uint8_t status = f.R(0x10);
  EXPECT_EQ(status & 0x20, 0x20);      // DQ5: time limit exceeded
  EXPECT_EQ(f.chip.Peek(0x10), 0x00);  // only the clearing part took effect
  // The chip stays in its status mode until the reset command.
  EXPECT_EQ(f.R(0x10) & 0x20, 0x20);
  f.W(0x0, 0xF0);
  EXPECT_EQ(f.R(0x10), 0x00);
}

TEST(FlashJedec, ChipEraseTakesDataSheetTimeAndReportsThroughDq7) {
  Jedec f(1);
  f.chip.Fill(0x00);
  f.ChipErase();
  EXPECT_EQ(f.R(0) & 0x80, 0x00);  // DQ7 = 0 while erasing
  EXPECT_EQ(f.R(0) & 0x08, 0x08);  // DQ3: erase running
  f.Advance(7 * 1000 * kMs);
  EXPECT_TRUE(f.chip.Busy());
  f.Advance(2 * 1000 * kMs);
  EXPECT_FALSE(f.chip.Busy());
  EXPECT_EQ(f.R(0), 0xFF);
  EXPECT_EQ(f.chip.Peek(0x7FFFF), 0xFF);
}

TEST(FlashJedec, AnInjectedEraseFailureRaisesDq5WithDq7Clear) {
  Jedec f(2);  // HY29F040A
  f.chip.SetEraseFailure(true);
  f.ChipErase();
  EXPECT_EQ(f.R(0) & 0x20, 0x00);
  f.Advance(FlashChip::kEraseTimeoutNs + kMs);
  const uint8_t s = f.R(0);
  EXPECT_EQ(s & 0x20, 0x20);
  EXPECT_EQ(s & 0x80, 0x00);
  EXPECT_EQ(f.R(0) & 0xA0, 0x20);  // a second read still fails
}

TEST(FlashJedec, SectorEraseAndAutoselect) {
  Jedec f(0);
  f.chip.Fill(0x00);
  f.W(0x555, 0xAA);
  f.W(0x2AA, 0x55);
  f.W(0x555, 0x80);
  f.W(0x555, 0xAA);
  f.W(0x2AA, 0x55);
  f.W(0x4123, 0x30);  // the 16 KiB sector at 0x4000
  f.Advance(2000 * kMs);
  EXPECT_EQ(f.chip.Peek(0x4000), 0xFF);
  EXPECT_EQ(f.chip.Peek(0x7FFF), 0xFF);
  EXPECT_EQ(f.chip.Peek(0x3FFF), 0x00);
  EXPECT_EQ(f.chip.Peek(0x8000), 0x00);

  f.W(0x555, 0xAA);
  f.W(0x2AA, 0x55);
  f.W(0x555, 0x90);
  EXPECT_EQ(f.R(0), 0x01);  // AMD
  EXPECT_EQ(f.R(1), 0x20);  // AM29F010
  f.W(0, 0xF0);
  EXPECT_EQ(f.R(0x4000), 0xFF);
}

struct Atmel {
  FlashChip chip;
  uint64_t now = 0;
  explicit Atmel(uint8_t type) : chip(type) {}
  void W(uint32_t a, uint8_t v, uint64_t gap = 1 * kUs) { chip.BusWrite(a, v, now += gap); }
  uint8_t R(uint32_t a) { return chip.BusRead(a, now += kUs); }
  void Unlock() {
    W(0x5555, 0xAA);
    W(0x2AAA, 0x55);
    W(0x5555, 0xA0);
  }
  void Advance(uint64_t ns) {
    now += ns;
    chip.Update(now);
  }
};

TEST(FlashAtmel, PageLoadEndsAfterTheByteLoadWindowAndTheWriteCycleRewritesThePage) {
  Atmel f(3);  // AT29C010A: 128-byte pages
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

  // A byte loaded after the window closed meets the write cycle.
  f.W(0x200, 0x11);
  f.W(0x201, 0x22, FlashChip::kByteLoadWindowNs + kUs);
  f.Advance(25 * kMs);
  EXPECT_EQ(f.chip.Peek(0x200), 0x11);
  EXPECT_EQ(f.chip.Peek(0x201), 0xFF);  // it came during the write cycle and was lost
}

TEST(FlashAtmel, SoftwareDataProtectionBlocksPlainWrites) {
  Atmel f(5);  // AT29C040A, 256-byte pages
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
  f.W(0x5555, 0xAA);
  f.W(0x2AAA, 0x55);
  f.W(0x5555, 0x80);
  f.W(0x5555, 0xAA);
  f.W(0x2AAA, 0x55);
  f.W(0x5555, 0x20);
  EXPECT_FALSE(f.chip.SdpEnabled());
  f.Advance(1 * kMs);
  f.W(0x300, 0x45);
  f.Advance(11 * kMs);
  EXPECT_EQ(f.chip.Peek(0x300), 0x45);
}

TEST(FlashAtmel, UnprotectedCommandBytesThatBreakOffAreWrittenAsData) {
  Atmel f(4);         // AT29C020
  f.W(0x5555, 0xAA);  // looks like a sequence...
  f.W(0x5556, 0x12);  // ...but is not: both bytes are page data
  f.Advance(11 * kMs);
  EXPECT_EQ(f.chip.Peek(0x5555), 0xAA);
  EXPECT_EQ(f.chip.Peek(0x5556), 0x12);
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
  {
    std::ifstream in(path, std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(in)), {});
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << all.substr(0, all.size() - 10);
  }
  EXPECT_FALSE(FlashChip::Load(path, 3, &error));
  EXPECT_NE(error.find("truncated"), std::string::npos);
  {
    std::ofstream out(path, std::ios::trunc);
    out << "hello";
  }
  EXPECT_FALSE(FlashChip::Load(path, 3, &error));
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace velmora::sim
