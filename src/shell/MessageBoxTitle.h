// The title of the program's message boxes.
#pragma once

#include <QGuiApplication>
#include <QString>

namespace velmora {

// The application's display name, "Velmora UT" when none is set.
inline QString MessageBoxTitle() {
  const QString name = QGuiApplication::applicationDisplayName();
  return name.isEmpty() ? QStringLiteral("Velmora UT") : name;
}

}  // namespace velmora
