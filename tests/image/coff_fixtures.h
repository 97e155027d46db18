// Builders for COFF test files, written through the project's own COFF writer.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "config/AppSettings.h"
#include "image/CoffReader.h"
#include "image/CoffWriter.h"

namespace velmora::testing_coff {

// Register values with distinct bytes (and top bytes set, which the strobe
// shift must drop).
inline MemoryInterfaceValues Mi(uint8_t dsp) {
  MemoryInterfaceValues mi;
  mi.dspType = dsp;
  mi.primaryBus = 0x000010F8;
  mi.iostrb = 0xA1000058;
  mi.strb0 = 0xB20F0858;
  mi.strb1 = 0xC30F0868;
  return mi;
}

inline std::vector<uint32_t> Ramp(uint32_t n, uint32_t base) {
  std::vector<uint32_t> v(n);
  for (uint32_t i = 0; i < n; ++i) v[i] = base + i * 0x01010101u;
  return v;
}

inline CoffWriterSection Text(const std::string& name, uint32_t address, std::vector<uint32_t> data,
                              uint32_t flags = 0x20) {
  CoffWriterSection s;
  s.name = name;
  s.physicalAddress = address;
  s.virtualAddress = address;
  s.data = std::move(data);
  s.flags = flags;
  return s;
}

inline CoffWriterSymbol Sym(const std::string& name, uint32_t value, uint16_t type = 4,
                            uint8_t storage = 2) {
  CoffWriterSymbol s;
  s.name = name;
  s.value = value;
  s.type = type;
  s.storageClass = storage;
  return s;
}

inline CoffWriterSymbol ArraySym(const std::string& name, uint32_t value, uint16_t type,
                                 std::array<uint16_t, 4> dims) {
  CoffWriterSymbol s = Sym(name, value, type);
  s.hasAux = true;
  s.dims = dims;
  return s;
}

inline std::vector<uint8_t> Coff(const std::vector<CoffWriterSection>& sections,
                                 const std::vector<CoffWriterSymbol>& symbols,
                                 CoffFormat format = CoffFormat::COFF2) {
  CoffWriterOptions o;
  o.format = format;
  return WriteCoff(o, sections, symbols);
}

inline int Read(const std::vector<uint8_t>& bytes, const MemoryInterfaceValues& mi,
                ProgramData& data, CoffFileInfo* info = nullptr) {
  return ReadCoffBuffer(bytes.data(), bytes.size(), mi, data, info);
}

inline void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.at(at + i) = static_cast<uint8_t>(v >> (8 * i));
}
inline void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
  b.at(at) = static_cast<uint8_t>(v);
  b.at(at + 1) = static_cast<uint8_t>(v >> 8);
}
inline uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= uint32_t{b.at(at + i)} << (8 * i);
  return v;
}

}  // namespace velmora::testing_coff
