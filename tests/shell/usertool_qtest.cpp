// User tools: program paths and names, the stored table, the Tool menu and
// toolbar, the launch checks, the configuration dialog, and a captured run
// from registration to the message window.
#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>
#include <QtEndian>
#include <QtTest>

#include "config/qt/QSettingsStore.h"
#include "shell/MessageWnd.h"
#include "shell/ToolRunner.h"
#include "shell/UserToolDlg.h"
#include "shell/UserTools.h"
#include "toolrunner_support.h"

using namespace velmora;
using velmora::test::WriteScript;

namespace {

constexpr int kLong = 30000;

// A main window as far as the user tools see it.
class FakeHost : public UserToolHost {
 public:
  explicit FakeHost(SettingsStore& store) : store_(store) {
    registerAction = menu.addAction(QStringLiteral("Register User Tools...\tShift+C"));
    menu.addSeparator();
    for (int n = 0; n < kUserToolSlots; ++n) {
      toolActions[n] = toolbar.addAction(QStringLiteral("Register User Tools%1").arg(n + 1));
      toolActions[n]->setVisible(false);
    }
  }
  QWidget* Window() override { return &window; }
  SettingsStore& Store() override { return store_; }
  QMenu* ToolMenu() override { return &menu; }
  QAction* CommandAction(int id) override {
    if (id == kCmdRegisterUserTools) return registerAction;
    if (id >= kCmdUserTool1 && id < kCmdUserTool1 + kUserToolSlots)
      return toolActions[id - kCmdUserTool1];
    return nullptr;
  }
  void SetActivePage(int page) override { activePage = page; }
  CMessageWnd* MessageWindow() override { return &messages; }
  void RecalcLayout() override { ++layouts; }
  void Inform(const QString& text) override { informed << text; }
  bool Confirm(const QString& text) override {
    asked << text;
    return confirmAnswer;
  }
  bool OpenWithDesktop(const QString& path, const QString& dir) override {
    opened << path + u'|' + dir;
    return true;
  }

  QWidget window;
  QMenu menu;
  QToolBar toolbar;
  QAction* registerAction = nullptr;
  QAction* toolActions[kUserToolSlots] = {};
  CMessageWnd messages;
  int activePage = -1;
  int layouts = 0;
  bool confirmAnswer = false;
  QStringList informed, asked, opened;

 private:
  SettingsStore& store_;
};

// The dialog with its message box and browse dialogs replaced.
class TestDialog : public CUserToolDlg {
 public:
  using CUserToolDlg::CUserToolDlg;
  QStringList informed;
  QString nextProgram, nextFolder;
  QStringList browseStarts;

 protected:
  void Inform(const QString& text) override { informed << text; }
  QString AskProgramFile(const QString& start) override {
    browseStarts << start;
    return nextProgram;
  }
  QString AskFolder(const QString& start) override {
    browseStarts << start;
    return nextFolder;
  }
};

QString Stored(SettingsStore& s, const std::string& key) {
  return QString::fromStdString(s.ReadString(kSectionUserMenu, key, "<missing>"));
}

void Fill(CUserToolDlg& d, const QString& cmd, const QString& dir, const QString& name) {
  d.CommandEdit()->setText(cmd);
  d.WorkDirEdit()->setText(dir);
  d.NameEdit()->setText(name);
}

QStringList Rows(const CUserToolDlg& d) {
  QStringList rows;
  for (int i = 0; i < d.List()->count(); ++i) rows << d.List()->item(i)->text();
  return rows;
}

QStringList Names(const CUserToolDlg& d) {
  QStringList names;
  for (const UserToolEntry& e : d.Tools()) names << e.name;
  return names;
}

// A file with a DOS stub and a PE header; `subsystem` lands at offset 68 of
// the optional header. `optionalBytes` below 224 gives a cut header.
QByteArray PeImage(quint16 subsystem, quint32 peOffset = 0x80, int optionalBytes = 224) {
  QByteArray b(int(peOffset) + 4 + 20 + optionalBytes, '\0');
  b[0] = 'M';
  b[1] = 'Z';
  qToLittleEndian<quint32>(peOffset, b.data() + 60);
  b.replace(int(peOffset), 4, QByteArray("PE\0\0", 4));
  if (optionalBytes >= 70) qToLittleEndian<quint16>(subsystem, b.data() + peOffset + 24 + 68);
  return b;
}

QString WriteFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
  QFile f(dir.filePath(name));
  if (!f.open(QIODevice::WriteOnly)) return {};
  f.write(bytes);
  return f.fileName();
}

}  // namespace

class UserToolTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QVERIFY(tmp_.isValid());
    tool_ = WriteScript(tmp_, "tool.sh", "echo \"tool:$*\"");
    QVERIFY(QDir(tmp_.path()).mkpath("work dir"));
    QVERIFY(QDir(tmp_.path()).mkpath("My Tools"));
    spaced_ = tmp_.filePath("My Tools/run it.sh");
    QFile::copy(tool_, spaced_);
    QFile(spaced_).setPermissions(QFile(tool_).permissions());
  }

  // ------------------------------------------------------------------ paths

  void programPathIsFoundAfterTheFirstSeparator() {
    QString path;
    QVERIFY(ExtractProgramPath(tool_, &path));
    QCOMPARE(path, tool_);
    QVERIFY(ExtractProgramPath(tool_ + " -v --x=1", &path));
    QCOMPARE(path, tool_);
    QVERIFY(ExtractProgramPath(QStringLiteral("/bin/sh script.py"), &path));
    QCOMPARE(path, QStringLiteral("/bin/sh"));

    const QStringList refused = {
        QString(),
        QStringLiteral("tool.sh"),              // no separator: a bare file name
        QStringLiteral("sh ") + tool_,          // the path found runs to the end
        tool_ + QStringLiteral(".missing -v"),  // does not exist
        spaced_,                                // cut at the blank after the first separator
        QStringLiteral("\"") + spaced_,         // unbalanced quote
        QStringLiteral("\"tool.sh\" -v"),       // quoted, but no separator
    };
    for (const QString& line : refused) {
      path = QStringLiteral("untouched");
      QVERIFY2(!ExtractProgramPath(line, &path), qPrintable(line));
      QCOMPARE(path, QStringLiteral("untouched"));
    }

    // The text before the blank is taken when it happens to exist...
    const QString stem = tmp_.filePath("My");
    WriteFile(tmp_, "My", "x");
    QVERIFY(ExtractProgramPath(tmp_.filePath("My Tools/run it.sh"), &path));
    QCOMPARE(path, stem);
    QFile::remove(stem);
    // ...and a quoted path may hold blanks.
    QVERIFY(ExtractProgramPath(u'"' + spaced_ + QStringLiteral("\" a b"), &path));
    QCOMPARE(path, spaced_);
    QCOMPARE(ArgumentsAfterProgram(u'"' + spaced_ + QStringLiteral("\"  a b"), spaced_),
             QStringLiteral("a b"));
    QCOMPARE(ArgumentsAfterProgram(tool_ + QStringLiteral(" x \"y z\""), tool_),
             QStringLiteral("x \"y z\""));
    QCOMPARE(ArgumentsAfterProgram(tool_, tool_), QString());
  }

  void namesAreDerivedFromTheCommandLine() {
    // The rule: after the first separator, up to the first dot.
    QCOMPARE(DeriveToolName("/x.exe"), QStringLiteral("x"));
    QCOMPARE(DeriveToolName("/tools/x.exe -v"), QStringLiteral("tools/x"));
    QCOMPARE(DeriveToolName("/bin/python3 script.py"), QStringLiteral("bin/python3 script"));
    // Without any dot the program's own name is used rather than nothing.
    QCOMPARE(DeriveToolName("/bin/sh"), QStringLiteral("sh"));
    QCOMPARE(DeriveToolName("/tools/run"), QStringLiteral("run"));
    const QString dotless = WriteFile(tmp_, "My Tools/plain tool", "x");
    QVERIFY(!dotless.contains(u'.'));
    QCOMPARE(DeriveToolName(u'"' + dotless + QStringLiteral("\" -q")),
             QStringLiteral("plain tool"));
    QCOMPARE(FileNameStem("/a/b/tool.tar.gz"), QStringLiteral("tool"));
    QCOMPARE(FileNameStem("/a/b/.hidden"), QStringLiteral(".hidden"));
  }

  void guiProgramsAreToldByTheirPeHeader() {
    QVERIFY(IsGuiProgram(WriteFile(tmp_, "gui.exe", PeImage(2))));
    QVERIFY(!IsGuiProgram(WriteFile(tmp_, "console.exe", PeImage(3))));
    // A PE header further into the file is followed.
    QVERIFY(IsGuiProgram(WriteFile(tmp_, "far.exe", PeImage(2, 0x400))));
    QVERIFY(!IsGuiProgram(WriteFile(tmp_, "cut.exe", PeImage(2, 0x80, 200))));
    QByteArray noMz = PeImage(2);
    noMz[0] = 'X';
    QVERIFY(!IsGuiProgram(WriteFile(tmp_, "nomz.exe", noMz)));
    QByteArray farOff = PeImage(2);
    qToLittleEndian<quint32>(0xFFFFFFF0u, farOff.data() + 60);
    QVERIFY(!IsGuiProgram(WriteFile(tmp_, "badoffset.exe", farOff)));
    QVERIFY(!IsGuiProgram(WriteFile(tmp_, "short.exe", QByteArray("MZ", 2))));
    // Batch and .com files go to the captured runner whatever they hold.
    QVERIFY(!IsGuiProgram(WriteFile(tmp_, "gui.bat", PeImage(2))));
    QVERIFY(!IsGuiProgram(WriteFile(tmp_, "gui.COM", PeImage(2))));
    QVERIFY(!IsGuiProgram(tool_));
    QVERIFY(!IsGuiProgram(tmp_.filePath("missing.exe")));
  }

  // ------------------------------------------------------------ the table

  void tableSurvivesARestart() {
    const std::string ini = tmp_.filePath("restart.ini").toStdString();
    const std::vector<UserToolEntry> tools = {
        {tool_ + " -a", tmp_.filePath("work dir"), QStringLiteral("First")},
        {QStringLiteral("/bin/sh -c true"), QString(), QStringLiteral("Zweite \u00fc")},
    };
    {
      QSettingsStore store(ini);
      // A longer table stored earlier: its tail must be cleared.
      SaveUserToolTable(store, {tools[0], tools[1], tools[0], tools[1]});
      SaveUserToolTable(store, tools);
      WriteUserMenuInitDir(store, tmp_.path());
      QVERIFY(store.Sync());
    }
    QSettingsStore reopened(ini);
    QCOMPARE(LoadUserToolTable(reopened), tools);
    QCOMPARE(LoadUserToolNames(reopened), (QStringList{"First", "Zweite \u00fc"}));
    QCOMPARE(ReadUserMenuInitDir(reopened), tmp_.path());
    // Free slots hold empty strings rather than being removed.
    for (int n = 2; n < kUserToolSlots; ++n) {
      for (const char* stem : {"MenuCommand", "MenuWorkDir", "MenuName"}) {
        const std::string key = stem + std::to_string(n);
        QVERIFY(reopened.Contains(kSectionUserMenu, key));
        QCOMPARE(Stored(reopened, key), QString());
      }
    }
  }

  void tableAndNamesEndAtTheirFirstGap() {
    MemorySettingsStore store;
    store.WriteString(kSectionUserMenu, "MenuCommand0", "/bin/a");
    store.WriteString(kSectionUserMenu, "MenuName0", "A");
    store.WriteString(kSectionUserMenu, "MenuCommand1", "/bin/b");
    store.WriteString(kSectionUserMenu, "MenuName1", "");  // an empty name
    store.WriteString(kSectionUserMenu, "MenuCommand2", "/bin/c");
    store.WriteString(kSectionUserMenu, "MenuName2", "C");
    store.WriteString(kSectionUserMenu, "MenuName4", "after a gap");
    QCOMPARE(LoadUserToolTable(store).size(), size_t(3));
    QCOMPARE(LoadUserToolNames(store), QStringList{"A"});
  }

  // ----------------------------------------------------- toolbar and menu

  void toolbarButtonsFollowTheStoredNames() {
    MemorySettingsStore store;
    FakeHost host(store);
    QCOMPARE(UpdateUserToolButtons(host), 0);
    for (QAction* a : host.toolActions) QVERIFY(!a->isVisible());

    const QString longName = QString(100, u'n');
    SaveUserToolTable(store, {{"/bin/a", "", "Alpha"}, {"/bin/b", "", longName}});
    const int layouts = host.layouts;
    QCOMPARE(UpdateUserToolButtons(host), 2);
    QVERIFY(host.layouts > layouts);
    QVERIFY(host.toolActions[0]->isVisible());
    QVERIFY(host.toolActions[1]->isVisible());
    for (int n = 2; n < kUserToolSlots; ++n) QVERIFY(!host.toolActions[n]->isVisible());
    QCOMPARE(host.toolActions[0]->toolTip(), QStringLiteral("Alpha"));
    QCOMPARE(host.toolActions[1]->toolTip(), longName.left(79));
    // A character outside the basic plane is not split at the cut.
    const QString clef = QString(78, u'c') + QStringLiteral("\U0001D11E") + QStringLiteral("tail");
    SaveUserToolTable(store, {{"/bin/a", "", clef}});
    UpdateUserToolButtons(host);
    QCOMPARE(host.toolActions[0]->toolTip(), QString(78, u'c'));

    SaveUserToolTable(store, {{"/bin/b", "", "Beta"}});
    QCOMPARE(UpdateUserToolButtons(host), 1);
    QCOMPARE(host.toolActions[0]->toolTip(), QStringLiteral("Beta"));
    QVERIFY(!host.toolActions[1]->isVisible());
  }

  void toolMenuIsRebuiltEachTime() {
    MemorySettingsStore store;
    FakeHost host(store);
    QList<int> launched;
    auto launch = [&](int n) { launched << n; };
    SaveUserToolTable(store,
                      {{"/bin/a", "", "Alpha"}, {"/bin/b", "", "Beta"}, {"/bin/c", "", "Gamma"}});
    BuildToolMenu(host, &host.menu, launch);
    QList<QAction*> items = host.menu.actions();
    QCOMPARE(items.size(), 5);
    QCOMPARE(items[0], host.registerAction);
    QVERIFY(items[1]->isSeparator());
    QCOMPARE(items[2]->text(), QStringLiteral("Alpha\tShift+1"));
    QCOMPARE(items[3]->text(), QStringLiteral("Beta\tShift+2"));
    QCOMPARE(items[4]->text(), QStringLiteral("Gamma\tShift+3"));
    QVERIFY(items[4]->isEnabled());
    items[3]->trigger();
    QCOMPARE(launched, QList<int>{1});

    // Opening again after a change shows the new table, with no leftovers.
    SaveUserToolTable(store, {{"/bin/g", "", "Gamma"}});
    BuildToolMenu(host, &host.menu, launch);
    items = host.menu.actions();
    QCOMPARE(items.size(), 3);
    QCOMPARE(items[2]->text(), QStringLiteral("Gamma\tShift+1"));
    items[2]->trigger();
    QCOMPARE(launched, (QList<int>{1, 0}));
    SaveUserToolTable(store, {});
    BuildToolMenu(host, &host.menu, launch);
    QCOMPARE(host.menu.actions().size(), 2);
  }

  // --------------------------------------------------------------- launch

  void launchChecksComeWithTheirMessages() {
    MemorySettingsStore store;
    FakeHost host(store);
    CToolRunner runner([&](const QString& t) { host.messages.AppendText(t); });
    QVERIFY(QDir(tmp_.path()).mkpath("afolder"));
    const QString gui = WriteFile(tmp_, "app.exe", PeImage(2));
    SaveUserToolTable(store, {
                                 {"tool.sh", "", "bare"},
                                 {tool_, tmp_.filePath("gone"), "nodir"},
                                 {tmp_.filePath("afolder"), "", "folder"},
                                 {gui + " --ignored", tmp_.path(), "gui"},
                             });
    host.messages.AppendText("kept");

    QCOMPARE(LaunchUserTool(host, runner, 4), LaunchResult::NotConfigured);
    QCOMPARE(LaunchUserTool(host, runner, 0), LaunchResult::BadProgramPath);
    QCOMPARE(LaunchUserTool(host, runner, 1), LaunchResult::BadWorkDir);
    QCOMPARE(LaunchUserTool(host, runner, 2), LaunchResult::CannotOpen);
    QCOMPARE(host.informed,
             (QStringList{"The file path of command line is wrong", "The work directory is wrong",
                          "Failed to open executable file"}));
    // A GUI program goes to the desktop without its arguments.
    QCOMPARE(LaunchUserTool(host, runner, 3), LaunchResult::OpenedByDesktop);
    QCOMPARE(host.opened, QStringList{gui + u'|' + tmp_.path()});
    QVERIFY(LaunchAttempted(LaunchResult::OpenedByDesktop));
    QVERIFY(!LaunchAttempted(LaunchResult::BadWorkDir));
    // None of them touched the message window or started anything.
    QCOMPARE(host.messages.toPlainText(), QStringLiteral("kept"));
    QCOMPARE(host.activePage, -1);
    QVERIFY(!runner.IsRunning());
  }

  void consoleToolRunsCapturedAndASecondRunAsksFirst() {
    MemorySettingsStore store;
    FakeHost host(store);
    CToolRunner runner([&](const QString& t) { host.messages.AppendText(t); });
    const QString slow = WriteScript(tmp_, "slow.sh", "echo slow-started\nsleep 1000");
    SaveUserToolTable(store, {{slow, "", "slow"}, {tool_ + " one two", "", "quick"}});
    host.messages.AppendText("old output");
    host.SetActivePage(2);

    QCOMPARE(LaunchUserTool(host, runner, 0), LaunchResult::Started);
    QCOMPARE(host.activePage, 0);
    QVERIFY(!host.messages.toPlainText().contains("old output"));
    QTRY_COMPARE_WITH_TIMEOUT(host.messages.toPlainText(), QStringLiteral("slow-started\n"), kLong);

    // Declined: the first tool keeps running and its output stays.
    host.confirmAnswer = false;
    QCOMPARE(LaunchUserTool(host, runner, 1), LaunchResult::StillRunning);
    QCOMPARE(host.asked.size(), 1);
    QVERIFY(host.asked[0].contains(slow));
    QVERIFY(runner.IsRunning());
    QCOMPARE(host.messages.toPlainText(), QStringLiteral("slow-started\n"));

    // Accepted: the first is stopped and the second runs in a clean window.
    host.confirmAnswer = true;
    QCOMPARE(LaunchUserTool(host, runner, 1), LaunchResult::Started);
    QTRY_VERIFY_WITH_TIMEOUT(!runner.IsRunning(), kLong);
    QCOMPARE(host.messages.toPlainText(), QStringLiteral("tool:one two\n"));
  }

  // A program found in the system's folders, with quoted arguments.
  void interpreterWithArgumentsRuns() {
    MemorySettingsStore store;
    FakeHost host(store);
    CToolRunner runner([&](const QString& t) { host.messages.AppendText(t); });
    SaveUserToolTable(store, {{"/bin/sh -c \"echo sh says $0\" zero", "", "sh"}});
    QCOMPARE(LaunchUserTool(host, runner, 0), LaunchResult::Started);
    QTRY_VERIFY_WITH_TIMEOUT(!runner.IsRunning(), kLong);
    QCOMPARE(host.messages.toPlainText(), QStringLiteral("sh says zero\n"));
  }

  void unstartableToolShowsItsLine() {
    MemorySettingsStore store;
    FakeHost host(store);
    CToolRunner runner([&](const QString& t) { host.messages.AppendText(t); });
    const QString plain = WriteScript(tmp_, "plain.sh", "echo x", false);
    SaveUserToolTable(store, {{plain + " arg", "", "plain"}});
    QCOMPARE(LaunchUserTool(host, runner, 0), LaunchResult::StartFailed);
    QCOMPARE(host.messages.toPlainText(), QStringLiteral("Unable to start %1 arg\n").arg(plain));
    QVERIFY(host.informed.isEmpty());
  }

  // ---------------------------------------------------------------- dialog

  void dialogOpensOnTheStoredTable() {
    MemorySettingsStore store;
    SaveUserToolTable(store, {{tool_, "", "One"}, {tool_ + " 2", tmp_.path(), "Two"}});
    WriteUserMenuInitDir(store, tmp_.path());
    TestDialog d(store);
    QCOMPARE(d.windowTitle(), QStringLiteral("User Tool Configuration"));
    QCOMPARE(Rows(d), (QStringList{"One", "Two"}));
    QCOMPARE(d.SelectedRow(), 1);
    QVERIFY(d.CommandEdit()->text().isEmpty());  // until the user picks a row
    d.SelectRowByUser(0);
    QCOMPARE(d.CommandEdit()->text(), tool_);
    QCOMPARE(d.NameEdit()->text(), QStringLiteral("One"));
    d.SelectRowByUser(1);
    QCOMPARE(d.CommandEdit()->text(), tool_ + " 2");
    QCOMPARE(d.WorkDirEdit()->text(), tmp_.path());
    // The five icon buttons and their tooltips.
    const QList<std::pair<CUserToolDlg::ControlId, QString>> tips = {
        {CUserToolDlg::kIdAdd, "Add"},
        {CUserToolDlg::kIdReplace, "Replace"},
        {CUserToolDlg::kIdDelete, "Delete"},
        {CUserToolDlg::kIdUp, "Up"},
        {CUserToolDlg::kIdDown, "Down"}};
    for (const auto& [id, tip] : tips) {
      QToolButton* b = d.Button(id);
      QVERIFY(b != nullptr);
      QCOMPARE(b->toolTip(), tip);
      QVERIFY2(!b->icon().isNull(), qPrintable(tip));
      QVERIFY(!b->icon().pixmap(16, 16).isNull());
    }
  }

  void addValidatesAndKeepsToFive() {
    MemorySettingsStore store;
    TestDialog d(store);
    QCOMPARE(d.SelectedRow(), -1);
    d.OnAdd();  // empty command line: refused without a word
    QVERIFY(d.informed.isEmpty());
    QCOMPARE(d.List()->count(), 0);

    Fill(d, "tool.sh", "", "x");
    d.OnAdd();
    Fill(d, tool_, tmp_.filePath("nowhere"), "x");
    d.OnAdd();
    QCOMPARE(d.informed, (QStringList{"The file path input of command line is wrong",
                                      "The Work directory input is wrong"}));
    QCOMPARE(d.List()->count(), 0);

    // Blanks around the fields are trimmed; an empty name is derived.
    Fill(d, "  " + tool_ + " -v  ", "  " + tmp_.filePath("work dir") + " ", "   ");
    d.OnAdd();
    QCOMPARE(d.List()->count(), 1);
    QCOMPARE(d.NameEdit()->text(), DeriveToolName(tool_ + " -v"));
    QCOMPARE(d.Tools()[0].command, tool_ + " -v");
    QCOMPARE(d.Tools()[0].workDir, tmp_.filePath("work dir"));
    QCOMPARE(d.SelectedRow(), 0);

    // The same name again is refused (case matters).
    d.informed.clear();
    d.NameEdit()->setText(d.Tools()[0].name);
    d.OnAdd();
    QCOMPARE(d.informed, QStringList{"User tool name is already registered"});
    d.NameEdit()->setText(d.Tools()[0].name.toUpper());
    d.OnAdd();
    QCOMPARE(d.List()->count(), 2);
    QCOMPARE(d.SelectedRow(), 1);

    for (const char* name : {"c", "d", "e"}) {
      d.NameEdit()->setText(name);
      d.OnAdd();
    }
    QCOMPARE(d.List()->count(), 5);
    d.informed.clear();
    d.NameEdit()->setText("sixth");
    d.OnAdd();
    QCOMPARE(d.informed, QStringList{"Support 5 user tools"});
    QCOMPARE(d.List()->count(), 5);
    // A sixth is refused before any check of the fields.
    d.informed.clear();
    Fill(d, "", "", "");
    d.OnAdd();
    QCOMPARE(d.informed, QStringList{"Support 5 user tools"});
  }

  void replaceDeleteAndMoveKeepTheRowsInStep() {
    MemorySettingsStore store;
    const QString w = tmp_.filePath("work dir");
    SaveUserToolTable(store,
                      {{tool_ + " a", "", "A"}, {tool_ + " b", w, "B"}, {tool_ + " c", "", "C"}});
    TestDialog d(store);

    d.List()->clearSelection();
    d.OnReplace();
    d.OnDelete();
    QCOMPARE(d.informed,
             (QStringList{"Select an user tool to replace", "Select an user tool to delete"}));

    // Replace may reuse another tool's name.
    d.SelectRowByUser(2);
    Fill(d, tool_ + " z", "", "A");
    d.OnReplace();
    QCOMPARE(Rows(d), (QStringList{"A", "B", "A"}));
    QCOMPARE(d.Tools()[2].command, tool_ + " z");
    QCOMPARE(d.SelectedRow(), 2);
    // A failing check leaves the row alone.
    d.CommandEdit()->setText("no-separator");
    d.OnReplace();
    QCOMPARE(d.Tools()[2].command, tool_ + " z");

    // Moves swap all three columns and follow the moved row.
    d.SelectRowByUser(1);
    d.OnUp();
    QCOMPARE(Rows(d), (QStringList{"B", "A", "A"}));
    QCOMPARE(d.Tools()[0].workDir, w);
    QCOMPARE(d.Tools()[0].command, tool_ + " b");
    QCOMPARE(d.SelectedRow(), 0);
    d.OnUp();  // first row up: nothing
    QCOMPARE(Rows(d), (QStringList{"B", "A", "A"}));
    d.OnDown();
    d.OnDown();
    QCOMPARE(Names(d), (QStringList{"A", "A", "B"}));
    QCOMPARE(d.Tools()[2].workDir, w);
    QCOMPARE(d.SelectedRow(), 2);
    d.OnDown();  // last row down: nothing
    QCOMPARE(Names(d), (QStringList{"A", "A", "B"}));

    // Delete keeps the position, or falls back to the new last row; the
    // fields stay as they were.
    d.SelectRowByUser(1);
    const QString fields = d.CommandEdit()->text();
    d.OnDelete();
    QCOMPARE(d.List()->count(), 2);
    QCOMPARE(d.SelectedRow(), 1);
    QCOMPARE(d.Tools()[1].name, QStringLiteral("B"));
    QCOMPARE(d.CommandEdit()->text(), fields);
    d.OnDelete();
    QCOMPARE(d.SelectedRow(), 0);
    d.OnDelete();
    QCOMPARE(d.List()->count(), 0);
    QVERIFY(d.Tools().empty());
    const int messages = d.informed.size();
    d.OnDelete();
    d.OnReplace();
    d.OnUp();
    QCOMPARE(d.informed.size(), messages);  // an empty list says nothing
  }

  void okStoresCancelKeepsButTheBrowseFolderIsKept() {
    MemorySettingsStore store;
    SaveUserToolTable(store, {{tool_, "", "Old"}});
    WriteUserMenuInitDir(store, "/start");
    {
      TestDialog d(store);
      Fill(d, tool_ + " new", "", "New");
      d.OnAdd();
      d.nextFolder = tmp_.filePath("work dir");
      d.OnBrowseFolder();
      QCOMPARE(d.browseStarts, QStringList{"/start"});
      QCOMPARE(d.WorkDirEdit()->text(), tmp_.filePath("work dir"));
      d.reject();
    }
    QCOMPARE(LoadUserToolNames(store), QStringList{"Old"});
    QCOMPARE(ReadUserMenuInitDir(store), tmp_.filePath("work dir"));
    {
      TestDialog d(store);
      d.nextProgram = spaced_;
      d.OnBrowseProgram();
      QCOMPARE(d.browseStarts, QStringList{tmp_.filePath("work dir")});
      // A path with a blank is quoted so that it reads back as one program.
      QCOMPARE(d.CommandEdit()->text(), u'"' + spaced_ + u'"');
      QCOMPARE(d.WorkDirEdit()->text(), tmp_.filePath("My Tools"));
      QCOMPARE(d.NameEdit()->text(), QStringLiteral("run it"));
      QCOMPARE(d.InitDir(), tmp_.filePath("My Tools"));
      d.OnAdd();
      d.nextProgram.clear();  // Cancel in the browse dialog changes nothing
      d.OnBrowseProgram();
      QCOMPARE(d.CommandEdit()->text(), u'"' + spaced_ + u'"');
      d.accept();
    }
    const std::vector<UserToolEntry> table = LoadUserToolTable(store);
    QCOMPARE(table.size(), size_t(2));
    QCOMPARE(table[1].command, u'"' + spaced_ + u'"');
    QCOMPARE(table[1].workDir, tmp_.filePath("My Tools"));
    QCOMPARE(Stored(store, "MenuCommand2"), QString());
    QCOMPARE(ReadUserMenuInitDir(store), tmp_.filePath("My Tools"));
  }

  // ----------------------------------------------------------- end to end

  // A tool registered through the dialog shows its output as it writes it,
  // and the table is there again after a restart.
  void registeredScriptStreamsIntoTheMessageWindow() {
    const std::string ini = tmp_.filePath("e2e.ini").toStdString();
    const QString gate = tmp_.filePath("gate");
    const QString script = WriteScript(tmp_, "stream.sh",
                                       QStringLiteral("echo \"first $1\"\n"
                                                      "while [ ! -e '%1' ]; do sleep 0.05; done\n"
                                                      "echo second >&2")
                                           .arg(gate));
    {
      QSettingsStore store(ini);
      FakeHost host(store);
      CUserTools tools(host);
      TestDialog d(store, &host.window);
      Fill(d, script + " now", tmp_.filePath("work dir"), "Streamer");
      d.OnAdd();
      d.accept();
      tools.Refresh();
      QVERIFY(host.toolActions[0]->isVisible());
      QCOMPARE(host.toolActions[0]->toolTip(), QStringLiteral("Streamer"));
    }
    QSettingsStore store(ini);
    FakeHost host(store);
    CUserTools tools(host);
    QVERIFY(host.toolActions[0]->isVisible());
    QVERIFY(!host.toolActions[1]->isVisible());
    // A tool stored meanwhile shows once the window is shown.
    std::vector<UserToolEntry> table = LoadUserToolTable(store);
    QCOMPARE(table.size(), size_t(1));
    table.push_back({tool_, QString(), QStringLiteral("Second")});
    SaveUserToolTable(store, table);
    QVERIFY(!host.toolActions[1]->isVisible());
    host.window.show();
    QVERIFY(host.toolActions[1]->isVisible());
    QCOMPARE(host.toolActions[1]->toolTip(), QStringLiteral("Second"));
    emit host.menu.aboutToShow();
    QCOMPARE(host.menu.actions().size(), 4);
    QCOMPARE(host.menu.actions()[2]->text(), QStringLiteral("Streamer\tShift+1"));

    host.menu.actions()[2]->trigger();
    QVERIFY(tools.Runner().IsRunning());
    // The first line is there while the tool still waits for the gate.
    QTRY_COMPARE_WITH_TIMEOUT(host.messages.toPlainText(), QStringLiteral("first now\n"), kLong);
    QVERIFY(tools.Runner().IsRunning());
    QFile(gate).open(QIODevice::WriteOnly);
    QTRY_VERIFY_WITH_TIMEOUT(!tools.Runner().IsRunning(), kLong);
    QCOMPARE(host.messages.toPlainText(), QStringLiteral("first now\nsecond\n"));
    QFile::remove(gate);

    // The toolbar button starts it too; text from another process appends.
    host.toolActions[0]->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(host.messages.toPlainText(), QStringLiteral("first now\n"), kLong);
    tools.AppendOutputText(QStringLiteral("[other]"));
    QVERIFY(host.messages.toPlainText().endsWith("[other]"));
    tools.StopUserTool();
    QVERIFY(!tools.Runner().IsRunning());
  }

 private:
  QTemporaryDir tmp_;
  QString tool_;
  QString spaced_;
};

QTEST_MAIN(UserToolTest)
#include "usertool_qtest.moc"
