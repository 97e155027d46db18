// The Action commands driven against the virtual board: serial boot and its
// verify through a small responder program, Cancel during a download, target
// reset, a failing reset, the checks that come before a procedure, and the
// monitoring pause around them.
#include <QAction>
#include <QTimer>
#include <QtTest>

#include "AppTestSupport.h"
#include "c3x/Assembler.h"
#include "image/CoffReader.h"
#include "image/SymbolTable.h"
#include "podlink/PodLink.h"
#include "podlink/ProcedureTexts.h"
#include "shell/Commands.h"
#include "shell/LeftView.h"
#include "shell/ProgressDlg.h"

using namespace velmora;
using namespace velmora::test;

namespace {

constexpr uint32_t kCounterAddress = 0x809A00;

// The responder test program, assembled for this run.
QString AssembleResponder(const QString& outPath) {
  std::vector<std::string> errors;
  const std::string source = std::string(VELMORA_SOURCE_DIR) + "/tests/app/data/responder_c31.asm";
  if (!c3x::AssembleFile(source, QFile::encodeName(outPath).toStdString(), errors)) {
    for (const std::string& e : errors) qWarning("%s", e.c_str());
    return {};
  }
  return outPath;
}

QString Question(TargetAction action) {
  switch (action) {
    case TargetAction::kSerialBoot:
      return "Would you start serial boot writing?";
    case TargetAction::kSerialBootVerify:
      return "Would you start serial boot writing & verifying?";
    default:
      return {};
  }
}

}  // namespace

class TargetTest : public QObject {
  Q_OBJECT

 private slots:
  void serialBootAndVerifyReachTheRunningProgram() {
    AppBench bench;
    QVERIFY(bench.StartSim());
    CSarvoApp& app = *bench.app;
    const QString program = AssembleResponder(bench.Path("responder.out"));
    QVERIFY(!program.isEmpty());
    QCOMPARE(app.LoadCoffFile(program), 0);

    app.Frame()->Command(cmd::kSerialBootVerify)->trigger();
    QCOMPARE(bench.prompter.Texts(), QStringList{Question(TargetAction::kSerialBootVerify)});
    QCOMPARE(bench.prompter.Kinds(), QStringList{"question"});
    CProgressDlg& dlg = *app.ProgressDialog();
    QCOMPARE(dlg.StatusText(), QStringLiteral("[ Completed ]"));
    QCOMPARE(dlg.Title(), QStringLiteral("Serial Boot Procedure"));
    QCOMPARE(dlg.ButtonText(), QStringLiteral("OK"));
    QCOMPARE(dlg.Progress(), 100);
    QVERIFY(dlg.AutoClosePending());
    QCOMPARE(dlg.AutoCloseInterval(), 500);
    QTRY_VERIFY_WITH_TIMEOUT(!dlg.isVisible(), 3000);

    // The program runs: the responder answers reads and writes.
    CPodLink& link = app.Link();
    QVERIFY(link.IsOpen());
    uint32_t word = 0;
    QVERIFY(link.ReadTargetWord(kCounterAddress, word));
    QCOMPARE(word, 0x1234u);
    QVERIFY(app.Monitor()->WriteWord(kCounterAddress, 0xCAFEF00D));
    QVERIFY(link.ReadTargetWord(kCounterAddress, word));
    QCOMPARE(word, 0xCAFEF00Du);

    // A plain serial boot asks its own question and starts the program again.
    bench.prompter.Clear();
    app.Frame()->Command(cmd::kSerialBoot)->trigger();
    QCOMPARE(bench.prompter.Texts(), QStringList{Question(TargetAction::kSerialBoot)});
    QCOMPARE(dlg.StatusText(), QStringLiteral("[ Completed ]"));
    QVERIFY(link.ReadTargetWord(kCounterAddress, word));
    QCOMPARE(word, 0x1234u);
  }

  void theDemoRunsOnEachDspType() {
    const QString demo = QStringLiteral(VELMORA_SOURCE_DIR) + "/examples/demo/demo.out";
    if (!QFile::exists(demo)) QSKIP("examples/demo/demo.out is not in this tree");
    for (uint8_t dsp : {kTMS320C31, kTMS320C32, kTMS320C33}) {
      AppBench bench;
      bench.Ini().WriteInt(kSectionMain, kKeyMcuType, dsp);
      StartupOptions o = bench.SimOptions();
      o.coffFile = demo;
      QVERIFY(bench.Start(o));
      CSarvoApp& app = *bench.app;
      QVERIFY2(bench.prompter.shown.isEmpty(), qPrintable(bench.prompter.Texts().join('|')));
      QVERIFY(app.WindowTitle().contains(demo));
      const CDataObject* counter = FindSymbolByName(app.Program().symbols, "counter");
      QVERIFY(counter);
      app.RunTargetAction(TargetAction::kSerialBootVerify);
      QCOMPARE(app.ProgressDialog()->StatusText(), QStringLiteral("[ Completed ]"));
      // The program runs: its counter moves.
      uint32_t first = 0, later = 0;
      QVERIFY(app.Link().ReadTargetWord(counter->address, first));
      QTest::qWait(50);
      QVERIFY(app.Link().ReadTargetWord(counter->address, later));
      QVERIFY2(later != first, qPrintable(QStringLiteral("DSP %1").arg(dsp)));
    }
  }

  void serialBootPausesBothMonitoringsAndRestartsThem() {
    AppBench bench;
    QVERIFY(bench.StartSim());
    CSarvoApp& app = *bench.app;
    const QString program = AssembleResponder(bench.Path("responder.out"));
    QCOMPARE(app.LoadCoffFile(program), 0);
    CMonitorControl& monitor = *app.Monitor();
    app.SymbolPane()->AddSymbolAt(0);  // starts variable monitoring
    monitor.AddAddress(kCounterAddress, 0);
    monitor.StartMonitoring(kMonitorAddresses);
    QCOMPARE(monitor.RunningMode(), kMonitorBoth);

    // Seen from inside the procedure, when it lets one event run.
    int modeDuring = -1;
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
    // 30,000 words in external RAM: seconds on the wire if it were not stopped.
    TestProgram big;
    big.address = 0x200000;
    big.words = 30000;
    const QString path = bench.Path("big.out");
    QVERIFY(big.Write(path));
    QCOMPARE(app.LoadCoffFile(path), 0);
    app.Monitor()->AddAddress(0x200000, 0);
    app.Monitor()->StartMonitoring(kMonitorAddresses);

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
    QVERIFY(lockedOut);
    QVERIFY(!app.ProcedureRunning());
    app.Frame()->UpdateCommandUi();
    QVERIFY(app.Frame()->Command(cmd::kSerialBoot)->isEnabled());
    QCOMPARE(dlg.StatusText(), QStringLiteral("[ Canceled ]"));
    QCOMPARE(dlg.ButtonText(), QStringLiteral("OK"));
    QVERIFY(dlg.Progress() < 100);
    QCOMPARE(dlg.AutoCloseInterval(), 1000);
    QVERIFY(dlg.AutoClosePending());
    // No success, so monitoring stays stopped.
    QCOMPARE(app.Monitor()->RunningMode(), 0);
    QCOMPARE(bench.prompter.Kinds(), QStringList{"question"});
    QTRY_VERIFY_WITH_TIMEOUT(!dlg.isVisible(), 3000);
  }

  void closingTheWindowCancelsARunningDownload() {
    AppBench bench;
    QVERIFY(bench.StartSim());
    CSarvoApp& app = *bench.app;
    TestProgram big;
    big.address = 0x200000;
    big.words = 30000;
    const QString path = bench.Path("big.out");
    QVERIFY(big.Write(path));
    QCOMPARE(app.LoadCoffFile(path), 0);
    QTimer::singleShot(0, app.Frame(), [&] { app.Frame()->close(); });
    app.RunTargetAction(TargetAction::kSerialBoot);
    QCOMPARE(app.ProgressDialog()->StatusText(), QStringLiteral("[ Canceled ]"));
    QVERIFY(!app.Frame()->isVisible());
    QVERIFY(!app.Link().IsOpen());
  }

  void aFailedResetLeavesTheErrorOnScreen() {
    AppBench bench;
    StartupOptions o = bench.SimOptions();
    o.backendOptions.values["reset-reply"] = "0";
    QVERIFY(bench.Start(o));
    CSarvoApp& app = *bench.app;
    const QString path = bench.Path("prog.out");
    QVERIFY(TestProgram{}.Write(path));
    QCOMPARE(app.LoadCoffFile(path), 0);

    app.RunTargetAction(TargetAction::kSerialBoot);
    CProgressDlg& dlg = *app.ProgressDialog();
    QVERIFY(dlg.isVisible());
    QCOMPARE(dlg.Title(), QStringLiteral(" ERROR"));
    QCOMPARE(dlg.StatusText(), QStringLiteral("[ Error : Target Board Reset ]"));
    QCOMPARE(dlg.ButtonText(), QStringLiteral("OK"));
    QVERIFY(!dlg.AutoClosePending());
    // OK closes it.
    dlg.PressButton();
    QVERIFY(!dlg.isVisible());

    bench.prompter.Clear();
    app.Monitor()->AddAddress(0x809800, 0);
    app.Monitor()->StartMonitoring(kMonitorAddresses);
    app.Frame()->Command(cmd::kTargetReset)->trigger();
    QCOMPARE(bench.prompter.Texts(), QStringList{"Failed to reset target board"});
    QCOMPARE(bench.prompter.Kinds(), QStringList{"inform"});
    QCOMPARE(app.Monitor()->RunningMode(), 0);  // stays stopped
  }

  void targetResetRestartsMonitoringAfterTheDelay() {
    AppBench bench;
    bench.Ini().WriteInt(kSectionMain, kKeyDelayTimeAfterReset, 0);  // 50 ms
    QVERIFY(bench.StartSim());
    CSarvoApp& app = *bench.app;
    app.Monitor()->AddAddress(0x809800, 0);
    app.Monitor()->StartMonitoring(kMonitorAddresses);
    int modeWhileAsked = -1;
    bench.prompter.onShown = [&](const ScriptedPrompter::Shown&) {
      modeWhileAsked = app.Monitor()->RunningMode();
    };
    QElapsedTimer clock;
    clock.start();
    app.OnTargetReset();
    QVERIFY(clock.elapsed() >= 50);
    QVERIFY(bench.prompter.shown.isEmpty());  // a reset asks nothing
    QCOMPARE(modeWhileAsked, -1);
    QCOMPARE(app.Monitor()->RunningMode(), kMonitorAddresses);

    // Without monitoring there is nothing to wait for.
    app.Monitor()->StopMonitoring(kMonitorAddresses);
    app.OnTargetReset();
    QCOMPARE(app.Monitor()->RunningMode(), 0);
    QVERIFY(bench.prompter.shown.isEmpty());
  }

  void checksBeforeAnyProcedure() {
    AppBench bench;
    QVERIFY(bench.StartSim());
    CSarvoApp& app = *bench.app;
    // No program: each command names what is missing and asks nothing.
    const struct {
      TargetAction action;
      const char* text;
    } none[] = {{TargetAction::kSerialBoot, "No user program to write"},
                {TargetAction::kSerialBootVerify, "No user program to write & verify"},
                {TargetAction::kRomBoot, "No user program to write"},
                {TargetAction::kRomBootVerify, "No user program to write & verify"},
                {TargetAction::kRomVerify, "No user program to verify"},
                {TargetAction::kRomRead, "No user program information to read"}};
    for (const auto& c : none) {
      bench.prompter.Clear();
      app.RunTargetAction(c.action);
      QCOMPARE(bench.prompter.Texts(), QStringList{QString::fromLatin1(c.text)});
      QCOMPARE(bench.prompter.Kinds(), QStringList{"inform"});
    }
    QVERIFY(!app.Link().IsOpen());

    // No to the question: nothing is sent.
    const QString path = bench.Path("prog.out");
    QVERIFY(TestProgram{}.Write(path));
    QCOMPARE(app.LoadCoffFile(path), 0);
    bench.prompter.Clear();
    bench.prompter.answers = {false};
    app.RunTargetAction(TargetAction::kRomBoot);
    QCOMPARE(bench.prompter.Kinds(), QStringList{"question"});
    QVERIFY(!app.Link().IsOpen());
    QVERIFY(!app.ProgressDialog()->isVisible());

    // An image read for the TMS320C31 is refused once the DSP type says TMS320C32.
    app.Settings().dspType = kTMS320C32;
    bench.prompter.Clear();
    app.RunTargetAction(TargetAction::kSerialBoot);
    QCOMPARE(bench.prompter.Texts(), QStringList{QString::fromStdString(ImageLayoutMismatchText(
                                         app.Program().image, kTMS320C32))});
    QVERIFY(!app.Link().IsOpen());
    // Read again for the new type, it is accepted.
    QCOMPARE(app.LoadCoffFile(path), 0);
    QVERIFY(ImageLayoutMatches(app.Program().image, kTMS320C32));
  }

  void aProgramTooBigForTheBootRegionIsRefused() {
    AppBench bench;
    bench.Ini().WriteInt(kSectionMain, kKeyFlashRomType, kAM29F040);
    bench.Ini().WriteInt(kSectionMain, kKeyBootType, kBoot1);
    QVERIFY(bench.StartSim());
    CSarvoApp& app = *bench.app;
    // Image bytes: header 2 words, .text block 2 + n, .data block 2 + 4, closing 0:
    // 4 * (n + 11) = 0x7F004 for n = 130038.
    TestProgram big;
    big.address = 0x200000;
    big.words = 130038;
    const QString path = bench.Path("big.out");
    QVERIFY(big.Write(path));
    QCOMPARE(app.LoadCoffFile(path), 0);
    QCOMPARE(app.Program().image.imageByteCount, 0x7F004u);
    for (TargetAction a :
         {TargetAction::kRomBoot, TargetAction::kRomBootVerify, TargetAction::kRomVerify}) {
      bench.prompter.Clear();
      app.RunTargetAction(a);
      QCOMPARE(bench.prompter.Texts().size(), 2);
      QCOMPARE(
          bench.prompter.Texts().at(1),
          QStringLiteral("Program size(0x7F004) is bigger than available boot region(0x7F000)"));
      QVERIFY(!app.Link().IsOpen());
    }
  }

  void flashOnTheVirtualBoard() {
    AppBench bench;
    QVERIFY(bench.StartSim());
    CSarvoApp& app = *bench.app;
    const QString program = AssembleResponder(bench.Path("responder.out"));
    QCOMPARE(app.LoadCoffFile(program), 0);
    const bool haveLoader = app.Link().FlashLoaderAvailable();
    app.Frame()->Command(cmd::kRomBootVerify)->trigger();
    if (!haveLoader) {
      // Without the built-in loader the procedure refuses at its first step.
      QCOMPARE(app.ProgressDialog()->Title(), QStringLiteral(" ERROR"));
      QCOMPARE(app.ProgressDialog()->StatusText(),
               QStringLiteral("[ Error : Flash Algorithm Data Downloading ]"));
      QCOMPARE(bench.prompter.Kinds(), QStringList{"question"});
      QSKIP("the built-in flash loaders are not in this build yet");
    }
    QCOMPARE(bench.prompter.Texts().last(),
             QStringLiteral("Flash Program & Verifying is successful"));
    bench.prompter.Clear();
    app.Frame()->Command(cmd::kRomRead)->trigger();
    QCOMPARE(bench.prompter.Texts().last(), QStringLiteral("Flash Reading is successful"));
  }
};

QTEST_MAIN(TargetTest)
#include "app_target_qtest.moc"
