// The three TI COFF header layouts the reader and the writer know.
#pragma once

#include <cstdint>

namespace velmora {

// COFF0: 20-byte file header starting with the target id, 40-byte section headers.
// COFF1: 22-byte file header (version 0x00C1, target id at byte 20), 40-byte section headers.
// COFF2: as COFF1 with version 0x00C2 and 48-byte section headers.
enum class CoffFormat { COFF0, COFF1, COFF2 };

inline constexpr uint16_t kC3xTargetId = 0x0093;
inline constexpr uint16_t kCoff1Version = 0x00C1;
inline constexpr uint16_t kCoff2Version = 0x00C2;
inline constexpr uint32_t kCoffOptionalHeaderBytes = 28;
inline constexpr uint32_t kCoffSymbolEntryBytes = 18;

inline const char* CoffFormatName(CoffFormat format) {
  switch (format) {
    case CoffFormat::COFF0:
      return "COFF0";
    case CoffFormat::COFF1:
      return "COFF1";
    case CoffFormat::COFF2:
      return "COFF2";
  }
  return "COFF?";
}

inline constexpr uint32_t CoffFileHeaderBytes(CoffFormat format) {
  return format == CoffFormat::COFF0 ? 20 : 22;
}
inline constexpr uint32_t CoffSectionHeaderBytes(CoffFormat format) {
  return format == CoffFormat::COFF2 ? 48 : 40;
}

}  // namespace velmora
