// Start-up of the desktop application: command line, settings location, the
// pod search and its two messages, calibration, the single-instance rule, the
// file named on the command line, and what exit stores.
#include <QAction>
#include <QProcessEnvironment>
#include <QTableWidget>
#include <QtTest>

#include "AppTestSupport.h"
#include "podlink/PodLink.h"
#include "shell/Commands.h"
#include "shell/LeftView.h"
#include "shell/SectionPane.h"

using namespace velmora;
using namespace velmora::test;

namespace {

bool AllTargetCommandsEnabled(CMainFrame& frame, bool enabled) {
  frame.UpdateCommandUi();
  for (int id : {cmd::kSerialBoot, cmd::kSerialBootVerify, cmd::kRomBoot, cmd::kRomBootVerify,
                 cmd::kRomVerify, cmd::kRomRead, cmd::kTargetReset, cmd::kConfiguration})
    if (frame.Command(id)->isEnabled() != enabled) return false;
  return true;
}

// The parse in one line: backend, settings file, COFF file, board folder and
// backend values; "error" for a refusal that says why.
QString Parse(const QStringList& args, const QProcessEnvironment& env = {}) {
  StartupOptions o;
  QString error;
  if (!ParseStartupOptions(args, env, o, &error)) return error.isEmpty() ? "silent" : "error";
  QString out = QString::fromStdString(o.podBackend) + ' ' + o.settingsFile + ' ' + o.coffFile;
  if (o.SimulatedBoard()) out += " (board " + QString::fromStdString(o.backendOptions.simDir) + ')';
  for (const auto& [key, value] : o.backendOptions.values)
    out += QString::fromStdString(" " + key + "=" + value);
  return out;
}

}  // namespace

class StartupTest : public QObject {
  Q_OBJECT

 private slots:
  void commandLineOptions() {
    QCOMPARE(Parse({"--pod=sim", "--sim-dir", "/tmp/b", "--sim-dsp=C33", "--settings=/tmp/s.ini",
                    "demo.out"}),
             QStringLiteral("sim /tmp/s.ini demo.out (board /tmp/b) dsp=C33"));
    QCOMPARE(Parse({}), QStringLiteral("ftdi  "));
    // The environment gives the defaults; the command line wins.
    QProcessEnvironment env;
    env.insert(QStringLiteral("VELMORA_POD"), QStringLiteral("d2xx"));
    env.insert(QStringLiteral("VELMORA_SETTINGS"), QStringLiteral("/tmp/env.ini"));
    QCOMPARE(Parse({}, env), QStringLiteral("d2xx /tmp/env.ini "));
    QCOMPARE(Parse({"--pod", "ftdi"}, env), QStringLiteral("ftdi /tmp/env.ini "));
    for (const QStringList& bad :
         {QStringList{"--bogus"}, QStringList{"--pod"}, QStringList{"a.out", "b.out"},
          QStringList{"--pod="}, QStringList{"--sim-=1"}})
      QCOMPARE(Parse(bad), QStringLiteral("error"));
    // After "--" every argument is a file, even one that looks like an option.
    QCOMPARE(Parse({"--", "--odd.out"}), QStringLiteral("ftdi  --odd.out"));
    // One instance per settings file; the user's settings have the plain name.
    StartupOptions a, a2, b;
    a.settingsFile = a2.settingsFile = "/tmp/one.ini";
    b.settingsFile = "/tmp/two.ini";
    QCOMPARE(InstanceNameFor(StartupOptions{}), QStringLiteral("Velmora UT"));
    QCOMPARE(InstanceNameFor(a), InstanceNameFor(a2));
    QVERIFY(InstanceNameFor(a) != InstanceNameFor(b) &&
            InstanceNameFor(a) != InstanceNameFor(StartupOptions{}));
  }

  void startsOnTheVirtualBoard() {
    AppBench bench;
    QVERIFY(bench.StartSim());
    CSarvoApp& app = *bench.app;
    QVERIFY(bench.prompter.shown.isEmpty());
    QVERIFY(app.DriverLoaded() && app.PodFound());
    QVERIFY(!app.Link().IsOpen());  // opened for the version read, then closed
    QCOMPARE(app.WindowTitle(),
             QStringLiteral("Velmora UT Ver2.25 for TMS320C3X  [Simulated board]"));
    QCOMPARE(app.Frame()->StatusPaneText(pane::kDspType), QStringLiteral("TMS320C31"));
    QCOMPARE(app.Frame()->StatusPaneText(pane::kBootType), QStringLiteral("BOOT1"));
    QVERIFY(AllTargetCommandsEnabled(*app.Frame(), true));
    // Nothing loaded: reload has nothing to load, save has no watch items.
    QVERIFY(!app.Frame()->Command(cmd::kReloadCoffFile)->isEnabled());
    QVERIFY(!app.Frame()->Command(cmd::kSaveSymbolFile)->isEnabled());
  }

  void podSearchOutcomes() {
    {
      AppBench bench;
      StartupOptions o;
      o.podBackend = "d2xx";
      o.backendOptions.values["library"] = "/nonexistent/libftd2xx.so";
      o.settingsFile = bench.SettingsFile();
      QVERIFY(bench.Start(o));  // start-up succeeds in every case
      QCOMPARE(bench.prompter.shown, QStringList{"stop: Failet to load FTD2XX.DLL"});
      QVERIFY(!bench.app->DriverLoaded());
      QVERIFY(AllTargetCommandsEnabled(*bench.app->Frame(), false));
    }
    for (bool found : {false, true}) {
      AppBench bench;
      FakePodBackend fake;
      fake.pod->firmware = 0x11;
      if (!found) fake.pod->devices.clear();
      QVERIFY(bench.StartOn(fake));
      QCOMPARE(bench.prompter.shown,
               found ? QStringList() : QStringList{"stop: Not connected to Velmora-UT POD"});
      QCOMPARE(bench.app->PodFound(), found);
      QVERIFY(AllTargetCommandsEnabled(*bench.app->Frame(), found));
      // A found pod is opened for its version and closed again.
      QCOMPARE(fake.pod->CountCalls("FT_OpenEx"), size_t{found});
      QCOMPARE(fake.pod->CountCalls("FT_Close"), size_t{found});
      if (found) QCOMPARE(bench.app->Link().FirmwareVersion(), uint8_t{0x11});
      if (found) continue;
      // Disabled commands do nothing even when triggered.
      bench.app->Frame()->Command(cmd::kTargetReset)->trigger();
      QCOMPARE(fake.pod->CountCalls("FT_OpenEx"), size_t{0});
    }
  }

  void aSecondInstanceEndsSilentlyAndTouchesNothing() {
    AppBench first;
    AppServices services;
    services.instanceName =
        QStringLiteral("velmora-test-%1").arg(QCoreApplication::applicationPid());
    QVERIFY(first.Start(first.SimOptions(), services));

    AppBench second;
    second.Ini().WriteString(kSectionMain, kKeyCoffFilePath, "/keep/me.out");
    second.Ini().Sync();
    auto contents = [&] {
      QFile f(second.SettingsFile());
      return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const QByteArray bytes = contents();
    QVERIFY(!second.Start(second.SimOptions(), services));
    QVERIFY(second.app->Frame() == nullptr);
    QVERIFY(second.prompter.shown.isEmpty());
    second.Stop();
    QCOMPARE(contents(), bytes);
    QVERIFY(first.app->Frame()->isVisible());  // the first one still runs
  }

  void calibrationRunsWhenNothingIsStored() {
    AppBench bench;
    bench.Ini().WriteInt(kSectionMain, kKeyMicroTimeLength, 0);
    QVERIFY(bench.StartSim());
    const int32_t loops = bench.app->MicroTimer().LoopsPerUs();
    QVERIFY2(loops > 0, "a host this fast measures at least one loop per microsecond");
    QCOMPARE(bench.app->Store().ReadInt(kSectionMain, kKeyMicroTimeLength, 0), loops);
  }

  void aFileOnTheCommandLineIsOpenedOnceTheWindowExists() {
    for (bool exists : {true, false}) {
      AppBench bench;
      const QString path = bench.Path(QStringLiteral("prog.out"));
      if (exists) QVERIFY(TestProgram{}.Write(path));
      StartupOptions o = bench.SimOptions();
      o.coffFile = path;
      QVERIFY(bench.Start(o));
      QVERIFY(bench.prompter.shown.isEmpty());  // one that cannot be opened says nothing
      QCOMPARE(bench.app->WindowTitle().contains(path + " , Date : "), exists);
      QCOMPARE(bench.app->SymbolPane()->RowCount(), exists ? 2 : 0);
      QCOMPARE(bench.app->RecentFiles().Entries(), exists ? QStringList{path} : QStringList());
    }
  }

  void exitWritesPathsLayoutAndColumnWidths() {
    AppBench bench;
    QVERIFY(bench.StartSim());
    const QString path = bench.Load();
    QVERIFY(!path.isEmpty());
    bench.app->SymbolPane()->setColumnWidth(0, 222);
    bench.app->SectionPane()->List()->setColumnWidth(2, 77);
    bench.Stop();
    QCOMPARE(bench.Ini().ReadInt(kSectionMain, "FirstSetup", 0), 1);
    bench.ReopenIni();
    // The next start shows the widths and knows the file.
    QVERIFY(bench.StartSim());
    QCOMPARE(bench.app->SymbolPane()->columnWidth(0), 222);
    QCOMPARE(bench.app->SectionPane()->List()->columnWidth(2), 77);
    QCOMPARE(bench.app->CoffFilePath(), path);
    bench.app->Frame()->UpdateCommandUi();
    QVERIFY(bench.app->Frame()->Command(cmd::kReloadCoffFile)->isEnabled());
  }
};

QTEST_MAIN(StartupTest)
#include "app_startup_qtest.moc"
