#include "shell/MonitorControl.h"

#include <QAction>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>
#include <algorithm>

#include "config/AppSettings.h"
#include "image/ProgramImage.h"
#include "monitoring/WatchLists.h"
#include "podlink/PodLink.h"
#include "shell/BRightView.h"
#include "shell/Commands.h"
#include "shell/ConsoleDlg.h"
#include "shell/PlotView.h"
#include "shell/RecorderWindow.h"
#include "shell/TRightView.h"

namespace velmora {

namespace {

QString BoxTitle() {
  return QStringLiteral("Velmora UT");
}

// Console commands 3 to 5 go to the panes, as the views of the document.
class PaneLists : public WatchListTarget {
 public:
  PaneLists(CTRightView* variables, CBRightView* addresses)
      : variables_(variables), addresses_(addresses) {}
  void AddVariable(const std::string& name, uint32_t address, uint8_t viewType,
                   uint16_t typeCode) override {
    if (variables_) variables_->AddVariable(name, address, viewType, typeCode);
  }
  void AddAddress(uint32_t address, uint8_t viewType) override {
    if (addresses_) addresses_->AddAddress(address, viewType);
  }
  void DeleteVariableRow(uint32_t index) override {
    if (variables_) variables_->DeleteItemRow(index);
  }
  void DeleteAddressRow(uint32_t index) override {
    if (addresses_) addresses_->DeleteItemRow(index);
  }
  void DeleteAllVariables() override {
    if (variables_) variables_->DeleteAllItems();
  }
  void DeleteAllAddresses() override {
    if (addresses_) addresses_->DeleteAllItems();
  }

 private:
  CTRightView* variables_;
  CBRightView* addresses_;
};

}  // namespace

void MonitorPrompt::Information(QWidget* parent, const QString& text) {
  QMessageBox::information(parent, BoxTitle(), text);
}

void MonitorPrompt::Error(QWidget* parent, const QString& text) {
  QMessageBox::critical(parent, BoxTitle(), text);
}

CMonitorControl::CMonitorControl(CMainFrame& frame, CPodLink& link, AppSettings& settings,
                                 SettingsStore& store, ProgramData& program, QObject* parent)
    : QObject(parent),
      frame_(frame),
      link_(link),
      settings_(settings),
      store_(store),
      program_(program),
      port_(std::make_unique<PodLinkPort>(link)) {
  timer_ = new QTimer(this);
  timer_->setObjectName(QStringLiteral("MonitoringTimer"));
  timer_->setSingleShot(true);
  connect(timer_, &QTimer::timeout, this, &CMonitorControl::OnTimer);

  variablePane_ = new CTRightView(*this, store_);
  addressPane_ = new CBRightView(*this, store_);
  console_ = new CConsoleDlg(*this);
  frame_.SetVariablePane(variablePane_);
  frame_.SetAddressPane(addressPane_);
  frame_.SetCommandPage(console_);

  // The plot is a window of its own beside the main window, so it never
  // takes room from the watch panes.
  plot_ = new CPlotView(&store_, &frame_);
  if (QMenu* view = frame_.Popup(3)) {
    QAction* toggle = view->addAction(QStringLiteral("Plot Window(&P)"));
    toggle->setObjectName(QStringLiteral("PlotWindowAction"));
    toggle->setCheckable(true);
    toggle->setStatusTip(QStringLiteral("Show or hide the plot of watched values"));
    connect(toggle, &QAction::triggered, this, [this](bool on) {
      if (on)
        ShowPlot();
      else if (plot_)
        plot_->hide();
    });
    connect(plot_, &CPlotView::visibilityChanged, toggle, &QAction::setChecked);
  }
  recorder_ = new CRecorderWindow(*this, &frame_);
  if (QMenu* view = frame_.Popup(3)) {
    QAction* toggle = view->addAction(QStringLiteral("Recorder(&R)"));
    toggle->setObjectName(QStringLiteral("RecorderWindowAction"));
    toggle->setCheckable(true);
    toggle->setStatusTip(
        QStringLiteral("Capture watched variables at the target's control-loop rate"));
    connect(toggle, &QAction::triggered, this, [this](bool on) {
      if (on)
        RecordVariables({});
      else if (recorder_)
        recorder_->hide();
    });
    connect(recorder_, &CRecorderWindow::visibilityChanged, toggle, &QAction::setChecked);
  }

  if (QAction* a = frame_.Command(cmd::kVariableMonitoring))
    connect(a, &QAction::triggered, this, [this] { ToggleVariableMonitoring(); });
  if (QAction* a = frame_.Command(cmd::kAddressMonitoring))
    connect(a, &QAction::triggered, this, [this] { ToggleAddressMonitoring(); });
  UpdateCommandUi();
}

CMonitorControl::~CMonitorControl() {
  monitoringActive_ = false;
  timer_->stop();
}

CTRightView* CMonitorControl::VariablePane() const {
  return variablePane_;
}
CBRightView* CMonitorControl::AddressPane() const {
  return addressPane_;
}
CConsoleDlg* CMonitorControl::Console() const {
  return console_;
}
CPlotView* CMonitorControl::Plot() const {
  return plot_;
}

bool CMonitorControl::PodFound() const {
  return link_.Found();
}

int CMonitorControl::PeriodMs() const {
  return static_cast<int>(MonitoringPeriodMs(settings_));
}

bool CMonitorControl::TimerRunning() const {
  return timer_->isActive();
}

void CMonitorControl::SetPrompt(MonitorPrompt* prompt) {
  prompt_ = prompt ? prompt : &defaultPrompt_;
}

void CMonitorControl::SetChangeSymbolHook(ChangeSymbolHook hook) {
  changeSymbol_ = std::move(hook);
}

void CMonitorControl::SetChangeAddressHook(ChangeAddressHook hook) {
  changeAddress_ = std::move(hook);
}

bool CMonitorControl::EnsureOpen() {
  return link_.Open();
}

void CMonitorControl::ArmTimer() {
  timer_->start(PeriodMs());
}

void CMonitorControl::KillTimer() {
  timer_->stop();
}

void CMonitorControl::SetLamp(bool on) {
  frame_.SetStatusPane(pane::kMonitoringLamp, QString(), on);
}

// ---------------------------------------------------------------------------
// Start and stop

void CMonitorControl::SetLinkBusy(bool busy) {
  linkBusy_ = busy;
  UpdateCommandUi();
}

void CMonitorControl::StartMonitoring(int mode) {
  if (linkBusy_) return;  // the procedure owns the link; its end restarts what ran
  const bool noVariables = program_.variables.empty();
  auto noVariableMessage = [&] {
    prompt_->Information(&frame_, QString::fromLatin1(kNoVariableText));
  };
  auto usbMessage = [&] { prompt_->Error(&frame_, QString::fromLatin1(kUsbHandleText)); };
  switch (mode) {
    case kMonitorVariables:
      if (!monitoringActive_) {
        if (noVariables) {
          noVariableMessage();
          variableMonitoring_ = false;
          break;
        }
        if (!EnsureOpen()) {
          usbMessage();
          variableMonitoring_ = false;
          break;
        }
        monitoringActive_ = true;
        variableMonitoring_ = true;
        SetLamp(true);
        ArmTimer();
      } else if (noVariables) {
        noVariableMessage();
        variableMonitoring_ = false;
      } else {
        variableMonitoring_ = true;
      }
      break;
    case kMonitorAddresses:
      if (!monitoringActive_) {
        if (!EnsureOpen()) {
          usbMessage();
          addressMonitoring_ = false;
          break;
        }
        monitoringActive_ = true;
        addressMonitoring_ = true;
        SetLamp(true);
        ArmTimer();
      } else {
        addressMonitoring_ = true;
      }
      break;
    case kMonitorBoth:
      if (!monitoringActive_) {
        if (!EnsureOpen()) {
          usbMessage();
          variableMonitoring_ = false;
          addressMonitoring_ = false;
          break;
        }
        monitoringActive_ = true;
        if (noVariables) noVariableMessage();
        variableMonitoring_ = !noVariables;
        addressMonitoring_ = true;
        SetLamp(true);
        ArmTimer();
      } else {
        monitoringActive_ = true;
        if (noVariables) noVariableMessage();
        variableMonitoring_ = !noVariables;
        addressMonitoring_ = true;
      }
      break;
    default:
      break;
  }
  UpdateCommandUi();
}

void CMonitorControl::StopMonitoring(int mode) {
  auto stopAll = [this] {
    monitoringActive_ = false;
    variableMonitoring_ = false;
    addressMonitoring_ = false;
    KillTimer();
    link_.Purge();  // the device stays open
    SetLamp(false);
  };
  switch (mode) {
    case kMonitorBoth:
      stopAll();
      break;
    case kMonitorVariables:
      if (addressMonitoring_)
        variableMonitoring_ = false;
      else
        stopAll();
      break;
    case kMonitorAddresses:
      if (variableMonitoring_)
        addressMonitoring_ = false;
      else
        stopAll();
      break;
    default:
      break;
  }
  UpdateCommandUi();
}

void CMonitorControl::ToggleVariableMonitoring() {
  if (variableMonitoring_)
    StopMonitoring(kMonitorVariables);
  else
    StartMonitoring(kMonitorVariables);
}

void CMonitorControl::ToggleAddressMonitoring() {
  if (addressMonitoring_)
    StopMonitoring(kMonitorAddresses);
  else
    StartMonitoring(kMonitorAddresses);
}

void CMonitorControl::UpdateCommandUi() {
  const bool found = PodFound() && !linkBusy_;
  if (QAction* a = frame_.Command(cmd::kVariableMonitoring)) {
    const bool enabled = found && !program_.variables.empty();
    a->setEnabled(enabled);
    a->setChecked(enabled && variableMonitoring_);
  }
  if (QAction* a = frame_.Command(cmd::kAddressMonitoring)) {
    a->setEnabled(found);
    a->setChecked(found && addressMonitoring_);
  }
}

// ---------------------------------------------------------------------------
// The tick

void CMonitorControl::OnTimer() {
  Tick();
}

void CMonitorControl::Tick() {
  KillTimer();  // a tick never overlaps the next one
  if (!monitoringActive_) return;
  if (plot_) plot_->BeginTick();
  bool ok = true;
  if (variableMonitoring_) ok = variablePane_ && variablePane_->RefreshValues();
  // A failed read stops everything; the other list is not tried on a link
  // that has just failed.
  if (ok && addressMonitoring_) ok = addressPane_ && addressPane_->RefreshValues();
  if (ok) {
    ArmTimer();  // the period is read anew each time
    return;
  }
  // Silent stop: no message; rows keep their last values.
  monitoringActive_ = false;
  variableMonitoring_ = false;
  addressMonitoring_ = false;
  SetLamp(false);
  UpdateCommandUi();
}

// ---------------------------------------------------------------------------
// Watch lists

bool CMonitorControl::IsVariableRegistered(const std::string& name) const {
  return velmora::IsVariableRegistered(program_.variables, name);
}

void CMonitorControl::AddSymbolVariable(const std::string& name) {
  if (variablePane_) variablePane_->AddSymbolVariable(name);
}

void CMonitorControl::AddVariable(const std::string& name, uint32_t address, uint8_t viewType,
                                  uint16_t typeCode) {
  if (variablePane_) variablePane_->AddVariable(name, address, viewType, typeCode);
}

bool CMonitorControl::IsAddressRegistered(uint32_t address) const {
  return velmora::IsAddressRegistered(program_.addresses, address);
}

void CMonitorControl::AddAddress(uint32_t address, uint8_t viewType) {
  if (addressPane_) addressPane_->AddAddress(address, viewType);
}

void CMonitorControl::UpdateResolvedVariables() {
  if (!variablePane_) return;
  // Variables only, and only when they are being read.
  const int mode = variableMonitoring_ ? kMonitorVariables : 0;
  if (mode) StopMonitoring(mode);
  variablePane_->UpdateResolvedVariables();
  if (mode) StartMonitoring(mode);
}

void CMonitorControl::RebuildVariableRows() {
  if (variablePane_) variablePane_->RebuildRows();
}

void CMonitorControl::RebuildAddressRows() {
  if (addressPane_) addressPane_->RebuildRows();
}

bool CMonitorControl::WriteWord(uint32_t address, uint32_t word) {
  if (linkBusy_ || !link_.Open()) return false;
  return link_.WriteTargetWord(address, word);
}

// ---------------------------------------------------------------------------
// Console

void CMonitorControl::PostConsoleCommand(const ConsoleCommand& command) {
  pending_ = command;
  // Each hand-over carries its own record, so two lines typed before the
  // first runs both run as typed.
  QMetaObject::invokeMethod(
      this, [this, command] { ExecuteConsoleCommand(command); }, Qt::QueuedConnection);
}

void CMonitorControl::ExecuteConsoleCommand(const ConsoleCommand& command) {
  // A line handed over just before a procedure started runs while it lets
  // events through: it is refused like a line typed now.
  if (linkBusy_) {
    PrintLine({kConsoleBusyText, kConsoleErrorColour});
    return;
  }
  PaneLists lists(variablePane_, addressPane_);
  velmora::ExecuteConsoleCommand(command, *port_, lists,
                                 [this](const ConsoleLine& line) { PrintLine(line); });
}

void CMonitorControl::ResetConsoleState() {
  pending_ = ConsoleCommand{};
}

void CMonitorControl::PrintLine(const ConsoleLine& line) {
  if (console_) console_->PrintLine(line);
}

// ---------------------------------------------------------------------------
// Plot

void CMonitorControl::PlotVariables(const QList<int>& rows) {
  if (!plot_) return;
  for (int row : rows)
    if (row >= 0 && static_cast<size_t>(row) < program_.variables.size())
      plot_->AddVariable(program_.variables[static_cast<size_t>(row)]);
  ShowPlot();
}

void CMonitorControl::PlotAddresses(const QList<int>& rows) {
  if (!plot_) return;
  for (int row : rows)
    if (row >= 0 && static_cast<size_t>(row) < program_.addresses.size())
      plot_->AddAddress(program_.addresses[static_cast<size_t>(row)]);
  ShowPlot();
}

CRecorderWindow* CMonitorControl::RecorderWindow() const {
  return recorder_;
}

void CMonitorControl::RecordVariables(const QList<int>& rows) {
  if (!recorder_) return;
  if (!rows.isEmpty() && !recorder_->Running()) {
    QStringList names;
    for (int row : rows)
      if (row >= 0 && static_cast<size_t>(row) < program_.variables.size())
        names << QString::fromStdString(program_.variables[static_cast<size_t>(row)].name);
    recorder_->SelectChannels(names);
  }
  recorder_->show();
  recorder_->raise();
  recorder_->activateWindow();
}

void CMonitorControl::ShowPlot() {
  if (!plot_) return;
  plot_->show();
  plot_->raise();
  plot_->activateWindow();
}

}  // namespace velmora
