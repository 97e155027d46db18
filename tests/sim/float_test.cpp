#include <gtest/gtest.h>

#include <cmath>

#include "sim/C3xFloat.h"

namespace velmora::sim {
namespace {

ExtFloat D(double d) {
  return FromDouble(d);
}

TEST(C3xFloat, SinglePrecisionEncodingsFollowTheTiFormat) {
  struct Case {
    uint32_t word;
    double value;
  } cases[] = {{0x00000000, 1.0}, {0xFF800000, -1.0},
               {0xFF000000, 0.5}, {0x01000000, 2.0},
               {0x01400000, 3.0}, {0x00C00000, -1.5},
               {0x80000000, 0.0}, {0x7F7FFFFF, std::ldexp(2.0 - std::ldexp(1, -23), 127)}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.word);
    EXPECT_EQ(ToDouble(FromSingle(c.word)), c.value);
    if (c.value != 0.0) {
      EXPECT_EQ(ToSingle(FromDouble(c.value)), c.word);
    }
  }
  // Any mantissa with exponent -128 is zero.
  EXPECT_TRUE(FromSingle(0x80123456).IsZero());
  // Short immediates: 4-bit exponent, sign, 11-bit fraction; exponent -8 is zero.
  EXPECT_EQ(ToDouble(FromShort(0x0000)), 1.0);
  EXPECT_EQ(ToDouble(FromShort(0x3800)), -16.0);
  EXPECT_EQ(ToDouble(FromShort(0x1400)), 3.0);
  EXPECT_TRUE(FromShort(0x8000).IsZero());
}

TEST(C3xFloat, AdditionIsExactWhereItFitsAndTruncatesTowardsMinusInfinity) {
  FloatResult r = AddF(D(1.5), D(2.25));
  EXPECT_EQ(ToDouble(r.value), 3.75);
  EXPECT_FALSE(r.flags.n || r.flags.z || r.flags.v || r.flags.uf);

  r = SubF(D(2.5), D(2.5));
  EXPECT_TRUE(r.value.IsZero());
  EXPECT_TRUE(r.flags.z);

  r = SubF(D(1.0), D(3.0));
  EXPECT_EQ(ToDouble(r.value), -2.0);
  EXPECT_TRUE(r.flags.n);

  // 1 - 2^-40 does not fit 32 mantissa bits: the hardware keeps the value
  // below (1 - 2^-32), not the nearest (1.0).
  r = AddF(D(1.0), D(-std::ldexp(1.0, -40)));
  EXPECT_EQ(ToDouble(r.value), 1.0 - std::ldexp(1.0, -32));
  // Adding a tiny positive value to 1 leaves 1.
  r = AddF(D(1.0), D(std::ldexp(1.0, -40)));
  EXPECT_EQ(ToDouble(r.value), 1.0);
  // Operands far apart: the smaller one only matters through its sign.
  r = AddF(D(1.0), D(-std::ldexp(1.0, -120)));
  EXPECT_EQ(ToDouble(r.value), 1.0 - std::ldexp(1.0, -32));
}

TEST(C3xFloat, MultiplyUsesSinglePrecisionOperandsAndReportsRangeErrors) {
  EXPECT_EQ(ToDouble(MpyF(D(1.5), D(-2.5)).value), -3.75);
  // Extended-precision bits below the 23-bit fraction do not take part.
  EXPECT_EQ(ToDouble(MpyF(D(1.0 + std::ldexp(1.0, -30)), D(1.0)).value), 1.0);

  const ExtFloat big = FromSingle(0x7F7FFFFF);
  FloatResult r = MpyF(big, D(2.0));
  EXPECT_TRUE(r.flags.v);
  EXPECT_EQ(ToSingle(r.value), 0x7F7FFFFFu);
  r = MpyF(NegF(big).value, D(2.0));
  EXPECT_TRUE(r.flags.v);
  EXPECT_TRUE(r.flags.n);
  EXPECT_EQ(ToSingle(r.value), 0x7F800000u);

  r = MpyF(D(std::ldexp(1.0, -100)), D(std::ldexp(1.0, -100)));
  EXPECT_TRUE(r.flags.uf);
  EXPECT_TRUE(r.flags.z);
  EXPECT_TRUE(r.value.IsZero());
}

TEST(C3xFloat, NegateAndAbsoluteValueOverflowOnlyAtTheMostNegativeNumber) {
  EXPECT_EQ(ToDouble(NegF(D(-3.0)).value), 3.0);
  EXPECT_EQ(ToDouble(AbsF(D(-0.75)).value), 0.75);
  // -2 * 2^127 has no positive counterpart.
  ExtFloat mostNegative;
  mostNegative.exp = 127;
  mostNegative.man = 0x80000000u;
  EXPECT_TRUE(NegF(mostNegative).flags.v);
  EXPECT_TRUE(AbsF(mostNegative).flags.v);
  EXPECT_FALSE(NegF(D(-1.0)).flags.v);
}

TEST(C3xFloat, FixRoundsTowardsMinusInfinityAndSaturates) {
  EXPECT_EQ(Fix(D(1.5)).value, 1);
  EXPECT_EQ(Fix(D(-1.5)).value, -2);
  EXPECT_EQ(Fix(D(-0.25)).value, -1);
  EXPECT_EQ(Fix(D(0.25)).value, 0);
  EXPECT_TRUE(Fix(D(0.25)).z);
  EXPECT_EQ(Fix(D(-2147483648.0)).value, INT32_MIN);
  EXPECT_FALSE(Fix(D(-2147483648.0)).v);
  FixResult r = Fix(D(2147483648.0));
  EXPECT_TRUE(r.v);
  EXPECT_EQ(r.value, INT32_MAX);
  r = Fix(D(-1e20));
  EXPECT_TRUE(r.v);
  EXPECT_EQ(r.value, INT32_MIN);
}

TEST(C3xFloat, FloatOfIntegersIsExact) {
  for (int32_t i : {0, 1, -1, 7, -1000, 123456789, INT32_MAX, INT32_MIN}) {
    SCOPED_TRACE(i);
    const FloatResult r = FloatOfInt(i);
    EXPECT_EQ(ToDouble(r.value), static_cast<double>(i));
    EXPECT_EQ(r.flags.z, i == 0);
    EXPECT_EQ(r.flags.n, i < 0);
    EXPECT_EQ(Fix(r.value).value, i);
  }
}

TEST(C3xFloat, RoundGoesToSinglePrecisionHalfUp) {
  EXPECT_EQ(ToDouble(Rnd(D(1.0 + std::ldexp(1.0, -24))).value), 1.0 + std::ldexp(1.0, -23));
  EXPECT_EQ(ToDouble(Rnd(D(1.0 + std::ldexp(1.0, -25))).value), 1.0);
  EXPECT_EQ(ToDouble(Rnd(D(-1.0 - std::ldexp(1.0, -25))).value), -1.0);
  // Rounding the largest extended value up overflows.
  ExtFloat top;
  top.exp = 127;
  top.man = 0x7FFFFFFFu;
  EXPECT_TRUE(Rnd(top).flags.v);
}

TEST(C3xFloat, NormalizeTakesTheMantissaAsAPlainTwosComplementNumber) {
  ExtFloat f;
  f.exp = 31;
  f.man = 5;  // 5 * 2^0
  EXPECT_EQ(ToDouble(Norm(f).value), 5.0);
  f.man = static_cast<uint32_t>(-12);
  EXPECT_EQ(ToDouble(Norm(f).value), -12.0);
  f.man = 0;
  EXPECT_TRUE(Norm(f).flags.z);
}

}  // namespace
}  // namespace velmora::sim
