// How a 32-bit target word is shown and entered: the five view types, the
// TMS320C3x floating-point format and the text rules for typed values.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velmora {

// Stored as one byte in every watch item; a stored value above 4 is shown as
// HexDecimal.
enum class ViewType : uint8_t {
  HexDecimal = 0,
  SignedInteger = 1,
  UnsignedInteger = 2,
  Float = 3,
  Binary = 4,
};
inline constexpr uint8_t kViewTypeCount = 5;

inline constexpr uint8_t ToByte(ViewType view) {
  return static_cast<uint8_t>(view);
}

// Everything the lists and menus show for one view type.
struct ViewTypeInfo {
  const char* columnText;      // "hex decimal" in the "View Type" column
  const char* menuCaption;     // "Hex Decimal" in the "Data View Type" sub-menu
  uint16_t variableCommand;    // command id in the variable list's menu
  uint16_t addressCommand;     // command id in the address list's menu
  const char* variablePrompt;  // status-line prompt of variableCommand
  const char* addressPrompt;   // status-line prompt of addressCommand
};
// Values above 4 give the HexDecimal entry.
const ViewTypeInfo& ViewTypeInfoOf(uint8_t view);
inline const char* ViewTypeText(uint8_t view) {
  return ViewTypeInfoOf(view).columnText;
}
inline const char* ViewTypeMenuCaption(uint8_t view) {
  return ViewTypeInfoOf(view).menuCaption;
}

// The display text of a word: "0x%08X", "%i", "%u", "%g" of the C3x float, or
// 32 binary digits.
std::string FormatTargetWord(uint32_t word, uint8_t view);
inline std::string FormatTargetWord(uint32_t word, ViewType view) {
  return FormatTargetWord(word, ToByte(view));
}

// TMS320C3x single precision <-> IEEE 754 single precision bit patterns.
uint32_t C3xToIeee(uint32_t c3xWord);
uint32_t IeeeToC3x(uint32_t ieeeBits);
// Convenience over the bit patterns.
float C3xToFloat(uint32_t c3xWord);
uint32_t FloatToC3x(float value);

// "%g" as printf gives it for a double.
std::string FormatG(double value);

std::string WordToBinaryText(uint32_t word);
// Sum of 2^(n-1-i) over every '1' at position i, modulo 2^32; other characters count 0.
uint32_t BinaryTextToWord(std::string_view text);

// Character-class checks; all three are true for an empty text.
bool IsBinaryText(std::string_view text);
bool IsHexText(std::string_view text);
bool IsDecimalText(std::string_view text);

// By the basic type code (low four bits of a COFF type code).
uint8_t DefaultViewType(uint8_t basicType);
uint32_t BinaryInputLimit(uint8_t basicType);  // 16 or 32

// Numeric text readers with the C library's rules and a 32-bit unsigned long:
// leading white space skipped, optional sign ('-' negates modulo 2^32), reading
// stops at the first character that does not belong, no digits gives 0, a
// magnitude beyond 32 bits gives 0xFFFFFFFF. Base 16 accepts a 0x/0X prefix.
uint32_t ReadUnsignedDecimal(std::string_view text);
uint32_t ReadUnsignedHex(std::string_view text);
// Decimal text read as a double (leading blanks, sign, digits, point, exponent;
// independent of the process locale) and rounded to a float. Text that is no
// number reads as 0. Magnitudes beyond the float range are held at the largest
// float instead of becoming infinity, which the C3x format would store as zero.
float ReadFloatText(std::string_view text);

enum class EntryRejection : uint8_t {
  None = 0,
  EmptyText,  // nothing was typed
  NotBinary,  // a binary entry holds characters other than 0 and 1
};

struct EnteredValue {
  uint32_t word = 0;
  EntryRejection rejection = EntryRejection::None;
  bool Accepted() const { return rejection == EntryRejection::None; }
};

// The value rule of the change-data dialogs. The text is taken as typed.
EnteredValue ParseEnteredValue(std::string_view text, uint8_t view, uint32_t binaryLimit);
inline EnteredValue ParseEnteredValue(std::string_view text, ViewType view, uint32_t binaryLimit) {
  return ParseEnteredValue(text, ToByte(view), binaryLimit);
}

}  // namespace velmora
