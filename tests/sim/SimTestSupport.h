// Hand encoding of the few instruction forms the simulator tests use, built on
// the opcodes of the shared instruction table, and a small board fixture.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "c3x/Isa.h"
#include "sim/Board.h"

namespace velmora::sim::test {

using c3x::Op;

// General format: G 0 register, 1 direct, 2 indirect, 3 immediate.
inline uint32_t Gen(Op op, unsigned g, unsigned dst, uint32_t src) {
  return c3x::Info(op).opcode | (g << 21) | ((dst & 0x1F) << 16) | (src & 0xFFFF);
}
inline uint32_t RegOp(Op op, unsigned dst, unsigned src) {
  return Gen(op, 0, dst, src);
}
inline uint32_t DirOp(Op op, unsigned dst, uint32_t addr) {
  return Gen(op, 1, dst, addr);
}
inline uint32_t ImmOp(Op op, unsigned dst, uint32_t imm) {
  return Gen(op, 3, dst, imm);
}
inline uint32_t IndField(unsigned mod, unsigned ar, unsigned disp = 0) {
  return (mod << 11) | ((ar & 7) << 8) | (disp & 0xFF);
}
inline uint32_t IndOp(Op op, unsigned dst, unsigned mod, unsigned ar, unsigned disp = 0) {
  return Gen(op, 2, dst, IndField(mod, ar, disp));
}
// Three-operand: both sources registers (T = 0).
inline uint32_t Three(Op op, unsigned dst, unsigned src1, unsigned src2) {
  return c3x::Info(op).opcode | ((dst & 0x1F) << 16) | ((src1 & 0x1F) << 8) | (src2 & 0x1F);
}
inline uint32_t Br(uint32_t addr) {
  return 0x60000000u | (addr & 0xFFFFFF);
}
inline uint32_t Brd(uint32_t addr) {
  return 0x61000000u | (addr & 0xFFFFFF);
}
inline uint32_t Call(uint32_t addr) {
  return 0x62000000u | (addr & 0xFFFFFF);
}
inline uint32_t Rptb(uint32_t addr) {
  return 0x64000000u | (addr & 0xFFFFFF);
}
// Bcond with a PC-relative displacement (from pc + 1, or pc + 3 when delayed).
inline uint32_t Bcond(unsigned cond, int16_t disp, bool delayed = false) {
  return 0x68000000u | (1u << 25) | (delayed ? 1u << 21 : 0) | (cond << 16) |
         static_cast<uint16_t>(disp);
}
inline uint32_t DBcond(unsigned ar, unsigned cond, int16_t disp, bool delayed = false) {
  return 0x6C000000u | (1u << 25) | (delayed ? 1u << 21 : 0) | (ar << 22) | (cond << 16) |
         static_cast<uint16_t>(disp);
}
inline uint32_t Rets(unsigned cond = 0) {
  return 0x78800000u | (cond << 16);
}
inline uint32_t Reti(unsigned cond = 0) {
  return 0x78000000u | (cond << 16);
}
inline uint32_t Idle() {
  return 0x06000000u;
}
inline uint32_t Nop() {
  return RegOp(Op::NOP, 0, 0);
}
inline uint32_t Rpts(uint16_t count) {
  return ImmOp(Op::RPTS, 0x1B, count);
}
inline uint32_t StiDir(unsigned reg, uint32_t addr) {
  return Gen(Op::STI, 1, reg, addr);
}
inline uint32_t StiInd(unsigned reg, unsigned mod, unsigned ar, unsigned disp = 0) {
  return Gen(Op::STI, 2, reg, IndField(mod, ar, disp));
}

// Condition codes.
enum : unsigned { kU = 0, kLO = 1, kHS = 4, kEQ = 5, kNE = 6, kLT = 7, kGT = 9, kGE = 10 };
// Registers.
enum : unsigned { R0, R1, R2, R3, R4, R5, R6, R7, AR0, AR1, AR2, AR3, AR4, AR5, AR6, AR7 };
enum : unsigned { DP = 16, IR0, IR1, BK, SP, ST, IE, IF, IOF, RS, RE, RC };

// Loads a 32-bit constant into a register (LDI high half, LSH 16, OR low half).
inline std::vector<uint32_t> LoadConst(unsigned reg, uint32_t value) {
  return {ImmOp(Op::LDI, reg, value >> 16), ImmOp(Op::LSH, reg, 16),
          ImmOp(Op::OR, reg, value & 0xFFFF)};
}

inline constexpr uint32_t kRam = 0x809800;  // C31/C33 internal RAM block 0

// Serial port 0 echo: waits for a received word and answers it plus one on
// the next transfer (loaded at `at`, loops from at + 5).
inline std::vector<uint32_t> EchoProgram(uint32_t at) {
  auto prog = LoadConst(R0, 0x0C3C0000);  // both sides out of reset, 32-bit frames
  prog.insert(prog.end(), {ImmOp(Op::LDI, DP, 0x80), StiDir(R0, 0x8040), DirOp(Op::LDI, R1, 0x8040),
                           ImmOp(Op::AND, R1, 1), Bcond(kEQ, -3), DirOp(Op::LDI, R2, 0x804C),
                           ImmOp(Op::ADDI, R2, 1), StiDir(R2, 0x8048), Br(at + 5)});
  return prog;
}

// A boot table as the flash holds it: the header (8, then the bus word, or
// the three strobe words of a C32), one block of code at `at`, the closing 0.
inline std::vector<uint32_t> BootTable(uint8_t dsp, uint32_t at,
                                       const std::vector<uint32_t>& code) {
  std::vector<uint32_t> t = {8};
  if (dsp == 1)
    t.insert(t.end(), {0xF8, 0x0F08F8, 0x0F08F8, static_cast<uint32_t>(code.size()), at, 0});
  else
    t.insert(t.end(), {0x8F8, static_cast<uint32_t>(code.size()), at});
  t.insert(t.end(), code.begin(), code.end());
  t.push_back(0);
  return t;
}

// A C31 board running `program` from internal RAM; `Step` runs instructions.
struct CpuFixture {
  std::unique_ptr<Board> board;
  explicit CpuFixture(const std::vector<uint32_t>& program, uint8_t dsp = 0, uint32_t at = kRam) {
    BoardConfig cfg;
    cfg.dspType = dsp;
    board = std::make_unique<Board>(cfg);
    board->LoadWords(at, program);
    board->StartAt(at);
  }
  Cpu& cpu() { return board->CpuCore(); }
  Registers& regs() { return board->CpuCore().Regs(); }
  // Runs exactly n more instruction cycles (no idle skipping involved).
  void Step(uint64_t n) { board->CpuCore().Run(board->CpuCore().Cycle() + n); }
  uint32_t Word(uint32_t addr) {
    uint32_t v = 0;
    board->ReadWord(addr, &v);
    return v;
  }
};

}  // namespace velmora::sim::test

#include <string>

#include "c3x/Assembler.h"

namespace velmora::sim::test {

// Assembles source (absolute sections) and loads every section into the board.
inline bool AssembleInto(Board& board, const std::string& source, std::string* errors = nullptr) {
  const c3x::AsmResult r = c3x::Assemble(source, "test.asm");
  if (!r.ok) {
    if (errors)
      for (const auto& e : r.errors) *errors += e + "\n";
    return false;
  }
  for (const auto& s : r.sections)
    if (!s.uninitialised) board.LoadWords(s.origin, s.words);
  return true;
}

}  // namespace velmora::sim::test
