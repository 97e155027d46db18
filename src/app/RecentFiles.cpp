#include "app/RecentFiles.h"

#include <QDir>
#include <QFileInfo>

#include "config/SettingsStore.h"

namespace velmora {

namespace {

std::string Key(int index) {
  return "File" + std::to_string(index + 1);
}

}  // namespace

bool SameFilePath(const QString& a, const QString& b) {
#ifdef Q_OS_WIN
  const Qt::CaseSensitivity cs = Qt::CaseInsensitive;
#else
  const Qt::CaseSensitivity cs = Qt::CaseSensitive;
#endif
  return QDir::cleanPath(QDir::fromNativeSeparators(a))
             .compare(QDir::cleanPath(QDir::fromNativeSeparators(b)), cs) == 0;
}

void RecentFileList::Load() {
  entries_.clear();
  for (int k = 0; k < kMaxEntries; ++k) {
    const std::string value = store_.ReadString(kSectionRecentFiles, Key(k), "");
    if (value.empty()) break;
    entries_.append(QString::fromStdString(value));
  }
}

void RecentFileList::Save() {
  for (int k = 0; k < kMaxEntries; ++k)
    store_.WriteString(kSectionRecentFiles, Key(k),
                       k < entries_.size() ? entries_[k].toStdString() : std::string());
}

void RecentFileList::Add(const QString& path) {
  if (path.isEmpty()) return;
  for (qsizetype k = 0; k < entries_.size(); ++k) {
    if (SameFilePath(entries_[k], path)) {
      entries_.removeAt(k);
      break;
    }
  }
  entries_.prepend(path);
  while (entries_.size() > kMaxEntries) entries_.removeLast();
  Save();
}

void RecentFileList::Remove(int index) {
  if (index < 0 || index >= entries_.size()) return;
  entries_.removeAt(index);
  Save();
}

QString RecentFileList::MenuText(int index, const QString& path) {
  constexpr qsizetype kMaxShown = 60;
  QString shown = QDir::toNativeSeparators(path);
  if (shown.size() > kMaxShown) {
    // Keep the file name and the start of the path.
    const QString name = QFileInfo(path).fileName();
    const qsizetype head = std::max<qsizetype>(3, kMaxShown - name.size() - 4);
    shown = shown.left(head) + QStringLiteral("...") + QDir::separator() + name;
  }
  shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
  return QStringLiteral("&%1 %2").arg(index + 1).arg(shown);
}

}  // namespace velmora
