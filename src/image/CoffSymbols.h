// Every symbol of a TI COFF file with its value, and the entry point of the
// optional header: what tools that place or run a program look names up in
// (the symbol table of the program image keeps only typed data symbols).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

struct CoffSymbol {
  std::string name;  // as stored, leading underscore included
  uint32_t value = 0;
  int16_t section = 0;  // 1-based section number, 0 undefined, -1 absolute, -2 debug
  uint8_t storageClass = 0;
};

struct CoffSymbolList {
  std::vector<CoffSymbol> symbols;
  std::optional<uint32_t> entryPoint;  // from the optional header
};

// Reads the symbol entries (auxiliary entries skipped). Returns false, with
// nothing promised in `out`, when the file is no COFF file or an entry or a
// name lies outside it.
bool ReadCoffSymbols(const uint8_t* bytes, size_t size, CoffSymbolList& out);
bool ReadCoffSymbolsFile(const std::string& path, CoffSymbolList& out);

// The value of `name`, or of `_name` (C names carry one leading underscore),
// among the defined symbols.
std::optional<uint32_t> FindCoffSymbol(const CoffSymbolList& list, const std::string& name);

}  // namespace velmora
