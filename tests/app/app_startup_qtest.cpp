// Start-up of the desktop application: command line, settings location, the
// pod search and its two messages, calibration, the single-instance rule, the
// file named on the command line, exit, and the About box.
#include <QAction>
#include <QLabel>
#include <QProcessEnvironment>
#include <QTableWidget>
#include <QtTest>

#include "AppTestSupport.h"
#include "FakePodBackend.h"
#include "app/AboutDlg.h"
#include "podlink/PodLink.h"
#include "shell/Commands.h"
#include "shell/LeftView.h"
#include "shell/SectionPane.h"

using namespace velmora;
using namespace velmora::test;

namespace {

const int kTargetCommands[] = {cmd::kSerialBoot,    cmd::kSerialBootVerify, cmd::kRomBoot,
                               cmd::kRomBootVerify, cmd::kRomVerify,        cmd::kRomRead,
                               cmd::kTargetReset,   cmd::kConfiguration};

bool AllTargetCommandsEnabled(CMainFrame& frame, bool enabled) {
  frame.UpdateCommandUi();
  for (int id : kTargetCommands)
    if (frame.Command(id)->isEnabled() != enabled) return false;
  return true;
}

}  // namespace

class StartupTest : public QObject {
  Q_OBJECT

 private slots:
  void commandLineOptions() {
    QProcessEnvironment env;
    StartupOptions o;
    QString error;
    QVERIFY(ParseStartupOptions({"--pod=sim", "--sim-dir", "/tmp/b", "--sim-dsp=C33",
                                 "--sim-reset-reply=0", "--settings=/tmp/s.ini", "demo.out"},
                                env, o, &error));
    QCOMPARE(o.podBackend, std::string("sim"));
    QVERIFY(o.SimulatedBoard());
    QCOMPARE(o.backendOptions.simDir, std::string("/tmp/b"));
    QCOMPARE(o.backendOptions.values.at("dsp"), std::string("C33"));
    QCOMPARE(o.backendOptions.values.at("reset-reply"), std::string("0"));
    QCOMPARE(o.settingsFile, QStringLiteral("/tmp/s.ini"));
    QCOMPARE(o.coffFile, QStringLiteral("demo.out"));

    // The environment gives the defaults; the command line wins.
    env.insert(QStringLiteral("VELMORA_POD"), QStringLiteral("d2xx"));
    env.insert(QStringLiteral("VELMORA_SETTINGS"), QStringLiteral("/tmp/env.ini"));
    StartupOptions fromEnv;
    QVERIFY(ParseStartupOptions({}, env, fromEnv, &error));
    QCOMPARE(fromEnv.podBackend, std::string("d2xx"));
    QCOMPARE(fromEnv.settingsFile, QStringLiteral("/tmp/env.ini"));
    StartupOptions overridden;
    QVERIFY(ParseStartupOptions({"--pod", "ftdi"}, env, overridden, &error));
    QCOMPARE(overridden.podBackend, std::string("ftdi"));

    StartupOptions plain;
    QVERIFY(ParseStartupOptions({}, QProcessEnvironment(), plain, &error));
    QCOMPARE(plain.podBackend, std::string("ftdi"));
    QVERIFY(!plain.SimulatedBoard());

    for (const QStringList& bad :
         {QStringList{"--bogus"}, QStringList{"--pod"}, QStringList{"a.out", "b.out"},
          QStringList{"--pod="}, QStringList{"--sim-=1"}}) {
      StartupOptions b;
      error.clear();
      QVERIFY2(!ParseStartupOptions(bad, QProcessEnvironment(), b, &error),
               qPrintable(bad.join(' ')));
      QVERIFY(!error.isEmpty());
    }
    // After "--" every argument is a file, even one that looks like an option.
    StartupOptions dashed;
    QVERIFY(ParseStartupOptions({"--", "--odd.out"}, QProcessEnvironment(), dashed, &error));
    QCOMPARE(dashed.coffFile, QStringLiteral("--odd.out"));
  }

  void instanceNames() {
    StartupOptions user;
    QCOMPARE(InstanceNameFor(user), QStringLiteral("Velmora UT"));
    StartupOptions a, b, a2;
    a.settingsFile = "/tmp/one.ini";
    a2.settingsFile = "/tmp/one.ini";
    b.settingsFile = "/tmp/two.ini";
    QVERIFY(InstanceNameFor(a) != InstanceNameFor(user));
    QCOMPARE(InstanceNameFor(a), InstanceNameFor(a2));
    QVERIFY(InstanceNameFor(a) != InstanceNameFor(b));
  }

  void startsOnTheVirtualBoard() {
    AppBench bench;
    QVERIFY(bench.StartSim());
    CSarvoApp& app = *bench.app;
    QVERIFY(bench.prompter.shown.isEmpty());
    QVERIFY(app.DriverLoaded());
    QVERIFY(app.PodFound());
    QVERIFY(!app.Link().IsOpen());  // opened for the version read, then closed
    QCOMPARE(app.Link().FirmwareVersion(), uint8_t{0x12});
    QCOMPARE(app.WindowTitle(),
             QStringLiteral("Velmora UT Ver2.25 for TMS320C3X  [Simulated board]"));
    QVERIFY(app.Frame()->IsSimulatedBoard());
    QVERIFY(app.Frame()->isVisible());
    QCOMPARE(app.Frame()->StatusPaneText(pane::kDspType), QStringLiteral("TMS320C31"));
    QCOMPARE(app.Frame()->StatusPaneText(pane::kProgramSize), QStringLiteral("0x000000 Words"));
    QCOMPARE(app.Frame()->StatusPaneText(pane::kBootType), QStringLiteral("BOOT1"));
    QVERIFY(AllTargetCommandsEnabled(*app.Frame(), true));
    // Nothing loaded: reload has nothing to load, save has no watch items.
    QVERIFY(!app.Frame()->Command(cmd::kReloadCoffFile)->isEnabled());
    QVERIFY(!app.Frame()->Command(cmd::kSaveSymbolFile)->isEnabled());
    QVERIFY(app.Frame()->Command(cmd::kOpenSymbolFile)->isEnabled());
    QCOMPARE(app.Program().image.words.size(), size_t{kImageWords});
    QVERIFY(app.WorkingDirectory().endsWith(QDir::separator()));
    // The panes are the application's.
    QCOMPARE(app.Frame()->SymbolPane(), static_cast<QWidget*>(app.SymbolPane()));
    QVERIFY(app.SectionPane() != nullptr);
  }

  void missingPodLibraryIsReportedAndDisablesTheTarget() {
    AppBench bench;
    StartupOptions o;
    o.podBackend = "d2xx";
    o.backendOptions.values["library"] = "/nonexistent/libftd2xx.so";
    o.settingsFile = bench.SettingsFile();
    QVERIFY(bench.Start(o));  // start-up succeeds in every case
    QCOMPARE(bench.prompter.Texts(), QStringList{"Failet to load FTD2XX.DLL"});
    QCOMPARE(bench.prompter.Kinds(), QStringList{"stop"});
    QVERIFY(!bench.app->DriverLoaded());
    QVERIFY(AllTargetCommandsEnabled(*bench.app->Frame(), false));
    QVERIFY(!bench.app->Frame()->IsSimulatedBoard());
  }

  void noPodFoundIsReportedAndDisablesTheTarget() {
    AppBench bench;
    FakePodBackend fake;
    fake.pod->devices.clear();
    QVERIFY(bench.Start(fake.Options(bench.SettingsFile()), fake.Services()));
    QCOMPARE(bench.prompter.Texts(), QStringList{"Not connected to Velmora-UT POD"});
    QCOMPARE(bench.prompter.Kinds(), QStringList{"stop"});
    QVERIFY(bench.app->DriverLoaded());
    QVERIFY(!bench.app->PodFound());
    QVERIFY(AllTargetCommandsEnabled(*bench.app->Frame(), false));
    // Disabled commands do nothing even when triggered.
    bench.app->Frame()->Command(cmd::kTargetReset)->trigger();
    QCOMPARE(fake.pod->CountCalls("FT_OpenEx"), size_t{0});
  }

  void aFoundPodIsOpenedForItsVersionAndClosedAgain() {
    AppBench bench;
    FakePodBackend fake;
    fake.pod->firmware = 0x11;
    QVERIFY(bench.Start(fake.Options(bench.SettingsFile()), fake.Services()));
    QVERIFY(bench.prompter.shown.isEmpty());
    QCOMPARE(bench.app->Link().FirmwareVersion(), uint8_t{0x11});
    QCOMPARE(fake.pod->CountCalls("FT_OpenEx"), size_t{1});
    QCOMPARE(fake.pod->CountCalls("FT_Close"), size_t{1});
    QVERIFY(!bench.app->Link().IsOpen());
    QVERIFY(AllTargetCommandsEnabled(*bench.app->Frame(), true));
  }

  void aSecondInstanceEndsSilentlyAndTouchesNothing() {
    AppBench first;
    const QString name = QStringLiteral("velmora-test-%1").arg(QCoreApplication::applicationPid());
    AppServices services;
    services.instanceName = name;
    QVERIFY(first.Start(first.SimOptions(), services));

    AppBench second;
    second.Ini().WriteString(kSectionMain, kKeyCoffFilePath, "/keep/me.out");
    second.Ini().Sync();
    QFile before(second.SettingsFile());
    QVERIFY(before.open(QIODevice::ReadOnly));
    const QByteArray bytes = before.readAll();
    before.close();
    QVERIFY(!second.Start(second.SimOptions(), services));
    QVERIFY(second.app->Frame() == nullptr);
    QVERIFY(second.prompter.shown.isEmpty());
    second.Stop();
    QFile after(second.SettingsFile());
    QVERIFY(after.open(QIODevice::ReadOnly));
    QCOMPARE(after.readAll(), bytes);
    // The first one still runs.
    QVERIFY(first.app->Frame()->isVisible());
  }

  void calibrationRunsWhenNothingIsStored() {
    AppBench bench;
    bench.Ini().WriteInt(kSectionMain, kKeyMicroTimeLength, 0);
    QVERIFY(bench.StartSim());
    const int32_t loops = bench.app->MicroTimer().LoopsPerUs();
    QVERIFY2(loops > 0, "a host this fast measures at least one loop per microsecond");
    QCOMPARE(bench.app->Store().ReadInt(kSectionMain, kKeyMicroTimeLength, 0), loops);

    // The stored value is used as it is at the next start.
    AppBench again;
    again.Ini().WriteInt(kSectionMain, kKeyMicroTimeLength, 150);
    QVERIFY(again.StartSim());
    QCOMPARE(again.app->MicroTimer().LoopsPerUs(), 150);
  }

  void aFileOnTheCommandLineIsOpenedOnceTheWindowExists() {
    AppBench bench;
    const QString path = bench.Path(QStringLiteral("prog.out"));
    QVERIFY(TestProgram{}.Write(path));
    StartupOptions o = bench.SimOptions();
    o.coffFile = path;
    QVERIFY(bench.Start(o));
    QVERIFY(bench.prompter.shown.isEmpty());
    QVERIFY(bench.app->WindowTitle().startsWith(
        QStringLiteral("Velmora UT Ver2.25 for TMS320C3X - ") + path + " , Date : "));
    QCOMPARE(bench.app->SymbolPane()->RowCount(), 2);
    QCOMPARE(bench.app->RecentFiles().Entries(), QStringList{path});
    QCOMPARE(bench.app->SectionPane()->RowCount(), 2);

    // A command-line file that fails to load leaves no recent entry.
    AppBench broken;
    StartupOptions b = broken.SimOptions();
    b.coffFile = broken.Path(QStringLiteral("missing.out"));
    QVERIFY(broken.Start(b));
    QVERIFY(broken.prompter.shown.isEmpty());  // cannot be opened: no message
    QVERIFY(broken.app->RecentFiles().Entries().isEmpty());
  }

  void exitWritesPathsLayoutAndColumnWidths() {
    AppBench bench;
    const QString path = bench.Path(QStringLiteral("prog.out"));
    QVERIFY(TestProgram{}.Write(path));
    QVERIFY(bench.StartSim());
    QCOMPARE(bench.app->LoadCoffFile(path), 0);
    bench.app->SymbolPane()->setColumnWidth(0, 222);
    bench.app->SectionPane()->List()->setColumnWidth(2, 77);
    bench.Stop();

    QSettingsStore& ini = bench.Ini();
    QCOMPARE(QString::fromStdString(ini.ReadString(kSectionMain, kKeyCoffFilePath, "")), path);
    QCOMPARE(QString::fromStdString(ini.ReadString(kSectionMain, kKeyCoffFileDirectory, "")),
             bench.dir.path() + "/");
    QCOMPARE(ini.ReadInt(kSectionMain, "FirstSetup", 0), 1);
    QCOMPARE(ini.ReadInt(kSectionViewInfo, "Left Column0 Width", 0), 222);
    QCOMPARE(ini.ReadInt(kSectionViewInfo, "Section Column2 Width", 0), 77);
    bench.ReopenIni();

    // The next start shows the widths and knows the file.
    QVERIFY(bench.StartSim());
    QCOMPARE(bench.app->SymbolPane()->columnWidth(0), 222);
    QCOMPARE(bench.app->SectionPane()->List()->columnWidth(2), 77);
    QCOMPARE(bench.app->CoffFilePath(), path);
    bench.app->Frame()->UpdateCommandUi();
    QVERIFY(bench.app->Frame()->Command(cmd::kReloadCoffFile)->isEnabled());
  }

  void fileExitClosesTheLinkAndTheWindow() {
    AppBench bench;
    QVERIFY(bench.StartSim());
    CSarvoApp& app = *bench.app;
    QVERIFY(app.Link().Open());
    app.Monitor()->AddAddress(0x809800, 0);
    app.Monitor()->StartMonitoring(kMonitorAddresses);
    app.Frame()->Command(cmd::kExit)->trigger();
    QVERIFY(!app.Frame()->isVisible());
    QVERIFY(!app.Link().IsOpen());
    QVERIFY(!app.Monitor()->monitoringActive());
    QVERIFY(bench.prompter.shown.isEmpty());
    bench.Stop();
    QCOMPARE(bench.Ini().ReadInt(kSectionMain, "FirstSetup", 0), 1);
  }

  void aboutBox() {
    AppBench bench;
    QVERIFY(bench.StartSim());
    QString title, text;
    bool hasIcon = false;
    bench.prompter.runDialog = [&](QDialog& dlg) {
      title = dlg.windowTitle();
      if (auto* label = dlg.findChild<QLabel*>(QStringLiteral("AboutText"))) text = label->text();
      if (auto* icon = dlg.findChild<QLabel*>(QStringLiteral("AboutIcon")))
        hasIcon = !icon->pixmap().isNull();
      return int(QDialog::Accepted);
    };
    bench.app->Frame()->Command(cmd::kAbout)->trigger();
    QCOMPARE(bench.prompter.dialogsRun, 1);
    QCOMPARE(title, QStringLiteral("About Velmora UT "));
    QCOMPARE(text, QStringLiteral("Velmora UT Version 2.25"));
    QVERIFY(hasIcon);
  }
};

QTEST_MAIN(StartupTest)
#include "app_startup_qtest.moc"
