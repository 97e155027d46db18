// The flash commands and the configuration command against the scripted pod
// on a virtual clock: outcomes and their messages, the erase animation, the
// flash read shown in the section pane, the keys, and what OK and Cancel of
// the configuration dialog change.
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

const char* const kRomBootVerifyQuestion =
    "If write & verify TMS320C31/32/33's external flash\nAll current action is stoped\n\nDo you "
    "continue?";

// A bench on the scripted pod with a flash loader model behind it.
class FlashBench {
 public:
  explicit FlashBench(uint8_t flashType = kAM29F010, uint8_t bootType = kBoot1) {
    bench.Ini().WriteInt(kSectionMain, kKeyFlashRomType, flashType);
    bench.Ini().WriteInt(kSectionMain, kKeyBootType, bootType);
    fake.pod->target = std::ref(model);
  }

  bool Start() {
    if (!bench.Start(fake.Options(bench.SettingsFile()), fake.Services())) return false;
    // A stand-in loader: the pod model plays the loader's part.
    FlashLoaderSet loaders;
    for (FlashLoader& l : loaders.loaders) {
      l.words = {3, 0x809810, 0x1, 0x2, 0x3, 0};
      l.patchIndices = {2};
    }
    app().Link().SetFlashLoaders(loaders);
    model.base = app().Link().TransferSettings().bootBase;
    return true;
  }
  CSarvoApp& app() { return *bench.app; }

  // The pod outlives the application that talks to it.
  FakePodBackend fake;
  FlashLoaderModel model;
  AppBench bench;
};

}  // namespace

class ActionsTest : public QObject {
  Q_OBJECT

 private slots:
  void romBootAndVerifyReportsSuccessAndLeavesMonitoringStopped() {
    FlashBench f;
    QVERIFY(f.Start());
    CSarvoApp& app = f.app();
    const QString path = f.bench.Path("prog.out");
    QVERIFY(TestProgram{}.Write(path));
    QCOMPARE(app.LoadCoffFile(path), 0);
    app.Monitor()->AddAddress(0x809800, 0);
    app.Monitor()->StartMonitoring(kMonitorAddresses);
    QVERIFY(app.Monitor()->RunningMode() != 0);

    bool cursorWhileReported = true;
    f.bench.prompter.onShown = [&](const ScriptedPrompter::Shown& s) {
      if (s.kind == "inform") cursorWhileReported = QApplication::overrideCursor() != nullptr;
    };
    app.Frame()->Command(cmd::kRomBootVerify)->trigger();
    QCOMPARE(f.bench.prompter.Texts(),
             (QStringList{kRomBootVerifyQuestion, "Flash Program & Verifying is successful"}));
    QCOMPARE(f.bench.prompter.Kinds(), (QStringList{"question", "inform"}));
    QVERIFY(!cursorWhileReported);
    QCOMPARE(app.ProgressDialog()->StatusText(), QStringLiteral("[ Completed ]"));
    QCOMPARE(app.AnimationDialog()->Title(), QStringLiteral(" [ Completed ]"));
    QCOMPARE(app.AnimationDialog()->AutoCloseInterval(), 10);
    QCOMPARE(app.Monitor()->RunningMode(), 0);
    // The header went out with the configured bus value; the sections follow.
    QCOMPARE(f.model.Word(0), 8u);
    QCOMPARE(f.model.Word(1), kDefaultPrimaryBus);
    QCOMPARE(f.model.Word(4), 0x11110000u);
  }

  void romReadShowsTheImageInTheSectionPane() {
    FlashBench f;
    QVERIFY(f.Start());
    CSarvoApp& app = f.app();
    const QString path = f.bench.Path("prog.out");
    QVERIFY(TestProgram{}.Write(path));
    QCOMPARE(app.LoadCoffFile(path), 0);
    app.RunTargetAction(TargetAction::kRomBoot);
    QCOMPARE(f.bench.prompter.Texts().last(), QStringLiteral("Flash Program is successful"));
    QCOMPARE(app.SectionPane()->RowCount(), 2);

    f.bench.prompter.Clear();
    app.Frame()->Command(cmd::kRomRead)->trigger();
    QCOMPARE(f.bench.prompter.Texts().last(), QStringLiteral("Flash Reading is successful"));
    CSectionPane& pane = *app.SectionPane();
    QCOMPARE(pane.RowCount(), 0);
    QCOMPARE(pane.HexView()->DataLength(), app.Program().image.imageByteCount);
    QCOMPARE(pane.HexView()->BaseAddress(), 0x1000u);
    // What came back is what was written: word 4 is the first .text word.
    const QByteArray bytes = pane.HexView()->Data();
    QCOMPARE(static_cast<uint8_t>(bytes[16]), uint8_t{0x00});
    QCOMPARE(static_cast<uint8_t>(bytes[18]), uint8_t{0x11});
  }

  void romReadNeedsNoRoomInTheBootRegion() {
    // AM29F010 with Boot3 on a TMS320C31 leaves 0x1000 bytes.
    FlashBench f(kAM29F010, kBoot3);
    QVERIFY(f.Start());
    CSarvoApp& app = f.app();
    TestProgram program;
    program.address = 0x200000;
    program.words = 2037;  // 4 * (2037 + 11) = 0x2000 image bytes
    const QString path = f.bench.Path("prog.out");
    QVERIFY(program.Write(path));
    QCOMPARE(app.LoadCoffFile(path), 0);
    QCOMPARE(app.Program().image.imageByteCount, 0x2000u);

    app.RunTargetAction(TargetAction::kRomRead);
    QCOMPARE(f.bench.prompter.Kinds(), (QStringList{"question", "inform"}));
    QCOMPARE(f.bench.prompter.Texts().last(), QStringLiteral("Flash Reading is successful"));

    f.bench.prompter.Clear();
    app.RunTargetAction(TargetAction::kRomVerify);
    QCOMPARE(f.bench.prompter.Texts().last(),
             QStringLiteral("Program size(0x2000) is bigger than available boot region(0x1000)"));
  }

  void anEraseErrorShowsInTheAnimationDialog() {
    FlashBench f;
    f.model.eraseFailsWithBit5 = true;
    QVERIFY(f.Start());
    CSarvoApp& app = f.app();
    const QString path = f.bench.Path("prog.out");
    QVERIFY(TestProgram{}.Write(path));
    QCOMPARE(app.LoadCoffFile(path), 0);
    app.RunTargetAction(TargetAction::kRomBoot);
    QCOMPARE(f.bench.prompter.Kinds(), QStringList{"question"});  // no success message
    QCOMPARE(app.AnimationDialog()->Title(), QStringLiteral(" [ Error : Flash Erasing... ]"));
    QCOMPARE(app.AnimationDialog()->ButtonText(), QStringLiteral("OK"));
    QCOMPARE(app.AnimationDialog()->AutoCloseInterval(), 500);
  }

  void theKeysRunTheirCommands() {
    FlashBench f;
    QVERIFY(f.Start());
    CSarvoApp& app = f.app();
    const QString path = f.bench.Path("prog.out");
    QVERIFY(TestProgram{}.Write(path));
    QCOMPARE(app.LoadCoffFile(path), 0);
    CMainFrame& frame = *app.Frame();
    frame.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&frame));
    frame.UpdateCommandUi();
    const struct {
      Qt::Key key;
      const char* question;
    } keys[] = {
        {Qt::Key_F1, "Would you start serial boot writing?"},
        {Qt::Key_F2, "Would you start serial boot writing & verifying?"},
        {Qt::Key_F3, "If write TMS320C31/32/33's external flash"},
        {Qt::Key_F4, "If verify TMS320C31/32/33's external flash"},
        {Qt::Key_F5, "If read TMS320C31/32/33's external flash"},
        {Qt::Key_F6, "If write & verify TMS320C31/32/33's external flash"},
    };
    for (const auto& k : keys) {
      f.bench.prompter.Clear();
      f.bench.prompter.answers = {false};
      QTest::keyClick(&frame, k.key);
      QCOMPARE(f.bench.prompter.Texts().size(), 1);
      QVERIFY2(f.bench.prompter.Texts().first().startsWith(QString::fromLatin1(k.question)),
               qPrintable(f.bench.prompter.Texts().first()));
    }
  }

  void configurationCancelRestartsMonitoringAndChangesNothing() {
    FlashBench f;
    QVERIFY(f.Start());
    CSarvoApp& app = f.app();
    app.Monitor()->AddAddress(0x809800, 0);
    app.Monitor()->StartMonitoring(kMonitorAddresses);
    const AppSettings before = app.Settings();
    const DerivedTransferSettings derived = app.Link().TransferSettings();
    int modeDuring = -1;
    f.bench.prompter.runDialog = [&](QDialog& dlg) {
      modeDuring = app.Monitor()->RunningMode();
      auto& config = static_cast<CConfigDlg&>(dlg);
      config.Combo(CConfigDlg::kDspType)->setCurrentIndex(kTMS320C33);
      config.Edit(CConfigDlg::kPrimaryBus)->setText("1234");
      return int(QDialog::Rejected);
    };
    app.Frame()->Command(cmd::kConfiguration)->trigger();
    QCOMPARE(f.bench.prompter.dialogsRun, 1);
    QCOMPARE(modeDuring, 0);
    QCOMPARE(app.Monitor()->RunningMode(), kMonitorAddresses);
    QVERIFY(app.Settings() == before);
    QCOMPARE(app.Link().TransferSettings().primaryBus, derived.primaryBus);
    QCOMPARE(app.Frame()->StatusPaneText(pane::kDspType), QStringLiteral("TMS320C31"));
  }

  void configurationOkAppliesTheNewSettings() {
    FlashBench f;
    QVERIFY(f.Start());
    CSarvoApp& app = f.app();
    const QString path = f.bench.Path("prog.out");
    QVERIFY(TestProgram{}.Write(path));
    QCOMPARE(app.LoadCoffFile(path), 0);
    QString version;
    f.bench.prompter.runDialog = [&](QDialog& dlg) {
      auto& config = static_cast<CConfigDlg&>(dlg);
      config.Button(CConfigDlg::kVersionCheck)->click();
      version = config.Edit(CConfigDlg::kFirmwareVersion)->text();
      config.Combo(CConfigDlg::kDspType)->setCurrentIndex(kTMS320C33);
      config.Radio(CConfigDlg::kBoot3)->setChecked(true);
      config.Combo(CConfigDlg::kMonitoringInterval)->setCurrentIndex(0);  // 10 us
      config.Edit(CConfigDlg::kPrimaryBus)->setText("0x1234");
      config.accept();
      return config.result();
    };
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
