// Start-up and files: command line, settings location, the pod search and
// its two messages, calibration, the single-instance rule, the file named on
// the command line, what exit stores; the title rules, opening a COFF file and
// what a failed load leaves, the recent files, and the symbol files with the
// monitoring paused around them.
#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QProcessEnvironment>
#include <QTableWidget>
#include <QtEndian>
#include <QtTest>

#include <unistd.h>

#include <memory>

#include "AppTestSupport.h"
#include "image/CoffReader.h"
#include "monitoring/ValueFormats.h"
#include "podlink/PodLink.h"
#include "shell/BRightView.h"
#include "shell/Commands.h"
#include "shell/ConsoleDlg.h"
#include "shell/LeftView.h"
#include "shell/MessageWnd.h"
#include "shell/MonitorControl.h"
#include "shell/SectionPane.h"
#include "shell/TRightView.h"
#include "shell/TabViewBar.h"
#include "support/AddressSpaceCap.h"
#include "widgets/HexEditBase.h"

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

void WriteBytes(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}

QString StoredDirectory(CSarvoApp& app, const char* key) {
  return QString::fromStdString(app.Store().ReadString(kSectionMain, key, ""));
}

}  // namespace

class SessionTest : public QObject {
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
    StartupOptions a, b;
    a.settingsFile = "/tmp/one.ini";
    b.settingsFile = "/tmp/two.ini";
    QCOMPARE(InstanceNameFor(StartupOptions{}), QStringLiteral("Velmora UT"));
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

    // Where the instance folder is not private, the program starts and its
    // message window says why the check is off.
    QTemporaryDir shared;
    const QString folder = shared.filePath(QStringLiteral("velmora-%1").arg(::geteuid()));
    QVERIFY(QDir().mkpath(folder));
    QFile::setPermissions(folder, QFileDevice::Permissions(0x7777));
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR"), temp = qgetenv("TMPDIR");
    qunsetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", QFile::encodeName(shared.path()));
    AppBench third;
    const bool started = third.Start(third.SimOptions(), services);
    qputenv("XDG_RUNTIME_DIR", runtime);
    qputenv("TMPDIR", temp);
    QVERIFY(started);
    QVERIFY(third.app->Frame()->MessageWindow()->toPlainText().contains(
        folder + " is open to other users; the one-instance check is off"));
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
    bench.app->Monitor()->VariablePane()->setColumnWidth(5, 66);
    bench.app->Monitor()->AddressPane()->setColumnWidth(1, 144);
    bench.Stop();
    QCOMPARE(bench.Ini().ReadInt(kSectionMain, "FirstSetup", 0), 1);
    bench.ReopenIni();
    // The next start shows the widths and knows the file.
    QVERIFY(bench.StartSim());
    QCOMPARE(bench.app->SymbolPane()->columnWidth(0), 222);
    QCOMPARE(bench.app->SectionPane()->List()->columnWidth(2), 77);
    QCOMPARE(bench.app->Monitor()->VariablePane()->columnWidth(5), 66);
    QCOMPARE(bench.app->Monitor()->AddressPane()->columnWidth(1), 144);
    QCOMPARE(bench.app->CoffFilePath(), path);
  }

  // In the shown window with the console focused, F2 recalls the console's
  // last line; elsewhere in the window it runs "Serial Boot && Verify".
  void f2InTheFocusedConsoleRecallsTheLastLine() {
    AppBench bench;
    QVERIFY(bench.StartSim());
    CMainFrame& frame = *bench.app->Frame();
    frame.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&frame));
    frame.SetActivePage(CTabViewBar::kCommandPage);
    QLineEdit* input = bench.app->Monitor()->Console()->Input();
    input->setFocus();
    QTRY_VERIFY(input->hasFocus());
    QTest::keyClicks(input, "h");
    QTest::keyClick(input, Qt::Key_Return);
    QTest::keyClick(input, Qt::Key_F2);
    QCOMPARE(input->text(), QStringLiteral("h"));
    QVERIFY(bench.prompter.shown.isEmpty());
    bench.app->SymbolPane()->setFocus();
    QTest::keyClick(bench.app->SymbolPane(), Qt::Key_F2);
    QCOMPARE(bench.prompter.shown, QStringList{"inform: No user program to write & verify"});
  }

  void titleDateAndDirectoryRules() {
    const QString base = QStringLiteral("Velmora UT Ver2.25 for TMS320C3X");
    QCOMPARE(BuildWindowTitle(QString(), QString(), false), base);
    QCOMPARE(BuildWindowTitle("/p/a.out", "2021/03/04  05:06:07", false),
             base + " - /p/a.out , Date : 2021/03/04  05:06:07");
    QCOMPARE(BuildWindowTitle("/p/a.out", QString(), false), base + " - /p/a.out");
    QCOMPARE(BuildWindowTitle("/p/a.out", QString(), true),
             base + " - /p/a.out  [Simulated board]");
    QTemporaryDir dir;
    const QString path = dir.filePath("dated.out");
    WriteBytes(path, "x");
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.setFileTime(QDateTime(QDate(2021, 3, 4), QTime(5, 6, 7)),
                          QFileDevice::FileModificationTime));
    QCOMPARE(FileDateText(path), QStringLiteral("2021/03/04  05:06:07"));
    QCOMPARE(FileDateText(dir.filePath("absent.out")), QString());
    QCOMPARE(DirectoryOf("/a/b/c.out"), QStringLiteral("/a/b/"));
    QCOMPARE(DirectoryOf("c.out"), QString());
  }

  void openCommandLoadsTitlesAndFillsThePanes() {
    AppBench bench;
    QVERIFY(bench.StartSim());
    CSarvoApp& app = *bench.app;
    const QString path = bench.Path("prog.out");
    TestProgram program;
    program.extraSymbols = {"beta", "Alpha", "alpha2"};
    QVERIFY(program.Write(path));
    app.Frame()->SetActivePage(CTabViewBar::kMessagePage);
    bench.prompter.openNames = {path};
    app.Frame()->Command(cmd::kOpenCoffFile)->trigger();
    QVERIFY2(bench.prompter.shown.isEmpty(), qPrintable(bench.prompter.shown.join('|')));
    QCOMPARE(app.WindowTitle(), BuildWindowTitle(path, FileDateText(path), true));
    QCOMPARE(StoredDirectory(app, kKeyCoffFileDirectory), bench.dir.path() + "/");
    QCOMPARE(app.Frame()->StatusPaneText(pane::kProgramSize), QStringLiteral("0x000014 Words"));
    QCOMPARE(app.Frame()->OutputBar()->ActivePage(), int(CTabViewBar::kSectionPage));
    QCOMPARE(app.RecentFiles().Entries(), QStringList{path});
    // Sorted without regard to case; the symbol table keeps file order.
    CLeftView& pane = *app.SymbolPane();
    QStringList names;
    for (int r = 0; r < pane.RowCount(); ++r) names << pane.Text(r, 0);
    QCOMPARE(names, (QStringList{"Alpha", "alpha2", "beta", "counter", "table"}));
    QCOMPARE(pane.Text(4, 3), QStringLiteral("Array Info : [3]"));
    QCOMPARE(app.SectionPane()->RowCount(), 2);
    QCOMPARE(app.SectionPane()->HexView()->BaseAddress(), 0x809800u);
    // Cancel in the dialog changes nothing.
    app.Frame()->Command(cmd::kOpenCoffFile)->trigger();
    QCOMPARE(app.CoffFilePath(), path);
  }

  // Two statics of one name: the watch row shows the address that is read and
  // written, and keeps the chosen view, however often the file is read again.
  // "Delete All Items" of the symbol pane empties the symbol table and the
  // section list and leaves the image and the section pane's rows.
  void twoStaticsOfOneNameAndDeleteAllItems() {
    AppBench bench;
    QVERIFY(bench.StartSim());
    CSarvoApp& app = *bench.app;
    TestProgram program;
    program.extraSymbols = {"counter"};  // a second "counter", two words after "table"
    const QString path = bench.Load(program);
    QVERIFY(!path.isEmpty());
    CTRightView& pane = *app.Monitor()->VariablePane();
    app.SymbolPane()->AddSymbolAt(0);
    pane.selectRow(0);
    pane.SetSelectedViewType(ToByte(ViewType::Binary));
    const CDataObject watched = app.Program().variables.at(0);
    for (int k = 0; k < 2; ++k) {
      QCOMPARE(app.LoadCoffFile(path), 0);
      const CDataObject& item = app.Program().variables.at(0);
      QCOMPARE(item, watched);
      QCOMPARE(pane.CellText(0, 5), QString::asprintf("0x%06X", item.address));
      QCOMPARE(pane.CellText(0, 3), QString::fromLatin1(ViewTypeText(item.viewType)));
    }

    const uint32_t dataBytes = app.Program().image.dataByteCount;
    const std::unique_ptr<QMenu> menu = app.SymbolPane()->BuildContextMenu();
    for (QAction* a : menu->actions())
      if (a->data().toInt() == kCmdDeleteAllItems) a->trigger();
    QCOMPARE(app.SymbolPane()->RowCount(), 0);
    QVERIFY(app.Program().symbols.empty() && app.Program().sections.empty());
    QCOMPARE(app.Program().image.dataByteCount, dataBytes);
    QCOMPARE(app.SectionPane()->RowCount(), 2);
  }

  void aFailedLoadKeepsTitleAndSymbolsButClearsSizeAndSections() {
    AppBench bench;
    QVERIFY(bench.StartSim());
    CSarvoApp& app = *bench.app;
    const QString good = bench.Path("good.out"), bad = bench.Path("bad.out");
    QVERIFY(TestProgram{}.Write(good));
    QCOMPARE(app.OpenDocumentFile(good), 0);
    const QString title = app.WindowTitle();
    WriteBytes(bad, QByteArray(64, 'z'));
    bench.prompter.openNames = {bad};
    app.OnFileOpen();
    const QString badFormat = "stop: " + QString::fromLatin1(CoffResultMessage(2));
    QCOMPARE(bench.prompter.shown, QStringList{badFormat});
    QCOMPARE(app.WindowTitle(), title);
    QCOMPARE(app.Frame()->StatusPaneText(pane::kProgramSize), QStringLiteral("0x000000 Words"));
    QCOMPARE(app.SectionPane()->RowCount(), 0);
    QCOMPARE(app.SectionPane()->HexView()->DataLength(), kImageBytes);
    QCOMPARE(app.SymbolPane()->RowCount(), 2);
    QCOMPARE(app.Program().symbols.size(), size_t{2});
    // The failed file is the one a reload tries again, and it is no recent entry.
    QCOMPARE(app.CoffFilePath(), bad);
    QCOMPARE(app.RecentFiles().Entries(), QStringList{good});
    app.OnReload();
    QCOMPARE(bench.prompter.shown, QStringList(2, badFormat));
    // A file that cannot be opened at all: path and directory change, nothing else.
    bench.prompter.shown.clear();
    const QString missing = bench.dir.path() + "/sub/missing.out";
    bench.prompter.openNames = {missing};
    app.OnFileOpen();
    QCOMPARE(bench.prompter.shown, QStringList{"inform: Failed to open file"});
    QCOMPARE(app.CoffFilePath(), missing);
    QCOMPARE(StoredDirectory(app, kKeyCoffFileDirectory), bench.dir.path() + "/sub/");
    QCOMPARE(app.WindowTitle(), title);
    // Out of memory (result 6): the symbol table and the section list are
    // emptied. The file claims a 2 GB string table (sparse, costing no disk)
    // while the address space is capped at what is in use plus 256 MB.
    QCOMPARE(app.OpenDocumentFile(good), 0);
    TestProgram longNames;
    longNames.extraSymbols = {"a_name_for_the_string_table"};
    const QString huge = bench.Path("huge.out");
    QVERIFY(longNames.Write(huge));
    QFile file(huge);
    QVERIFY(file.open(QIODevice::ReadWrite));
    const QByteArray header = file.read(16);
    const qint64 strings = qFromLittleEndian<quint32>(header.constData() + 8) +
                           18 * qint64{qFromLittleEndian<quint32>(header.constData() + 12)};
    QVERIFY(file.seek(strings));
    const quint32 claimed = 0x7FFF0000;
    file.write(reinterpret_cast<const char*>(&claimed), 4);
    QVERIFY(file.resize(strings + claimed));
    file.close();
    bench.prompter.shown.clear();
    int rc = -1;
    {
      AddressSpaceCap cap(rlim_t{256} << 20);
      if (!cap.Active()) QSKIP("no address-space limit here");
      rc = app.LoadCoffFile(huge);
    }
    QCOMPARE(rc, 6);
    QCOMPARE(bench.prompter.shown, QStringList{"stop: Memory exception error occurs"});
    QVERIFY(app.Program().symbols.empty() && app.Program().sections.empty());
    QCOMPARE(app.SectionPane()->RowCount(), 0);
  }

  void recentFilesKeepFourAndAFailedEntryStays() {
    AppBench bench;
    QVERIFY(bench.StartSim());
    CSarvoApp& app = *bench.app;
    QStringList paths;
    for (int k = 0; k < 5; ++k) {
      paths << bench.Path(QStringLiteral("p%1.out").arg(k));
      QVERIFY(TestProgram{}.Write(paths.back()));
      QCOMPARE(app.OpenDocumentFile(paths.back()), 0);
    }
    const QStringList four{paths[4], paths[3], paths[2], paths[1]};
    QCOMPARE(app.RecentFiles().Entries(), four);
    // The File menu lists them in front of the hidden placeholder.
    QStringList texts;
    for (QAction* a : app.Frame()->FileMenu()->actions())
      if (a->text().startsWith('&') && a->text().at(1).isDigit()) texts << a->text();
    QCOMPARE(texts.first(), QStringLiteral("&1 ") + paths[4]);
    QVERIFY(!app.Frame()->Command(cmd::kRecentFile)->isVisible());
    // A garbled entry fails to load and stays where it was; so does a deleted one, silently.
    WriteBytes(paths[2], QByteArray(40, '\0'));
    app.OnOpenRecentFile(2);
    QCOMPARE(bench.prompter.shown.size(), 1);
    QVERIFY(bench.prompter.shown[0].startsWith("stop: "));
    QFile::remove(paths[1]);
    app.OnOpenRecentFile(3);
    QCOMPARE(bench.prompter.shown.size(), 1);
    QCOMPARE(app.RecentFiles().Entries(), four);
    // A good entry moves to the top.
    app.OnOpenRecentFile(1);
    const QStringList now{paths[3], paths[4], paths[2], paths[1]};
    QCOMPARE(app.RecentFiles().Entries(), now);
    // Next time with no COFF path stored, Reload loads the first entry and
    // leaves the list as it is.
    bench.Stop();
    bench.Ini().WriteString(kSectionMain, kKeyCoffFilePath, "");
    bench.Ini().Sync();
    bench.ReopenIni();
    QVERIFY(bench.StartSim());
    bench.app->Frame()->UpdateCommandUi();
    QVERIFY(bench.app->Frame()->Command(cmd::kReloadCoffFile)->isEnabled());
    bench.app->Frame()->Command(cmd::kReloadCoffFile)->trigger();
    QCOMPARE(bench.app->CoffFilePath(), paths[3]);
    QCOMPARE(bench.app->SymbolPane()->RowCount(), 2);
    QCOMPARE(bench.app->RecentFiles().Entries(), now);
  }

  void symbolFilesSaveAndOpenBothListsAroundAPause() {
    AppBench bench;
    QVERIFY(bench.StartSim());
    CSarvoApp& app = *bench.app;
    CMonitorControl& monitor = *app.Monitor();
    QVERIFY(!bench.Load().isEmpty());
    app.SymbolPane()->AddSymbolAt(0);  // counter; starts variable monitoring
    monitor.AddAddress(0x809801, 1);
    QCOMPARE(monitor.RunningMode(), kMonitorBoth);
    app.Frame()->UpdateCommandUi();  // the save command is enabled by the watch items

    const QString sym = bench.dir.path() + "/lists/watch.sym";
    QDir().mkpath(bench.dir.path() + "/lists");
    bench.prompter.saveNames = {sym};
    app.Frame()->Command(cmd::kSaveSymbolFile)->trigger();
    QCOMPARE(monitor.RunningMode(), kMonitorBoth);
    const std::vector<CDataObject> variables = app.Program().variables;
    const std::vector<CDataObject> addresses = app.Program().addresses;
    // Loading replaces both lists and restarts what ran.
    app.Program().variables.clear();
    app.Program().addresses.clear();
    monitor.AddAddress(0x809805, 0);
    bench.prompter.openNames = {sym};
    app.Frame()->Command(cmd::kOpenSymbolFile)->trigger();
    QCOMPARE(bench.prompter.lastDirectory, bench.dir.path() + "/lists/");
    QCOMPARE(app.Program().variables, variables);
    QCOMPARE(app.Program().addresses, addresses);
    QCOMPARE(monitor.RunningMode(), kMonitorBoth);  // saving and loading paused it only
    QVERIFY(bench.prompter.shown.isEmpty());
    // Failures are reported while monitoring is paused. After a failed save it
    // runs again; after a failed open it stays stopped and the lists stay.
    int modeWhileReported = -1;
    bench.prompter.onShown = [&] { modeWhileReported = monitor.RunningMode(); };
    bench.prompter.saveNames = {bench.dir.path() + "/no/such/dir/x.sym"};
    app.OnSaveSymbolFile();
    QCOMPARE(bench.prompter.shown, QStringList{"stop: Failed to create file"});
    QCOMPARE(modeWhileReported, 0);
    QCOMPARE(monitor.RunningMode(), kMonitorBoth);
    const QString other = bench.Path("other.sym");
    WriteBytes(other, QByteArray::fromHex("0010021000000000000000000"));
    for (const auto& [path, message] :
         {std::pair{bench.Path("absent.sym"), "The specified file path is wrong"},
          {other, "This selected file is unsupported file format"}}) {
      monitor.StartMonitoring(kMonitorBoth);
      bench.prompter.shown.clear();
      bench.prompter.openNames = {path};
      app.OnOpenSymbolFile();
      QCOMPARE(bench.prompter.shown, QStringList{"stop: " + QString::fromLatin1(message)});
      QCOMPARE(monitor.RunningMode(), 0);
      QCOMPARE(app.SymbolFilePath(), path);
      QCOMPARE(app.Program().addresses, addresses);
    }
  }
};

QTEST_MAIN(SessionTest)
#include "app_session_qtest.moc"
