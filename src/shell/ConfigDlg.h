// The "Main Configuration" dialog: DSP type, monitoring times, target reset,
// ROM boot type, flash chip and memory-interface registers, and the pod's
// firmware version on demand. OK writes every control back into the settings
// record; Cancel changes nothing.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>

#include "config/AppSettings.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace velmora {

class CPodLink;

class CConfigDlg : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kDialogId = 133;
  static constexpr const char* kCaption = "Main Configuration";
  // Control ids.
  static constexpr int kDspType = 1016;
  static constexpr int kScanTime = 1017;
  static constexpr int kMonitoringInterval = 1018;
  static constexpr int kFlashType = 1019;
  static constexpr int kBoot1 = 1020;
  static constexpr int kBoot2 = 1021;
  static constexpr int kBoot3 = 1022;
  static constexpr int kPrimaryBus = 1023;
  static constexpr int kIostrb = 1024;
  static constexpr int kStrb0 = 1025;
  static constexpr int kStrb1 = 1026;
  static constexpr int kPolarity = 1027;
  static constexpr int kResetTime = 1028;
  static constexpr int kDelayAfterReset = 1029;
  static constexpr int kFirmwareVersion = 1030;
  static constexpr int kVersionCheck = 1031;
  static constexpr int kDefaultSetting = 1032;
  static constexpr int kUpgradeNote = 1046;
  // "Quick verify": flash verifies compare the CRC-32 first.
  static constexpr int kQuickVerify = 1047;

  static constexpr const char* kUpgradeNoteText = "Ver 1.0 or 1.1 : Upgrade is needed";
  static constexpr const char* kDspNames[3] = {"TMS320C31", "TMS320C32", "TMS320C33"};
  static constexpr const char* kFlashNames[6] = {"AM29F010",  "AM29F040", "HY29F040A",
                                                 "AT29C010A", "AT29C020", "AT29C040A"};

  // `link` serves "Version Check" and gives the firmware version that decides
  // whether the reset parameters can be changed; it may be null (no pod).
  // `podFound` is the result of the pod search at start-up.
  CConfigDlg(AppSettings& settings, CPodLink* link, bool podFound, QWidget* parent = nullptr);

  // Information message boxes of "Version Check"; tests replace them.
  void SetInformHandler(std::function<void(QWidget*, const QString&)> inform) {
    inform_ = std::move(inform);
  }

  QWidget* Control(int id) const;
  QComboBox* Combo(int id) const;
  QLineEdit* Edit(int id) const;
  QRadioButton* Radio(int id) const;
  QPushButton* Button(int id) const;
  QCheckBox* CheckBox(int id) const;
  QString NoteText() const;

  // Dialog events, callable by tests as a click would.
  void OnDspTypeChanged(int index);
  void OnDefaultSetting();
  void OnVersionCheck();

  void accept() override;

 private:
  void Build();
  void Initialise();
  void ApplyDspType(int dspType);
  void Inform(const QString& text);

  AppSettings& settings_;
  CPodLink* link_;
  bool podFound_;
  std::function<void(QWidget*, const QString&)> inform_;
  QButtonGroup* bootGroup_ = nullptr;
  QLabel* note_ = nullptr;
};

}  // namespace velmora
