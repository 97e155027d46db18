#include "image/SymbolTable.h"

#include <array>
#include <charconv>
#include <cstring>
#include <string_view>
#include <unordered_map>

namespace velmora {

const char* BasicTypeText(uint8_t basic) {
  static constexpr std::array<const char*, 16> kTexts = {"Void",
                                                         "Character",
                                                         "Character",
                                                         "Short",
                                                         "Integer",
                                                         "Long",
                                                         "Floating point",
                                                         "Double floating point",
                                                         "Structure",
                                                         "Union",
                                                         "Enumeration",
                                                         "Member of an enumeration",
                                                         "Unsigned character",
                                                         "Unsigned short",
                                                         "Unsigned integer",
                                                         "Unsigned long"};
  return kTexts[basic & 0x0F];
}

const char* DerivedTypeText(uint8_t derivation) {
  static constexpr std::array<const char*, 4> kTexts = {"None", "Pointer to ", "Function of ",
                                                        "Array of "};
  return kTexts[derivation & 3];
}

std::string TypeText(uint16_t typeCode) {
  const uint8_t basic = BasicTypeOf(typeCode);
  if (basic == 0) return {};
  std::string text;
  for (int k = 0; k < 6; ++k) {
    const uint8_t d = DerivationOf(typeCode, k);
    if (d == kDerivNone) break;
    text += DerivedTypeText(d);
  }
  text += BasicTypeText(basic);
  return text;
}

std::string ArrayText(uint16_t d1, uint16_t d2, uint16_t d3, uint16_t d4) {
  // Called for every array symbol of a file: built by hand rather than by printf.
  const uint16_t dims[4] = {d1, d2, d3, d4};
  const int count = d4 != 0 ? 4 : d3 != 0 ? 3 : d2 != 0 ? 2 : 1;
  char buf[16 + 4 * 7];
  char* p = buf;
  static constexpr char kPrefix[] = "Array Info : ";
  std::memcpy(p, kPrefix, sizeof kPrefix - 1);
  p += sizeof kPrefix - 1;
  for (int i = 0; i < count; ++i) {
    *p++ = '[';
    p = std::to_chars(p, buf + sizeof buf, dims[i]).ptr;
    *p++ = ']';
  }
  return std::string(buf, p);
}

const CDataObject* FindSymbolByName(const std::vector<CDataObject>& symbols,
                                    const std::string& name) {
  for (const auto& s : symbols)
    if (s.name == name) return &s;
  return nullptr;
}

const CDataObject* FindSymbolContaining(const std::vector<CDataObject>& symbols,
                                        const std::string& text) {
  for (const auto& s : symbols)
    if (s.name.find(text) != std::string::npos) return &s;
  return nullptr;
}

const CDataObject* FindSymbolForItem(const std::vector<CDataObject>& symbols,
                                     const CDataObject& item) {
  const CDataObject* first = nullptr;
  for (const auto& s : symbols) {
    if (s.name != item.name) continue;
    if (s.address == item.address) return &s;
    if (!first) first = &s;
  }
  return first;
}

void ResolveVariableItems(const std::vector<CDataObject>& symbols,
                          std::vector<CDataObject>& variables) {
  if (variables.empty() || symbols.empty()) return;
  // One pass over the symbols collects the records of each name.
  std::unordered_map<std::string_view, std::vector<const CDataObject*>> byName;
  byName.reserve(symbols.size());
  for (const auto& s : symbols) byName[s.name].push_back(&s);
  for (auto& item : variables) {
    auto it = byName.find(item.name);
    if (it == byName.end()) continue;
    const CDataObject* symbol = it->second.front();
    for (const CDataObject* s : it->second)
      if (s->address == item.address) symbol = s;
    item.address = symbol->address;
    item.typeCode = symbol->typeCode;
  }
}

}  // namespace velmora
