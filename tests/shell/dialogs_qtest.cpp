// The dialogs: progress and erase animation with the observer that drives
// them; configuration (stored settings shown, the DSP switch, the default
// button, firmware rules, Version Check failures, what OK writes back); the
// change-data dialogs (what they show, the word OK returns, the rejections).
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "monitoring/ValueFormats.h"
#include "podlink/PodLink.h"
#include "shell/ChangeDataDlg.h"
#include "shell/ConfigDlg.h"
#include "shell/ProgressDlg.h"
#include "widgets/FrameAnimation.h"

using namespace velmora;

namespace {

QPushButton* ButtonOf(QDialog& dlg) {
  return dlg.findChild<QPushButton*>();
}

// Title, status, button and the pending automatic close (-1: none), as one line.
QString State(CProgressDlg& dlg) {
  return QStringList{dlg.Title(), dlg.StatusText(), dlg.ButtonText(),
                     QString::number(dlg.AutoClosePending() ? dlg.AutoCloseInterval() : -1)}
      .join(u'|');
}

// A link without a device library: it never opens.
struct DeadLink {
  VirtualClock clock;
  VirtualMicroDelayer delayer{clock};
  CPodLink link{[](std::string&) { return std::unique_ptr<FtdiApi>(); }, clock, delayer};
  explicit DeadLink(uint8_t version) { link.SetFirmwareVersion(version); }
};

constexpr uint16_t kShort = 3;
constexpr uint16_t kInt = 4;

ChangeSymbolRequest SymbolRequest(uint8_t view, uint16_t type, QString value = "0x0000002A") {
  ChangeSymbolRequest r;
  r.name = "counter";
  r.addressText = "0x809C00";
  r.dataTypeText = "Integer";
  r.valueText = std::move(value);
  r.viewType = view;
  r.typeCode = type;
  return r;
}

// Types `text` and presses OK; the word when accepted, -1 when the dialog stayed.
int64_t Enter(CChangeDataDlgBase& dlg, const QString& text, QStringList* shown = nullptr) {
  dlg.SetInformHandler([shown](QWidget*, const QString& t) {
    if (shown) *shown << t;
  });
  dlg.ValueEdit()->setText(text);
  dlg.OkButton()->click();
  if (dlg.result() != QDialog::Accepted) return -1;
  return dlg.ResultWord();
}

QString FieldText(QDialog& dlg, int id) {
  auto* label = dlg.findChild<QLabel*>(QStringLiteral("ctl%1").arg(id));
  return label ? label->text() : QStringLiteral("<missing>");
}

}  // namespace

class DialogsTest : public QObject {
  Q_OBJECT
  QWidget* main_ = nullptr;

 private slots:
  void initTestCase() {
    main_ = new QWidget;
    main_->show();
    QVERIFY(QTest::qWaitForWindowExposed(main_));
  }
  void cleanupTestCase() { delete main_; }

  void finishTexts() {
    const struct {
      ProcResult code;
      const char* status;  // progress dialog; errors title it " ERROR" and stay open
      int closeMs;
      const char* animation;  // erase dialog's title; null: left alone, stays open
      int animationCloseMs;
    } rows[] = {
        {kProcCompleted, "[ Completed ]", 500, " [ Completed ]", 10},
        {kProcCanceled, "[ Canceled ]", 1000, " [ Canceled ]", 500},
        {kProcEraseError, nullptr, -1, " [ Error : Flash Erasing... ]", 500},
        {kProcSerialBootDownloadError, "[ Error : Serial Boot Downloading ]", -1, nullptr, -1},
        {kProcSerialBootVerifyError, "[ Error : Serial Boot Verifying ]", -1, nullptr, -1},
        {kProcTargetResetError, "[ Error : Target Board Reset ]", -1, nullptr, -1},
        {kProcFlashLoaderDownloadError, "[ Error : Flash Algorithm Data Downloading ]", -1, nullptr,
         -1},
        {kProcFlashWriteError, "[ Error : Flash Data Writing ]", -1, nullptr, -1},
        {kProcFlashVerifyError, "[ Error : Flash Data Verifying ]", -1, nullptr, -1},
        {kProcFlashReadError, "[ Error : Flash Data Reading ]", -1, nullptr, -1},
        // An unknown result must not look like a finished run.
        {ProcResult(42), "[ Error : Flash Data Reading ]", -1, nullptr, -1},
    };
    for (const auto& r : rows) {
      const FinishPresentation p = ProgressFinish(r.code);
      QCOMPARE(p.text, r.status ? QString::fromLatin1(r.status) : QString());
      QCOMPARE(p.errorTitle, r.status && r.closeMs < 0);
      QCOMPARE(p.autoCloseMs, r.closeMs);
      const FinishPresentation a = AnimationFinish(r.code);
      QCOMPARE(a.text, r.animation ? QString::fromLatin1(r.animation) : QString());
      QCOMPARE(a.autoCloseMs, r.animationCloseMs);
    }
  }

  // Cancel only raises the flag; success and Cancel close by themselves after
  // their time, errors stay until OK.
  void cancelAndFinishing() {
    CProgressDlg dlg(main_);
    for (int way = 0; way < 3; ++way) {  // the button, Escape and the close box
      dlg.Start();
      QVERIFY(!dlg.CancelRequested());
      if (way == 0) QTest::mouseClick(ButtonOf(dlg), Qt::LeftButton);
      if (way == 1) QTest::keyClick(&dlg, Qt::Key_Escape);
      if (way == 2) dlg.close();
      QVERIFY(dlg.CancelRequested() && dlg.isVisible());
    }
    dlg.Start();
    dlg.SetTitle(QStringLiteral(" Flash Writing"));
    dlg.SetProgress(50, 200);
    QCOMPARE(dlg.Progress(), 25);
    dlg.SetProgress(3, 0);
    QCOMPARE(dlg.Progress(), 0);
    dlg.Finish(kProcCompleted);
    QCOMPARE(State(dlg), QStringLiteral(" Flash Writing|[ Completed ]|OK|500"));
    QTRY_VERIFY_WITH_TIMEOUT(!dlg.isVisible(), 5000);
    dlg.Start();  // Start stops a pending close
    dlg.Finish(kProcCanceled);
    dlg.Start();
    QCOMPARE(State(dlg), QStringLiteral(" Flash Writing|[ Canceled ]|Cancel|-1"));

    dlg.Finish(kProcTargetResetError);
    QCOMPARE(State(dlg), QStringLiteral(" ERROR|[ Error : Target Board Reset ]|OK|-1"));
    QCOMPARE(dlg.focusWidget(), ButtonOf(dlg));
    QTest::mouseClick(ButtonOf(dlg), Qt::LeftButton);
    QVERIFY(!dlg.isVisible() && !dlg.CancelRequested());  // OK is not a cancel
    QTRY_COMPARE(QApplication::activeWindow(), main_);
    // An erase error leaves this dialog's texts alone.
    dlg.Start();
    dlg.SetStatusText(QStringLiteral("Erasing"));
    dlg.Finish(kProcEraseError);
    QCOMPARE(State(dlg), QStringLiteral(" ERROR|Erasing|OK|-1"));
  }

  void animationLoopsAndFinishes() {
    CAnimateProgressDlg dlg(main_);
    CFrameAnimation* anim = dlg.Animation();
    dlg.Start();
    QTRY_VERIFY(anim->CurrentFrame() > 0);  // playing
    QTest::mouseClick(ButtonOf(dlg), Qt::LeftButton);
    QVERIFY(dlg.CancelRequested());
    dlg.Finish(kProcCanceled);
    QVERIFY(!anim->IsPlaying());
    QCOMPARE(dlg.Title(), QStringLiteral(" [ Canceled ]"));
    QTRY_VERIFY_WITH_TIMEOUT(!dlg.isVisible(), 5000);
    dlg.Start();
    QCOMPARE(anim->CurrentFrame(), 0);  // rewound
    QVERIFY(!dlg.CancelRequested());
    dlg.SetTitle(QStringLiteral(" Flash Erasing"));
    dlg.Finish(kProcFlashVerifyError);  // not this dialog's: the title stays, it stays open
    QVERIFY(dlg.Title() == " Flash Erasing" && !dlg.AutoClosePending());
  }

  // Cancel in either dialog reaches the procedure; a new run clears the
  // progress dialog's flag only; a click during a procedure arrives through
  // the pump; the wait cursor nests.
  void observerDrivesBothDialogs() {
    CProgressDlg progress(main_);
    CAnimateProgressDlg animation(main_);
    {
      ProgressObserver observer(progress, animation, main_);
      observer.Start();
      observer.SetTitle(" Serial Boot");
      observer.SetProgress(3, 4);
      QCOMPARE(progress.Title(), QStringLiteral(" Serial Boot"));
      QCOMPARE(progress.Progress(), 75);
      observer.StartAnimation();
      animation.PressButton();
      QVERIFY(observer.CancelRequested());
      observer.Start();
      QVERIFY(observer.CancelRequested());
      observer.StartAnimation();
      QVERIFY(!observer.CancelRequested());
      QMetaObject::invokeMethod(ButtonOf(progress), "click", Qt::QueuedConnection);
      QVERIFY(!observer.CancelRequested());
      observer.PumpOneEvent();
      QVERIFY(observer.CancelRequested());
      observer.SetWaitCursor(true);
      observer.SetWaitCursor(true);
      observer.SetWaitCursor(false);
      QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
      observer.SetWaitCursor(false);
      QVERIFY(!QApplication::overrideCursor());
      observer.SetWaitCursor(false);  // one too many does not pop someone else's cursor
      observer.SetWaitCursor(true);
    }
    QVERIFY(!QApplication::overrideCursor());  // the observer's end restores it
  }

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
    QStringList shown;
    for (int id : {CConfigDlg::kScanTime, CConfigDlg::kMonitoringInterval, CConfigDlg::kPolarity,
                   CConfigDlg::kDelayAfterReset, CConfigDlg::kFlashType})
      shown << dlg.Combo(id)->currentText();
    QCOMPARE(shown, (QStringList{"1000 ms", "10000 us", "Active-High", "50ms ", "AT29C020"}));
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
    QCOMPARE(dlg.Radio(CConfigDlg::kBoot2)->text(), QStringLiteral("Boot2 (INT1 : 0x810000)"));
    QVERIFY(!dlg.Edit(CConfigDlg::kPrimaryBus)->isEnabled());
    for (int id : {CConfigDlg::kIostrb, CConfigDlg::kStrb0, CConfigDlg::kStrb1})
      QVERIFY(dlg.Edit(id)->isEnabled());
    QCOMPARE(dlg.Edit(CConfigDlg::kIostrb)->text(), QStringLiteral("ABCD"));
    QVERIFY(dlg.Radio(CConfigDlg::kBoot2)->isChecked());
    // "Defalut Setting" fills the register edits only.
    dlg.Button(CConfigDlg::kDefaultSetting)->click();
    QCOMPARE(dlg.Edit(CConfigDlg::kPrimaryBus)->text(), QStringLiteral("000008F8"));
    QCOMPARE(dlg.Edit(CConfigDlg::kIostrb)->text(), QStringLiteral("000000F8"));
    QCOMPARE(dlg.Edit(CConfigDlg::kStrb0)->text(), QStringLiteral("000F08F8"));
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
    for (const auto& [id, index] : {std::pair{CConfigDlg::kDspType, int(kTMS320C31)},
                                    {CConfigDlg::kFlashType, int(kAT29C040A)},
                                    {CConfigDlg::kScanTime, 15},
                                    {CConfigDlg::kMonitoringInterval, 13},
                                    {CConfigDlg::kPolarity, 1},
                                    {CConfigDlg::kResetTime, 9},
                                    {CConfigDlg::kDelayAfterReset, 8}})
      dlg.Combo(id)->setCurrentIndex(index);
    dlg.Radio(CConfigDlg::kBoot3)->setChecked(true);
    // Register edits: hexadecimal up to the first stray character; blank gives the default.
    for (const auto& [id, text] : {std::pair{CConfigDlg::kPrimaryBus, " 5G "},
                                   {CConfigDlg::kIostrb, "0x58"},
                                   {CConfigDlg::kStrb0, "G5"},
                                   {CConfigDlg::kStrb1, "   "}})
      dlg.Edit(id)->setText(QString::fromLatin1(text));
    QVERIFY(!dlg.CheckBox(CConfigDlg::kQuickVerify)->isChecked());
    dlg.CheckBox(CConfigDlg::kQuickVerify)->setChecked(true);
    dlg.accept();
    QCOMPARE(QList<uint32_t>({s.dspType, s.flashType, uint32_t(s.dataIntervalTime),
                              uint32_t(s.dataScanTime), uint32_t(s.resetPolarity),
                              uint32_t(s.resetTime), uint32_t(s.delayTimeAfterReset), s.bootType,
                              s.primaryBus, s.iostrb, s.strb0, s.strb1, s.quickVerify}),
             QList<uint32_t>(
                 {kTMS320C31, kAT29C040A, 15, 13, 1, 9, 8, kBoot3, 5, 0x58, 0, kDefaultStrb1, 1}));
    CConfigDlg again(s, &pod.link, true);
    QVERIFY(again.CheckBox(CConfigDlg::kQuickVerify)->isChecked());
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

  void symbolDialogShowsTheItemWithTheValueSelected() {
    CChangeSymbolDlg dlg(SymbolRequest(ToByte(ViewType::HexDecimal), kInt));
    QCOMPARE(QStringList({FieldText(dlg, 1035), FieldText(dlg, 1036), FieldText(dlg, 1037)}),
             (QStringList{"counter", "0x809C00", "Integer"}));
    dlg.show();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    QVERIFY(dlg.ValueEdit()->hasFocus());
    QCOMPARE(dlg.ValueEdit()->selectedText(), QStringLiteral("0x0000002A"));
    // Typing replaces the selected value; Return is OK.
    QTest::keyClicks(dlg.ValueEdit(), "42");
    QTest::keyClick(dlg.ValueEdit(), Qt::Key_Return);
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(dlg.ResultWord(), 42u);
  }

  void textBecomesAWordInTheItemsView() {
    const struct {
      ViewType view;
      uint16_t type;
      const char* text;
      int64_t word;
    } rows[] = {{ViewType::HexDecimal, kInt, "2Ah", 0x2A},
                // A Short takes 16 binary digits: eighteen ones are cut to sixteen.
                {ViewType::Binary, kShort, "111111111111111111", 0xFFFF},
                {ViewType::Binary, kInt, "111111111111111111", 0x3FFFF},
                {ViewType::Float, 6, "3", 3},
                {ViewType::Float, 6, "3.0", 0x01400000}};
    for (const auto& r : rows) {
      CChangeSymbolDlg dlg(SymbolRequest(ToByte(r.view), r.type));
      QCOMPARE(Enter(dlg, r.text), r.word);
    }
  }

  void emptyAndMalformedTextIsRejectedUntilCorrected() {
    CChangeSymbolDlg symbol(SymbolRequest(ToByte(ViewType::Binary), kInt));
    ChangeAddressRequest r;
    r.addressText = "0x809800";
    r.viewTypeText = ViewTypeText(ToByte(ViewType::Binary));
    r.viewType = ToByte(ViewType::Binary);
    CChangeAddressDlg address(r);
    QCOMPARE(address.windowTitle(), QStringLiteral("Change data select address"));
    QCOMPARE(FieldText(address, 1039), QStringLiteral("0x809800"));
    QCOMPARE(FieldText(address, 1040), r.viewTypeText);
    for (CChangeDataDlgBase* dlg :
         {static_cast<CChangeDataDlgBase*>(&symbol), static_cast<CChangeDataDlgBase*>(&address)}) {
      dlg->show();
      QStringList shown;
      QCOMPARE(Enter(*dlg, "", &shown), int64_t{-1});
      QCOMPARE(Enter(*dlg, "1021", &shown), int64_t{-1});
      QVERIFY(dlg->isVisible());
      const QStringList expected =
          dlg == &symbol ? QStringList{"Input Data", "Input Binary Data Type value"}
                         : QStringList{"Please, Specify address data",
                                       "Please, specify address data by binary data format"};
      QCOMPARE(shown, expected);
    }
    QCOMPARE(Enter(symbol, "101"), int64_t{5});  // a correction is accepted
    QVERIFY(!symbol.isVisible());
    // Addresses always take 32 binary digits.
    QCOMPARE(Enter(address, "111111111111111111"), int64_t{0x3FFFF});
  }
};

QTEST_MAIN(DialogsTest)
#include "dialogs_qtest.moc"
