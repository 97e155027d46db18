// Memory maps, the serial port and the boot loader of the three DSPs.
#include <gtest/gtest.h>

#include <sstream>

#include "SimTestSupport.h"
#include "config/AppSettings.h"

namespace velmora::sim::test {
namespace {

std::unique_ptr<Board> MakeBoard(uint8_t dsp, uint8_t flash = 1, uint8_t boot = 0, uint32_t mhz = 0,
                                 uint32_t speedNs = kSlowestFlashSpeedNs) {
  BoardConfig cfg;
  cfg.dspType = dsp;
  cfg.flashType = flash;
  cfg.bootMode = boot;
  cfg.cpuMhz = mhz;
  cfg.flash.speedNs = speedNs;
  return std::make_unique<Board>(cfg);
}

bool IsRam(Board& b, uint32_t address) {
  uint32_t old = 0;
  if (!b.ReadWord(address, &old)) return false;
  return b.WriteWord(address, old ^ 0x5A5A5A5A) && b.ReadWord(address, &old) &&
         b.WriteWord(address, old ^ 0x5A5A5A5A);
}

TEST(BoardMemoryMap, EachDspHasItsOwnInternalRamAndBusRegisters) {
  const struct {
    uint8_t dsp;
    uint32_t address;
    bool ram;
  } cases[] = {{0, 0x809800, true},  {0, 0x809FFF, true},  {0, 0x800000, false},
               {0, 0x87FE00, false}, {0, 0x200000, true},  {1, 0x87FE00, true},
               {1, 0x87FFFF, true},  {1, 0x87FDFF, false}, {1, 0x809800, false},
               {1, 0x880000, true},  {1, 0x200000, true},  {2, 0x800000, true},
               {2, 0x807FFF, true},  {2, 0x809800, true},  {2, 0x808100, false}};
  for (const auto& c : cases)
    EXPECT_EQ(IsRam(*MakeBoard(c.dsp), c.address), c.ram) << int(c.dsp) << " " << c.address;
  EXPECT_EQ(MakeBoard(0)->BusControl(reg::kPrimaryBus), 0x10F8u);
  auto c32 = MakeBoard(1);
  EXPECT_EQ(c32->BusControl(reg::kIostrb), 0xF8u);
  EXPECT_EQ(c32->BusControl(reg::kStrb0), 0xF10F8u);
  EXPECT_EQ(c32->BusControl(reg::kStrb1), 0xF10F8u);
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

TEST(BoardFlashBus, WaitStatesFromSwwAndWtcntDecideWhetherReadsSettleAndWritesLatch) {
  // A C31 at 25 MHz (40 ns a cycle) with a 150-ns AM29F040 (tWP 50 ns). RDY
  // is tied active: SWW 00 and 10 end every cycle at once.
  const struct {
    uint32_t control;
    uint32_t waits;
    bool readSettles, writeLatches;
  } cases[] = {{0x10F8, 7, true, true},   {0x10E8, 7, true, true},  {0x10F0, 0, false, false},
               {0x10E0, 0, false, false}, {0x1038, 1, false, true}, {0x1078, 3, false, true},
               {0x1098, 4, true, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.control);
    auto b = MakeBoard(0);
    b->IoWrite(reg::kPrimaryBus, c.control);
    EXPECT_EQ(b->FlashWaitStates(0x1000), c.waits);
    const uint8_t byte = 0x5A;
    b->Flash().WriteContents(0x1000, &byte, 1);
    const uint64_t before = b->NowCycles();
    EXPECT_EQ(b->IoRead(0x1000) & 0xFF, c.readSettles ? 0x5Au : 0xA5u);  // every bit wrong
    EXPECT_EQ(b->NowCycles() - before, c.waits);                         // the bus holds the CPU
    for (auto [a, v] :
         {std::pair{0x5555u, 0xAAu}, {0x2AAAu, 0x55u}, {0x5555u, 0xA0u}, {0x1001u, 0x12u}})
      b->IoWrite(a, v);
    b->RunForNs(100'000);
    EXPECT_EQ(b->Flash().Peek(0x1001), c.writeLatches ? 0x12 : 0xFF);
  }
  // The TMS320C32 takes the wait states of the strobe whose window is used.
  auto c32 = MakeBoard(1, 1, 1);
  c32->IoWrite(reg::kIostrb, 0x38);
  c32->IoWrite(reg::kStrb1, 0x0F08F8);
  EXPECT_EQ(c32->FlashWaitStates(0x810000), 1u);
  EXPECT_EQ(c32->FlashWaitStates(0x900000), 7u);
  EXPECT_EQ(c32->FlashWaitStates(0x1000), 7u);  // STRB0 at its reset value
}

TEST(BoardFlashBus, StoredDefaultsMeetTheSlowestGradeAtEachDspsFastestClock) {
  // TMS320C31-80 and TMS320C32-60 read a 150-ns part with the defaults; a
  // TMS320VC33-150 cannot with any value (seven wait states are the most)
  // and reaches the 90-ns grade only, which is why the virtual C33 board runs
  // at 40 MHz.
  const struct {
    uint8_t dsp;
    uint32_t mhz, speedNs;
    bool works;
  } cases[] = {{0, 40, 150, true}, {1, 30, 150, true},  {2, 75, 150, false},
               {2, 75, 90, true},  {2, 60, 120, false}, {2, 0, 150, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.dsp) + " " + std::to_string(c.mhz) + " MHz " +
                 std::to_string(c.speedNs) + " ns");
    for (uint8_t boot = 0; boot < 3; ++boot) {
      auto b = MakeBoard(c.dsp, kAM29F010, boot, c.mhz, c.speedNs);
      if (c.dsp == kTMS320C32) {
        b->IoWrite(reg::kIostrb, kDefaultIostrb);
        b->IoWrite(reg::kStrb0, kDefaultStrb0);
        b->IoWrite(reg::kStrb1, kDefaultStrb1);
      } else {
        b->IoWrite(reg::kPrimaryBus, kDefaultPrimaryBus);
      }
      const uint32_t waits = b->FlashWaitStates(BootBaseAddress(c.dsp, boot));
      EXPECT_EQ(b->FlashReadSettles(waits) && b->FlashWriteLatches(waits), c.works) << int(boot);
    }
  }
}

TEST(BoardFlashBus, TheTraceListsEveryCycleWithTheByteOnTheDataLines) {
  auto b = MakeBoard(2, kAT29C010A, 1);  // C33, Boot2 at 0x400000
  auto out = std::make_unique<std::ostringstream>();
  std::ostringstream* text = out.get();
  b->TraceFlashBus(std::move(out));
  b->IoWrite(0x400010, 0xFFFFFF34);  // D0-D7 reach the chip
  const uint64_t readNs = b->NowNs();
  b->IoRead(0x400011);
  EXPECT_EQ(text->str(), "ns,op,address,data\n0,W,0x400010,0x34\n" + std::to_string(readNs) +
                             ",R,0x400011,0xFF\n");
}

// Serial boot of the demo on each DSP is an end-to-end run; here the details.
TEST(BoardBootLoader, C32StreamCarriesStrobeWordsThatProgramTheBus) {
  auto b = MakeBoard(1);
  b->PowerUp();
  // IOSTRB, STRB0, STRB1; a block in internal RAM (strobe word 0); a block
  // under STRB0 whose strobe word sets a new STRB0 value.
  const uint32_t strb0Block = (0x0F0000u << 8) + 0x64;
  const std::vector<uint32_t> stream = {
      0x58,         0x0F0858, 0x0A0858, 2,          0x87FE10, 0, ImmOp(Op::LDI, R3, 77),
      Br(0x87FE11), 1,        0x880000, strb0Block, 0x1234,   0};
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
  for (auto [dsp, boot] : {std::pair{0, 0}, {0, 1}, {0, 2}, {2, 1}, {1, 2}, {1, 1}}) {
    SCOPED_TRACE(dsp * 10 + boot);
    auto b = MakeBoard(static_cast<uint8_t>(dsp), 1, static_cast<uint8_t>(boot));
    const uint32_t ram = dsp == 1 ? 0x87FE10 : 0x809C00;
    PutImage(*b, BootTable(static_cast<uint8_t>(dsp), ram, {ImmOp(Op::LDI, R1, 99), Br(ram + 1)}));
    ASSERT_TRUE(b->FlashHoldsProgram());
    b->PowerUp();
    b->RunForNs(10'000'000);
    EXPECT_EQ(b->State(), BoardState::BootWait);  // still inside the serial window
    b->RunForNs(20'000'000);
    ASSERT_EQ(b->State(), BoardState::Running) << b->HaltMessage();
    EXPECT_EQ(b->CpuCore().Regs().r[1].man, 99u);
    EXPECT_EQ(dsp == 1 ? b->BusControl(reg::kStrb0) : b->BusControl(reg::kPrimaryBus),
              dsp == 1 ? 0x0F08F8u : 0x8F8u);
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
  CpuFixture f(EchoProgram(kRam));
  f.board->RunForNs(10'000);
  EXPECT_EQ(f.board->SerialExchange(100), 0xFFFFFFFFu);  // nothing loaded yet
  f.board->RunForNs(10'000);
  EXPECT_EQ(f.board->SerialExchange(200), 101u);  // answer to the previous word
  f.board->RunForNs(10'000);
  EXPECT_EQ(f.board->SerialExchange(300), 201u);
  // The target has had no time to answer 300: the shift register sends its
  // last word again.
  EXPECT_EQ(f.board->SerialExchange(0), 201u);

  // A receiver that is not read keeps two words, DRR and the shift register
  // (RSRFULL), and loses the third.
  CpuFixture g({Br(kRam)});
  g.board->IoWrite(reg::kSerialControl, 0x0C3C0000);
  for (uint32_t w : {11u, 22u, 33u}) g.board->SerialExchange(w);
  EXPECT_EQ(g.board->IoRead(reg::kSerialControl) & (sgcr::kRrdy | sgcr::kRsrFull),
            sgcr::kRrdy | sgcr::kRsrFull);
  EXPECT_EQ(g.board->IoRead(reg::kSerialDrr), 11u);
  EXPECT_EQ(g.board->IoRead(reg::kSerialControl) & (sgcr::kRrdy | sgcr::kRsrFull), sgcr::kRrdy);
  EXPECT_EQ(g.board->IoRead(reg::kSerialDrr), 22u);
  EXPECT_EQ(g.board->IoRead(reg::kSerialControl) & sgcr::kRrdy, 0u);

  // Held in reset, the target takes nothing.
  f.board->SetResetAsserted(true);
  EXPECT_EQ(f.board->SerialExchange(5), 0xFFFFFFFFu);
  EXPECT_EQ(f.board->State(), BoardState::InReset);
}

}  // namespace
}  // namespace velmora::sim::test
