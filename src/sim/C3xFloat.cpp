#include "sim/C3xFloat.h"

#include <cmath>

namespace velmora::sim {
namespace {

using i128 = __int128;

// The mantissa as a signed integer N with value = N * 2^(exp - 31):
// positive numbers have N in [2^31, 2^32), negative ones in [-2^32, -2^31).
int64_t SignedMantissa(const ExtFloat& f) {
  const int64_t frac = f.man & 0x7FFFFFFF;
  return (f.man & 0x80000000u) ? frac - (int64_t{1} << 32) : frac + (int64_t{1} << 31);
}

int MsbIndex(unsigned __int128 v) {
  const uint64_t hi = static_cast<uint64_t>(v >> 64), lo = static_cast<uint64_t>(v);
  if (hi) return 127 - __builtin_clzll(hi);
  return lo ? 63 - __builtin_clzll(lo) : -1;
}

// value = s * 2^scale, normalised and truncated towards minus infinity.
FloatResult Normalize(i128 s, int scale) {
  FloatResult r;
  if (s == 0) {
    r.value = ExtFloat{};
    r.flags.z = true;
    return r;
  }
  const bool negative = s < 0;
  const unsigned __int128 probe =
      negative ? static_cast<unsigned __int128>(~s) : static_cast<unsigned __int128>(s);
  const int shift = probe == 0 ? -32 : MsbIndex(probe) - 31;
  const i128 n = shift >= 0 ? (s >> shift) : (s << -shift);
  const int e = scale + 31 + shift;
  if (e > 127) {
    r.value.exp = 127;
    r.value.man = negative ? 0x80000000u : 0x7FFFFFFFu;
    r.flags.v = true;
    r.flags.n = negative;
    return r;
  }
  if (e < -127) {
    r.value = ExtFloat{};
    r.flags.uf = true;
    r.flags.n = negative;
    return r;
  }
  r.value.exp = static_cast<int8_t>(e);
  r.value.man = static_cast<uint32_t>(static_cast<uint64_t>(n)) ^ 0x80000000u;
  r.flags.n = negative;
  return r;
}

FloatResult AddSigned(const ExtFloat& a, const ExtFloat& b, bool negateB) {
  if (a.IsZero() && b.IsZero()) return Normalize(0, 0);
  int64_t nb = b.IsZero() ? 0 : SignedMantissa(b);
  if (negateB) nb = -nb;
  if (a.IsZero()) return Normalize(nb, b.exp - 31);
  const int64_t na = SignedMantissa(a);
  if (b.IsZero()) return Normalize(na, a.exp - 31);
  // The mantissa of the smaller operand is shifted right to the larger
  // exponent and its bits below the extended-precision fraction are dropped
  // before the addition (the guide's addition flowchart): an arithmetic shift,
  // so a negative operand rounds towards minus infinity.
  const bool aLarger = a.exp >= b.exp;
  const int64_t big = aLarger ? na : nb;
  const int64_t small = aLarger ? nb : na;
  const int bigExp = aLarger ? a.exp : b.exp;
  const int diff = aLarger ? a.exp - b.exp : b.exp - a.exp;
  const int64_t aligned = diff >= 63 ? (small < 0 ? -1 : 0) : (small >> diff);
  return Normalize(static_cast<i128>(big) + aligned, bigExp - 31);
}

}  // namespace

ExtFloat FromSingle(uint32_t word) {
  ExtFloat f;
  f.exp = static_cast<int8_t>(word >> 24);
  f.man = (word & 0x00FFFFFF) << 8;
  return f;
}

uint32_t ToSingle(const ExtFloat& f) {
  return (static_cast<uint32_t>(static_cast<uint8_t>(f.exp)) << 24) | (f.man >> 8);
}

ExtFloat FromShort(uint16_t bits) {
  ExtFloat f;
  int e = (bits >> 12) & 0xF;
  if (e & 0x8) e -= 16;
  if (e == -8) return ExtFloat{};
  f.exp = static_cast<int8_t>(e);
  f.man =
      (static_cast<uint32_t>(bits & 0x0800) << 20) | (static_cast<uint32_t>(bits & 0x07FF) << 20);
  return f;
}

double ToDouble(const ExtFloat& f) {
  if (f.IsZero()) return 0.0;
  return std::ldexp(static_cast<double>(SignedMantissa(f)), f.exp - 31);
}

ExtFloat FromDouble(double d) {
  if (d == 0.0 || !std::isfinite(d)) return ExtFloat{};
  int e = 0;
  const double m = std::frexp(d, &e);  // d = m * 2^e, 0.5 <= |m| < 1
  // 32 significant bits: rounding happens here, Normalize is then exact.
  const i128 s = static_cast<i128>(std::llround(std::ldexp(m, 32)));
  return Normalize(s, e - 32).value;
}

FloatResult AddF(const ExtFloat& a, const ExtFloat& b) {
  return AddSigned(a, b, false);
}
FloatResult SubF(const ExtFloat& a, const ExtFloat& b) {
  return AddSigned(a, b, true);
}

FloatResult MpyF(const ExtFloat& a, const ExtFloat& b) {
  if (a.IsZero() || b.IsZero()) return Normalize(0, 0);
  // The multiplier takes 24-bit mantissas (sign and 23 fraction bits).
  const int64_t na = SignedMantissa(a) >> 8;
  const int64_t nb = SignedMantissa(b) >> 8;
  return Normalize(static_cast<i128>(na) * nb, (a.exp - 23) + (b.exp - 23));
}

FloatResult NegF(const ExtFloat& a) {
  if (a.IsZero()) return Normalize(0, 0);
  return Normalize(-static_cast<i128>(SignedMantissa(a)), a.exp - 31);
}

FloatResult AbsF(const ExtFloat& a) {
  if (a.IsZero()) return Normalize(0, 0);
  const int64_t n = SignedMantissa(a);
  return Normalize(n < 0 ? -static_cast<i128>(n) : n, a.exp - 31);
}

FloatResult Rnd(const ExtFloat& a) {
  FloatResult r;
  r.flags.keepZ = true;  // RND leaves Z alone; a zero operand sets UF instead
  if (a.IsZero()) {
    r.flags.uf = true;
    return r;
  }
  const i128 n = SignedMantissa(a);
  const i128 rounded = ((n + 128) >> 8) << 8;
  r = Normalize(rounded, a.exp - 31);
  r.flags.keepZ = true;
  // Overflow saturates to the largest single-precision value of that sign.
  if (r.flags.v && !r.flags.n) r.value.man = 0x7FFFFF00u;
  return r;
}

FloatResult Norm(const ExtFloat& a) {
  // The mantissa is taken as a plain two's-complement number without the
  // implied bit; a zero mantissa gives zero.
  const int32_t m = static_cast<int32_t>(a.man);
  return Normalize(m, a.exp - 31);
}

FloatResult FloatOfInt(int32_t i) {
  return Normalize(i, 0);
}

FloatFlags LoadFlags(const ExtFloat& a) {
  FloatFlags f;
  f.z = a.IsZero();
  f.n = !f.z && (a.man & 0x80000000u);
  return f;
}

FixResult Fix(const ExtFloat& a) {
  FixResult r;
  if (a.IsZero()) {
    r.z = true;
    return r;
  }
  const int64_t n = SignedMantissa(a);
  const int shift = a.exp - 31;
  int64_t v = 0;
  bool overflow = false;
  if (shift > 1) {
    overflow = true;
  } else if (shift >= 0) {
    v = n * (int64_t{1} << shift);
  } else {
    v = shift <= -63 ? (n < 0 ? -1 : 0) : (n >> -shift);
  }
  if (!overflow && (v > INT32_MAX || v < INT32_MIN)) overflow = true;
  if (overflow) {
    r.v = true;
    r.value = n < 0 ? INT32_MIN : INT32_MAX;
  } else {
    r.value = static_cast<int32_t>(v);
  }
  r.n = r.value < 0;
  r.z = r.value == 0;
  return r;
}

}  // namespace velmora::sim
