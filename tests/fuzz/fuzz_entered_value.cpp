// Typed values of the change-data dialogs, and the word conversions under them.
// Input: byte 0 picks the view type, byte 1 the binary limit, the rest is the text.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "monitoring/ValueFormats.h"

namespace {
void Check(bool ok) {
  if (!ok) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velmora;
  if (size < 2) return 0;
  const uint8_t view = data[0];
  const uint32_t limit = (data[1] & 1) ? 32 : 16;
  const std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);

  const EnteredValue v = ParseEnteredValue(text, view, limit);
  Check((v.rejection == EntryRejection::EmptyText) == text.empty());
  if (v.rejection == EntryRejection::NotBinary)
    Check(view == ToByte(ViewType::Binary) && !IsBinaryText(text) &&
          text.find('.') == std::string_view::npos);
  if (v.Accepted() && view == ToByte(ViewType::Binary) &&
      text.find('.') == std::string_view::npos)
    Check(limit == 32 || v.word <= 0xFFFF);

  // The first four text bytes as a word: conversions and every display form.
  if (text.size() >= 4) {
    uint32_t word = 0;
    std::memcpy(&word, text.data(), 4);
    const uint32_t exponent = (word >> 23) & 0xFF;
    if (exponent != 0 && exponent != 0xFF) Check(C3xToIeee(IeeeToC3x(word)) == word);
    for (uint8_t vt = 0; vt < 6; ++vt) Check(!FormatTargetWord(word, vt).empty());
    Check(BinaryTextToWord(WordToBinaryText(word)) == word);
  }
  (void)ReadFloatText(text);
  (void)ReadUnsignedHex(text);
  (void)ReadUnsignedDecimal(text);
  return 0;
}
