#include "image/ByteSource.h"

#include <cstring>
#include <filesystem>
#include <system_error>

namespace velmora {

bool MemorySource::Read(uint64_t offset, void* out, size_t n) {
  if (n == 0) return true;
  if (offset > size_ || size_ - offset < n) return false;
  std::memcpy(out, bytes_ + offset, n);
  return true;
}

FileSource::FileSource(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return;
  in_.open(path, std::ios::binary | std::ios::ate);
  if (!in_) return;
  const std::streamoff end = in_.tellg();
  if (end < 0) return;
  size_ = static_cast<uint64_t>(end);
  position_ = size_;
  open_ = true;
}

bool FileSource::Read(uint64_t offset, void* out, size_t n) {
  if (n == 0) return true;
  if (!open_ || offset > size_ || size_ - offset < n) return false;
  if (position_ != offset) {
    in_.clear();
    in_.seekg(static_cast<std::streamoff>(offset));
    if (!in_) {
      position_ = size_ + 1;  // unknown: seek next time
      return false;
    }
  }
  in_.read(static_cast<char*>(out), static_cast<std::streamsize>(n));
  if (in_.gcount() != static_cast<std::streamsize>(n)) {
    in_.clear();
    position_ = size_ + 1;
    return false;
  }
  position_ = offset + n;
  return true;
}

}  // namespace velmora
