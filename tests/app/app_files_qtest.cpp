// The File commands: the title rules, opening a COFF file and what a failed
// load leaves, the recent files, and the symbol files with the monitoring
// paused around them.
#include <QAction>
#include <QMenu>
#include <QTableWidget>
#include <QtTest>

#include "AppTestSupport.h"
#include "image/CoffReader.h"
#include "shell/Commands.h"
#include "shell/LeftView.h"
#include "shell/SectionPane.h"
#include "shell/TabViewBar.h"
#include "widgets/HexEditBase.h"

using namespace velmora;
using namespace velmora::test;

namespace {

void WriteBytes(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}

QString StoredDirectory(CSarvoApp& app, const char* key) {
  return QString::fromStdString(app.Store().ReadString(kSectionMain, key, ""));
}

}  // namespace

class FilesTest : public QObject {
  Q_OBJECT

 private slots:
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
    QCOMPARE(app.CoffFilePath(), path);
    QCOMPARE(StoredDirectory(app, kKeyCoffFileDirectory), bench.dir.path() + "/");
    QCOMPARE(app.Frame()->StatusPaneText(pane::kProgramSize), QStringLiteral("0x000014 Words"));
    QCOMPARE(app.Frame()->OutputBar()->ActivePage(), int(CTabViewBar::kSectionPage));
    QCOMPARE(app.RecentFiles().Entries(), QStringList{path});
    // Sorted without regard to case; the symbol table keeps file order.
    CLeftView& pane = *app.SymbolPane();
    QStringList names;
    for (int r = 0; r < pane.RowCount(); ++r) names << pane.Text(r, 0);
    QCOMPARE(names, (QStringList{"Alpha", "alpha2", "beta", "counter", "table"}));
    QCOMPARE(pane.Text(3, 1), QStringLiteral("0x809810"));
    QCOMPARE(pane.Text(3, 2), QStringLiteral("Integer"));
    QCOMPARE(pane.Text(4, 3), QStringLiteral("Array Info : [3]"));

    CSectionPane& sections = *app.SectionPane();
    QCOMPARE(sections.RowCount(), 2);
    QCOMPARE(sections.Text(0, 2), QStringLiteral("0x000010 Words"));
    QCOMPARE(sections.HexView()->BaseAddress(), 0x809800u);
    // Cancel in the dialog changes nothing.
    app.Frame()->Command(cmd::kOpenCoffFile)->trigger();
    QCOMPARE(app.CoffFilePath(), path);
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
    QCOMPARE(app.RecentFiles().Entries(), (QStringList{paths[3], paths[4], paths[2], paths[1]}));
  }

  void symbolFilesSaveAndOpenBothListsAroundAPause() {
    AppBench bench;
    QVERIFY(bench.StartSim());
    CSarvoApp& app = *bench.app;
    CMonitorControl& monitor = *app.Monitor();
    QVERIFY(!bench.Load().isEmpty());
    app.SymbolPane()->AddSymbolAt(0);  // counter; starts variable monitoring
    app.SymbolPane()->AddSymbolAt(0);  // already there: nothing added
    QCOMPARE(app.Program().variables.size(), size_t{1});
    monitor.AddAddress(0x809801, 1);
    QCOMPARE(monitor.RunningMode(), kMonitorBoth);
    app.Frame()->UpdateCommandUi();
    QVERIFY(app.Frame()->Command(cmd::kSaveSymbolFile)->isEnabled());

    const QString sym = bench.dir.path() + "/lists/watch.sym";
    QDir().mkpath(bench.dir.path() + "/lists");
    bench.prompter.saveNames = {sym};
    app.Frame()->Command(cmd::kSaveSymbolFile)->trigger();
    QCOMPARE(app.SymbolFilePath(), sym);
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
    QCOMPARE(monitor.RunningMode(), kMonitorBoth);
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

QTEST_MAIN(FilesTest)
#include "app_files_qtest.moc"
