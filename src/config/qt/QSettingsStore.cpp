#include "config/qt/QSettingsStore.h"

#include <QSettings>
#include <QString>
#include <QVariant>

namespace velmora {
namespace {

// Sections become QSettings groups. Names with a slash would open a sub-group;
// reading and writing agree on that, so such a value is still found again.
QString KeyPath(const std::string& section, const std::string& key) {
  return QString::fromStdString(section) + QLatin1Char('/') + QString::fromStdString(key);
}

}  // namespace

QSettingsStore::QSettingsStore()
    : settings_(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                            QString::fromLatin1(kOrganisation),
                                            QString::fromLatin1(kApplicationKey))) {}

QSettingsStore::QSettingsStore(const std::string& iniPath)
    : settings_(
          std::make_unique<QSettings>(QString::fromStdString(iniPath), QSettings::IniFormat)) {}

QSettingsStore::~QSettingsStore() = default;

int32_t QSettingsStore::ReadInt(const std::string& section, const std::string& key,
                                int32_t defaultValue) {
  const QVariant v = settings_->value(KeyPath(section, key));
  if (!v.isValid()) return defaultValue;
  bool ok = false;
  // Values are written unsigned; a registry DWORD read back as signed keeps
  // its 32 bits, so both spellings of the same bits give the same value.
  const qlonglong wide = v.toLongLong(&ok);
  if (ok) return static_cast<int32_t>(static_cast<uint32_t>(static_cast<qulonglong>(wide)));
  const qulonglong uwide = v.toULongLong(&ok);
  if (ok) return static_cast<int32_t>(static_cast<uint32_t>(uwide));
  return defaultValue;
}

void QSettingsStore::WriteInt(const std::string& section, const std::string& key, uint32_t value) {
  settings_->setValue(KeyPath(section, key), QVariant::fromValue(value));
}

std::string QSettingsStore::ReadString(const std::string& section, const std::string& key,
                                       const std::string& defaultValue) {
  const QVariant v = settings_->value(KeyPath(section, key));
  if (!v.isValid()) return defaultValue;
  return v.toString().toStdString();
}

void QSettingsStore::WriteString(const std::string& section, const std::string& key,
                                 const std::string& value) {
  settings_->setValue(KeyPath(section, key), QString::fromStdString(value));
}

bool QSettingsStore::Contains(const std::string& section, const std::string& key) {
  return settings_->contains(KeyPath(section, key));
}

void QSettingsStore::Remove(const std::string& section, const std::string& key) {
  settings_->remove(KeyPath(section, key));
}

bool QSettingsStore::Sync() {
  settings_->sync();
  return settings_->status() == QSettings::NoError;
}

std::string QSettingsStore::Location() const {
  return settings_->fileName().toStdString();
}

}  // namespace velmora
