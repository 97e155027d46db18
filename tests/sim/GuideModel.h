// A second, independent TMS320C3x model written from TI's TMS320C3x User's
// Guide (SPRU031): the status register rules of chapter 3 and the condition
// codes of chapter 13, the floating-point flowcharts of chapter 5 (addition,
// multiplication, NORM, RND, FIX) and the instruction descriptions of chapter
// 13. It executes one instruction at a time, keeps delayed branches and block
// repeats as explicit countdowns, and works bit by bit where the guide does.
// The differential tests run it beside the simulator's core.
#pragma once

#include <cstdint>
#include <map>

namespace velmora::sim::guide {

// A 40-bit register: exponent byte and 32-bit mantissa word.
struct Reg40 {
  int exp = -128;
  uint32_t man = 0;
  uint64_t Bits() const { return (uint64_t{static_cast<uint8_t>(exp)} << 32) | man; }
};

struct Machine {
  Reg40 r[8];
  uint32_t other[28] = {};  // by register number: AR0 = 8 ... RC = 27 (0-7 unused)
  uint32_t pc = 0;
  std::map<uint32_t, uint32_t> memory;
  uint64_t steps = 0;
  // A taken-or-not delayed branch: instructions still to run before it acts.
  int delayLeft = 0;
  bool delayTaken = false;
  uint32_t delayTarget = 0;

  uint32_t& st() { return other[21]; }
  uint32_t Read(uint32_t address) const;
  uint64_t RegisterBits(int n) const { return n < 8 ? r[n].Bits() : other[n]; }
};

// Executes the instruction at pc. Knows the instructions the differential
// tests generate; anything else throws std::logic_error.
void Step(Machine& m);

// Floating-point operations on register values, with the flags they produce.
struct FloatOut {
  Reg40 value;
  bool n = false, z = false, v = false, uf = false;
  bool zKept = false;  // Z unaffected
};
FloatOut Add(Reg40 a, Reg40 b);
FloatOut Subtract(Reg40 a, Reg40 b);  // a - b
FloatOut Multiply(Reg40 a, Reg40 b);
FloatOut Negate(Reg40 a);
FloatOut Absolute(Reg40 a);
FloatOut Normalize(Reg40 a);
FloatOut Round(Reg40 a);
FloatOut FromInteger(int32_t i);
struct FixOut {
  int32_t value = 0;
  bool v = false;
};
FixOut ToInteger(Reg40 a);

}  // namespace velmora::sim::guide
