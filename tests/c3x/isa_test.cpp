#include "c3x/Isa.h"

#include <gtest/gtest.h>

#include <set>

#include "c3x/Disassembler.h"

using namespace velmora::c3x;

// Words whose encodings TI's C3x user's guide gives in its instruction descriptions.
TEST(IsaDecode, FixedWordsFromTheUsersGuide) {
  struct Case {
    uint32_t word;
    Op op;
  } cases[] = {
      {0x0C800000, Op::NOP},      {0x06000000, Op::IDLE},     {0x06000001, Op::IDLE2},
      {0x66000000, Op::SWI},      {0x16000000, Op::SIGI},     {0x10800001, Op::LOPOWER},
      {0x10800000, Op::MAXSPEED}, {0x78800000, Op::RETScond}, {0x78000000, Op::RETIcond},
  };
  for (const auto& c : cases) {
    const DecodedInsn d = Decode(c.word);
    EXPECT_TRUE(d.supported) << std::hex << c.word << " " << d.reason;
    EXPECT_EQ(d.op, c.op) << std::hex << c.word;
  }
}

// The fields of each format, shown through the disassembly at pc 0x100
// (PC-relative targets: pc + 1 + displacement, pc + 3 when delayed; the last
// word is MPYF3 || SUBF3 with P = 1: src3 * src1 and src4 - src2).
TEST(IsaDecode, FieldsOfEveryFormatAndAddressingMode) {
  const struct {
    uint32_t word;
    const char* text;
  } cases[] = {
      {0x08020001, "LDI     R1, R2"},
      {0x022B1234, "ADDI    @0x1234, AR3"},
      {0x07442205, "LDF     *AR2++(5), R4"},
      {0x0860FFFF, "LDI     -1, R0"},
      {0x02E0FFFF, "AND     0xFFFF, R0"},
      {0x60809800, "BR      0x809800"},
      {0x6A26FFFD, "BNED    0x000100"},
      {0x6F460010, "DBNE    AR5, 0x000111"},
      {0x70000000, "CALLU   R0"},
      {0x74000025, "TRAPU   5"},
      {0x13FB0063, "RPTS    0x63"},
      {0x50700080, "LDP     @0x800000"},
      {0x27220B07, "SUBI3   R7, *-AR3(1), R2"},
      {0x23800102, "CMPI3   R2, R1"},
  };
  for (const auto& c : cases) EXPECT_EQ(Disassemble(c.word, 0x100), c.text) << std::hex << c.word;
  EXPECT_EQ(Disassemble(0xDA002120, 0), "LDI     *AR0++(1), R0 || STI     R0, *AR1++(1)");
  EXPECT_EQ(Disassemble(0x85ECC0C1, 0), "MPYF3   *AR0, R5, R1 || SUBF3   R4, *AR1, R3");
  const DecodedInsn d = Decode(0x6A26FFFD);
  EXPECT_TRUE(d.delayed && d.pcRelative);
  EXPECT_EQ(BranchTarget(d, 0x100), 0x100u);
  EXPECT_EQ(Decode(0x0860FFFF).src.value, -1);  // signed immediate
  EXPECT_EQ(Decode(0x02E0FFFF).src.value, 0xFFFF);
  // CMPI3 has no destination: a non-zero destination field is refused.
  EXPECT_FALSE(Decode(0x23810102).supported);
  // Parallel words decode into their halves but are not claimed supported.
  EXPECT_FALSE(Decode(0xDA002120).supported);
  EXPECT_TRUE(Decode(0xDA002120).parallelValid);
}

TEST(IsaDecode, RefusesParallelIllegalAndReservedWords) {
  const uint32_t refused[] = {
      0xF0000000,  // parallel group beyond XOR3 || STI
      0x90000000,  // parallel multiply group beyond MPYI3 || SUBI3
      0xC4010000,  // LDF || LDF with reserved bits 18-16
      0xDA00D000,  // LDI || STI with a reserved modification
      0x1B800000,  // general opcode beyond IACK
      0x28800000,  // three-operand opcode beyond XOR3
      0x63000000,  // no C3x instruction
      0x08000020,  // LDI register form with reserved bits
      0x0800001C,  // register 28 does not exist
      0x07000008,  // LDF AR0, R0: floating-point sources are R0-R7
      0x07608001,  // LDF with a short-float zero other than 0x8000
      0x07080000,  // LDF R0, AR0
      0x0840D000,  // indirect modification 0x1A is reserved
      0x08404001,  // IR0 modification with a displacement
      0x15000000,  // STI register form is not a store
      0x15600000,  // STI immediate
      0x0CA00000,  // NOP direct
      0x55800000,  // LDI with condition 11
      0x74000005,  // TRAP without bit 5
      0x78000001,  // RETI with reserved bits
      0x139A0000,  // RPTS with a destination other than RC
      0x0E000000,  // POP with G = 00
  };
  for (uint32_t w : refused) {
    const DecodedInsn d = Decode(w);
    EXPECT_FALSE(d.supported) << std::hex << w;
    EXPECT_STRNE(d.reason, "") << std::hex << w;
  }
  EXPECT_EQ(Decode(0x90000000).format, Format::Parallel);
}

TEST(IsaTable, RowsAreConsistent) {
  std::set<std::pair<uint32_t, uint32_t>> seen;
  for (const InsnInfo& row : InstructionTable()) {
    EXPECT_EQ(row.opcode & ~row.mask, 0u) << row.mnemonic;
    EXPECT_TRUE(seen.insert({row.opcode, row.mask}).second) << row.mnemonic;
    // Each row's own opcode decodes back to that row (or is refused only for its
    // operand fields, never claimed by another row).
    const DecodedInsn d = Decode(row.opcode);
    EXPECT_EQ(d.op, row.op) << row.mnemonic;
  }
  EXPECT_EQ(ParseRegister("ar7"), kAR7);
  EXPECT_EQ(ParseRegister("IOF"), kIOF);
  EXPECT_FALSE(ParseRegister("AR8").has_value());
  EXPECT_EQ(ParseCondition("nz"), 6);
  EXPECT_EQ(ParseCondition("ZUF"), 20);
  EXPECT_FALSE(ParseCondition("XX").has_value());
}
