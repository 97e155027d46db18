// The application object: owner of everything that describes the loaded
// program (paths, program image, sections, symbols, both watch lists), of the
// settings, the pod link and the main window; start-up, exit, the File
// commands, the Action commands, the configuration command and About.
//
// Tests build one with their own settings store, prompter and clock (see
// AppServices) so that nothing touches the user's settings and no message box
// waits for a click.
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <memory>

#include "app/Prompter.h"
#include "app/RecentFiles.h"
#include "app/StartupOptions.h"
#include "config/AppSettings.h"
#include "config/Clock.h"
#include "config/MicroTimer.h"
#include "config/SettingsStore.h"
#include "image/ProgramImage.h"
#include "shell/LeftView.h"
#include "shell/MainFrame.h"
#include "shell/ProgressDlg.h"
#include "shell/SectionPane.h"

class QAction;

namespace velmora {

class CMonitorControl;
class MonitorPrompt;
class CPodLink;
class CUserTools;
class ProgressObserver;
class SingleInstance;
class UserToolHost;

inline constexpr const char* kAppTitle = "Velmora UT Ver2.25 for TMS320C3X";
inline constexpr const char* kFailedToOpenFileText = "Failed to open file";
inline constexpr const char* kCoffFilter = "Coff Files (.out) (*.out);;All Files (*.*) (*)";
inline constexpr const char* kSymbolOpenFilter = "Symbol Files (.sym) (*.sym)";
inline constexpr const char* kSymbolSaveFilter = "Symbol Files (*.sym) (*.sym)";

// What the application is given instead of creating it itself.
struct AppServices {
  SettingsStore* store = nullptr;   // null: the --settings file, else the user's settings
  AppPrompter* prompter = nullptr;  // null: real message boxes and dialogs
  Clock* clock = nullptr;           // null: the steady clock (link time-outs and waits)
  MicroDelayer* delayer = nullptr;  // null: the calibrated micro-timer
  // Name of the one-instance-per-machine check; empty skips the check.
  QString instanceName;
};

// The single-instance name for these options: "Velmora UT" for the user's
// settings, a name tied to the file when --settings names another one (a
// portable copy with its own settings may run beside the installed one).
QString InstanceNameFor(const StartupOptions& options);

// "Velmora UT Ver2.25 for TMS320C3X", then " - " and the path, then
// " , Date : " and the date when there is one.
QString BuildWindowTitle(const QString& coffPath, const QString& dateText, bool simulated);
// The file's last-write time as "yyyy/MM/dd  HH:mm:ss" in local time; empty
// when it cannot be read.
QString FileDateText(const QString& path);
// The path up to and including its last directory separator.
QString DirectoryOf(const QString& path);

// The six procedure commands of the Action menu.
enum class TargetAction {
  kSerialBoot,
  kSerialBootVerify,
  kRomBoot,
  kRomBootVerify,
  kRomVerify,
  kRomRead
};

class CSarvoApp : public QObject, public FrameHost, public SymbolPaneHost {
  Q_OBJECT

 public:
  CSarvoApp(StartupOptions options, AppServices services = {});
  ~CSarvoApp() override;

  // The one instance (null before construction and after destruction).
  static CSarvoApp* Instance();

  // Start-up; false ends the process without a window (a second instance,
  // or a main window that could not be built).
  bool InitInstance();
  // Exit: paths and settings written, lists released, a running tool stopped,
  // the window destroyed. Runs once; the destructor calls it when needed.
  void ExitInstance();

  // --- Program state ---
  ProgramData& Program() { return program_; }
  AppSettings& Settings() { return settings_; }
  SettingsStore& Store() { return *store_; }
  AppPrompter& Prompter() { return *prompter_; }
  RecentFileList& RecentFiles() { return recent_; }
  const QString& CoffFilePath() const { return coffPath_; }
  const QString& CoffFileDirectory() const { return coffDir_; }
  const QString& SymbolFilePath() const { return symPath_; }
  const QString& SymbolFileDirectory() const { return symDir_; }
  const QString& WorkingDirectory() const { return workDir_; }
  const QString& DateText() const { return dateText_; }
  const StartupOptions& Options() const { return options_; }

  // --- Parts ---
  CMainFrame* Frame() const { return frame_.get(); }
  CLeftView* SymbolPane() const { return symbolPane_; }
  CSectionPane* SectionPane() const { return sectionPane_; }
  CMonitorControl* Monitor() const { return monitor_.get(); }
  CPodLink& Link() { return *link_; }
  CProgressDlg* ProgressDialog() const { return progressDlg_; }
  CAnimateProgressDlg* AnimationDialog() const { return animationDlg_; }
  CMicroTimer& MicroTimer() { return timer_; }
  CUserTools* UserTools() const { return userTools_.get(); }
  // Pod search results of start-up.
  bool DriverLoaded() const { return driverLoaded_; }
  bool PodFound() const { return podFound_; }

  // --- File commands ---
  void OnFileOpen();                 // 57601
  void OnReload();                   // 32778
  void OnOpenRecentFile(int index);  // 57616 entries
  void OnOpenSymbolFile();           // 32779
  void OnSaveSymbolFile();           // 32780
  // Reads the file, reports a failure, sets the size pane and the section
  // pane; the reader's result code.
  int OpenCoffFile(const QString& path);
  // The open command without its dialog: 1 (no message) when the file cannot
  // be opened, else OpenCoffFile's result; the recent list is not touched.
  int LoadCoffFile(const QString& path);
  // Recent entries and the command line: LoadCoffFile, and on success the
  // path goes to the top of the recent list. A failed entry stays.
  int OpenDocumentFile(const QString& path);

  // --- Action and configuration commands ---
  void RunTargetAction(TargetAction action);
  void OnTargetReset();    // 32803
  void OnConfiguration();  // 32808
  void OnAbout();          // 57664

  QString WindowTitle() const;
  // True while a target procedure runs: the window stays alive through the
  // events the procedure lets through, but no other command may start.
  bool ProcedureRunning() const { return procedureRunning_; }

  // --- FrameHost ---
  MonitoringFlags Monitoring() override;
  void StopMonitoring(int mode) override;
  void StartMonitoring(int mode) override;
  void ClearMonitoringActive() override;
  bool ClosePodLink() override;
  void ResetConsoleState() override;
  void UpdateCommandUi(CMainFrame& frame) override;
  void Inform(CMainFrame& frame, const QString& text) override;

  // --- SymbolPaneHost ---
  bool VariableMonitoring() override;
  void UpdateResolvedVariables() override;
  bool IsVariableRegistered(const std::string& name) override;
  void AddSymbolVariable(const std::string& name) override;
  void OpenCoffFile() override { OnFileOpen(); }
  void DeleteAllSymbols() override;
  bool ProcedureRunning() override { return procedureRunning_; }

 private:
  bool CreateMainWindow();
  void ConnectCommands();
  void StartPod();
  int LoadCoffPath(const QString& path, bool fromDialog);
  void RefillSymbolPane();
  void ResolveVariables();
  void RebuildRecentMenu();
  void SetTitle();
  void ApplyDerivedSettings();
  int RunningMode();
  void SetSymbolPath(const QString& path);
  SettingsStore* OpenOwnedStore();

  StartupOptions options_;
  AppServices services_;
  std::unique_ptr<SettingsStore> ownedStore_;
  SettingsStore* store_ = nullptr;
  Clock* clock_ = nullptr;
  AppPrompter defaultPrompter_;
  AppPrompter* prompter_ = &defaultPrompter_;

  AppSettings settings_;
  ProgramData program_;
  QString coffPath_, coffDir_, symPath_, symDir_, workDir_, dateText_;
  // What the title names: the file of the last successful load.
  QString titlePath_, titleDate_;
  RecentFileList recent_;
  CMicroTimer timer_;
  std::unique_ptr<CPodLink> link_;
  bool driverLoaded_ = false;
  bool podFound_ = false;

  std::unique_ptr<SingleInstance> instance_;
  std::unique_ptr<CMainFrame> frame_;
  QPointer<CLeftView> symbolPane_;
  QPointer<CSectionPane> sectionPane_;
  std::unique_ptr<CMonitorControl> monitor_;
  std::unique_ptr<MonitorPrompt> monitorPrompt_;
  std::unique_ptr<UserToolHost> toolHost_;
  std::unique_ptr<CUserTools> userTools_;
  QPointer<CProgressDlg> progressDlg_;
  QPointer<CAnimateProgressDlg> animationDlg_;
  std::unique_ptr<ProgressObserver> observer_;
  QList<QAction*> recentActions_;
  bool initialised_ = false;
  bool exited_ = false;
  bool procedureRunning_ = false;
  bool closeRequested_ = false;

  friend class ProcedureScope;
};

}  // namespace velmora
