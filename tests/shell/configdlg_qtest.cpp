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

}  // namespace

class ConfigDlgTest : public QObject {
  Q_OBJECT

 private slots:
  void showsTheStoredSettingsAndSwitchesTheDsp() {
    AppSettings s;
    s.dspType = kTMS320C33;
    s.dataIntervalTime = 11;
    s.dataScanTime = 13;
    s.resetPolarity = 7;  // any non-zero value is Active-High
    s.delayTimeAfterReset = 0;
    s.bootType = kBoot2;
    s.flashType = kAT29C020;
    s.primaryBus = 0xABC;
    s.iostrb = 2;
    DeadLink pod(0x12);
    CConfigDlg dlg(s, &pod.link, true);
    QCOMPARE(dlg.Combo(CConfigDlg::kDspType)->currentIndex(), 2);
    QCOMPARE(dlg.Combo(CConfigDlg::kScanTime)->currentText(), QStringLiteral("1000 ms"));
    QCOMPARE(dlg.Combo(CConfigDlg::kMonitoringInterval)->currentText(), QStringLiteral("10000 us"));
    QCOMPARE(dlg.Combo(CConfigDlg::kPolarity)->currentText(), QStringLiteral("Active-High"));
    QCOMPARE(dlg.Combo(CConfigDlg::kDelayAfterReset)->currentText(), QStringLiteral("50ms "));
    QCOMPARE(dlg.Combo(CConfigDlg::kFlashType)->currentText(), QStringLiteral("AT29C020"));
    QVERIFY(dlg.Radio(CConfigDlg::kBoot2)->isChecked());
    QCOMPARE(dlg.Radio(CConfigDlg::kBoot3)->text(), QStringLiteral("Boot3 (INT2 : 0xFFF000)"));
    QCOMPARE(dlg.Edit(CConfigDlg::kPrimaryBus)->text(), QStringLiteral("00000ABC"));
    QVERIFY(dlg.Edit(CConfigDlg::kPrimaryBus)->isEnabled());
    QVERIFY(!dlg.Edit(CConfigDlg::kIostrb)->isEnabled());
    QVERIFY(dlg.Combo(CConfigDlg::kPolarity)->isEnabled());
    QVERIFY(dlg.Button(CConfigDlg::kVersionCheck)->isEnabled());
    QCOMPARE(dlg.NoteText(), QString());

    // The C32 changes captions and enabling only; values and the boot choice stay.
    dlg.Edit(CConfigDlg::kIostrb)->setText("ABCD");
    dlg.Combo(CConfigDlg::kDspType)->setCurrentIndex(kTMS320C32);
    QCOMPARE(dlg.Radio(CConfigDlg::kBoot1)->text(), QStringLiteral("Boot1 (INT0 : 0x1000)"));
    QCOMPARE(dlg.Radio(CConfigDlg::kBoot2)->text(), QStringLiteral("Boot2 (INT1 : 0x810000)"));
    QCOMPARE(dlg.Radio(CConfigDlg::kBoot3)->text(), QStringLiteral("Boot3 (INT2 : 0x900000)"));
    QVERIFY(!dlg.Edit(CConfigDlg::kPrimaryBus)->isEnabled());
    for (int id : {CConfigDlg::kIostrb, CConfigDlg::kStrb0, CConfigDlg::kStrb1})
      QVERIFY(dlg.Edit(id)->isEnabled());
    QCOMPARE(dlg.Edit(CConfigDlg::kIostrb)->text(), QStringLiteral("ABCD"));
    QVERIFY(dlg.Radio(CConfigDlg::kBoot2)->isChecked());

    // "Defalut Setting" fills the register edits only.
    dlg.Button(CConfigDlg::kDefaultSetting)->click();
    QCOMPARE(dlg.Edit(CConfigDlg::kPrimaryBus)->text(), QStringLiteral("000008F8"));
    QCOMPARE(dlg.Edit(CConfigDlg::kIostrb)->text(), QStringLiteral("00000058"));
    QCOMPARE(dlg.Edit(CConfigDlg::kStrb0)->text(), QStringLiteral("000F0858"));
    QCOMPARE(dlg.Combo(CConfigDlg::kFlashType)->currentText(), QStringLiteral("AT29C020"));
    QVERIFY(s.dspType == kTMS320C33 && s.primaryBus == 0xABC);  // nothing stored before OK

    // A stored boot type beyond the three modes checks no radio.
    s.bootType = 5;
    CConfigDlg none(s, &pod.link, true);
    for (QRadioButton* r : none.findChildren<QRadioButton*>()) QVERIFY(!r->isChecked());
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
    QCOMPARE(s.strb1, 985176u);  // blank: the default
  }

  // Firmware 1.0 and 1.1 cannot set the reset parameters; a pod never read
  // counts as 1.0. Version Check says why it cannot read.
  void oldOrUnreadFirmwareAndVersionCheckFailures() {
    AppSettings s;
    DeadLink old(0x11);
    CConfigDlg dlg(s, &old.link, true);
    CConfigDlg noPod(s, nullptr, false);
    for (CConfigDlg* d : {&dlg, &noPod}) {
      QVERIFY(!d->Combo(CConfigDlg::kPolarity)->isEnabled());
      QVERIFY(!d->Combo(CConfigDlg::kResetTime)->isEnabled());
      QVERIFY(d->Combo(CConfigDlg::kDelayAfterReset)->isEnabled());
      QCOMPARE(d->NoteText(), QStringLiteral("Ver 1.0 or 1.1 : Upgrade is needed"));
    }
    QVERIFY(!dlg.Button(CConfigDlg::kVersionCheck)->isEnabled());

    QStringList shown;
    auto record = [&](QWidget*, const QString& text) { shown << text; };
    noPod.SetInformHandler(record);
    noPod.OnVersionCheck();
    DeadLink dead(0x12);
    CConfigDlg noHandle(s, &dead.link, true);
    noHandle.SetInformHandler(record);
    noHandle.Button(CConfigDlg::kVersionCheck)->click();
    QCOMPARE(shown, (QStringList{"Not connected to Velmora-UT POD", "Failed to get USB Handle"}));
    QCOMPARE(noHandle.Edit(CConfigDlg::kFirmwareVersion)->text(), QString());
  }
};

QTEST_MAIN(ConfigDlgTest)
#include "configdlg_qtest.moc"
