// The Action commands driven against the virtual board: serial boot and its
// verify through a small responder program, flash write and read, Cancel
// during a download, a failing reset, the checks that come before a
// procedure, and the monitoring pause around them.
#include <QAction>
#include <QTimer>
#include <QtTest>

#include "AppTestSupport.h"
#include "image/SymbolTable.h"
#include "podlink/PodLink.h"
#include "podlink/ProcedureTexts.h"
#include "shell/Commands.h"
#include "shell/LeftView.h"
#include "shell/ProgressDlg.h"

using namespace velmora;
using namespace velmora::test;

namespace {

constexpr uint32_t kCounterAddress = 0x809A00;  // the responder's counter word

// A program in external RAM that takes seconds on the wire unless stopped.
const TestProgram kBigProgram{0x200000, 30000, {}};

}  // namespace

class TargetTest : public QObject {
  Q_OBJECT

 private slots:
  void serialBootAndFlashReachTheRunningProgram() {
    AppBench bench;
    QVERIFY(bench.StartSim());
    CSarvoApp& app = *bench.app;
    const QString program = bench.Path("responder.out");
    QVERIFY(AssembleResponder(program));
    QCOMPARE(app.LoadCoffFile(program), 0);

    app.Frame()->Command(cmd::kSerialBootVerify)->trigger();
    QCOMPARE(bench.prompter.shown,
             QStringList{"question: Would you start serial boot writing & verifying?"});
    CProgressDlg& dlg = *app.ProgressDialog();
    QCOMPARE(dlg.StatusText(), QStringLiteral("[ Completed ]"));
    QCOMPARE(dlg.Title(), QStringLiteral("Serial Boot Procedure"));
    QCOMPARE(dlg.Progress(), 100);
    QCOMPARE(dlg.AutoCloseInterval(), 500);
    QTRY_VERIFY_WITH_TIMEOUT(!dlg.isVisible(), 3000);

    // The program runs: the responder answers reads and writes.
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

    // The built-in flash loader writes, verifies and reads the board's flash.
    QVERIFY(link.FlashLoaderAvailable());
    app.Frame()->Command(cmd::kRomBootVerify)->trigger();
    QCOMPARE(bench.prompter.shown.last(),
             QStringLiteral("inform: Flash Program & Verifying is successful"));
    app.Frame()->Command(cmd::kRomRead)->trigger();
    QCOMPARE(bench.prompter.shown.last(), QStringLiteral("inform: Flash Reading is successful"));
  }

  void serialBootPausesBothMonitoringsAndRestartsThem() {
    AppBench bench;
    QVERIFY(bench.StartSim());
    CSarvoApp& app = *bench.app;
    const QString program = bench.Path("responder.out");
    QVERIFY(AssembleResponder(program));
    QCOMPARE(app.LoadCoffFile(program), 0);
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
    QCOMPARE(dlg.Title(), QStringLiteral(" ERROR"));
    QCOMPARE(dlg.StatusText(), QStringLiteral("[ Error : Target Board Reset ]"));
    dlg.PressButton();  // OK closes it
    QVERIFY(!dlg.isVisible());

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
    for (const auto& [action, text] : none) {
      bench.prompter.shown.clear();
      app.RunTargetAction(action);
      QCOMPARE(bench.prompter.shown, QStringList{"inform: " + QString::fromLatin1(text)});
    }
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
};

QTEST_MAIN(TargetTest)
#include "app_target_qtest.moc"
