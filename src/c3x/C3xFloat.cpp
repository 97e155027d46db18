#include "c3x/C3xFloat.h"

#include <cmath>

namespace velmora::c3x {
namespace {

struct Parts {
  int exponent = 0;
  bool negative = false;
  uint64_t fraction = 0;
  bool zero = true;
  FloatStatus status = FloatStatus::Exact;
};

// Splits value into the C3x form with fracBits fraction bits and exponents
// expMin..expMax, rounding to nearest with ties away from zero, as TI's
// assembler does (2.0958833e7, halfway between two singles, becomes the larger).
Parts Split(double value, int fracBits, int expMin, int expMax) {
  Parts p;
  if (value == 0.0) return p;
  if (std::isnan(value)) {
    p.status = FloatStatus::Overflow;
    p.zero = false;
    p.exponent = expMax;
    p.fraction = (uint64_t{1} << fracBits) - 1;
    return p;
  }
  const double scale = std::ldexp(1.0, fracBits);
  int e = 0;
  const double m = 2.0 * std::frexp(std::fabs(value), &e);  // |value| = m * 2^(e-1), m in [1,2)
  int exponent = e - 1;
  double scaled;
  if (value > 0) {
    scaled = (m - 1.0) * scale;
  } else if (m == 1.0) {  // -2^k is -2 * 2^(k-1)
    exponent -= 1;
    scaled = 0.0;
  } else {
    scaled = (2.0 - m) * scale;
  }
  // A negative value's magnitude grows as its fraction shrinks, so a tie
  // rounds the fraction up for positive values and down for negative ones.
  double rounded = value > 0 ? std::floor(scaled + 0.5) : std::ceil(scaled - 0.5);
  if (rounded != scaled) p.status = FloatStatus::Rounded;
  if (rounded >= scale) {  // the fraction rounded up to 1
    rounded = 0.0;
    exponent += value > 0 ? 1 : -1;
  }
  p.negative = value < 0;
  p.fraction = static_cast<uint64_t>(rounded);
  p.exponent = exponent;
  p.zero = false;
  if (std::isinf(value) || exponent > expMax) {
    p.status = FloatStatus::Overflow;
    p.exponent = expMax;
    p.fraction = p.negative ? 0 : (uint64_t{1} << fracBits) - 1;
  } else if (exponent < expMin) {
    p = Parts{};
    p.status = FloatStatus::Underflow;
  }
  return p;
}

double Join(int exponent, bool negative, uint64_t fraction, int fracBits) {
  const double f = std::ldexp(static_cast<double>(fraction), -fracBits);
  return std::ldexp(negative ? -2.0 + f : 1.0 + f, exponent);
}

void SetStatus(FloatStatus* out, FloatStatus s) {
  if (out) *out = s;
}

}  // namespace

double ShortToDouble(uint16_t bits) {
  const int exponent = static_cast<int8_t>(static_cast<uint8_t>(bits >> 8)) >> 4;
  if (exponent == -8) return 0.0;
  return Join(exponent, bits & 0x800, bits & 0x7FF, 11);
}

uint16_t DoubleToShort(double value, FloatStatus* status) {
  const Parts p = Split(value, 11, -7, 7);
  SetStatus(status, p.status);
  if (p.zero) return 0x8000;
  return static_cast<uint16_t>(((p.exponent & 0xF) << 12) | (p.negative ? 0x800 : 0) |
                               static_cast<uint16_t>(p.fraction));
}

double SingleToDouble(uint32_t bits) {
  const int exponent = static_cast<int8_t>(static_cast<uint8_t>(bits >> 24));
  if (exponent == -128) return 0.0;
  return Join(exponent, bits & 0x800000, bits & 0x7FFFFF, 23);
}

uint32_t DoubleToSingle(double value, FloatStatus* status) {
  const Parts p = Split(value, 23, -127, 127);
  SetStatus(status, p.status);
  if (p.zero) return 0x80000000u;
  return (static_cast<uint32_t>(p.exponent & 0xFF) << 24) | (p.negative ? 0x800000u : 0u) |
         static_cast<uint32_t>(p.fraction);
}

double ExtendedToDouble(ExtendedFloat value) {
  if (value.IsZero()) return 0.0;
  return Join(value.exponent, value.mantissa & 0x80000000u, value.mantissa & 0x7FFFFFFFu, 31);
}

ExtendedFloat DoubleToExtended(double value, FloatStatus* status) {
  const Parts p = Split(value, 31, -127, 127);
  SetStatus(status, p.status);
  if (p.zero) return {};
  return {static_cast<int8_t>(p.exponent),
          (p.negative ? 0x80000000u : 0u) | static_cast<uint32_t>(p.fraction)};
}

ExtendedFloat SingleToExtended(uint32_t bits) {
  const auto exponent = static_cast<int8_t>(static_cast<uint8_t>(bits >> 24));
  if (exponent == -128) return {};
  return {exponent, (bits & 0xFFFFFFu) << 8};
}

ExtendedFloat ShortToExtended(uint16_t bits) {
  const int exponent = static_cast<int8_t>(static_cast<uint8_t>(bits >> 8)) >> 4;
  if (exponent == -8) return {};
  return {static_cast<int8_t>(exponent), static_cast<uint32_t>(bits & 0xFFF) << 20};
}

uint32_t ExtendedToSingle(ExtendedFloat value) {
  if (value.IsZero()) return 0x80000000u;
  return (static_cast<uint32_t>(static_cast<uint8_t>(value.exponent)) << 24) |
         (value.mantissa >> 8);
}

}  // namespace velmora::c3x
