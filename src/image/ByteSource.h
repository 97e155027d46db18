// Bytes read at offsets, from a file or from memory. The file readers ask for
// the header first and then for exactly the pieces it describes, so a large
// file that is not what it claims to be costs only its first bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

namespace velmora {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t Size() const = 0;
  // Exactly n bytes at offset; false when they are not all there or the
  // read failed. Nothing (n = 0) can always be read.
  virtual bool Read(uint64_t offset, void* out, size_t n) = 0;
};

class MemorySource : public ByteSource {
 public:
  MemorySource(const uint8_t* bytes, size_t size) : bytes_(bytes), size_(size) {}
  uint64_t Size() const override { return size_; }
  bool Read(uint64_t offset, void* out, size_t n) override;

 private:
  const uint8_t* bytes_;
  size_t size_;
};

class FileSource : public ByteSource {
 public:
  // Open() tells whether the file could be opened (a regular file only).
  explicit FileSource(const std::string& path);
  bool Open() const { return open_; }
  uint64_t Size() const override { return size_; }
  bool Read(uint64_t offset, void* out, size_t n) override;

 private:
  std::ifstream in_;
  uint64_t size_ = 0;
  uint64_t position_ = 0;  // where the stream stands, to skip needless seeks
  bool open_ = false;
};

}  // namespace velmora
