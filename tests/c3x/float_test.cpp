#include "c3x/C3xFloat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace velmora::c3x;

// Values the C3x user's guide lists for its formats.
TEST(C3xFloat, KnownEncodings) {
  struct Case {
    double value;
    uint32_t single;
    uint16_t shortBits;
  } cases[] = {
      {1.0, 0x00000000, 0x0000},
      {-1.0, 0xFF800000, 0xF800},
      {2.0, 0x01000000, 0x1000},
      {-2.0, 0x00800000, 0x0800},
      {0.5, 0xFF000000, 0xF000},
      {1.5, 0x00400000, 0x0400},
      // -1.5 = (-2 + 0.5) * 2^0: sign set, fraction 0.5.
      {-1.5, 0x00C00000, 0x0C00},
      {0.0, 0x80000000, 0x8000},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DoubleToSingle(c.value), c.single) << c.value;
    EXPECT_EQ(DoubleToShort(c.value), c.shortBits) << c.value;
    EXPECT_EQ(SingleToDouble(c.single), c.value) << c.value;
    EXPECT_EQ(ShortToDouble(c.shortBits), c.value) << c.value;
  }
  // Extremes of single precision.
  EXPECT_EQ(SingleToDouble(0x7F7FFFFF), std::ldexp(2.0 - std::ldexp(1.0, -23), 127));
  EXPECT_EQ(SingleToDouble(0x7F800000), -std::ldexp(1.0, 128));
  EXPECT_EQ(SingleToDouble(0x81000000), std::ldexp(1.0, -127));
  // Any word with exponent -128 is zero, whatever its other bits.
  EXPECT_EQ(SingleToDouble(0x80FFFFFF), 0.0);
  EXPECT_EQ(ShortToDouble(0x8FFF), 0.0);
}

TEST(C3xFloat, EveryRepresentableValueRoundTrips) {
  std::mt19937 rng(7);
  for (int i = 0; i < 200000; ++i) {
    uint32_t w = rng();
    if ((w >> 24) == 0x80) continue;  // zero has one canonical word
    FloatStatus st;
    ASSERT_EQ(DoubleToSingle(SingleToDouble(w), &st), w) << std::hex << w;
    ASSERT_EQ(st, FloatStatus::Exact);
    const ExtendedFloat x = SingleToExtended(w);
    ASSERT_EQ(ExtendedToDouble(x), SingleToDouble(w));
    ASSERT_EQ(ExtendedToSingle(x), w);
    ASSERT_EQ(DoubleToExtended(ExtendedToDouble(x)), x);
  }
  for (uint32_t s = 0; s <= 0xFFFF; ++s) {
    if ((s >> 12) == 0x8) continue;
    ASSERT_EQ(DoubleToShort(ShortToDouble(static_cast<uint16_t>(s))), s) << std::hex << s;
    ASSERT_EQ(ExtendedToDouble(ShortToExtended(static_cast<uint16_t>(s))),
              ShortToDouble(static_cast<uint16_t>(s)));
  }
}

TEST(C3xFloat, RoundsToNearestAndReportsRangeProblems) {
  FloatStatus st;
  // 0.1 is not exact: the result is the nearest single, within half a unit.
  const uint32_t w = DoubleToSingle(0.1, &st);
  EXPECT_EQ(st, FloatStatus::Rounded);
  const double ulp = std::ldexp(1.0, -4 - 23);  // 0.1 lies in [2^-4, 2^-3)
  EXPECT_LE(std::fabs(SingleToDouble(w) - 0.1), ulp / 2);

  // A value just below 2 rounds up to 2 (the exponent moves).
  EXPECT_EQ(DoubleToSingle(2.0 - std::ldexp(1.0, -30)), 0x01000000u);
  // A value just above -1 (e.g. -0.99999999) rounds to -1 exactly.
  EXPECT_EQ(DoubleToSingle(-1.0 + std::ldexp(1.0, -30)), 0xFF800000u);
  // Short float: 1/3 rounds to nearest with 11 fraction bits.
  const uint16_t third = DoubleToShort(1.0 / 3.0, &st);
  EXPECT_EQ(st, FloatStatus::Rounded);
  EXPECT_LE(std::fabs(ShortToDouble(third) - 1.0 / 3.0), std::ldexp(1.0, -2 - 11) / 2);

  DoubleToSingle(1e39, &st);
  EXPECT_EQ(st, FloatStatus::Overflow);
  EXPECT_EQ(DoubleToSingle(-1e39), 0x7F800000u);  // saturates to the most negative value
  EXPECT_EQ(DoubleToSingle(1e-40, &st), 0x80000000u);
  EXPECT_EQ(st, FloatStatus::Underflow);
  DoubleToShort(256.0, &st);
  EXPECT_EQ(st, FloatStatus::Overflow);
  DoubleToShort(255.875, &st);  // (1 + 2047/2048) * 2^7 is the largest short
  EXPECT_EQ(st, FloatStatus::Exact);
  DoubleToShort(NAN, &st);
  EXPECT_EQ(st, FloatStatus::Overflow);
}

TEST(C3xFloat, ExtendedKeepsTheLowBitsAStoreTruncates) {
  // 1 + 2^-31 needs the full 31-bit fraction.
  const double v = 1.0 + std::ldexp(1.0, -31);
  const ExtendedFloat x = DoubleToExtended(v);
  EXPECT_EQ(x.exponent, 0);
  EXPECT_EQ(x.mantissa, 1u);
  EXPECT_EQ(ExtendedToDouble(x), v);
  EXPECT_EQ(ExtendedToSingle(x), 0x00000000u);  // the low bits are dropped, not rounded
  EXPECT_EQ(ExtendedFloat::FromBits(x.Bits()), x);
  EXPECT_EQ(DoubleToExtended(0.0).Bits(), 0x8000000000ull);
}

// A value exactly halfway between two neighbours takes the one of larger
// magnitude, as TI's assembler does. Ties are made from every representable
// value v (exponent e) as v + 2^(e - fracBits - 1); the result must lie half a
// unit away and further from zero.
TEST(C3xFloat, TiesRoundAwayFromZero) {
  EXPECT_EQ(DoubleToSingle(2.0958833e+07), 0x181FE739u);
  EXPECT_EQ(DoubleToSingle(-3.7188618e+07), 0x19F222FDu);

  auto check = [](double tie, double got, int fracBits, int e) {
    return std::fabs(got) > std::fabs(tie) &&
           std::fabs(got - tie) == std::ldexp(1.0, e - fracBits - 1);
  };
  // Short floats: every tie of every exponent, both signs.
  for (uint32_t s = 0; s <= 0xFFFF; ++s) {
    const int e = static_cast<int8_t>(static_cast<uint8_t>(s >> 8)) >> 4;
    if (e == -8 || (e == 7 && s == 0x77FF)) continue;  // zero; the largest overflows
    const double tie = ShortToDouble(static_cast<uint16_t>(s)) + std::ldexp(1.0, e - 12);
    const double got = ShortToDouble(DoubleToShort(tie));
    ASSERT_TRUE(check(tie, got, 11, e)) << std::hex << s;
  }
  // Single precision: every tie in the lowest and highest 4096 fractions of a
  // few exponents (this covers the carry into the next exponent and the -2^e
  // edge) for both signs.
  for (int e : {-127, -1, 0, 1, 23, 24, 126}) {
    for (uint32_t sign : {0u, 0x800000u}) {
      for (uint32_t f = 0; f < 0x800000u; f = (f == 4095 ? 0x800000u - 4096 : f + 1)) {
        const uint32_t w = (static_cast<uint32_t>(e & 0xFF) << 24) | sign | f;
        const double tie = SingleToDouble(w) + std::ldexp(1.0, e - 24);
        ASSERT_TRUE(check(tie, SingleToDouble(DoubleToSingle(tie)), 23, e)) << std::hex << w;
        const ExtendedFloat x = SingleToExtended(w);
        const double xtie = ExtendedToDouble(x) + std::ldexp(1.0, e - 32);
        ASSERT_TRUE(check(xtie, ExtendedToDouble(DoubleToExtended(xtie)), 31, e)) << std::hex << w;
      }
    }
  }
  // The largest tie overflows rather than rounding to a value the format lacks.
  FloatStatus st;
  DoubleToSingle(std::ldexp(2.0 - std::ldexp(1.0, -24), 127), &st);
  EXPECT_EQ(st, FloatStatus::Overflow);
}
