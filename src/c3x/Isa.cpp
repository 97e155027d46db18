#include "c3x/Isa.h"

#include <array>
#include <cctype>
#include <vector>

namespace velmora::c3x {
namespace {

using enum ValueKind;
constexpr uint8_t R = kModeRegister, D = kModeDirect, I = kModeIndirect;
constexpr uint8_t kAll = kModeAll, kMem = D | I;
constexpr uint32_t kGen = 0xFF800000;  // bits 31-23 select a general or three-operand opcode

// Row i describes Op(i + 1); the order must follow enum class Op.
constexpr InsnInfo kTable[] = {
    {Op::ABSF, "ABSF", 0x00000000, kGen, Format::General, kAll, Float, Float, false},
    {Op::ABSI, "ABSI", 0x00800000, kGen, Format::General, kAll, Int, Int, false},
    {Op::ADDC, "ADDC", 0x01000000, kGen, Format::General, kAll, Int, Int, false},
    {Op::ADDF, "ADDF", 0x01800000, kGen, Format::General, kAll, Float, Float, false},
    {Op::ADDI, "ADDI", 0x02000000, kGen, Format::General, kAll, Int, Int, false},
    {Op::AND, "AND", 0x02800000, kGen, Format::General, kAll, UInt, Int, false},
    {Op::ANDN, "ANDN", 0x03000000, kGen, Format::General, kAll, UInt, Int, false},
    {Op::ASH, "ASH", 0x03800000, kGen, Format::General, kAll, Int, Int, false},
    {Op::CMPF, "CMPF", 0x04000000, kGen, Format::General, kAll, Float, Float, false},
    {Op::CMPI, "CMPI", 0x04800000, kGen, Format::General, kAll, Int, Int, false},
    {Op::FIX, "FIX", 0x05000000, kGen, Format::General, kAll, Float, Int, false},
    {Op::FLOAT, "FLOAT", 0x05800000, kGen, Format::General, kAll, Int, Float, false},
    {Op::IDLE, "IDLE", 0x06000000, 0xFFFFFFFF, Format::NoOperand, 0, None, None, false},
    {Op::IDLE2, "IDLE2", 0x06000001, 0xFFFFFFFF, Format::NoOperand, 0, None, None, false},
    {Op::LDE, "LDE", 0x06800000, kGen, Format::General, kAll, Float, Float, false},
    {Op::LDF, "LDF", 0x07000000, kGen, Format::General, kAll, Float, Float, false},
    {Op::LDFI, "LDFI", 0x07800000, kGen, Format::General, kMem, Float, Float, false},
    {Op::LDI, "LDI", 0x08000000, kGen, Format::General, kAll, Int, Int, false},
    {Op::LDII, "LDII", 0x08800000, kGen, Format::General, kMem, Int, Int, false},
    {Op::LDM, "LDM", 0x09000000, kGen, Format::General, kAll, Float, Float, false},
    {Op::LSH, "LSH", 0x09800000, kGen, Format::General, kAll, Int, Int, false},
    {Op::MPYF, "MPYF", 0x0A000000, kGen, Format::General, kAll, Float, Float, false},
    {Op::MPYI, "MPYI", 0x0A800000, kGen, Format::General, kAll, Int, Int, false},
    {Op::NEGB, "NEGB", 0x0B000000, kGen, Format::General, kAll, Int, Int, false},
    {Op::NEGF, "NEGF", 0x0B800000, kGen, Format::General, kAll, Float, Float, false},
    {Op::NEGI, "NEGI", 0x0C000000, kGen, Format::General, kAll, Int, Int, false},
    {Op::NOP, "NOP", 0x0C800000, kGen, Format::Nop, R | I, Int, None, false},
    {Op::NORM, "NORM", 0x0D000000, kGen, Format::General, kAll, Float, Float, false},
    {Op::NOT, "NOT", 0x0D800000, kGen, Format::General, kAll, UInt, Int, false},
    {Op::POP, "POP", 0x0E200000, 0xFFE0FFFF, Format::Register, 0, None, Int, false},
    {Op::POPF, "POPF", 0x0EA00000, 0xFFE0FFFF, Format::Register, 0, None, Float, false},
    {Op::PUSH, "PUSH", 0x0F200000, 0xFFE0FFFF, Format::Register, 0, None, Int, false},
    {Op::PUSHF, "PUSHF", 0x0FA00000, 0xFFE0FFFF, Format::Register, 0, None, Float, false},
    {Op::OR, "OR", 0x10000000, kGen, Format::General, kAll, UInt, Int, false},
    {Op::LOPOWER, "LOPOWER", 0x10800001, 0xFFFFFFFF, Format::NoOperand, 0, None, None, false},
    {Op::MAXSPEED, "MAXSPEED", 0x10800000, 0xFFFFFFFF, Format::NoOperand, 0, None, None, false},
    {Op::RND, "RND", 0x11000000, kGen, Format::General, kAll, Float, Float, false},
    {Op::ROL, "ROL", 0x11E00001, 0xFFE0FFFF, Format::Register, 0, None, Int, false},
    {Op::ROLC, "ROLC", 0x12600001, 0xFFE0FFFF, Format::Register, 0, None, Int, false},
    {Op::ROR, "ROR", 0x12E0FFFF, 0xFFE0FFFF, Format::Register, 0, None, Int, false},
    {Op::RORC, "RORC", 0x1360FFFF, 0xFFE0FFFF, Format::Register, 0, None, Int, false},
    {Op::RPTS, "RPTS", 0x139B0000, 0xFF9F0000, Format::Repeat, kAll, UInt, None, false},
    {Op::STF, "STF", 0x14000000, kGen, Format::Store, kMem, Float, Float, false},
    {Op::STFI, "STFI", 0x14800000, kGen, Format::Store, kMem, Float, Float, false},
    {Op::STI, "STI", 0x15000000, kGen, Format::Store, kMem, Int, Int, false},
    {Op::STII, "STII", 0x15800000, kGen, Format::Store, kMem, Int, Int, false},
    {Op::SIGI, "SIGI", 0x16000000, 0xFFFFFFFF, Format::NoOperand, 0, None, None, false},
    {Op::SUBB, "SUBB", 0x16800000, kGen, Format::General, kAll, Int, Int, false},
    {Op::SUBC, "SUBC", 0x17000000, kGen, Format::General, kAll, Int, Int, false},
    {Op::SUBF, "SUBF", 0x17800000, kGen, Format::General, kAll, Float, Float, false},
    {Op::SUBI, "SUBI", 0x18000000, kGen, Format::General, kAll, Int, Int, false},
    {Op::SUBRB, "SUBRB", 0x18800000, kGen, Format::General, kAll, Int, Int, false},
    {Op::SUBRF, "SUBRF", 0x19000000, kGen, Format::General, kAll, Float, Float, false},
    {Op::SUBRI, "SUBRI", 0x19800000, kGen, Format::General, kAll, Int, Int, false},
    {Op::TSTB, "TSTB", 0x1A000000, kGen, Format::General, kAll, UInt, Int, false},
    {Op::XOR, "XOR", 0x1A800000, kGen, Format::General, kAll, UInt, Int, false},
    {Op::IACK, "IACK", 0x1B000000, kGen, Format::Iack, kMem, Int, None, false},

    {Op::ADDC3, "ADDC3", 0x20000000, kGen, Format::ThreeOperand, R | I, Int, Int, false},
    {Op::ADDF3, "ADDF3", 0x20800000, kGen, Format::ThreeOperand, R | I, Float, Float, false},
    {Op::ADDI3, "ADDI3", 0x21000000, kGen, Format::ThreeOperand, R | I, Int, Int, false},
    {Op::AND3, "AND3", 0x21800000, kGen, Format::ThreeOperand, R | I, UInt, Int, false},
    {Op::ANDN3, "ANDN3", 0x22000000, kGen, Format::ThreeOperand, R | I, UInt, Int, false},
    {Op::ASH3, "ASH3", 0x22800000, kGen, Format::ThreeOperand, R | I, Int, Int, false},
    {Op::CMPF3, "CMPF3", 0x23000000, kGen, Format::ThreeOperand, R | I, Float, None, false},
    {Op::CMPI3, "CMPI3", 0x23800000, kGen, Format::ThreeOperand, R | I, Int, None, false},
    {Op::LSH3, "LSH3", 0x24000000, kGen, Format::ThreeOperand, R | I, Int, Int, false},
    {Op::MPYF3, "MPYF3", 0x24800000, kGen, Format::ThreeOperand, R | I, Float, Float, false},
    {Op::MPYI3, "MPYI3", 0x25000000, kGen, Format::ThreeOperand, R | I, Int, Int, false},
    {Op::OR3, "OR3", 0x25800000, kGen, Format::ThreeOperand, R | I, UInt, Int, false},
    {Op::SUBB3, "SUBB3", 0x26000000, kGen, Format::ThreeOperand, R | I, Int, Int, false},
    {Op::SUBF3, "SUBF3", 0x26800000, kGen, Format::ThreeOperand, R | I, Float, Float, false},
    {Op::SUBI3, "SUBI3", 0x27000000, kGen, Format::ThreeOperand, R | I, Int, Int, false},
    {Op::TSTB3, "TSTB3", 0x27800000, kGen, Format::ThreeOperand, R | I, UInt, None, false},
    {Op::XOR3, "XOR3", 0x28000000, kGen, Format::ThreeOperand, R | I, UInt, Int, false},

    {Op::LDFcond, "LDF", 0x40000000, 0xF0000000, Format::CondLoad, kAll, Float, Float, false},
    {Op::LDIcond, "LDI", 0x50000000, 0xF0000000, Format::CondLoad, kAll, Int, Int, false},

    {Op::BR, "BR", 0x60000000, 0xFF000000, Format::Branch24, 0, None, None, false},
    {Op::BRD, "BRD", 0x61000000, 0xFF000000, Format::Branch24, 0, None, None, true},
    {Op::CALL, "CALL", 0x62000000, 0xFF000000, Format::Branch24, 0, None, None, false},
    {Op::RPTB, "RPTB", 0x64000000, 0xFF000000, Format::Branch24, 0, None, None, false},
    {Op::SWI, "SWI", 0x66000000, 0xFFFFFFFF, Format::NoOperand, 0, None, None, false},
    {Op::Bcond, "B", 0x68000000, 0xFC200000, Format::CondBranch, R, Int, None, false},
    {Op::BcondD, "B", 0x68200000, 0xFC200000, Format::CondBranch, R, Int, None, true},
    {Op::DBcond, "DB", 0x6C000000, 0xFC200000, Format::DecBranch, R, Int, None, false},
    {Op::DBcondD, "DB", 0x6C200000, 0xFC200000, Format::DecBranch, R, Int, None, true},
    {Op::CALLcond, "CALL", 0x70000000, 0xFC000000, Format::CondBranch, R, Int, None, false},
    {Op::TRAPcond, "TRAP", 0x74000000, 0xFFE00000, Format::Trap, 0, None, None, false},
    {Op::RETIcond, "RETI", 0x78000000, 0xFFE00000, Format::CondReturn, 0, None, None, false},
    {Op::RETScond, "RETS", 0x78800000, 0xFFE00000, Format::CondReturn, 0, None, None, false},
    {Op::MPYF3_ADDF3, "MPYF3||ADDF3", 0x80000000, 0xFC000000, Format::Parallel, 0, Float, Float,
     false},
    {Op::MPYF3_SUBF3, "MPYF3||SUBF3", 0x84000000, 0xFC000000, Format::Parallel, 0, Float, Float,
     false},
    {Op::MPYI3_ADDI3, "MPYI3||ADDI3", 0x88000000, 0xFC000000, Format::Parallel, 0, Int, Int, false},
    {Op::MPYI3_SUBI3, "MPYI3||SUBI3", 0x8C000000, 0xFC000000, Format::Parallel, 0, Int, Int, false},
    {Op::STF_STF, "STF||STF", 0xC0000000, 0xFE000000, Format::Parallel, 0, Float, Float, false},
    {Op::STI_STI, "STI||STI", 0xC2000000, 0xFE000000, Format::Parallel, 0, Int, Int, false},
    {Op::LDF_LDF, "LDF||LDF", 0xC4000000, 0xFE000000, Format::Parallel, 0, Float, Float, false},
    {Op::LDI_LDI, "LDI||LDI", 0xC6000000, 0xFE000000, Format::Parallel, 0, Int, Int, false},
    {Op::ABSF_STF, "ABSF||STF", 0xC8000000, 0xFE000000, Format::Parallel, 0, Float, Float, false},
    {Op::ABSI_STI, "ABSI||STI", 0xCA000000, 0xFE000000, Format::Parallel, 0, Int, Int, false},
    {Op::ADDF3_STF, "ADDF3||STF", 0xCC000000, 0xFE000000, Format::Parallel, 0, Float, Float, false},
    {Op::ADDI3_STI, "ADDI3||STI", 0xCE000000, 0xFE000000, Format::Parallel, 0, Int, Int, false},
    {Op::AND3_STI, "AND3||STI", 0xD0000000, 0xFE000000, Format::Parallel, 0, Int, Int, false},
    {Op::ASH3_STI, "ASH3||STI", 0xD2000000, 0xFE000000, Format::Parallel, 0, Int, Int, false},
    {Op::FIX_STI, "FIX||STI", 0xD4000000, 0xFE000000, Format::Parallel, 0, Float, Float, false},
    {Op::FLOAT_STF, "FLOAT||STF", 0xD6000000, 0xFE000000, Format::Parallel, 0, Int, Int, false},
    {Op::LDF_STF, "LDF||STF", 0xD8000000, 0xFE000000, Format::Parallel, 0, Float, Float, false},
    {Op::LDI_STI, "LDI||STI", 0xDA000000, 0xFE000000, Format::Parallel, 0, Int, Int, false},
    {Op::LSH3_STI, "LSH3||STI", 0xDC000000, 0xFE000000, Format::Parallel, 0, Int, Int, false},
    {Op::MPYF3_STF, "MPYF3||STF", 0xDE000000, 0xFE000000, Format::Parallel, 0, Float, Float, false},
    {Op::MPYI3_STI, "MPYI3||STI", 0xE0000000, 0xFE000000, Format::Parallel, 0, Int, Int, false},
    {Op::NEGF_STF, "NEGF||STF", 0xE2000000, 0xFE000000, Format::Parallel, 0, Float, Float, false},
    {Op::NEGI_STI, "NEGI||STI", 0xE4000000, 0xFE000000, Format::Parallel, 0, Int, Int, false},
    {Op::NOT_STI, "NOT||STI", 0xE6000000, 0xFE000000, Format::Parallel, 0, Int, Int, false},
    {Op::OR3_STI, "OR3||STI", 0xE8000000, 0xFE000000, Format::Parallel, 0, Int, Int, false},
    {Op::SUBF3_STF, "SUBF3||STF", 0xEA000000, 0xFE000000, Format::Parallel, 0, Float, Float, false},
    {Op::SUBI3_STI, "SUBI3||STI", 0xEC000000, 0xFE000000, Format::Parallel, 0, Int, Int, false},
    {Op::XOR3_STI, "XOR3||STI", 0xEE000000, 0xFE000000, Format::Parallel, 0, Int, Int, false},
};
static_assert(std::size(kTable) == static_cast<size_t>(Op::Count) - 1);

using enum ParallelKind;
constexpr ParallelInfo kParallel[] = {
    {Op::MPYF3_ADDF3, MultiplyAdd, Op::MPYF3, Op::ADDF3, true},
    {Op::MPYF3_SUBF3, MultiplyAdd, Op::MPYF3, Op::SUBF3, false},
    {Op::MPYI3_ADDI3, MultiplyAdd, Op::MPYI3, Op::ADDI3, true},
    {Op::MPYI3_SUBI3, MultiplyAdd, Op::MPYI3, Op::SUBI3, false},
    {Op::STF_STF, StoreStore, Op::STF, Op::STF, false},
    {Op::STI_STI, StoreStore, Op::STI, Op::STI, false},
    {Op::LDF_LDF, LoadLoad, Op::LDF, Op::LDF, false},
    {Op::LDI_LDI, LoadLoad, Op::LDI, Op::LDI, false},
    {Op::ABSF_STF, UnaryStore, Op::ABSF, Op::STF, false},
    {Op::ABSI_STI, UnaryStore, Op::ABSI, Op::STI, false},
    {Op::ADDF3_STF, ThreeOpStore, Op::ADDF3, Op::STF, true},
    {Op::ADDI3_STI, ThreeOpStore, Op::ADDI3, Op::STI, true},
    {Op::AND3_STI, ThreeOpStore, Op::AND3, Op::STI, true},
    {Op::ASH3_STI, ThreeOpStore, Op::ASH3, Op::STI, false},
    {Op::FIX_STI, UnaryStore, Op::FIX, Op::STI, false},
    {Op::FLOAT_STF, UnaryStore, Op::FLOAT, Op::STF, false},
    {Op::LDF_STF, UnaryStore, Op::LDF, Op::STF, false},
    {Op::LDI_STI, UnaryStore, Op::LDI, Op::STI, false},
    {Op::LSH3_STI, ThreeOpStore, Op::LSH3, Op::STI, false},
    {Op::MPYF3_STF, ThreeOpStore, Op::MPYF3, Op::STF, true},
    {Op::MPYI3_STI, ThreeOpStore, Op::MPYI3, Op::STI, true},
    {Op::NEGF_STF, UnaryStore, Op::NEGF, Op::STF, false},
    {Op::NEGI_STI, UnaryStore, Op::NEGI, Op::STI, false},
    {Op::NOT_STI, UnaryStore, Op::NOT, Op::STI, false},
    {Op::OR3_STI, ThreeOpStore, Op::OR3, Op::STI, true},
    {Op::SUBF3_STF, ThreeOpStore, Op::SUBF3, Op::STF, false},
    {Op::SUBI3_STI, ThreeOpStore, Op::SUBI3, Op::STI, false},
    {Op::XOR3_STI, ThreeOpStore, Op::XOR3, Op::STI, true},
};
constexpr size_t kFirstParallel = static_cast<size_t>(Op::MPYF3_ADDF3);
static_assert(std::size(kParallel) == static_cast<size_t>(Op::Count) - kFirstParallel);

constexpr bool TableInOpOrder() {
  for (size_t i = 0; i < std::size(kTable); ++i)
    if (static_cast<size_t>(kTable[i].op) != i + 1) return false;
  for (size_t i = 0; i < std::size(kParallel); ++i)
    if (static_cast<size_t>(kParallel[i].op) != kFirstParallel + i) return false;
  return true;
}
static_assert(TableInOpOrder(), "kTable rows must follow enum class Op");

constexpr const char* kRegNames[kRegisterCount] = {
    "R0",  "R1",  "R2", "R3",  "R4",  "R5", "R6", "R7", "AR0", "AR1", "AR2", "AR3", "AR4", "AR5",
    "AR6", "AR7", "DP", "IR0", "IR1", "BK", "SP", "ST", "IE",  "IF",  "IOF", "RS",  "RE",  "RC"};

constexpr const char* kCondNames[21] = {"U",   "LO", "LS",  "HI", "HS",    "EQ",  "NE",
                                        "LT",  "LE", "GT",  "GE", nullptr, "NV",  "V",
                                        "NUF", "UF", "NLV", "LV", "NLUF",  "LUF", "ZUF"};

// Dispatch on bits 31-21: for each prefix the first candidate row; rows sharing a prefix
// (IDLE/IDLE2, LOPOWER/MAXSPEED) are told apart by their full mask.
struct Dispatch {
  std::array<uint16_t, 2048> start{};  // first candidate in rows
  std::array<uint8_t, 2048> count{};
  std::vector<uint8_t> rows;  // indices into kTable
  Dispatch() {
    for (uint32_t p = 0; p < 2048; ++p) {
      start[p] = static_cast<uint16_t>(rows.size());
      const uint32_t w = p << 21;
      for (size_t i = 0; i < std::size(kTable); ++i) {
        const uint32_t m = kTable[i].mask & 0xFFE00000u;
        if ((w & m) == (kTable[i].opcode & m)) rows.push_back(static_cast<uint8_t>(i));
      }
      count[p] = static_cast<uint8_t>(rows.size() - start[p]);
    }
  }
};

const Dispatch& GetDispatch() {
  static const Dispatch d;
  return d;
}

DecodedInsn Refuse(DecodedInsn d, const char* why) {
  d.supported = false;
  d.reason = why;
  return d;
}

bool RegFits(unsigned reg, ValueKind kind) {
  return kind == ValueKind::Float ? reg <= kR7 : reg < kRegisterCount;
}

int32_t ImmediateValue(uint16_t raw, ValueKind kind) {
  return kind == ValueKind::Int ? static_cast<int16_t>(raw) : static_cast<int32_t>(raw);
}

// Decodes the 16-bit source field of the general format by G (bits 22-21).
// Returns nullptr when valid, else the reason.
const char* DecodeGeneralSource(uint32_t w, const InsnInfo& info, Operand& op) {
  const unsigned g = (w >> 21) & 3;
  const uint16_t field = static_cast<uint16_t>(w & 0xFFFF);
  switch (g) {
    case 0:
      if (!(info.modes & kModeRegister)) return "addressing mode not allowed";
      if (field & 0xFFE0) return "reserved bits set";
      op.mode = AddrMode::Register;
      op.reg = static_cast<uint8_t>(field & 0x1F);
      if (!RegFits(op.reg, info.src)) return "register not allowed";
      return nullptr;
    case 1:
      if (!(info.modes & kModeDirect)) return "addressing mode not allowed";
      op.mode = AddrMode::Direct;
      op.raw = field;
      return nullptr;
    case 2: {
      if (!(info.modes & kModeIndirect)) return "addressing mode not allowed";
      op.mode = AddrMode::Indirect;
      op.mod = static_cast<uint8_t>(field >> 11);
      op.ar = static_cast<uint8_t>((field >> 8) & 7);
      op.disp = static_cast<uint8_t>(field & 0xFF);
      if (!IsValidIndirectMod(op.mod)) return "reserved indirect modification";
      if (!ModUsesDisplacement(op.mod) && op.disp != 0) return "reserved bits set";
      return nullptr;
    }
    default:
      if (!(info.modes & kModeImmediate)) return "addressing mode not allowed";
      op.mode = AddrMode::Immediate;
      op.raw = field;
      op.value = ImmediateValue(field, info.src);
      // Exponent -8 means zero; TI's tools write zero as 0x8000 only.
      if (info.src == ValueKind::Float && (field & 0xF000) == 0x8000 && field != 0x8000)
        return "non-canonical short float zero";
      return nullptr;
  }
}

// Three-operand source field: 8 bits, register (000rrrrr) or indirect (mmmmmaaa).
const char* DecodeThreeOpSource(unsigned field, bool indirect, ValueKind kind, Operand& op) {
  if (indirect) {
    op.mode = AddrMode::Indirect;
    op.mod = static_cast<uint8_t>(field >> 3);
    op.ar = static_cast<uint8_t>(field & 7);
    op.disp = ModUsesDisplacement(op.mod) ? 1 : 0;
    if (!IsValidIndirectMod(op.mod)) return "reserved indirect modification";
    return nullptr;
  }
  if (field & 0xE0) return "reserved bits set";
  op.mode = AddrMode::Register;
  op.reg = static_cast<uint8_t>(field);
  if (!RegFits(op.reg, kind)) return "register not allowed";
  return nullptr;
}

// Operand in an 8-bit parallel field: indirect (mmmmmaaa, displacement 1 implied).
const char* ParallelIndirect(unsigned field, Operand& op) {
  op.mode = AddrMode::Indirect;
  op.mod = static_cast<uint8_t>(field >> 3);
  op.ar = static_cast<uint8_t>(field & 7);
  op.disp = ModUsesDisplacement(op.mod) ? 1 : 0;
  return IsValidIndirectMod(op.mod) ? nullptr : "reserved indirect modification";
}

Operand ParallelReg(unsigned reg) {
  Operand op;
  op.mode = AddrMode::Register;
  op.reg = static_cast<uint8_t>(reg & 7);
  return op;
}

DecodedInsn DecodeParallel(DecodedInsn d, const ParallelInfo& p) {
  const uint32_t w = d.word;
  ParallelPart& x = d.parallel[0];
  ParallelPart& y = d.parallel[1];
  x.op = p.first;
  y.op = p.second;
  Operand ind15, ind7;  // indirect fields at bits 15-8 and 7-0
  const char* why = ParallelIndirect((w >> 8) & 0xFF, ind15);
  if (const char* w2 = ParallelIndirect(w & 0xFF, ind7); !why) why = w2;
  if (why) return Refuse(d, why);
  const Operand r24 = ParallelReg(w >> 22), r21 = ParallelReg(w >> 19), r18 = ParallelReg(w >> 16);
  switch (p.kind) {
    case ParallelKind::MultiplyAdd: {
      // src1 = bits 21-19, src2 = 18-16, src3 = 15-8, src4 = 7-0.
      x.dst = ParallelReg((w >> 23) & 1);        // R0 or R1
      y.dst = ParallelReg(2 + ((w >> 22) & 1));  // R2 or R3
      switch ((w >> 24) & 3) {
        case 0:
          x.a = ind7, x.b = ind15, y.a = r18, y.b = r21;
          break;  // src3*src4, src1+-src2
        case 1:
          x.a = ind15, x.b = r21, y.a = r18, y.b = ind7;
          break;  // src3*src1, src4+-src2
        case 2:
          x.a = r18, x.b = r21, y.a = ind7, y.b = ind15;
          break;  // src1*src2, src3+-src4
        default:
          x.a = ind15, x.b = r21, y.a = ind7, y.b = r18;
          break;  // src3*src1, src2+-src4
      }
      break;
    }
    case ParallelKind::LoadLoad:
      if (w & 0x00070000) return Refuse(d, "reserved bits set");
      x.a = ind7, x.dst = r24;
      y.a = ind15, y.dst = r21;
      break;
    case ParallelKind::StoreStore:
      if (w & 0x00380000) return Refuse(d, "reserved bits set");
      x.a = r24, x.dst = ind7;
      y.a = r18, y.dst = ind15;
      break;
    case ParallelKind::UnaryStore:
      if (w & 0x00380000) return Refuse(d, "reserved bits set");
      x.a = ind7, x.dst = r24;
      y.a = r18, y.dst = ind15;
      break;
    case ParallelKind::ThreeOpStore:
      x.a = r21, x.b = ind7, x.dst = r24;
      y.a = r18, y.dst = ind15;
      break;
  }
  d.parallelValid = true;
  return Refuse(d, "parallel instruction");
}

DecodedInsn DecodeRow(uint32_t w, const InsnInfo& info) {
  DecodedInsn d;
  d.word = w;
  d.op = info.op;
  d.format = info.format;
  d.info = &info;
  d.delayed = info.delayed;
  const uint8_t dstField = static_cast<uint8_t>((w >> 16) & 0x1F);
  const char* why = nullptr;

  switch (info.format) {
    case Format::General:
    case Format::CondLoad:
      if (info.format == Format::CondLoad) {
        d.cond = static_cast<uint8_t>((w >> 23) & 0x1F);
        if (!IsValidCondition(d.cond)) return Refuse(d, "reserved condition code");
      }
      d.dst = dstField;
      d.hasDst = true;
      if (!RegFits(d.dst, info.dst)) return Refuse(d, "register not allowed");
      why = DecodeGeneralSource(w, info, d.src);
      break;
    case Format::Store:
      d.dst = dstField;  // the register being stored
      d.hasDst = true;
      if (!RegFits(d.dst, info.dst)) return Refuse(d, "register not allowed");
      why = DecodeGeneralSource(w, info, d.src);
      break;
    case Format::Register:
      d.dst = dstField;
      d.hasDst = true;
      if (!RegFits(d.dst, info.dst)) return Refuse(d, "register not allowed");
      break;
    case Format::NoOperand:
      break;
    case Format::Repeat:
      d.dst = kRC;
      why = DecodeGeneralSource(w, info, d.src);
      break;
    case Format::Nop:
    case Format::Iack:
      if (dstField != 0) return Refuse(d, "reserved bits set");
      why = DecodeGeneralSource(w, info, d.src);
      // Plain "NOP" is the register form with R0.
      break;
    case Format::ThreeOperand: {
      const unsigned t = (w >> 21) & 3;
      why = DecodeThreeOpSource(w & 0xFF, t & 2, info.src, d.src);
      if (!why) why = DecodeThreeOpSource((w >> 8) & 0xFF, t & 1, info.src, d.src1);
      if (!why) {
        if (info.dst == ValueKind::None) {
          if (dstField != 0) why = "reserved bits set";
        } else {
          d.dst = dstField;
          d.hasDst = true;
          if (!RegFits(d.dst, info.dst)) why = "register not allowed";
        }
      }
      break;
    }
    case Format::Branch24:
      d.address = w & 0xFFFFFF;
      d.src.mode = AddrMode::Absolute;
      break;
    case Format::CondBranch:
    case Format::DecBranch: {
      d.cond = static_cast<uint8_t>(dstField);
      if (!IsValidCondition(d.cond)) return Refuse(d, "reserved condition code");
      if (info.format == Format::DecBranch) {
        d.dst = static_cast<uint8_t>((w >> 22) & 7);
      } else {
        // Bcond: bits 24-22 zero; CALLcond: bits 24-21 zero.
        const uint32_t reserved = info.op == Op::CALLcond ? 0x01E00000u : 0x01C00000u;
        if (w & reserved) return Refuse(d, "reserved bits set");
      }
      if (w & (1u << 25)) {
        d.pcRelative = true;
        d.src.mode = AddrMode::PcRelative;
        d.src.raw = static_cast<uint16_t>(w & 0xFFFF);
        d.displacement = static_cast<int16_t>(w & 0xFFFF);
      } else {
        if (w & 0xFFE0) return Refuse(d, "reserved bits set");
        d.src.mode = AddrMode::Register;
        d.src.reg = static_cast<uint8_t>(w & 0x1F);
        if (d.src.reg >= kRegisterCount) return Refuse(d, "register not allowed");
      }
      break;
    }
    case Format::Trap:
      d.cond = dstField;
      if (!IsValidCondition(d.cond)) return Refuse(d, "reserved condition code");
      if ((w & 0xFFE0) != 0x0020) return Refuse(d, "reserved bits set");
      d.address = w & 0x1F;
      break;
    case Format::CondReturn:
      d.cond = dstField;
      if (!IsValidCondition(d.cond)) return Refuse(d, "reserved condition code");
      if (w & 0xFFFF) return Refuse(d, "reserved bits set");
      break;
    case Format::Parallel:
      return DecodeParallel(d, *ParallelInfoOf(info.op));
    case Format::Illegal:
      break;
  }
  if (why) return Refuse(d, why);
  d.supported = true;
  return d;
}

}  // namespace

std::span<const InsnInfo> InstructionTable() {
  return kTable;
}

std::span<const ParallelInfo> ParallelTable() {
  return kParallel;
}

const ParallelInfo* ParallelInfoOf(Op op) {
  const size_t i = static_cast<size_t>(op);
  if (i < kFirstParallel || i >= static_cast<size_t>(Op::Count)) return nullptr;
  return &kParallel[i - kFirstParallel];
}

const InsnInfo& Info(Op op) {
  const size_t i = static_cast<size_t>(op);
  return kTable[(i >= 1 && i <= std::size(kTable)) ? i - 1 : 0];
}

const char* RegisterName(unsigned reg) {
  return reg < kRegisterCount ? kRegNames[reg] : nullptr;
}

namespace {
bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) !=
        std::toupper(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}
}  // namespace

std::optional<uint8_t> ParseRegister(std::string_view name) {
  for (unsigned r = 0; r < kRegisterCount; ++r)
    if (EqualsNoCase(name, kRegNames[r])) return static_cast<uint8_t>(r);
  return std::nullopt;
}

bool IsValidCondition(unsigned cond) {
  return cond <= 20 && cond != 11;
}

const char* ConditionName(unsigned cond) {
  return cond <= 20 ? kCondNames[cond] : nullptr;
}

std::optional<uint8_t> ParseCondition(std::string_view name) {
  for (unsigned c = 0; c <= 20; ++c)
    if (kCondNames[c] && EqualsNoCase(name, kCondNames[c])) return static_cast<uint8_t>(c);
  static constexpr std::pair<std::string_view, uint8_t> kAliases[] = {
      {"C", 1}, {"NC", 4}, {"Z", 5}, {"NZ", 6}, {"N", 7}, {"P", 9}, {"NN", 10}};
  for (const auto& [alias, code] : kAliases)
    if (EqualsNoCase(name, alias)) return code;
  return std::nullopt;
}

DecodedInsn Decode(uint32_t word) {
  DecodedInsn d;
  d.word = word;
  const Dispatch& dispatch = GetDispatch();
  const uint32_t prefix = word >> 21;
  const uint16_t start = dispatch.start[prefix];
  for (unsigned k = 0; k < dispatch.count[prefix]; ++k) {
    const InsnInfo& info = kTable[dispatch.rows[start + k]];
    if ((word & info.mask) == info.opcode) return DecodeRow(word, info);
  }
  if (word & 0x80000000u) d.format = Format::Parallel;
  d.reason = "illegal instruction";
  return d;
}

uint32_t BranchTarget(const DecodedInsn& insn, uint32_t pc) {
  const uint32_t next = pc + (insn.delayed ? 3u : 1u);
  return (next + static_cast<uint32_t>(insn.displacement)) & 0xFFFFFF;
}

std::string MnemonicText(const DecodedInsn& insn) {
  if (!insn.info) return {};
  std::string text(insn.info->mnemonic);
  switch (insn.format) {
    case Format::CondLoad:
    case Format::CondBranch:
    case Format::DecBranch:
    case Format::Trap:
    case Format::CondReturn:
      if (const char* c = ConditionName(insn.cond)) text += c;
      if (insn.delayed) text += 'D';
      break;
    default:
      break;
  }
  return text;
}

}  // namespace velmora::c3x
