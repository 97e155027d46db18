// TMS320C3x floating-point arithmetic on the 40-bit extended-precision format
// (8-bit two's-complement exponent, sign, 31-bit fraction), with the flags the
// CPU sets. Results are truncated towards minus infinity as the hardware does;
// only RND rounds.
#pragma once

#include <cstdint>

namespace velmora::sim {

struct ExtFloat {
  uint32_t man = 0;   // bits 31-0: sign in bit 31, fraction in bits 30-0
  int8_t exp = -128;  // bits 39-32; -128 means zero

  bool IsZero() const { return exp == -128; }
  bool operator==(const ExtFloat&) const = default;
};

struct FloatFlags {
  bool n = false, z = false, v = false, uf = false;
  bool keepZ = false;  // Z is left as it was (RND)
};

struct FloatResult {
  ExtFloat value;
  FloatFlags flags;
};

// Format conversions.
ExtFloat FromSingle(uint32_t word);    // 32-bit memory format
uint32_t ToSingle(const ExtFloat& f);  // truncates the low 8 mantissa bits
ExtFloat FromShort(uint16_t bits);     // 16-bit immediate format
double ToDouble(const ExtFloat& f);
// Nearest representable value (ties away from zero); for tests and tools.
ExtFloat FromDouble(double d);

// Arithmetic. AddF computes a + b, SubF a - b, MpyF a * b (operands reduced to
// single precision first, as the multiplier does). A result whose exponent
// falls below -127 underflows: it becomes 0 with UF set and Z clear (the
// guide's RND and NORM notes, and the ZUF condition that exists for it), N
// keeping the sign of the result before it was forced to 0.
FloatResult AddF(const ExtFloat& a, const ExtFloat& b);
FloatResult SubF(const ExtFloat& a, const ExtFloat& b);
FloatResult MpyF(const ExtFloat& a, const ExtFloat& b);
FloatResult NegF(const ExtFloat& a);
FloatResult AbsF(const ExtFloat& a);
FloatResult Rnd(const ExtFloat& a);
FloatResult Norm(const ExtFloat& a);
FloatResult FloatOfInt(int32_t i);
FloatFlags LoadFlags(const ExtFloat& a);  // LDF: N and Z from the value, V = UF = 0

struct FixResult {
  int32_t value = 0;
  bool n = false, z = false, v = false;
};
FixResult Fix(const ExtFloat& a);  // rounds towards minus infinity, saturates on overflow

}  // namespace velmora::sim
