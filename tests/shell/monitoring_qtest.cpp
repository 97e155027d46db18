// Monitoring in the desktop program: the control's modes, tick, failed reads,
// pauses and commands; the variable and address panes with their menus and
// change hooks; the console page; the plot; and end to end on the virtual
// board: the demo's counter watched from the symbol pane, writes through the
// change dialog and the console, a .sym file saved and loaded.
#include <QAction>
#include <QApplication>
#include <QChartView>
#include <QComboBox>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QLineSeries>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QValueAxis>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "c3x/Assembler.h"
#include "config/AppSettings.h"
#include "config/Clock.h"
#include "config/MicroTimer.h"
#include "config/SettingsStore.h"
#include "image/CoffReader.h"
#include "image/ProgramImage.h"
#include "image/SymbolFile.h"
#include "image/SymbolTable.h"
#include "monitoring/ValueFormats.h"
#include "monitoring/responder_pod.h"
#include "podlink/FtdiApi.h"
#include "podlink/PodLink.h"
#include "shell/BRightView.h"
#include "shell/ChangeDataDlg.h"
#include "shell/Commands.h"
#include "shell/ConsoleDlg.h"
#include "shell/LeftView.h"
#include "shell/MainFrame.h"
#include "shell/MonitorControl.h"
#include "shell/PlotView.h"
#include "shell/RecorderWindow.h"
#include "shell/TRightView.h"
#include "sim/Board.h"
#include "sim/SimFtdiDevice.h"

using namespace velmora;

namespace {

using test::ApiProxy;
using test::ResponderPod;

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

QStringList Row(const CMonitorListView& pane, int row) {
  QStringList cells;
  for (int c = 0; c < pane.columnCount(); ++c) cells << pane.CellText(row, c);
  return cells;
}

QStringList Column(const CMonitorListView& pane, int column) {
  QStringList cells;
  for (int r = 0; r < pane.rowCount(); ++r) cells << pane.CellText(r, column);
  return cells;
}

// Every row shows its list item (value aside) and its own index.
void CheckRowsMirrorList(CMonitorListView& pane, const std::vector<CDataObject>& list) {
  QCOMPARE(pane.rowCount(), static_cast<int>(list.size()));
  const bool variables = pane.columnCount() == 6;
  for (int row = 0; row < pane.rowCount(); ++row) {
    const CDataObject& item = list[static_cast<size_t>(row)];
    QStringList expected{QString::number(row), QString::asprintf("0x%06X", item.address),
                         pane.CellText(row, 2), ViewTypeText(item.viewType)};
    if (variables)
      expected = {expected[0], QString::fromStdString(item.name), expected[2],
                  expected[3], BasicTypeText(item.BasicType()),   expected[1]};
    QCOMPARE(Row(pane, row), expected);
  }
}

bool Enabled(QMenu* menu, int id) {
  QAction* a = CMonitorListView::FindAction(menu, id);
  return a && a->isEnabled();
}

// Two variables (an integer and a float) and an address, shown and plotted,
// on a clock of the test's own.
struct PlotRig : MonitorRig {
  PlotRig() {
    ShowRows(Variables(), 10);
    ShowRows(Addresses(), 10);
    control->AddVariable("count", 0x809C00, ToByte(ViewType::SignedInteger), 4);
    control->AddVariable("gain", 0x809C01, ToByte(ViewType::Float), 6);
    control->AddVariable("other", 0x809C02, 0, 4);
    control->AddAddress(0x808040, 0);
    Variables().scrollToTop();
    plot = control->Plot();
    plot->SetTimeSource([this] { return now; });
    control->PlotVariables({0, 1});
    control->PlotAddresses({0});
  }
  void TickAt(double t, int32_t count, float gain) {
    now = t;
    pod.memory[0x809C00] = static_cast<uint32_t>(count);
    pod.memory[0x809C01] = FloatToC3x(gain);
    pod.memory[0x808040] = 0xFFFFFFFF;
    control->Tick();
  }
  double now = 0;
  CPlotView* plot = nullptr;
};

constexpr const char* kDemo = VELMORA_SOURCE_DIR "/examples/demo/demo.out";

bool HaveDemo() {
  return QFile::exists(QString::fromLatin1(kDemo));
}

// The rig over a TMS320C31 virtual board running on the rig's clock.
struct BoardRig {
  BoardRig()
      : rig(true, [this](VirtualClock& clock) {
          sim::BoardConfig config;
          config.dspType = kTMS320C31;
          auto device = std::make_unique<sim::SimFtdiDevice>(std::make_unique<sim::Board>(config),
                                                             sim::PodOptions{}, clock);
          device_ = device.get();
          return std::unique_ptr<FtdiApi>(std::move(device));
        }) {
    rig.settings.dspType = kTMS320C31;
    rig.link->SetTransferSettings(Derive(rig.settings));
  }

  // Reads the demo (or assembles the responder), and serial-boots it.
  bool Boot(const QString& dir) {
    std::string out = kDemo;
    if (!HaveDemo()) {
      out = (dir + "/responder.out").toStdString();
      std::vector<std::string> errors;
      if (!c3x::AssembleFile(VELMORA_SOURCE_DIR "/tests/shell/monitor_responder.asm", out, errors))
        return false;
    }
    if (ReadCoffFile(out, Derive(rig.settings).MemoryInterface(), rig.program) != kCoffOk)
      return false;
    return rig.link->Open() && rig.link->SerialBootDownload(rig.program);
  }

  uint32_t Address(const char* name) const {
    const CDataObject* symbol = FindSymbolByName(rig.program.symbols, name);
    return symbol ? symbol->address : 0xFFFFFFFF;
  }

  // Board time passes (the demo counts on a timer).
  void Pass(uint32_t ms) { rig.clock.AdvanceUs(uint64_t{ms} * 1000); }

  // Target memory once the commands on the wire have reached the target.
  uint32_t Memory(uint32_t address) {
    rig.clock.AdvanceUs(2000);
    device_->Sync();
    auto lock = device_->Lock();
    uint32_t value = 0;
    device_->TheBoard().ReadWord(address, &value);
    return value;
  }

  sim::SimFtdiDevice* device_ = nullptr;
  MonitorRig rig;
};

// The symbol pane hands its double-clicks to the monitor, as the application does.
class PaneHost : public SymbolPaneHost {
 public:
  explicit PaneHost(CMonitorControl& control) : control_(control) {}
  bool VariableMonitoring() override { return control_.variableMonitoring(); }
  void StopMonitoring(int mode) override { control_.StopMonitoring(mode); }
  void StartMonitoring(int mode) override { control_.StartMonitoring(mode); }
  void UpdateResolvedVariables() override { control_.UpdateResolvedVariables(); }
  bool IsVariableRegistered(const std::string& name) override {
    return control_.IsVariableRegistered(name);
  }
  void AddSymbolVariable(const std::string& name) override { control_.AddSymbolVariable(name); }

 private:
  CMonitorControl& control_;
};

void DoubleClickSymbol(CLeftView& pane, const QString& name) {
  for (int row = 0; row < pane.RowCount(); ++row) {
    if (pane.Text(row, 0) != name) continue;
    pane.scrollTo(pane.model()->index(row, 0));
    const QRect cell = pane.visualRect(pane.model()->index(row, 0));
    QTest::mouseDClick(pane.viewport(), Qt::LeftButton, {}, cell.center());
    return;
  }
  QFAIL(qPrintable("no symbol " + name));
}

}  // namespace

class MonitoringTest : public QObject {
  Q_OBJECT
 private slots:
  void recorderCapturesTheDemoIntoThePlot() {
    if (!HaveDemo()) QSKIP("needs examples/demo/demo.out");
    QTemporaryDir dir;
    BoardRig board;
    MonitorRig& rig = board.rig;
    QVERIFY(board.Boot(dir.path()));
    CRecorderWindow& recorder = *rig.control->RecorderWindow();
    recorder.SetClock(rig.clock);
    QVERIFY(!recorder.Arm());
    QCOMPARE(recorder.StatusText(), QStringLiteral("Tick 1 to 8 channels."));
    for (const char* name : {"pass", "counter", "setpoint", "output"})
      rig.control->AddSymbolVariable(name);
    // The variable pane's menu ticks the selected rows; the address pane has
    // no such entry.
    rig.ShowRows(rig.Variables(), 10);
    SelectRows(rig.Variables(), {0, 2, 3});
    std::unique_ptr<QMenu> menu(rig.Variables().BuildContextMenu(nullptr));
    QAction* record = menu->findChild<QAction*>(QStringLiteral("RecordSelectedItems"));
    QVERIFY(record && record->isEnabled());
    record->trigger();
    QVERIFY(recorder.isVisible());
    std::unique_ptr<QMenu> addressMenu(rig.Addresses().BuildContextMenu(nullptr));
    QVERIFY(!addressMenu->findChild<QAction*>(QStringLiteral("RecordSelectedItems")));
    QStringList ticked;
    for (int i = 0; i < recorder.Channels()->count(); ++i)
      if (recorder.Channels()->item(i)->checkState() == Qt::Checked)
        ticked << recorder.Channels()->item(i)->text();
    QCOMPARE(ticked, QStringList({"pass", "setpoint", "output"}));
    // A procedure on the link: no arming.
    rig.control->SetLinkBusy(true);
    QVERIFY(!recorder.Arm());
    rig.control->SetLinkBusy(false);
    // 200 samples at every 2nd pass, a tenth before the set-point's step; the
    // loop rate measured (20 kHz on the C31) as the window arms.
    recorder.TriggerChannel()->setCurrentText(QStringLiteral("setpoint"));
    recorder.Level()->setText(QStringLiteral("0.5"));
    recorder.Pretrigger()->setValue(10);
    recorder.Samples()->setValue(200);
    recorder.Divider()->setValue(2);
    QVERIFY2(recorder.Arm(), qPrintable(recorder.StatusText()));
    QCOMPARE(recorder.LoopRateHz(), 20000.0);
    for (int i = 0; i < 100 && recorder.Running(); ++i) {
      board.Pass(5);
      recorder.Poll();
    }
    QVERIFY2(!recorder.Running(), qPrintable(recorder.StatusText()));
    const RecCapture& capture = recorder.Capture();
    QCOMPARE(capture.Samples(), size_t{200});
    QCOMPARE(capture.triggerSample, std::optional<size_t>(20));
    for (size_t s = 1; s < capture.Samples(); ++s)
      QCOMPARE(capture.Word(s, 0) - capture.Word(s - 1, 0), 2u);
    QCOMPARE(capture.Value(20, 1), 1.0);
    QCOMPARE(capture.Value(19, 1), 0.0);
    // The plot shows it on target seconds, 0 at the trigger.
    CPlotView& plot = *rig.control->Plot();
    QVERIFY(plot.ShowingCapture());
    QCOMPARE(plot.SeriesTitles(), QStringList({"pass", "setpoint", "output"}));
    QCOMPARE(plot.Samples(0).front().seconds, -20 * 2 / 20000.0);
    QCOMPARE(plot.Samples(0)[20].seconds, 0.0);
    const QString csv = dir.path() + "/capture.csv";
    QVERIFY(recorder.WriteCsv(csv));
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readLine(), QByteArray("Time (s),pass,setpoint,output\r\n"));
    // Continuous, from the arming on: drained while it runs, the rest at Stop.
    recorder.Mode()->setCurrentIndex(1);
    recorder.TriggerChannel()->setCurrentIndex(0);
    recorder.Divider()->setValue(20);
    QVERIFY2(recorder.Arm(), qPrintable(recorder.StatusText()));
    for (int i = 0; i < 20; ++i) {
      board.Pass(10);
      recorder.Poll();
    }
    recorder.Stop();
    QVERIFY(!recorder.Running());
    const RecCapture& stream = recorder.Capture();
    QVERIFY2(stream.Samples() >= 200, qPrintable(recorder.StatusText()));
    QCOMPARE(stream.overruns, uint64_t{0});
    for (size_t s = 1; s < stream.Samples(); ++s)
      QCOMPARE(stream.Word(s, 0) - stream.Word(s - 1, 0), 20u);
    QCOMPARE(plot.Samples(0).size(), stream.Samples());
  }

  void startWithAnEmptyListOrNoHandleLeavesTheFlagsClear() {
    MonitorRig rig;
    rig.control->StartMonitoring(kMonitorVariables);
    QCOMPARE(rig.prompt.information, QStringList{"No varible is registered for monitoring"});
    QVERIFY(!rig.control->monitoringActive());
    QCOMPARE(rig.State(), QStringLiteral("mode 0"));
    rig.pod.openFails = true;
    rig.control->StartMonitoring(kMonitorAddresses);
    rig.control->StartMonitoring(kMonitorBoth);
    QCOMPARE(rig.prompt.errors, QStringList(2, "Failed to get USB Handle"));
    QCOMPARE(rig.State(), QStringLiteral("mode 0"));
  }

  void modesMoveTheFlags() {
    MonitorRig rig;
    // Both at once with no variables: addresses run, variables are refused.
    rig.control->StartMonitoring(kMonitorBoth);
    QCOMPARE(rig.prompt.information.size(), 1);
    QCOMPARE(rig.State(), QStringLiteral("mode 2 timer lamp"));
    rig.AddItems(1);  // joins the running timer
    QCOMPARE(rig.State(), QStringLiteral("mode 4 timer lamp"));
    // Stopping one kind keeps the timer for the other.
    rig.control->StopMonitoring(kMonitorAddresses);
    QCOMPARE(rig.State(), QStringLiteral("mode 1 timer lamp"));
    const int purges = rig.pod.purges;
    rig.control->StopMonitoring(kMonitorVariables);
    QCOMPARE(rig.State(), QStringLiteral("mode 0"));
    QVERIFY(!rig.control->monitoringActive());
    QCOMPARE(rig.pod.purges, purges + 1);
    QVERIFY(rig.link->IsOpen());  // purged, not closed
    // Toggles run and stop their own kind only.
    rig.control->ToggleAddressMonitoring();
    QCOMPARE(rig.control->RunningMode(), kMonitorAddresses);
    QVERIFY(rig.prompt.errors.isEmpty());
  }

  void aTickReadsExactlyTheVisibleRows() {
    MonitorRig rig;
    rig.AddItems(100);
    rig.control->AddVariable("p", 0x809900, 0, 0x10);  // pointer to void: never read
    rig.ShowRows(rig.Variables(), 20);
    QCOMPARE(rig.Variables().RowsPerPage(), 20);
    rig.Variables().scrollToTop();
    rig.pod.readAddresses.clear();
    rig.control->Tick();
    QCOMPARE(rig.pod.Reads(), size_t{21});
    for (uint32_t i = 0; i <= 20; ++i) QCOMPARE(rig.pod.readAddresses[i], 0x809800u + i);
    QCOMPARE(rig.Variables().CellText(20, 2), QString("1020"));
    QCOMPARE(rig.Variables().CellText(21, 2), QString());
    QVERIFY(rig.control->TimerRunning());  // re-armed
    // Scrolled, the next tick reads the rows now in view.
    rig.Variables().verticalScrollBar()->setValue(80);
    QCOMPARE(rig.Variables().TopRow(), 80);
    rig.pod.readAddresses.clear();
    rig.control->Tick();
    QCOMPARE(rig.pod.Reads(), size_t{20});  // the last row is the void pointer
    QCOMPARE(rig.pod.readAddresses.front(), 0x809800u + 80);
    QCOMPARE(rig.pod.readAddresses.back(), 0x809800u + 99);
  }

  void theTimerKeepsTickingWithThePeriod() {
    MonitorRig rig;
    rig.ShowRows(rig.Variables(), 10);
    rig.AddItems(3);
    rig.Variables().scrollToTop();
    QCOMPARE(rig.control->PeriodMs(), 50);
    rig.pod.readAddresses.clear();
    QTRY_VERIFY_WITH_TIMEOUT(rig.pod.Reads() >= 9, 5000);  // three ticks or more
    QCOMPARE(rig.pod.readAddresses[3], 0x809800u);         // each tick reads the rows in order
    // Once the window closes, no tick reads again.
    rig.control->ClearMonitoringActive();
    rig.pod.readAddresses.clear();
    rig.control->Tick();
    QCOMPARE(rig.pod.Reads(), size_t{0});
    QVERIFY(!rig.control->TimerRunning());
  }

  void aFailedReadStopsMonitoringSilently() {
    MonitorRig rig;
    rig.AddItems(10);
    rig.control->AddAddress(0x808040, 0);
    rig.ShowRows(rig.Variables(), 20);
    rig.Variables().scrollToTop();
    rig.control->Tick();  // every row shows 100x
    for (uint32_t i = 0; i < 10; ++i) rig.pod.memory[0x809800 + i] = 7;
    rig.pod.readAddresses.clear();
    rig.pod.FailRead(5);
    rig.control->Tick();
    for (int i = 0; i < 4; ++i) QCOMPARE(rig.Variables().CellText(i, 2), QString("7"));
    for (int i = 4; i < 10; ++i)
      QCOMPARE(rig.Variables().CellText(i, 2), QString::number(1000 + i));
    // The ten rows went out as one group; the address list is not read on a broken link.
    QCOMPARE(rig.pod.readAddresses.back(), 0x809809u);
    QCOMPARE(rig.State(), QStringLiteral("mode 0"));
    QVERIFY(!rig.control->monitoringActive());
    QVERIFY(rig.prompt.information.isEmpty() && rig.prompt.errors.isEmpty());
    QVERIFY(!rig.frame->Command(cmd::kVariableMonitoring)->isChecked());
  }

  void pausesRestartTheSameMode() {
    MonitorRig rig;
    rig.AddItems(2);
    rig.control->StartMonitoring(kMonitorAddresses);
    for (int mode : {kMonitorBoth, kMonitorAddresses}) {
      if (mode == kMonitorAddresses) rig.control->StopMonitoring(kMonitorVariables);
      {
        MonitoringPause pause(*rig.control);
        QCOMPARE(pause.Mode(), mode);
        QCOMPARE(rig.State(), QStringLiteral("mode 0"));
      }
      QCOMPARE(rig.State(), QStringLiteral("mode %1 timer lamp").arg(mode));
    }
    // Nothing running: nothing starts after a pause.
    rig.control->StopMonitoring(kMonitorBoth);
    { MonitoringPause pause(*rig.control); }
    QCOMPARE(rig.control->RunningMode(), 0);
    QVERIFY(rig.prompt.information.isEmpty());
  }

  void commandsFollowThePodAndTheList() {
    {
      MonitorRig rig(false);
      rig.control->AddVariable("x", 0x809800, 0, 4);  // no pod: no start, no commands
      QCOMPARE(rig.control->RunningMode(), 0);
      QVERIFY(!rig.frame->Command(cmd::kVariableMonitoring)->isEnabled());
      QVERIFY(!rig.frame->Command(cmd::kAddressMonitoring)->isEnabled());
    }
    MonitorRig rig;
    QAction* vars = rig.frame->Command(cmd::kVariableMonitoring);
    QAction* addrs = rig.frame->Command(cmd::kAddressMonitoring);
    rig.control->UpdateCommandUi();
    QVERIFY(!vars->isEnabled());  // empty list
    QVERIFY(addrs->isEnabled() && !addrs->isChecked());
    rig.AddItems(1);
    QVERIFY(vars->isEnabled() && vars->isChecked());
    vars->trigger();
    QVERIFY(!rig.control->variableMonitoring() && !vars->isChecked());
    addrs->trigger();
    QVERIFY(rig.control->addressMonitoring() && addrs->isChecked());
  }

  void addsFromSymbolsAndConsoleAreUnique() {
    MonitorRig rig;
    rig.program.symbols = {SymbolEntry("counter", 0x809C00, 4), SymbolEntry("gain", 0x809C01, 6),
                           SymbolEntry("flags", 0x809C02, 0xE),
                           SymbolEntry("buf", 0x809C10, 0x34, "Array Info : [8]")};
    for (const char* name : {"counter", "gain", "flags", "buf", "nosuch"})
      rig.control->AddSymbolVariable(name);
    CTRightView& vars = rig.Variables();
    CheckRowsMirrorList(vars, rig.program.variables);
    // Each with its type's default view; an array shows its element type.
    QCOMPARE(Column(vars, 3),
             (QStringList{"signed integer", "float", "unsigned integer", "signed integer"}));
    QCOMPARE(vars.CellText(3, 4), QString("Integer"));
    QCOMPARE(Column(vars, 2), QStringList(4, ""));  // empty until the first read
    QCOMPARE(rig.control->RunningMode(), kMonitorVariables);
    // From the console a second name is refused with a blue notice.
    rig.control->AddVariable("gain", 0x809D00, 0, 4);
    QCOMPARE(vars.rowCount(), 4);
    QCOMPARE(rig.LogLines(), QStringList{"[ NOTICE ] : Already registered variable"});
    QCOMPARE(rig.Console().Log()->LineColour(0), QColor(0, 0, 255));
    // Addresses: unique, within 24 bits; the first starts address monitoring too.
    rig.control->AddAddress(0x809800, 0);
    QCOMPARE(rig.control->RunningMode(), kMonitorBoth);
    rig.control->AddAddress(0x809800, 4);
    rig.control->AddAddress(0x1000000, 0);
    rig.control->AddAddress(0x000000, ToByte(ViewType::Binary));
    CheckRowsMirrorList(rig.Addresses(), rig.program.addresses);
    QCOMPARE(Column(rig.Addresses(), 1), (QStringList{"0x809800", "0x000000"}));
    QCOMPARE(rig.LogLines().mid(1), QStringList{"[ NOTICE ] : This address is already registered"});
  }

  void deletingKeepsRowsInStepAndStopsOnlyThatPane_data() {
    QTest::addColumn<bool>("variables");
    QTest::newRow("variables") << true;
    QTest::newRow("addresses") << false;
  }
  void deletingKeepsRowsInStepAndStopsOnlyThatPane() {
    QFETCH(bool, variables);
    MonitorRig rig;
    // Six items in the pane under test, one in the other.
    auto add = [&](bool toVariables, uint32_t address) {
      if (toVariables)
        rig.control->AddVariable(std::to_string(address), address, 0, 4);
      else
        rig.control->AddAddress(address, 0);
    };
    for (uint32_t i = 0; i < 6; ++i) add(variables, 0x809800 + i);
    add(!variables, 0x808040);
    CMonitorListView& pane =
        variables ? static_cast<CMonitorListView&>(rig.Variables()) : rig.Addresses();
    std::vector<CDataObject>& list = variables ? rig.program.variables : rig.program.addresses;
    const int column = variables ? 5 : 1;

    SelectRows(pane, {1, 4});
    pane.DeleteSelectedItems();
    CheckRowsMirrorList(pane, list);
    QCOMPARE(Column(pane, column), (QStringList{"0x809800", "0x809802", "0x809803", "0x809805"}));
    pane.setFocus();
    SelectRows(pane, {0});
    QTest::keyClick(&pane, Qt::Key_Delete);
    pane.DeleteItemRow(123);  // no such row
    pane.DeleteItemRow(1);
    CheckRowsMirrorList(pane, list);
    QCOMPARE(Column(pane, column), (QStringList{"0x809802", "0x809805"}));
    QCOMPARE(rig.control->RunningMode(), kMonitorBoth);

    const int other = variables ? kMonitorAddresses : kMonitorVariables;
    pane.DeleteItemRow(0);
    SelectRows(pane, {0});
    QTest::keyClick(&pane, Qt::Key_Delete);
    QVERIFY(list.empty());
    QCOMPARE(rig.State(), QStringLiteral("mode %1 timer lamp").arg(other));
    add(variables, 0x809801);
    pane.DeleteAllItems();
    QVERIFY(list.empty() && pane.rowCount() == 0);
    QCOMPARE(rig.control->RunningMode(), other);
  }

  void ticksShowValuesInEachRowsView() {
    MonitorRig rig;
    rig.ShowRows(rig.Variables(), 10);
    rig.ShowRows(rig.Addresses(), 10);
    for (uint32_t i = 0; i < 4; ++i) {
      rig.pod.memory[0x809800 + i] = 5;
      rig.control->AddVariable("v" + std::to_string(i), 0x809800 + i, 0, 4);
    }
    rig.pod.memory[0x000000] = 5;
    rig.pod.memory[0x000001] = 0x00400000;
    rig.control->AddAddress(0x000000, ToByte(ViewType::Binary));
    rig.control->AddAddress(0x000001, ToByte(ViewType::Float));
    rig.pod.readAddresses.clear();
    rig.control->Tick();
    QCOMPARE(rig.pod.readAddresses,
             (std::vector<uint32_t>{0x809800, 0x809801, 0x809802, 0x809803, 0, 1}));
    QCOMPARE(Column(rig.Addresses(), 2), (QStringList{QString(29, '0') + "101", "1.5"}));
    // A new view shows at once; the value follows at the next tick.
    SelectRows(rig.Variables(), {0, 2, 3});
    rig.Variables().SetSelectedViewType(ToByte(ViewType::Binary));
    QCOMPARE(Column(rig.Variables(), 3),
             (QStringList{"binary", "hex decimal", "binary", "binary"}));
    QCOMPARE(rig.Variables().CellText(2, 2), QString("0x00000005"));
    QCOMPARE(rig.program.variables[3].viewType, ToByte(ViewType::Binary));
    rig.control->Tick();
    QCOMPARE(rig.Variables().CellText(2, 2), QString(29, '0') + "101");
    QCOMPARE(rig.Variables().CellText(1, 2), QString("0x00000005"));
  }

  void contextMenusFollowRowsSelectionAndPod() {
    {
      MonitorRig rig(false);  // no pod: nothing is enabled
      rig.control->AddVariable("a", 0x809800, 0, 4);
      SelectRows(rig.Variables(), {0});
      std::unique_ptr<QMenu> menu(rig.Variables().BuildContextMenu(nullptr));
      for (int id = 32783; id <= 32791; ++id) QVERIFY(!Enabled(menu.get(), id));
    }
    MonitorRig rig;
    QVERIFY(
        !Enabled(std::unique_ptr<QMenu>(rig.Variables().BuildContextMenu(nullptr)).get(), 32785));
    rig.control->AddVariable("a", 0x809800, 0, 4);
    // Rows but no selection: the toggle and Delete All only; with one, the rest too.
    for (bool selected : {false, true}) {
      SelectRows(rig.Variables(), {});
      if (selected) SelectRows(rig.Variables(), {0});
      std::unique_ptr<QMenu> menu(rig.Variables().BuildContextMenu(nullptr));
      QVERIFY(Enabled(menu.get(), 32783) && Enabled(menu.get(), 32785));
      for (int id : {32784, 32786, 32787, 32791, cmd::kPlotSelectedVariables})
        QCOMPARE(Enabled(menu.get(), id), selected);
    }
    for (const char* caption : {"Stop Variable Monitoring", "Start Variable Monitoring"}) {
      std::unique_ptr<QMenu> menu(rig.Variables().BuildContextMenu(nullptr));
      QCOMPARE(CMonitorListView::FindAction(menu.get(), 32783)->text(), QString(caption));
      CMonitorListView::FindAction(menu.get(), 32783)->trigger();
    }
    QCOMPARE(rig.control->RunningMode(), kMonitorVariables);
    std::unique_ptr<QMenu> menu(rig.Variables().BuildContextMenu(nullptr));
    CMonitorListView::FindAction(menu.get(), 32789)->trigger();
    QCOMPARE(rig.Variables().CellText(0, 3), QString("unsigned integer"));
    // The address pane's menu: its own ids, captions and change hook.
    rig.ShowRows(rig.Addresses(), 10);
    rig.pod.memory[0x809800] = 0xFFFFFFFF;
    rig.control->AddAddress(0x809800, ToByte(ViewType::SignedInteger));
    rig.control->Tick();
    SelectRows(rig.Addresses(), {0});
    std::unique_ptr<QMenu> addr(rig.Addresses().BuildContextMenu(nullptr));
    for (int id = 32792; id <= 32800; ++id) QVERIFY(Enabled(addr.get(), id));
    QCOMPARE(CMonitorListView::FindAction(addr.get(), 32792)->text(),
             QString("Stop Address Monitoring"));
    ChangeAddressRequest seen;
    rig.control->SetChangeAddressHook([&](QWidget*, const ChangeAddressRequest& r, uint32_t& w) {
      seen = r;
      w = 77;
      return true;
    });
    CMonitorListView::FindAction(addr.get(), 32795)->trigger();
    QCOMPARE(QStringList({seen.addressText, seen.viewTypeText, seen.valueText}),
             (QStringList{"0x809800", "signed integer", "-1"}));
    QCOMPARE(rig.pod.memory[0x809800], 77u);
    CMonitorListView::FindAction(addr.get(), 32794)->trigger();  // Delete All Items
    QCOMPARE(rig.Addresses().rowCount(), 0);
    QVERIFY(!rig.control->addressMonitoring());
  }

  void doubleClickChangesOnlyWhileMonitoring() {
    MonitorRig rig;
    rig.ShowRows(rig.Variables(), 10);
    rig.pod.memory[0x809C00] = 0x2A;
    rig.control->AddVariable("x", 0x809C00, 0, 4);
    rig.control->Tick();
    ChangeSymbolRequest seen;
    bool answer = true;
    rig.control->SetChangeSymbolHook([&](QWidget*, const ChangeSymbolRequest& r, uint32_t& word) {
      seen = r;
      word = answer ? 0x1234 : 99;
      return answer;
    });
    CTRightView& pane = rig.Variables();
    const QPoint cell = pane.visualRect(pane.model()->index(0, 1)).center();
    QTest::mouseDClick(pane.viewport(), Qt::LeftButton, {}, cell);
    QCOMPARE(QStringList({seen.name, seen.addressText, seen.dataTypeText, seen.valueText}),
             (QStringList{"x", "0x809C00", "Integer", "0x0000002A"}));
    QCOMPARE(seen.typeCode, uint16_t{4});
    QCOMPARE(rig.pod.memory[0x809C00], 0x1234u);
    // Not monitored: no dialog. Cancelled: nothing written.
    rig.control->StopMonitoring(kMonitorVariables);
    seen = {};
    QTest::mouseDClick(pane.viewport(), Qt::LeftButton, {}, cell);
    QVERIFY(seen.name.isEmpty());
    answer = false;
    pane.ChangeSelectedVariable();
    QCOMPARE(rig.pod.memory[0x809C00], 0x1234u);
  }

  void rebuildsAfterALoad() {
    MonitorRig rig;
    rig.program.symbols = {SymbolEntry("counter", 0x809C00, 4), SymbolEntry("gain", 0x809C01, 6)};
    rig.control->AddSymbolVariable("counter");
    rig.control->AddSymbolVariable("gain");
    rig.program.variables[1].viewType = ToByte(ViewType::Binary);
    rig.control->RebuildVariableRows();
    // A new program moved counter only: its row is rewritten, gain's view stays.
    rig.program.symbols[0].address = 0x809E00;
    rig.control->UpdateResolvedVariables();
    CheckRowsMirrorList(rig.Variables(), rig.program.variables);
    QCOMPARE(Column(rig.Variables(), 5), (QStringList{"0x809E00", "0x809C01"}));
    QCOMPARE(rig.Variables().CellText(1, 3), QString("binary"));
    QVERIFY(rig.control->variableMonitoring());  // paused and resumed
    // Lists read from a file: rows with empty values; monitoring only with items.
    rig.control->StopMonitoring(kMonitorBoth);
    rig.program.variables.clear();
    rig.control->RebuildVariableRows();
    QCOMPARE(rig.Variables().rowCount(), 0);
    rig.program.addresses = {SymbolEntry("", 0x808040, 0), SymbolEntry("", 0x000010, 0)};
    rig.program.addresses[1].viewType = ToByte(ViewType::SignedInteger);
    rig.control->RebuildAddressRows();
    CheckRowsMirrorList(rig.Addresses(), rig.program.addresses);
    QCOMPARE(Column(rig.Addresses(), 2), QStringList(2, ""));
    QCOMPARE(rig.control->RunningMode(), kMonitorAddresses);
    QVERIFY(rig.prompt.information.isEmpty());
  }

  void linesRunInOrderAfterWhatIsAlreadyQueued() {
    MonitorRig rig;
    rig.program.symbols = {SymbolEntry("counter", 0x809C00, 4)};
    rig.pod.memory[0x809C00] = 41;
    rig.pod.memory[0x809801] = 2;
    // Something queued before the line (a tick, say) changes the word first.
    QMetaObject::invokeMethod(
        rig.control.get(), [&] { rig.pod.memory[0x809C00] = 42; }, Qt::QueuedConnection);
    rig.Type("d counter/d");
    rig.Type("d 0x809801");
    QVERIFY(rig.LogLines().isEmpty());  // nothing runs inside the key handler
    QVERIFY(rig.pod.readAddresses.empty());
    QCOMPARE(rig.Console().Input()->text(), QString());
    QTRY_COMPARE(rig.LogLines(),
                 QStringList({"[ RESULT ] : counter, 42", "[ RESULT ] : 0x809801, 0x00000002"}));
    QCOMPARE(rig.Console().Log()->LineColour(0), QColor(0, 128, 0));
  }

  void errorsAreRedAndF2BringsBackTheLastGoodLine() {
    MonitorRig rig;
    rig.Type("h");
    rig.Type("d x=-1.5");
    rig.Type("help");
    QApplication::processEvents();
    const QStringList lines = rig.LogLines();
    QCOMPARE(lines.size(), 8);
    QCOMPARE(lines[0], QString("--- Monitoring Command Format Help ---"));
    QCOMPARE(rig.Console().Log()->LineColour(0), QColor(0, 0, 255));
    QCOMPARE(lines[6], QString("[ ERROR ] : Wrong Float Data Input"));
    QCOMPARE(rig.Console().Log()->LineColour(6), QColor(255, 0, 0));
    QCOMPARE(lines[7], QString("[ ERROR ] : Wrong Command Input"));
    QCOMPARE(rig.Console().LastCommand(), std::string("h"));
    QTest::keyClick(rig.Console().Input(), Qt::Key_F2);
    QCOMPARE(rig.Console().Input()->text(), QString("h"));
    // Without a pod, Enter and F2 do nothing.
    MonitorRig none(false);
    none.Type("h");
    QTest::keyClick(none.Console().Input(), Qt::Key_F2);
    QCOMPARE(none.Console().Input()->text(), QString("h"));
    QVERIFY(none.LogLines().isEmpty());
  }

  void failuresToOpenAreReportedAndFailedReadsAreNot() {
    MonitorRig rig;
    rig.pod.failAllReads = true;
    rig.Type("d 0x809800");
    QTest::qWait(50);
    QVERIFY(rig.LogLines().isEmpty());
    rig.link->Close();
    rig.pod.openFails = true;
    rig.Type("d 0x809800");
    QTRY_COMPARE(rig.LogLines(), QStringList{"[ ERROR ] : Failed to get USB Handle"});
  }

  void theLogKeepsTheNewestThousandLines() {
    CConsoleLog log;
    for (int i = 0; i < 1005; ++i)
      log.AppendLine(QString("line %1").arg(i), i % 2 ? Qt::red : Qt::blue);
    QCOMPARE(log.LineCount(), uint16_t{1000});
    QCOMPARE(log.LineText(0), QString("line 5"));
    QCOMPARE(log.LineText(999), QString("line 1004"));
    QCOMPARE(log.LineColour(0), QColor(Qt::red));
    QCOMPARE(log.LineColour(999), QColor(Qt::blue));
    QVERIFY(log.isReadOnly());
  }

  // The plot is a window of its own (the panes keep their size); each series
  // has its own scale in either layout, and the choice outlives the window;
  // a zoom shows one time range in every panel; the export comes back into
  // the same view.
  void plotShowsEverySeriesOnItsOwnScale() {
    PlotRig rig;
    CPlotView* plot = rig.plot;
    QVERIFY(plot->isVisible() && plot->isWindow());
    QCOMPARE(rig.Variables().height() + rig.Addresses().height(),
             rig.frame->InnerSplitter()->height() - rig.frame->InnerSplitter()->handleWidth());
    QCOMPARE(plot->SeriesTitles(), QStringList({"count", "gain", "0x808040"}));
    rig.control->PlotVariables({0});  // plotting an item twice adds nothing
    QCOMPARE(plot->SeriesCount(), 3);
    rig.TickAt(0.5, -3, 0.25f);
    rig.TickAt(1.0, 7, -1.5f);
    QCOMPARE(plot->Samples(0), (std::vector<PlotSample>{{0.5, -3}, {1.0, 7}}));
    QCOMPARE(plot->Samples(1), (std::vector<PlotSample>{{0.5, 0.25}, {1.0, -1.5}}));
    QCOMPARE(plot->Samples(2).at(0).value, 4294967295.0);
    plot->Redraw();
    QCOMPARE(plot->Line(1)->at(1), QPointF(1.0, -1.5));
    // Each scale fits its own series, stacked (a panel each) or in one chart:
    // the counts are not squeezed flat by the full-scale word.
    auto scales = [&] {
      const QValueAxis *count = plot->AxisY(0), *gain = plot->AxisY(1), *word = plot->AxisY(2);
      return count->min() <= -3 && count->max() >= 7 && count->max() - count->min() <= 20 &&
             gain->min() <= -1.5 && gain->max() >= 0.25 && gain->max() - gain->min() <= 4 &&
             word->max() >= 4294967295.0 && word->min() > 1e9;
    };
    QCOMPARE(plot->CurrentLayout(), CPlotView::Layout::kStacked);
    QCOMPARE(plot->ChartViews().size(), 3);
    QVERIFY(scales());
    plot->SetLayout(CPlotView::Layout::kAxisPerSeries);
    QCOMPARE(plot->ChartViews().size(), 1);
    QCOMPARE(plot->ChartViews()[0]->chart()->axes(Qt::Vertical).size(), 3);
    QVERIFY(scales());
    QCOMPARE(CPlotView(&rig.store).CurrentLayout(), CPlotView::Layout::kAxisPerSeries);
    plot->SetLayout(CPlotView::Layout::kStacked);
    // A range picked in one panel is shown in all.
    plot->ChartViews()[2]->chart()->axes(Qt::Horizontal)[0]->setRange(0.6, 0.9);
    QVERIFY(!plot->Following());
    for (QChartView* view : plot->ChartViews()) {
      const auto* x = static_cast<QValueAxis*>(view->chart()->axes(Qt::Horizontal)[0]);
      QCOMPARE(QPointF(x->min(), x->max()), QPointF(0.6, 0.9));
    }
    plot->ResetZoom();

    QTemporaryDir dir;
    QVERIFY(plot->ExportCsv(dir.filePath("plot.csv")));
    QFile file(dir.filePath("plot.csv"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll().replace('\r', ""), QByteArray("Time (s),count,gain,0x808040\n"
                                                          "0.5,-3,0.25,4294967295\n"
                                                          "1,7,-1.5,4294967295\n"));
    QString error;
    QVERIFY(!plot->ExportCsv(dir.filePath("no/such/dir/plot.csv"), &error));
    QVERIFY(!error.isEmpty());
    // The export comes back into the view (the file forms are the reader's tests).
    const std::vector<PlotSample> counts = plot->Samples(0);
    QVERIFY(plot->OpenCsv(dir.filePath("plot.csv"), &error));
    QVERIFY(plot->ShowingCapture() && plot->windowTitle().contains("plot.csv"));
    QCOMPARE(plot->SeriesTitles(), QStringList({"count", "gain", "0x808040"}));
    QCOMPARE(plot->Samples(0), counts);
    rig.TickAt(1.5, 1, 1);  // a capture takes no live samples
    QCOMPARE(plot->Samples(0), counts);
    QVERIFY(!plot->OpenCsv(dir.filePath("no.csv"), &error) && !error.isEmpty());
    // The panes' menu entry plots the selection live again.
    rig.Variables().selectRow(1);
    std::unique_ptr<QMenu> menu(rig.Variables().BuildContextMenu(nullptr));
    CMonitorListView::FindAction(menu.get(), cmd::kPlotSelectedVariables)->trigger();
    QCOMPARE(plot->SeriesTitles(), QStringList{"gain"});
    QVERIFY(!plot->ShowingCapture());
  }

  // A finished recording over its own time axis, milliseconds long: the
  // plot's width is the recording's, not a second.
  void aCaptureKeepsItsOwnTimeAxis() {
    CPlotView plot;
    PlotCapture capture;
    capture.source = "recording";
    capture.series = {{"i", {}}, {"u", {}}};
    for (int k = 0; k < 1000; ++k) {
      capture.series[0].samples.push_back({k / 20000.0, static_cast<double>(k)});
      capture.series[1].samples.push_back({k / 20000.0, std::sin(k / 50.0)});
    }
    plot.ShowCapture(capture);
    QCOMPARE(QPointF(plot.TimeFrom(), plot.TimeTo()), QPointF(0, 999 / 20000.0));
    QCOMPARE(plot.Line(0)->count(), 1000);
    QVERIFY(plot.AxisY(0)->max() >= 999 && plot.AxisY(1)->max() <= 2);
  }

  void watchChangeAndReloadOnTheVirtualBoard() {
    QTemporaryDir dir;
    BoardRig board;
    MonitorRig& rig = board.rig;
    QVERIFY(board.Boot(dir.path()));
    // An integer the program itself never writes.
    const char* settable = HaveDemo() ? "step" : "flags";
    rig.ShowRows(rig.Variables(), 10);
    rig.ShowRows(rig.Addresses(), 10);
    // The variables come from the symbol pane, by double-click.
    PaneHost host(*rig.control);
    auto* symbols = new CLeftView(&rig.store);
    symbols->SetHost(&host);
    rig.frame->SetSymbolPane(symbols);
    symbols->Fill(rig.program.symbols);
    QApplication::processEvents();
    for (const char* name : {"counter", "gain", settable, "counter"})
      DoubleClickSymbol(*symbols, name);
    QCOMPARE(rig.Variables().rowCount(), 3);  // the second counter is not added
    rig.Variables().scrollToTop();
    rig.control->Tick();
    const QString first = rig.Variables().CellText(0, 2);
    board.Pass(50);
    rig.control->Tick();
    const QString second = rig.Variables().CellText(0, 2);
    QVERIFY2(!first.isEmpty() && second.toLongLong() > first.toLongLong(),
             qPrintable(first + " " + second));
    // A value typed into the change dialog reaches target memory.
    rig.control->SetChangeSymbolHook(RunChangeSymbolDlg);
    rig.Variables().selectRow(2);
    QTimer::singleShot(0, [] {
      auto* dialog = qobject_cast<CChangeDataDlgBase*>(QApplication::activeModalWidget());
      QVERIFY(dialog);
      dialog->ValueEdit()->setText("0x1234ABCD");
      dialog->OkButton()->click();
    });
    const QRect cell = rig.Variables().visualRect(rig.Variables().model()->index(2, 1));
    QTest::mouseDClick(rig.Variables().viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(board.Memory(board.Address(settable)), 0x1234ABCDu);
    rig.control->Tick();
    QCOMPARE(rig.Variables().CellText(2, 2), QString::number(0x1234ABCD));
    // And so does one written from the console; its read-back is green.
    const QString settableAddress = QString::asprintf("0x%06X", board.Address(settable));
    rig.Type("d gain=2.5");
    rig.Type("d gain/f");
    rig.Type("wa " + settableAddress + "/d");
    QTRY_COMPARE(rig.LogLines(),
                 QStringList({"[ RESULT ] : Writing Completed...", "[ RESULT ] : gain, 2.5"}));
    QCOMPARE(board.Memory(board.Address("gain")), FloatToC3x(2.5f));
    QTRY_COMPARE(rig.Addresses().rowCount(), 1);
    rig.control->Tick();
    QCOMPARE(rig.Addresses().CellText(0, 2), QString::number(0x1234ABCD));
    // Saved, emptied and loaded again: both lists come back and run.
    const std::string sym = (dir.path() + "/watch.sym").toStdString();
    QCOMPARE(SaveSymbolFile(sym, rig.program.variables, rig.program.addresses),
             SymbolFileResult::kOk);
    rig.Type("wd *");
    QTRY_COMPARE(rig.Variables().rowCount() + rig.Addresses().rowCount(), 0);
    {
      MonitoringPause pause(*rig.control);
      QCOMPARE(LoadSymbolFile(sym, rig.program.variables, rig.program.addresses),
               SymbolFileResult::kOk);
      rig.control->RebuildVariableRows();
      rig.control->RebuildAddressRows();
    }
    QCOMPARE(rig.Variables().rowCount(), 3);
    QCOMPARE(rig.control->RunningMode(), kMonitorBoth);
    rig.Variables().scrollToTop();
    rig.control->Tick();
    QCOMPARE(rig.Variables().CellText(1, 2), QString("2.5"));
    QCOMPARE(rig.Addresses().CellText(0, 2), QString::number(0x1234ABCD));
    QVERIFY(rig.prompt.information.isEmpty() && rig.prompt.errors.isEmpty());
  }
};

QTEST_MAIN(MonitoringTest)
#include "monitoring_qtest.moc"
