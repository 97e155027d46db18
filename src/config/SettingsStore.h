// Per-user settings store: sections of integer and string values with defaults.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>

namespace velmora {

inline constexpr const char* kOrganisation = "Kelvaro";
inline constexpr const char* kApplicationKey = "Velmora UT Ver2.24";
inline constexpr const char* kSectionMain = "Main Configuration";
inline constexpr const char* kSectionUserMenu = "User Menu";
inline constexpr const char* kSectionViewInfo = "View Information";
inline constexpr const char* kSectionRecentFiles = "Recent File List";

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  // A missing value reads as its default. Integers are stored as 32-bit values.
  virtual int32_t ReadInt(const std::string& section, const std::string& key,
                          int32_t defaultValue) = 0;
  virtual void WriteInt(const std::string& section, const std::string& key, uint32_t value) = 0;
  virtual std::string ReadString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) = 0;
  virtual void WriteString(const std::string& section, const std::string& key,
                           const std::string& value) = 0;
  virtual bool Contains(const std::string& section, const std::string& key) = 0;
  virtual void Remove(const std::string& section, const std::string& key) = 0;
  // Pushes pending writes to permanent storage; false when that failed.
  virtual bool Sync() { return true; }
};

// In-memory store for tests and for headless runs that must not touch the
// user's settings.
class MemorySettingsStore : public SettingsStore {
 public:
  int32_t ReadInt(const std::string& section, const std::string& key,
                  int32_t defaultValue) override;
  void WriteInt(const std::string& section, const std::string& key, uint32_t value) override;
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& defaultValue) override;
  void WriteString(const std::string& section, const std::string& key,
                   const std::string& value) override;
  bool Contains(const std::string& section, const std::string& key) override;
  void Remove(const std::string& section, const std::string& key) override;

  // Raw access for tests: every value is kept as text, integers in decimal.
  std::map<std::pair<std::string, std::string>, std::string>& Values() { return values_; }

 private:
  std::map<std::pair<std::string, std::string>, std::string> values_;
};

}  // namespace velmora
