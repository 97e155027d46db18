// User tools: up to five external programs registered by the user and started
// from the Tool menu or the toolbar. Console programs run with their output
// captured into the message window; Windows GUI programs are handed to the
// desktop's open handler.
//
// Path rules. The stored command lines were written with backslashes on
// Windows. Wherever the rules below speak of a "separator" they mean the
// platform's directory separators: '/' everywhere, and also '\' on Windows.
// So on Linux "/usr/bin/python3 script.py" names the program /usr/bin/python3,
// and "C:\tools\x.exe -v" on Windows names C:\tools\x.exe.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "config/SettingsStore.h"

class QAction;
class QMenu;

namespace velmora {

class CMessageWnd;
class CToolRunner;

inline constexpr int kUserToolSlots = 5;
inline constexpr int kCmdRegisterUserTools = 32772;
inline constexpr int kCmdUserTool1 = 32773;  // slot n is kCmdUserTool1 + n
inline constexpr int kOutputTextTag = 819;   // tag of text bound for the message window
// Tooltips of the user-tool buttons keep at most this many characters.
inline constexpr int kUserToolTipChars = 79;

// What the user tools need of the main window. CMainFrame (or an adapter the
// application builds around it) implements this.
class UserToolHost {
 public:
  virtual ~UserToolHost() = default;
  virtual QWidget* Window() = 0;
  virtual SettingsStore& Store() = 0;
  // The Tool popup of the menu bar: "Register User Tools...", a separator, and
  // then the entries that BuildToolMenu manages.
  virtual QMenu* ToolMenu() = 0;
  // Command action by id: 32772 (Register User Tools...) and the toolbar
  // actions 32773 to 32777. May return nullptr for an id the host lacks.
  virtual QAction* CommandAction(int id) = 0;
  // Brings output-bar page `page` to the front (0 = "Message").
  virtual void SetActivePage(int page) = 0;
  virtual CMessageWnd* MessageWindow() = 0;
  // The toolbar may have changed width.
  virtual void RecalcLayout() {}

  // Information message box; tests override it.
  virtual void Inform(const QString& text);
  // Yes/No question box; tests override it.
  virtual bool Confirm(const QString& text);
  // Hands a GUI program to the desktop's open handler (xdg-open outside
  // Windows), started in `workDir`. Returns false when it could not start.
  virtual bool OpenWithDesktop(const QString& programPath, const QString& workDir);
};

// A host over any main window that offers Command(id), ToolMenu(),
// MessageWindow(), SetActivePage(int) and RecalcLayout(), with the settings
// store beside it (CMainFrame does not own the store).
template <typename Frame>
class FrameUserToolHost : public UserToolHost {
 public:
  FrameUserToolHost(Frame& frame, SettingsStore& store) : frame_(frame), store_(store) {}
  QWidget* Window() override { return &frame_; }
  SettingsStore& Store() override { return store_; }
  QMenu* ToolMenu() override { return frame_.ToolMenu(); }
  QAction* CommandAction(int id) override { return frame_.Command(id); }
  void SetActivePage(int page) override { frame_.SetActivePage(page); }
  CMessageWnd* MessageWindow() override { return frame_.MessageWindow(); }
  void RecalcLayout() override { frame_.RecalcLayout(); }

 private:
  Frame& frame_;
  SettingsStore& store_;
};

// One row of the stored tool table (section "User Menu").
struct UserToolEntry {
  QString command;  // program path, optionally a blank and arguments
  QString workDir;  // may be empty
  QString name;
  bool operator==(const UserToolEntry&) const = default;
};

// True for the platform's directory separators.
bool IsPathSeparator(QChar c);

// Finds the program path in a command line: the text from the start up to the
// first blank after the first separator (or the whole line), which must exist.
// A command line that opens with a double quote names the quoted path instead,
// so programs in folders with blanks can be registered. Returns false when
// there is no separator or the path does not exist.
bool ExtractProgramPath(const QString& commandLine, QString* programPath);

// The arguments after the program path of a command line (the text that
// follows the path, or the quoted path, with leading blanks removed).
QString ArgumentsAfterProgram(const QString& commandLine, const QString& programPath);

// Name for a tool whose name field was left empty: the command line after its
// first separator, up to the first '.' of that remainder. When that leaves
// nothing (no '.' at all, as with most Linux programs), the program's file
// name up to its first '.' is used so the tool stays visible in the menu.
QString DeriveToolName(const QString& commandLine);

// The program file name up to its first '.' (the browse dialog's rule).
QString FileNameStem(const QString& path);

// True when the file is a Windows GUI program: "MZ" header, "PE\0\0" at the
// offset found at 60, and subsystem 2 in the optional header. Batch and .com
// files are never GUI programs.
bool IsGuiProgram(const QString& programPath);

// Reads the table: slots from 0 upwards, ending at the first empty command.
std::vector<UserToolEntry> LoadUserToolTable(SettingsStore& store);
// Writes all five slots; free slots are written as empty strings.
void SaveUserToolTable(SettingsStore& store, const std::vector<UserToolEntry>& tools);
// The names seen by the toolbar and the Tool menu: slots from 0 upwards,
// ending at the first empty name.
QStringList LoadUserToolNames(SettingsStore& store);
QString ReadUserMenuInitDir(SettingsStore& store);
void WriteUserMenuInitDir(SettingsStore& store, const QString& dir);

// Shows the toolbar buttons of the named tools (tooltip = name, cut to 79
// characters) and hides the others. Returns the tool count.
int UpdateUserToolButtons(UserToolHost& host);

// Rebuilds the tool entries of the Tool popup from the stored names. Entry n
// reads "name\tShift+<n+1>" and triggers `launch(n)`.
void BuildToolMenu(UserToolHost& host, QMenu* popup, const std::function<void(int)>& launch);

// Outcome of LaunchUserTool, for callers and tests.
enum class LaunchResult {
  NotConfigured,    // empty slot: nothing happens
  BadProgramPath,   // "The file path of command line is wrong"
  BadWorkDir,       // "The work directory is wrong"
  CannotOpen,       // "Failed to open executable file"
  StillRunning,     // a captured tool runs and the user kept it
  OpenedByDesktop,  // GUI program handed to the desktop
  DesktopRefused,   // the desktop could not open it
  Started,          // captured run started
  StartFailed,      // "Unable to start ..." shown in the message window
};
// True for the results where a launch was attempted.
bool LaunchAttempted(LaunchResult r);

// Starts tool `slot` as stored. Captured runs go through `runner`.
LaunchResult LaunchUserTool(UserToolHost& host, CToolRunner& runner, int slot);

// Wires the user tools into the host: the Tool popup, the dialog command,
// the toolbar actions, the show event of the window. Owns the tool runner and
// stops a tool that still runs when it is destroyed.
class CUserTools : public QObject {
  Q_OBJECT

 public:
  explicit CUserTools(UserToolHost& host, QObject* parent = nullptr);
  ~CUserTools() override;

  CToolRunner& Runner() { return *runner_; }
  LaunchResult Launch(int slot);
  // Runs the configuration dialog modally and refreshes the buttons.
  int RunDialog();
  void Refresh() { UpdateUserToolButtons(host_); }
  // Stops a running captured tool (application exit).
  void StopUserTool();

 public slots:
  // Text tagged 819 from another process or thread.
  void AppendOutputText(const QString& text);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  UserToolHost& host_;
  QPointer<QWidget> window_;
  std::unique_ptr<CToolRunner> runner_;
};

}  // namespace velmora
