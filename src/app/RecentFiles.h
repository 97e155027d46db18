// The recent-file list of the File menu: at most four paths, the latest
// first, kept in section "Recent File List" as File1 to File4.
#pragma once

#include <QString>
#include <QStringList>

namespace velmora {

class SettingsStore;

class RecentFileList {
 public:
  static constexpr int kMaxEntries = 4;

  explicit RecentFileList(SettingsStore& store) : store_(store) {}

  // Reads File1..File4; the list ends at the first empty entry.
  void Load();
  // Writes all four keys (empty strings for unused slots).
  void Save();
  // Puts the path first; an entry naming the same file moves up instead of
  // appearing twice. Saved at once so a crash loses nothing.
  void Add(const QString& path);
  void Remove(int index);

  const QStringList& Entries() const { return entries_; }
  int Size() const { return static_cast<int>(entries_.size()); }
  QString At(int index) const { return entries_.value(index); }

  // Menu text of entry `index`: "&1 " and the path, shortened in the middle
  // when it is long.
  static QString MenuText(int index, const QString& path);

 private:
  SettingsStore& store_;
  QStringList entries_;
};

// True when the two paths name the same file (case-blind on Windows).
bool SameFilePath(const QString& a, const QString& b);

}  // namespace velmora
