// Live monitoring of the two watch lists: the monitoring flags, start and stop
// by mode, the self-rearming tick that re-reads the visible rows, the console's
// command execution, and the plot of watched values.
//
// The application creates one CMonitorControl after the main window. Its
// constructor builds the variable pane, the address pane, the console page and
// the plot and puts them into the frame (SetVariablePane, SetAddressPane,
// SetCommandPage; the plot is a window of its own, shown from the View menu or
// by "Plot Selected Items"). The application's FrameHost forwards to it:
//
//   MonitoringFlags Monitoring()  -> monitor.Flags()
//   StopMonitoring(mode)          -> monitor.StopMonitoring(mode)
//   StartMonitoring(mode)         -> monitor.StartMonitoring(mode)
//   ClearMonitoringActive()       -> monitor.ClearMonitoringActive()
//   ResetConsoleState()           -> monitor.ResetConsoleState()
//   UpdateCommandUi(frame)        -> monitor.UpdateCommandUi() (32783, 32792)
//
// Commands 32783 and 32792 are connected here (ToggleVariableMonitoring,
// ToggleAddressMonitoring). Work that must not overlap a tick (target
// actions, configuration, .sym commands, refilling the symbol pane) pauses
// monitoring with RunningMode()/StopMonitoring/StartMonitoring, or with a
// MonitoringPause object on the stack.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "monitoring/ConsoleParser.h"
#include "monitoring/TargetPort.h"
#include "shell/MainFrame.h"

class QTimer;
class QWidget;

namespace velmora {

class CBRightView;
class CConsoleDlg;
class CPlotView;
class CPodLink;
class CRecorderWindow;
class CTRightView;
class SettingsStore;
struct AppSettings;
struct ProgramData;

// Monitoring modes handed to StartMonitoring and StopMonitoring.
inline constexpr int kMonitorVariables = 1;
inline constexpr int kMonitorAddresses = 2;
inline constexpr int kMonitorBoth = 4;
inline constexpr int kMonitoringTimerId = 2002;

inline constexpr const char* kNoVariableText = "No varible is registered for monitoring";
inline constexpr const char* kUsbHandleText = "Failed to get USB Handle";
// The console's answer while a target procedure holds the link.
inline constexpr const char* kConsoleBusyText =
    "[ ERROR ] : A target procedure is running; enter the command again when it has ended";

// What the variable pane hands to the change-symbol-data dialog.
struct ChangeSymbolRequest {
  QString name;          // the row's "Symbol Name"
  QString addressText;   // "0x%06X"
  QString dataTypeText;  // the row's "Data Type"
  QString valueText;     // the row's current "Monitor Value"
  uint8_t viewType = 0;
  uint16_t typeCode = 0;
};

// What the address pane hands to the change-address dialog.
struct ChangeAddressRequest {
  QString addressText;   // the row's "Address"
  QString viewTypeText;  // text of the item's view type
  QString valueText;     // the row's current "Monitor Value"
  uint8_t viewType = 0;
};

// Runs the dialog modally; true (with the entered word) on OK, false on Cancel.
using ChangeSymbolHook =
    std::function<bool(QWidget* parent, const ChangeSymbolRequest& request, uint32_t& word)>;
using ChangeAddressHook =
    std::function<bool(QWidget* parent, const ChangeAddressRequest& request, uint32_t& word)>;

// Message boxes of the monitoring control; tests replace them.
class MonitorPrompt {
 public:
  virtual ~MonitorPrompt() = default;
  virtual void Information(QWidget* parent, const QString& text);  // "No varible ..."
  virtual void Error(QWidget* parent, const QString& text);        // "Failed to get USB Handle"
};

class CMonitorControl : public QObject {
 public:
  // The references must outlive the control. `store` keeps the panes' column
  // widths (section "View Information").
  CMonitorControl(CMainFrame& frame, CPodLink& link, AppSettings& settings, SettingsStore& store,
                  ProgramData& program, QObject* parent = nullptr);
  ~CMonitorControl() override;

  // --- Monitoring state ---
  bool monitoringActive() const { return monitoringActive_; }
  bool variableMonitoring() const { return variableMonitoring_; }
  bool addressMonitoring() const { return addressMonitoring_; }
  MonitoringFlags Flags() const {
    return {monitoringActive_, variableMonitoring_, addressMonitoring_};
  }
  // 4 both, 1 variables only, 2 addresses only, 0 not running.
  int RunningMode() const { return MonitoringModeFor(Flags()); }

  void StartMonitoring(int mode);
  void StopMonitoring(int mode);
  void ToggleVariableMonitoring();
  void ToggleAddressMonitoring();
  // Close request: the pending tick then kills its own timer.
  void ClearMonitoringActive() { monitoringActive_ = false; }
  // While a target procedure (serial boot, flash) runs, it alone talks to the
  // pod: monitoring does not start, console commands are refused with
  // kConsoleBusyText, the panes' commands that read or write are disabled,
  // and items are still added (without starting monitoring).
  void SetLinkBusy(bool busy);
  bool LinkBusy() const { return linkBusy_; }
  // Enabling and check marks of 32783 and 32792.
  void UpdateCommandUi();
  // True when the pod was found at start-up.
  bool PodFound() const;
  // The monitoring period from the settings, in milliseconds.
  int PeriodMs() const;
  // One tick now (what timer 2002 runs); exposed for tests.
  void Tick();
  bool TimerRunning() const;

  // --- Watch-list operations (the panes carry them out) ---
  bool IsVariableRegistered(const std::string& name) const;
  void AddSymbolVariable(const std::string& name);
  void AddVariable(const std::string& name, uint32_t address, uint8_t viewType, uint16_t typeCode);
  bool IsAddressRegistered(uint32_t address) const;
  void AddAddress(uint32_t address, uint8_t viewType);
  // After a COFF load refilled the symbol table.
  void UpdateResolvedVariables();
  // After a .sym file replaced the lists.
  void RebuildVariableRows();
  void RebuildAddressRows();

  // --- Console ---
  // Queues a parsed command; it runs after everything already queued.
  void PostConsoleCommand(const ConsoleCommand& command);
  void ExecuteConsoleCommand(const ConsoleCommand& command);
  void ResetConsoleState();
  // Prints on the console page (notices of the panes).
  void PrintLine(const ConsoleLine& line);

  // --- Change-data dialogs and prompts ---
  void SetChangeSymbolHook(ChangeSymbolHook hook);
  void SetChangeAddressHook(ChangeAddressHook hook);
  const ChangeSymbolHook& ChangeSymbolDialog() const { return changeSymbol_; }
  const ChangeAddressHook& ChangeAddressDialog() const { return changeAddress_; }
  void SetPrompt(MonitorPrompt* prompt);  // null restores the message boxes

  // Writes a word for the panes after a change dialog; the outcome is not shown.
  bool WriteWord(uint32_t address, uint32_t word);
  // The pod link's word operations as the panes and the console use them.
  TargetWordPort& Port() { return *port_; }
  // The last command handed over by the console (reset by ResetConsoleState).
  const ConsoleCommand& PendingCommand() const { return pending_; }

  // --- Parts ---
  CMainFrame& Frame() const { return frame_; }
  CPodLink& Link() const { return link_; }
  ProgramData& Program() const { return program_; }
  AppSettings& Settings() const { return settings_; }
  CTRightView* VariablePane() const;
  CBRightView* AddressPane() const;
  CConsoleDlg* Console() const;
  // The plot window (hidden until asked for).
  CPlotView* Plot() const;
  // Adds the selected rows of a pane to the plot and shows it.
  void PlotVariables(const QList<int>& rows);
  void PlotAddresses(const QList<int>& rows);
  // The recorder window (hidden until asked for); RecordVariables ticks the
  // rows' variables in it and shows it.
  CRecorderWindow* RecorderWindow() const;
  void RecordVariables(const QList<int>& rows);

 private:
  bool EnsureOpen();
  void ArmTimer();
  void KillTimer();
  void SetLamp(bool on);
  void OnTimer();
  void ShowPlot();

  CMainFrame& frame_;
  CPodLink& link_;
  AppSettings& settings_;
  SettingsStore& store_;
  ProgramData& program_;

  bool monitoringActive_ = false;
  bool linkBusy_ = false;
  bool variableMonitoring_ = false;
  bool addressMonitoring_ = false;
  QTimer* timer_ = nullptr;
  std::unique_ptr<TargetWordPort> port_;
  ConsoleCommand pending_;

  QPointer<CTRightView> variablePane_;
  QPointer<CBRightView> addressPane_;
  QPointer<CConsoleDlg> console_;
  QPointer<CPlotView> plot_;
  QPointer<CRecorderWindow> recorder_;

  ChangeSymbolHook changeSymbol_;
  ChangeAddressHook changeAddress_;
  MonitorPrompt defaultPrompt_;
  MonitorPrompt* prompt_ = &defaultPrompt_;
};

// Stops the running mode for its lifetime and restarts the same mode after.
class MonitoringPause {
 public:
  explicit MonitoringPause(CMonitorControl& control)
      : control_(control), mode_(control.RunningMode()) {
    if (mode_) control_.StopMonitoring(mode_);
  }
  ~MonitoringPause() {
    if (mode_) control_.StartMonitoring(mode_);
  }
  int Mode() const { return mode_; }
  MonitoringPause(const MonitoringPause&) = delete;
  MonitoringPause& operator=(const MonitoringPause&) = delete;

 private:
  CMonitorControl& control_;
  int mode_;
};

}  // namespace velmora
