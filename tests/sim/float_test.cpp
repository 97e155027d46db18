#include <gtest/gtest.h>

#include <cmath>

#include "sim/C3xFloat.h"

namespace velmora::sim {
namespace {

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

}  // namespace
}  // namespace velmora::sim
