#include "config/SettingsStore.h"

#include <charconv>

namespace velmora {
namespace {

// Integers are kept as decimal text. A stored value outside the 32-bit range
// keeps its low 32 bits, as a registry DWORD would; text that is no number at
// all reads as the default.
bool ParseStoredInt(const std::string& text, int32_t& out) {
  int64_t value = 0;
  const char* first = text.data();
  const char* last = first + text.size();
  auto [ptr, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || ptr != last) return false;
  out = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
  return true;
}

}  // namespace

int32_t MemorySettingsStore::ReadInt(const std::string& section, const std::string& key,
                                     int32_t defaultValue) {
  auto it = values_.find({section, key});
  int32_t value = defaultValue;
  if (it == values_.end() || !ParseStoredInt(it->second, value)) return defaultValue;
  return value;
}

void MemorySettingsStore::WriteInt(const std::string& section, const std::string& key,
                                   uint32_t value) {
  values_[{section, key}] = std::to_string(value);
}

std::string MemorySettingsStore::ReadString(const std::string& section, const std::string& key,
                                            const std::string& defaultValue) {
  auto it = values_.find({section, key});
  return it == values_.end() ? defaultValue : it->second;
}

void MemorySettingsStore::WriteString(const std::string& section, const std::string& key,
                                      const std::string& value) {
  values_[{section, key}] = value;
}

bool MemorySettingsStore::Contains(const std::string& section, const std::string& key) {
  return values_.count({section, key}) != 0;
}

void MemorySettingsStore::Remove(const std::string& section, const std::string& key) {
  values_.erase({section, key});
}

}  // namespace velmora
