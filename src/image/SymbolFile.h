// Symbol files (.sym): both watch lists in the byte form of a serialised list of
// CDataObject records (class "CDataObject", schema 1).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "image/DataObject.h"

namespace velmora {

enum class SymbolFileResult {
  kOk,
  kPathWrong,          // no file of that name
  kOpenFailed,         // exists but cannot be opened or read
  kUnsupportedFormat,  // the two leading tags are not 0x1000, 0x1001
  kDamaged,            // tags fine, body cut short or not a CDataObject list
  kCreateFailed,       // cannot be created or written
};

// The caller's message for a result ("" for kOk).
const char* SymbolFileMessage(SymbolFileResult result);

// Replaces both lists only when the whole file was read; on any failure they are
// left exactly as they were.
SymbolFileResult LoadSymbolFile(const std::string& path, std::vector<CDataObject>& variables,
                                std::vector<CDataObject>& addresses);
// Writes a temporary file beside `path` and renames it over `path`, so a failed
// save leaves the previous file intact.
SymbolFileResult SaveSymbolFile(const std::string& path, const std::vector<CDataObject>& variables,
                                const std::vector<CDataObject>& addresses);

// The byte forms behind the two file operations.
std::vector<uint8_t> EncodeSymbolFile(const std::vector<CDataObject>& variables,
                                      const std::vector<CDataObject>& addresses);
SymbolFileResult DecodeSymbolFile(const uint8_t* bytes, size_t size,
                                  std::vector<CDataObject>& variables,
                                  std::vector<CDataObject>& addresses);

}  // namespace velmora
