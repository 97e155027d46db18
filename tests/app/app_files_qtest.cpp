// The File commands: the title rules, opening a COFF file and what a failed
// load leaves, the recent files, reload, "Delete All Items", and the symbol
// files with the monitoring paused around them.
#include <QAction>
#include <QMenu>
#include <QTableWidget>
#include <QtTest>

#include "AppTestSupport.h"
#include "image/CoffReader.h"
#include "image/SymbolFile.h"
#include "shell/Commands.h"
#include "shell/LeftView.h"
#include "shell/SectionPane.h"
#include "shell/TabViewBar.h"
#include "widgets/HexEditBase.h"

using namespace velmora;
using namespace velmora::test;

namespace {

QStringList Column(const CLeftView& pane, int column) {
  QStringList out;
  for (int r = 0; r < pane.RowCount(); ++r) out << pane.Text(r, column);
  return out;
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}

}  // namespace

class FilesTest : public QObject {
  Q_OBJECT

 private slots:
  void titleDateAndDirectoryRules() {
    QCOMPARE(BuildWindowTitle(QString(), QString(), false),
             QStringLiteral("Velmora UT Ver2.25 for TMS320C3X"));
    QCOMPARE(BuildWindowTitle("/p/a.out", "2021/03/04  05:06:07", false),
             QStringLiteral(
                 "Velmora UT Ver2.25 for TMS320C3X - /p/a.out , Date : 2021/03/04  05:06:07"));
    // No date: the title ends with the path.
    QCOMPARE(BuildWindowTitle("/p/a.out", QString(), false),
             QStringLiteral("Velmora UT Ver2.25 for TMS320C3X - /p/a.out"));
    QVERIFY(BuildWindowTitle("/p/a.out", QString(), true).endsWith("[Simulated board]"));

    QTemporaryDir dir;
    const QString path = dir.filePath("dated.out");
    WriteBytes(path, "x");
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.setFileTime(QDateTime(QDate(2021, 3, 4), QTime(5, 6, 7)),
                          QFileDevice::FileModificationTime));
    f.close();
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
    QVERIFY2(bench.prompter.shown.isEmpty(), qPrintable(bench.prompter.Texts().join('|')));
    QCOMPARE(bench.prompter.lastFilter, QString::fromLatin1(kCoffFilter));
    QCOMPARE(app.WindowTitle(), BuildWindowTitle(path, FileDateText(path), true));
    QCOMPARE(app.CoffFilePath(), path);
    QCOMPARE(app.CoffFileDirectory(), bench.dir.path() + "/");
    QCOMPARE(
        QString::fromStdString(app.Store().ReadString(kSectionMain, kKeyCoffFileDirectory, "")),
        bench.dir.path() + "/");
    // 16 words of .text and 4 of .data.
    QCOMPARE(app.Frame()->StatusPaneText(pane::kProgramSize), QStringLiteral("0x000014 Words"));
    QCOMPARE(app.Frame()->OutputBar()->ActivePage(), int(CTabViewBar::kSectionPage));
    QCOMPARE(app.RecentFiles().Entries(), QStringList{path});

    // Sorted without regard to case; the symbol table keeps file order.
    CLeftView& pane = *app.SymbolPane();
    QCOMPARE(Column(pane, 0), (QStringList{"Alpha", "alpha2", "beta", "counter", "table"}));
    QCOMPARE(app.Program().symbols.front().name, std::string("counter"));
    const int counterRow = 3, tableRow = 4;
    QCOMPARE(pane.Text(counterRow, 1), QStringLiteral("0x809810"));
    QCOMPARE(pane.Text(counterRow, 2), QStringLiteral("Integer"));
    QCOMPARE(pane.Text(counterRow, 3), QString());
    QCOMPARE(pane.Text(tableRow, 3), QStringLiteral("Array Info : [3]"));

    CSectionPane& sections = *app.SectionPane();
    QCOMPARE(sections.RowCount(), 2);
    QCOMPARE(sections.Text(0, 0), QStringLiteral(".text"));
    QCOMPARE(sections.Text(0, 1), QStringLiteral("0x809800"));
    QCOMPARE(sections.Text(0, 2), QStringLiteral("0x000010 Words"));
    QCOMPARE(sections.SelectedRow(), 0);
    QCOMPARE(sections.HexView()->DataLength(), 16u * 4u);
    QCOMPARE(sections.HexView()->BaseAddress(), 0x809800u);

    // Cancel in the dialog changes nothing.
    app.Frame()->Command(cmd::kOpenCoffFile)->trigger();
    QCOMPARE(app.CoffFilePath(), path);
  }

  void aFailedLoadKeepsTitleAndSymbolsButClearsSizeAndSections() {
    AppBench bench;
    QVERIFY(bench.StartSim());
    CSarvoApp& app = *bench.app;
    const QString good = bench.Path("good.out");
    QVERIFY(TestProgram{}.Write(good));
    bench.prompter.openNames = {good};
    app.OnFileOpen();
    const QString title = app.WindowTitle();
    QCOMPARE(app.SymbolPane()->RowCount(), 2);

    const QString bad = bench.Path("bad.out");
    WriteBytes(bad, QByteArray(64, 'z'));
    bench.prompter.openNames = {bad};
    app.OnFileOpen();
    QCOMPARE(bench.prompter.Kinds(), QStringList{"stop"});
    QCOMPARE(bench.prompter.Texts(), QStringList{QString::fromLatin1(CoffResultMessage(2))});
    QCOMPARE(app.WindowTitle(), title);
    QCOMPARE(app.Frame()->StatusPaneText(pane::kProgramSize), QStringLiteral("0x000000 Words"));
    QCOMPARE(app.SectionPane()->RowCount(), 0);
    QCOMPARE(app.SectionPane()->HexView()->DataLength(), kImageBytes);
    QCOMPARE(app.SymbolPane()->RowCount(), 2);
    QCOMPARE(app.Program().symbols.size(), size_t{2});
    // The failed file is the one a reload tries again, and it is no recent entry.
    QCOMPARE(app.CoffFilePath(), bad);
    QCOMPARE(app.RecentFiles().Entries(), QStringList{good});
    bench.prompter.Clear();
    app.OnReload();
    QCOMPARE(bench.prompter.Texts(), QStringList{QString::fromLatin1(CoffResultMessage(2))});

    // A file that cannot be opened at all: path and directory change, nothing else.
    bench.prompter.Clear();
    const QString missing = bench.dir.path() + "/sub/missing.out";
    bench.prompter.openNames = {missing};
    app.OnFileOpen();
    QCOMPARE(bench.prompter.Texts(), QStringList{"Failed to open file"});
    QCOMPARE(bench.prompter.Kinds(), QStringList{"inform"});
    QCOMPARE(app.CoffFilePath(), missing);
    QCOMPARE(
        QString::fromStdString(app.Store().ReadString(kSectionMain, kKeyCoffFileDirectory, "")),
        bench.dir.path() + "/sub/");
    QCOMPARE(app.WindowTitle(), title);
  }

  void reloadRules() {
    // Nothing to reload: disabled, and doing it anyway changes nothing.
    {
      AppBench bench;
      QVERIFY(bench.StartSim());
      bench.app->Frame()->UpdateCommandUi();
      QVERIFY(!bench.app->Frame()->Command(cmd::kReloadCoffFile)->isEnabled());
      bench.app->OnReload();
      QVERIFY(bench.prompter.shown.isEmpty());
      QCOMPARE(bench.app->SymbolPane()->RowCount(), 0);
    }
    // No path, but a first recent entry that exists: loaded, the list unchanged.
    {
      AppBench bench;
      const QString a = bench.Path("a.out"), b = bench.Path("b.out");
      QVERIFY(TestProgram{}.Write(a));
      QVERIFY(TestProgram{}.Write(b));
      bench.Ini().WriteString(kSectionRecentFiles, "File1", a.toStdString());
      bench.Ini().WriteString(kSectionRecentFiles, "File2", b.toStdString());
      QVERIFY(bench.StartSim());
      bench.app->Frame()->UpdateCommandUi();
      QVERIFY(bench.app->Frame()->Command(cmd::kReloadCoffFile)->isEnabled());
      bench.app->Frame()->Command(cmd::kReloadCoffFile)->trigger();
      QVERIFY(bench.app->WindowTitle().contains(a));
      QCOMPARE(bench.app->RecentFiles().Entries(), (QStringList{a, b}));
      QCOMPARE(bench.app->CoffFilePath(), a);
    }
    // A stored path wins over the first recent entry.
    {
      AppBench bench;
      const QString a = bench.Path("a.out"), b = bench.Path("b.out");
      QVERIFY(TestProgram{}.Write(a));
      QVERIFY(TestProgram{}.Write(b));
      bench.Ini().WriteString(kSectionRecentFiles, "File1", a.toStdString());
      bench.Ini().WriteString(kSectionMain, kKeyCoffFilePath, b.toStdString());
      QVERIFY(bench.StartSim());
      bench.app->OnReload();
      QVERIFY(bench.app->WindowTitle().contains(b));
      QCOMPARE(bench.app->RecentFiles().Entries(), QStringList{a});
    }
    // A first recent entry whose file is gone is not tried.
    {
      AppBench bench;
      bench.Ini().WriteString(kSectionRecentFiles, "File1", bench.Path("gone.out").toStdString());
      QVERIFY(bench.StartSim());
      bench.app->OnReload();
      QVERIFY(bench.prompter.shown.isEmpty());
      QVERIFY(bench.app->CoffFilePath().isEmpty());
    }
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
    QCOMPARE(app.RecentFiles().Entries(), (QStringList{paths[4], paths[3], paths[2], paths[1]}));
    QCOMPARE(QString::fromStdString(app.Store().ReadString(kSectionRecentFiles, "File4", "")),
             paths[1]);

    // The File menu lists them in front of the hidden placeholder.
    QStringList texts;
    for (QAction* a : app.Frame()->FileMenu()->actions())
      if (a->text().startsWith('&') && a->text().at(1).isDigit()) texts << a->text();
    QCOMPARE(texts.size(), 4);
    QCOMPARE(texts.first(), QStringLiteral("&1 ") + paths[4]);
    QVERIFY(!app.Frame()->Command(cmd::kRecentFile)->isVisible());

    // Entry 3 (paths[2]) turns into garbage: loading it fails, it stays where it was.
    WriteBytes(paths[2], QByteArray(40, '\0'));
    app.OnOpenRecentFile(2);
    QCOMPARE(bench.prompter.Kinds(), QStringList{"stop"});
    QCOMPARE(app.RecentFiles().Entries(), (QStringList{paths[4], paths[3], paths[2], paths[1]}));
    // A deleted file fails silently and stays too.
    QFile::remove(paths[1]);
    bench.prompter.Clear();
    app.OnOpenRecentFile(3);
    QVERIFY(bench.prompter.shown.isEmpty());
    QCOMPARE(app.RecentFiles().Size(), 4);
    // A good entry moves to the top.
    app.OnOpenRecentFile(1);
    QCOMPARE(app.RecentFiles().Entries(), (QStringList{paths[3], paths[4], paths[2], paths[1]}));
  }

  void deleteAllItemsEmptiesTheTablesButNotTheSectionRows() {
    AppBench bench;
    QVERIFY(bench.StartSim());
    CSarvoApp& app = *bench.app;
    const QString path = bench.Path("prog.out");
    QVERIFY(TestProgram{}.Write(path));
    QCOMPARE(app.LoadCoffFile(path), 0);
    app.SectionPane()->ShowSection(1);
    const QByteArray shown = app.SectionPane()->HexView()->Data();

    app.SymbolPane()->DeleteAllItems();
    QCOMPARE(app.SymbolPane()->RowCount(), 0);
    QVERIFY(app.Program().symbols.empty());
    QVERIFY(app.Program().sections.empty());
    QVERIFY(app.Program().image.dataByteCount > 0);  // the image stays
    QCOMPARE(app.SectionPane()->RowCount(), 2);
    // Showing a section that is gone does nothing.
    app.SectionPane()->ShowSection(0);
    QCOMPARE(app.SectionPane()->HexView()->Data(), shown);
  }

  void symbolFilesSaveAndOpenBothLists() {
    AppBench bench;
    QVERIFY(bench.StartSim());
    CSarvoApp& app = *bench.app;
    CMonitorControl& monitor = *app.Monitor();
    const QString program = bench.Path("prog.out");
    QVERIFY(TestProgram{}.Write(program));
    QCOMPARE(app.LoadCoffFile(program), 0);

    app.Frame()->UpdateCommandUi();
    QVERIFY(!app.Frame()->Command(cmd::kSaveSymbolFile)->isEnabled());
    app.SymbolPane()->AddSymbolAt(0);  // counter
    app.SymbolPane()->AddSymbolAt(0);  // already there: nothing added
    QCOMPARE(app.Program().variables.size(), size_t{1});
    monitor.AddAddress(0x809801, 1);
    app.Frame()->UpdateCommandUi();
    QVERIFY(app.Frame()->Command(cmd::kSaveSymbolFile)->isEnabled());

    // Adding the variable started variable monitoring; with address
    // monitoring both run, and saving pauses and restarts both.
    monitor.StartMonitoring(kMonitorAddresses);
    QCOMPARE(monitor.RunningMode(), kMonitorBoth);
    const QString sym = bench.dir.path() + "/lists/watch.sym";
    QDir().mkpath(bench.dir.path() + "/lists");
    bench.prompter.saveNames = {sym};
    app.Frame()->Command(cmd::kSaveSymbolFile)->trigger();
    QVERIFY(bench.prompter.shown.isEmpty());
    QCOMPARE(bench.prompter.lastSuffix, QStringLiteral("sym"));
    QCOMPARE(app.SymbolFilePath(), sym);
    QCOMPARE(
        QString::fromStdString(app.Store().ReadString(kSectionMain, kKeySymbolFileDirectory, "")),
        bench.dir.path() + "/lists/");
    QCOMPARE(monitor.RunningMode(), kMonitorBoth);
    const std::vector<CDataObject> variables = app.Program().variables;
    const std::vector<CDataObject> addresses = app.Program().addresses;

    // Loading replaces both lists and restarts what ran.
    app.Program().variables.clear();
    app.Program().addresses.clear();
    monitor.AddAddress(0x809805, 0);
    bench.prompter.openNames = {sym};
    app.Frame()->Command(cmd::kOpenSymbolFile)->trigger();
    QVERIFY(bench.prompter.shown.isEmpty());
    QCOMPARE(bench.prompter.lastDirectory, bench.dir.path() + "/lists/");
    QCOMPARE(app.Program().variables, variables);
    QCOMPARE(app.Program().addresses, addresses);
    QCOMPARE(monitor.RunningMode(), kMonitorBoth);

    // A file that cannot be created: reported while monitoring is paused, and
    // monitoring runs again afterwards.
    int modeWhileReported = -1;
    bench.prompter.onShown = [&](const ScriptedPrompter::Shown&) {
      modeWhileReported = monitor.RunningMode();
    };
    bench.prompter.saveNames = {bench.dir.path() + "/no/such/dir/x.sym"};
    app.OnSaveSymbolFile();
    QCOMPARE(bench.prompter.Texts(), QStringList{"Failed to create file"});
    QCOMPARE(modeWhileReported, 0);
    QCOMPARE(monitor.RunningMode(), kMonitorBoth);
  }

  void symbolFileFailuresLeaveMonitoringStopped() {
    AppBench bench;
    QVERIFY(bench.StartSim());
    CSarvoApp& app = *bench.app;
    CMonitorControl& monitor = *app.Monitor();
    monitor.AddAddress(0x809801, 0);

    struct Case {
      QString path;
      QByteArray bytes;  // written when not null
      const char* message;
    };
    const Case cases[] = {
        {bench.Path("absent.sym"), QByteArray(), "The specified file path is wrong"},
        {bench.Path("other.sym"), QByteArray::fromHex("0010021000000000000000000"),
         "This selected file is unsupported file format"},
    };
    for (const Case& c : cases) {
      if (!c.bytes.isNull()) WriteBytes(c.path, c.bytes);
      monitor.StartMonitoring(kMonitorAddresses);
      QCOMPARE(monitor.RunningMode(), kMonitorAddresses);
      bench.prompter.Clear();
      bench.prompter.openNames = {c.path};
      app.OnOpenSymbolFile();
      QCOMPARE(bench.prompter.Texts(), QStringList{QString::fromLatin1(c.message)});
      QCOMPARE(bench.prompter.Kinds(), QStringList{"stop"});
      QCOMPARE(monitor.RunningMode(), 0);
      QCOMPARE(app.SymbolFilePath(), c.path);
      QCOMPARE(app.Program().addresses.size(), size_t{1});
    }
  }
};

QTEST_MAIN(FilesTest)
#include "app_files_qtest.moc"
