// The configuration dialog: what it shows for the stored settings, the DSP
// switch, the default button, the firmware rules, "Version Check" without a
// pod or a handle, and what OK writes back.
#include <QButtonGroup>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "podlink/PodLink.h"
#include "shell/ConfigDlg.h"

using namespace velmora;

namespace {

// A link without a device library: it never opens.
struct DeadLink {
  VirtualClock clock;
  VirtualMicroDelayer delayer{clock};
  CPodLink link{[](std::string&) { return std::unique_ptr<FtdiApi>(); }, clock, delayer};
  explicit DeadLink(uint8_t version) { link.SetFirmwareVersion(version); }
};

QStringList Items(QComboBox* box) {
  QStringList out;
  for (int k = 0; k < box->count(); ++k) out << box->itemText(k);
  return out;
}

}  // namespace

class ConfigDlgTest : public QObject {
  Q_OBJECT

 private slots:
  void showsTheStoredSettings() {
    AppSettings s;
    s.dspType = kTMS320C33;
    s.dataIntervalTime = 11;
    s.dataScanTime = 13;
    s.resetPolarity = 7;  // any non-zero value is Active-High
    s.resetTime = 9;
    s.delayTimeAfterReset = 0;
    s.bootType = kBoot2;
    s.flashType = kAT29C020;
    s.primaryBus = 0xABC;
    DeadLink pod(0x12);
    CConfigDlg dlg(s, &pod.link, true);
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Main Configuration"));
    QCOMPARE(Items(dlg.Combo(CConfigDlg::kDspType)),
             (QStringList{"TMS320C31", "TMS320C32", "TMS320C33"}));
    QCOMPARE(dlg.Combo(CConfigDlg::kDspType)->currentIndex(), 2);
    QCOMPARE(dlg.Combo(CConfigDlg::kScanTime)->count(), 16);
    QCOMPARE(dlg.Combo(CConfigDlg::kScanTime)->currentText(), QStringLiteral("1000 ms"));
    QCOMPARE(dlg.Combo(CConfigDlg::kMonitoringInterval)->count(), 14);
    QCOMPARE(dlg.Combo(CConfigDlg::kMonitoringInterval)->currentText(), QStringLiteral("10000 us"));
    QCOMPARE(dlg.Combo(CConfigDlg::kPolarity)->currentText(), QStringLiteral("Active-High"));
    QCOMPARE(dlg.Combo(CConfigDlg::kResetTime)->currentText(), QStringLiteral("1000 ms"));
    QCOMPARE(dlg.Combo(CConfigDlg::kDelayAfterReset)->currentText(), QStringLiteral("50ms "));
    QCOMPARE(dlg.Combo(CConfigDlg::kFlashType)->currentText(), QStringLiteral("AT29C020"));
    QVERIFY(dlg.Radio(CConfigDlg::kBoot2)->isChecked());
    QCOMPARE(dlg.Radio(CConfigDlg::kBoot3)->text(), QStringLiteral("Boot3 (INT2 : 0xFFF000)"));
    QCOMPARE(dlg.Edit(CConfigDlg::kPrimaryBus)->text(), QStringLiteral("00000ABC"));
    QCOMPARE(dlg.Edit(CConfigDlg::kStrb0)->text(), QStringLiteral("000F0858"));
    QCOMPARE(dlg.Edit(CConfigDlg::kStrb1)->maxLength(), 8);
    QVERIFY(dlg.Edit(CConfigDlg::kPrimaryBus)->isEnabled());
    QVERIFY(!dlg.Edit(CConfigDlg::kIostrb)->isEnabled());
    QVERIFY(dlg.Combo(CConfigDlg::kPolarity)->isEnabled());
    QVERIFY(dlg.Button(CConfigDlg::kVersionCheck)->isEnabled());
    QCOMPARE(dlg.NoteText(), QString());
    QCOMPARE(dlg.Button(CConfigDlg::kDefaultSetting)->text(), QStringLiteral("Defalut Setting"));
    QVERIFY(dlg.Edit(CConfigDlg::kFirmwareVersion)->isReadOnly());

    // A stored boot type beyond the three modes checks no radio.
    s.bootType = 5;
    CConfigDlg none(s, &pod.link, true);
    QCOMPARE(none.findChildren<QRadioButton*>().size(), 3);
    for (QRadioButton* r : none.findChildren<QRadioButton*>()) QVERIFY(!r->isChecked());
  }

  void switchingTheDspChangesCaptionsAndEnablingOnly() {
    AppSettings s;
    s.dspType = kTMS320C31;
    s.bootType = kBoot3;
    DeadLink pod(0x12);
    CConfigDlg dlg(s, &pod.link, true);
    QCOMPARE(dlg.Radio(CConfigDlg::kBoot2)->text(), QStringLiteral("Boot2 (INT1 : 0x400000)"));
    dlg.Edit(CConfigDlg::kIostrb)->setText("ABCD");
    dlg.Combo(CConfigDlg::kDspType)->setCurrentIndex(kTMS320C32);
    QCOMPARE(dlg.Radio(CConfigDlg::kBoot1)->text(), QStringLiteral("Boot1 (INT0 : 0x1000)"));
    QCOMPARE(dlg.Radio(CConfigDlg::kBoot2)->text(), QStringLiteral("Boot2 (INT1 : 0x810000)"));
    QCOMPARE(dlg.Radio(CConfigDlg::kBoot3)->text(), QStringLiteral("Boot3 (INT2 : 0x900000)"));
    QVERIFY(!dlg.Edit(CConfigDlg::kPrimaryBus)->isEnabled());
    for (int id : {CConfigDlg::kIostrb, CConfigDlg::kStrb0, CConfigDlg::kStrb1})
      QVERIFY(dlg.Edit(id)->isEnabled());
    // Values and the boot choice stay.
    QCOMPARE(dlg.Edit(CConfigDlg::kIostrb)->text(), QStringLiteral("ABCD"));
    QCOMPARE(dlg.Edit(CConfigDlg::kPrimaryBus)->text(), QStringLiteral("000008F8"));
    QVERIFY(dlg.Radio(CConfigDlg::kBoot3)->isChecked());
    QVERIFY(s.dspType == kTMS320C31);  // nothing stored before OK
  }

  void defaultSettingFillsTheRegisterEditsOnly() {
    AppSettings s;
    s.primaryBus = 1, s.iostrb = 2, s.strb0 = 3, s.strb1 = 4;
    DeadLink pod(0x12);
    CConfigDlg dlg(s, &pod.link, true);
    dlg.Combo(CConfigDlg::kFlashType)->setCurrentIndex(kAT29C010A);
    dlg.Button(CConfigDlg::kDefaultSetting)->click();
    QCOMPARE(dlg.Edit(CConfigDlg::kPrimaryBus)->text(), QStringLiteral("000008F8"));
    QCOMPARE(dlg.Edit(CConfigDlg::kIostrb)->text(), QStringLiteral("00000058"));
    QCOMPARE(dlg.Edit(CConfigDlg::kStrb0)->text(), QStringLiteral("000F0858"));
    QCOMPARE(dlg.Edit(CConfigDlg::kStrb1)->text(), QStringLiteral("000F0858"));
    QCOMPARE(dlg.Combo(CConfigDlg::kFlashType)->currentIndex(), int(kAT29C010A));
    QCOMPARE(s.primaryBus, 1u);
  }

  void okReadsEveryControlBack() {
    AppSettings s;
    s.dspType = kTMS320C32;
    DeadLink pod(0x12);
    CConfigDlg dlg(s, &pod.link, true);
    dlg.Combo(CConfigDlg::kDspType)->setCurrentIndex(kTMS320C31);
    dlg.Combo(CConfigDlg::kFlashType)->setCurrentIndex(kAT29C040A);
    dlg.Combo(CConfigDlg::kScanTime)->setCurrentIndex(15);
    dlg.Combo(CConfigDlg::kMonitoringInterval)->setCurrentIndex(13);
    dlg.Combo(CConfigDlg::kPolarity)->setCurrentIndex(1);
    dlg.Combo(CConfigDlg::kResetTime)->setCurrentIndex(9);
    dlg.Combo(CConfigDlg::kDelayAfterReset)->setCurrentIndex(8);
    dlg.Radio(CConfigDlg::kBoot3)->setChecked(true);
    dlg.Edit(CConfigDlg::kPrimaryBus)->setText(" 5G ");
    dlg.Edit(CConfigDlg::kIostrb)->setText("0x58");
    dlg.Edit(CConfigDlg::kStrb0)->setText("G5");
    dlg.Edit(CConfigDlg::kStrb1)->setText("   ");
    dlg.accept();
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(s.dspType, uint8_t{kTMS320C31});
    QCOMPARE(s.flashType, uint8_t{kAT29C040A});
    QCOMPARE(s.dataIntervalTime, 15);
    QCOMPARE(s.dataScanTime, 13);
    QCOMPARE(s.resetPolarity, 1);
    QCOMPARE(s.resetTime, 9);
    QCOMPARE(s.delayTimeAfterReset, 8);
    QCOMPARE(s.bootType, uint8_t{kBoot3});
    QCOMPARE(s.primaryBus, 5u);
    QCOMPARE(s.iostrb, 88u);
    QCOMPARE(s.strb0, 0u);
    QCOMPARE(s.strb1, 985176u);

    // Cancel leaves the record alone.
    const AppSettings kept = s;
    CConfigDlg other(s, &pod.link, true);
    other.Combo(CConfigDlg::kDspType)->setCurrentIndex(kTMS320C33);
    other.Edit(CConfigDlg::kPrimaryBus)->setText("FFFF");
    other.reject();
    QVERIFY(s == kept);
  }

  void oldFirmwareLocksTheResetParameters() {
    AppSettings s;
    DeadLink old(0x11);
    CConfigDlg dlg(s, &old.link, true);
    QVERIFY(!dlg.Combo(CConfigDlg::kPolarity)->isEnabled());
    QVERIFY(!dlg.Combo(CConfigDlg::kResetTime)->isEnabled());
    QVERIFY(!dlg.Button(CConfigDlg::kVersionCheck)->isEnabled());
    QVERIFY(dlg.Combo(CConfigDlg::kDelayAfterReset)->isEnabled());
    QCOMPARE(dlg.NoteText(), QStringLiteral("Ver 1.0 or 1.1 : Upgrade is needed"));

    // No pod: the version was never read (0x10), so the same holds.
    CConfigDlg noPod(s, nullptr, false);
    QVERIFY(!noPod.Combo(CConfigDlg::kPolarity)->isEnabled());
    QCOMPARE(noPod.NoteText(), QStringLiteral("Ver 1.0 or 1.1 : Upgrade is needed"));
  }

  void versionCheckWithoutAPodOrAHandle() {
    AppSettings s;
    QStringList shown;
    auto record = [&](QWidget*, const QString& text) { shown << text; };

    CConfigDlg noPod(s, nullptr, false);
    noPod.SetInformHandler(record);
    noPod.OnVersionCheck();
    QCOMPARE(shown, QStringList{"Not connected to Velmora-UT POD"});
    QCOMPARE(noPod.Edit(CConfigDlg::kFirmwareVersion)->text(), QString());

    shown.clear();
    DeadLink dead(0x12);
    CConfigDlg noHandle(s, &dead.link, true);
    noHandle.SetInformHandler(record);
    noHandle.Button(CConfigDlg::kVersionCheck)->click();
    QCOMPARE(shown, QStringList{"Failed to get USB Handle"});
    QCOMPARE(noHandle.Edit(CConfigDlg::kFirmwareVersion)->text(), QString());
  }
};

QTEST_MAIN(ConfigDlgTest)
#include "configdlg_qtest.moc"
