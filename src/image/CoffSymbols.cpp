#include "image/CoffSymbols.h"

#include <cstring>
#include <fstream>
#include <iterator>

#include "image/CoffFormat.h"
#include "image/LittleEndian.h"

namespace velmora {

bool ReadCoffSymbols(const uint8_t* b, size_t n, CoffSymbolList& out) {
  out = CoffSymbolList{};
  if (n < 22) return false;
  const uint16_t first = le::U16(b);
  uint64_t headerEnd;
  if (first == kC3xTargetId) {
    headerEnd = 20;
  } else if ((first == kCoff1Version || first == kCoff2Version) &&
             le::U16(b + 20) == kC3xTargetId) {
    headerEnd = 22;
  } else {
    return false;
  }
  const uint64_t symbolOffset = le::U32(b + 8);
  const int32_t count = static_cast<int32_t>(le::U32(b + 12));
  const uint16_t optionalBytes = le::U16(b + 16);
  if (optionalBytes != 0 && headerEnd + kCoffOptionalHeaderBytes <= n)
    out.entryPoint = le::U32(b + headerEnd + 16);
  if (count <= 0) return true;
  const uint64_t tableEnd = symbolOffset + uint64_t{kCoffSymbolEntryBytes} * uint64_t(count);
  if (tableEnd > n) return false;
  // The string table, when present, follows the symbol table.
  uint64_t strSize = 0;
  if (n - tableEnd >= 4) {
    strSize = le::U32(b + tableEnd);
    if (strSize > n - tableEnd) return false;
  }
  for (uint64_t i = 0; i < uint64_t(count); ++i) {
    const uint8_t* e = b + symbolOffset + i * kCoffSymbolEntryBytes;
    CoffSymbol sym;
    if (le::U32(e) == 0) {
      const uint64_t offset = le::U32(e + 4);
      if (offset < 4 || offset >= strSize) return false;
      const uint8_t* start = b + tableEnd + offset;
      const void* zero = std::memchr(start, 0, strSize - offset);
      if (!zero) return false;
      sym.name.assign(reinterpret_cast<const char*>(start),
                      static_cast<const uint8_t*>(zero) - start);
    } else {
      size_t len = 0;
      while (len < 8 && e[len] != 0) ++len;
      sym.name.assign(reinterpret_cast<const char*>(e), len);
    }
    sym.value = le::U32(e + 8);
    sym.section = static_cast<int16_t>(le::U16(e + 12));
    sym.storageClass = e[16];
    out.symbols.push_back(std::move(sym));
    i += e[17];  // auxiliary entries
  }
  return true;
}

bool ReadCoffSymbolsFile(const std::string& path, CoffSymbolList& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
  return ReadCoffSymbols(bytes.data(), bytes.size(), out);
}

std::optional<uint32_t> FindCoffSymbol(const CoffSymbolList& list, const std::string& name) {
  for (const std::string& candidate : {name, "_" + name})
    for (const CoffSymbol& s : list.symbols)
      if (s.name == candidate && (s.section > 0 || s.section == -1)) return s.value;
  return std::nullopt;
}

}  // namespace velmora
