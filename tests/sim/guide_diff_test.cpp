// The core against the model written from TI's user's guide (GuideModel):
// single instructions over random and edge operands, then random programs
// with repeats, delayed branches, loops, conditional loads and parallel
// instructions. Both start from the same registers and memory; everything
// they end with must agree.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "c3x/Assembler.h"
#include "c3x/C3xFloat.h"
#include "sim/GuideModel.h"
#include "sim/Runner.h"

namespace velmora::sim {
namespace {

constexpr uint32_t kCode = 0x809800;
constexpr uint32_t kScratch = 0x809C00;  // 256 words the programs read and write
constexpr uint32_t kScratchWords = 0x100;

struct Start {
  uint64_t regs[kRunnerRegisterCount] = {};
  std::vector<uint32_t> scratch = std::vector<uint32_t>(kScratchWords, 0);
};

std::string Hex(uint64_t v) {
  char b[24];
  std::snprintf(b, sizeof b, "0x%llX", static_cast<unsigned long long>(v));
  return b;
}

// Runs `code` from kCode to `until` on both models and reports any difference.
// Single instructions (`program` false) touch neither code nor scratch memory.
std::string Compare(Runner& runner, const std::vector<uint32_t>& code, uint32_t until,
                    const Start& start, bool program = true) {
  std::string error;
  if (program && !runner.Load(kCode, code, error)) return error;
  if (program && !runner.Load(kScratch, start.scratch, error)) return error;
  for (int i = 0; i < kRunnerRegisterCount; ++i) runner.SetRegister(i, start.regs[i], error);
  const uint64_t before = runner.Steps();
  const StepStop stop = runner.Run(kCode, 5000, until);
  const uint64_t coreSteps = runner.Steps() - before;

  guide::Machine m;
  for (int i = 0; i < 8; ++i)
    m.r[i] = {static_cast<int8_t>(start.regs[i] >> 32), static_cast<uint32_t>(start.regs[i])};
  for (int i = 8; i < kRunnerRegisterCount; ++i) m.other[i] = static_cast<uint32_t>(start.regs[i]);
  for (size_t i = 0; i < code.size(); ++i) m.memory[kCode + static_cast<uint32_t>(i)] = code[i];
  if (program)
    for (uint32_t i = 0; i < kScratchWords; ++i) m.memory[kScratch + i] = start.scratch[i];
  m.pc = kCode;
  try {
    while (!(m.pc == until && m.delayLeft == 0) && m.steps < 5000) guide::Step(m);
  } catch (const std::exception& e) {
    return e.what();
  }

  std::ostringstream diff;
  if (stop != StepStop::Until) diff << " core stopped: " << StepStopName(stop) << ";";
  if (coreSteps != m.steps) diff << " steps " << coreSteps << " vs " << m.steps << ";";
  for (int i = 0; i < kRunnerRegisterCount; ++i)
    if (runner.RegisterValue(i) != m.RegisterBits(i))
      diff << " " << RunnerRegisterName(i) << " " << Hex(runner.RegisterValue(i)) << " vs "
           << Hex(m.RegisterBits(i)) << ";";
  for (uint32_t a = kScratch; program && a < kScratch + kScratchWords; ++a)
    if (runner.ReadWord(a) != m.Read(a))
      diff << " [" << Hex(a) << "] " << Hex(runner.ReadWord(a)) << " vs " << Hex(m.Read(a)) << ";";
  return diff.str();
}

std::vector<uint32_t> Code(const std::string& source, uint32_t* end = nullptr) {
  const c3x::AsmResult r = c3x::Assemble(
      "\t.sect \"code\", " + std::to_string(kCode) + "\n" + source + "\nend:\tNOP\n", "diff.asm");
  EXPECT_TRUE(r.ok) << (r.errors.empty() ? "" : r.errors.front()) << "\n" << source;
  if (!r.ok) return {};
  for (const c3x::AsmSymbol& s : r.symbols)
    if (s.name == "end" && end) *end = s.value;
  return r.sections[0].words;
}

// Operands with the edges of each format well represented.
class Operands {
 public:
  explicit Operands(uint32_t seed) : rng_(seed) {}
  uint32_t Below(uint32_t n) { return static_cast<uint32_t>(rng_() % n); }
  uint32_t Int() {
    static const uint32_t edges[] = {0,          1,          0xFFFFFFFF, 0x7FFFFFFF, 0x80000000,
                                     0x80000001, 0x7FFFFFFE, 0x00800000, 0x007FFFFF, 0xFF800000,
                                     0x00FFFFFF, 0x40000000, 0xC0000000, 2,          0xFFFFFFFE};
    switch (Below(5)) {
      case 0:
        return edges[Below(std::size(edges))];
      case 1:
        return static_cast<uint32_t>(static_cast<int32_t>(Below(41)) - 20);
      case 2:
        return static_cast<uint32_t>(rng_()) >> Below(32);
      default:
        return static_cast<uint32_t>(rng_());
    }
  }
  uint64_t Float() {
    int e;
    switch (Below(8)) {
      case 0:
        e = -128;
        break;
      case 1:
      case 2: {
        static const int edges[] = {127, 126, 125, -127, -126, -125, 30, 31, 32, 24, 23, -1, 0};
        e = edges[Below(std::size(edges))];
        break;
      }
      case 3:
        e = static_cast<int>(Below(256)) - 128;
        break;
      default:
        e = static_cast<int>(Below(11)) - 5;
        break;
    }
    uint32_t man = static_cast<uint32_t>(rng_());
    switch (Below(6)) {
      case 0:
        man &= 0x80000000u;  // powers of two
        break;
      case 1:
        man |= 0x7FFFFFFFu;
        break;
      case 2:
        man &= 0xFFFFFF00u;  // single precision
        break;
      default:
        break;
    }
    if (e == -128 && Below(2)) man = 0;
    return (uint64_t{static_cast<uint8_t>(e)} << 32) | man;
  }
  uint32_t Status() { return Below(256); }  // C V Z N UF LV LUF OVM

 private:
  std::mt19937 rng_;
};

// One instruction at a time over random and edge operands: the integer flags
// (C, V, Z, N, LV, OVM saturation) and the floating-point rules (normalisation,
// truncation, overflow and underflow, saturation, the extended precision of
// registers, the zero representation). Float operands of the same exponent
// make the cancellations of ADDF and SUBF.
TEST(GuideDifferential, SingleInstructions) {
  const struct {
    bool floating;
    const char* form;
  } forms[] = {
      {false, "ADDI R1, R0"},      {false, "ADDC R1, R0"},      {false, "SUBI R1, R0"},
      {false, "SUBB R1, R0"},      {false, "SUBRI R1, R0"},     {false, "MPYI R1, R0"},
      {false, "ASH R1, R0"},       {false, "LSH R1, R0"},       {false, "CMPI R1, R0"},
      {false, "NEGI R1, R0"},      {false, "AND R1, R0"},       {false, "ADDI R1, IR1"},
      {false, "ASH R1, BK"},       {false, "ADDI3 R2, R1, R0"}, {false, "SUBI3 R2, R1, R0"},
      {false, "MPYI3 R2, R1, R0"}, {false, "ASH3 R2, R1, R0"},  {false, "LSH3 R2, R1, R0"},
      {false, "ADDC3 R2, R1, R0"}, {false, "SUBB3 R2, R1, R0"}, {false, "CMPI3 R2, R1"},
      {true, "ADDF R1, R0"},       {true, "SUBF R1, R0"},       {true, "SUBRF R1, R0"},
      {true, "MPYF R1, R0"},       {true, "CMPF R1, R0"},       {true, "ABSF R1, R0"},
      {true, "NEGF R1, R0"},       {true, "NORM R1, R0"},       {true, "RND R1, R0"},
      {true, "FIX R1, R0"},        {true, "FIX R1, AR0"},       {true, "FLOAT R1, R0"},
      {true, "LDF R1, R0"},        {true, "ADDF3 R2, R1, R0"},  {true, "SUBF3 R2, R1, R0"},
      {true, "MPYF3 R2, R1, R0"},  {true, "CMPF3 R2, R1"}};
  Operands gen(16);
  Runner runner(0);
  for (const auto& [floating, form] : forms) {
    uint32_t end = 0;
    const std::vector<uint32_t> code = Code(std::string("\t") + form, &end);
    ASSERT_FALSE(code.empty());
    std::string error;
    ASSERT_TRUE(runner.Load(kCode, code, error));
    for (int i = 0; i < 15000; ++i) {
      Start s;
      for (int r = 0; r < 3; ++r)
        s.regs[r] = floating ? gen.Float() : (uint64_t{gen.Below(256)} << 32) | gen.Int();
      if (floating && gen.Below(4) == 0) s.regs[1] = (s.regs[0] & 0xFF00000000ull) | gen.Int();
      s.regs[c3x::kIR1] = gen.Int();
      s.regs[c3x::kBK] = gen.Int();
      s.regs[c3x::kST] = gen.Status();
      const std::string d = Compare(runner, code, end, s, false);
      ASSERT_EQ(d, "") << form << " with R0 " << Hex(s.regs[0]) << " R1 " << Hex(s.regs[1])
                       << " R2 " << Hex(s.regs[2]) << " ST " << Hex(s.regs[c3x::kST]);
    }
  }
}

// Random programs over the scratch area: the loop, repeat and delayed-branch
// machinery, addressing with updates, conditional loads and parallel words.
class ProgramMaker {
 public:
  explicit ProgramMaker(uint32_t seed) : g_(seed) {}

  std::string Make() {
    out_.str("");
    label_ = 0;
    const int items = 8 + static_cast<int>(g_.Below(16));
    for (int i = 0; i < items; ++i) Item();
    return out_.str();
  }

  Start Begin() {
    Start s;
    for (int r = 0; r < 8; ++r) s.regs[r] = g_.Below(3) ? g_.Float() : g_.Int();
    for (int a = 0; a < 7; ++a) s.regs[c3x::kAR0 + a] = kScratch + 0x60 + g_.Below(0x40);
    s.regs[c3x::kDP] = kScratch >> 16;
    s.regs[c3x::kIR0] = g_.Below(5);
    s.regs[c3x::kIR1] = g_.Below(5);
    s.regs[c3x::kST] = g_.Status();
    for (uint32_t& w : s.scratch) w = g_.Below(2) ? static_cast<uint32_t>(g_.Float()) : g_.Int();
    return s;
  }

 private:
  std::string R() { return "R" + std::to_string(g_.Below(8)); }
  std::string Ar() { return "AR" + std::to_string(g_.Below(6)); }
  std::string Cond() {
    static const char* c[] = {"U",  "LO", "LS", "HI",  "HS", "EQ",  "NE", "LT",   "LE",  "GT",
                              "GE", "NV", "V",  "NUF", "UF", "NLV", "LV", "NLUF", "LUF", "ZUF"};
    return c[g_.Below(std::size(c))];
  }
  std::string Mem() {  // a general-format memory operand
    switch (g_.Below(5)) {
      case 0:
        return "*+" + Ar() + "(" + std::to_string(g_.Below(16)) + ")";
      case 1:
        return "*-" + Ar() + "(" + std::to_string(g_.Below(16)) + ")";
      case 2:
        return "*" + Ar() + (g_.Below(2) ? "++(" : "--(") + std::to_string(g_.Below(3)) + ")";
      case 3:
        return "*+" + Ar() + (g_.Below(2) ? "(IR0)" : "(IR1)");
      default:
        return "@" + Hex(kScratch + g_.Below(kScratchWords));
    }
  }
  std::string Ind() {  // three-operand and parallel forms: displacement 0 or 1
    static const char* m[] = {"*", "*+", "*-", "*++", "*--"};
    const std::string mode = m[g_.Below(5)];
    if (mode == "*") return "*" + Ar() + (g_.Below(2) ? "" : g_.Below(2) ? "++" : "--");
    return mode + Ar() + "(1)";
  }
  std::string IntSrc(bool shift, bool logical) {
    switch (g_.Below(3)) {
      case 0:
        return R();
      case 1:
        return Mem();
      default:
        if (shift) return std::to_string(static_cast<int>(g_.Below(81)) - 40);
        if (logical) return std::to_string(g_.Below(65536));
        return std::to_string(static_cast<int32_t>(g_.Int() << 16) >> 16);
    }
  }
  std::string FloatSrc() {
    switch (g_.Below(3)) {
      case 0:
        return R();
      case 1:
        return Mem();
      default: {  // a short float exactly as written
        char b[40];
        std::snprintf(b, sizeof b, "%.17g", c3x::ShortToDouble(static_cast<uint16_t>(g_.Int())));
        return b;
      }
    }
  }
  std::string Label() { return "L" + std::to_string(label_++); }

  void Simple() {
    static const char* ints[] = {"ADDI", "ADDC", "SUBI", "SUBB", "SUBRI", "MPYI", "ASH", "LSH",
                                 "CMPI", "AND",  "OR",   "XOR",  "ANDN",  "TSTB", "LDI", "NEGI"};
    static const char* ints3[] = {"ADDI3", "ADDC3", "SUBI3", "SUBB3", "MPYI3", "ASH3",
                                  "LSH3",  "AND3",  "OR3",   "XOR3",  "ANDN3"};
    static const char* floats[] = {"ADDF", "SUBF", "SUBRF", "MPYF", "CMPF", "ABSF",
                                   "NEGF", "NORM", "RND",   "LDF",  "FIX"};
    static const char* floats3[] = {"ADDF3", "SUBF3", "MPYF3", "CMPF3"};
    static const char* pars[] = {"MPYF3 %I, %I, R0 || ADDF3 %R, %R, R2",
                                 "MPYF3 %I, %R, R1 || SUBF3 %R, %I, R3",
                                 "MPYF3 %R, %R, R0 || ADDF3 %I, %I, R3",
                                 "MPYI3 %I, %I, R1 || ADDI3 %R, %R, R2",
                                 "MPYI3 %R, %R, R0 || SUBI3 %I, %I, R3",
                                 "LDF %I, %R || STF %R, %I",
                                 "LDI %I, %R || STI %R, %I",
                                 "ADDF3 %R, %I, %R || STF %R, %I",
                                 "SUBF3 %R, %I, %R || STF %R, %I",
                                 "MPYF3 %I, %R, %R || STF %R, %I",
                                 "ABSF %I, %R || STF %R, %I",
                                 "NEGF %I, %R || STF %R, %I",
                                 "FLOAT %I, %R || STF %R, %I",
                                 "FIX %I, %R || STI %R, %I",
                                 "ADDI3 %R, %I, %R || STI %R, %I",
                                 "SUBI3 %R, %I, %R || STI %R, %I",
                                 "MPYI3 %R, %I, %R || STI %R, %I",
                                 "ASH3 %R, %I, %R || STI %R, %I",
                                 "LSH3 %R, %I, %R || STI %R, %I",
                                 "NEGI %I, %R || STI %R, %I",
                                 "ABSI %I, %R || STI %R, %I",
                                 "LDF %I, R1 || LDF %I, R2",
                                 "LDI %I, R3 || LDI %I, R4",
                                 "STF R1, *AR0 || STF R2, *AR1",
                                 "STI R3, *+AR2(1) || STI R4, *AR3--"};
    switch (g_.Below(9)) {
      case 0: {
        const std::string op = ints[g_.Below(std::size(ints))];
        const bool shift = op == "ASH" || op == "LSH";
        const bool logical =
            op == "AND" || op == "OR" || op == "XOR" || op == "ANDN" || op == "TSTB";
        out_ << "\t" << op << " " << IntSrc(shift, logical) << ", " << (g_.Below(8) ? R() : "BK");
        break;
      }
      case 1:
        out_ << "\t" << ints3[g_.Below(std::size(ints3))] << " " << (g_.Below(2) ? R() : Ind())
             << ", " << (g_.Below(2) ? R() : Ind()) << ", " << R();
        break;
      case 2: {
        const std::string op = floats[g_.Below(std::size(floats))];
        out_ << "\t" << op << " " << FloatSrc() << ", " << R();
        break;
      }
      case 3:
        out_ << "\tFLOAT " << IntSrc(false, false) << ", " << R();
        break;
      case 4: {
        const std::string op = floats3[g_.Below(std::size(floats3))];
        out_ << "\t" << op << " " << (g_.Below(2) ? R() : Ind()) << ", "
             << (g_.Below(2) ? R() : Ind()) << (op == "CMPF3" ? "" : ", " + R());
        break;
      }
      case 5:
        out_ << "\t" << (g_.Below(2) ? "STI " : "STF ") << R() << ", " << Mem();
        break;
      case 6:
        out_ << "\t" << (g_.Below(2) ? "LDF" : "LDI") << Cond() << " "
             << (g_.Below(2) ? R() : Mem()) << ", " << R();
        break;
      default: {
        std::string form = pars[g_.Below(std::size(pars))];
        std::string line;
        for (size_t i = 0; i < form.size(); ++i) {
          if (form[i] == '%') {
            line += form[++i] == 'I' ? "*" + Ar() + (g_.Below(2) ? "++" : "") : R();
          } else {
            line += form[i];
          }
        }
        out_ << "\t" << line;
        break;
      }
    }
    out_ << "\n";
  }

  void Item() {
    switch (g_.Below(10)) {
      case 0:
        out_ << "\tRPTS " << g_.Below(5) << "\n";
        Simple();
        break;
      case 1: {
        const std::string end = Label();
        out_ << "\tLDI " << g_.Below(4) << ", RC\n\tRPTB " << end << "\n";
        for (uint32_t i = g_.Below(3); i > 0; --i) Simple();
        out_ << end << ":";
        Simple();
        break;
      }
      case 2: {
        const std::string to = Label();
        out_ << "\tB" << Cond() << " " << to << "\n";
        for (uint32_t i = g_.Below(3); i > 0; --i) Simple();
        out_ << to << ":";
        Simple();
        break;
      }
      case 3: {
        const std::string to = Label();
        out_ << (g_.Below(4) ? "\tB" + Cond() + "D " : std::string("\tBRD ")) << to << "\n";
        for (int i = 0; i < 3; ++i) Simple();
        for (uint32_t i = g_.Below(3); i > 0; --i) Simple();
        out_ << to << ":";
        Simple();
        break;
      }
      case 4: {
        const std::string top = Label();
        const bool delayed = g_.Below(2);
        out_ << "\tLDI " << g_.Below(4) << ", AR7\n" << top << ":";
        Simple();
        out_ << "\tDB" << Cond() << (delayed ? "D" : "") << " AR7, " << top << "\n";
        if (delayed)
          for (int i = 0; i < 3; ++i) Simple();
        break;
      }
      default:
        Simple();
        break;
    }
  }

  Operands g_;
  std::ostringstream out_;
  int label_ = 0;
};

TEST(GuideDifferential, RandomPrograms) {
  ProgramMaker maker(2024);
  Runner runner(0);
  for (int i = 0; i < 3000; ++i) {
    const std::string source = maker.Make();
    uint32_t end = 0;
    const std::vector<uint32_t> code = Code(source, &end);
    ASSERT_FALSE(code.empty());
    const Start s = maker.Begin();
    const std::string d = Compare(runner, code, end, s);
    ASSERT_EQ(d, "") << "program " << i << ":\n" << source;
  }
}

}  // namespace
}  // namespace velmora::sim
