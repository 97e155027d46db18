#include "image/SymbolFile.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <new>
#include <stdexcept>
#include <system_error>

#include "image/AtomicFile.h"
#include "image/ByteSource.h"
#include "image/LittleEndian.h"

namespace velmora {
namespace {

constexpr uint16_t kFirstTag = 0x1000;
constexpr uint16_t kSecondTag = 0x1001;
// Object-archive tags.
constexpr uint16_t kNewClassTag = 0xFFFF;
constexpr uint16_t kClassTag = 0x8000;
constexpr uint16_t kBigObjectTag = 0x7FFF;
constexpr uint32_t kBigClassTag = 0x80000000;
constexpr uint16_t kSchema = 1;
constexpr char kClassName[] = "CDataObject";
constexpr size_t kClassNameLength = sizeof kClassName - 1;

// The bytes come first (base-from-member), so the appender can refer to them.
struct WriterBytes {
  std::vector<uint8_t> out;
};

class Writer : public WriterBytes, public le::Appender {
 public:
  Writer() : le::Appender(out) {}
  void String(const std::string& s) {
    const size_t len = s.size();
    if (len < 0xFF) {
      U8(static_cast<uint8_t>(len));
    } else if (len < 0xFFFE) {
      U8(0xFF);
      U16(static_cast<uint32_t>(len));
    } else {
      U8(0xFF);
      U16(0xFFFF);
      U32(static_cast<uint32_t>(len));
    }
    Bytes(s.data(), len);
  }
  void Count(size_t n) {
    if (n < 0xFFFF) {
      U16(static_cast<uint32_t>(n));
    } else {
      U16(0xFFFF);
      U32(static_cast<uint32_t>(n));
    }
  }
  // Class number 1 is described before the first record; later records refer to it.
  void Object(const CDataObject& o) {
    if (!classWritten_) {
      U16(kNewClassTag);
      U16(kSchema);
      U16(kClassNameLength);
      Bytes(kClassName, kClassNameLength);
      classWritten_ = true;
    } else {
      U16(kClassTag | 1);
    }
    String(o.name);
    String(o.arrayText);
    U32(o.address);
    U16(o.typeCode);
    U8(o.viewType);
  }

  std::vector<uint8_t> out;

 private:
  bool classWritten_ = false;
};

// Reads the file's fields in order, each only once the bytes it claims are
// known to be there.
class Reader {
 public:
  explicit Reader(ByteSource& source) : src_(source), n_(source.Size()) {}
  bool Has(uint64_t k) const { return n_ - pos_ >= k; }
  uint64_t Remaining() const { return n_ - pos_; }
  bool ReadFailed() const { return readFailed_; }
  bool U8(uint8_t& v) { return Take(&v, 1); }
  bool U16(uint16_t& v) {
    uint8_t b[2];
    if (!Take(b, 2)) return false;
    v = le::U16(b);
    return true;
  }
  bool U32(uint32_t& v) {
    uint8_t b[4];
    if (!Take(b, 4)) return false;
    v = le::U32(b);
    return true;
  }
  bool Bytes(std::string& s, uint64_t n) {
    if (!Has(n)) return false;
    s.resize(static_cast<size_t>(n));
    return Take(s.data(), s.size());
  }
  bool String(std::string& s) {
    uint8_t b;
    if (!U8(b)) return false;
    size_t len = b;
    if (b == 0xFF) {
      uint16_t w;
      if (!U16(w)) return false;
      len = w;
      // 0xFFFE introduces a wide-character string, which this program never writes.
      if (w == 0xFFFE) return false;
      if (w == 0xFFFF) {
        uint32_t d;
        if (!U32(d) || d == 0xFFFFFFFF) return false;
        len = d;
      }
    }
    return Bytes(s, len);
  }
  bool Count(uint32_t& n) {
    uint16_t w;
    if (!U16(w)) return false;
    if (w != 0xFFFF) {
      n = w;
      return true;
    }
    return U32(n);
  }

  // One object entry. Indices are numbered as the writer numbered them: every
  // class description and every record takes the next number from 1.
  bool Object(CDataObject& o) {
    uint16_t tag;
    if (!U16(tag)) return false;
    uint32_t classIndex;
    if (tag == kNewClassTag) {
      uint16_t schema, nameLength;
      std::string name;
      if (!U16(schema) || !U16(nameLength) || !Bytes(name, nameLength)) return false;
      if (schema != kSchema || name != kClassName) return false;
      isClass_.push_back(true);
      classIndex = static_cast<uint32_t>(isClass_.size() - 1);
    } else if (tag == kBigObjectTag) {
      uint32_t big;
      if (!U32(big) || !(big & kBigClassTag)) return false;
      classIndex = big & ~kBigClassTag;
    } else if (tag & kClassTag) {
      classIndex = tag & ~kClassTag;
    } else {
      // Null objects (tag 0) and back-references to records already read are
      // never written: each list owns its records.
      return false;
    }
    if (classIndex >= isClass_.size() || !isClass_[classIndex]) return false;
    if (!String(o.name) || !String(o.arrayText) || !U32(o.address) || !U16(o.typeCode) ||
        !U8(o.viewType))
      return false;
    isClass_.push_back(false);
    return true;
  }

  bool List(std::vector<CDataObject>& list) {
    uint32_t count;
    if (!Count(count)) return false;
    // Never trust the count for allocation: a record takes at least 11 bytes.
    list.reserve(static_cast<size_t>(std::min<uint64_t>(count, Remaining() / 11)));
    for (uint32_t k = 0; k < count; ++k) {
      if (!Object(list.emplace_back())) return false;
    }
    return true;
  }

 private:
  bool Take(void* out, size_t k) {
    if (!Has(k)) return false;
    if (!src_.Read(pos_, out, k)) {
      readFailed_ = true;
      return false;
    }
    pos_ += k;
    return true;
  }

  ByteSource& src_;
  uint64_t n_;
  uint64_t pos_ = 0;
  bool readFailed_ = false;
  std::vector<bool> isClass_{false};  // index 0 is the null object
};

// The tags come first: a file without them is refused after four bytes.
SymbolFileResult DecodeSymbolSource(ByteSource& source, std::vector<CDataObject>& variables,
                                    std::vector<CDataObject>& addresses) {
  Reader r(source);
  uint16_t first, second;
  if (!r.U16(first) || !r.U16(second) || first != kFirstTag || second != kSecondTag)
    return r.ReadFailed() ? SymbolFileResult::kOpenFailed : SymbolFileResult::kUnsupportedFormat;
  std::vector<CDataObject> lists[2];
  try {
    for (auto& list : lists) {
      // The 32-bit count only says whether a list follows; the list's own count rules.
      uint32_t present;
      bool ok = r.U32(present);
      if (ok && present != 0) ok = r.List(list);
      if (!ok) return r.ReadFailed() ? SymbolFileResult::kOpenFailed : SymbolFileResult::kDamaged;
    }
  } catch (const std::bad_alloc&) {
    return SymbolFileResult::kDamaged;
  } catch (const std::length_error&) {
    return SymbolFileResult::kDamaged;
  }
  variables = std::move(lists[0]);
  addresses = std::move(lists[1]);
  return SymbolFileResult::kOk;
}

}  // namespace

const char* SymbolFileMessage(SymbolFileResult result) {
  switch (result) {
    case SymbolFileResult::kOk:
      return "";
    case SymbolFileResult::kPathWrong:
      return "The specified file path is wrong";
    case SymbolFileResult::kOpenFailed:
      return "Failed to open file";
    case SymbolFileResult::kUnsupportedFormat:
      return "This selected file is unsupported file format";
    case SymbolFileResult::kDamaged:
      return "The selected symbol file is damaged or incomplete";
    case SymbolFileResult::kCreateFailed:
      return "Failed to create file";
  }
  return "";
}

std::vector<uint8_t> EncodeSymbolFile(const std::vector<CDataObject>& variables,
                                      const std::vector<CDataObject>& addresses) {
  Writer w;
  w.U16(kFirstTag);
  w.U16(kSecondTag);
  for (const auto* list : {&variables, &addresses}) {
    w.U32(static_cast<uint32_t>(list->size()));
    if (list->empty()) continue;
    w.Count(list->size());
    for (const auto& o : *list) w.Object(o);
  }
  return std::move(w.out);
}

SymbolFileResult DecodeSymbolFile(const uint8_t* bytes, size_t size,
                                  std::vector<CDataObject>& variables,
                                  std::vector<CDataObject>& addresses) {
  MemorySource source(bytes, size);
  return DecodeSymbolSource(source, variables, addresses);
}

SymbolFileResult LoadSymbolFile(const std::string& path, std::vector<CDataObject>& variables,
                                std::vector<CDataObject>& addresses) {
  std::error_code ec;
  if (path.empty() || !std::filesystem::exists(path, ec)) return SymbolFileResult::kPathWrong;
  FileSource source(path);
  if (!source.Open()) return SymbolFileResult::kOpenFailed;
  return DecodeSymbolSource(source, variables, addresses);
}

SymbolFileResult SaveSymbolFile(const std::string& path, const std::vector<CDataObject>& variables,
                                const std::vector<CDataObject>& addresses) {
  if (path.empty()) return SymbolFileResult::kCreateFailed;
  const std::vector<uint8_t> bytes = EncodeSymbolFile(variables, addresses);
  if (!WriteFileAtomically(path, {reinterpret_cast<const char*>(bytes.data()), bytes.size()}))
    return SymbolFileResult::kCreateFailed;
  return SymbolFileResult::kOk;
}

}  // namespace velmora
