#include "sim/Board.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace velmora::sim {
namespace {

constexpr uint32_t kPageWords = Cpu::kPageWords;
constexpr uint32_t kPeripheralPage = 0x808000;
constexpr uint32_t kBootRomEnd = 0x001000;
constexpr uint32_t kC32VectorTable = 0x87FE00;
// Serial port as the boot loader leaves it: receiver running with 32-bit
// frames and its interrupt enabled, transmitter in reset.
constexpr uint32_t kSerialAfterBoot = 0x0A300000;
// Of a bus cycle of (1 + wait states) H1 periods, the DSP's address delay and
// data set-up leave the part this much less to answer a read; its strobe
// delays shorten a write pulse by this much.
constexpr uint64_t kReadMarginPs = 15'000;
constexpr uint64_t kWritePulseMarginPs = 10'000;
// The boot loader's own loop around each byte it reads from the flash.
constexpr uint64_t kBootCyclesPerByte = 4;

std::string Hex6(uint32_t v) {
  char b[16];
  std::snprintf(b, sizeof b, "0x%06X", v & 0xFFFFFF);
  return b;
}

}  // namespace

uint32_t DefaultCpuMhz(uint8_t dspType) {
  switch (dspType) {
    case 1:
      return 30;  // TMS320C32-60
    case 2:
      // A TMS320VC33 below its rated speed: with at most seven internal wait
      // states it reaches a 150-ns flash only at 40 MHz or less.
      return 40;
    default:
      return 25;  // TMS320C31-50
  }
}

std::vector<RamRegion> DefaultExternalRam(uint8_t dspType) {
  // The C32 board also has SRAM at 0x200000 (STRB0), where the C31 and C33
  // boards have theirs, so one program image can run on all three.
  if (dspType == 1) return {{0x880000, 0x20000}, {0x200000, 0x20000}};  // STRB0
  return {{0x200000, 0x20000}};                                         // primary bus
}

uint32_t BootBaseAddress(uint8_t dspType, uint8_t bootMode) {
  const bool c32 = dspType == 1;
  switch (bootMode) {
    case 1:
      return c32 ? 0x810000 : 0x400000;
    case 2:
      return c32 ? 0x900000 : 0xFFF000;
    default:
      return 0x1000;
  }
}

Board::Board(const BoardConfig& config, std::unique_ptr<FlashChip> flash)
    : config_(config),
      mhz_(config.cpuMhz ? config.cpuMhz : DefaultCpuMhz(config.dspType)),
      cpu_(*this),
      flash_(flash ? std::move(flash) : std::make_unique<FlashChip>(config.flashType)) {
  flash_->Configure(config_.flash);
  if (config_.externalRam.empty()) config_.externalRam = DefaultExternalRam(config_.dspType);
  BuildMemoryMap();
  ResetPeripherals();
  state_ = BoardState::InReset;
}

Board::~Board() = default;

uint32_t Board::BootBase() const {
  return BootBaseAddress(config_.dspType, config_.bootMode);
}

uint32_t Board::FlashOffset(uint32_t address) const {
  return address % flash_->Capacity();
}

void Board::BuildMemoryMap() {
  kinds_.assign(Cpu::kPageCount, RegionKind::None);
  auto markRam = [&](uint32_t start, uint32_t words, uint32_t* storage) {
    for (uint32_t off = 0; off < words; off += kPageWords) {
      const uint32_t page = (start + off) >> Cpu::kPageBits;
      if (page >= Cpu::kPageCount || kinds_[page] != RegionKind::None) continue;
      kinds_[page] = RegionKind::Ram;
      cpu_.MapRam(start + off, kPageWords, storage + off);
    }
  };
  for (uint32_t a = 0; a < kBootRomEnd; a += kPageWords)
    kinds_[a >> Cpu::kPageBits] = RegionKind::BootRom;
  kinds_[kPeripheralPage >> Cpu::kPageBits] = RegionKind::Peripheral;

  // The flash window comes before external RAM so that RAM never hides it.
  // The chip's address lines are the low address bits, so its byte offset is
  // the address modulo its size; the window is the decoded region.
  const uint32_t cap = flash_->Capacity();
  const bool c32 = config_.dspType == 1;
  switch (config_.bootMode) {
    case 1:
      flashStart_ = c32 ? 0x810000 : 0x400000;
      flashEnd_ = c32 ? 0x830000 : 0x400000 + cap;  // C32: the IOSTRB window
      break;
    case 2:
      flashStart_ = c32 ? 0x900000 : 0x1000000 - cap;
      flashEnd_ = c32 ? 0x900000 + cap : 0x1000000;
      break;
    default:
      flashStart_ = kBootRomEnd;  // the boot ROM hides the chip's first 4K
      flashEnd_ = cap;
      break;
  }
  for (uint32_t a = flashStart_; a < flashEnd_; a += kPageWords)
    kinds_[a >> Cpu::kPageBits] = RegionKind::Flash;

  switch (config_.dspType) {
    case 1:  // C32: two blocks of 256 words
      internalRam_.assign(512, 0);
      markRam(0x87FE00, 512, internalRam_.data());
      break;
    case 2:  // C33: blocks 0/1 at 0x809800 and 2/3 at 0x800000
      internalRam_.assign(0x800 + 0x8000, 0);
      markRam(0x809800, 0x800, internalRam_.data());
      markRam(0x800000, 0x8000, internalRam_.data() + 0x800);
      break;
    default:  // C31
      internalRam_.assign(0x800, 0);
      markRam(0x809800, 0x800, internalRam_.data());
      break;
  }
  externalRam_.clear();
  for (const RamRegion& r : config_.externalRam) {
    const uint32_t start = r.start & ~(kPageWords - 1) & Cpu::kAddressMask;
    const uint32_t words =
        std::min<uint32_t>((r.words + kPageWords - 1) & ~(kPageWords - 1), 0x1000000 - start);
    if (!words) continue;
    externalRam_.emplace_back(words, 0);
    markRam(start, words, externalRam_.back().data());
  }
}

Board::RegionKind Board::KindAt(uint32_t address) const {
  return kinds_[(address & Cpu::kAddressMask) >> Cpu::kPageBits];
}

void Board::ResetPeripherals() {
  for (Timer& t : timer_) t = Timer{};
  sgcr_ = sgcr::kXrdy | sgcr::kXsrEmpty;
  sPortX_ = sPortR_ = 0;
  sTimer_[0] = sTimer_[1] = sTimer_[2] = 0;
  dxr_ = drr_ = rsr_ = 0;
  xsr_ = 0xFFFFFFFF;
  xsrLoaded_ = false;
  std::fill(std::begin(dma_), std::end(dma_), 0);
  if (config_.dspType == 1) {
    busControl_[0] = 0x000000F8;
    busControl_[1] = 0x000F10F8;
    busControl_[2] = 0x000F10F8;
  } else {
    busControl_[0] = 0;
    busControl_[1] = 0x000010F8;
    busControl_[2] = 0;
  }
}

// --- reset and boot -------------------------------------------------------

void Board::SetResetAsserted(bool asserted) {
  if (asserted) {
    if (state_ == BoardState::InReset) return;
    state_ = BoardState::InReset;
    cpu_.Yield();
    ResetPeripherals();
    return;
  }
  if (state_ != BoardState::InReset) return;
  EnterBootLoader();
}

void Board::PowerUp() {
  SetResetAsserted(true);
  SetResetAsserted(false);
}

void Board::EnterBootLoader() {
  cpu_.Reset();
  state_ = BoardState::BootWait;
  haltMessage_.clear();
  bootDecisionNs_ = NowNs() + config_.serialBootWindowNs;
  bootField_ = config_.dspType == 1 ? BootField::Header : BootField::Size;
  headerLeft_ = config_.dspType == 1 ? 3 : 0;
  haveFirstBlock_ = false;
  blockLeft_ = 0;
}

bool Board::FlashHoldsProgram() const {
  const uint32_t off = BootOffset();
  uint32_t w = 0;
  for (int i = 3; i >= 0; --i) w = (w << 8) | flash_->Peek(off + i);
  return w == 8 && !flash_->Busy();
}

void Board::Halt(const std::string& message) {
  state_ = BoardState::Halted;
  haltMessage_ = message;
  cpu_.Yield();
}

std::string Board::HaltMessage() const {
  return state_ == BoardState::Halted ? haltMessage_ : std::string();
}

void Board::StartAt(uint32_t pc) {
  cpu_.Reset();
  cpu_.SetPc(pc);
  FinishBoot(pc);
}

void Board::FinishBoot(uint32_t entry) {
  cpu_.Reset();
  cpu_.SetPc(entry);
  if (config_.dspType == 1) {
    cpu_.SetVectorMode(VectorMode::VectorTablePointer);
    cpu_.Regs().ivtp = kC32VectorTable;
    cpu_.Regs().tvtp = kC32VectorTable;
  } else {
    cpu_.SetVectorMode(VectorMode::BootLoaderRam);
  }
  state_ = BoardState::Running;
  if (runFromNs_ < NowNs()) runFromNs_ = NowNs();
}

void Board::WriteBootWord(uint32_t address, uint32_t value) {
  cpu_.Write(address, value);
}

void Board::ApplyStrobeWord(uint32_t word) {
  // Low byte: which bus control register (0x60, 0x64, 0x68); the rest: its value.
  const uint32_t which = word & 0xFF;
  if (which == 0x60 || which == 0x64 || which == 0x68) IoWrite(0x808000 + which, word >> 8);
}

void Board::SerialBootWord(uint32_t w) {
  state_ = BoardState::SerialBoot;
  switch (bootField_) {
    case BootField::Header:
      IoWrite(headerLeft_ == 3 ? reg::kIostrb : headerLeft_ == 2 ? reg::kStrb0 : reg::kStrb1, w);
      if (--headerLeft_ == 0) bootField_ = BootField::Size;
      return;
    case BootField::Size:
      if (w == 0) {
        if (haveFirstBlock_) {
          runFromNs_ = NowNs();
          FinishBoot(firstBlock_);
          sgcr_ = (sgcr_ & (sgcr::kXrdy | sgcr::kXsrEmpty)) | kSerialAfterBoot;
        } else {
          // An empty table: nothing to start; keep listening.
          EnterBootLoader();
          bootDecisionNs_ = UINT64_MAX;
        }
        return;
      }
      if (w > 0x1000000) {
        Halt("Serial boot: block size " + std::to_string(w) + " is larger than the address space");
        return;
      }
      blockSize_ = blockLeft_ = w;
      bootField_ = BootField::Address;
      return;
    case BootField::Address:
      blockAddress_ = w & Cpu::kAddressMask;
      if (!haveFirstBlock_) {
        firstBlock_ = blockAddress_;
        haveFirstBlock_ = true;
      }
      bootField_ = config_.dspType == 1 ? BootField::Strobe : BootField::Data;
      return;
    case BootField::Strobe:
      ApplyStrobeWord(w);
      bootField_ = BootField::Data;
      return;
    case BootField::Data:
      WriteBootWord(blockAddress_, w);
      blockAddress_ = (blockAddress_ + 1) & Cpu::kAddressMask;
      if (--blockLeft_ == 0) bootField_ = BootField::Size;
      return;
  }
}

void Board::BootFromFlash() {
  // The table is read a byte per address from the boot base up, with the
  // wait states of the bus control values as they stand (the reset values,
  // then those of the table's header); it must stay inside the decoded window.
  const uint32_t start = BootBase();
  const uint32_t limit = flashEnd_;
  uint32_t pos = start;
  uint64_t at = NowNs();
  bool overrun = false;
  auto word = [&]() -> uint32_t {
    if (pos + 4 > limit) {
      overrun = true;
      return 0;
    }
    uint32_t w = 0;
    for (uint32_t i = 0; i < 4; ++i) {
      const uint32_t waits = FlashWaitStates(pos + i);
      w |= uint32_t{BootReadByte(pos + i, at)} << (8 * i);
      at += CyclesToNs(1 + waits + kBootCyclesPerByte);
    }
    pos += 4;
    return w;
  };
  if (word() != 8) return;
  if (config_.dspType == 1) {
    IoWrite(reg::kIostrb, word());
    IoWrite(reg::kStrb0, word());
    IoWrite(reg::kStrb1, word());
  } else {
    IoWrite(reg::kPrimaryBus, word());
  }
  bool first = true;
  uint32_t entry = 0;
  for (;;) {
    const uint32_t size = word();
    if (overrun) break;
    if (size == 0) break;
    uint32_t address = word() & Cpu::kAddressMask;
    if (config_.dspType == 1) ApplyStrobeWord(word());
    if (overrun) break;
    if (size > (limit - start) / 4) {
      overrun = true;
      break;
    }
    if (first) {
      entry = address;
      first = false;
    }
    for (uint32_t i = 0; i < size && !overrun; ++i) {
      const uint32_t v = word();
      if (!overrun) WriteBootWord(address, v);
      address = (address + 1) & Cpu::kAddressMask;
    }
    if (overrun) break;
  }
  if (overrun) {
    Halt("Boot from flash: the boot table at " + Hex6(BootBase()) +
         " runs past the end of the flash");
    return;
  }
  if (first) return;  // no block: nothing to run
  runFromNs_ = at;
  FinishBoot(entry);
}

// --- time and events ------------------------------------------------------

uint64_t Board::NextEventNs() {
  uint64_t next = UINT64_MAX;
  if (!frames_.empty()) next = std::min(next, frames_.front().atNs);
  if (state_ == BoardState::BootWait && bootDecisionNs_ != UINT64_MAX)
    next = std::min(next, bootDecisionNs_);
  if (state_ == BoardState::Running && runFromNs_ > NowNs()) next = std::min(next, runFromNs_);
  if (state_ == BoardState::Running || state_ == BoardState::Halted) {
    for (const Timer& t : timer_) {
      const uint64_t c = TimerNextCycle(t);
      if (c != UINT64_MAX) next = std::min(next, CyclesToNs(c));
    }
  }
  next = std::min(next, flash_->NextEventNs());
  return next;
}

void Board::ProcessEvents() {
  const uint64_t now = NowNs();
  flash_->Update(now);
  if (state_ == BoardState::Running || state_ == BoardState::Halted) {
    TimerSync(timer_[0], irq::kTint0);
    TimerSync(timer_[1], irq::kTint1);
  }
  while (!frames_.empty() && frames_.front().atNs <= now) {
    Frame f = std::move(frames_.front());
    frames_.pop_front();
    const uint32_t out = SerialExchange(f.word);
    if (f.done) f.done(out);
  }
  if (state_ == BoardState::BootWait && now >= bootDecisionNs_) {
    bootDecisionNs_ = UINT64_MAX;
    if (FlashHoldsProgram()) BootFromFlash();
  }
}

void Board::RunUntilNs(uint64_t ns) {
  const uint64_t target = NsToCycles(ns);
  while (cpu_.Cycle() < target) {
    ProcessEvents();
    const uint64_t nowCycle = cpu_.Cycle();
    const uint64_t eventNs = NextEventNs();
    uint64_t next = eventNs == UINT64_MAX ? target : std::min(target, NsToCycles(eventNs));
    if (next <= nowCycle) next = nowCycle + 1;
    const bool cpuRuns = state_ == BoardState::Running && NowNs() >= runFromNs_;
    if (cpuRuns) {
      cpu_.Run(next);
      if (cpu_.Stopped()) Halt(cpu_.StopMessage());
    } else {
      cpu_.SetCycle(next);
    }
  }
  ProcessEvents();
}

void Board::QueueSerialFrame(uint64_t atNs, uint32_t toTarget, std::function<void(uint32_t)> done) {
  // Frames come from one wire, in order.
  if (!frames_.empty() && atNs < frames_.back().atNs) atNs = frames_.back().atNs;
  frames_.push_back(Frame{atNs, toTarget, std::move(done)});
  cpu_.Yield();
}

// --- serial port ------------------------------------------------------------

uint32_t Board::SerialExchange(uint32_t toTarget) {
  ++framesExchanged_;
  switch (state_) {
    case BoardState::InReset:
      return 0xFFFFFFFF;
    case BoardState::BootWait:
    case BoardState::SerialBoot:
      SerialBootWord(toTarget);
      return 0xFFFFFFFF;  // the boot loader leaves the transmitter in reset
    default:
      break;
  }
  uint32_t raised = 0;
  // Transmit: what the shift register holds goes out, MSB first.
  uint32_t out = 0xFFFFFFFF;
  if ((sgcr_ & sgcr::kXreset) && xsrLoaded_) {
    const uint32_t bits = FrameBits((sgcr_ >> 18) & 3);
    out = bits == 32 ? xsr_ : (xsr_ << (32 - bits)) | ((1u << (32 - bits)) - 1);
    sgcr_ |= sgcr::kXsrEmpty;
    if (!(sgcr_ & sgcr::kXrdy)) {  // the next word waits in DXR
      xsr_ = dxr_;
      sgcr_ = (sgcr_ | sgcr::kXrdy) & ~sgcr::kXsrEmpty;
      if (sgcr_ & sgcr::kXint) raised |= irq::kXint0;
    }
  }
  // Receive.
  if (sgcr_ & sgcr::kRreset) {
    const uint32_t bits = FrameBits((sgcr_ >> 20) & 3);
    const uint32_t w = bits == 32 ? toTarget : toTarget >> (32 - bits);
    if (!(sgcr_ & sgcr::kRrdy)) {
      drr_ = w;
      sgcr_ |= sgcr::kRrdy;
      if (sgcr_ & sgcr::kRint) raised |= irq::kRint0;
    } else if (!(sgcr_ & sgcr::kRsrFull)) {
      rsr_ = w;
      sgcr_ |= sgcr::kRsrFull;
    }  // else: overrun, the word is lost
  }
  if (raised) cpu_.RaiseInterrupt(raised);
  return out;
}

uint32_t Board::SerialRead(uint32_t address) {
  switch (address) {
    case reg::kSerialControl:
      return sgcr_;
    case reg::kSerialXPort:
      return sPortX_;
    case reg::kSerialRPort:
      return sPortR_;
    case reg::kSerialTimerControl:
      return sTimer_[0];
    case reg::kSerialTimerCounter:
      return sTimer_[1];
    case reg::kSerialTimerPeriod:
      return sTimer_[2];
    case reg::kSerialDxr:
      return dxr_;
    case reg::kSerialDrr: {
      const uint32_t v = drr_;
      sgcr_ &= ~sgcr::kRrdy;
      if (sgcr_ & sgcr::kRsrFull) {
        drr_ = rsr_;
        sgcr_ = (sgcr_ & ~sgcr::kRsrFull) | sgcr::kRrdy;
        if (sgcr_ & sgcr::kRint) cpu_.RaiseInterrupt(irq::kRint0);
      }
      return v;
    }
    default:
      return 0;
  }
}

void Board::SerialWrite(uint32_t address, uint32_t value) {
  switch (address) {
    case reg::kSerialControl: {
      constexpr uint32_t kStatus = sgcr::kRrdy | sgcr::kXrdy | sgcr::kXsrEmpty | sgcr::kRsrFull;
      const uint32_t old = sgcr_;
      sgcr_ = (sgcr_ & kStatus) | (value & ~kStatus & 0x0FFFFFFF);
      if (!(sgcr_ & sgcr::kXreset)) {
        sgcr_ |= sgcr::kXrdy | sgcr::kXsrEmpty;
        xsrLoaded_ = false;
      } else if (!(old & sgcr::kXreset) && !(sgcr_ & sgcr::kXrdy)) {
        xsr_ = dxr_;
        xsrLoaded_ = true;
        sgcr_ = (sgcr_ | sgcr::kXrdy) & ~sgcr::kXsrEmpty;
      }
      if (!(sgcr_ & sgcr::kRreset)) sgcr_ &= ~(sgcr::kRrdy | sgcr::kRsrFull);
      return;
    }
    case reg::kSerialXPort:
      sPortX_ = value;
      return;
    case reg::kSerialRPort:
      sPortR_ = value;
      return;
    case reg::kSerialTimerControl:
      sTimer_[0] = value;
      return;
    case reg::kSerialTimerCounter:
      sTimer_[1] = value;
      return;
    case reg::kSerialTimerPeriod:
      sTimer_[2] = value;
      return;
    case reg::kSerialDrr:
      drr_ = value;
      return;
    case reg::kSerialDxr:
      dxr_ = value;
      if (!(sgcr_ & sgcr::kXreset)) {
        sgcr_ &= ~sgcr::kXrdy;  // held until the transmitter leaves reset
        return;
      }
      if (sgcr_ & sgcr::kXsrEmpty) {
        // The shift register is free: the word moves on at once.
        xsr_ = value;
        xsrLoaded_ = true;
        sgcr_ = (sgcr_ | sgcr::kXrdy) & ~sgcr::kXsrEmpty;
        if (sgcr_ & sgcr::kXint) cpu_.RaiseInterrupt(irq::kXint0);
      } else {
        sgcr_ &= ~sgcr::kXrdy;
      }
      return;
    default:
      return;
  }
}

// --- timers -----------------------------------------------------------------

void Board::TimerSync(Timer& t, uint32_t ifBit) {
  const uint64_t now = cpu_.Cycle();
  if (!t.Counting()) {
    t.baseCycle = now;
    return;
  }
  if (now <= t.baseCycle) return;
  const uint64_t ticks = (now - t.baseCycle) / 2;  // the timer counts at H1/2
  if (!ticks) return;
  t.baseCycle += ticks * 2;
  const uint64_t period = t.period ? t.period : (uint64_t{1} << 32);
  uint64_t c = t.counter;
  // Distance to the next match (the counter wraps at 2^32 when above period).
  const uint64_t dist = c < period ? period - c : (uint64_t{1} << 32) - c + period;
  if (ticks < dist) {
    t.counter = static_cast<uint32_t>(c + ticks);
    return;
  }
  const uint64_t rest = ticks - dist;
  const uint64_t matches = 1 + rest / period;
  t.counter = static_cast<uint32_t>(rest % period);
  if ((t.control & 0x100) && (matches & 1)) t.control ^= 0x800;  // clock mode: TSTAT toggles
  cpu_.RaiseInterrupt(ifBit);
}

uint64_t Board::TimerNextCycle(const Timer& t) const {
  if (!t.Counting()) return UINT64_MAX;
  const uint64_t period = t.period ? t.period : (uint64_t{1} << 32);
  const uint64_t c = t.counter;
  const uint64_t dist = c < period ? period - c : (uint64_t{1} << 32) - c + period;
  return t.baseCycle + dist * 2;
}

uint32_t Board::TimerRead(Timer& t, uint32_t which, uint32_t ifBit) {
  TimerSync(t, ifBit);
  switch (which) {
    case 0:
      return t.control & ~0x40u;  // GO reads as 0
    case 4:
      if (t.Counting()) cpu_.NoteVolatileRead();
      return t.counter;
    case 8:
      return t.period;
    default:
      return 0;
  }
}

void Board::TimerWrite(Timer& t, uint32_t which, uint32_t value, uint32_t ifBit) {
  TimerSync(t, ifBit);
  const uint64_t now = cpu_.Cycle();
  switch (which) {
    case 0: {
      const uint32_t tstat = t.control & 0x800;
      t.control = (value & 0x7FF & ~0x40u) | tstat;
      if ((value & 0x40) && (value & 0x80)) t.counter = 0;  // GO: restart from 0
      t.baseCycle = now;
      break;
    }
    case 4:
      t.counter = value;
      t.baseCycle = now;
      break;
    case 8:
      t.period = value;
      t.baseCycle = now;
      break;
    default:
      break;
  }
  cpu_.Yield();  // the next timer event may have moved
}

// --- flash on the external bus -------------------------------------------

Board::FlashAccess Board::FlashBusShape(uint32_t address) const {
  // Default: the byte-wide chip answers on D0-D7 of a wider bus, one byte per
  // word address (C31, C33, the C32's IOSTRB and 16/32-bit STRBx windows).
  FlashAccess a;
  if (config_.dspType != 1) return a;
  if (address >= 0x810000 && address < 0x830000) return a;  // IOSTRB: always 32-bit wide
  const uint32_t control = address >= 0x900000 ? busControl_[2] : busControl_[1];
  if (((control >> 18) & 3) != 0) return a;
  // 8-bit physical memory: the data-type size decides how many bytes a word takes.
  const uint32_t size = (control >> 16) & 3;
  a.bytes = size == 0 ? 1 : size == 1 ? 2 : 4;
  a.eightBitMemory = true;
  a.signExtend = (control & (1u << 20)) && a.bytes < 4;
  return a;
}

uint32_t Board::FlashWaitStates(uint32_t address) const {
  uint32_t control = busControl_[1];  // C31, C33: the primary bus
  if (config_.dspType == 1) {
    if (address >= 0x810000 && address < 0x830000)
      control = busControl_[0];  // IOSTRB
    else if (address >= 0x900000)
      control = busControl_[2];  // STRB1
  }
  const uint32_t sww = (control >> 3) & 3, wtcnt = (control >> 5) & 7;
  // SWW 01 counts WTCNT; 11 waits for both the count and RDY; 00 and 10 end
  // with RDY, which this board holds active.
  return (sww == 1 || sww == 3) ? wtcnt : 0;
}

bool Board::FlashReadSettles(uint32_t waitStates) const {
  const uint64_t windowPs = uint64_t{1 + waitStates} * 1'000'000 / mhz_;
  return windowPs >= kReadMarginPs + uint64_t{flash_->AccessNs()} * 1000;
}

bool Board::FlashWriteLatches(uint32_t waitStates) const {
  const uint64_t pulsePs = uint64_t{1 + waitStates} * 1'000'000 / mhz_;
  return pulsePs >= kWritePulseMarginPs + uint64_t{flash_->WritePulseNs()} * 1000;
}

void Board::TraceFlashBus(std::unique_ptr<std::ostream> out) {
  trace_ = std::move(out);
  if (trace_) *trace_ << "ns,op,address,data\n";
}

bool Board::TraceFlashBus(const std::string& path, std::string* error) {
  auto out = std::make_unique<std::ofstream>(path, std::ios::trunc);
  if (!*out) {
    if (error) *error = "cannot write the flash bus trace " + path;
    return false;
  }
  TraceFlashBus(std::move(out));
  return true;
}

void Board::Trace(uint64_t ns, char op, uint32_t address, uint8_t data) {
  if (!trace_) return;
  char line[64];
  std::snprintf(line, sizeof line, "%llu,%c,0x%06X,0x%02X\n", static_cast<unsigned long long>(ns),
                op, address & Cpu::kAddressMask, data);
  *trace_ << line;
}

uint8_t Board::BootReadByte(uint32_t address, uint64_t atNs) {
  const uint8_t b = flash_->BusRead(FlashOffset(address), atNs);
  Trace(atNs, 'R', address, b);
  // Latched before the part drove its data: every bit is wrong.
  return FlashReadSettles(FlashWaitStates(address)) ? b : static_cast<uint8_t>(~b);
}

uint32_t Board::FlashRead(uint32_t address) {
  const FlashAccess a = FlashBusShape(address);
  const uint32_t offset = address * a.bytes;
  const uint32_t waits = FlashWaitStates(address);
  const bool settles = FlashReadSettles(waits);
  uint64_t now = NowNs();
  uint32_t v = 0;
  for (uint32_t i = 0; i < a.bytes; ++i) {
    uint8_t b = flash_->BusRead(offset + i, now);
    Trace(now, 'R', address, b);
    if (!settles) b = static_cast<uint8_t>(~b);  // latched before the part drove its data
    v |= uint32_t{b} << (8 * i);
    now += CyclesToNs(1 + waits);
  }
  // The instruction's own cycle is counted by the CPU; the bus adds the rest.
  cpu_.SetCycle(cpu_.Cycle() + uint64_t{a.bytes} * (1 + waits) - 1);
  if (a.bytes == 4) return v;
  const uint32_t bits = 8 * a.bytes;
  if (!a.eightBitMemory) return v | (0xFFFFFFFFu << bits);  // undriven data lines read high
  if (a.signExtend && (v & (1u << (bits - 1)))) return v | (0xFFFFFFFFu << bits);
  return v;
}

void Board::FlashWrite(uint32_t address, uint32_t value) {
  const FlashAccess a = FlashBusShape(address);
  const uint32_t offset = address * a.bytes;
  const uint32_t waits = FlashWaitStates(address);
  const bool latches = FlashWriteLatches(waits);
  uint64_t now = NowNs();
  for (uint32_t i = 0; i < a.bytes; ++i) {
    const uint8_t b = static_cast<uint8_t>(value >> (8 * i));
    Trace(now, 'W', address, b);
    if (latches) flash_->BusWrite(offset + i, b, now);  // too short a pulse is lost
    now += CyclesToNs(1 + waits);
  }
  cpu_.SetCycle(cpu_.Cycle() + uint64_t{a.bytes} * (1 + waits) - 1);
  cpu_.Yield();  // the chip may have started an operation
}
// --- IoBus --------------------------------------------------------------------

uint32_t Board::IoRead(uint32_t address) {
  switch (KindAt(address)) {
    case RegionKind::Flash:
      return FlashRead(address);
    case RegionKind::Peripheral:
      if (address >= reg::kTimer0Control && address < reg::kTimer0Control + 0x10)
        return TimerRead(timer_[0], address - reg::kTimer0Control, irq::kTint0);
      if (address >= reg::kTimer1Control && address < reg::kTimer1Control + 0x10)
        return TimerRead(timer_[1], address - reg::kTimer1Control, irq::kTint1);
      if (address >= reg::kSerialControl && address < reg::kSerialControl + 0x10)
        return SerialRead(address);
      if (address < kPeripheralPage + 0x10) return dma_[address & 0xF];
      if (address == reg::kIostrb || address == reg::kPrimaryBus || address == reg::kStrb1)
        return busControl_[(address - reg::kIostrb) / 4];
      return 0;
    default:
      return 0;
  }
}

void Board::IoWrite(uint32_t address, uint32_t value) {
  switch (KindAt(address)) {
    case RegionKind::Flash:
      FlashWrite(address, value);
      return;
    case RegionKind::Peripheral:
      if (address >= reg::kTimer0Control && address < reg::kTimer0Control + 0x10) {
        TimerWrite(timer_[0], address - reg::kTimer0Control, value, irq::kTint0);
      } else if (address >= reg::kTimer1Control && address < reg::kTimer1Control + 0x10) {
        TimerWrite(timer_[1], address - reg::kTimer1Control, value, irq::kTint1);
      } else if (address >= reg::kSerialControl && address < reg::kSerialControl + 0x10) {
        SerialWrite(address, value);
        cpu_.Yield();
      } else if (address < kPeripheralPage + 0x10) {
        dma_[address & 0xF] = value;
        if ((address & 0xF) == 0 && (value & 3) == 3) {
          cpu_.Stop("A DMA channel was started at " + Hex6(cpu_.Pc()) +
                    ": DMA transfers are not modelled; the target is stopped");
        }
      } else if (address == reg::kIostrb || address == reg::kPrimaryBus || address == reg::kStrb1) {
        busControl_[(address - reg::kIostrb) / 4] = value;
      }
      return;
    default:
      return;  // boot ROM and unmapped addresses ignore writes
  }
}

bool Board::IoExecutable(uint32_t address) {
  return KindAt(address) == RegionKind::Flash;
}

uint32_t Board::BusControl(uint32_t address) const {
  if (address == reg::kIostrb || address == reg::kPrimaryBus || address == reg::kStrb1)
    return busControl_[(address - reg::kIostrb) / 4];
  return 0;
}

// --- debug access -------------------------------------------------------------

bool Board::ReadWord(uint32_t address, uint32_t* value) {
  address &= Cpu::kAddressMask;
  switch (KindAt(address)) {
    case RegionKind::Ram:
      return cpu_.Peek(address, value);
    case RegionKind::Peripheral:
      if (address == reg::kSerialDrr) {
        *value = drr_;
        return true;
      }
      *value = IoRead(address);
      return true;
    case RegionKind::Flash: {
      const FlashAccess a = FlashBusShape(address);
      const uint32_t offset = address * a.bytes;
      uint32_t v = 0;
      for (uint32_t i = 0; i < a.bytes; ++i) v |= uint32_t{flash_->Peek(offset + i)} << (8 * i);
      *value = v;
      return true;
    }
    default:
      return false;
  }
}

bool Board::WriteWord(uint32_t address, uint32_t value) {
  address &= Cpu::kAddressMask;
  switch (KindAt(address)) {
    case RegionKind::Ram:
      return cpu_.Poke(address, value);
    case RegionKind::Peripheral:
      IoWrite(address, value);
      return true;
    default:
      return false;
  }
}

void Board::WriteFlashImage(const std::vector<uint32_t>& words) {
  std::vector<uint8_t> bytes;
  bytes.reserve(words.size() * 4);
  for (uint32_t w : words)
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(w >> (8 * i)));
  flash_->WriteContents(BootOffset(), bytes.data(), bytes.size());
}

uint32_t Board::FlashImageWord(uint32_t index) const {
  uint32_t w = 0;
  for (int i = 3; i >= 0; --i) w = (w << 8) | flash_->Peek(BootOffset() + 4 * index + i);
  return w;
}

bool Board::LoadWords(uint32_t address, const std::vector<uint32_t>& words) {
  bool ok = true;
  for (size_t i = 0; i < words.size(); ++i)
    ok = WriteWord(static_cast<uint32_t>(address + i), words[i]) && ok;
  return ok;
}

}  // namespace velmora::sim
