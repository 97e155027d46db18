// Little-endian fields of the file formats: readers for the parsers (callers
// check the bounds first; these only assemble bytes) and an appender for the
// writers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velmora::le {

inline uint16_t U16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

class Appender {
 public:
  explicit Appender(std::vector<uint8_t>& out) : out_(out) {}
  void U8(uint8_t v) { out_.push_back(v); }
  void U16(uint32_t v) {
    U8(static_cast<uint8_t>(v));
    U8(static_cast<uint8_t>(v >> 8));
  }
  void U32(uint32_t v) {
    U16(v & 0xFFFF);
    U16(v >> 16);
  }
  void Bytes(const char* p, size_t n) { out_.insert(out_.end(), p, p + n); }
  void Zeros(size_t n) { out_.insert(out_.end(), n, 0); }
  size_t Size() const { return out_.size(); }

 private:
  std::vector<uint8_t>& out_;
};

}  // namespace velmora::le
