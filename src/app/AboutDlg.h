// Help > About: the application icon, the version line and OK.
#pragma once

#include <QDialog>

namespace velmora {

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kDialogId = 100;
  static constexpr const char* kCaption = "About Velmora UT ";
  static constexpr const char* kVersionText = "Velmora UT Version 2.25";

  explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace velmora
