#include "image/CoffReader.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string_view>
#include <utility>
#include <vector>

#include "image/ByteSource.h"
#include "image/LittleEndian.h"
#include "image/SymbolTable.h"

namespace velmora {
namespace {

constexpr uint8_t kClassExternal = 2;
constexpr uint8_t kClassStatic = 3;
constexpr uint8_t kClassUninitStatic = 14;
// Dummy, no-load and copy sections have no place in target memory; TI's linker
// gives .cinit the copy flag under the RAM model and lays it over .text.
constexpr uint32_t kUnloadedSectionFlags = 0x13;

// Reads the header first and then only what it describes: the section
// headers, the string table and the symbol table at their declared offsets,
// and each placed section's raw data. Everything is read and checked before
// Commit touches the previous program.
class CoffParser {
 public:
  explicit CoffParser(ByteSource& source) : src_(source), n_(source.Size()) {}

  int Parse(const MemoryInterfaceValues& mi, CoffFileInfo* info);
  void Commit(const MemoryInterfaceValues& mi, ProgramData& data);

 private:
  // Reads a name field by the COFF name rule; false when a string-table name is
  // out of range or not terminated inside the table.
  bool Name(const uint8_t* field, std::string_view& out) const {
    if (le::U32(field) == 0) {
      const uint32_t offset = le::U32(field + 4);
      if (offset >= strings_.size()) return false;
      const uint8_t* start = strings_.data() + offset;
      const void* zero = std::memchr(start, 0, strings_.size() - offset);
      if (!zero) return false;
      out = std::string_view(reinterpret_cast<const char*>(start),
                             static_cast<const uint8_t*>(zero) - start);
    } else {
      size_t len = 0;
      while (len < 8 && field[len] != 0) ++len;
      out = std::string_view(reinterpret_cast<const char*>(field), len);
    }
    if (!out.empty() && out.front() == '_') out.remove_prefix(1);
    return true;
  }

  int PlanSections(const MemoryInterfaceValues& mi);
  int ReadSectionData();
  int WalkSymbols();
  // The symbol-table entry `index` and, when it exists, the one after it (an
  // auxiliary entry); entries are read in windows as the walk moves on.
  const uint8_t* Entry(uint32_t index);

  ByteSource& src_;
  uint64_t n_;
  CoffFormat format_ = CoffFormat::COFF2;
  uint16_t sectionCount_ = 0;
  uint32_t symbolOffset_ = 0;
  uint32_t symbolCount_ = 0;
  std::vector<uint8_t> headers_;  // the section headers
  std::vector<uint8_t> strings_;  // the string table, its size field included; empty when absent
  std::vector<uint8_t> window_;   // symbol entries windowStart_ .. windowStart_ + count
  uint32_t windowStart_ = 0;
  uint32_t windowCount_ = 0;
  std::vector<CSectionInfo> sections_;
  std::vector<uint32_t> rawOffsets_;  // file offset of each planned section's data
  std::vector<uint8_t> raw_;          // the planned sections' data, back to back
  std::vector<size_t> rawHave_;       // bytes of each section's data the file holds
  std::vector<CDataObject> symbols_;
  uint32_t imageWords_ = 0;  // through the closing word; 0 when nothing is placed
};

// Symbol entries read at once while walking the table.
constexpr uint32_t kSymbolWindowEntries = 4096;

int CoffParser::Parse(const MemoryInterfaceValues& mi, CoffFileInfo* info) {
  if (n_ < 22) return kCoffNotCoff;
  uint8_t h[22];
  if (!src_.Read(0, h, sizeof h)) return kCoffCannotRead;
  const uint16_t first = le::U16(h);
  uint64_t pos;
  if (first == kC3xTargetId) {
    format_ = CoffFormat::COFF0;
    pos = 20;
  } else if (first == kCoff1Version || first == kCoff2Version) {
    format_ = first == kCoff1Version ? CoffFormat::COFF1 : CoffFormat::COFF2;
    if (info) {
      info->format = format_;
      info->targetId = le::U16(h + 20);
    }
    if (le::U16(h + 20) != kC3xTargetId) return kCoffUnsupportedTarget;
    pos = 22;
  } else {
    return kCoffNotCoff;
  }
  sectionCount_ = le::U16(h + 2);
  symbolOffset_ = le::U32(h + 8);
  const int32_t entries = static_cast<int32_t>(le::U32(h + 12));
  const uint16_t optionalBytes = le::U16(h + 16);
  if (info) {
    info->format = format_;
    info->targetId = format_ == CoffFormat::COFF0 ? first : le::U16(h + 20);
    info->sectionHeaderCount = sectionCount_;
    info->symbolEntryCount = entries;
    info->optionalHeader = optionalBytes != 0;
    info->fileBytes = n_;
  }
  if (entries <= 0) return kCoffNoSymbols;
  symbolCount_ = static_cast<uint32_t>(entries);
  // Whatever its size field says, the optional header is 28 bytes.
  if (optionalBytes != 0) {
    if (n_ - pos < kCoffOptionalHeaderBytes) return kCoffNotCoff;
    pos += kCoffOptionalHeaderBytes;
  }

  // The string table follows the symbol table (offset computed in 32 bits as the
  // file format does; a negative file position cannot be sought).
  const uint32_t strOffset32 = symbolOffset_ + kCoffSymbolEntryBytes * symbolCount_;
  if (static_cast<int32_t>(strOffset32) < 0) return kCoffFileException;
  uint32_t strSize = 0;
  if (strOffset32 != n_) {  // TI's tools leave the table out when no name needs it
    uint8_t sizeField[4];
    if (strOffset32 > n_ || n_ - strOffset32 < 4) return kCoffNotCoff;
    if (!src_.Read(strOffset32, sizeField, 4)) return kCoffCannotRead;
    strSize = le::U32(sizeField);
    if (uint64_t{strOffset32} + strSize > n_) return kCoffNotCoff;
  }
  if (info) info->stringTable = strOffset32 != n_;

  // Everything the walk reads must lie inside the file.
  if (uint64_t{symbolOffset_} + uint64_t{kCoffSymbolEntryBytes} * symbolCount_ > n_)
    return kCoffNotCoff;
  const uint64_t headerBytes = uint64_t{CoffSectionHeaderBytes(format_)} * sectionCount_;
  if (pos + headerBytes > n_) return kCoffNotCoff;

  headers_.resize(headerBytes);
  if (!src_.Read(pos, headers_.data(), headers_.size())) return kCoffCannotRead;
  if (strSize > 0) {
    strings_.resize(strSize);
    if (!src_.Read(strOffset32, strings_.data(), strings_.size())) return kCoffCannotRead;
  }

  if (int r = PlanSections(mi); r != kCoffOk) return r;
  if (int r = ReadSectionData(); r != kCoffOk) return r;
  return WalkSymbols();
}

int CoffParser::PlanSections(const MemoryInterfaceValues& mi) {
  const uint32_t headerBytes = CoffSectionHeaderBytes(format_);
  const uint32_t blockHeader = mi.dspType == kTMS320C32 ? 3 : 2;
  uint64_t writePos = ImageHeaderWords(mi.dspType);
  sections_.clear();
  rawOffsets_.clear();
  for (uint32_t i = 0; i < sectionCount_; ++i) {
    const uint8_t* h = headers_.data() + uint64_t{i} * headerBytes;
    std::string_view name;
    if (!Name(h, name)) return kCoffNotCoff;
    const uint32_t physical = le::U32(h + 8);
    const int32_t size = static_cast<int32_t>(le::U32(h + 16));
    const uint32_t raw = le::U32(h + 20);
    const uint32_t flags = format_ == CoffFormat::COFF2 ? le::U32(h + 40) : le::U16(h + 36);
    if (size <= 0 || raw == 0 || (flags & kUnloadedSectionFlags) != 0) continue;
    if (name == ".stack" || name == ".bss" || name == ".sysmem") continue;
    // The block and the closing zero word must fit the image buffer.
    if (writePos + blockHeader + static_cast<uint32_t>(size) + 1 > kImageWords) return kCoffNotCoff;
    CSectionInfo& s = sections_.emplace_back();
    s.name.assign(name);
    s.size = static_cast<uint32_t>(size);
    s.startAddress = physical;
    s.dataIndex = static_cast<uint32_t>(writePos + blockHeader);
    rawOffsets_.push_back(raw);
    writePos += blockHeader + static_cast<uint32_t>(size);
  }
  imageWords_ = sections_.empty() ? 0 : static_cast<uint32_t>(writePos + 1);
  return kCoffOk;
}

// The placed sections fit the image, so their data is at most 16 MiB.
int CoffParser::ReadSectionData() {
  size_t total = 0;
  rawHave_.clear();
  for (size_t i = 0; i < sections_.size(); ++i) {
    // Raw data cut short by the end of the file leaves the rest at 0xFFFFFFFF.
    const uint64_t want = uint64_t{sections_[i].size} * 4;
    const uint64_t raw = rawOffsets_[i];
    rawHave_.push_back(static_cast<size_t>(raw < n_ ? std::min(want, n_ - raw) : 0));
    total += rawHave_.back();
  }
  raw_.resize(total);
  size_t at = 0;
  for (size_t i = 0; i < sections_.size(); ++i) {
    if (!src_.Read(rawOffsets_[i], raw_.data() + at, rawHave_[i])) return kCoffCannotRead;
    at += rawHave_[i];
  }
  return kCoffOk;
}

const uint8_t* CoffParser::Entry(uint32_t index) {
  // The window always holds the entry and the one after it, if there is one.
  const uint32_t needed = std::min<uint32_t>(2, symbolCount_ - index);
  if (index < windowStart_ || index + needed > windowStart_ + windowCount_) {
    windowStart_ = index;
    windowCount_ = std::min(kSymbolWindowEntries, symbolCount_ - index);
    window_.resize(size_t{windowCount_} * kCoffSymbolEntryBytes);
    const uint64_t offset = symbolOffset_ + uint64_t{index} * kCoffSymbolEntryBytes;
    if (!src_.Read(offset, window_.data(), window_.size())) {
      windowCount_ = 0;
      return nullptr;
    }
  }
  return window_.data() + size_t{index - windowStart_} * kCoffSymbolEntryBytes;
}

int CoffParser::WalkSymbols() {
  symbols_.clear();
  uint32_t i = 0;
  while (i < symbolCount_) {
    const uint8_t* e = Entry(i);
    if (!e) return kCoffCannotRead;
    const bool hasAux = e[17] != 0;
    // Only one auxiliary entry is consumed, and it must be one of the counted entries.
    if (hasAux && i + 1 >= symbolCount_) return kCoffNotCoff;
    std::string_view name;
    if (!Name(e, name)) return kCoffNotCoff;
    const uint32_t value = le::U32(e + 8);
    const uint16_t type = le::U16(e + 14);
    const uint8_t storage = e[16];
    const uint8_t firstDerivation = DerivationOf(type, 0);
    const bool keep =
        (storage == kClassExternal || storage == kClassStatic || storage == kClassUninitStatic) &&
        value != 0 && BasicTypeOf(type) != 0 &&
        (firstDerivation == kDerivNone || firstDerivation == kDerivArray) &&
        (name.empty() || name.front() != '.') && name.find('$') == std::string_view::npos;
    if (keep) {
      CDataObject& obj = symbols_.emplace_back();
      obj.name.assign(name);
      obj.address = value;
      obj.typeCode = type;
      if (hasAux && firstDerivation == kDerivArray) {
        const uint8_t* aux = e + kCoffSymbolEntryBytes;
        obj.arrayText =
            ArrayText(le::U16(aux + 8), le::U16(aux + 10), le::U16(aux + 12), le::U16(aux + 14));
      }
    }
    i += hasAux ? 2 : 1;
  }
  return kCoffOk;
}

// Allocates nothing: every list was built by Parse and the image buffer exists,
// so once the previous program starts to be overwritten the update completes.
// Every word of the buffer is written: the blocks, and 0xFF everywhere else.
void CoffParser::Commit(const MemoryInterfaceValues& mi, ProgramData& data) {
  ProgramImage& image = data.image;
  image.sectionCount = 0;
  image.dataByteCount = 0;
  image.imageByteCount = 0;
  image.layoutDspType = mi.dspType;
  uint32_t* w = image.words.data();
  w[0] = 8;  // memory width: 32 bits
  if (mi.dspType == kTMS320C32) {
    w[1] = mi.iostrb;
    w[2] = mi.strb0;
    w[3] = mi.strb1;
  } else {
    w[1] = mi.primaryBus;
  }
  const uint32_t blockHeader = mi.dspType == kTMS320C32 ? 3 : 2;
  const uint8_t* raw = raw_.data();
  for (size_t i = 0; i < sections_.size(); ++i) {
    const CSectionInfo& s = sections_[i];
    uint32_t* block = w + s.dataIndex - blockHeader;
    block[0] = s.size;
    block[1] = s.startAddress;
    if (blockHeader == 3) block[2] = StrobeWord(s.startAddress, mi);
    const size_t want = size_t{s.size} * 4;
    const size_t have = rawHave_[i];
    if constexpr (std::endian::native == std::endian::little) {
      uint8_t* dst = reinterpret_cast<uint8_t*>(w + s.dataIndex);
      if (have) std::memcpy(dst, raw, have);
      std::memset(dst + have, 0xFF, want - have);
    } else {
      std::fill(w + s.dataIndex, w + s.dataIndex + s.size, 0xFFFFFFFFu);
      for (size_t k = 0; k < have; ++k) {
        uint32_t& word = w[s.dataIndex + k / 4];
        const unsigned shift = 8 * (k % 4);
        word = (word & ~(0xFFu << shift)) | (uint32_t{raw[k]} << shift);
      }
    }
    raw += have;
    image.dataByteCount += s.size * 4;
    ++image.sectionCount;
  }
  // Header and blocks cover every word before the closing one; the rest of the
  // buffer is filled as a reset would.
  const uint32_t used = imageWords_ != 0 ? imageWords_ : ImageHeaderWords(mi.dspType);
  if (imageWords_ != 0) {
    w[imageWords_ - 1] = 0;
    image.imageByteCount = imageWords_ * 4;
  }
  std::memset(w + used, 0xFF, size_t{kImageWords - used} * 4);
  data.sections = std::move(sections_);
  data.symbols = std::move(symbols_);
}

}  // namespace

uint32_t ImageHeaderWords(uint8_t dspType) {
  return dspType == kTMS320C32 ? 4 : 2;
}

uint32_t StrobeWord(uint32_t physicalAddress, const MemoryInterfaceValues& mi) {
  const int32_t a = static_cast<int32_t>(physicalAddress);
  if (a < 0x800000) return (mi.strb0 << 8) + 0x64;
  if (a >= 0x810000 && a < 0x830000) return (mi.iostrb << 8) + 0x60;
  if (a >= 0x880000 && a < 0x900000) return (mi.strb0 << 8) + 0x64;
  if (a >= 0x900000) return (mi.strb1 << 8) + 0x68;
  return 0;
}

std::string ProgramSizeText(const ProgramImage& image) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%06X Words", image.dataByteCount / 4);
  return buf;
}

const char* CoffResultMessage(int code) {
  switch (code) {
    case kCoffCannotRead:
      return "Failed to read selected file";
    case kCoffNotCoff:
      return "Selected file is not COFF file format";
    case kCoffUnsupportedTarget:
      return "The selected File is unsupported MCU's COFF file";
    case kCoffNoSymbols:
      return "No symbol information in seleced file";
    case kCoffFileException:
      return "File exception error occurs";
    case kCoffMemoryException:
      return "Memory exception error occurs";
    default:
      return "";
  }
}

namespace {

int ReadCoffSource(ByteSource& source, const MemoryInterfaceValues& mi, ProgramData& data,
                   CoffFileInfo* info) {
  try {
    CoffParser parser(source);
    if (int r = parser.Parse(mi, info); r != kCoffOk) return r;
    // The only allocation left is the image buffer on its first use; it happens
    // before anything of the previous program is overwritten.
    if (data.image.words.size() != kImageWords) data.image.words.resize(kImageWords);
    parser.Commit(mi, data);
    return kCoffOk;
  } catch (const std::bad_alloc&) {
    return kCoffMemoryException;
  } catch (const std::length_error&) {
    return kCoffMemoryException;
  }
}

}  // namespace

int ReadCoffBuffer(const uint8_t* bytes, size_t size, const MemoryInterfaceValues& mi,
                   ProgramData& data, CoffFileInfo* info) {
  MemorySource source(bytes, size);
  return ReadCoffSource(source, mi, data, info);
}

int ReadCoffFile(const std::string& path, const MemoryInterfaceValues& mi, ProgramData& data,
                 CoffFileInfo* info) {
  FileSource source(path);
  if (!source.Open()) return kCoffCannotRead;
  return ReadCoffSource(source, mi, data, info);
}

}  // namespace velmora
