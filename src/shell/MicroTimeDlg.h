// The notice shown while the microsecond busy-wait is measured at start-up.
#pragma once

#include <QDialog>

#include "config/MicroTimer.h"

namespace velmora {

class CColorLabel;

// Dialog 139: a captionless, modeless notice with a fading title. It cannot
// be dismissed by the user (Enter and Escape do nothing); the measurement
// hides it when done.
class CMicroTimeDlg : public QDialog {
  Q_OBJECT

 public:
  static constexpr const char* kTitleText = "Calculate Micro Time ...";
  static constexpr const char* kLine1 = "Calculate Micro Time of user PC now for right action";
  static constexpr const char* kLine2 = "Wait a minutes...";

  explicit CMicroTimeDlg(QWidget* parent = nullptr);

  // Shows the notice painted and on top, with the wait cursor.
  void ShowNotice();
  // Hides it and restores the cursor.
  void HideNotice();
  // The hooks CMicroTimer::Calibrate takes.
  CMicroTimer::Notice Notice();

  CColorLabel* TitleLabel() const { return title_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void reject() override {}
  void closeEvent(QCloseEvent* event) override;

 private:
  CColorLabel* title_ = nullptr;
  bool cursorSet_ = false;
};

}  // namespace velmora
