// The program's single top-level window: menu bar, toolbar, five-pane status
// bar, three list panes in two splitters, and the dockable output bar.
//
// How the application plugs in:
//  - Commands: every menu, key and toolbar command is a QAction found with
//    Command(id) (ids in shell/Commands.h). Connect its triggered() signal to
//    the handler and decide enabling/checking with setEnabled/setChecked,
//    typically from FrameHost::UpdateCommandUi, which runs whenever a menu
//    opens and a few times a second while the program is idle (the update-UI
//    rule of the command table).
//  - Panes: SetSymbolPane, SetVariablePane, SetAddressPane, SetSectionPage
//    and SetCommandPage put the application's widgets in place of the empty
//    placeholders the frame starts with. The "Message" page is the frame's own
//    CMessageWnd (MessageWindow()).
//  - Recent files: FileMenu() holds the disabled placeholder Command(57616)
//    ("Recent File"); entries go in front of it (hide it while there are some).
//  - User tools: ToolMenu() is the Tool popup ("Register User Tools...", a
//    separator, then entries the user-tool code manages when the popup's
//    aboutToShow fires); Command(32772) and the hidden toolbar actions
//    Command(32773)..Command(32777) are theirs to connect, show and tooltip.
//  - Everything the frame needs of others (monitoring, the pod link, the
//    console) goes through FrameHost; SetHost installs it. The host must stay
//    alive while the frame is, or be removed with SetHost(nullptr).
//  - Closing: close() (File Exit, the close box) runs the close request:
//    monitoring flag, pod link, then StoreLayout. Destroying a frame that was
//    never closed stores nothing.
//  - Layout values: the frame reads the window layout from the AppSettings
//    record on its first show and writes them back into the record when it
//    closes (StoreLayout). Writing the record to the settings store is the
//    application's job (SaveSettings).
#pragma once

#include <QHash>
#include <QMainWindow>
#include <QPixmap>
#include <QPointer>
#include <QRect>
#include <cstdint>

#include "config/AppSettings.h"

class QLabel;
class QMenu;
class QSplitter;
class QTimer;
class QToolBar;

namespace velmora {

class CMainFrame;
class CMessageWnd;
class CTabViewBar;

// The monitoring flags as the frame sees them.
struct MonitoringFlags {
  bool active = false;
  bool variable = false;
  bool address = false;
};
// 4 when both kinds run, 1 variables only, 2 addresses only, 0 when monitoring
// is not active or neither kind is on.
int MonitoringModeFor(const MonitoringFlags& flags);

// What the frame asks of the rest of the program. Every operation has a
// harmless default so that a frame without a host (tests, start-up) works.
class FrameHost {
 public:
  virtual ~FrameHost() = default;
  // Monitoring state; a window resize stops and restarts monitoring around it.
  virtual MonitoringFlags Monitoring() { return {}; }
  virtual void StopMonitoring(int mode) { (void)mode; }
  virtual void StartMonitoring(int mode) { (void)mode; }
  // Close request: first the monitoring-active flag is cleared, then the pod
  // link is closed (false = the close failed; the window closes anyway).
  virtual void ClearMonitoringActive() {}
  virtual bool ClosePodLink() { return true; }
  // InitStatusBar puts the console's pending-command state back to its start.
  virtual void ResetConsoleState() {}
  // Enabling and check marks of the commands (menus opening, idle).
  virtual void UpdateCommandUi(CMainFrame& frame) { (void)frame; }
  // Information message box; tests override it.
  virtual void Inform(CMainFrame& frame, const QString& text);
};

// Show states as stored in "ShowCmd".
inline constexpr uint32_t kShowNormal = 1;
inline constexpr uint32_t kShowMinimized = 2;
inline constexpr uint32_t kShowMaximized = 3;
uint32_t ShowCmdFromState(Qt::WindowStates state);
// Minimised (2, 6, 7, 11) and maximised (3) come back as such; anything else,
// including a hidden state, shows the window normally.
Qt::WindowStates StateFromShowCmd(uint32_t showCmd);

// The output bar's first rectangle in a client area: the stored docked size
// when both values are known (> 0), else the quarter-wide, sixth-high corner.
QRect OutputBarRect(const QRect& client, int msgWndCX, int msgWndCY);

// The stored normal rectangle made safe to show: at least the minimum size,
// and moved into view when it lies entirely off every screen.
QRect SanitizeNormalRect(const QRect& stored, const QList<QRect>& screens, const QSize& minimum);

class CMainFrame : public QMainWindow {
  Q_OBJECT

 public:
  static constexpr quint32 kOutputTextTag = 819;
  static constexpr const char* kCloseFailedText = "Failed to close USB Handle";
  static constexpr const char* kSimulatedBoardText = "Simulated board";
  static constexpr const char* kReadyText = "Ready";

  explicit CMainFrame(AppSettings& settings, QWidget* parent = nullptr);
  ~CMainFrame() override;

  void SetHost(FrameHost* host);
  AppSettings& Settings() { return settings_; }

  // Commands.
  QAction* Command(int id) const { return commands_.value(id, nullptr); }
  QList<int> CommandIds() const { return commands_.keys(); }
  QMenu* Popup(int index) const;  // 0 File ... 5 Help
  QMenu* FileMenu() const { return Popup(0); }
  QMenu* ToolMenu() const { return Popup(4); }
  QToolBar* ToolBar() const { return toolBar_; }
  // Runs the host's update-UI step and refreshes the View check marks.
  void UpdateCommandUi();

  // Status bar. `SetStatusPane` sets the text of any pane but the lamp pane
  // (61207), which shows the green lamp when `lampOn` and the grey one otherwise.
  void SetStatusPane(int paneId, const QString& text, bool lampOn = false);
  QString StatusPaneText(int paneId) const;
  QLabel* StatusPane(int paneId) const;
  bool IsLampOn() const { return lampOn_; }
  void InitStatusBar();
  // "Simulated board" marker of the status bar.
  void SetSimulatedBoard(bool on);
  bool IsSimulatedBoard() const { return simulated_; }

  // Output bar.
  CTabViewBar* OutputBar() const { return outputBar_; }
  CMessageWnd* MessageWindow() const;
  void SetActivePage(int index);
  void SetSectionPage(QWidget* page);
  void SetCommandPage(QWidget* page);
  // Text tagged 819 goes to the message window; other tags change nothing.
  void HandleCopyData(quint32 id, const QString& text);

  // Client panes.
  void SetSymbolPane(QWidget* pane);
  void SetVariablePane(QWidget* pane);
  void SetAddressPane(QWidget* pane);
  QWidget* SymbolPane() const;
  QWidget* VariablePane() const;
  QWidget* AddressPane() const;
  QSplitter* OuterSplitter() const { return outer_; }
  QSplitter* InnerSplitter() const { return inner_; }
  int LeftPaneCurrentWidth() const;

  // Copies the window placement, the pane sizes and the output bar's docked
  // size into the settings record (done when the window closes).
  void StoreLayout();
  void RecalcLayout();
  // The bars' right-click menu: the three View toggles.
  QMenu* createPopupMenu() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildCommands();
  void BuildMenus();
  void BuildToolBar();
  void BuildStatusBar();
  void BuildOutputBar();
  void BuildClientArea();
  void ApplyFirstShowPlacement();
  void ReplacePane(QSplitter* splitter, int index, QWidget* pane);

  AppSettings& settings_;
  FrameHost defaultHost_;
  FrameHost* host_ = &defaultHost_;

  QHash<int, QAction*> commands_;
  QList<QMenu*> popups_;
  QToolBar* toolBar_ = nullptr;
  QPointer<QAction> userToolSeparator_;
  QHash<int, QLabel*> panes_;
  QLabel* simulatedLabel_ = nullptr;
  QPixmap lampOffImage_, lampOnImage_;
  bool lampOn_ = false;
  bool simulated_ = false;
  CTabViewBar* outputBar_ = nullptr;
  QSplitter* outer_ = nullptr;
  QSplitter* inner_ = nullptr;
  QTimer* idleTimer_ = nullptr;

  bool firstShow_ = true;
  bool placed_ = false;
  // Pane sizes waiting for their splitter's first real size.
  bool outerSizePending_ = false;
  bool innerSizePending_ = false;
};

}  // namespace velmora
