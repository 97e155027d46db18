// The wait cursor for the lifetime of a scope.
#pragma once

#include <QApplication>

namespace velmora {

class WaitCursorScope {
 public:
  WaitCursorScope() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursorScope() { QApplication::restoreOverrideCursor(); }
  WaitCursorScope(const WaitCursorScope&) = delete;
  WaitCursorScope& operator=(const WaitCursorScope&) = delete;
};

}  // namespace velmora
