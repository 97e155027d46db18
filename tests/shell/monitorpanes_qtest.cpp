// The variable and address panes: rows mirror their watch lists through every
// operation, each pane's monitoring starts with its first item and stops with
// its last, ticks show values in each row's view, context menus, double-click
// and the change hooks, rebuilds after a load.
#include <QAction>
#include <QMenu>
#include <QTest>

#include "image/SymbolTable.h"
#include "monitoring/ValueFormats.h"
#include "shell/Commands.h"
#include "shell/monitor_support.h"

using namespace velmora;
using namespace velmora::test;

namespace {

// Every row shows its list item and its own index.
void CheckRowsMirrorList(CMonitorListView& pane, const std::vector<CDataObject>& list,
                         int addressColumn) {
  QCOMPARE(pane.rowCount(), static_cast<int>(list.size()));
  for (int row = 0; row < pane.rowCount(); ++row) {
    const CDataObject& item = list[static_cast<size_t>(row)];
    QCOMPARE(pane.CellText(row, 0), QString::number(row));
    QCOMPARE(pane.CellText(row, 3), QString::fromLatin1(ViewTypeText(item.viewType)));
    QCOMPARE(pane.CellText(row, addressColumn), QString::asprintf("0x%06X", item.address));
    if (addressColumn == 5) {
      QCOMPARE(pane.CellText(row, 1), QString::fromStdString(item.name));
      QCOMPARE(pane.CellText(row, 4), QString::fromLatin1(BasicTypeText(item.BasicType())));
    }
  }
}

void CheckVariables(MonitorRig& rig) {
  CheckRowsMirrorList(rig.Variables(), rig.program.variables, 5);
}

bool Enabled(QMenu* menu, int id) {
  QAction* a = CMonitorListView::FindAction(menu, id);
  return a && a->isEnabled();
}

}  // namespace

class MonitorPanesTest : public QObject {
  Q_OBJECT

 private slots:
  void addsFromSymbolsAndConsoleAreUnique() {
    MonitorRig rig;
    rig.program.symbols = {SymbolEntry("counter", 0x809C00, 4), SymbolEntry("gain", 0x809C01, 6),
                           SymbolEntry("flags", 0x809C02, 0xE),
                           SymbolEntry("buf", 0x809C10, 0x34, "Array Info : [8]")};
    for (const char* name : {"counter", "gain", "flags", "buf", "nosuch"})
      rig.control->AddSymbolVariable(name);
    CheckVariables(rig);
    CTRightView& vars = rig.Variables();
    QCOMPARE(vars.rowCount(), 4);
    QCOMPARE(vars.CellText(0, 3), QString("signed integer"));
    QCOMPARE(vars.CellText(1, 3), QString("float"));
    QCOMPARE(vars.CellText(2, 3), QString("unsigned integer"));
    QCOMPARE(vars.CellText(3, 4), QString("Integer"));  // no "Array of" prefix
    QCOMPARE(rig.program.variables[3].arrayText, std::string("Array Info : [8]"));
    QCOMPARE(vars.CellText(0, 2), QString());  // empty until the first read
    QCOMPARE(rig.control->RunningMode(), kMonitorVariables);
    QVERIFY(rig.control->IsVariableRegistered("gain"));
    QVERIFY(!rig.control->IsVariableRegistered("Gain"));

    // From the console a second name is refused with a blue notice.
    rig.control->AddVariable("gain", 0x809D00, 0, 4);
    QCOMPARE(vars.rowCount(), 4);
    QCOMPARE(rig.Console().Log()->LineText(0), QString("[ NOTICE ] : Already registered variable"));
    QCOMPARE(rig.Console().Log()->LineColour(0), QColor(0, 0, 255));

    // Addresses: unique, within 24 bits; the first starts address monitoring too.
    CBRightView& addrs = rig.Addresses();
    rig.control->AddAddress(0x809800, 0);
    QCOMPARE(rig.control->RunningMode(), kMonitorBoth);
    rig.control->AddAddress(0x809800, 4);
    rig.control->AddAddress(0x1000000, 0);
    rig.control->AddAddress(0x000000, ToByte(ViewType::Binary));
    CheckRowsMirrorList(addrs, rig.program.addresses, 1);
    QCOMPARE(addrs.rowCount(), 2);
    QCOMPARE(addrs.CellText(1, 3), QString("binary"));
    QCOMPARE(rig.Console().Log()->LineText(1),
             QString("[ NOTICE ] : This address is already registered"));
    QCOMPARE(rig.Console().Log()->LineCount(), uint16_t{2});
    QVERIFY(rig.control->IsAddressRegistered(0));
  }

  void deletingKeepsRowsInStepAndStopsOnlyThatPane_data() {
    QTest::addColumn<bool>("variables");
    QTest::newRow("variables") << true;
    QTest::newRow("addresses") << false;
  }
  void deletingKeepsRowsInStepAndStopsOnlyThatPane() {
    QFETCH(bool, variables);
    MonitorRig rig;
    for (uint32_t i = 0; i < 6; ++i) {
      if (variables)
        rig.control->AddVariable(std::string(1, static_cast<char>('a' + i)), 0x809800 + i, 0, 4);
      else
        rig.control->AddAddress(0x809800 + i, 0);
    }
    if (variables)
      rig.control->AddAddress(0x808040, 0);
    else
      rig.control->AddVariable("v", 0x808040, 0, 4);
    QCOMPARE(rig.control->RunningMode(), kMonitorBoth);
    CMonitorListView& pane =
        variables ? static_cast<CMonitorListView&>(rig.Variables()) : rig.Addresses();
    std::vector<CDataObject>& list = variables ? rig.program.variables : rig.program.addresses;
    const int addressColumn = variables ? 5 : 1;
    auto addressAt = [&](int row) { return pane.CellText(row, addressColumn); };

    SelectRows(pane, {1, 4});
    pane.DeleteSelectedItems();
    CheckRowsMirrorList(pane, list, addressColumn);
    QCOMPARE(addressAt(1), QString("0x809802"));
    QCOMPARE(addressAt(3), QString("0x809805"));
    pane.setFocus();
    SelectRows(pane, {0});
    QTest::keyClick(&pane, Qt::Key_Delete);
    CheckRowsMirrorList(pane, list, addressColumn);
    QCOMPARE(addressAt(0), QString("0x809802"));
    pane.DeleteItemRow(123);  // no such row
    pane.DeleteItemRow(1);
    CheckRowsMirrorList(pane, list, addressColumn);
    QCOMPARE(list.size(), size_t{2});
    QCOMPARE(rig.control->RunningMode(), kMonitorBoth);

    pane.DeleteItemRow(0);
    SelectRows(pane, {0});
    QTest::keyClick(&pane, Qt::Key_Delete);
    QVERIFY(list.empty());
    QCOMPARE(rig.control->RunningMode(), variables ? kMonitorAddresses : kMonitorVariables);
    QVERIFY(rig.control->TimerRunning());
    if (variables)
      rig.control->AddVariable("b", 0x809801, 0, 4);
    else
      rig.control->AddAddress(0x809801, 0);
    pane.DeleteAllItems();
    QCOMPARE(pane.rowCount(), 0);
    QVERIFY(list.empty());
    QCOMPARE(rig.control->RunningMode(), variables ? kMonitorAddresses : kMonitorVariables);
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
    rig.Variables().scrollToTop();
    rig.Addresses().scrollToTop();
    rig.pod.readAddresses.clear();
    rig.control->Tick();
    QCOMPARE(rig.pod.readAddresses,
             (std::vector<uint32_t>{0x809800, 0x809801, 0x809802, 0x809803, 0, 1}));
    QCOMPARE(rig.Addresses().CellText(0, 2), QString(29, '0') + "101");
    QCOMPARE(rig.Addresses().CellText(1, 2), QString("1.5"));

    // A new view shows at once; the value follows at the next tick.
    SelectRows(rig.Variables(), {0, 2, 3});
    rig.Variables().SetSelectedViewType(ToByte(ViewType::Binary));
    QCOMPARE(rig.Variables().CellText(2, 3), QString("binary"));
    QCOMPARE(rig.Variables().CellText(1, 3), QString("hex decimal"));
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
    std::unique_ptr<QMenu> menu(rig.Variables().BuildContextMenu(nullptr));
    QCOMPARE(CMonitorListView::FindAction(menu.get(), 32783)->text(),
             QString("Stop Variable Monitoring"));
    CMonitorListView::FindAction(menu.get(), 32783)->trigger();
    QCOMPARE(rig.control->RunningMode(), 0);
    std::unique_ptr<QMenu> stopped(rig.Variables().BuildContextMenu(nullptr));
    QCOMPARE(CMonitorListView::FindAction(stopped.get(), 32783)->text(),
             QString("Start Variable Monitoring"));
    CMonitorListView::FindAction(stopped.get(), 32789)->trigger();
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
    QCOMPARE(seen.addressText, QString("0x809800"));
    QCOMPARE(seen.viewTypeText, QString("signed integer"));
    QCOMPARE(seen.valueText, QString("-1"));
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
    int calls = 0;
    rig.control->SetChangeSymbolHook([&](QWidget*, const ChangeSymbolRequest& r, uint32_t& word) {
      seen = r;
      ++calls;
      word = 0x1234;
      return true;
    });
    CTRightView& pane = rig.Variables();
    const QPoint cell = pane.visualRect(pane.model()->index(0, 1)).center();
    QTest::mouseDClick(pane.viewport(), Qt::LeftButton, {}, cell);
    QCOMPARE(calls, 1);
    QCOMPARE(seen.name, QString("x"));
    QCOMPARE(seen.addressText, QString("0x809C00"));
    QCOMPARE(seen.dataTypeText, QString("Integer"));
    QCOMPARE(seen.valueText, QString("0x0000002A"));
    QCOMPARE(seen.typeCode, uint16_t{4});
    QCOMPARE(rig.pod.memory[0x809C00], 0x1234u);

    rig.control->StopMonitoring(kMonitorVariables);
    QTest::mouseDClick(pane.viewport(), Qt::LeftButton, {}, cell);
    QCOMPARE(calls, 1);
    // Cancel writes nothing.
    rig.control->SetChangeSymbolHook([](QWidget*, const ChangeSymbolRequest&, uint32_t& word) {
      word = 99;
      return false;
    });
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
    QCOMPARE(rig.Variables().CellText(0, 5), QString("0x809E00"));
    QCOMPARE(rig.Variables().CellText(1, 3), QString("binary"));
    CheckVariables(rig);
    QVERIFY(rig.control->variableMonitoring());  // paused and resumed

    // Lists read from a file: rows with empty values; monitoring only with items.
    rig.control->StopMonitoring(kMonitorBoth);
    rig.program.variables.clear();
    rig.control->RebuildVariableRows();
    QCOMPARE(rig.Variables().rowCount(), 0);
    QVERIFY(!rig.control->variableMonitoring());
    rig.program.addresses = {SymbolEntry("", 0x808040, 0), SymbolEntry("", 0x000010, 0)};
    rig.program.addresses[1].viewType = ToByte(ViewType::SignedInteger);
    rig.control->RebuildAddressRows();
    CheckRowsMirrorList(rig.Addresses(), rig.program.addresses, 1);
    QCOMPARE(rig.Addresses().CellText(1, 2), QString());
    QCOMPARE(rig.Addresses().CellText(1, 3), QString("signed integer"));
    QCOMPARE(rig.control->RunningMode(), kMonitorAddresses);
    QVERIFY(rig.prompt.information.isEmpty());
  }
};

QTEST_MAIN(MonitorPanesTest)
#include "monitorpanes_qtest.moc"
