// Instruction semantics as TI documents them, run on a C31 board from
// internal RAM.
#include <gtest/gtest.h>

#include "SimTestSupport.h"
#include "sim/Runner.h"

namespace velmora::sim::test {
namespace {

std::vector<uint32_t> Cat(std::initializer_list<std::vector<uint32_t>> parts) {
  std::vector<uint32_t> all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

// The guide's worked examples and the rules its instruction pages state, one
// instruction each: R0 (and R1) before, R0 and the flags after.
TEST(CpuGuideExamples, ValuesAndFlags) {
  constexpr uint32_t C = kStC, V = kStV, Z = kStZ, N = kStN, UF = kStUF, LV = kStLV, LUF = kStLUF,
                     OVM = kStOVM;
  struct Case {
    const char* insn;
    uint64_t r0, r1;
    uint32_t st;
    uint64_t r0After;
    uint32_t stAfter;
  } cases[] = {
      {"ADDI 1, R0", 0x7FFFFFFF, 0, 0, 0x80000000, V | LV | N},
      {"ADDI 1, R0", 0x7FFFFFFF, 0, OVM, 0x7FFFFFFF, OVM | V | LV},
      {"ADDI 1, R0", 0xFFFFFFFF, 0, 0, 0, C | Z},
      {"SUBB R1, R0", 0xFA, 0xC7, C, 0x32, 0},  // the SUBB page: 250 - 199 - 1
      {"SUBI 5, R0", 3, 0, 0, 0xFFFFFFFE, C | N},
      {"SUBRI 2, R0", 5, 0, 0, 0xFFFFFFFD, C | N},
      {"MPYI 2, R0", 0x01000003, 0, 0, 6, 0},  // 24-bit operands
      {"MPYI R1, R0", 0x7FFFFF, 0x7FFFFF, 0, 0xFF000001, V | LV | N},
      // Under OVM the product saturates towards its true sign, not the wrapped one.
      {"MPYI R1, R0", 0x7FFFFF, 0x800000, OVM, 0x80000000, OVM | V | LV | N},
      {"ASH 16, R0", 0x000AE000, 0, 0, 0xE0000000, N | V | LV},  // ASH example 1
      {"ASH 16, R0", 0x000AE000, 0, OVM, 0xE0000000, OVM | N | V | LV},
      {"ASH -24, R0", 0xAEC00001, 0, 0, 0xFFFFFFAE, N | C},  // ASH example 2
      {"ASH 0, R0", 5, 0, C, 5, 0},
      {"LSH 24, R0", 0x2AC, 0, 0, 0xAC000000, N},        // LSH example 1 (V per the flag table)
      {"LSH -12, R0", 0x12C00000, 0, 0, 0x00012C00, 0},  // LSH example 2
      {"LSH -32, R0", 0xFFFFFFFF, 0, 0, 0, C | Z},
      {"RND R1, R0", 0, 0x0733C16EEF, 0, 0x0733C16F00, 0},             // RND example
      {"RND R1, R0", 0, 0x8000000000, Z, 0x8000000000, Z | UF | LUF},  // 0: UF, Z kept
      {"RND R1, R0", 0, 0x7F7FFFFFFF, 0, 0x7F7FFFFF00, V | LV},        // most positive single
      {"NORM R1, R0", 0, 0x0000001001, 0, 0xED00080000, 0},            // NORM example
      {"NORM R1, R0", 0, 0x8000001001, Z, 0x8000000000, UF | LUF},
      {"MPYF R1, R0", 0x0080000000, 0x0080000000, 0, 0x0200000000, 0},  // -2 x -2
      {"MPYF R1, R0", 0x0040000000, 0x0040000000, 0, 0x0110000000, 0},  // 1.5 x 1.5
      {"MPYF R1, R0", 0x0000000000, 0x0080000000, 0, 0x0080000000, N},  // 1 x -2
      {"MPYF R1, R0", 0x0000000000, 0x8000000000, 0, 0x8000000000, Z},
      {"MPYF R1, R0", 0x9C00000000, 0x9C00000000, 0, 0x8000000000, UF | LUF},  // underflow
      {"SUBF R1, R0", 0x0000000001, 0x0000000000, 0, 0xE100000000, 0},         // 2^-31 left
      {"ADDF R1, R0", 0x7F7FFFFFFF, 0x7F80000000, 0, 0x5F80000000, N},         // 32-bit shift
      // The smaller operand loses its bits below the larger one's fraction
      // before the addition: 1 - 2^-40 becomes 1 - 2^-31.
      {"ADDF R1, R0", 0x0000000000, 0xD780000000, 0, 0xFF7FFFFFFE, 0},
      {"FIX R1, R0", 0, 0x0040000000, 0, 1, 0},
      {"FIX R1, R0", 0, 0x00C0000000, 0, 0xFFFFFFFE, N},
      {"FIX R1, R0", 0, 0xFE80000000, 0, 0xFFFFFFFF, N},  // -0.5 -> -1
      {"FIX R1, R0", 0, 0x1F00000000, 0, 0x7FFFFFFF, V | LV},
      {"ABSF R1, R0", 0, 0x7F80000000, 0, 0x7F7FFFFFFF, V | LV},
  };
  Runner runner(0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.insn);
    const c3x::AsmResult code = c3x::Assemble(std::string("\t.text 0x809800\n\t") + c.insn, "t");
    ASSERT_TRUE(code.ok);
    std::string error;
    ASSERT_TRUE(runner.Load(kRam, code.sections[0].words, error));
    runner.SetRegister(0, c.r0, error);
    runner.SetRegister(1, c.r1, error);
    runner.SetRegister(ST, c.st, error);
    runner.Run(kRam, 1, std::nullopt);
    EXPECT_EQ(runner.RegisterValue(0), c.r0After);
    EXPECT_EQ(runner.RegisterValue(ST), c.stAfter);
  }
}

TEST(CpuInteger, IntegerResultsKeepTheExponentAndOnlyRegistersR0R7SetFlags) {
  CpuFixture f({ImmOp(Op::LDF, R3, 0x1400),  // 3.0: exponent 1
                ImmOp(Op::LDI, R3, 0), ImmOp(Op::LDI, ST, 0), ImmOp(Op::LDI, AR2, 0),
                ImmOp(Op::SUBI, AR2, 1)});
  f.Step(2);
  EXPECT_EQ(f.regs().r[3].exp, 1);  // bits 39-32 untouched by the integer load
  EXPECT_EQ(f.regs().r[3].man, 0u);
  f.Step(3);
  EXPECT_EQ(f.regs().ar[2], 0xFFFFFFFFu);
  EXPECT_EQ(f.regs().st, 0u);  // AR destination: flags unchanged
}

TEST(CpuInteger, LogicalImmediatesAreZeroExtended) {
  CpuFixture f({ImmOp(Op::LDI, R0, 0xFFFF),  // -1
                ImmOp(Op::AND, R0, 0x8001),  // & 0x00008001
                ImmOp(Op::LDI, R1, 0), ImmOp(Op::OR, R1, 0xF000), ImmOp(Op::NOT, R2, 0x00FF)});
  f.Step(2);
  EXPECT_EQ(f.regs().r[0].man, 0x8001u);
  f.Step(2);
  EXPECT_EQ(f.regs().r[1].man, 0xF000u);
  f.Step(1);
  EXPECT_EQ(f.regs().r[2].man, 0xFFFFFF00u);
}

TEST(CpuInteger, ThreeOperandFormsComputeSrc1OpSrc2) {
  CpuFixture f({ImmOp(Op::LDI, R1, 10), ImmOp(Op::LDI, R2, 3), Three(Op::SUBI3, R0, R1, R2),
                Three(Op::ASH3, R3, R1, R2), Three(Op::CMPI3, 0, R2, R1)});
  f.Step(3);
  EXPECT_EQ(f.regs().r[0].man, 7u);  // src1 - src2
  f.Step(1);
  EXPECT_EQ(f.regs().r[3].man, 10u << 3);  // src1 shifted by src2
  f.Step(1);
  EXPECT_TRUE(f.regs().st & kStN);  // 3 - 10 < 0
}

TEST(CpuFloatOps, FloatInstructionsUseExtendedRegisters) {
  // R0 = 3.0; R1 = -1.5; R0 *= R1 -> -4.5; FIX -> -5; FLOAT back.
  CpuFixture f({ImmOp(Op::LDF, R0, 0x1400), ImmOp(Op::LDF, R1, 0x0C00), RegOp(Op::MPYF, R0, R1),
                RegOp(Op::FIX, R2, R0), RegOp(Op::FLOAT, R3, R2), RegOp(Op::CMPF, R3, R0)});
  f.Step(1);
  EXPECT_EQ(ToDouble(f.regs().r[0]), 3.0);
  f.Step(1);
  EXPECT_EQ(ToDouble(f.regs().r[1]), -1.5);
  f.Step(1);
  EXPECT_EQ(ToDouble(f.regs().r[0]), -4.5);
  EXPECT_TRUE(f.regs().st & kStN);
  f.Step(1);
  EXPECT_EQ(static_cast<int32_t>(f.regs().r[2].man), -5);
  f.Step(2);
  EXPECT_EQ(ToDouble(f.regs().r[3]), -5.0);
  EXPECT_TRUE(f.regs().st & kStN);  // -5 < -4.5
}

TEST(CpuMemory, LoadsStoresAndAddressModes) {
  const uint32_t data = kRam + 0x100;
  auto prog = Cat({LoadConst(AR0, data),
                   {ImmOp(Op::LDI, R0, 11), StiInd(R0, c3x::kModPostIncDisp, 0, 1),  // *AR0++(1)
                    ImmOp(Op::LDI, R0, 22), StiInd(R0, c3x::kModPostIncDisp, 0, 1),
                    IndOp(Op::LDI, R1, c3x::kModSubDisp, 0, 2),     // *-AR0(2)
                    IndOp(Op::LDI, R2, c3x::kModPreDecDisp, 0, 1),  // *--AR0(1)
                    ImmOp(Op::LDI, DP, 0x80), DirOp(Op::LDI, R3, (data + 1) & 0xFFFF)}});
  CpuFixture f(prog);
  f.Step(3 + 4);
  EXPECT_EQ(f.Word(data), 11u);
  EXPECT_EQ(f.Word(data + 1), 22u);
  EXPECT_EQ(f.regs().ar[0], data + 2);
  f.Step(1);
  EXPECT_EQ(f.regs().r[1].man, 11u);
  EXPECT_EQ(f.regs().ar[0], data + 2);  // no modification
  f.Step(1);
  EXPECT_EQ(f.regs().r[2].man, 22u);
  EXPECT_EQ(f.regs().ar[0], data + 1);
  f.Step(2);
  EXPECT_EQ(f.regs().r[3].man, 22u);  // direct: DP 0x80 : 16 bits
}

TEST(CpuMemory, CircularAndBitReversedAddressing) {
  // BK = 5: a buffer of 5 words starting on an 8-word boundary.
  const uint32_t buf = kRam + 0x200;
  auto prog = Cat({LoadConst(AR1, buf + 3),
                   {ImmOp(Op::LDI, BK, 5), IndOp(Op::NOP, 0, c3x::kModPostIncDispC, 1, 3)}});
  CpuFixture f(prog);
  f.Step(5);
  EXPECT_EQ(f.regs().ar[1], buf + 1);  // 3 + 3 wraps to 1 in a buffer of 5

  // Bit-reversed: AR2 += IR0 with the carry going right (an 8-point FFT).
  auto rev = Cat({LoadConst(AR2, buf), {ImmOp(Op::LDI, IR0, 4)}});
  for (int i = 0; i < 4; ++i) rev.push_back(IndOp(Op::NOP, 0, c3x::kModBitReversed, 2));
  CpuFixture g(rev);
  g.Step(4);
  const uint32_t expect[] = {4, 2, 6, 1};
  for (uint32_t e : expect) {
    g.Step(1);
    EXPECT_EQ(g.regs().ar[2], buf + e);
  }
}

TEST(CpuControl, DelayedBranchRunsThreeMoreInstructions) {
  // BRD to +6; the three instructions after it run; the one after them not.
  CpuFixture f({Brd(kRam + 6), ImmOp(Op::LDI, R0, 1), ImmOp(Op::LDI, R1, 2), ImmOp(Op::LDI, R2, 3),
                ImmOp(Op::LDI, R3, 4), ImmOp(Op::LDI, R3, 5), ImmOp(Op::LDI, R4, 6)});
  f.Step(4);  // the branch and its three slots
  EXPECT_EQ(f.regs().r[0].man, 1u);
  EXPECT_EQ(f.regs().r[2].man, 3u);
  EXPECT_EQ(f.regs().r[3].man, 0u);
  EXPECT_EQ(f.cpu().Pc(), kRam + 6);
  f.Step(1);
  EXPECT_EQ(f.regs().r[4].man, 6u);

  // BcondD evaluates its condition before the slots change the flags.
  CpuFixture g({ImmOp(Op::LDI, R0, 0), Bcond(kEQ, 2, true), ImmOp(Op::LDI, R0, 7), Nop(), Nop(),
                ImmOp(Op::LDI, R1, 9), ImmOp(Op::LDI, R2, 9)});
  g.Step(5);
  EXPECT_EQ(g.cpu().Pc(), kRam + 6);  // pc + 3 + 2
  g.Step(1);
  EXPECT_EQ(g.regs().r[1].man, 0u);
  EXPECT_EQ(g.regs().r[2].man, 9u);
}

TEST(CpuControl, RepeatSingleAndRepeatBlockCountRcPlusOne) {
  CpuFixture f({ImmOp(Op::LDI, R0, 0), Rpts(9), ImmOp(Op::ADDI, R0, 1), ImmOp(Op::LDI, R5, 1),
                Br(kRam + 4)});
  f.board->RunForNs(10'000);
  EXPECT_EQ(f.regs().r[0].man, 10u);
  EXPECT_EQ(f.regs().r[5].man, 1u);
  EXPECT_FALSE(f.regs().st & kStRM);

  // RPTB over two instructions, RC = 4: five passes.
  CpuFixture g({ImmOp(Op::LDI, R0, 0), ImmOp(Op::LDI, R1, 0), ImmOp(Op::LDI, RC, 4), Rptb(kRam + 5),
                ImmOp(Op::ADDI, R0, 1), ImmOp(Op::ADDI, R1, 2), ImmOp(Op::LDI, R5, 7),
                Br(kRam + 7)});
  g.board->RunForNs(10'000);
  EXPECT_EQ(g.regs().r[0].man, 5u);
  EXPECT_EQ(g.regs().r[1].man, 10u);
  EXPECT_EQ(g.regs().r[5].man, 7u);
  EXPECT_FALSE(g.regs().st & kStRM);
}

TEST(CpuControl, DecrementBranchLoopsUntilTheCounterGoesNegative) {
  CpuFixture f({ImmOp(Op::LDI, AR3, 3), ImmOp(Op::LDI, R0, 0), ImmOp(Op::ADDI, R0, 1),
                DBcond(3, kU, -2), ImmOp(Op::LDI, R7, 1), Br(kRam + 5)});
  f.board->RunForNs(10'000);
  EXPECT_EQ(f.regs().r[0].man, 4u);
  EXPECT_EQ(f.regs().ar[3] & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(f.regs().r[7].man, 1u);
}

TEST(CpuControl, CallReturnAndConditionalReturnUseTheStack) {
  const uint32_t sub = kRam + 0x40;
  auto prog = Cat({LoadConst(SP, kRam + 0x300), {Call(sub), ImmOp(Op::LDI, R1, 5)}});
  CpuFixture f(prog);
  f.board->LoadWords(sub, {ImmOp(Op::LDI, R0, 1), Rets(kNE), ImmOp(Op::LDI, R2, 3), Rets()});
  f.Step(4);
  EXPECT_EQ(f.cpu().Pc(), sub);
  EXPECT_EQ(f.regs().sp, kRam + 0x301);
  EXPECT_EQ(f.Word(kRam + 0x301), kRam + 4);  // return address
  f.Step(2);                                  // LDI 1 leaves Z clear: RETSNE returns
  EXPECT_EQ(f.cpu().Pc(), kRam + 4);
  EXPECT_EQ(f.regs().sp, kRam + 0x300);
  EXPECT_EQ(f.regs().r[2].man, 0u);
}

TEST(CpuInterrupts, TimerInterruptVectorsIntoRamAndRetiReenables) {
  // Timer 0 period 10, started; IE enables TINT0; GIE on; then IDLE.
  const uint32_t vector = 0x809FC9;  // TINT0 in boot-loader mode
  auto prog = Cat(
      {LoadConst(SP, kRam + 0x300),
       {ImmOp(Op::LDI, DP, 0x80), ImmOp(Op::LDI, R0, 10), StiDir(R0, 0x8028),
        ImmOp(Op::LDI, R0, 0x2C0), StiDir(R0, 0x8020),  // GO | HLD | CLKSRC
        ImmOp(Op::LDI, IE, 0x100), ImmOp(Op::OR, ST, kStGIE), Idle(), ImmOp(Op::LDI, R6, 0x66)}});
  prog.push_back(Br(kRam + static_cast<uint32_t>(prog.size())));
  CpuFixture f(prog);
  f.board->LoadWords(vector, {Br(kRam + 0x80)});
  // The handler stops the timer so that it runs once.
  f.board->LoadWords(kRam + 0x80,
                     {ImmOp(Op::LDI, R0, 0), StiDir(R0, 0x8020), ImmOp(Op::ADDI, R5, 1), Reti()});
  f.board->RunForNs(5'000);  // 125 cycles: the timer expired after 20
  EXPECT_EQ(f.regs().r[5].man, 1u);
  EXPECT_EQ(f.regs().r[6].man, 0x66u);  // resumed after IDLE
  EXPECT_TRUE(f.regs().st & kStGIE);
  EXPECT_EQ(f.regs().sp, kRam + 0x300);
}

TEST(CpuInterrupts, IdleAndPollingLoopsSkipTimeInsteadOfSpinning) {
  // An idle CPU with nothing to wake it: a whole second passes in a blink.
  CpuFixture f({Idle()});
  f.board->RunForNs(1'000'000'000);
  EXPECT_LT(f.cpu().Instructions(), 10u);
  EXPECT_GT(f.cpu().SkippedCycles(), 20'000'000u);

  // A loop polling a register that cannot change is skipped the same way,
  // yet it still sees the serial word when it comes.
  const std::vector<uint32_t> wait = {ImmOp(Op::LDI, DP, 0x80), DirOp(Op::LDI, R1, 0x8040),
                                      ImmOp(Op::AND, R1, 1), Bcond(kEQ, -3),
                                      DirOp(Op::LDI, R2, 0x804C)};
  CpuFixture g(Cat({LoadConst(R0, 0x0C3C0000), {StiDir(R0, 0x8040)}, wait}));
  // (The store above runs before DP is set: set DP first.)
  g.regs().dp = 0x80;
  g.board->RunForNs(100'000'000);
  EXPECT_LT(g.cpu().Instructions(), 2000u);
  g.board->SerialExchange(0x1234ABCD);
  g.board->RunForNs(1'000);
  EXPECT_EQ(g.regs().r[2].man, 0x1234ABCDu);
}

TEST(CpuErrors, UnimplementedAndUnmappedStopTheTargetWithAMessage) {
  CpuFixture f({Nop(), 0x1F800000u /* no such instruction */, Nop()});
  f.board->RunForNs(1'000);
  EXPECT_EQ(f.board->State(), BoardState::Halted);
  EXPECT_NE(f.board->HaltMessage().find("0x1F800000"), std::string::npos);
  EXPECT_NE(f.board->HaltMessage().find("0x809801"), std::string::npos);
  EXPECT_EQ(f.cpu().Pc(), kRam + 1);

  CpuFixture g({Br(0x700000)});  // nothing there on a C31 board
  g.board->RunForNs(1'000);
  EXPECT_EQ(g.board->State(), BoardState::Halted);
  EXPECT_NE(g.board->HaltMessage().find("0x700000"), std::string::npos);
}

TEST(CpuMemory, SelfModifiedCodeIsDecodedAgain) {
  // The second instruction is overwritten before it runs.
  const uint32_t target = kRam + 4;
  auto prog = Cat({LoadConst(AR0, target), {ImmOp(Op::LDI, R1, 1)}});
  prog.push_back(ImmOp(Op::LDI, R2, 7));  // at kRam + 4, first version
  prog.push_back(Br(kRam + 4));
  CpuFixture f(prog);
  f.Step(5);  // runs the first version once
  EXPECT_EQ(f.regs().r[2].man, 7u);
  f.board->WriteWord(target, ImmOp(Op::LDI, R2, 9));
  f.Step(2);  // BR, then the new word
  EXPECT_EQ(f.regs().r[2].man, 9u);
}

TEST(CpuParallel, BothHalvesReadTheirOperandsBeforeEitherWrites) {
  CpuFixture f({});
  std::string errors;
  ASSERT_TRUE(AssembleInto(*f.board, R"(
        .text 0x809800
        LDI   0x80, AR0
        LSH   16, AR0
        OR    0x9A00, AR0          ; AR0 -> 0x809A00 (holds 77)
        LDI   AR0, AR1
        ADDI  1, AR1               ; AR1 -> 0x809A01
        LDI   5, R6
        LDI   *AR0, R6
||      STI   R6, *AR1             ; stores the old R6
        LDI   10, R1
        LDI   3, R2
        ADDI3 R1, R2, R3           ; R3 = 13
        ADDI3 R3, *AR4, R1
||      STI   R1, *+AR1(1)         ; R1 = 13 + 20, memory gets the old 10
        LDF   2.0, R4
        LDF   1.5, R0
        MPYF3 *AR2, *AR3, R0
||      ADDF3 R0, R4, R2           ; the add sees R0 before the multiply writes it
done:   BR    done
  )",
                           &errors))
      << errors;
  f.board->WriteWord(0x809A00, 77);
  f.regs().ar[2] = 0x809A10;
  f.regs().ar[3] = 0x809A11;
  f.regs().ar[4] = 0x809A20;
  f.board->WriteWord(0x809A20, 20);
  f.board->WriteWord(0x809A10, ToSingle(FromDouble(3.0)));
  f.board->WriteWord(0x809A11, ToSingle(FromDouble(1.0)));
  f.board->RunForNs(2'000);
  EXPECT_EQ(f.Word(0x809A01), 5u);
  EXPECT_EQ(f.regs().r[6].man, 77u);
  EXPECT_EQ(f.regs().r[1].man, 33u);
  EXPECT_EQ(f.Word(0x809A02), 10u);
  EXPECT_EQ(ToDouble(f.regs().r[0]), 3.0);  // the multiply
  EXPECT_EQ(ToDouble(f.regs().r[2]), 1.5 + 2.0);
  EXPECT_NE(f.board->State(), BoardState::Halted) << f.board->HaltMessage();
}

}  // namespace
}  // namespace velmora::sim::test
