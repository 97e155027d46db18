// Helpers for the user-tool tests: small sh scripts written into a
// temporary folder and used as tools.
#pragma once

#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace velmora::test {

// Writes an executable sh script and returns its full path.
inline QString WriteScript(const QTemporaryDir& dir, const QString& name, const QString& body,
                           bool executable = true) {
  const QString path = dir.filePath(name);
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return {};
  f.write("#!/bin/sh\n");
  f.write(body.toUtf8());
  f.write("\n");
  f.close();
  QFileDevice::Permissions p = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
  if (executable) p |= QFileDevice::ExeOwner;
  f.setPermissions(p);
  return path;
}

inline QString ReadAll(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(f.readAll()).trimmed();
}

// True while the process exists and is not a zombie waiting to be reaped.
inline bool ProcessAlive(qint64 pid) {
  if (pid <= 0) return false;
  QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
  if (!stat.open(QIODevice::ReadOnly)) return false;
  const QByteArray line = stat.readAll();
  const qsizetype close = line.lastIndexOf(')');
  if (close < 0 || close + 2 >= line.size()) return false;
  const char state = line.at(close + 2);
  return state != 'Z' && state != 'X';
}

}  // namespace velmora::test
