// A pod with a running responder behind the FTDI seam, counting the target
// reads, and a rig of main window, pod link and monitoring control around it.
#pragma once

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QSplitter>
#include <QTest>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "config/AppSettings.h"
#include "config/Clock.h"
#include "config/MicroTimer.h"
#include "config/SettingsStore.h"
#include "image/ProgramImage.h"
#include "monitoring/responder_pod.h"
#include "podlink/FtdiApi.h"
#include "podlink/PodLink.h"
#include "shell/BRightView.h"
#include "shell/ConsoleDlg.h"
#include "shell/MainFrame.h"
#include "shell/MonitorControl.h"
#include "shell/TRightView.h"

namespace velmora::test {

class RecordingPrompt : public MonitorPrompt {
 public:
  QStringList information, errors;
  void Information(QWidget*, const QString& text) override { information << text; }
  void Error(QWidget*, const QString& text) override { errors << text; }
};

// Forwards the frame's monitoring questions to the control, as the application's host does.
class ForwardingHost : public FrameHost {
 public:
  CMonitorControl* control = nullptr;
  MonitoringFlags Monitoring() override { return control ? control->Flags() : MonitoringFlags{}; }
  void StopMonitoring(int mode) override {
    if (control) control->StopMonitoring(mode);
  }
  void StartMonitoring(int mode) override {
    if (control) control->StartMonitoring(mode);
  }
  void ClearMonitoringActive() override {
    if (control) control->ClearMonitoringActive();
  }
  void UpdateCommandUi(CMainFrame&) override {
    if (control) control->UpdateCommandUi();
  }
};

// Frame, link and control over a ResponderPod (or, through makeApi, another
// device on the rig's clock), with the settings kept in memory.
struct MonitorRig {
  using ApiFactory = std::function<std::unique_ptr<FtdiApi>(VirtualClock&)>;
  explicit MonitorRig(bool podPresent = true, const ApiFactory& makeApi = {}) {
    if (!podPresent) pod.devices.clear();
    if (makeApi) ownedApi = makeApi(clock);
    FtdiApi* target = ownedApi ? ownedApi.get() : &pod;
    link = std::make_unique<CPodLink>(
        [target](std::string&) { return std::unique_ptr<FtdiApi>(new ApiProxy(*target)); }, clock,
        delayer);
    settings.dataIntervalTime = 1;  // 50 ms
    settings.dataScanTime = 0;      // 10 us
    link->SetTransferSettings(Derive(settings));
    link->LoadDriver();
    link->FindDevice();
    frame = std::make_unique<CMainFrame>(settings);
    frame->SetHost(&host);
    control = std::make_unique<CMonitorControl>(*frame, *link, settings, store, program);
    control->SetPrompt(&prompt);
    host.control = control.get();
  }
  ~MonitorRig() {
    host.control = nullptr;
    frame->SetHost(nullptr);
    control.reset();
    frame.reset();
    link.reset();
  }

  CTRightView& Variables() { return *control->VariablePane(); }
  CBRightView& Addresses() { return *control->AddressPane(); }
  CConsoleDlg& Console() { return *control->Console(); }

  // Shows the frame tall enough for long lists.
  void ShowFrame() {
    if (frame->isVisible()) return;
    settings.left = settings.top = 0;
    settings.right = 1000;
    settings.bottom = 1400;
    settings.firstSetup = 1;
    frame->show();
    QApplication::processEvents();
  }

  // Sizes a pane in its splitter so that exactly `rows` full rows fit (and half of one more).
  void ShowRows(CMonitorListView& pane, int rows) {
    ShowFrame();
    QSplitter* splitter = frame->InnerSplitter();
    const int rowHeight = pane.verticalHeader()->defaultSectionSize();
    const int chrome = pane.height() - pane.viewport()->height();
    const int wanted = chrome + rows * rowHeight + rowHeight / 2;
    const int total = splitter->height() - splitter->handleWidth();
    splitter->setSizes(splitter->indexOf(&pane) == 0 ? QList<int>{wanted, total - wanted}
                                                     : QList<int>{total - wanted, wanted});
    QApplication::processEvents();
  }

  // Variables v0.. at base.., holding 1000 + i in target memory.
  void AddItems(int n, uint32_t base = 0x809800) {
    for (int i = 0; i < n; ++i) {
      pod.memory[base + static_cast<uint32_t>(i)] = 1000 + static_cast<uint32_t>(i);
      control->AddVariable("v" + std::to_string(i), base + static_cast<uint32_t>(i), 1, 4);
    }
  }

  // The running mode, the tick timer and the lamp, as "mode 2 timer lamp".
  QString State() const {
    QString s = QStringLiteral("mode %1").arg(control->RunningMode());
    if (control->TimerRunning()) s += " timer";
    if (frame->IsLampOn()) s += " lamp";
    return s;
  }

  // A console line typed and entered.
  void Type(const QString& line) {
    Console().Input()->setFocus();
    Console().Input()->setText(line);
    QTest::keyClick(Console().Input(), Qt::Key_Return);
  }
  QStringList LogLines() {
    QStringList lines;
    for (int i = 0; i < Console().Log()->LineCount(); ++i) lines << Console().Log()->LineText(i);
    return lines;
  }

  VirtualClock clock;
  VirtualMicroDelayer delayer{clock};
  ResponderPod pod;
  AppSettings settings;
  MemorySettingsStore store;
  ProgramData program;
  RecordingPrompt prompt;
  ForwardingHost host;
  std::unique_ptr<FtdiApi> ownedApi;
  std::unique_ptr<CPodLink> link;
  std::unique_ptr<CMainFrame> frame;
  std::unique_ptr<CMonitorControl> control;
};

inline CDataObject SymbolEntry(const std::string& name, uint32_t address, uint16_t type,
                               const std::string& array = "") {
  CDataObject s;
  s.name = name;
  s.address = address;
  s.typeCode = type;
  s.arrayText = array;
  return s;
}

inline void SelectRows(CMonitorListView& pane, std::initializer_list<int> rows) {
  pane.clearSelection();
  for (int row : rows)
    pane.selectionModel()->select(pane.model()->index(row, 0),
                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

}  // namespace velmora::test
