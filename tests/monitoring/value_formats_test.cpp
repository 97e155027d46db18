#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "monitoring/ValueFormats.h"

namespace velmora {
namespace {

// The value of a C3x float word straight from its definition:
// (1 + f/2^23) x 2^e for s = 0, (-2 + f/2^23) x 2^e for s = 1.
double C3xValue(uint32_t w) {
  if (w == 0x80000000u) return 0.0;
  const int e = static_cast<int8_t>(static_cast<uint8_t>(w >> 24));
  const double f = static_cast<double>(w & 0x7FFFFF) / 8388608.0;
  return std::ldexp(((w >> 23) & 1) ? -2.0 + f : 1.0 + f, e);
}

float AsFloat(uint32_t bits) {
  return std::bit_cast<float>(bits);
}
uint32_t Bits(float f) {
  return std::bit_cast<uint32_t>(f);
}

// Runs of digits glued together, e.g. Digits({{9, '1'}, {23, '0'}}).
std::string Digits(std::initializer_list<std::pair<size_t, char>> runs) {
  std::string text;
  for (const auto& [count, c] : runs) text.append(count, c);
  return text;
}

std::string PrintfG(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

// Full sweeps over all 2^32 words take minutes; the default stride still
// visits every exponent with many fractions. VELMORA_EXHAUSTIVE=1 sweeps all.
uint64_t SweepStride() {
  const char* env = std::getenv("VELMORA_EXHAUSTIVE");
  return env && env[0] == '1' ? 1 : 251;
}

TEST(C3xFloat, ReferencePairs) {
  const struct {
    float value;
    uint32_t word;
  } pairs[] = {{1.0f, 0x00000000},   {-1.0f, 0xFF800000},   {0.5f, 0xFF000000},
               {-0.5f, 0xFE800000},  {2.0f, 0x01000000},    {-2.0f, 0x00800000},
               {1.5f, 0x00400000},   {-1.5f, 0x00C00000},   {3.0f, 0x01400000},
               {-3.0f, 0x01C00000},  {0.75f, 0xFF400000},   {-0.75f, 0xFFC00000},
               {100.0f, 0x06480000}, {-100.0f, 0x06B80000}, {0.0f, 0x80000000}};
  for (const auto& p : pairs) {
    EXPECT_EQ(IeeeToC3x(Bits(p.value)), p.word) << p.value;
    EXPECT_EQ(C3xToIeee(p.word), Bits(p.value)) << std::hex << p.word;
  }
}

TEST(C3xFloat, EdgeWords) {
  EXPECT_EQ(C3xToIeee(0x80000000), 0x00000000u);
  EXPECT_EQ(C3xToIeee(0x80800000), 0x80000000u);  // -0.0
  EXPECT_EQ(C3xToIeee(0x80000001), 0xFF800001u);  // a NaN, not zero
  EXPECT_EQ(C3xToIeee(0x81000000), 0x00000000u);
  EXPECT_EQ(C3xToIeee(0x7F800000), 0xFF800000u);  // -2^128: minus infinity
  EXPECT_EQ(IeeeToC3x(0x80000000), 0x80800000u);  // -0.0
  EXPECT_EQ(IeeeToC3x(0x7F800000), 0x80000000u);  // +infinity
  EXPECT_EQ(IeeeToC3x(0xFF800000), 0x7F800000u);  // minus infinity
  EXPECT_EQ(IeeeToC3x(0x00000001), 0x81000001u);  // smallest subnormal
  EXPECT_EQ(IeeeToC3x(0x007FFFFF), 0x817FFFFFu);  // largest subnormal keeps its bits
  // Largest and smallest normals of either sign map to exact C3x values.
  for (float f : {std::numeric_limits<float>::max(), -std::numeric_limits<float>::max(),
                  std::numeric_limits<float>::min(), -std::numeric_limits<float>::min()}) {
    EXPECT_EQ(C3xValue(IeeeToC3x(Bits(f))), static_cast<double>(f)) << f;
  }
}

TEST(C3xFloat, EveryC3xWordInTheExactRangeConvertsExactly) {
  const uint64_t stride = SweepStride();
  uint64_t checked = 0;
  for (uint64_t w64 = 0; w64 <= 0xFFFFFFFFull; w64 += stride) {
    const auto w = static_cast<uint32_t>(w64);
    const int e = static_cast<int8_t>(static_cast<uint8_t>(w >> 24));
    if (e < -126 || e > 126 || w == 0x80000000u) continue;
    const float f = AsFloat(C3xToIeee(w));
    ASSERT_EQ(static_cast<double>(f), C3xValue(w)) << std::hex << w;
    ++checked;
  }
  EXPECT_GT(checked, 0xFFFFFFFFull / stride / 2);
}

TEST(C3xFloat, EveryNormalSingleRoundTripsExactly) {
  const uint64_t stride = SweepStride();
  uint64_t checked = 0;
  for (uint64_t v64 = 0; v64 <= 0xFFFFFFFFull; v64 += stride) {
    const auto v = static_cast<uint32_t>(v64);
    const uint32_t exponent = (v >> 23) & 0xFF;
    if (exponent == 0 || exponent == 0xFF) continue;
    const uint32_t c3x = IeeeToC3x(v);
    ASSERT_EQ(C3xToIeee(c3x), v) << std::hex << v;
    ASSERT_EQ(C3xValue(c3x), static_cast<double>(AsFloat(v))) << std::hex << v;
    ++checked;
  }
  // Random normals reach fractions and exponents the stride does not.
  std::mt19937 rng(20240601);
  std::uniform_int_distribution<uint32_t> fraction(0, 0x7FFFFF);
  std::uniform_int_distribution<uint32_t> exponent(1, 254);
  for (int i = 0; i < 4000000; ++i) {
    const uint32_t v = (static_cast<uint32_t>(i & 1) << 31) | (exponent(rng) << 23) | fraction(rng);
    const uint32_t c3x = IeeeToC3x(v);
    ASSERT_EQ(C3xToIeee(c3x), v) << std::hex << v;
    ASSERT_EQ(C3xValue(c3x), static_cast<double>(AsFloat(v))) << std::hex << v;
    ++checked;
  }
  EXPECT_GT(checked, 4000000u);
}

// The console's read results cover the five views of 0xFF800000 and the float
// words 0, 100; these are the edges besides.
TEST(FormatTargetWord, EdgeWordsAndStoredViewsAboveFour) {
  const struct {
    uint32_t word;
    uint8_t view;
    std::string shown;
  } cases[] = {{0x00000000, 3, "1"},
               {0x7F800000, 3, "-inf"},
               {0x00000005, 4, Digits({{29, '0'}, {1, '1'}, {1, '0'}, {1, '1'}})},
               {0xFFFFFFFF, 1, "-1"},
               {0x80000000, 1, "-2147483648"},
               {0xFFFFFFFF, 2, "4294967295"},
               {0xFFFFFFFF, 0, "0xFFFFFFFF"},
               {0xFFFFFFFF, 7, "0xFFFFFFFF"},
               {0x0000ABCD, 255, "0x0000ABCD"}};
  for (const auto& c : cases) EXPECT_EQ(FormatTargetWord(c.word, c.view), c.shown) << c.word;
}

TEST(FormatTargetWord, FloatTextIsPrintfG) {
  std::mt19937 rng(7);
  for (int i = 0; i < 200000; ++i) {
    const uint32_t w = rng();
    const double v = static_cast<double>(AsFloat(C3xToIeee(w)));
    if (std::isnan(v)) continue;  // NaN spelling is the library's own
    ASSERT_EQ(FormatTargetWord(w, ViewType::Float), PrintfG(v)) << std::hex << w;
  }
  for (double v : {0.0001, 0.00001, 123456.0, 1234567.0, 999999.5, 1e-40, -0.0, 1.0 / 3}) {
    EXPECT_EQ(FormatG(v), PrintfG(v)) << v;
  }
}

TEST(BinaryText, ConversionsAndChecks) {
  EXPECT_EQ(WordToBinaryText(0), std::string(32, '0'));
  EXPECT_EQ(WordToBinaryText(0x80000001), Digits({{1, '1'}, {30, '0'}, {1, '1'}}));
  EXPECT_EQ(BinaryTextToWord("101"), 5u);
  EXPECT_EQ(BinaryTextToWord(std::string(32, '1')), 0xFFFFFFFFu);
  EXPECT_EQ(BinaryTextToWord("1x1"), 5u);  // other characters count as 0
  EXPECT_EQ(BinaryTextToWord(""), 0u);
  EXPECT_EQ(BinaryTextToWord(Digits({{1, '1'}, {32, '0'}})), 0u);  // modulo 2^32
  for (uint32_t w : {0u, 1u, 0x80000000u, 0xDEADBEEFu, 0xFFFFFFFFu})
    EXPECT_EQ(BinaryTextToWord(WordToBinaryText(w)), w);

  for (const char* t : {"", "0101"}) EXPECT_TRUE(IsBinaryText(t)) << t;
  for (const char* t : {"012", "1 0"}) EXPECT_FALSE(IsBinaryText(t)) << t;
  for (const char* t : {"", "09afAF"}) EXPECT_TRUE(IsHexText(t)) << t;
  for (const char* t : {"0x1", "1G"}) EXPECT_FALSE(IsHexText(t)) << t;
  for (const char* t : {"", "0123456789"}) EXPECT_TRUE(IsDecimalText(t)) << t;
  for (const char* t : {"-1", "+1", " 1", "1.0", "a"}) EXPECT_FALSE(IsDecimalText(t)) << t;
}

TEST(NumberText, UnsignedReadersFollowStrtoulWith32Bits) {
  const struct {
    const char* text;
    uint32_t decimal, hex;
  } cases[] = {
      {"10", 10, 0x10},
      {"  \t12", 12, 0x12},
      {"+7", 7, 7},
      {"-1", 0xFFFFFFFF, 0xFFFFFFFF},
      {"-4294967295", 1, 0xFFFFFFFF},
      {"4294967295", 0xFFFFFFFF, 0xFFFFFFFF},
      {"4294967296", 0xFFFFFFFF, 0xFFFFFFFF},
      {"99999999999999999999999", 0xFFFFFFFF, 0xFFFFFFFF},
      {"12abc", 12, 0x12ABC},
      {"abc", 0, 0xABC},
      {"", 0, 0},
      {"-", 0, 0},
      {"0x1f", 0, 0x1F},
      {"0X1F", 0, 0x1F},
      {"1Fh", 1, 0x1F},
      {"0x", 0, 0},
      {"0xg", 0, 0},
      {"ffffffff", 0, 0xFFFFFFFF},
      {"1ffffffff", 1, 0xFFFFFFFF},
      {"-1fh", 0xFFFFFFFF, 0xFFFFFFE1},
      {"--1", 0, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReadUnsignedDecimal(c.text), c.decimal) << '"' << c.text << '"';
    EXPECT_EQ(ReadUnsignedHex(c.text), c.hex) << '"' << c.text << '"';
  }
}

// strtod in the "C" locale, rounded to float, with the documented exceptions
// (no number and NaN give 0, beyond the float range holds at the largest float).
float FloatOracle(const std::string& s) {
  const double d = std::strtod(s.c_str(), nullptr);
  if (std::isnan(d)) return 0.0f;
  if (d > std::numeric_limits<float>::max()) return std::numeric_limits<float>::max();
  if (d < -std::numeric_limits<float>::max()) return -std::numeric_limits<float>::max();
  return static_cast<float>(d);
}

TEST(NumberText, FloatTextAgreesWithStrtod) {
  const char alphabet[] = "0123456789..eE+- \t";
  std::mt19937 rng(99);
  std::uniform_int_distribution<size_t> pick(0, sizeof alphabet - 2);
  std::uniform_int_distribution<int> length(0, 14);
  for (int i = 0; i < 300000; ++i) {
    std::string s;
    for (int n = length(rng); n > 0; --n) s += alphabet[pick(rng)];
    ASSERT_EQ(Bits(ReadFloatText(s)), Bits(FloatOracle(s))) << '"' << s << '"';
  }
  std::vector<std::string> edges = {
      "1e39",    "-1e39",   "1e400",        "-1e400",         "1e-400",
      "-1e-400", "0.1e-45", "3.4028235e38", "3.4028236e38",   "nan",
      "inf",     "-inf",    "  -1.5e+2x",   "1.17549435e-38", "7.006e-46"};
  // Long digit strings beyond the double range, without an exponent.
  edges.push_back(Digits({{1, '0'}, {1, '.'}, {400, '0'}, {1, '1'}}));
  edges.push_back(Digits({{1, '1'}, {400, '0'}, {1, '.'}, {1, '5'}}));
  for (const std::string& s : edges) EXPECT_EQ(Bits(ReadFloatText(s)), Bits(FloatOracle(s))) << s;
}

TEST(EnteredValue, RulesOfTheChangeDataDialogs) {
  const std::string ones17(17, '1');
  const struct {
    std::string text;
    ViewType view;
    uint32_t limit;
    uint32_t word;
    EntryRejection rejection;
  } cases[] = {
      {"", ViewType::HexDecimal, 32, 0, EntryRejection::EmptyText},
      {"", ViewType::Binary, 16, 0, EntryRejection::EmptyText},
      {"1.5", ViewType::SignedInteger, 32, 0x00400000, EntryRejection::None},
      {"-0.5", ViewType::HexDecimal, 32, 0xFE800000, EntryRejection::None},
      {"10", ViewType::Float, 32, 0x0000000A, EntryRejection::None},
      {"0x1f", ViewType::HexDecimal, 32, 0x1F, EntryRejection::None},
      {"1FH", ViewType::HexDecimal, 32, 0x1F, EntryRejection::None},
      {"1fh", ViewType::UnsignedInteger, 32, 0x1F, EntryRejection::None},
      {"10", ViewType::HexDecimal, 32, 10, EntryRejection::None},
      {"abc", ViewType::HexDecimal, 32, 0, EntryRejection::None},
      {"-1", ViewType::SignedInteger, 32, 0xFFFFFFFF, EntryRejection::None},
      {"99999999999", ViewType::UnsignedInteger, 32, 0xFFFFFFFF, EntryRejection::None},
      {" 0x10", ViewType::HexDecimal, 32, 0, EntryRejection::None},  // not trimmed
      {ones17, ViewType::Binary, 16, 0xFFFF, EntryRejection::None},
      {ones17, ViewType::Binary, 32, 0x1FFFF, EntryRejection::None},
      {"1021", ViewType::Binary, 16, 0, EntryRejection::NotBinary},
      {"0x1", ViewType::Binary, 16, 0, EntryRejection::NotBinary},
      {"1.1", ViewType::Binary, 16, 0x000CCCCD, EntryRejection::None},
      {"x.y", ViewType::Float, 32, 0x80000000, EntryRejection::None},
      {"100.", ViewType::Float, 32, 0x06480000, EntryRejection::None},
      {"1e39.", ViewType::Float, 32, 0x7F7FFFFF, EntryRejection::None},
  };
  for (const auto& c : cases) {
    const EnteredValue v = ParseEnteredValue(c.text, c.view, c.limit);
    EXPECT_EQ(v.rejection, c.rejection) << '"' << c.text << '"';
    EXPECT_EQ(v.Accepted(), c.rejection == EntryRejection::None);
    if (v.Accepted()) {
      EXPECT_EQ(v.word, c.word) << '"' << c.text << '"';
    }
  }
  // 1.1 really is the float 1.1 in C3x form.
  EXPECT_EQ(AsFloat(C3xToIeee(ParseEnteredValue("1.1", ViewType::Binary, 16).word)), 1.1f);
}

}  // namespace
}  // namespace velmora
