// TMS320C3x floating-point formats for code: the 16-bit short float of immediate
// operands, the 32-bit single precision of memory words and the 40-bit extended
// precision of registers R0-R7. Each holds a two's-complement exponent (its most
// negative value means zero), a sign bit and a fraction f; the value is
// (1 + f) * 2^e when the sign is 0 and (-2 + f) * 2^e when it is 1.
#pragma once

#include <cstdint>
#include <optional>

namespace velmora::c3x {

enum class FloatStatus : uint8_t {
  Exact,      // represented exactly
  Rounded,    // rounded to the nearest representable value
  Underflow,  // too small in magnitude: the result is zero
  Overflow,   // too large in magnitude (or not a number): the result saturates
};

// Short float: bits 15-12 exponent (-8 means zero), 11 sign, 10-0 fraction.
double ShortToDouble(uint16_t bits);
uint16_t DoubleToShort(double value, FloatStatus* status = nullptr);

// Single precision: bits 31-24 exponent (-128 means zero), 23 sign, 22-0 fraction.
double SingleToDouble(uint32_t bits);
uint32_t DoubleToSingle(double value, FloatStatus* status = nullptr);

// Extended precision as a register holds it: an 8-bit exponent and a 32-bit
// mantissa word (bit 31 sign, bits 30-0 fraction). Exponent -128 means zero.
struct ExtendedFloat {
  int8_t exponent = -128;
  uint32_t mantissa = 0;

  bool IsZero() const { return exponent == -128; }
  // The 40 bits as the register holds them: exponent in bits 39-32.
  uint64_t Bits() const {
    return (static_cast<uint64_t>(static_cast<uint8_t>(exponent)) << 32) | mantissa;
  }
  static ExtendedFloat FromBits(uint64_t bits) {
    return {static_cast<int8_t>(static_cast<uint8_t>(bits >> 32)), static_cast<uint32_t>(bits)};
  }
  bool operator==(const ExtendedFloat&) const = default;
};

double ExtendedToDouble(ExtendedFloat value);
ExtendedFloat DoubleToExtended(double value, FloatStatus* status = nullptr);

// Widening loads, exact (LDF of a memory word, short immediate operands).
ExtendedFloat SingleToExtended(uint32_t bits);
ExtendedFloat ShortToExtended(uint16_t bits);
// Narrowing store as STF does it: the low 8 fraction bits are dropped (truncation).
uint32_t ExtendedToSingle(ExtendedFloat value);

}  // namespace velmora::c3x
