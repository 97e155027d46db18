// The flash commands and the configuration command against the scripted pod
// on a virtual clock: outcomes and their messages, the erase animation, the
// flash read shown in the section pane, the size check, and what OK and
// Cancel of the configuration dialog change.
#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "AppTestSupport.h"
#include "FakePodBackend.h"
#include "podlink/PodLink.h"
#include "shell/Commands.h"
#include "shell/ConfigDlg.h"
#include "shell/ProgressDlg.h"
#include "shell/SectionPane.h"
#include "widgets/HexEditBase.h"

using namespace velmora;
using namespace velmora::test;

namespace {

// A bench on the scripted pod with a flash loader model behind it.
class FlashBench {
 public:
  explicit FlashBench(uint8_t flashType = kAM29F010, uint8_t bootType = kBoot1) {
    bench.Ini().WriteInt(kSectionMain, kKeyFlashRomType, flashType);
    bench.Ini().WriteInt(kSectionMain, kKeyBootType, bootType);
    fake.pod->target = std::ref(model);
  }

  // Starts with `program` loaded.
  bool Start(const TestProgram& program = {}) {
    if (!bench.Start(fake.Options(bench.SettingsFile()), fake.Services())) return false;
    // A stand-in loader: the pod model plays the loader's part.
    FlashLoaderSet loaders;
    for (FlashLoader& l : loaders.loaders) {
      l.words = {3, 0x809810, 0x1, 0x2, 0x3, 0};
      l.patchIndices = {2};
    }
    app().Link().SetFlashLoaders(loaders);
    model.base = app().Link().TransferSettings().bootBase;
    return !bench.Load(program).isEmpty();
  }
  CSarvoApp& app() { return *bench.app; }
  QStringList& shown() { return bench.prompter.shown; }

  FakePodBackend fake;  // the pod outlives the application that talks to it
  FlashLoaderModel model;
  AppBench bench;
};

}  // namespace

class ActionsTest : public QObject {
  Q_OBJECT

 private slots:
  void romBootAndVerifyThenReadBackIntoTheSectionPane() {
    FlashBench f;
    QVERIFY(f.Start());
    CSarvoApp& app = f.app();
    app.Monitor()->AddAddress(0x809800, 0);
    bool cursorWhileReported = true;
    f.bench.prompter.onShown = [&] { cursorWhileReported = QApplication::overrideCursor(); };
    app.Frame()->Command(cmd::kRomBootVerify)->trigger();
    QCOMPARE(f.shown(), (QStringList{"question: If write & verify TMS320C31/32/33's external "
                                     "flash\nAll current action is stoped\n\nDo you continue?",
                                     "inform: Flash Program & Verifying is successful"}));
    QVERIFY(!cursorWhileReported);
    QCOMPARE(app.ProgressDialog()->StatusText(), QStringLiteral("[ Completed ]"));
    QCOMPARE(app.AnimationDialog()->Title(), QStringLiteral(" [ Completed ]"));
    QCOMPARE(app.AnimationDialog()->AutoCloseInterval(), 10);
    QCOMPARE(app.Monitor()->RunningMode(), 0);  // a flash procedure leaves monitoring stopped
    // The header went out with the configured bus value; the sections follow.
    QCOMPARE(f.model.Word(0), 8u);
    QCOMPARE(f.model.Word(1), kDefaultPrimaryBus);
    QCOMPARE(f.model.Word(4), 0x11110000u);

    app.Frame()->Command(cmd::kRomRead)->trigger();
    QCOMPARE(f.shown().last(), QStringLiteral("inform: Flash Reading is successful"));
    CSectionPane& pane = *app.SectionPane();
    QCOMPARE(pane.RowCount(), 0);
    QCOMPARE(pane.HexView()->DataLength(), app.Program().image.imageByteCount);
    QCOMPARE(pane.HexView()->BaseAddress(), 0x1000u);
    // What came back is what was written: word 4 is the first .text word.
    const QByteArray bytes = pane.HexView()->Data();
    QCOMPARE(static_cast<uint8_t>(bytes[16]), uint8_t{0x00});
    QCOMPARE(static_cast<uint8_t>(bytes[18]), uint8_t{0x11});
  }

  void aProgramTooBigForTheBootRegionIsRefusedButMayBeRead() {
    // AM29F010 with Boot3 on a TMS320C31 leaves 0x1000 bytes; this image is 4 bytes more.
    FlashBench f(kAM29F010, kBoot3);
    TestProgram program{0x200000, 1014, {}};  // 4 * (1014 + 11) = 0x1004 image bytes
    QVERIFY(f.Start(program));
    QCOMPARE(f.app().Program().image.imageByteCount, 0x1004u);
    for (TargetAction a :
         {TargetAction::kRomBoot, TargetAction::kRomBootVerify, TargetAction::kRomVerify}) {
      f.shown().clear();
      f.app().RunTargetAction(a);
      QCOMPARE(f.shown().size(), 2);
      QCOMPARE(f.shown()[1], QStringLiteral("inform: Program size(0x1004) is bigger than "
                                            "available boot region(0x1000)"));
      QVERIFY(!f.app().Link().IsOpen());
    }
    f.shown().clear();
    f.app().RunTargetAction(TargetAction::kRomRead);
    QCOMPARE(f.shown().last(), QStringLiteral("inform: Flash Reading is successful"));
  }

  void anEraseErrorShowsInTheAnimationDialog() {
    FlashBench f;
    f.model.eraseFailsWithBit5 = true;
    QVERIFY(f.Start());
    f.app().RunTargetAction(TargetAction::kRomBoot);
    QCOMPARE(f.shown().size(), 1);  // the question; no success message
    QCOMPARE(f.app().AnimationDialog()->Title(), QStringLiteral(" [ Error : Flash Erasing... ]"));
    QCOMPARE(f.app().AnimationDialog()->ButtonText(), QStringLiteral("OK"));
    QCOMPARE(f.app().AnimationDialog()->AutoCloseInterval(), 500);
  }

  void configurationCancelChangesNothingAndOkAppliesEverywhere() {
    FlashBench f;
    QVERIFY(f.Start());
    CSarvoApp& app = f.app();
    app.Monitor()->AddAddress(0x809800, 0);
    const AppSettings before = app.Settings();
    const uint32_t busBefore = app.Link().TransferSettings().primaryBus;
    int modeDuring = -1;
    QString version;
    bool accept = false;
    f.bench.prompter.runDialog = [&](QDialog& dlg) {
      modeDuring = app.Monitor()->RunningMode();
      auto& config = static_cast<CConfigDlg&>(dlg);
      if (accept) {
        config.Button(CConfigDlg::kVersionCheck)->click();
        version = config.Edit(CConfigDlg::kFirmwareVersion)->text();
      }
      config.Combo(CConfigDlg::kDspType)->setCurrentIndex(kTMS320C33);
      config.Radio(CConfigDlg::kBoot3)->setChecked(true);
      config.Combo(CConfigDlg::kMonitoringInterval)->setCurrentIndex(0);  // 10 us
      config.Edit(CConfigDlg::kPrimaryBus)->setText("0x1234");
      accept ? config.accept() : config.reject();
      return config.result();
    };
    // Cancel: monitoring paused while the dialog runs, then restarted; nothing changes.
    app.Frame()->Command(cmd::kConfiguration)->trigger();
    QCOMPARE(modeDuring, 0);
    QCOMPARE(app.Monitor()->RunningMode(), kMonitorAddresses);
    QVERIFY(app.Settings() == before);
    QCOMPARE(app.Link().TransferSettings().primaryBus, busBefore);

    accept = true;
    app.OnConfiguration();
    QCOMPARE(version, QStringLiteral("Version : 1.2"));
    QVERIFY(app.Link().IsOpen());  // the version check leaves it open
    QCOMPARE(app.Settings().dspType, uint8_t{kTMS320C33});
    QCOMPARE(app.Settings().bootType, uint8_t{kBoot3});
    QCOMPARE(app.Frame()->StatusPaneText(pane::kDspType), QStringLiteral("TMS320C33"));
    QCOMPARE(app.Frame()->StatusPaneText(pane::kBootType), QStringLiteral("BOOT3"));
    // The derived values follow, and the image header carries the new bus value.
    const DerivedTransferSettings& d = app.Link().TransferSettings();
    QCOMPARE(d.primaryBus, 0x1234u);
    QCOMPARE(d.transferPauseUs, 10u);
    QCOMPARE(d.bootBase,
             ComputeBootRegion(app.Settings().flashType, kBoot3, kTMS320C33).baseAddress);
    QCOMPARE(app.Program().image.words[1], 0x1234u);
    // Not in the store until the window goes.
    QCOMPARE(app.Store().ReadInt(kSectionMain, kKeyMcuType, -1), int(kTMS320C31));
    f.bench.Stop();
    QCOMPARE(f.bench.Ini().ReadInt(kSectionMain, kKeyMcuType, -1), int(kTMS320C33));
  }
};

QTEST_MAIN(ActionsTest)
#include "app_actions_qtest.moc"
