// The Action commands: against the virtual board, serial boot and its verify
// through a small responder program, flash write and read, Cancel during a
// download, a failing reset, the checks that come before a procedure, and the
// monitoring pause around them; against the scripted pod on a virtual clock,
// the flash outcomes and their messages, the erase animation, the flash read
// shown in the section pane, the size check, and what OK and Cancel of the
// configuration dialog change.
#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <memory>

#include "AppTestSupport.h"
#include "image/SymbolTable.h"
#include "podlink/PodLink.h"
#include "podlink/ProcedureTexts.h"
#include "shell/BRightView.h"
#include "shell/Commands.h"
#include "shell/ConfigDlg.h"
#include "shell/ConsoleDlg.h"
#include "shell/LeftView.h"
#include "shell/ProgressDlg.h"
#include "shell/SectionPane.h"
#include "shell/TRightView.h"
#include "widgets/HexEditBase.h"

using namespace velmora;
using namespace velmora::test;

namespace {

constexpr uint32_t kCounterAddress = 0x809A00;  // the responder's counter word

// A program in external RAM that takes seconds on the wire unless stopped.
const TestProgram kBigProgram{0x200000, 30000, {}};

// A bench on the scripted pod with a flash loader model behind it.
class FlashBench {
 public:
  explicit FlashBench(uint8_t flashType = kAM29F010, uint8_t bootType = kBoot1) {
    bench.Ini().WriteInt(kSectionMain, kKeyFlashRomType, flashType);
    bench.Ini().WriteInt(kSectionMain, kKeyBootType, bootType);
    fake.pod->target = std::ref(model);
  }

  bool Start(const TestProgram& program = {}) {
    if (!bench.StartOn(fake)) return false;
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

// Runs `command` (a procedure) while, from inside it, a console line is
// typed after one that was handed over just before, the address pane's menu
// is built and a symbol is double-clicked. Gives what was seen: the input
// line; the address pane's toggle, change and delete-all enabling; the
// variable rows added, the running mode, the variable toggle and the symbol
// pane's "Delete All Items"; then the console lines printed.
QStringList IntrudeDuring(CSarvoApp& app, const std::function<void()>& command) {
  CMonitorControl& monitor = *app.Monitor();
  CConsoleDlg& console = *monitor.Console();
  CLeftView& symbols = *app.SymbolPane();
  auto enter = [&](const QString& line) {
    console.Input()->setText(line);
    QTest::keyClick(console.Input(), Qt::Key_Return);
  };
  auto on = [](QMenu* menu, int id) {
    QAction* a = CMonitorListView::FindAction(menu, id);
    return QString::number(a && a->isEnabled());
  };
  const int firstLine = console.Log()->LineCount();
  const int rows = monitor.VariablePane()->rowCount();
  QStringList seen;
  enter("d 0x809A00");
  QTimer::singleShot(0, &monitor, [&] {
    enter("d 0x809A00");
    seen << console.Input()->text();
    std::unique_ptr<QMenu> addresses(monitor.AddressPane()->BuildContextMenu(nullptr));
    seen << on(addresses.get(), cmd::kAddressMonitoring) +
                on(addresses.get(), cmd::kChangeAddressData) +
                on(addresses.get(), cmd::kDeleteAllAddresses);
    const QRect row = symbols.visualRect(symbols.model()->index(0, 0));
    QTest::mouseDClick(symbols.viewport(), Qt::LeftButton, {}, row.center());
    std::unique_ptr<QMenu> variables(monitor.VariablePane()->BuildContextMenu(nullptr));
    const std::unique_ptr<QMenu> left = symbols.BuildContextMenu();
    seen << QString::number(monitor.VariablePane()->rowCount() - rows) +
                QString::number(monitor.RunningMode()) +
                on(variables.get(), cmd::kVariableMonitoring) + on(left.get(), kCmdDeleteAllItems);
  });
  command();
  for (int i = firstLine; i < console.Log()->LineCount(); ++i) seen << console.Log()->LineText(i);
  return seen;
}

}  // namespace

class TargetTest : public QObject {
  Q_OBJECT
 private slots:
  // The procedures on the virtual board, each owning the link while it runs:
  // console lines get the busy answer, the panes' reading and writing
  // commands are grey, a double-clicked symbol is added without starting
  // monitoring, and the outcome is what it would have been.
  void serialBootAndFlashReachTheRunningProgram() {
    AppBench bench;
    QVERIFY(bench.StartSim());
    CSarvoApp& app = *bench.app;
    QVERIFY(bench.LoadResponder());
    app.Monitor()->AddAddress(kCounterAddress, 0);
    app.Monitor()->AddressPane()->selectRow(0);
    const QString busy = QString::fromLatin1(kConsoleBusyText);

    QCOMPARE(IntrudeDuring(app, [&] { app.Frame()->Command(cmd::kSerialBootVerify)->trigger(); }),
             QStringList({"d 0x809A00", "001", "1000", busy, busy}));
    QCOMPARE(bench.prompter.shown,
             QStringList{"question: Would you start serial boot writing & verifying?"});
    CProgressDlg& dlg = *app.ProgressDialog();
    QCOMPARE(dlg.Title() + dlg.StatusText(), QStringLiteral("Serial Boot Procedure[ Completed ]"));
    QCOMPARE(QList<int>({dlg.Progress(), dlg.AutoCloseInterval()}), QList<int>({100, 500}));
    QTRY_VERIFY_WITH_TIMEOUT(!dlg.isVisible(), 3000);
    // The program runs: the responder answers reads and writes, and the line
    // left in the console's input runs now.
    CConsoleDlg& console = *app.Monitor()->Console();
    QTest::keyClick(console.Input(), Qt::Key_Return);
    QTRY_COMPARE(console.Log()->LineText(console.Log()->LineCount() - 1),
                 QStringLiteral("[ RESULT ] : 0x809A00, 0x00001234"));
    CPodLink& link = app.Link();
    uint32_t word = 0;
    QVERIFY(link.ReadTargetWord(kCounterAddress, word));
    QCOMPARE(word, 0x1234u);
    QVERIFY(app.Monitor()->WriteWord(kCounterAddress, 0xCAFEF00D));
    QVERIFY(link.ReadTargetWord(kCounterAddress, word));
    QCOMPARE(word, 0xCAFEF00Du);
    // A plain serial boot asks its own question and starts the program again.
    bench.prompter.shown.clear();
    app.Frame()->Command(cmd::kSerialBoot)->trigger();
    QCOMPARE(bench.prompter.shown, QStringList{"question: Would you start serial boot writing?"});
    QVERIFY(link.ReadTargetWord(kCounterAddress, word));
    QCOMPARE(word, 0x1234u);
    // The built-in flash loader writes, verifies and reads the board's flash;
    // written and read back whole, the flash holds the image.
    QVERIFY(link.FlashLoaderAvailable());
    QCOMPARE(IntrudeDuring(app, [&] { app.Frame()->Command(cmd::kRomBootVerify)->trigger(); }),
             QStringList({"d 0x809A00", "001", "0000", busy, busy}));
    QCOMPARE(bench.prompter.shown.last(),
             QStringLiteral("inform: Flash Program & Verifying is successful"));
    app.Frame()->Command(cmd::kRomRead)->trigger();
    QCOMPARE(bench.prompter.shown.last(), QStringLiteral("inform: Flash Reading is successful"));
  }

  // The default backend, libftdi1, with the stand-in library in its place:
  // the program's own way from its pod options through the libftdi backend
  // to the virtual board, for serial boot and the flash.
  void proceduresRunThroughTheLibftdiBackend() {
#ifdef VELMORA_FTDISTUB
    AppBench bench;
    StartupOptions options = bench.SimOptions();
    options.podBackend = "ftdi";
    options.backendOptions.values["library"] = VELMORA_FTDISTUB;
    QVERIFY(bench.Start(options));
    CSarvoApp& app = *bench.app;
    QVERIFY(bench.LoadResponder());
    app.Frame()->Command(cmd::kSerialBootVerify)->trigger();
    CProgressDlg& dlg = *app.ProgressDialog();
    QCOMPARE(dlg.Title() + dlg.StatusText(), QStringLiteral("Serial Boot Procedure[ Completed ]"));
    CPodLink& link = app.Link();
    uint32_t word = 0;
    QVERIFY(link.ReadTargetWord(kCounterAddress, word));
    QCOMPARE(word, 0x1234u);
    app.Frame()->Command(cmd::kRomBootVerify)->trigger();
    QCOMPARE(bench.prompter.shown.last(),
             QStringLiteral("inform: Flash Program & Verifying is successful"));
#else
    QSKIP("no stand-in libftdi1 in this build");
#endif
  }

  void serialBootPausesBothMonitoringsAndRestartsThem() {
    AppBench bench;
    QVERIFY(bench.StartSim());
    CSarvoApp& app = *bench.app;
    QVERIFY(bench.LoadResponder());
    CMonitorControl& monitor = *app.Monitor();
    app.SymbolPane()->AddSymbolAt(0);
    monitor.AddAddress(kCounterAddress, 0);
    QCOMPARE(monitor.RunningMode(), kMonitorBoth);
    int modeDuring = -1;  // seen from inside the procedure, when it lets one event run
    QTimer::singleShot(0, &monitor, [&] { modeDuring = monitor.RunningMode(); });
    app.RunTargetAction(TargetAction::kSerialBoot);
    QCOMPARE(app.ProgressDialog()->StatusText(), QStringLiteral("[ Completed ]"));
    QCOMPARE(modeDuring, 0);
    QCOMPARE(monitor.RunningMode(), kMonitorBoth);
    QVERIFY(monitor.TimerRunning());
  }

  void cancelDuringADownloadStopsItAndClosesAfterASecond() {
    AppBench bench;
    QVERIFY(bench.StartSim());
    CSarvoApp& app = *bench.app;
    QVERIFY(!bench.Load(kBigProgram).isEmpty());
    app.Monitor()->AddAddress(0x200000, 0);
    CProgressDlg& dlg = *app.ProgressDialog();
    // While it runs no other command starts, not even through its key.
    bool lockedOut = false;
    QTimer::singleShot(0, &dlg, [&] {
      CMainFrame& f = *app.Frame();
      lockedOut = app.ProcedureRunning() && !f.Command(cmd::kSerialBoot)->isEnabled() &&
                  !f.Command(cmd::kOpenCoffFile)->isEnabled() &&
                  !f.Command(cmd::kConfiguration)->isEnabled() &&
                  !f.Command(cmd::kAddressMonitoring)->isEnabled();
      app.RunTargetAction(TargetAction::kSerialBootVerify);  // ignored
      dlg.PressButton();
    });
    QElapsedTimer clock;
    clock.start();
    app.RunTargetAction(TargetAction::kSerialBoot);
    QVERIFY2(clock.elapsed() < 2000, "the download stopped at the next block");
    QVERIFY(lockedOut && !app.ProcedureRunning());
    app.Frame()->UpdateCommandUi();
    QVERIFY(app.Frame()->Command(cmd::kSerialBoot)->isEnabled());
    QCOMPARE(dlg.StatusText(), QStringLiteral("[ Canceled ]"));
    QVERIFY(dlg.Progress() < 100);
    QCOMPARE(dlg.AutoCloseInterval(), 1000);
    QCOMPARE(app.Monitor()->RunningMode(), 0);  // no success: monitoring stays stopped
    QCOMPARE(bench.prompter.shown.size(), 1);   // the question only
    QTRY_VERIFY_WITH_TIMEOUT(!dlg.isVisible(), 3000);
    // Closing the window cancels a running download, then closes the link.
    QTimer::singleShot(0, app.Frame(), [&] { app.Frame()->close(); });
    app.RunTargetAction(TargetAction::kSerialBoot);
    QCOMPARE(dlg.StatusText(), QStringLiteral("[ Canceled ]"));
    QVERIFY(!app.Frame()->isVisible() && !app.Link().IsOpen());
  }

  void aFailedResetLeavesTheErrorOnScreen() {
    AppBench bench;
    StartupOptions o = bench.SimOptions();
    o.backendOptions.values["reset-reply"] = "0";
    QVERIFY(bench.Start(o));
    CSarvoApp& app = *bench.app;
    QVERIFY(!bench.Load().isEmpty());
    app.RunTargetAction(TargetAction::kSerialBoot);
    CProgressDlg& dlg = *app.ProgressDialog();
    QVERIFY(dlg.isVisible() && !dlg.AutoClosePending());
    QCOMPARE(dlg.Title() + dlg.StatusText(),
             QStringLiteral(" ERROR[ Error : Target Board Reset ]"));

    bench.prompter.shown.clear();
    app.Monitor()->AddAddress(0x809800, 0);
    app.Frame()->Command(cmd::kTargetReset)->trigger();
    QCOMPARE(bench.prompter.shown, QStringList{"inform: Failed to reset target board"});
    QCOMPARE(app.Monitor()->RunningMode(), 0);  // stays stopped
  }

  void checksBeforeAnyProcedure() {
    AppBench bench;
    QVERIFY(bench.StartSim());
    CSarvoApp& app = *bench.app;
    // No program: each command names what is missing and asks nothing.
    const std::pair<TargetAction, const char*> none[] = {
        {TargetAction::kSerialBoot, "No user program to write"},
        {TargetAction::kSerialBootVerify, "No user program to write & verify"},
        {TargetAction::kRomBoot, "No user program to write"},
        {TargetAction::kRomBootVerify, "No user program to write & verify"},
        {TargetAction::kRomVerify, "No user program to verify"},
        {TargetAction::kRomRead, "No user program information to read"}};
    QStringList expected;
    for (const auto& [action, text] : none) {
      app.RunTargetAction(action);
      expected << "inform: " + QString::fromLatin1(text);
    }
    QCOMPARE(bench.prompter.shown, expected);
    QVERIFY(!app.Link().IsOpen());
    // No to the question: nothing is sent.
    const QString path = bench.Load();
    bench.prompter.shown.clear();
    bench.prompter.answers = {false};
    app.RunTargetAction(TargetAction::kRomBoot);
    QCOMPARE(bench.prompter.shown.size(), 1);
    QVERIFY(!app.Link().IsOpen() && !app.ProgressDialog()->isVisible());
    // An image read for the TMS320C31 is refused once the DSP type says TMS320C32.
    app.Settings().dspType = kTMS320C32;
    bench.prompter.shown.clear();
    app.RunTargetAction(TargetAction::kSerialBoot);
    QCOMPARE(bench.prompter.shown,
             QStringList{"inform: " + QString::fromStdString(ImageLayoutMismatchText(
                                          app.Program().image, kTMS320C32))});
    QVERIFY(!app.Link().IsOpen());
    QCOMPARE(app.LoadCoffFile(path), 0);  // read again for the new type, it is accepted
    QVERIFY(ImageLayoutMatches(app.Program().image, kTMS320C32));
  }

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
    QCOMPARE(pane.HexView()->Data().mid(16, 4), QByteArray::fromHex("00001111"));
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
    QCOMPARE(app.Frame()->StatusPaneText(pane::kDspType), QStringLiteral("TMS320C33"));
    QCOMPARE(app.Frame()->StatusPaneText(pane::kBootType), QStringLiteral("BOOT3"));
    // The derived values follow.
    const DerivedTransferSettings& d = app.Link().TransferSettings();
    QCOMPARE(d.primaryBus, 0x1234u);
    QCOMPARE(d.transferPauseUs, 10u);
    QCOMPARE(d.bootBase,
             ComputeBootRegion(app.Settings().flashType, kBoot3, kTMS320C33).baseAddress);
    // Not in the store until the window goes.
    QCOMPARE(app.Store().ReadInt(kSectionMain, kKeyMcuType, -1), int(kTMS320C31));
    f.bench.Stop();
    QCOMPARE(f.bench.Ini().ReadInt(kSectionMain, kKeyMcuType, -1), int(kTMS320C33));
  }
};

QTEST_MAIN(TargetTest)
#include "app_target_qtest.moc"
