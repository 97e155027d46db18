// Type texts of COFF debug types and the look-ups over the symbol table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/DataObject.h"

namespace velmora {

// Derivation codes held in two-bit fields from bit 4 upwards.
enum TypeDerivation : uint8_t {
  kDerivNone = 0,
  kDerivPointer = 1,
  kDerivFunction = 2,
  kDerivArray = 3
};

inline uint8_t BasicTypeOf(uint16_t typeCode) {
  return static_cast<uint8_t>(typeCode & 0x0F);
}
// k = 0 for the first derivation (bits 4-5), up to 5 (bits 14-15).
inline uint8_t DerivationOf(uint16_t typeCode, int k) {
  return static_cast<uint8_t>((typeCode >> (4 + 2 * k)) & 3);
}

// "Void", "Character", ... for 0..15 (only the low four bits are used).
const char* BasicTypeText(uint8_t basic);
// "None", "Pointer to ", "Function of ", "Array of " for 0..3.
const char* DerivedTypeText(uint8_t derivation);
// Derivation prefixes then the basic type text, e.g. "Array of Pointer to Integer";
// empty when the basic type is 0.
std::string TypeText(uint16_t typeCode);
// "Array Info : [d1]" up to "Array Info : [d1][d2][d3][d4]", trailing zero dimensions dropped.
std::string ArrayText(uint16_t d1, uint16_t d2, uint16_t d3, uint16_t d4);

// First record, in list order, whose name equals `name` (case-sensitive); null when none.
const CDataObject* FindSymbolByName(const std::vector<CDataObject>& symbols,
                                    const std::string& name);
// First record, in list order, whose name contains `text`; null when none.
const CDataObject* FindSymbolContaining(const std::vector<CDataObject>& symbols,
                                        const std::string& text);

// The symbol a watch item stands for: of the symbols named like the item (a
// static may have its name in several files), the one at the item's address,
// else the first. Null when no symbol has the name. Every place that resolves
// items by name uses this, so the address shown, read and written is one.
const CDataObject* FindSymbolForItem(const std::vector<CDataObject>& symbols,
                                     const CDataObject& item);

// Copies address and type code from each variable item's symbol
// (FindSymbolForItem); items without a symbol keep their values, array text
// and view type are never touched. Pausing a running monitor around this is
// the caller's business.
void ResolveVariableItems(const std::vector<CDataObject>& symbols,
                          std::vector<CDataObject>& variables);

}  // namespace velmora
