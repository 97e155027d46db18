// Turns instruction words into TI-syntax text that the assembler accepts again.
#pragma once

#include <cstdint>
#include <string>

#include "c3x/Isa.h"

namespace velmora::c3x {

// One instruction as text, e.g. "LDI     *+AR0(1), R2"; a parallel instruction on one
// line, "LDF     *AR0, R0 || STF     R1, *AR1". PC-relative targets are
// printed as absolute addresses computed from pc. A word that does not decode to a
// supported instruction comes out as ".word 0x%08X" with the reason as a comment, so
// it still reassembles to itself.
std::string Disassemble(uint32_t word, uint32_t pc);
std::string FormatInstruction(const DecodedInsn& insn, uint32_t pc);

// Text of one decoded operand ("R3", "@0x1234", "*AR2++(IR0)%", "-5", "1.5").
std::string FormatOperand(const Operand& op, ValueKind kind);

// A double printed with the fewest digits that read back to the same value; always
// with a decimal point or an exponent so the assembler sees a float.
std::string FormatFloat(double value);

}  // namespace velmora::c3x
