#include "c3x/Disassembler.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "c3x/C3xFloat.h"

namespace velmora::c3x {
namespace {

std::string Hex(uint32_t v, int digits) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%0*X", digits, v);
  return buf;
}

std::string Indirect(const Operand& op) {
  char ar[4] = {'A', 'R', static_cast<char>('0' + (op.ar & 7)), 0};
  char buf[32];
  if (op.mod == kModPlain) {
    std::snprintf(buf, sizeof buf, "*%s", ar);
    return buf;
  }
  if (op.mod == kModBitReversed) {
    std::snprintf(buf, sizeof buf, "*%s++(IR0)B", ar);
    return buf;
  }
  char index[8];
  if (op.mod < kModIr0Base)
    std::snprintf(index, sizeof index, "%u", unsigned{op.disp});
  else
    std::snprintf(index, sizeof index, "%s", op.mod < kModIr1Base ? "IR0" : "IR1");
  static constexpr const char* kForms[8] = {"*+%s(%s)",  "*-%s(%s)",  "*++%s(%s)",   "*--%s(%s)",
                                            "*%s++(%s)", "*%s--(%s)", "*%s++(%s)%%", "*%s--(%s)%%"};
  std::snprintf(buf, sizeof buf, kForms[op.mod & 7], ar, index);
  return buf;
}

std::string Line(std::string_view mnemonic, const std::string& operands) {
  std::string s(mnemonic);
  if (!operands.empty()) {
    if (s.size() < 8)
      s.resize(8, ' ');
    else
      s += ' ';
    s += operands;
  }
  return s;
}

std::string RegText(unsigned r) {
  const char* n = RegisterName(r);
  return n ? n : "?";
}

}  // namespace

std::string FormatFloat(double value) {
  char buf[40];
  for (int digits = 1; digits <= 17; ++digits) {
    std::snprintf(buf, sizeof buf, "%.*g", digits, value);
    if (std::strtod(buf, nullptr) == value) break;
  }
  std::string s = buf;
  if (s.find_first_of(".eEn") == std::string::npos) s += ".0";
  return s;
}

std::string FormatOperand(const Operand& op, ValueKind kind) {
  switch (op.mode) {
    case AddrMode::Register:
      return RegText(op.reg);
    case AddrMode::Direct: {
      char buf[16];
      std::snprintf(buf, sizeof buf, "@0x%04X", unsigned{op.raw});
      return buf;
    }
    case AddrMode::Indirect:
      return Indirect(op);
    case AddrMode::Immediate:
      if (kind == ValueKind::Float) return FormatFloat(ShortToDouble(op.raw));
      if (kind == ValueKind::UInt) return Hex(op.raw, 1);
      return std::to_string(op.value);
    default:
      return {};
  }
}

static std::string FormatParallelPart(const ParallelPart& part) {
  const InsnInfo& info = Info(part.op);
  std::string ops = FormatOperand(part.a, info.src);
  if (part.b.mode != AddrMode::None) ops += ", " + FormatOperand(part.b, info.src);
  ops += ", " + FormatOperand(part.dst, info.dst);
  return Line(info.mnemonic, ops);
}

std::string FormatInstruction(const DecodedInsn& d, uint32_t pc) {
  if (d.format == Format::Parallel && d.parallelValid)
    return FormatParallelPart(d.parallel[0]) + " || " + FormatParallelPart(d.parallel[1]);
  if (!d.supported || !d.info) {
    char buf[96];
    std::snprintf(buf, sizeof buf, ".word   0x%08X  ; %s", d.word, d.reason);
    return buf;
  }
  const InsnInfo& info = *d.info;
  const std::string mnemonic = MnemonicText(d);
  switch (d.format) {
    case Format::General:
      return Line(mnemonic, FormatOperand(d.src, info.src) + ", " + RegText(d.dst));
    case Format::CondLoad:
      // LDP is the page-number load LDIU imm8, DP; shown as the address of the page.
      if (d.op == Op::LDIcond && d.cond == 0 && d.dst == kDP && d.src.mode == AddrMode::Immediate &&
          d.src.raw <= 0xFF)
        return Line("LDP", std::string(1, '@').append(Hex(uint32_t{d.src.raw} << 16, 6)));
      return Line(mnemonic, FormatOperand(d.src, info.src) + ", " + RegText(d.dst));
    case Format::Store:
      return Line(mnemonic, RegText(d.dst) + ", " + FormatOperand(d.src, info.src));
    case Format::Register:
      return Line(mnemonic, RegText(d.dst));
    case Format::NoOperand:
    case Format::CondReturn:
      return mnemonic;
    case Format::Repeat:
    case Format::Iack:
      return Line(mnemonic, FormatOperand(d.src, info.src));
    case Format::Nop:
      if (d.src.mode == AddrMode::Register && d.src.reg == 0) return mnemonic;
      return Line(mnemonic, FormatOperand(d.src, info.src));
    case Format::ThreeOperand: {
      std::string ops = FormatOperand(d.src, info.src) + ", " + FormatOperand(d.src1, info.src);
      if (d.hasDst) ops += ", " + RegText(d.dst);
      return Line(mnemonic, ops);
    }
    case Format::Branch24:
      return Line(mnemonic, Hex(d.address, 6));
    case Format::CondBranch:
    case Format::DecBranch: {
      std::string target = d.pcRelative ? Hex(BranchTarget(d, pc), 6) : RegText(d.src.reg);
      if (d.format == Format::DecBranch) target = RegText(kAR0 + d.dst) + ", " + target;
      return Line(mnemonic, target);
    }
    case Format::Trap:
      return Line(mnemonic, std::to_string(d.address));
    case Format::Illegal:
    case Format::Parallel:
      break;
  }
  return {};
}

std::string Disassemble(uint32_t word, uint32_t pc) {
  return FormatInstruction(Decode(word), pc);
}

}  // namespace velmora::c3x
