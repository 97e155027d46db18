// Plain-text and JSON reports of a read COFF file and of symbol-file contents,
// as `velmora-cli info` and `velmora-cli sym dump` print them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "image/CoffReader.h"
#include "image/DataObject.h"
#include "image/ProgramImage.h"

namespace velmora {

// JSON texts keep their keys in this order; 8-bit names from files are read
// as Latin-1 and written as \u00XX, so the output is always ASCII.
// {"format", "image_bytes", "data_bytes", "sections": [{"name", "start", "size"}],
//  "symbols": [{"name", "address", "type", "type_text", "array"}]}
std::string CoffInfoJson(const CoffFileInfo& info, const ProgramData& data);
// Header kind, counts, the section list and the symbol table as aligned columns.
std::string CoffInfoText(const CoffFileInfo& info, const ProgramData& data);

using ViewTextFn = const char* (*)(uint8_t view);
// {"variables": [...], "addresses": [...]}, items {"name", "array", "address", "type", "view"}.
std::string SymbolListsJson(const std::vector<CDataObject>& variables,
                            const std::vector<CDataObject>& addresses);
// Both lists as columns; the view column adds viewText(view) when given.
std::string SymbolListsText(const std::vector<CDataObject>& variables,
                            const std::vector<CDataObject>& addresses,
                            ViewTextFn viewText = nullptr);

// The image words from word 0 up to the image byte count, little-endian.
std::vector<uint8_t> ImageBytes(const ProgramImage& image);

}  // namespace velmora
