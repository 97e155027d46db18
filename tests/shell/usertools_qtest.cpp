// User tools: the captured runner driven with small sh scripts, the message
// window that shows what they write, program paths and names, the stored
// table, the Tool menu and toolbar of the main window, the launch checks, the
// configuration dialog, and a run from registration to the message window.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QtEndian>
#include <QtTest>

#include "config/qt/QSettingsStore.h"
#include "shell/MainFrame.h"
#include "shell/MessageWnd.h"
#include "shell/TabViewBar.h"
#include "shell/ToolRunner.h"
#include "shell/UserToolDlg.h"
#include "shell/UserTools.h"

using namespace velmora;

namespace {

QString WriteFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes,
                  bool executable = false) {
  QFile f(dir.filePath(name));
  if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) return {};
  if (executable) f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
  return f.fileName();
}

// An sh script, executable unless told otherwise.
QString WriteScript(const QTemporaryDir& dir, const QString& name, const QString& body,
                    bool executable = true) {
  return WriteFile(dir, name, "#!/bin/sh\n" + body.toUtf8() + '\n', executable);
}

QString ReadAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()).trimmed() : QString();
}

// True while the process exists and is not a zombie waiting to be reaped.
inline bool ProcessAlive(qint64 pid) {
  if (pid <= 0) return false;
  QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
  if (!stat.open(QIODevice::ReadOnly)) return false;
  const QByteArray line = stat.readAll();
  const qsizetype close = line.lastIndexOf(')');
  if (close < 0 || close + 2 >= line.size()) return false;
  const char state = line.at(close + 2);
  return state != 'Z' && state != 'X';
}

constexpr int kLong = 30000;  // generous bound for a busy machine

// What a runner delivers, stream by stream, and how much had come at the end.
struct Capture {
  QString out, err;
  int terminated = 0;
  qsizetype outAtEnd = -1, errAtEnd = -1;
  explicit Capture(CProcessRunner& r) {
    QObject::connect(&r, &CProcessRunner::standardOutput, [this](const QString& t) { out += t; });
    QObject::connect(&r, &CProcessRunner::standardError, [this](const QString& t) { err += t; });
    QObject::connect(&r, &CProcessRunner::terminated, [this](int) {
      ++terminated;
      outAtEnd = out.size();
      errAtEnd = err.size();
    });
  }
};

// The application's adapter over a main window, with its message boxes and
// the desktop recorded.
class Host : public FrameUserToolHost<CMainFrame> {
 public:
  using FrameUserToolHost::FrameUserToolHost;
  void Inform(const QString& text) override { informed << text; }
  bool Confirm(const QString& text) override {
    asked << text;
    return confirmAnswer;
  }
  bool OpenWithDesktop(const QString& path, const QString& dir) override {
    opened << path + u'|' + dir;
    return true;
  }
  bool confirmAnswer = false;
  QStringList informed, asked, opened;
};

struct ToolFrame {
  explicit ToolFrame(SettingsStore& store) : host(frame, store) {
    frame.SetActivePage(CTabViewBar::kSectionPage);
  }
  QString Output() const { return frame.MessageWindow()->toPlainText(); }
  int Page() const { return frame.OutputBar()->ActivePage(); }
  QAction* Slot(int n) { return frame.Command(kCmdUserTool1 + n); }
  QStringList MenuTexts() {
    emit frame.ToolMenu()->aboutToShow();
    QStringList texts;
    for (QAction* a : frame.ToolMenu()->actions()) texts << a->text();
    return texts;
  }
  AppSettings settings;
  CMainFrame frame{settings};
  Host host;
};

// The dialog with its message box and browse dialogs replaced.
class TestDialog : public CUserToolDlg {
 public:
  using CUserToolDlg::CUserToolDlg;
  QStringList informed, browseStarts;
  QString nextProgram, nextFolder;
  void Fill(const QString& cmd, const QString& dir, const QString& name) {
    CommandEdit()->setText(cmd);
    WorkDirEdit()->setText(dir);
    NameEdit()->setText(name);
  }
  QStringList Rows() const {
    QStringList rows, names;  // the list and the table must agree
    for (int i = 0; i < List()->count(); ++i) rows << List()->item(i)->text();
    for (const UserToolEntry& e : Tools()) names << e.name;
    return rows == names ? rows : QStringList{"<out of step>"};
  }
  // The rows and the selected one, as "A B C @1".
  QString State() const { return Rows().join(u' ') + " @" + QString::number(SelectedRow()); }

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

// A DOS stub and, at 0x80, a PE header whose optional header holds `subsystem` at 68.
QByteArray PeImage(quint16 subsystem) {
  QByteArray b(0x80 + 24 + 224, '\0');
  b.replace(0, 2, "MZ");
  qToLittleEndian<quint32>(0x80, b.data() + 60);
  b.replace(0x80, 4, QByteArray("PE\0\0", 4));
  qToLittleEndian<quint16>(subsystem, b.data() + 0x80 + 24 + 68);
  return b;
}

}  // namespace

class UserToolsTest : public QObject {
  Q_OBJECT
 private slots:
  void streamsArgumentsFolderAndExitCode() {
    QTemporaryDir work;
    const QString tool = WriteScript(tmp_, "streams.sh",
                                     "cat\n"  // sees end of input at once
                                     "echo \"out:$1:$2\"\npwd\necho err-line >&2\nexit 3");
    QString sunk;
    CToolRunner runner([&](const QString& t) { sunk += t; });
    Capture cap(runner);
    QVERIFY(runner.StartUserTool(tool, tool + " alpha \"two words\"", work.path()));
    QTRY_COMPARE_WITH_TIMEOUT(cap.terminated, 1, kLong);
    const QString folder = QDir(work.path()).canonicalPath();
    QCOMPARE(cap.out, QStringLiteral("out:alpha:two words\n%1\n").arg(folder));
    QCOMPARE(cap.err, QStringLiteral("err-line\n"));
    QCOMPARE(sunk.size(), cap.out.size() + cap.err.size());  // the sink hears both
    QCOMPARE(runner.LastExitCode(), 3);
  }

  // 1 MiB per stream arrives whole and in order, all of it before the end is
  // reported, although the tool exits right after writing.
  void largeOutputArrivesWholeAndInOrder() {
    const int lines = 65536;  // 16 bytes a line
    const QString tool = WriteScript(
        tmp_, "big.sh",
        QStringLiteral("awk 'BEGIN { for (i = 0; i < %1; i++) { printf \"O%09d-----\\n\", i;"
                       " printf \"E%09d+++++\\n\", i > \"/dev/stderr\" } }'")
            .arg(lines));
    CProcessRunner runner;
    Capture cap(runner);
    QVERIFY(runner.Start(tool, tool, QString()));
    QTRY_COMPARE_WITH_TIMEOUT(cap.terminated, 1, kLong);
    for (const auto& [text, atEnd, mark] :
         {std::tuple{cap.out, cap.outAtEnd, "O%1-----\n"}, {cap.err, cap.errAtEnd, "E%1+++++\n"}}) {
      QString expected;
      for (int i = 0; i < lines; ++i)
        expected += QString::fromLatin1(mark).arg(i, 9, 10, QChar(u'0'));
      QVERIFY(text == expected);
      QCOMPARE(atEnd, expected.size());
    }
  }

  void programsThatCannotStartAreReported_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("workDir");
    QTest::addColumn<QString>("args");
    const QString ok = WriteScript(tmp_, "fine.sh", "echo fine");
    QTest::newRow("missing") << tmp_.filePath("no-such-tool") << QString() << "-x";
    QTest::newRow("not executable")
        << WriteScript(tmp_, "plain.sh", "echo no", false) << QString() << "-x";
    QTest::newRow("missing work dir") << ok << tmp_.filePath("no/dir") << "-x";
    QTest::newRow("overlong line") << tmp_.filePath("none") << QString() << QString(400, u'x');
  }
  void programsThatCannotStartAreReported() {
    QFETCH(QString, program);
    QFETCH(QString, workDir);
    QFETCH(QString, args);
    QString sunk;
    CToolRunner runner([&](const QString& t) { sunk += t; });
    const QString command = program + u' ' + args;
    QVERIFY(!runner.StartUserTool(program, command, workDir));
    // One line of at most 255 characters, its break included.
    const QString line = (QStringLiteral("Unable to start ") + command).left(254) + u'\n';
    QCOMPARE(sunk, line);
    QVERIFY(!runner.IsRunning());
    QVERIFY(QApplication::overrideCursor() == nullptr);
    // The runner is usable again afterwards.
    Capture cap(runner);
    const QString again = WriteScript(tmp_, "again.sh", "echo again");
    QVERIFY(runner.StartUserTool(again, again, QString()));
    QTRY_COMPARE_WITH_TIMEOUT(cap.out, QStringLiteral("again\n"), kLong);
  }

  // A tool that never ends is ended by Stop together with what it started, or
  // with the runner; a second start is refused while it runs; the wait cursor
  // lasts as long.
  void neverEndingToolIsStoppedWithItsChildren() {
    const QString pids = tmp_.filePath("loop.pids");
    const QString tool = WriteScript(
        tmp_, "loop.sh",
        QStringLiteral("sleep 1000 &\necho $$ $! > '%1'\necho started\nwait").arg(pids));
    CToolRunner runner(nullptr);
    Capture cap(runner);
    QVERIFY(runner.StartUserTool(tool, tool, QString()));
    QVERIFY(QApplication::overrideCursor() &&
            QApplication::overrideCursor()->shape() == Qt::WaitCursor);
    QTRY_COMPARE_WITH_TIMEOUT(cap.out, QStringLiteral("started\n"), kLong);
    const QStringList ids = ReadAll(pids).split(u' ');
    QVERIFY(ProcessAlive(ids[0].toLongLong()) && ProcessAlive(ids[1].toLongLong()));

    const QString other = WriteScript(tmp_, "other.sh", "echo other");
    QVERIFY(!runner.StartUserTool(other, other, QString()));
    QCOMPARE(runner.RunningCommand(), tool);

    runner.StopUserTool();
    QVERIFY(!runner.IsRunning());
    QCOMPARE(cap.terminated, 1);
    QCOMPARE(runner.LastExitCode(), 1);
    QVERIFY(QApplication::overrideCursor() == nullptr);
    QVERIFY(!ProcessAlive(ids[0].toLongLong()));
    QTRY_VERIFY_WITH_TIMEOUT(!ProcessAlive(ids[1].toLongLong()), kLong);
    runner.StopUserTool();  // idle: harmless
    QCOMPARE(cap.terminated, 1);
    // Destroying the runner (as the program's exit does) ends the tool too.
    qint64 pid = 0;
    {
      CToolRunner doomed(nullptr);
      QVERIFY(doomed.StartUserTool(tool, tool, QString()));
      QTRY_VERIFY_WITH_TIMEOUT(
          (pid = ReadAll(pids).section(u' ', 0, 0).toLongLong()) != ids[0].toLongLong(), kLong);
    }
    QVERIFY(!ProcessAlive(pid));
    QVERIFY(QApplication::overrideCursor() == nullptr);
  }

  // Multi-byte characters split over chunks are not garbled; an unfinished
  // one at the very end is shown, not dropped.
  void decoderJoinsSplitCharacters() {
    const QString text = QStringLiteral("a\u00e9b\u20acc\U0001D11Ed");
    const QByteArray bytes = text.toUtf8();
    for (qsizetype cut = 0; cut <= bytes.size(); ++cut) {
      for (qsizetype cut2 = cut; cut2 <= bytes.size(); ++cut2) {
        OutputDecoder d;
        QString got = d.Decode(bytes.left(cut));
        got += d.Decode(bytes.mid(cut, cut2 - cut));
        got += d.Decode(bytes.mid(cut2));
        got += d.Flush();
        QCOMPARE(got, text);
      }
    }
    OutputDecoder d;
    QCOMPARE(d.Decode(QByteArray("x\xe2\x82", 3)), QStringLiteral("x"));
    const QString rest = d.Flush();
    QVERIFY(!rest.isEmpty());
    QVERIFY(rest.count(QChar(QChar::ReplacementCharacter)) == rest.size());
  }

  void lineBreaksOfEveryKindGiveOneBreak_data() {
    QTest::addColumn<QStringList>("chunks");
    QTest::addColumn<QString>("shown");
    QTest::newRow("lf") << QStringList{"a\nb\n"} << "a\nb\n";
    QTest::newRow("crlf split over chunks") << QStringList{"a\r", "\nb\r\n"} << "a\nb\n";
    QTest::newRow("lone cr") << QStringList{"a\r", "b"} << "a\nb";
    QTest::newRow("cr cr lf") << QStringList{"a\r", "\r", "\nb"} << "a\n\nb";
  }
  void lineBreaksOfEveryKindGiveOneBreak() {
    QFETCH(QStringList, chunks);
    QFETCH(QString, shown);
    CMessageWnd w;
    for (const QString& c : chunks) w.AppendText(c);
    QCOMPARE(w.toPlainText(), shown);
    // Clear forgets a pending CR: the next run's LF is a break of its own.
    w.AppendText(QStringLiteral("x\r"));
    w.Clear();
    w.AppendText(QStringLiteral("\ny"));
    QCOMPARE(w.toPlainText(), QStringLiteral("\ny"));
  }

  // A tool that writes without end: the window keeps the newest output, in
  // order, under a first line that counts exactly what went (small limits;
  // the window's own are kMaxLines and kMaxChars).
  void endlessOutputKeepsABoundedTail() {
    constexpr int kLines = 1000, kChars = 40000;
    CMessageWnd w;
    w.SetLimits(kLines, kChars);
    QTextDocument* doc = w.document();
    int n = 0;
    while (n < 5 * kLines) {
      QString chunk;
      for (int k = 0; k < 70; ++k) chunk += QStringLiteral("line %1\n").arg(n++);
      w.AppendText(chunk);
    }
    QVERIFY(doc->blockCount() <= kLines + 1);
    QCOMPARE(doc->firstBlock().text(), CMessageWnd::DroppedNotice(w.DroppedChars()));
    const int first = doc->findBlockByNumber(1).text().mid(5).toInt();
    QVERIFY(n - first >= kLines / 2);
    QCOMPARE(doc->blockCount() - 2, n - first);  // every newer line, none twice
    QCOMPARE(doc->lastBlock().previous().text(), QStringLiteral("line %1").arg(n - 1));
    qint64 dropped = 0;
    for (int i = 0; i < first; ++i) dropped += QStringLiteral("line %1\n").arg(i).size();
    QCOMPARE(w.DroppedChars(), dropped);
    // One line without end loses its beginning.
    w.Clear();
    QCOMPARE(w.DroppedChars(), 0);
    for (int k = 0; k < 10; ++k) w.AppendText(QString(kChars / 4, u'x') + QString::number(k));
    QVERIFY(doc->characterCount() <= kChars);
    QVERIFY(w.toPlainText().endsWith(QStringLiteral("xx9")));
    const qint64 shown = doc->characterCount() - 1 - doc->firstBlock().length();
    QCOMPARE(w.DroppedChars() + shown, 10 * (kChars / 4 + 1));
  }

  // Output goes to the end wherever the caret is, and the user cannot type.
  void appendsAtTheEnd() {
    CMessageWnd w;
    w.show();
    QTest::keyClicks(&w, QStringLiteral("typed"));
    QVERIFY(w.IsEmpty());
    w.AppendText(QStringLiteral("first "));
    w.moveCursor(QTextCursor::Start);
    w.AppendText(QStringLiteral("second"));
    QCOMPARE(w.toPlainText(), QStringLiteral("first second"));
  }

  void initTestCase() {
    QVERIFY(tmp_.isValid());
    tool_ = WriteScript(tmp_, "tool.sh", "echo \"tool:$*\"");
    QVERIFY(QDir(tmp_.path()).mkpath("work dir"));
    QVERIFY(QDir(tmp_.path()).mkpath("My Tools"));
    spaced_ = WriteScript(tmp_, "My Tools/run it.sh", "echo spaced");
  }

  void programPathsAndNamesComeFromTheCommandLine() {
    auto program = [](const QString& line) {
      QString path;
      return ExtractProgramPath(line, &path) ? path : QStringLiteral("refused");
    };
    const QString refused = QStringLiteral("refused");
    const std::pair<QString, QString> lines[] = {
        {tool_ + " -v --x=1", tool_},
        {"/bin/sh script.py", "/bin/sh"},
        {u'"' + spaced_ + "\" a b", spaced_},
        {"", refused},
        {"tool.sh", refused},      // no separator
        {"sh " + tool_, refused},  // the path runs to the end
        {tool_ + ".missing", refused},
        {spaced_, refused},  // cut at the blank
        {u'"' + spaced_, refused},
        {"\"tool.sh\" -v", refused}};
    for (const auto& [line, expected] : lines) QCOMPARE(program(line), expected);
    QCOMPARE(ArgumentsAfterProgram(u'"' + spaced_ + "\"  a b", spaced_), QStringLiteral("a b"));
    // Names: the path without the leading separator and the extension; without any dot, the
    // program's own name.
    for (const auto& [line, name] : {std::pair{"/x.exe", "x"},
                                     {"/tools/x.exe -v", "tools/x"},
                                     {"/bin/python3 script.py", "bin/python3 script"},
                                     {"/bin/sh", "sh"}})
      QCOMPARE(DeriveToolName(line), QString::fromLatin1(name));
    QCOMPARE(FileNameStem("/a/tool.tar.gz"), QStringLiteral("tool"));
  }

  // Only an .exe whose PE header says GUI is one; a header pointer past the end is no header.
  void guiProgramsAreToldByTheirPeHeader() {
    QByteArray noMz = PeImage(2), farOffset = PeImage(2);
    noMz[0] = 'X';
    qToLittleEndian<quint32>(0xFFFFFFF0u, farOffset.data() + 60);
    QCOMPARE(IsGuiProgram(WriteFile(tmp_, "gui.exe", PeImage(2))), true);
    for (const auto& [file, bytes] : {std::pair{"console.exe", PeImage(3)},
                                      {"nomz.exe", noMz},
                                      {"off.exe", farOffset},
                                      {"gui.BAT", PeImage(2)}})
      QVERIFY2(!IsGuiProgram(WriteFile(tmp_, file, bytes)), file);
  }

  void tableSurvivesARestart() {
    const std::string ini = tmp_.filePath("restart.ini").toStdString();
    const std::vector<UserToolEntry> tools = {
        {tool_ + " -a", tmp_.filePath("work dir"), QStringLiteral("First")},
        {QStringLiteral("/bin/sh -c true"), QString(), QStringLiteral("Zweite \u00fc")}};
    {
      QSettingsStore store(ini);
      SaveUserToolTable(store, {tools[0], tools[1], tools[0], tools[1]});
      SaveUserToolTable(store, tools);  // a shorter table clears the tail
      QVERIFY(store.Sync());
    }
    QSettingsStore reopened(ini);
    QCOMPARE(LoadUserToolTable(reopened), tools);
    // Readers by name stop at the first empty name, the table at the first empty command.
    reopened.WriteString(kSectionUserMenu, "MenuName0", "");
    QCOMPARE(LoadUserToolNames(reopened), QStringList());
    QCOMPARE(LoadUserToolTable(reopened).size(), size_t(2));
  }

  // Refusals come in a box; a GUI program goes to the desktop; a second run
  // asks first; a start that fails says so in the window.
  void launchRules() {
    MemorySettingsStore store;
    ToolFrame tf(store);
    CToolRunner runner([&](const QString& t) { tf.frame.MessageWindow()->AppendText(t); });
    const QString gui = WriteFile(tmp_, "app.exe", PeImage(2));
    const QString slow = WriteScript(tmp_, "slow.sh", "echo slow-started\nsleep 1000");
    const QString plain = WriteScript(tmp_, "plain.sh", "echo x", false);
    QVERIFY(QDir(tmp_.path()).mkpath("afolder"));
    SaveUserToolTable(store, {{"tool.sh", "", "bare"},
                              {tool_, tmp_.filePath("gone"), "nodir"},
                              {tmp_.filePath("afolder"), "", "folder"},
                              {gui + " --ignored", tmp_.path(), "gui"},
                              {slow, "", "slow"}});
    tf.frame.MessageWindow()->AppendText("kept");
    QCOMPARE(LaunchUserTool(tf.host, runner, 0), LaunchResult::BadProgramPath);
    QCOMPARE(LaunchUserTool(tf.host, runner, 1), LaunchResult::BadWorkDir);
    QCOMPARE(LaunchUserTool(tf.host, runner, 2), LaunchResult::CannotOpen);
    QCOMPARE(tf.host.informed,
             (QStringList{"The file path of command line is wrong", "The work directory is wrong",
                          "Failed to open executable file"}));
    QCOMPARE(LaunchUserTool(tf.host, runner, 3), LaunchResult::OpenedByDesktop);
    QCOMPARE(tf.host.opened, QStringList{gui + u'|' + tmp_.path()});  // without its arguments
    QCOMPARE(tf.Output(), QStringLiteral("kept"));
    QCOMPARE(tf.Page(), int(CTabViewBar::kSectionPage));

    QCOMPARE(LaunchUserTool(tf.host, runner, 4), LaunchResult::Started);
    QTRY_COMPARE_WITH_TIMEOUT(tf.Output(), QStringLiteral("slow-started\n"), kLong);
    SaveUserToolTable(
        store, {{"/bin/sh -c \"echo sh says $0\" zero", "", "sh"}, {plain + " arg", "", "plain"}});
    // Declined: the first keeps running and its output stays.
    QCOMPARE(LaunchUserTool(tf.host, runner, 0), LaunchResult::StillRunning);
    QCOMPARE(tf.host.asked.size(), 1);
    QCOMPARE(tf.Output(), QStringLiteral("slow-started\n"));
    // Accepted: the first is stopped; the second runs in a clean window.
    tf.host.confirmAnswer = true;
    QCOMPARE(LaunchUserTool(tf.host, runner, 0), LaunchResult::Started);
    QTRY_VERIFY_WITH_TIMEOUT(!runner.IsRunning(), kLong);
    QCOMPARE(tf.Output(), QStringLiteral("sh says zero\n"));
    QCOMPARE(LaunchUserTool(tf.host, runner, 1), LaunchResult::StartFailed);
    QCOMPARE(tf.Output(), QStringLiteral("Unable to start %1 arg\n").arg(plain));
    QCOMPARE(LaunchUserTool(tf.host, runner, 2), LaunchResult::NotConfigured);
    QCOMPARE(tf.host.informed.size(), 3);
  }

  // The desktop's opener starts in the tool's work directory, so the program
  // it hands on does too (a stand-in opener first on the path says where).
  void guiProgramsStartInTheirWorkDirectory() {
    QTemporaryDir bin;
    const QString seen = tmp_.filePath("opened.txt");
    QVERIFY(
        !WriteScript(
             bin, "xdg-open",
             QStringLiteral("{ pwd -P; echo \"$1\"; } > '%1.part'; mv '%1.part' '%1'").arg(seen))
             .isEmpty());
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin.path()) + ':' + path);
    MemorySettingsStore store;
    ToolFrame tf(store);
    const QString gui = WriteFile(tmp_, "app.exe", PeImage(2));
    QVERIFY(QDir(tmp_.path()).mkpath("work"));
    const bool started = tf.host.UserToolHost::OpenWithDesktop(gui, tmp_.filePath("work"));
    qputenv("PATH", path);
    QVERIFY(started);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(seen), kLong);
    QCOMPARE(ReadAll(seen), QDir(tmp_.filePath("work")).canonicalPath() + '\n' + gui);
  }

  void dialogAddValidatesAndKeepsToFive() {
    MemorySettingsStore store;
    SaveUserToolTable(store, {{tool_, "", "One"}});
    TestDialog d(store);
    QCOMPARE(d.SelectedRow(), 0);
    QVERIFY(d.CommandEdit()->text().isEmpty());  // until the user picks a row
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    QTest::mouseClick(d.List()->viewport(), Qt::LeftButton, {},
                      d.List()->visualItemRect(d.List()->item(0)).center());
    QCOMPARE(d.CommandEdit()->text(), tool_);

    const QStringList rejected[] = {{"", "", ""},  // empty command line: refused without a word
                                    {"tool.sh", "", "x"},
                                    {tool_, tmp_.filePath("nowhere"), "x"},
                                    {tool_, "", "One"}};
    for (const QStringList& f : rejected) {
      d.Fill(f[0], f[1], f[2]);
      d.OnAdd();
    }
    QCOMPARE(d.informed, (QStringList{"The file path input of command line is wrong",
                                      "The Work directory input is wrong",
                                      "User tool name is already registered"}));
    QCOMPARE(d.State(), QStringLiteral("One @0"));
    // Blanks are trimmed; an empty name is derived and shown; case matters.
    d.Fill("  " + tool_ + " -v ", " " + tmp_.filePath("work dir") + " ", "  ");
    d.OnAdd();
    const QString derived = DeriveToolName(tool_ + " -v");
    QCOMPARE(d.NameEdit()->text(), derived);
    QCOMPARE(d.Tools()[1], (UserToolEntry{tool_ + " -v", tmp_.filePath("work dir"), derived}));
    QCOMPARE(d.State(), "One " + derived + " @1");
    for (const char* name : {"ONE", "d", "e"}) {
      d.NameEdit()->setText(name);
      d.OnAdd();
    }
    QCOMPARE(d.List()->count(), 5);
    d.informed.clear();
    d.Fill("", "", "");  // the limit comes before any check of the fields
    d.OnAdd();
    QCOMPARE(d.informed, QStringList{"Support 5 user tools"});
    QCOMPARE(d.List()->count(), 5);
  }

  void dialogReplaceDeleteAndMoveKeepTheRowsInStep() {
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

    d.SelectRowByUser(2);
    d.Fill(tool_ + " z", "", "A");  // may reuse another tool's name
    d.OnReplace();
    QCOMPARE(d.State(), QStringLiteral("A B A @2"));
    QCOMPARE(d.Tools()[2].command, tool_ + " z");
    d.SelectRowByUser(1);
    d.OnUp();
    d.OnUp();  // already first: nothing
    QCOMPARE(d.State(), QStringLiteral("B A A @0"));
    QCOMPARE(d.Tools()[0], (UserToolEntry{tool_ + " b", w, "B"}));
    for (int i = 0; i < 3; ++i) d.OnDown();  // the last is already last
    QCOMPARE(d.State(), QStringLiteral("A A B @2"));
    // Delete keeps the position, or takes the new last row; fields stay.
    d.SelectRowByUser(1);
    const QString fields = d.CommandEdit()->text();
    d.OnDelete();
    QCOMPARE(d.State(), QStringLiteral("A B @1"));
    QCOMPARE(d.CommandEdit()->text(), fields);
    d.OnDelete();
    QCOMPARE(d.State(), QStringLiteral("A @0"));
    d.OnDelete();
    QCOMPARE(d.Rows(), QStringList());
    const qsizetype messages = d.informed.size();
    d.OnDelete();
    d.OnReplace();
    QCOMPARE(d.informed.size(), messages);  // an empty list says nothing
  }

  void dialogCancelKeepsTheTableButNotTheFolderAndBrowsedPathsAreQuoted() {
    MemorySettingsStore store;
    SaveUserToolTable(store, {{tool_, "", "Old"}});
    WriteUserMenuInitDir(store, "/start");
    {
      TestDialog d(store);
      d.Fill(tool_ + " new", "", "New");
      d.OnAdd();
      d.nextFolder = tmp_.filePath("work dir");
      d.OnBrowseFolder();
      QCOMPARE(d.WorkDirEdit()->text(), d.nextFolder);
      d.reject();
      QCOMPARE(d.browseStarts, QStringList{"/start"});
    }
    QCOMPARE(LoadUserToolNames(store), QStringList{"Old"});
    QCOMPARE(ReadUserMenuInitDir(store), tmp_.filePath("work dir"));
    {
      TestDialog d(store);
      d.nextProgram = spaced_;
      d.OnBrowseProgram();
      QCOMPARE(d.browseStarts, QStringList{tmp_.filePath("work dir")});
      // A path with a blank is quoted so that it reads back as one program.
      QCOMPARE(
          QStringList({d.CommandEdit()->text(), d.WorkDirEdit()->text(), d.NameEdit()->text()}),
          QStringList({u'"' + spaced_ + u'"', tmp_.filePath("My Tools"), "run it"}));
    }
  }

  // Registered through the dialog, shown in the main window's menu and
  // toolbar after a restart, started from either, a tool's output shows as it
  // is written.
  void registeredToolRunsFromTheMenuAndTheToolbar() {
    const std::string ini = tmp_.filePath("e2e.ini").toStdString();
    const QString gate = tmp_.filePath("gate");
    const QString script = WriteScript(
        tmp_, "stream.sh",
        QStringLiteral(
            "echo \"first $1\"\nwhile [ ! -e '%1' ]; do sleep 0.05; done\necho second >&2")
            .arg(gate));
    {
      QSettingsStore store(ini);
      TestDialog d(store);
      d.Fill(script + " now", tmp_.filePath("work dir"), "Streamer");
      d.OnAdd();
      d.accept();
    }
    QSettingsStore store(ini);
    const QString longName = QString(78, u'n') + QStringLiteral("\U0001D11E") + QString(20, u'm');
    std::vector<UserToolEntry> table = LoadUserToolTable(store);
    SaveUserToolTable(store, {table[0], {tool_, QString(), longName}});
    ToolFrame tf(store);
    CUserTools tools(tf.host);
    for (int n = 0; n < kUserToolSlots; ++n) QCOMPARE(tf.Slot(n)->isVisible(), n < 2);
    QCOMPARE(tf.Slot(0)->toolTip(), QStringLiteral("Streamer"));
    QCOMPARE(tf.Slot(1)->toolTip(), QString(78, u'n'));  // cut, the surrogate pair kept whole
    QCOMPARE(tf.MenuTexts(), (QStringList{"Register User Tools...\tShift+C", "",
                                          "Streamer\tShift+1", longName + "\tShift+2"}));

    tf.frame.ToolMenu()->actions()[2]->trigger();
    QCOMPARE(tf.Page(), int(CTabViewBar::kMessagePage));
    QTRY_COMPARE_WITH_TIMEOUT(tf.Output(), QStringLiteral("first now\n"), kLong);
    QVERIFY(tools.Runner().IsRunning());  // still waiting for the gate
    QFile(gate).open(QIODevice::WriteOnly);
    QTRY_VERIFY_WITH_TIMEOUT(!tools.Runner().IsRunning(), kLong);
    QCOMPARE(tf.Output(), QStringLiteral("first now\nsecond\n"));
    QFile::remove(gate);
    // After a change, menu and toolbar follow without leftovers once the window shows.
    SaveUserToolTable(store, {table[0]});
    tf.frame.show();
    QVERIFY(!tf.Slot(1)->isVisible());
    QCOMPARE(tf.MenuTexts().mid(2), QStringList{"Streamer\tShift+1"});
    tf.Slot(0)->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(tf.Output(), QStringLiteral("first now\n"), kLong);
    tools.StopUserTool();
    QVERIFY(!tools.Runner().IsRunning());
  }

 private:
  QTemporaryDir tmp_;
  QString tool_, spaced_;
};

QTEST_MAIN(UserToolsTest)
#include "usertools_qtest.moc"
