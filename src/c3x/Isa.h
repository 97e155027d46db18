// The TMS320C3x instruction set as one table, shared by the assembler, the
// disassembler and the simulator core, and the decoder built on it.
//
// Encodings follow TI's C3x user's guide. Register numbers are the ones the
// instruction words carry (R0-R7 = 0-7, AR0-AR7 = 8-15, DP 16, IR0 17, IR1 18,
// BK 19, SP 20, ST 21, IE 22, IF 23, IOF 24, RS 25, RE 26, RC 27).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace velmora::c3x {

// One entry per instruction (per mnemonic pattern). Conditional families
// (LDFcond, Bcond, ...) are one entry each; the condition is a field.
enum class Op : uint8_t {
  Invalid = 0,
  // General two-operand format (bits 31-29 = 000).
  ABSF,
  ABSI,
  ADDC,
  ADDF,
  ADDI,
  AND,
  ANDN,
  ASH,
  CMPF,
  CMPI,
  FIX,
  FLOAT,
  IDLE,
  IDLE2,
  LDE,
  LDF,
  LDFI,
  LDI,
  LDII,
  LDM,
  LSH,
  MPYF,
  MPYI,
  NEGB,
  NEGF,
  NEGI,
  NOP,
  NORM,
  NOT,
  POP,
  POPF,
  PUSH,
  PUSHF,
  OR,
  LOPOWER,
  MAXSPEED,
  RND,
  ROL,
  ROLC,
  ROR,
  RORC,
  RPTS,
  STF,
  STFI,
  STI,
  STII,
  SIGI,
  SUBB,
  SUBC,
  SUBF,
  SUBI,
  SUBRB,
  SUBRF,
  SUBRI,
  TSTB,
  XOR,
  IACK,
  // Three-operand format (bits 31-29 = 001).
  ADDC3,
  ADDF3,
  ADDI3,
  AND3,
  ANDN3,
  ASH3,
  CMPF3,
  CMPI3,
  LSH3,
  MPYF3,
  MPYI3,
  OR3,
  SUBB3,
  SUBF3,
  SUBI3,
  TSTB3,
  XOR3,
  // Conditional loads (bits 31-29 = 010). LDP is LDIcond U with DP as destination.
  LDFcond,
  LDIcond,
  // Program control (bits 31-29 = 011).
  BR,
  BRD,
  CALL,
  RPTB,
  SWI,
  Bcond,
  BcondD,
  DBcond,
  DBcondD,
  CALLcond,
  TRAPcond,
  RETIcond,
  RETScond,
  // Parallel instructions (bits 31-30 = 10: multiply with add/subtract; 11: with store).
  // Decoded and assembled, but Decode() reports them with supported = false: the halves
  // are in DecodedInsn::parallel for a consumer that executes them.
  MPYF3_ADDF3,
  MPYF3_SUBF3,
  MPYI3_ADDI3,
  MPYI3_SUBI3,
  STF_STF,
  STI_STI,
  LDF_LDF,
  LDI_LDI,
  ABSF_STF,
  ABSI_STI,
  ADDF3_STF,
  ADDI3_STI,
  AND3_STI,
  ASH3_STI,
  FIX_STI,
  FLOAT_STF,
  LDF_STF,
  LDI_STI,
  LSH3_STI,
  MPYF3_STF,
  MPYI3_STI,
  NEGF_STF,
  NEGI_STI,
  NOT_STI,
  OR3_STI,
  SUBF3_STF,
  SUBI3_STI,
  XOR3_STI,
  Count
};

enum class Format : uint8_t {
  Illegal,       // no instruction has this encoding
  Parallel,      // bits 31-30 = 10 or 11: two instructions in one word (see ParallelPart)
  General,       // src (register, direct, indirect, immediate), dst register
  Store,         // STF/STI/STFI/STII: register (bits 20-16) to memory (direct, indirect)
  Register,      // PUSH, POP, ROL...: one register in bits 20-16
  NoOperand,     // IDLE, SIGI, SWI, LOPOWER, ...
  Repeat,        // RPTS src (destination field fixed to RC)
  Nop,           // NOP [register | indirect]
  Iack,          // IACK direct | indirect
  ThreeOperand,  // op src2, src1[, dst]; each source register or indirect (no displacement)
  CondLoad,      // LDFcond / LDIcond: general source, dst register, condition bits 27-23
  Branch24,      // BR, BRD, CALL, RPTB: 24-bit absolute address
  CondBranch,    // Bcond[D], CALLcond: register or 16-bit PC-relative displacement
  DecBranch,     // DBcond[D] ARn, register or displacement
  Trap,          // TRAPcond N
  CondReturn,    // RETIcond, RETScond
};

// Addressing mode of an operand as decoded.
enum class AddrMode : uint8_t {
  None,
  Register,    // reg
  Direct,      // @addr: DP:16-bit address
  Indirect,    // *ARn with modification mod, displacement disp
  Immediate,   // 16-bit immediate (signed, unsigned or short float by instruction)
  PcRelative,  // branch displacement (16 bits signed)
  Absolute,    // 24-bit address (BR, CALL, RPTB)
};

// How an instruction reads a 16-bit immediate and which registers it takes.
enum class ValueKind : uint8_t {
  None,
  Int,    // integer: immediates sign-extended, any register 0-27
  UInt,   // integer: immediates zero-extended, any register 0-27
  Float,  // floating point: immediates are short floats, registers R0-R7 only
};

// Bit mask of the addressing modes a general-format instruction accepts.
enum ModeMask : uint8_t {
  kModeRegister = 1,
  kModeDirect = 2,
  kModeIndirect = 4,
  kModeImmediate = 8,
  kModeAll = 15,
};

struct InsnInfo {
  Op op;
  std::string_view mnemonic;  // base mnemonic: "LDF" for LDFcond, "B" for Bcond, ...
  uint32_t opcode;            // fixed bits
  uint32_t mask;              // bits fixed by opcode
  Format format;
  uint8_t modes;  // ModeMask of source modes (General, CondLoad, Store, Nop, ...)
  ValueKind src;  // what the source is read as
  ValueKind dst;  // destination register class (None: no destination)
  bool delayed;   // delayed branch (three more instructions run first)
};

// How the fields of a parallel word are laid out.
enum class ParallelKind : uint8_t {
  MultiplyAdd,   // MPYx3 || ADDx3/SUBx3: P (bits 25-24) selects the operand routing
  LoadLoad,      // LDx || LDx
  StoreStore,    // STx || STx
  UnaryStore,    // ABSF, FIX, LDF, NEGI, NOT, ... || STx
  ThreeOpStore,  // ADDF3, ASH3, SUBI3, ... || STx (register first, then indirect)
};

struct ParallelInfo {
  Op op;
  ParallelKind kind;
  Op first;          // left of "||"
  Op second;         // right of "||"
  bool commutative;  // ThreeOpStore: the two sources may be written in either order
};

std::span<const ParallelInfo> ParallelTable();
const ParallelInfo* ParallelInfoOf(Op op);  // nullptr for non-parallel ops

// The table, in Op order (row i describes Op(i + 1)).
std::span<const InsnInfo> InstructionTable();
const InsnInfo& Info(Op op);

inline constexpr int kRegisterCount = 28;
// "R0".."RC"; nullptr for numbers above 27.
const char* RegisterName(unsigned reg);
// Case-insensitive; std::nullopt if not a register name.
std::optional<uint8_t> ParseRegister(std::string_view name);

enum Reg : uint8_t {
  kR0 = 0,
  kR7 = 7,
  kAR0 = 8,
  kAR7 = 15,
  kDP = 16,
  kIR0 = 17,
  kIR1 = 18,
  kBK = 19,
  kSP = 20,
  kST = 21,
  kIE = 22,
  kIF = 23,
  kIOF = 24,
  kRS = 25,
  kRE = 26,
  kRC = 27,
};

// Condition codes (5 bits): U 0, LO 1, LS 2, HI 3, HS 4, EQ 5, NE 6, LT 7, LE 8, GT 9, GE 10,
// NV 12, V 13, NUF 14, UF 15, NLV 16, LV 17, NLUF 18, LUF 19, ZUF 20.
bool IsValidCondition(unsigned cond);
// Primary name ("U", "LO", ...); nullptr for invalid codes.
const char* ConditionName(unsigned cond);
// Accepts the primary names and TI's aliases (C, NC, Z, NZ, N, P, NN); case-insensitive.
std::optional<uint8_t> ParseCondition(std::string_view name);

// Indirect modification codes (5 bits).
enum IndirectMod : uint8_t {
  kModAddDisp = 0x00,       // *+ARn(disp)
  kModSubDisp = 0x01,       // *-ARn(disp)
  kModPreIncDisp = 0x02,    // *++ARn(disp)
  kModPreDecDisp = 0x03,    // *--ARn(disp)
  kModPostIncDisp = 0x04,   // *ARn++(disp)
  kModPostDecDisp = 0x05,   // *ARn--(disp)
  kModPostIncDispC = 0x06,  // *ARn++(disp)%
  kModPostDecDispC = 0x07,  // *ARn--(disp)%
  kModIr0Base = 0x08,       // 0x08-0x0F: the same eight forms with IR0
  kModIr1Base = 0x10,       // 0x10-0x17: the same eight forms with IR1
  kModPlain = 0x18,         // *ARn
  kModBitReversed = 0x19,   // *ARn++(IR0)B
  kModMax = 0x19,
};
inline bool IsValidIndirectMod(unsigned mod) {
  return mod <= kModMax;
}
// True when the modification code uses the 8-bit displacement field.
inline bool ModUsesDisplacement(unsigned mod) {
  return mod < kModIr0Base;
}

struct Operand {
  AddrMode mode = AddrMode::None;
  uint8_t reg = 0;    // Register: register number
  uint8_t ar = 0;     // Indirect: auxiliary register 0-7 (AR0-AR7)
  uint8_t mod = 0;    // Indirect: modification code
  uint8_t disp = 0;   // Indirect: displacement (1 implied in three-operand and parallel forms)
  uint16_t raw = 0;   // Direct: low 16 bits of the address; Immediate: the 16 encoded bits
  int32_t value = 0;  // Immediate: sign-extended (Int) or zero-extended (UInt/Float) raw
};

// One half of a parallel instruction, operands as written in TI's syntax. For the
// three-operand operations (MPYF3, ADDI3, SUBF3, ASH3, ...) the result is b OP a,
// as with src/src1 of the ThreeOperand format (SUBF3 a, b, dst: dst = b - a).
// Loads and unary operations use a only; stores read register a into memory dst.
struct ParallelPart {
  Op op = Op::Invalid;  // the single instruction: Op::MPYF3, Op::STI, Op::LDF, Op::ABSF, ...
  Operand a;
  Operand b;
  Operand dst;  // Register (R0-R7), or Indirect for stores
};

struct DecodedInsn {
  uint32_t word = 0;
  Op op = Op::Invalid;
  Format format = Format::Illegal;
  const InsnInfo* info = nullptr;  // nullptr when op is Invalid
  bool supported = false;          // false: illegal, reserved bits set, or parallel
  const char* reason = "";         // why not supported (static text)

  uint8_t dst = 0;  // destination register; Store: the stored register; DecBranch: ARn (0-7)
  Operand src;      // General/CondLoad/Store memory/Repeat/Nop/Iack source; ThreeOperand src2
  Operand src1;     // ThreeOperand: src1 (bits 15-8)
  bool hasDst = false;

  uint8_t cond = 0;      // CondLoad, CondBranch, DecBranch, Trap, CondReturn
  bool delayed = false;  // BRD, BcondD, DBcondD
  bool pcRelative = false;
  int32_t displacement = 0;  // PcRelative: signed 16-bit displacement
  uint32_t address = 0;      // Branch24: the 24-bit address; Trap: the trap number N

  // Format::Parallel: the two halves as written (left and right of "||"), filled in
  // when parallelValid. Such words still have supported = false.
  bool parallelValid = false;
  ParallelPart parallel[2];
};

// Decodes one instruction word. Cheap: a table look-up on the top 11 bits and field
// extraction; no allocation.
DecodedInsn Decode(uint32_t word);

// Target of a PC-relative branch at address pc: pc + 1 + displacement, or pc + 3 +
// displacement for delayed forms (24-bit wrap-around).
uint32_t BranchTarget(const DecodedInsn& insn, uint32_t pc);

// Mnemonic as written for this decoded instruction ("LDFGT", "BNED", "ADDI3", ...).
std::string MnemonicText(const DecodedInsn& insn);

}  // namespace velmora::c3x
