#include "monitoring/ValueFormats.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace velmora {
namespace {

constexpr std::array<ViewTypeInfo, kViewTypeCount> kViewTypes = {{
    {"hex decimal", "Hex Decimal", 32787, 32796,
     "Show monitoring value of selected variable with hex decimal",
     "Show monitoring value of selected address with hex decimal"},
    {"signed integer", "Signed Integer", 32788, 32797,
     "Show monitoring value of selected variable by signed integer",
     "Show monitoring value of selected address with signed integer"},
    {"unsigned integer", "Unsigned Integer", 32789, 32798,
     "Show monitoring value of selected variable by unsigned integer",
     "Show monitoring value of selected address with unsigned integer"},
    {"float", "Float", 32790, 32799, "Show monitoring value of selected variable with float",
     "Show monitoring value of selected address with float"},
    {"binary", "Binary", 32791, 32800, "Show monitoring value of selected variable with binary",
     "Show monitoring value of selected address with binary"},
}};

// The C library's isspace in the "C" locale.
bool IsCSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// strtoul with a 32-bit unsigned long, as the host this format comes from had.
uint32_t ReadUnsigned(std::string_view s, int base) {
  size_t i = 0;
  const size_t n = s.size();
  while (i < n && IsCSpace(s[i])) ++i;
  bool negative = false;
  if (i < n && (s[i] == '+' || s[i] == '-')) {
    negative = s[i] == '-';
    ++i;
  }
  if (base == 16 && i + 2 < n && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X') &&
      DigitValue(s[i + 2]) >= 0)
    i += 2;
  uint64_t value = 0;
  bool overflow = false;
  for (; i < n; ++i) {
    const int d = DigitValue(s[i]);
    if (d < 0 || d >= base) break;
    if (!overflow) {
      value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
      overflow = value > 0xFFFFFFFFull;
    }
  }
  if (overflow) return 0xFFFFFFFFu;
  const auto magnitude = static_cast<uint32_t>(value);
  return negative ? 0u - magnitude : magnitude;
}

// For decimal text that lies outside the double range: whether it is too large
// (rather than too small). Its decimal exponent is hundreds away from zero, so
// a rough estimate decides.
bool BeyondDoubleRangeIsLarge(std::string_view s) {
  size_t i = 0;
  const size_t n = s.size();
  int64_t magnitude = 0;
  bool significant = false;
  for (; i < n && IsDigit(s[i]); ++i) {
    if (s[i] != '0') significant = true;
    if (significant) ++magnitude;
  }
  if (i < n && s[i] == '.') {
    for (++i; i < n && IsDigit(s[i]); ++i) {
      if (significant) continue;
      if (s[i] == '0')
        --magnitude;
      else
        significant = true;
    }
  }
  if (i < n && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    bool negative = false;
    if (i < n && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    int64_t exponent = 0;
    for (; i < n && IsDigit(s[i]); ++i)
      exponent = std::min<int64_t>(exponent * 10 + (s[i] - '0'), int64_t{1} << 40);
    magnitude += negative ? -exponent : exponent;
  }
  return magnitude > 0;
}

}  // namespace

const ViewTypeInfo& ViewTypeInfoOf(uint8_t view) {
  return kViewTypes[view < kViewTypeCount ? view : 0];
}

std::string FormatG(double value) {
  // to_chars with a precision is printf in the "C" locale, whatever the
  // process locale says about the decimal point.
  char buf[64];
  const auto result = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 6);
  return std::string(buf, result.ptr);
}

std::string FormatTargetWord(uint32_t word, uint8_t view) {
  char buf[40];
  switch (static_cast<ViewType>(view)) {
    case ViewType::SignedInteger:
      std::snprintf(buf, sizeof buf, "%i", static_cast<int>(static_cast<int32_t>(word)));
      return buf;
    case ViewType::UnsignedInteger:
      std::snprintf(buf, sizeof buf, "%u", static_cast<unsigned>(word));
      return buf;
    case ViewType::Float:
      return FormatG(static_cast<double>(C3xToFloat(word)));
    case ViewType::Binary:
      return WordToBinaryText(word);
    case ViewType::HexDecimal:
    default:
      std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(word));
      return buf;
  }
}

uint32_t C3xToIeee(uint32_t w) {
  if (w == 0x80000000u) return 0;
  const uint32_t e = w >> 24;
  const uint32_t s = (w >> 23) & 1;
  const uint32_t m = w & 0x7FFFFFu;
  uint32_t x = e < 128 ? (e + 127) << 23 : 0x3F000000u - ((e ^ 0xFF) << 23);
  if (s == 0) return m | x;
  const uint32_t t = (m ^ 0x7FFFFFu) + 1;
  if (t & 0x800000u) x = 0x3F800000u - ((e ^ 0xFF) << 23);
  return (t & 0x7FFFFFu) | x | 0x80000000u;
}

uint32_t IeeeToC3x(uint32_t v) {
  if (v == 0) return 0x80000000u;
  const uint32_t m = v & 0x7FFFFFu;
  const uint32_t s = v >> 31;
  const uint32_t e = (v >> 23) & 0xFF;
  const uint32_t z = s ? 0x800000u : 0;
  uint32_t x =
      e >= 127 ? (e + 0x81) << 24 : ((0x7F000000u - (e << 24)) ^ 0xFF000000u) + 0x01000000u;
  if (s == 0) return m | x;
  const uint32_t t = (m ^ 0x7FFFFFu) + 1;
  if (t & 0x800000u) x = (0x7F000000u - (e << 24)) ^ 0xFF000000u;
  return (t & 0x7FFFFFu) | x | z;
}

float C3xToFloat(uint32_t c3xWord) {
  return std::bit_cast<float>(C3xToIeee(c3xWord));
}
uint32_t FloatToC3x(float value) {
  return IeeeToC3x(std::bit_cast<uint32_t>(value));
}

std::string WordToBinaryText(uint32_t word) {
  std::string text(32, '0');
  for (int i = 0; i < 32; ++i)
    if (word & (0x80000000u >> i)) text[static_cast<size_t>(i)] = '1';
  return text;
}

uint32_t BinaryTextToWord(std::string_view text) {
  uint32_t value = 0;
  for (char c : text) value = (value << 1) | (c == '1' ? 1u : 0u);
  return value;
}

bool IsBinaryText(std::string_view text) {
  for (char c : text)
    if (c != '0' && c != '1') return false;
  return true;
}

bool IsHexText(std::string_view text) {
  for (char c : text)
    if (DigitValue(c) < 0) return false;
  return true;
}

bool IsDecimalText(std::string_view text) {
  for (char c : text)
    if (!IsDigit(c)) return false;
  return true;
}

uint8_t DefaultViewType(uint8_t basicType) {
  switch (basicType & 0x0F) {
    case 3:
    case 4:
    case 5:
      return ToByte(ViewType::SignedInteger);
    case 6:
    case 7:
      return ToByte(ViewType::Float);
    case 13:
    case 14:
    case 15:
      return ToByte(ViewType::UnsignedInteger);
    default:
      return ToByte(ViewType::HexDecimal);
  }
}

uint32_t BinaryInputLimit(uint8_t basicType) {
  switch (basicType & 0x0F) {
    case 4:
    case 5:
    case 6:
    case 7:
    case 11:
    case 14:
    case 15:
      return 32;
    default:
      return 16;
  }
}

uint32_t ReadUnsignedDecimal(std::string_view text) {
  return ReadUnsigned(text, 10);
}
uint32_t ReadUnsignedHex(std::string_view text) {
  return ReadUnsigned(text, 16);
}

float ReadFloatText(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsCSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  const std::string_view rest = text.substr(i);
  // from_chars would take a second '-' that strtod refuses.
  if (!rest.empty() && (rest[0] == '+' || rest[0] == '-')) return 0.0f;
  double value = 0.0;
  const auto result =
      std::from_chars(rest.data(), rest.data() + rest.size(), value, std::chars_format::general);
  if (result.ec == std::errc::invalid_argument) return 0.0f;
  if (result.ec == std::errc::result_out_of_range)
    value = BeyondDoubleRangeIsLarge(rest) ? std::numeric_limits<double>::infinity() : 0.0;
  if (std::isnan(value)) return 0.0f;
  if (negative) value = -value;
  constexpr double kMax = std::numeric_limits<float>::max();
  if (value > kMax) return std::numeric_limits<float>::max();
  if (value < -kMax) return -std::numeric_limits<float>::max();
  return static_cast<float>(value);
}

EnteredValue ParseEnteredValue(std::string_view text, uint8_t view, uint32_t binaryLimit) {
  if (text.empty()) return {0, EntryRejection::EmptyText};
  if (text.find('.') != std::string_view::npos) return {FloatToC3x(ReadFloatText(text))};
  if (view == ToByte(ViewType::Binary)) {
    if (!IsBinaryText(text)) return {0, EntryRejection::NotBinary};
    return {BinaryTextToWord(text.substr(0, binaryLimit))};
  }
  auto upper = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; };
  const bool prefixed = text.size() >= 2 && upper(text[0]) == '0' && upper(text[1]) == 'X';
  const bool suffixed = upper(text.back()) == 'H';
  return {prefixed || suffixed ? ReadUnsignedHex(text) : ReadUnsignedDecimal(text)};
}

}  // namespace velmora
