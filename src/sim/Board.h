// The virtual board: a TMS320C31, C32 or C33 with its memory map, peripherals
// (serial port 0, two timers, bus control registers), external RAM, the boot
// flash at the boot region base, and the on-chip boot loader modelled by its
// behaviour. Board time is counted in CPU cycles; the outside world (the pod)
// talks to it in nanoseconds.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "sim/Cpu.h"
#include "sim/FlashChip.h"

namespace velmora::sim {

struct RamRegion {
  uint32_t start = 0;  // word address, multiple of 256
  uint32_t words = 0;  // multiple of 256
};

struct BoardConfig {
  uint8_t dspType = 0;    // 0 TMS320C31, 1 TMS320C32, 2 TMS320C33
  uint8_t flashType = 1;  // 0 AM29F010 ... 5 AT29C040A
  FlashOptions flash;     // revision and speed grade of the part
  uint8_t bootMode = 0;   // 0 Boot1, 1 Boot2, 2 Boot3: ROM boot source and flash position
  uint32_t cpuMhz = 0;    // instruction rate; 0: the DSP type's default
  // External RAM; empty: the DSP type's default (see README).
  std::vector<RamRegion> externalRam;
  bool resetActiveHigh = false;  // polarity the board's reset input expects
  // How long after reset the boot loader waits for serial data before it
  // boots from the flash.
  uint64_t serialBootWindowNs = 20'000'000;
};

// Register addresses of the peripheral bus.
namespace reg {
inline constexpr uint32_t kDmaControl = 0x808000;
inline constexpr uint32_t kTimer0Control = 0x808020;
inline constexpr uint32_t kTimer0Counter = 0x808024;
inline constexpr uint32_t kTimer0Period = 0x808028;
inline constexpr uint32_t kTimer1Control = 0x808030;
inline constexpr uint32_t kTimer1Counter = 0x808034;
inline constexpr uint32_t kTimer1Period = 0x808038;
inline constexpr uint32_t kSerialControl = 0x808040;
inline constexpr uint32_t kSerialXPort = 0x808042;
inline constexpr uint32_t kSerialRPort = 0x808043;
inline constexpr uint32_t kSerialTimerControl = 0x808044;
inline constexpr uint32_t kSerialTimerCounter = 0x808045;
inline constexpr uint32_t kSerialTimerPeriod = 0x808046;
inline constexpr uint32_t kSerialDxr = 0x808048;
inline constexpr uint32_t kSerialDrr = 0x80804C;
inline constexpr uint32_t kIostrb = 0x808060;      // C32 (C31/C33: reserved)
inline constexpr uint32_t kPrimaryBus = 0x808064;  // C31/C33; STRB0 on the C32
inline constexpr uint32_t kStrb0 = 0x808064;
inline constexpr uint32_t kStrb1 = 0x808068;  // C32
}  // namespace reg

// Serial port 0 global control bits.
namespace sgcr {
inline constexpr uint32_t kRrdy = 1u << 0;
inline constexpr uint32_t kXrdy = 1u << 1;
inline constexpr uint32_t kXsrEmpty = 1u << 3;
inline constexpr uint32_t kRsrFull = 1u << 4;
inline constexpr uint32_t kXint = 1u << 23;
inline constexpr uint32_t kRint = 1u << 25;
inline constexpr uint32_t kXreset = 1u << 26;  // 1: transmitter running
inline constexpr uint32_t kRreset = 1u << 27;  // 1: receiver running
}  // namespace sgcr

// IF bits.
namespace irq {
inline constexpr uint32_t kInt0 = 1u << 0;
inline constexpr uint32_t kXint0 = 1u << 4;
inline constexpr uint32_t kRint0 = 1u << 5;
inline constexpr uint32_t kTint0 = 1u << 8;
inline constexpr uint32_t kTint1 = 1u << 9;
}  // namespace irq

enum class BoardState : uint8_t {
  InReset,     // the reset input is asserted
  BootWait,    // boot loader: waiting for serial data (or the flash boot)
  SerialBoot,  // boot loader: taking the serial-boot stream
  Running,     // the CPU runs the loaded program
  Halted,      // stopped with a message (see HaltMessage) until the next reset
};

class Board : public IoBus {
 public:
  explicit Board(const BoardConfig& config, std::unique_ptr<FlashChip> flash = nullptr);
  ~Board() override;
  Board(const Board&) = delete;
  Board& operator=(const Board&) = delete;

  const BoardConfig& Config() const { return config_; }
  uint32_t CpuMhz() const { return mhz_; }
  // Where the boot loader looks for a program in flash, and the flash window.
  uint32_t BootBase() const;
  uint32_t FlashWindowStart() const { return flashStart_; }
  // The chip's address lines are the low address bits: a byte-wide access at
  // `address` reaches chip offset address mod capacity.
  uint32_t FlashOffset(uint32_t address) const;
  // Chip offset of the boot table (image word i at BootOffset() + 4i).
  uint32_t BootOffset() const { return FlashOffset(BootBase()); }
  uint32_t FlashWindowEnd() const { return flashEnd_; }  // exclusive

  // --- time -----------------------------------------------------------------
  uint64_t NowNs() const { return CyclesToNs(cpu_.Cycle()); }
  uint64_t NowCycles() const { return cpu_.Cycle(); }
  uint64_t CyclesToNs(uint64_t cycles) const { return cycles * 1000 / mhz_; }
  uint64_t NsToCycles(uint64_t ns) const { return (ns * mhz_ + 999) / 1000; }
  // Runs the board (CPU, peripherals, boot loader) until board time reaches ns.
  void RunUntilNs(uint64_t ns);
  void RunForNs(uint64_t ns) { RunUntilNs(NowNs() + ns); }
  // Earliest pending event in ns, UINT64_MAX when none is scheduled. An
  // active CPU is not an event.
  uint64_t NextEventNs();

  // --- reset and boot -------------------------------------------------------
  // Drives the reset input (true: asserted). Takes effect at the current time.
  void SetResetAsserted(bool asserted);
  // Power-up: reset asserted and released at once (boot loader starts).
  void PowerUp();
  BoardState State() const { return state_; }
  bool Running() const { return state_ == BoardState::Running; }
  // The reason the board stopped (unimplemented instruction, bad boot table...).
  std::string HaltMessage() const;
  // Starts the CPU at pc as if a program had been loaded there (tests, tools).
  void StartAt(uint32_t pc);
  // True when the flash holds a boot table (memory width word 8 at the base).
  bool FlashHoldsProgram() const;

  // --- serial port 0, outside end ------------------------------------------
  // One 32-bit frame exchanged with the target's serial port at the current
  // board time: `toTarget` shifts into the receiver, the return value is what
  // the transmitter shifted out. Frames while the target is held in reset or
  // its receiver is in reset are lost.
  uint32_t SerialExchange(uint32_t toTarget);
  // Schedules a frame that completes at board time `atNs`; `done` receives the
  // word the target sent, at that time.
  void QueueSerialFrame(uint64_t atNs, uint32_t toTarget, std::function<void(uint32_t)> done);
  uint64_t SerialFramesExchanged() const { return framesExchanged_; }

  // --- memory ---------------------------------------------------------------
  Cpu& CpuCore() { return cpu_; }
  const Cpu& CpuCore() const { return cpu_; }
  // Debug access: RAM directly, registers and flash without side effects.
  // Returns false where nothing readable or writable is mapped.
  bool ReadWord(uint32_t address, uint32_t* value);
  bool WriteWord(uint32_t address, uint32_t value);
  bool LoadWords(uint32_t address, const std::vector<uint32_t>& words);
  FlashChip& Flash() { return *flash_; }
  const FlashChip& Flash() const { return *flash_; }
  uint32_t BusControl(uint32_t address) const;  // 0x808060/64/68
  // Wait states an access to the flash at `address` gets from the bus control
  // register that governs it (the board ties RDY active, so only the
  // internal wait-state counter can lengthen a cycle).
  uint32_t FlashWaitStates(uint32_t address) const;
  // Whether a read settles / a write pulse is long enough for the part with
  // that many wait states at the board's clock.
  bool FlashReadSettles(uint32_t waitStates) const;
  bool FlashWriteLatches(uint32_t waitStates) const;
  // Every flash bus cycle from now on as CSV (ns,op,address,data); null stops.
  void TraceFlashBus(std::unique_ptr<std::ostream> out);
  bool TraceFlashBus(const std::string& path, std::string* error);
  // The program image as the flash procedures store it: word i in the chip
  // bytes BootOffset() + 4i .. + 3, least significant first (no bus cycles).
  void WriteFlashImage(const std::vector<uint32_t>& words);
  uint32_t FlashImageWord(uint32_t index) const;

  // IoBus
  uint32_t IoRead(uint32_t address) override;
  void IoWrite(uint32_t address, uint32_t value) override;
  bool IoExecutable(uint32_t address) override;

 private:
  struct Timer {
    uint32_t control = 0;
    uint32_t counter = 0;
    uint32_t period = 0;
    uint64_t baseCycle = 0;  // cycle at which `counter` was valid
    bool Counting() const { return (control & 0x80) && (control & 0x200); }
  };
  struct Frame {
    uint64_t atNs;
    uint32_t word;
    std::function<void(uint32_t)> done;
  };
  enum class RegionKind : uint8_t { None, Ram, Peripheral, Flash, BootRom };

  void BuildMemoryMap();
  void ResetPeripherals();
  void EnterBootLoader();
  void BootFromFlash();
  void SerialBootWord(uint32_t word);
  void FinishBoot(uint32_t entry);
  void Halt(const std::string& message);
  void ProcessEvents();
  void WriteBootWord(uint32_t address, uint32_t value);
  void ApplyStrobeWord(uint32_t word);

  // Timers
  void TimerSync(Timer& t, uint32_t ifBit);
  uint64_t TimerNextCycle(const Timer& t) const;
  uint32_t TimerRead(Timer& t, uint32_t which, uint32_t ifBit);
  void TimerWrite(Timer& t, uint32_t which, uint32_t value, uint32_t ifBit);

  // Serial port
  uint32_t SerialRead(uint32_t address);
  void SerialWrite(uint32_t address, uint32_t value);
  uint32_t FrameBits(uint32_t lenField) const { return 8 * (lenField + 1); }

  // Flash bus
  uint32_t FlashRead(uint32_t address);
  void FlashWrite(uint32_t address, uint32_t value);
  // One byte cycle of the boot loader's table read, at board time atNs.
  uint8_t BootReadByte(uint32_t address, uint64_t atNs);
  void Trace(uint64_t ns, char op, uint32_t address, uint8_t data);
  struct FlashAccess {
    uint32_t bytes = 1;           // chip bytes per word access, at address x bytes
    bool eightBitMemory = false;  // C32 STRBx set for 8-bit memory: no undriven lines
    bool signExtend = false;
  };
  FlashAccess FlashBusShape(uint32_t address) const;

  RegionKind KindAt(uint32_t address) const;

  BoardConfig config_;
  uint32_t mhz_;
  Cpu cpu_;
  std::unique_ptr<FlashChip> flash_;
  std::vector<uint32_t> internalRam_;
  std::vector<std::vector<uint32_t>> externalRam_;
  std::vector<RegionKind> kinds_;  // per 256-word page
  uint32_t flashStart_ = 0, flashEnd_ = 0;

  BoardState state_ = BoardState::InReset;
  std::string haltMessage_;
  uint64_t bootDecisionNs_ = 0;
  uint64_t runFromNs_ = 0;  // CPU starts once the boot copy is done

  // Serial boot stream parser.
  enum class BootField : uint8_t { Header, Size, Address, Strobe, Data };
  BootField bootField_ = BootField::Size;
  int headerLeft_ = 0;
  uint32_t blockSize_ = 0, blockAddress_ = 0, blockLeft_ = 0;
  uint32_t firstBlock_ = 0;
  bool haveFirstBlock_ = false;

  // Peripherals.
  Timer timer_[2];
  uint32_t sgcr_ = 0;
  uint32_t sPortX_ = 0, sPortR_ = 0, sTimer_[3] = {};
  uint32_t dxr_ = 0, drr_ = 0, xsr_ = 0xFFFFFFFF, rsr_ = 0;
  bool xsrLoaded_ = false;
  uint32_t dma_[16] = {};
  uint32_t busControl_[3] = {};  // 0x808060, 0x808064, 0x808068

  std::deque<Frame> frames_;
  uint64_t framesExchanged_ = 0;
  std::unique_ptr<std::ostream> trace_;
};

// Default instruction rates and external RAM.
uint32_t DefaultCpuMhz(uint8_t dspType);
std::vector<RamRegion> DefaultExternalRam(uint8_t dspType);
// Boot region base of a boot mode on a DSP type (0x1000, 0x400000, ...).
uint32_t BootBaseAddress(uint8_t dspType, uint8_t bootMode);

}  // namespace velmora::sim
