// End to end on the virtual board: the demo program (or, in a tree without
// it, a small responder program assembled here) is serial-booted, its counter
// is added from the symbol pane and changes between ticks, values written
// through the change dialog and the console land in target memory, and a .sym
// file saved and loaded restores both lists and restarts monitoring.
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "c3x/Assembler.h"
#include "image/CoffReader.h"
#include "image/SymbolFile.h"
#include "image/SymbolTable.h"
#include "monitoring/ValueFormats.h"
#include "shell/ChangeDataDlg.h"
#include "shell/LeftView.h"
#include "shell/monitor_support.h"
#include "sim/Board.h"
#include "sim/SimFtdiDevice.h"

using namespace velmora;
using namespace velmora::test;

namespace {

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

class MonitorEndToEnd : public QObject {
  Q_OBJECT

 private slots:
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
    const uint32_t gain = board.Address("gain");
    QCOMPARE(rig.Variables().CellText(1, 2),
             QString::fromStdString(FormatTargetWord(board.Memory(gain), ViewType::Float)));
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
    QCOMPARE(board.Memory(gain), FloatToC3x(2.5f));
    QTRY_COMPARE(rig.Addresses().rowCount(), 1);
    rig.control->Tick();
    QCOMPARE(rig.Addresses().CellText(0, 2), QString::number(0x1234ABCD));
    // Saved, emptied and loaded again: both lists come back and run.
    const std::string sym = (dir.path() + "/watch.sym").toStdString();
    QCOMPARE(SaveSymbolFile(sym, rig.program.variables, rig.program.addresses),
             SymbolFileResult::kOk);
    rig.Type("wd *");
    QTRY_COMPARE(rig.Variables().rowCount() + rig.Addresses().rowCount(), 0);
    QCOMPARE(rig.control->RunningMode(), 0);
    {
      MonitoringPause pause(*rig.control);
      QCOMPARE(LoadSymbolFile(sym, rig.program.variables, rig.program.addresses),
               SymbolFileResult::kOk);
      rig.control->RebuildVariableRows();
      rig.control->RebuildAddressRows();
    }
    QCOMPARE(rig.Variables().rowCount(), 3);
    QCOMPARE(rig.Variables().CellText(1, 3), QString("float"));
    QCOMPARE(rig.Addresses().CellText(0, 3), QString("signed integer"));
    QCOMPARE(rig.control->RunningMode(), kMonitorBoth);
    rig.Variables().scrollToTop();
    rig.control->Tick();
    QCOMPARE(rig.Variables().CellText(1, 2), QString("2.5"));
    QCOMPARE(rig.Addresses().CellText(0, 2), QString::number(0x1234ABCD));
    QVERIFY(rig.prompt.information.isEmpty() && rig.prompt.errors.isEmpty());
  }
};

QTEST_MAIN(MonitorEndToEnd)
#include "monitor_e2e_qtest.moc"
