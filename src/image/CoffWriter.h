// Writes TI COFF files (COFF0, COFF1, COFF2) for the TMS320C3x: test fixtures
// and the assembler's executables.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "image/CoffFormat.h"

namespace velmora {

struct CoffWriterSection {
  std::string name{};  // names over 8 characters go to the string table
  uint32_t physicalAddress = 0;
  uint32_t virtualAddress = 0;   // usually the same as physicalAddress
  std::vector<uint32_t> data{};  // raw data words (empty for .bss-like sections)
  // Size field in words; when unset, data.size().
  std::optional<uint32_t> sizeWords{};
  uint32_t flags = 0x20;  // STYP_TEXT by default; 0x01 dummy, 0x02 no-load, 0x10 copy
  uint16_t page = 0;
  // When false no raw data is written and the raw-data offset is 0.
  bool hasRawData = true;
};

struct CoffWriterSymbol {
  std::string name{};  // written as given (C names carry their leading "_")
  uint32_t value = 0;
  int16_t sectionNumber = 0;
  uint16_t type = 0;
  uint8_t storageClass = 2;  // 2 external, 3 static, 14 uninitialised static, ...
  // One auxiliary entry when set: array dimensions at bytes 8..15, the rest zero
  // unless auxRaw gives all 18 bytes.
  bool hasAux = false;
  std::array<uint16_t, 4> dims{};
  std::optional<std::array<uint8_t, 18>> auxRaw{};
  // Written into the auxiliary-count byte; defaults to 1 when hasAux, else 0.
  std::optional<uint8_t> auxCountField{};
};

struct CoffWriterOptions {
  CoffFormat format = CoffFormat::COFF2;
  uint16_t targetId = 0x0093;
  uint16_t fileFlags = 0;
  bool optionalHeader = true;  // 28 bytes
  uint32_t entryPoint = 0;
  // Write the string table even when no name needs it (TI's tools leave it out).
  bool forceStringTable = true;
};

std::vector<uint8_t> WriteCoff(const CoffWriterOptions& options,
                               const std::vector<CoffWriterSection>& sections,
                               const std::vector<CoffWriterSymbol>& symbols);

// Writes atomically (temporary file, then rename). False on any I/O failure.
bool WriteCoffFile(const std::string& path, const CoffWriterOptions& options,
                   const std::vector<CoffWriterSection>& sections,
                   const std::vector<CoffWriterSymbol>& symbols);

}  // namespace velmora
