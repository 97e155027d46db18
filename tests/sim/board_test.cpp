// Memory maps, the serial port and the boot loader of the three DSPs.
#include <gtest/gtest.h>

#include "SimTestSupport.h"

namespace velmora::sim::test {
namespace {

std::unique_ptr<Board> MakeBoard(uint8_t dsp, uint8_t flash = 1, uint8_t boot = 0) {
  BoardConfig cfg;
  cfg.dspType = dsp;
  cfg.flashType = flash;
  cfg.bootMode = boot;
  return std::make_unique<Board>(cfg);
}

bool IsRam(Board& b, uint32_t address) {
  uint32_t old = 0;
  if (!b.ReadWord(address, &old)) return false;
  return b.WriteWord(address, old ^ 0x5A5A5A5A) && b.ReadWord(address, &old) &&
         b.WriteWord(address, old ^ 0x5A5A5A5A);
}

TEST(BoardMemoryMap, EachDspHasItsOwnInternalRamAndBusRegisters) {
  auto c31 = MakeBoard(0);
  EXPECT_TRUE(IsRam(*c31, 0x809800));
  EXPECT_TRUE(IsRam(*c31, 0x809FFF));
  EXPECT_FALSE(IsRam(*c31, 0x800000));
  EXPECT_FALSE(IsRam(*c31, 0x87FE00));
  EXPECT_TRUE(IsRam(*c31, 0x200000));  // external SRAM
  EXPECT_EQ(c31->BusControl(reg::kPrimaryBus), 0x10F8u);

  auto c32 = MakeBoard(1);
  EXPECT_TRUE(IsRam(*c32, 0x87FE00));
  EXPECT_TRUE(IsRam(*c32, 0x87FFFF));
  EXPECT_FALSE(IsRam(*c32, 0x87FDFF));
  EXPECT_FALSE(IsRam(*c32, 0x809800));
  EXPECT_TRUE(IsRam(*c32, 0x880000));
  EXPECT_TRUE(IsRam(*c32, 0x200000));  // where the C31 and C33 boards have theirs
  EXPECT_EQ(c32->BusControl(reg::kIostrb), 0xF8u);
  EXPECT_EQ(c32->BusControl(reg::kStrb0), 0xF10F8u);
  EXPECT_EQ(c32->BusControl(reg::kStrb1), 0xF10F8u);

  auto c33 = MakeBoard(2);
  EXPECT_TRUE(IsRam(*c33, 0x800000));
  EXPECT_TRUE(IsRam(*c33, 0x807FFF));
  EXPECT_TRUE(IsRam(*c33, 0x809800));
  EXPECT_FALSE(IsRam(*c33, 0x808000 + 0x100));
}

TEST(BoardMemoryMap, TheFlashSitsAtTheBootBaseOneBytePerWordAddress) {
  struct Case {
    uint8_t dsp, boot;
    uint32_t base;
  } cases[] = {{0, 0, 0x1000},   {0, 1, 0x400000}, {0, 2, 0xFFF000}, {1, 0, 0x1000},
               {1, 1, 0x810000}, {1, 2, 0x900000}, {2, 1, 0x400000}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.base);
    auto b = MakeBoard(c.dsp, 1, c.boot);
    const uint8_t bytes[] = {0x11, 0x22, 0x33};
    b->Flash().WriteContents(b->BootOffset(), bytes, 3);
    EXPECT_LE(b->FlashWindowStart(), c.base);
    EXPECT_GT(b->FlashWindowEnd(), c.base);
    // The CPU reads one flash byte per address on D0-D7.
    EXPECT_EQ(b->IoRead(c.base) & 0xFF, 0x11u);
    EXPECT_EQ(b->IoRead(c.base + 2) & 0xFF, 0x33u);
  }
  // The chip's address lines are the low address bits. Boot1: the boot ROM
  // hides the chip's first 4K; Boot3 on a C31: the chip fills the top of the
  // address space and the table sits in its last 4K.
  auto boot1 = MakeBoard(0, 1, 0);
  EXPECT_EQ(boot1->BootOffset(), 0x1000u);
  EXPECT_EQ(boot1->FlashWindowEnd(), 0x80000u);
  auto boot3 = MakeBoard(0, 1, 2);
  EXPECT_EQ(boot3->FlashWindowStart(), 0xF80000u);
  EXPECT_EQ(boot3->FlashWindowEnd(), 0x1000000u);
  EXPECT_EQ(boot3->BootOffset(), 0x7F000u);
  // An Atmel chip's unlock address 0x5555 is reachable below the Boot3 base.
  auto at3 = MakeBoard(0, 5, 2);
  EXPECT_EQ(at3->FlashOffset(0xFFD555) & 0x7FFF, 0x5555u);
  // Boot2 on a C32 is limited by the IOSTRB window.
  EXPECT_EQ(MakeBoard(1, 1, 1)->FlashWindowEnd(), 0x830000u);
}

TEST(BoardMemoryMap, C32StrobeSettingsShapeFlashAccesses) {
  auto b = MakeBoard(1, 1, 2);  // flash at 0x900000 (STRB1)
  const uint8_t bytes[] = {0x81, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
  b->Flash().WriteContents(0, bytes, sizeof bytes);
  // Reset value: 32-bit wide memory; the byte-wide chip drives D0-D7 only.
  EXPECT_EQ(b->IoRead(0x900000), 0xFFFFFF81u);
  // 8-bit memory, 8-bit data, sign extension on.
  b->IoWrite(reg::kStrb1, 0x001000F8);
  EXPECT_EQ(b->IoRead(0x900000), 0xFFFFFF81u);
  EXPECT_EQ(b->IoRead(0x900001), 0x02u);
  // 8-bit memory, 32-bit data: four bytes per word address.
  b->IoWrite(reg::kStrb1, 0x000300F8);
  EXPECT_EQ(b->IoRead(0x900001), 0x08070605u);
}

// A C31/C33 stream: blocks of size, address, data; then 0.
std::vector<uint32_t> C31Stream(uint32_t entry, const std::vector<uint32_t>& code, uint32_t dataAt,
                                const std::vector<uint32_t>& data) {
  std::vector<uint32_t> s{static_cast<uint32_t>(code.size()), entry};
  s.insert(s.end(), code.begin(), code.end());
  s.push_back(static_cast<uint32_t>(data.size()));
  s.push_back(dataAt);
  s.insert(s.end(), data.begin(), data.end());
  s.push_back(0);
  return s;
}

TEST(BoardBootLoader, SerialBootLoadsBlocksAndStartsAtTheFirstOne) {
  for (uint8_t dsp : {uint8_t{0}, uint8_t{2}}) {
    SCOPED_TRACE(dsp);
    auto b = MakeBoard(dsp);
    b->PowerUp();
    EXPECT_EQ(b->State(), BoardState::BootWait);
    const uint32_t entry = dsp == 2 ? 0x800010 : 0x809C00;
    const std::vector<uint32_t> code = {ImmOp(Op::LDI, DP, 0x20), DirOp(Op::LDI, R0, 0x0000),
                                        ImmOp(Op::ADDI, R0, 1), Br(entry + 3)};
    for (uint32_t w : C31Stream(entry, code, 0x200000, {41, 42})) {
      b->SerialExchange(w);
      b->RunForNs(100'000);
    }
    EXPECT_EQ(b->State(), BoardState::Running);
    b->RunForNs(10'000);
    EXPECT_EQ(b->CpuCore().Regs().r[0].man, 42u);  // 41 loaded from 0x200000, plus 1
    // The serial port is left as the boot loader used it.
    uint32_t sgcr = 0;
    b->ReadWord(reg::kSerialControl, &sgcr);
    EXPECT_TRUE(sgcr & sgcr::kRreset);
    EXPECT_FALSE(sgcr & sgcr::kXreset);
  }
}

TEST(BoardBootLoader, C32StreamCarriesStrobeWordsThatProgramTheBus) {
  auto b = MakeBoard(1);
  b->PowerUp();
  const std::vector<uint32_t> stream = {0x58,
                                        0x0F0858,
                                        0x0A0858,  // IOSTRB, STRB0, STRB1
                                        2,
                                        0x87FE10,
                                        0,  // internal RAM: strobe word 0
                                        ImmOp(Op::LDI, R3, 77),
                                        Br(0x87FE11),
                                        1,
                                        0x880000,
                                        (0x0F0000u << 8) + 0x64,
                                        0x1234,  // STRB0 block: new STRB0 value
                                        0};
  for (uint32_t w : stream) b->SerialExchange(w);
  ASSERT_EQ(b->State(), BoardState::Running);
  EXPECT_EQ(b->BusControl(reg::kIostrb), 0x58u);
  EXPECT_EQ(b->BusControl(reg::kStrb0), 0x0F0000u);
  EXPECT_EQ(b->BusControl(reg::kStrb1), 0x0A0858u);
  uint32_t v = 0;
  ASSERT_TRUE(b->ReadWord(0x880000, &v));
  EXPECT_EQ(v, 0x1234u);
  b->RunForNs(1'000);
  EXPECT_EQ(b->CpuCore().Pc(), 0x87FE11u);
  EXPECT_EQ(b->CpuCore().Regs().r[3].man, 77u);
}

void PutImage(Board& b, const std::vector<uint32_t>& words) {
  b.WriteFlashImage(words);
  ASSERT_EQ(b.FlashImageWord(static_cast<uint32_t>(words.size() - 1)), words.back());
}

TEST(BoardBootLoader, RomBootReadsTheFlashWhenNoSerialDataFollowsTheReset) {
  struct Case {
    uint8_t dsp, boot;
  } cases[] = {{0, 0}, {0, 1}, {0, 2}, {2, 1}, {1, 2}, {1, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(int(c.dsp) * 10 + c.boot);
    auto b = MakeBoard(c.dsp, 1, c.boot);
    const uint32_t ram = c.dsp == 1 ? 0x87FE10 : 0x809C00;
    std::vector<uint32_t> image = {8};
    if (c.dsp == 1) {
      image.insert(image.end(), {0x58, 0x0F0858, 0x0F0858});
    } else {
      image.push_back(0x8F8);
    }
    image.insert(image.end(), {2, ram});
    if (c.dsp == 1) image.push_back(0);
    image.insert(image.end(), {ImmOp(Op::LDI, R1, 99), Br(ram + 1), 0});
    PutImage(*b, image);
    ASSERT_TRUE(b->FlashHoldsProgram());
    b->PowerUp();
    b->RunForNs(10'000'000);
    EXPECT_EQ(b->State(), BoardState::BootWait);  // still inside the serial window
    b->RunForNs(20'000'000);
    ASSERT_EQ(b->State(), BoardState::Running) << b->HaltMessage();
    EXPECT_EQ(b->CpuCore().Regs().r[1].man, 99u);
    if (c.dsp == 1) {
      EXPECT_EQ(b->BusControl(reg::kStrb0), 0x0F0858u);
    } else {
      EXPECT_EQ(b->BusControl(reg::kPrimaryBus), 0x8F8u);
    }
  }
}

TEST(BoardBootLoader, SerialDataRightAfterResetWinsOverTheFlashAndBadTablesHalt) {
  auto b = MakeBoard(0, 1, 0);
  PutImage(*b, {8, 0x8F8, 1, 0x809C00, ImmOp(Op::LDI, R1, 1), 0});
  b->PowerUp();
  b->RunForNs(1'000'000);
  b->SerialExchange(1);  // a serial stream begins
  b->RunForNs(50'000'000);
  EXPECT_EQ(b->State(), BoardState::SerialBoot);

  // A table that runs past the end of the 4K window of Boot3.
  auto c = MakeBoard(0, 1, 2);
  PutImage(*c, {8, 0x8F8, 0x800, 0x809800});
  c->PowerUp();
  c->RunForNs(30'000'000);
  EXPECT_EQ(c->State(), BoardState::Halted);
  EXPECT_NE(c->HaltMessage().find("past the end"), std::string::npos);

  // An erased flash: the boot loader keeps waiting for serial data.
  auto d = MakeBoard(0);
  d->PowerUp();
  d->RunForNs(100'000'000);
  EXPECT_EQ(d->State(), BoardState::BootWait);
}

TEST(BoardSerialPort, TheReplyToATransferIsWhatTheTargetLoadedBeforeIt) {
  // Echo + 1: wait for RRDY, read DRR, add 1, write DXR.
  auto prog = LoadConst(R0, 0x0C3C0000);  // both sides out of reset, 32-bit frames
  prog.insert(prog.end(), {ImmOp(Op::LDI, DP, 0x80), StiDir(R0, 0x8040), DirOp(Op::LDI, R1, 0x8040),
                           ImmOp(Op::AND, R1, 1), Bcond(kEQ, -3), DirOp(Op::LDI, R2, 0x804C),
                           ImmOp(Op::ADDI, R2, 1), StiDir(R2, 0x8048), Br(kRam + 5)});
  CpuFixture f(prog);
  f.board->RunForNs(10'000);
  EXPECT_EQ(f.board->SerialExchange(100), 0xFFFFFFFFu);  // nothing loaded yet
  f.board->RunForNs(10'000);
  EXPECT_EQ(f.board->SerialExchange(200), 101u);  // answer to the previous word
  f.board->RunForNs(10'000);
  EXPECT_EQ(f.board->SerialExchange(300), 201u);
  // The target has had no time to answer 300: the shift register sends its
  // last word again.
  EXPECT_EQ(f.board->SerialExchange(0), 201u);

  // Held in reset, the target takes nothing.
  f.board->SetResetAsserted(true);
  EXPECT_EQ(f.board->SerialExchange(5), 0xFFFFFFFFu);
  EXPECT_EQ(f.board->State(), BoardState::InReset);
}

TEST(BoardSerialPort, ReceiveInterruptAndOverrun) {
  // Receiver on with its interrupt; the handler counts words.
  auto prog = LoadConst(R0, 0x0A300000);
  prog.insert(prog.end(), {ImmOp(Op::LDI, DP, 0x80), StiDir(R0, 0x8040), ImmOp(Op::LDI, IE, 0x20),
                           ImmOp(Op::OR, ST, kStGIE), Idle(), Br(kRam + 7)});
  CpuFixture f(prog);
  f.board->LoadWords(0x809FC6, {Br(kRam + 0x40)});  // RINT0
  f.board->LoadWords(kRam + 0x40, {DirOp(Op::LDI, R4, 0x804C), ImmOp(Op::ADDI, R5, 1), Reti()});
  f.regs().sp = kRam + 0x300;
  f.board->RunForNs(10'000);
  f.board->SerialExchange(7);
  f.board->RunForNs(10'000);
  EXPECT_EQ(f.regs().r[4].man, 7u);
  EXPECT_EQ(f.regs().r[5].man, 1u);
}

}  // namespace
}  // namespace velmora::sim::test

namespace velmora::sim::test {
namespace {

// Program and erase the flash from DSP code as a loader does: unlock cycles
// on the bus, then DQ7 polling.
TEST(BoardFlashBus, TheCpuProgramsAndErasesTheFlashAndPollsDq7) {
  BoardConfig cfg;
  cfg.bootMode = 1;  // C31, flash at 0x400000
  Board b(cfg);
  const uint32_t base = 0x400000;
  std::vector<uint32_t> p;
  for (auto [reg, v] : {std::pair<unsigned, uint32_t>{AR0, base + 0x555},
                        {AR1, base + 0x2AA},
                        {AR2, base + 0x1234}}) {
    auto c = LoadConst(reg, v);
    p.insert(p.end(), c.begin(), c.end());
  }
  auto store = [&](unsigned ar, uint16_t v) {
    p.push_back(ImmOp(Op::LDI, R0, v));
    p.push_back(StiInd(R0, c3x::kModPlain, ar - AR0));
  };
  store(AR0, 0xAA);
  store(AR1, 0x55);
  store(AR0, 0xA0);
  store(AR2, 0x5A);
  p.insert(p.end(), {IndOp(Op::LDI, R1, c3x::kModPlain, 2), RegOp(Op::XOR, R1, R0),
                     ImmOp(Op::AND, R1, 0x80), Bcond(kNE, -4)});
  // Chip erase, then wait for DQ7 = 1.
  store(AR0, 0xAA);
  store(AR1, 0x55);
  store(AR0, 0x80);
  store(AR0, 0xAA);
  store(AR1, 0x55);
  store(AR0, 0x10);
  p.insert(p.end(), {IndOp(Op::LDI, R1, c3x::kModPlain, 2), ImmOp(Op::AND, R1, 0x80),
                     Bcond(kEQ, -3), ImmOp(Op::LDI, R7, 1)});
  p.push_back(Br(kRam + static_cast<uint32_t>(p.size())));
  b.LoadWords(kRam, p);
  b.StartAt(kRam);

  b.RunForNs(1'000'000);
  EXPECT_EQ(b.Flash().Peek(0x1234), 0x5A);  // programmed, then the erase began
  EXPECT_TRUE(b.Flash().Busy());
  EXPECT_EQ(b.CpuCore().Regs().r[7].man, 0u);
  b.RunForNs(9'000'000'000);
  EXPECT_EQ(b.CpuCore().Regs().r[7].man, 1u);
  EXPECT_EQ(b.Flash().Peek(0x1234), 0xFF);
  // Eight seconds of polling were skipped, not simulated word by word.
  EXPECT_LT(b.CpuCore().Instructions(), 1'000'000u);
}

}  // namespace
}  // namespace velmora::sim::test
