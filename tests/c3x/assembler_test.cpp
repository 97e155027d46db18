#include "c3x/Assembler.h"

#include <gtest/gtest.h>

#include "c3x/C3xFloat.h"

using namespace velmora::c3x;

namespace {

std::vector<uint32_t> Words(const std::string& src, uint32_t origin = 0x1000) {
  const AsmResult r = Assemble("\t.sect \"code\", " + std::to_string(origin) + "\n" + src, "t.asm");
  EXPECT_TRUE(r.ok) << (r.errors.empty() ? "" : r.errors.front());
  if (!r.ok || r.sections.empty()) return {};
  return r.sections[0].words;
}

uint32_t Word(const std::string& line) {
  auto w = Words("\t" + line + "\n");
  return w.size() == 1 ? w[0] : 0xDEADBEEF;
}

std::string FirstError(const std::string& src) {
  const AsmResult r = Assemble(src, "bad.asm");
  EXPECT_FALSE(r.ok) << src;
  return r.errors.empty() ? "" : r.errors.front();
}

}  // namespace

// Where TI's assembler has a rule of its own, the same words as TI's.
TEST(Assembler, MatchesTiAssemblerRules) {
  const std::vector<uint32_t> expected = {
      0x50700000u, 0x50700000u,  // LDP of an address on page 0 loads page 0
      0x181FE739u, 0x19F222FDu,  // .float ties go away from zero
      0x07600001u, 0x07600BFFu,  // and so do short-float immediate ties
      0u};
  EXPECT_EQ(Words("       LDP   data\n"
                  "       LDP   @data, DP\n"
                  "       .float 2.0958833e+07, -3.7188618e+07\n"
                  "       LDF   1.000244140625, R0\n"
                  "       LDF   -1.500244140625, R0\n"
                  "data:  .word 0\n",
                  0),
            expected);
}

// Encodings as TI's C3x user's guide lays the fields out.
TEST(Assembler, EncodesTiSyntax) {
  EXPECT_EQ(Word("NOP"), 0x0C800000u);
  EXPECT_EQ(Word("IDLE"), 0x06000000u);
  EXPECT_EQ(Word("RETSU"), 0x78800000u);
  EXPECT_EQ(Word("rets"), 0x78800000u);
  EXPECT_EQ(Word("RETIU"), 0x78000000u);
  EXPECT_EQ(Word("SWI"), 0x66000000u);
  EXPECT_EQ(Word("LDI R1, R2"), 0x08020001u);
  EXPECT_EQ(Word("ldi r1,r2"), 0x08020001u);
  EXPECT_EQ(Word("ADDI @1234h, AR3"), 0x022B1234u);
  EXPECT_EQ(Word("LDF *AR2++(5), R4"), 0x07442205u);
  EXPECT_EQ(Word("LDI *+AR0(1), R0"), 0x08400001u);
  EXPECT_EQ(Word("LDI *+AR0, R0"), 0x08400001u);  // displacement 1 by default
  EXPECT_EQ(Word("LDI *AR0, R0"), 0x0840C000u);
  EXPECT_EQ(Word("LDI *AR1++(IR0)B, R0"), 0x0840C900u);
  EXPECT_EQ(Word("LDI *AR1--(IR1)%, R0"), 0x0840B900u);
  EXPECT_EQ(Word("LDI -1, R0"), 0x0860FFFFu);
  EXPECT_EQ(Word("AND 0FFFFh, R0"), 0x02E0FFFFu);
  EXPECT_EQ(Word("LDF 1.5, R0"), 0x07600400u);
  EXPECT_EQ(Word("LDF -1, R0"), 0x0760F800u);  // integer written where a float goes
  EXPECT_EQ(Word("STI R0, @0x20"), 0x15200020u);
  EXPECT_EQ(Word("STF R7, *AR7"), 0x1447C700u);
  EXPECT_EQ(Word("PUSH R4"), 0x0F240000u);
  EXPECT_EQ(Word("POPF R4"), 0x0EA40000u);
  EXPECT_EQ(Word("ROR R1"), 0x12E1FFFFu);
  EXPECT_EQ(Word("RPTS 99"), 0x13FB0063u);
  EXPECT_EQ(Word("RPTS AR0"), 0x139B0008u);
  // LDP takes bits 23-16 of its operand in every form; a page number needs LDIU.
  EXPECT_EQ(Word("LDP @809800h"), 0x50700080u);
  EXPECT_EQ(Word("LDP 809800h, DP"), 0x50700080u);
  EXPECT_EQ(Word("LDP 80h"), 0x50700000u);
  EXPECT_EQ(Word("LDP @80h, DP"), 0x50700000u);
  EXPECT_EQ(Word("LDIU 5, DP"), 0x50700005u);
  EXPECT_EQ(Word("LDFGT R1, R2"), 0x44820001u);
  EXPECT_EQ(Word("LDINZ *AR0, R0"), 0x5340C000u);
  EXPECT_EQ(Word("TRAPU 5"), 0x74000025u);
  EXPECT_EQ(Word("TRAPNE 31"), 0x7406003Fu);
  EXPECT_EQ(Word("BR 809800h"), 0x60809800u);
  EXPECT_EQ(Word("CALL 0x123456"), 0x62123456u);
  EXPECT_EQ(Word("BU R0"), 0x68000000u);
  EXPECT_EQ(Word("CALLNE AR0"), 0x70060008u);
  EXPECT_EQ(Word("SUBI3 R7, *-AR3(1), R2"), 0x27220B07u);
  EXPECT_EQ(Word("SUBI3 R7, *-AR3, R2"), 0x27220B07u);
  EXPECT_EQ(Word("ADDI R1, R2, R3"), 0x21030201u);           // three operands select ADDI3
  EXPECT_EQ(Word("CMPI3 *AR0, R1"), 0x23C001C0u);            // T = 10: src2 indirect
  EXPECT_EQ(Word("MPYF3 *+AR0(0), *AR1, R0"), 0x24E0C1C0u);  // displacement 0 is *ARn
}

TEST(Assembler, PcRelativeBranchesAndDelays) {
  // Branch to itself: displacement -1, or -3 when delayed.
  auto w = Words("loop: BU loop\n BUD loop2\nloop2: DBNZ AR5, loop\n CALLGE $\n");
  ASSERT_EQ(w.size(), 4u);
  EXPECT_EQ(w[0], 0x6A00FFFFu);
  EXPECT_EQ(w[1], 0x6A20FFFEu);  // target 0x1002 = pc 0x1001 + 3 - 2
  EXPECT_EQ(w[2], 0x6F46FFFDu);  // AR5, NE, back to loop (pc 0x1002)
  EXPECT_EQ(w[3], 0x720AFFFFu);
  // Too far for 16 bits.
  EXPECT_NE(FirstError(" .sect \"a\", 0\n BU 20000h\n").find("out of reach"), std::string::npos);
}

TEST(Assembler, LabelsSectionsAndPlacement) {
  const AsmResult r = Assemble(
      "* full-line comment\n"
      "VALUE   .set  3 * (4 + 1)   ; 15\n"
      "        .text 0x809800\n"
      "start:  LDI   VALUE, R0\n"
      "        BR    done\n"
      "done    IDLE                ; label in column 1 without a colon\n"
      "        .data\n"
      "table:  .word 1, -1, 0FFFFFFFFh, table, $\n"
      "        .float 1.0, -2.5e-1\n"
      "        .space 2\n"
      "        .sect \"vectors\", 0\n"
      "        .word start\n"
      "        .bss  buffer, 16\n"
      "        .global start, table\n"
      "        .end\n"
      "        this line is never read\n",
      "p.asm");
  ASSERT_TRUE(r.ok) << r.errors.front();
  ASSERT_EQ(r.sections.size(), 4u);
  const AsmSection& text = r.sections[0];
  EXPECT_EQ(text.name, ".text");
  EXPECT_EQ(text.origin, 0x809800u);
  ASSERT_EQ(text.words.size(), 3u);
  EXPECT_EQ(text.words[0], 0x0860000Fu);
  EXPECT_EQ(text.words[1], 0x60809802u);
  const AsmSection& data = r.sections[1];
  EXPECT_EQ(data.origin, 0x809803u);  // follows .text
  ASSERT_EQ(data.words.size(), 9u);
  EXPECT_EQ(data.words[1], 0xFFFFFFFFu);
  EXPECT_EQ(data.words[3], 0x809803u);
  EXPECT_EQ(data.words[4], 0x809807u);
  EXPECT_EQ(data.words[5], DoubleToSingle(1.0));
  EXPECT_EQ(data.words[6], DoubleToSingle(-0.25));
  EXPECT_EQ(data.words[8], 0u);
  EXPECT_EQ(r.sections[2].words, std::vector<uint32_t>{0x809800u});
  const AsmSection& bss = r.sections[3];
  EXPECT_TRUE(bss.uninitialised);
  EXPECT_EQ(bss.size, 16u);
  EXPECT_EQ(bss.origin, 1u);  // after "vectors"
  EXPECT_EQ(r.entryPoint, 0x809800u);
  bool startGlobal = false, bufferSeen = false;
  for (const AsmSymbol& s : r.symbols) {
    if (s.name == "start") startGlobal = s.global && s.value == 0x809800u;
    if (s.name == "buffer") bufferSeen = s.value == 1u;
  }
  EXPECT_TRUE(startGlobal);
  EXPECT_TRUE(bufferSeen);
}

TEST(Assembler, OrgEntryAndSymDirectives) {
  const AsmResult r = Assemble(
      " .sect \"ram\", 0x809C00\n"
      " .word 1\n"
      " .org 0x809C04\n"
      "_counter: .word 0\n"
      "_table: .space 10\n"
      " .sym _counter, _counter, 4, 2, 32\n"
      " .sym _table, _table, 52, 2, 320, , 10\n"
      " .sym _grid, 0x809D00, 0xF6, 3, 0, , 4, 8\n"
      " .entry 0x809C04\n",
      "s.asm");
  ASSERT_TRUE(r.ok) << r.errors.front();
  ASSERT_EQ(r.sections[0].words.size(), 15u);
  EXPECT_EQ(r.sections[0].words[4], 0u);
  EXPECT_EQ(r.entryPoint, 0x809C04u);
  ASSERT_EQ(r.debugSymbols.size(), 3u);
  EXPECT_EQ(r.debugSymbols[0].name, "_counter");
  EXPECT_EQ(r.debugSymbols[0].value, 0x809C04u);
  EXPECT_EQ(r.debugSymbols[0].type, 4);
  EXPECT_FALSE(r.debugSymbols[0].hasDims);
  EXPECT_EQ(r.debugSymbols[1].dims[0], 10);
  EXPECT_EQ(r.debugSymbols[2].storageClass, 3);
  EXPECT_EQ(r.debugSymbols[2].dims[1], 8);
}

TEST(Assembler, ReportsErrorsWithFileAndLine) {
  EXPECT_EQ(FirstError(" NOP\n FOO R0\n"), "bad.asm:2: unknown instruction 'FOO'");
  EXPECT_EQ(FirstError(" LDI missing, R0\n"), "bad.asm:1: undefined symbol 'missing'");
  const std::pair<std::string, const char*> cases[] = {
      {" LDI 40000, R0\n", "signed immediate out of range"},
      {" AND -1, R0\n", "unsigned immediate out of range"},
      {" LDF 1000.0, R0\n", "short float"},
      {" LDF R0, AR1\n", "R0-R7"},
      {" STI R0, R1\n", "register operands"},
      {" ADDI3 5, R1, R2\n", "register or indirect"},
      {" ADDI3 *+AR0(2), R1, R2\n", "displacement"},
      {" LDI *+AR0(256), R0\n", "displacement out of range"},
      {" LDI *AR8, R0\n", "AR0-AR7"},
      {" LDI *++AR0++, R0\n", "pre- and post"},
      {" LDI R0\n", "takes 2 operands"},
      {"a: NOP\na: NOP\n", "already defined"},
      {"x .set y\ny .set x\n LDI x, R0\n", "circular"},
      {" .space later\nlater: NOP\n", "must be known"},
      {" .sect \"a\", 100h\n .space 4\n .sect \"b\", 102h\n NOP\n", "overlap"},
      {" .sect \"a\", 100h\n NOP\n .org 0FFh\n", "backwards"},
      {" .word 1 / 0\n", "division by zero"},
      {" .word 100000000h\n", "out of range"},
      {" .frobnicate\n", "unknown directive"},
      {" .global nowhere\n", "undefined symbol"},
      {" TRAPU 32\n", "trap number"},
      {" DBU R0, 0\n", "AR0-AR7"},
      {" .bss buf, 2\n .sect \".bss\"\n .word 1\n", "no data"},
  };
  for (const auto& [source, fragment] : cases)
    EXPECT_NE(FirstError(source).find(fragment), std::string::npos) << source;
  // Every error is collected, not just the first.
  EXPECT_EQ(Assemble(" FOO\n BAR\n", "two.asm").errors.size(), 2u);
}

TEST(Assembler, HostileInputEndsWithAnError) {
  // Deep parentheses and long .set chains are refused, not a stack overflow.
  EXPECT_NE(FirstError(" .word " + std::string(5000, '(') + "1" + std::string(5000, ')') + "\n")
                .find("nested too deeply"),
            std::string::npos);
  std::string chain = "s0 .set 1\n";
  for (int i = 1; i <= 1000; ++i)
    chain += "s" + std::to_string(i) + " .set s" + std::to_string(i - 1) + "+1\n";
  EXPECT_NE(FirstError(chain + " .word s1000\n").find("nested too deeply"), std::string::npos);
  // Each symbol doubling the one before: evaluated once each, so this is quick.
  std::string doubling = "d0 .set 1\n";
  for (int i = 1; i <= 40; ++i) {
    const std::string prev = "d" + std::to_string(i - 1);
    doubling += "d" + std::to_string(i) + " .set " + prev + " + " + prev + "\n";
  }
  const AsmResult r = Assemble(doubling + " .word d31 - 1\n", "d.asm");
  ASSERT_TRUE(r.ok) << r.errors.front();
  EXPECT_EQ(r.sections[0].words[0], 0x7FFFFFFFu);
  // Nothing to write is an error rather than an empty executable.
  EXPECT_NE(FirstError("* only a comment\n").find("no code or data"), std::string::npos);
}

// Parallel instructions: the words are those TI's tools produced for the same code
// in the run-time library (boot loader copy loop, structure stores).
TEST(Assembler, ParallelInstructions) {
  EXPECT_EQ(Word("LDI *AR0++, R0 || STI R0, *AR1++"), 0xDA002120u);
  auto w = Words(" LDI *AR0++(1), R0\n || STI R0, *AR1++(1)\n");  // TI's two-line form
  ASSERT_EQ(w.size(), 1u);
  EXPECT_EQ(w[0], 0xDA002120u);
  EXPECT_EQ(Word("STI R1, *AR5 || STI R0, *+AR5(1)"), 0xC24005C5u);
  EXPECT_EQ(Word("LDI *+AR1(IR0), R0 || STI R0, *AR4"), 0xDA00C441u);
  // The store may be written first; "ADDF" stands for "ADDF3".
  EXPECT_EQ(Word("STI R0, *AR4 || LDI *+AR1(IR0), R0"), 0xDA00C441u);
  // Commutative operations take their sources in either order, SUBF3 does not.
  EXPECT_EQ(Word("ADDF3 R1, *AR0, R2 || STF R3, *AR1"), Word("ADDF *AR0, R1, R2 || STF R3, *AR1"));
  // MPYF3 || ADDF3: the operand kinds select the routing P (bits 25-24).
  EXPECT_EQ(Word("MPYF3 *AR0, *AR1, R0 || ADDF3 R4, R5, R2") >> 24, 0x80u);  // P = 0
  EXPECT_EQ(Word("MPYF3 *AR0, R5, R1 || SUBF3 R4, *AR1, R3") >> 24, 0x85u);  // P = 1
  EXPECT_EQ(Word("MPYI3 R4, R5, R0 || ADDI3 *AR0, *AR1, R2") >> 24, 0x8Au);  // P = 2
  EXPECT_EQ(Word("MPYI3 *AR0, R5, R0 || SUBI3 *AR1, R4, R3") >> 24, 0x8Fu);  // P = 3
  const std::pair<const char*, const char*> errors[] = {
      {" SUBF3 *AR0, R1, R2 || STF R3, *AR1\n", "register, then"},
      {" MPYF3 *AR0, *AR1, R2 || ADDF3 R4, R5, R2\n", "R0 or R1"},
      {" LDF *AR0, R0 || FOO R1, *AR1\n", "no parallel instruction"},
      {" LDI *AR0, AR1 || STI R0, *AR1\n", "R0-R7"},
      {" LDI *+AR0(2), R0 || STI R0, *AR1\n", "displacement"},
      {" .word 1\n || STI R0, *AR1\n", "must follow an instruction"},
      {" NOP\nx || STI R0, *AR1\n", "label"},
  };
  for (const auto& [source, fragment] : errors)
    EXPECT_NE(FirstError(source).find(fragment), std::string::npos) << source;
}
