#include "sim/Runner.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <string>

#include "c3x/Disassembler.h"
#include "config/AppSettings.h"
#include "image/CoffReader.h"

namespace velmora::sim {
namespace {

constexpr const char* kRegisterNames[kRunnerRegisterCount] = {
    "R0",  "R1",  "R2", "R3",  "R4",  "R5", "R6", "R7", "AR0", "AR1", "AR2", "AR3", "AR4", "AR5",
    "AR6", "AR7", "DP", "IR0", "IR1", "BK", "SP", "ST", "IE",  "IF",  "IOF", "RS",  "RE",  "RC"};

std::string Hex6(uint32_t v) {
  char b[16];
  std::snprintf(b, sizeof b, "0x%06X", v & 0xFFFFFF);
  return b;
}

// Registers by listing index, which is also the instruction register number.
uint64_t RegisterOf(const Registers& r, int i) {
  if (i < 8) return (uint64_t{static_cast<uint8_t>(r.r[i].exp)} << 32) | r.r[i].man;
  if (i < 16) return r.ar[i - 8];
  const uint32_t rest[] = {r.dp, r.ir0, r.ir1, r.bk, r.sp, r.st,
                           r.ie, r.ifr, r.iof, r.rs, r.re, r.rc};
  return rest[i - 16];
}

bool ParseNumber(std::string_view text, uint64_t& value) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  } else if (text.size() > 1 && (text.back() == 'h' || text.back() == 'H') &&
             std::isdigit(static_cast<unsigned char>(text[0]))) {
    base = 16;
    text.remove_suffix(1);
  }
  if (text.empty()) return false;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), value, base);
  return r.ec == std::errc() && r.ptr == text.data() + text.size();
}

}  // namespace

const char* StepStopName(StepStop stop) {
  switch (stop) {
    case StepStop::Until:
      return "until";
    case StepStop::Idle:
      return "idle";
    case StepStop::MaxSteps:
      return "max-steps";
    case StepStop::Halt:
      return "halt";
  }
  return "halt";
}

const char* RunnerRegisterName(int index) {
  return index >= 0 && index < kRunnerRegisterCount ? kRegisterNames[index] : nullptr;
}

int RunnerRegisterIndex(std::string_view name) {
  for (int i = 0; i < kRunnerRegisterCount; ++i) {
    const std::string_view n = kRegisterNames[i];
    if (n.size() == name.size() && std::equal(n.begin(), n.end(), name.begin(), [](char a, char b) {
          return a == std::toupper(static_cast<unsigned char>(b));
        }))
      return i;
  }
  return -1;
}

// One line per instruction. The registers an instruction changed are known
// when the next one starts (a delayed branch's slots run inside it), so each
// line is written then, or when the run stops.
class Runner::Tracer : public StepObserver {
 public:
  Tracer(Runner& runner, std::ostream& out) : runner_(runner), out_(out) {}
  ~Tracer() override { Flush(); }

  void BeforeStep(uint32_t pc) override {
    Flush();
    pending_ = true;
    pc_ = pc;
    before_ = runner_.cpu_.Regs();
  }

  void Flush() {
    if (!pending_) return;
    pending_ = false;
    char head[24];
    std::snprintf(head, sizeof head, "%06X  %08X  ", pc_, runner_.ReadWord(pc_));
    std::string text = c3x::Disassemble(runner_.ReadWord(pc_), pc_);
    text.resize(std::max<size_t>(text.size(), 36), ' ');
    std::string line = head + text;
    const Registers& now = runner_.cpu_.Regs();
    for (int i = 0; i < kRunnerRegisterCount; ++i) {
      const uint64_t cur = RegisterOf(now, i);
      if (cur == RegisterOf(before_, i)) continue;
      char reg[40];
      std::snprintf(reg, sizeof reg, i < 8 ? " %s=0x%010llX" : " %s=0x%08llX", kRegisterNames[i],
                    static_cast<unsigned long long>(cur));
      line += reg;
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    line += '\n';
    out_ << line;
  }

 private:
  Runner& runner_;
  std::ostream& out_;
  bool pending_ = false;
  uint32_t pc_ = 0;
  Registers before_;
};

Runner::Runner(uint8_t dspType) : dspType_(dspType > 2 ? 0 : dspType), cpu_(*this) {
  // A run starts from registers whose bits are all zero, so an integer loaded
  // into R0-R7 reads back as itself (integer operations keep bits 39-32).
  for (ExtFloat& r : cpu_.Regs().r) r = ExtFloat{0, 0};
  switch (dspType_) {
    case 1:  // C32: internal RAM blocks 0/1, SRAM on STRB0 at 0x880000 and 0x200000
      MapRam(0x87FE00, 0x200);
      MapRam(0x880000, 0x20000);
      MapRam(0x200000, 0x20000);
      cpu_.SetVectorMode(VectorMode::VectorTablePointer);
      break;
    case 2:  // C33: blocks 0/1 at 0x809800, 2/3 at 0x800000
      MapRam(0x809800, 0x800);
      MapRam(0x800000, 0x8000);
      MapRam(0x200000, 0x20000);
      break;
    default:
      MapRam(0x809800, 0x800);
      MapRam(0x200000, 0x20000);
      break;
  }
}

Runner::~Runner() = default;

void Runner::MapRam(uint32_t start, uint32_t words) {
  ram_.emplace_back(words, 0);
  cpu_.MapRam(start, words, ram_.back().data());
}

uint32_t Runner::IoRead(uint32_t address) {
  return IsPeripheral(address) ? peripherals_[address & 0xFF] : 0;
}

void Runner::IoWrite(uint32_t address, uint32_t value) {
  if (IsPeripheral(address)) peripherals_[address & 0xFF] = value;
}

uint32_t Runner::ReadWord(uint32_t address) const {
  uint32_t v = 0;
  if (cpu_.Peek(address, &v)) return v;
  return IsPeripheral(address & Cpu::kAddressMask) ? peripherals_[address & 0xFF] : 0;
}

bool Runner::Load(uint32_t address, const std::vector<uint32_t>& words, std::string& error) {
  for (size_t i = 0; i < words.size(); ++i) {
    const uint32_t a = (address + static_cast<uint32_t>(i)) & Cpu::kAddressMask;
    if (!cpu_.IsRam(a)) {
      static const char* kNames[] = {"TMS320C31", "TMS320C32", "TMS320C33"};
      error = "address " + Hex6(a) + " is not RAM on the " + kNames[dspType_];
      return false;
    }
  }
  for (size_t i = 0; i < words.size(); ++i)
    cpu_.Poke((address + static_cast<uint32_t>(i)) & Cpu::kAddressMask, words[i]);
  return true;
}

bool Runner::LoadCoff(const std::string& path, std::string& error,
                      std::vector<std::string>* warnings) {
  ProgramData program;
  MemoryInterfaceValues mi;
  mi.dspType = dspType_;
  const int rc = ReadCoffFile(path, mi, program);
  if (rc != kCoffOk) {
    error = CoffResultMessage(rc);
    return false;
  }
  if (!ReadCoffSymbolsFile(path, symbols_)) symbols_ = CoffSymbolList{};
  std::optional<uint32_t> text, lowest;
  for (const CSectionInfo& s : program.sections) {
    const uint32_t* data = s.Data(program.image);
    if (uint64_t{s.startAddress} + s.size <= 0x1000) {
      if (warnings)
        warnings->push_back("section " + s.name + " at " + Hex6(s.startAddress) +
                            " lies in the boot ROM; not loaded");
      continue;
    }
    if (!Load(s.startAddress, std::vector<uint32_t>(data, data + s.size), error)) {
      error = "section " + s.name + ": " + error;
      return false;
    }
    const uint32_t start = s.startAddress & Cpu::kAddressMask;
    if (s.name == ".text") text = std::min(text.value_or(start), start);
    lowest = std::min(lowest.value_or(start), start);
  }
  if (!lowest) {
    error = "the file has no section to load";
    return false;
  }
  defaultEntry_ = text ? *text : symbols_.entryPoint ? *symbols_.entryPoint : *lowest;
  return true;
}

std::optional<uint32_t> Runner::ResolveAddress(std::string_view text, std::string& error) const {
  uint64_t v = 0;
  if (!text.empty() && std::isdigit(static_cast<unsigned char>(text[0]))) {
    if (!ParseNumber(text, v) || v > Cpu::kAddressMask) {
      error = "'" + std::string(text) + "' is no 24-bit address";
      return std::nullopt;
    }
    return static_cast<uint32_t>(v);
  }
  if (auto s = FindCoffSymbol(symbols_, std::string(text))) return *s & Cpu::kAddressMask;
  error = "no symbol '" + std::string(text) + "' in the program";
  return std::nullopt;
}

uint64_t Runner::RegisterValue(int index) const {
  return index >= 0 && index < kRunnerRegisterCount ? RegisterOf(cpu_.Regs(), index) : 0;
}

bool Runner::SetRegister(int index, uint64_t value, std::string& error) {
  if (index < 0 || index >= kRunnerRegisterCount) {
    error = "no such register";
    return false;
  }
  const uint64_t limit = index < 8 ? 0xFFFFFFFFFFull : 0xFFFFFFFFull;
  if (value > limit) {
    error = std::string(kRegisterNames[index]) + " holds " + (index < 8 ? "40" : "32") + " bits";
    return false;
  }
  if (index < 8) {
    cpu_.Regs().r[index].exp = static_cast<int8_t>(static_cast<uint8_t>(value >> 32));
    cpu_.Regs().r[index].man = static_cast<uint32_t>(value);
  } else {
    cpu_.SetRegInt(static_cast<unsigned>(index), static_cast<uint32_t>(value));
  }
  return true;
}

StepStop Runner::Run(uint32_t entry, uint64_t maxSteps, std::optional<uint32_t> until) {
  cpu_.ClearStop();
  cpu_.Wake();
  cpu_.SetPc(entry);
  std::optional<Tracer> tracer;
  if (trace_) {
    tracer.emplace(*this, *trace_);
    cpu_.SetObserver(&*tracer);
  }
  const StepStop stop = cpu_.RunSteps(maxSteps, until ? *until & Cpu::kAddressMask : UINT32_MAX);
  cpu_.SetObserver(nullptr);
  return stop;
}

}  // namespace velmora::sim
