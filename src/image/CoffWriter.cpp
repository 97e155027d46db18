#include "image/CoffWriter.h"

#include <algorithm>

#include "image/AtomicFile.h"
#include "image/LittleEndian.h"

namespace velmora {
namespace {

using ByteSink = le::Appender;

// Collects the names that do not fit the 8-byte field; offsets count from the
// start of the table, whose first four bytes hold its size.
class StringTable {
 public:
  uint32_t Add(const std::string& name) {
    uint32_t offset = 4 + static_cast<uint32_t>(bytes_.size());
    bytes_.insert(bytes_.end(), name.begin(), name.end());
    bytes_.push_back(0);
    return offset;
  }
  bool Empty() const { return bytes_.empty(); }
  void Write(ByteSink& sink) const {
    sink.U32(4 + static_cast<uint32_t>(bytes_.size()));
    for (uint8_t b : bytes_) sink.U8(b);
  }

 private:
  std::vector<uint8_t> bytes_;
};

void WriteName(ByteSink& sink, const std::string& name, StringTable& strings) {
  if (name.size() <= 8) {
    for (char c : name) sink.U8(static_cast<uint8_t>(c));
    sink.Zeros(8 - name.size());
  } else {
    sink.U32(0);
    sink.U32(strings.Add(name));
  }
}

uint32_t SectionSize(const CoffWriterSection& s) {
  return s.sizeWords.value_or(static_cast<uint32_t>(s.data.size()));
}

}  // namespace

std::vector<uint8_t> WriteCoff(const CoffWriterOptions& options,
                               const std::vector<CoffWriterSection>& sections,
                               const std::vector<CoffWriterSymbol>& symbols) {
  const CoffFormat format = options.format;
  const uint32_t headerBytes = CoffFileHeaderBytes(format);
  const uint32_t optBytes = options.optionalHeader ? kCoffOptionalHeaderBytes : 0;
  const uint32_t sectionHeaderBytes = CoffSectionHeaderBytes(format);

  // Lay the file out: headers, raw data in section order, symbols, strings.
  uint32_t pos =
      headerBytes + optBytes + sectionHeaderBytes * static_cast<uint32_t>(sections.size());
  std::vector<uint32_t> rawOffsets;
  for (const auto& s : sections) {
    rawOffsets.push_back(s.hasRawData ? pos : 0);
    if (s.hasRawData) pos += 4 * static_cast<uint32_t>(s.data.size());
  }
  const uint32_t symbolOffset = pos;
  uint32_t entryCount = 0;
  for (const auto& sym : symbols) entryCount += sym.hasAux ? 2 : 1;

  std::vector<uint8_t> out;
  out.reserve(pos + kCoffSymbolEntryBytes * entryCount + 64);
  ByteSink sink(out);
  StringTable strings;

  switch (format) {
    case CoffFormat::COFF0:
      sink.U16(options.targetId);
      break;
    case CoffFormat::COFF1:
      sink.U16(kCoff1Version);
      break;
    case CoffFormat::COFF2:
      sink.U16(kCoff2Version);
      break;
  }
  sink.U16(static_cast<uint32_t>(sections.size()));
  sink.U32(0);  // time stamp
  sink.U32(symbolOffset);
  sink.U32(entryCount);
  sink.U16(optBytes);
  sink.U16(options.fileFlags);
  if (format != CoffFormat::COFF0) sink.U16(options.targetId);

  if (optBytes) {
    uint32_t textSize = 0, dataSize = 0, bssSize = 0, textStart = 0, dataStart = 0;
    bool haveText = false, haveData = false;
    for (const auto& s : sections) {
      if (s.flags & 0x20) {
        textSize += SectionSize(s);
        if (!haveText) textStart = s.physicalAddress, haveText = true;
      } else if (s.flags & 0x40) {
        dataSize += SectionSize(s);
        if (!haveData) dataStart = s.physicalAddress, haveData = true;
      } else if (s.flags & 0x80) {
        bssSize += SectionSize(s);
      }
    }
    sink.U16(0x0108);  // optional-header magic
    sink.U16(0);       // version stamp
    sink.U32(textSize);
    sink.U32(dataSize);
    sink.U32(bssSize);
    sink.U32(options.entryPoint);
    sink.U32(textStart);
    sink.U32(dataStart);
  }

  for (size_t i = 0; i < sections.size(); ++i) {
    const auto& s = sections[i];
    WriteName(sink, s.name, strings);
    sink.U32(s.physicalAddress);
    sink.U32(s.virtualAddress);
    sink.U32(SectionSize(s));
    sink.U32(rawOffsets[i]);
    sink.U32(0);  // relocation offset
    sink.U32(0);  // line-number offset
    if (format == CoffFormat::COFF2) {
      sink.U32(0);  // relocation count
      sink.U32(0);  // line-number count
      sink.U32(s.flags);
      sink.U16(0);  // reserved
      sink.U16(s.page);
    } else {
      sink.U16(0);
      sink.U16(0);
      sink.U16(s.flags & 0xFFFF);
      sink.U8(0);
      sink.U8(static_cast<uint8_t>(s.page));
    }
  }

  for (const auto& s : sections) {
    if (!s.hasRawData) continue;
    for (uint32_t w : s.data) sink.U32(w);
  }

  for (const auto& sym : symbols) {
    WriteName(sink, sym.name, strings);
    sink.U32(sym.value);
    sink.U16(static_cast<uint16_t>(sym.sectionNumber));
    sink.U16(sym.type);
    sink.U8(sym.storageClass);
    sink.U8(sym.auxCountField.value_or(sym.hasAux ? 1 : 0));
    if (!sym.hasAux) continue;
    if (sym.auxRaw) {
      for (uint8_t b : *sym.auxRaw) sink.U8(b);
    } else {
      sink.Zeros(8);
      for (uint16_t d : sym.dims) sink.U16(d);
      sink.Zeros(2);
    }
  }

  if (options.forceStringTable || !strings.Empty()) strings.Write(sink);
  return out;
}

bool WriteCoffFile(const std::string& path, const CoffWriterOptions& options,
                   const std::vector<CoffWriterSection>& sections,
                   const std::vector<CoffWriterSymbol>& symbols) {
  const std::vector<uint8_t> bytes = WriteCoff(options, sections, symbols);
  return WriteFileAtomically(path, {reinterpret_cast<const char*>(bytes.data()), bytes.size()});
}

}  // namespace velmora
