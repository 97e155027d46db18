// The C3x core on its own: a DSP's memory map with a program loaded straight
// into it (no boot loader, no pod), registers set by hand, and execution that
// stops at an address, at an IDLE nothing can wake, at an instruction that
// halts the core, or after a number of instructions. For running and testing
// target routines on the PC.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "image/CoffSymbols.h"
#include "sim/Cpu.h"

namespace velmora::sim {

const char* StepStopName(StepStop stop);  // "until", "idle", "max-steps", "halt"

// The registers in listing order: R0-R7 (40 bits), AR0-AR7, DP, IR0, IR1, BK,
// SP, ST, IE, IF, IOF, RS, RE, RC.
inline constexpr int kRunnerRegisterCount = 28;
const char* RunnerRegisterName(int index);
// Index of a register name (any case), or -1.
int RunnerRegisterIndex(std::string_view name);

class Runner : public IoBus {
 public:
  explicit Runner(uint8_t dspType);  // 0 TMS320C31, 1 TMS320C32, 2 TMS320C33
  ~Runner() override;

  uint8_t DspType() const { return dspType_; }
  Cpu& Core() { return cpu_; }
  const Cpu& Core() const { return cpu_; }

  // Places words in RAM. False, with the first address that is not RAM named
  // in `error`, when any word falls outside it (nothing is written then).
  bool Load(uint32_t address, const std::vector<uint32_t>& words, std::string& error);
  // Loads the sections of a COFF executable and keeps its symbols. The default
  // entry is the start of `.text`, else the optional header's entry point,
  // else the lowest loaded address. A section wholly inside the boot ROM
  // (0x000000-0x000FFF, a reset vector for instance) cannot be loaded there and
  // is left out with a warning; any other section outside RAM is an error.
  bool LoadCoff(const std::string& path, std::string& error,
                std::vector<std::string>* warnings = nullptr);
  uint32_t DefaultEntry() const { return defaultEntry_; }
  const CoffSymbolList& Symbols() const { return symbols_; }
  // A number (decimal, 0x hex or hex with an h suffix) or a symbol of the
  // loaded program (`name` or `_name`).
  std::optional<uint32_t> ResolveAddress(std::string_view text, std::string& error) const;

  // Register access by RunnerRegisterIndex; R0-R7 take and give 40 bits.
  uint64_t RegisterValue(int index) const;
  bool SetRegister(int index, uint64_t value, std::string& error);

  // A word as the CPU would read it: RAM, the peripheral registers (plain
  // storage here), 0 where nothing is mapped.
  uint32_t ReadWord(uint32_t address) const;

  // Writes one line per executed instruction to `out` (nullptr: none): the
  // address, the word, its disassembly and the registers it changed.
  void SetTrace(std::ostream* out) { trace_ = out; }

  StepStop Run(uint32_t entry, uint64_t maxSteps, std::optional<uint32_t> until);
  uint64_t Steps() const { return cpu_.Instructions(); }

  // IoBus
  uint32_t IoRead(uint32_t address) override;
  void IoWrite(uint32_t address, uint32_t value) override;
  bool IoExecutable(uint32_t) override { return false; }

 private:
  class Tracer;
  void MapRam(uint32_t start, uint32_t words);
  bool IsPeripheral(uint32_t address) const { return (address & 0xFFFF00) == 0x808000; }

  uint8_t dspType_;
  Cpu cpu_;
  std::vector<std::vector<uint32_t>> ram_;
  uint32_t peripherals_[256] = {};
  CoffSymbolList symbols_;
  uint32_t defaultEntry_ = 0;
  std::ostream* trace_ = nullptr;
};

}  // namespace velmora::sim
