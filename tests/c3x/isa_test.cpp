#include "c3x/Isa.h"

#include <gtest/gtest.h>

#include <set>

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

TEST(IsaDecode, GeneralFormatFieldsForEveryAddressingMode) {
  // LDI R1, R2 (register).
  DecodedInsn d = Decode(0x08020001);
  ASSERT_TRUE(d.supported);
  EXPECT_EQ(d.op, Op::LDI);
  EXPECT_EQ(d.dst, 2);
  EXPECT_EQ(d.src.mode, AddrMode::Register);
  EXPECT_EQ(d.src.reg, 1);

  // ADDI @0x1234, AR3 (direct).
  d = Decode(0x022B1234);
  ASSERT_TRUE(d.supported);
  EXPECT_EQ(d.op, Op::ADDI);
  EXPECT_EQ(d.dst, kAR0 + 3);
  EXPECT_EQ(d.src.mode, AddrMode::Direct);
  EXPECT_EQ(d.src.raw, 0x1234);

  // LDF *AR2++(5), R4 (indirect, post-increment by displacement).
  d = Decode(0x07442205);
  ASSERT_TRUE(d.supported);
  EXPECT_EQ(d.op, Op::LDF);
  EXPECT_EQ(d.src.mode, AddrMode::Indirect);
  EXPECT_EQ(d.src.mod, kModPostIncDisp);
  EXPECT_EQ(d.src.ar, 2);
  EXPECT_EQ(d.src.disp, 5);
  EXPECT_EQ(d.dst, 4);

  // LDI -1, R0: signed immediate; AND 0xFFFF, R0: unsigned immediate.
  d = Decode(0x0860FFFF);
  ASSERT_TRUE(d.supported);
  EXPECT_EQ(d.src.mode, AddrMode::Immediate);
  EXPECT_EQ(d.src.raw, 0xFFFF);
  EXPECT_EQ(d.src.value, -1);
  d = Decode(0x02E0FFFF);
  ASSERT_TRUE(d.supported);
  EXPECT_EQ(d.op, Op::AND);
  EXPECT_EQ(d.src.value, 0xFFFF);
}

TEST(IsaDecode, ProgramControlFields) {
  // BR 0x809800: 24-bit absolute.
  DecodedInsn d = Decode(0x60809800);
  ASSERT_TRUE(d.supported);
  EXPECT_EQ(d.op, Op::BR);
  EXPECT_EQ(d.address, 0x809800u);

  // BNED -3 (PC-relative, delayed): target = pc + 3 + disp.
  d = Decode(0x6A26FFFD);
  ASSERT_TRUE(d.supported);
  EXPECT_EQ(d.op, Op::BcondD);
  EXPECT_TRUE(d.delayed);
  EXPECT_TRUE(d.pcRelative);
  EXPECT_EQ(d.cond, 6);
  EXPECT_EQ(d.displacement, -3);
  EXPECT_EQ(BranchTarget(d, 0x100), 0x100u);
  EXPECT_EQ(MnemonicText(d), "BNED");

  // DBNZ AR5, 0x10 relative (not delayed): pc + 1 + disp.
  d = Decode(0x6F460010);
  ASSERT_TRUE(d.supported);
  EXPECT_EQ(d.op, Op::DBcond);
  EXPECT_EQ(d.dst, 5);
  EXPECT_EQ(d.cond, 6);
  EXPECT_EQ(BranchTarget(d, 0x20), 0x31u);

  // CALLU R0 (register form), TRAPU 5, RPTS 99, LDP (LDIU imm, DP).
  d = Decode(0x70000000);
  ASSERT_TRUE(d.supported);
  EXPECT_EQ(d.op, Op::CALLcond);
  EXPECT_EQ(d.src.mode, AddrMode::Register);
  d = Decode(0x74000025);
  ASSERT_TRUE(d.supported);
  EXPECT_EQ(d.op, Op::TRAPcond);
  EXPECT_EQ(d.address, 5u);
  d = Decode(0x13FB0063);
  ASSERT_TRUE(d.supported);
  EXPECT_EQ(d.op, Op::RPTS);
  EXPECT_EQ(d.src.value, 99);
  d = Decode(0x50700080);
  ASSERT_TRUE(d.supported);
  EXPECT_EQ(d.op, Op::LDIcond);
  EXPECT_EQ(d.cond, 0);
  EXPECT_EQ(d.dst, kDP);
}

TEST(IsaDecode, ThreeOperandSourcesAndTypeField) {
  // SUBI3 R7, *-AR3(1), R2: src1 indirect (T = 01), src2 register.
  DecodedInsn d = Decode(0x27220B07);
  ASSERT_TRUE(d.supported) << d.reason;
  EXPECT_EQ(d.op, Op::SUBI3);
  EXPECT_EQ(d.src.mode, AddrMode::Register);
  EXPECT_EQ(d.src.reg, 7);
  EXPECT_EQ(d.src1.mode, AddrMode::Indirect);
  EXPECT_EQ(d.src1.mod, kModSubDisp);
  EXPECT_EQ(d.src1.ar, 3);
  EXPECT_EQ(d.src1.disp, 1);
  EXPECT_EQ(d.dst, 2);
  // CMPI3 has no destination: a non-zero destination field is refused.
  EXPECT_TRUE(Decode(0x23800102).supported);
  EXPECT_FALSE(Decode(0x23810102).supported);
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

TEST(IsaDecode, ParallelHalvesAreDecodedButNotClaimedSupported) {
  // LDI *AR0++(1), R0 || STI R0, *AR1++(1), as in TI's boot loader.
  const DecodedInsn d = Decode(0xDA002120);
  EXPECT_FALSE(d.supported);
  ASSERT_TRUE(d.parallelValid);
  EXPECT_EQ(d.op, Op::LDI_STI);
  EXPECT_EQ(d.parallel[0].op, Op::LDI);
  EXPECT_EQ(d.parallel[0].a.mode, AddrMode::Indirect);
  EXPECT_EQ(d.parallel[0].a.mod, kModPostIncDisp);
  EXPECT_EQ(d.parallel[0].a.ar, 0);
  EXPECT_EQ(d.parallel[0].dst.reg, 0);
  EXPECT_EQ(d.parallel[1].op, Op::STI);
  EXPECT_EQ(d.parallel[1].a.reg, 0);
  EXPECT_EQ(d.parallel[1].dst.ar, 1);
  // MPYF3 || SUBF3 with P = 1: src3 * src1 and src4 - src2 (b - a).
  const DecodedInsn m =
      Decode(0x85000000 | (1u << 23) | (1u << 22) | (5u << 19) | (4u << 16) | (0xC0u << 8) | 0xC1u);
  ASSERT_TRUE(m.parallelValid);
  EXPECT_EQ(m.parallel[0].a.mode, AddrMode::Indirect);  // src3 = *AR0
  EXPECT_EQ(m.parallel[0].b.reg, 5);                    // src1
  EXPECT_EQ(m.parallel[0].dst.reg, 1);
  EXPECT_EQ(m.parallel[1].a.reg, 4);  // src2, subtracted
  EXPECT_EQ(m.parallel[1].b.ar, 1);   // src4 = *AR1
  EXPECT_EQ(m.parallel[1].dst.reg, 3);
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
