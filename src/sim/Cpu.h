// The TMS320C3x CPU core: register file, 24-bit word address space and the
// execution of pre-decoded instructions. Words are decoded once per address by
// c3x::Decode and kept until the word is written again. Peripherals, flash and
// everything that is not plain RAM go through the IoBus the board provides.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "c3x/Isa.h"
#include "sim/C3xFloat.h"

namespace velmora::sim {

class IoBus {
 public:
  virtual ~IoBus() = default;
  virtual uint32_t IoRead(uint32_t address) = 0;
  virtual void IoWrite(uint32_t address, uint32_t value) = 0;
  // True when the address holds something the CPU may execute (RAM-like).
  virtual bool IoExecutable(uint32_t address) = 0;
};

// ST bits.
enum StBits : uint32_t {
  kStC = 1u << 0,
  kStV = 1u << 1,
  kStZ = 1u << 2,
  kStN = 1u << 3,
  kStUF = 1u << 4,
  kStLV = 1u << 5,
  kStLUF = 1u << 6,
  kStOVM = 1u << 7,
  kStRM = 1u << 8,
  kStCF = 1u << 10,
  kStCE = 1u << 11,
  kStCC = 1u << 12,
  kStGIE = 1u << 13,
};

// How interrupts and traps find their handlers.
enum class VectorMode : uint8_t {
  // C31/C33 in microcomputer/boot-loader mode: the handler for interrupt bit n
  // starts at 0x809FC1 + n, trap N at 0x809FE0 + N (branch instructions there).
  BootLoaderRam,
  // C32: the handler address is read from IVTP + 1 + n, trap N from TVTP + N.
  VectorTablePointer,
};

// Sees every instruction just before it executes (delay slots and repeated
// instructions included); for tracing. Costs nothing when none is set.
class StepObserver {
 public:
  virtual ~StepObserver() = default;
  virtual void BeforeStep(uint32_t pc) = 0;
};

// Why RunSteps returned.
enum class StepStop : uint8_t {
  Until,     // the PC reached the stop address, no delayed branch pending
  Idle,      // IDLE with no enabled interrupt pending that could wake it
  MaxSteps,  // the instruction budget ran out
  Halt,      // the CPU stopped (see StopMessage)
};

struct Registers {
  ExtFloat r[8];        // R0-R7 (40 bits)
  uint32_t ar[8] = {};  // AR0-AR7
  uint32_t dp = 0, ir0 = 0, ir1 = 0, bk = 0, sp = 0, st = 0, ie = 0, ifr = 0, iof = 0;
  uint32_t rs = 0, re = 0, rc = 0;
  uint32_t ivtp = 0, tvtp = 0;  // C32 expansion registers
  uint32_t pc = 0;
};

class Cpu {
 public:
  struct Slot;
  using Handler = void (*)(Cpu&, const Slot&);
  struct Slot {
    Handler fn;
    c3x::DecodedInsn d;
    uint32_t target = 0;  // resolved branch target (PC-relative forms)
  };

  static constexpr uint32_t kAddressMask = 0xFFFFFF;
  static constexpr int kPageBits = 8;
  static constexpr uint32_t kPageWords = 1u << kPageBits;
  static constexpr uint32_t kPageCount = 1u << (24 - kPageBits);

  explicit Cpu(IoBus& io);
  ~Cpu();
  Cpu(const Cpu&) = delete;
  Cpu& operator=(const Cpu&) = delete;

  // Address space. RAM regions must be page aligned (256 words); their storage
  // is owned by the caller and must outlive the CPU.
  void MapRam(uint32_t start, uint32_t words, uint32_t* storage);
  void UnmapAll();
  bool IsRam(uint32_t address) const { return pages_[(address & kAddressMask) >> kPageBits].ram; }

  // Bus access as the CPU does it (RAM, peripherals, flash).
  uint32_t Read(uint32_t address) {
    Page& p = pages_[(address & kAddressMask) >> kPageBits];
    if (p.ram) return p.ram[address & (kPageWords - 1)];
    return io_.IoRead(address & kAddressMask);
  }
  void Write(uint32_t address, uint32_t value) {
    ++writes_;
    Page& p = pages_[(address & kAddressMask) >> kPageBits];
    if (p.ram) {
      const uint32_t off = address & (kPageWords - 1);
      p.ram[off] = value;
      if (p.code) p.code[off].fn = &DecodeAndRun;
      return;
    }
    io_.IoWrite(address & kAddressMask, value);
  }
  // Side-effect-free RAM access for tools; returns false outside RAM.
  bool Peek(uint32_t address, uint32_t* value) const;
  bool Poke(uint32_t address, uint32_t value);

  // Execution. Run executes until the cycle counter reaches `until`, the CPU
  // stops, or Yield is called. Idle time (IDLE, detected polling loops that
  // cannot change before the next event) is skipped up to `until`.
  void Run(uint64_t until);
  void Yield() {
    limit_ = cycle_;
    horizon_ = 0;
  }
  // Executes instruction by instruction, without the board's idle skipping,
  // until one of StepStop's conditions holds. untilPc above 0xFFFFFF never
  // matches. Instructions() counts every executed instruction (delay slots and
  // each repetition included); maxSteps bounds that count (a delayed branch
  // that would cross it with its slots is not started).
  StepStop RunSteps(uint64_t maxSteps, uint32_t untilPc);
  void SetObserver(StepObserver* observer) { observer_ = observer; }

  void RequestAttention() {
    attention_ = true;
    horizon_ = 0;
  }
  uint64_t Cycle() const { return cycle_; }
  void SetCycle(uint64_t c) { cycle_ = c; }
  uint64_t Instructions() const { return instructions_; }

  // Interrupt inputs: sets IF bits (the CPU takes them when enabled).
  void RaiseInterrupt(uint32_t ifBits);

  void Reset();  // registers as after a hardware reset; PC 0
  Registers& Regs() { return regs_; }
  const Registers& Regs() const { return regs_; }
  uint32_t Pc() const { return regs_.pc; }
  void SetPc(uint32_t pc) { regs_.pc = pc & kAddressMask; }
  void SetVectorMode(VectorMode m) { vectorMode_ = m; }

  // Register access by instruction number (0-27).
  uint32_t RegInt(unsigned r) const;
  void SetRegInt(unsigned r, uint32_t value);

  bool Stopped() const { return stopped_; }
  const std::string& StopMessage() const { return stopMessage_; }
  void Stop(const std::string& message);
  void ClearStop() {
    stopped_ = false;
    stopMessage_.clear();
  }
  bool Idle() const { return idle_; }
  void Wake() { idle_ = false; }  // leaves an IDLE without an interrupt (tools)

  // Counts the reads of time-varying peripheral state (for the polling-loop
  // detector); the board calls it.
  void NoteVolatileRead() { ++volatileReads_; }
  uint64_t SkippedCycles() const { return skippedCycles_; }

 private:
  struct Page {
    uint32_t* ram = nullptr;
    Slot* code = nullptr;
  };

  static void DecodeAndRun(Cpu& cpu, const Slot& slot);
  static void Unimplemented(Cpu& cpu, const Slot& slot);
  static Handler HandlerFor(const c3x::DecodedInsn& d);
  friend struct Exec;

  void Inner();
  void Attend();
  bool TakeInterrupt();
  const Slot& FetchSlot(uint32_t pc);
  void ExecuteOne();  // one instruction (delay slots, repeat bodies)
  void BackwardBranch(uint32_t target);
  void RepeatEnd(uint32_t pc);

  IoBus& io_;
  Registers regs_;
  std::vector<Page> pages_;
  std::vector<std::unique_ptr<Slot[]>> codePages_;
  Slot scratch_[4] = {};
  unsigned scratchNext_ = 0;
  bool rptsActive_ = false;
  uint32_t rptsPc_ = 0;

  uint64_t cycle_ = 0;
  uint64_t limit_ = 0;
  uint64_t horizon_ = 0;
  uint64_t instructions_ = 0;
  bool attention_ = false;
  bool stopped_ = false;
  bool idle_ = false;
  std::string stopMessage_;
  uint32_t curPc_ = 0;
  StepObserver* observer_ = nullptr;
  uint32_t repeatEnd_ = UINT32_MAX;  // RE while a block repeat is active
  VectorMode vectorMode_ = VectorMode::BootLoaderRam;

  // Polling-loop detection.
  uint64_t writes_ = 0;
  uint64_t volatileReads_ = 0;
  uint32_t spinCountdown_ = 64;
  uint32_t spinTarget_ = UINT32_MAX;
  uint64_t spinWrites_ = 0;
  uint64_t spinVolatile_ = 0;
  Registers spinRegs_;
  uint64_t skippedCycles_ = 0;
};

}  // namespace velmora::sim
