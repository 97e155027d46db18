// The settings store over QSettings: the registry on Windows, an INI file under
// the user's config folder elsewhere, or an explicit INI file.
#pragma once

#include <memory>
#include <string>

#include "config/SettingsStore.h"

class QSettings;

namespace velmora {

class QSettingsStore : public SettingsStore {
 public:
  // The per-user location of organisation "Kelvaro", application "Velmora UT Ver2.24".
  QSettingsStore();
  // An INI file at this path (tests, portable installs, --settings=FILE).
  explicit QSettingsStore(const std::string& iniPath);
  ~QSettingsStore() override;

  QSettingsStore(const QSettingsStore&) = delete;
  QSettingsStore& operator=(const QSettingsStore&) = delete;

  int32_t ReadInt(const std::string& section, const std::string& key,
                  int32_t defaultValue) override;
  void WriteInt(const std::string& section, const std::string& key, uint32_t value) override;
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& defaultValue) override;
  void WriteString(const std::string& section, const std::string& key,
                   const std::string& value) override;
  bool Contains(const std::string& section, const std::string& key) override;
  void Remove(const std::string& section, const std::string& key) override;
  bool Sync() override;

  // Where the values live: a file path, or the registry path on Windows.
  std::string Location() const;

 private:
  std::unique_ptr<QSettings> settings_;
};

}  // namespace velmora
