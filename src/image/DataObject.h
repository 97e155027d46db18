// The record of the symbol table and of both watch lists.
#pragma once

#include <cstdint>
#include <string>

namespace velmora {

struct CDataObject {
  std::string name{};
  std::string arrayText{};  // "Array Info : [..]" for arrays, else empty
  uint32_t address = 0;
  uint16_t typeCode = 0;  // COFF type: bits 0-3 basic type, then 2-bit derivations
  uint8_t viewType = 0;   // ViewType

  uint8_t BasicType() const { return static_cast<uint8_t>(typeCode & 0x0F); }
  bool operator==(const CDataObject&) const = default;
};

}  // namespace velmora
