// The variable pane: rows mirror the watch list through every operation; the
// context menu, the Delete key and double-click; column widths in the profile.
#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QTest>

#include "image/SymbolTable.h"
#include "monitoring/ValueFormats.h"
#include "shell/Commands.h"
#include "shell/monitor_support.h"

using namespace velmora;
using namespace velmora::test;

class TRightViewTest : public QObject {
  Q_OBJECT

 private:
  static void LoadSymbols(MonitorRig& rig) {
    rig.program.symbols = {SymbolEntry("counter", 0x809C00, 4), SymbolEntry("gain", 0x809C01, 6),
                           SymbolEntry("flags", 0x809C02, 0xE),
                           SymbolEntry("buf", 0x809C10, 0x34, "Array Info : [8]"),
                           SymbolEntry("vp", 0x809C20, 0x10)};
  }
  // Every row shows its list item and its own index.
  static void CheckRowsMirrorList(MonitorRig& rig) {
    CTRightView& pane = rig.Variables();
    const auto& list = rig.program.variables;
    QCOMPARE(pane.rowCount(), static_cast<int>(list.size()));
    for (int row = 0; row < pane.rowCount(); ++row) {
      const CDataObject& item = list[static_cast<size_t>(row)];
      QCOMPARE(pane.CellText(row, 0), QString::number(row));
      QCOMPARE(pane.CellText(row, 1), QString::fromStdString(item.name));
      QCOMPARE(pane.CellText(row, 3), QString::fromLatin1(ViewTypeText(item.viewType)));
      QCOMPARE(pane.CellText(row, 4), QString::fromLatin1(BasicTypeText(item.BasicType())));
      QCOMPARE(pane.CellText(row, 5), QString::asprintf("0x%06X", item.address));
    }
  }
  static void Select(CMonitorListView& pane, std::initializer_list<int> rows) {
    pane.clearSelection();
    for (int row : rows)
      pane.selectionModel()->select(pane.model()->index(row, 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }

 private slots:
  void symbolVariablesGetTheirDefaultViewAndStartMonitoring() {
    MonitorRig rig;
    LoadSymbols(rig);
    for (const char* name : {"counter", "gain", "flags", "buf", "nosuch"})
      rig.control->AddSymbolVariable(name);
    QCOMPARE(rig.program.variables.size(), size_t{4});
    CheckRowsMirrorList(rig);
    QCOMPARE(rig.Variables().CellText(0, 3), QString("signed integer"));
    QCOMPARE(rig.Variables().CellText(1, 3), QString("float"));
    QCOMPARE(rig.Variables().CellText(2, 3), QString("unsigned integer"));
    QCOMPARE(rig.Variables().CellText(3, 4), QString("Integer"));  // no "Array of" prefix
    QCOMPARE(rig.program.variables[3].arrayText, std::string("Array Info : [8]"));
    QCOMPARE(rig.Variables().CellText(0, 2), QString());  // empty until the first read
    QVERIFY(rig.control->variableMonitoring());
    QVERIFY(rig.control->IsVariableRegistered("gain"));
    QVERIFY(!rig.control->IsVariableRegistered("Gain"));
  }

  void consoleAddsRefuseDuplicatesWithANotice() {
    MonitorRig rig;
    rig.control->AddVariable("x", 0x809C00, 3, 6);
    rig.control->AddVariable("x", 0x809D00, 0, 4);
    QCOMPARE(rig.program.variables.size(), size_t{1});
    QCOMPARE(rig.Variables().CellText(0, 3), QString("float"));
    CConsoleLog* log = rig.Console().Log();
    QCOMPARE(log->LineCount(), uint16_t{1});
    QCOMPARE(log->LineText(0), QString("[ NOTICE ] : Already registered variable"));
    QCOMPARE(log->LineColour(0), QColor(0, 0, 255));
  }

  void deletingKeepsRowsAndListInStep() {
    MonitorRig rig;
    for (int i = 0; i < 6; ++i)
      rig.control->AddVariable(std::string(1, static_cast<char>('a' + i)), 0x809800 + i, 0, 4);
    CTRightView& pane = rig.Variables();
    Select(pane, {1, 4});
    pane.DeleteSelectedVariables();
    CheckRowsMirrorList(rig);
    QCOMPARE(pane.CellText(1, 1), QString("c"));
    QCOMPARE(pane.CellText(3, 1), QString("f"));
    // The Delete key does the same.
    pane.setFocus();
    Select(pane, {0});
    QTest::keyClick(&pane, Qt::Key_Delete);
    CheckRowsMirrorList(rig);
    QCOMPARE(pane.CellText(0, 1), QString("c"));
    pane.DeleteVariableRow(123);  // no such row
    pane.DeleteVariableRow(1);
    CheckRowsMirrorList(rig);
    QCOMPARE(rig.program.variables.size(), size_t{2});
    QVERIFY(rig.control->variableMonitoring());
  }

  void deletingTheLastRowStopsOnlyVariableMonitoring() {
    MonitorRig rig;
    rig.control->AddVariable("a", 0x809800, 0, 4);
    rig.control->AddAddress(0x808040, 0);
    QCOMPARE(rig.control->RunningMode(), 4);
    Select(rig.Variables(), {0});
    rig.Variables().DeleteSelectedVariables();
    QCOMPARE(rig.control->RunningMode(), 2);
    QVERIFY(rig.control->TimerRunning());

    rig.control->AddVariable("b", 0x809801, 0, 4);
    rig.Variables().DeleteAllVariables();
    QVERIFY(rig.program.variables.empty());
    QCOMPARE(rig.Variables().rowCount(), 0);
    QCOMPARE(rig.control->RunningMode(), 2);
  }

  void viewTypeChangesShowAtOnceAndValuesAtTheNextTick() {
    MonitorRig rig;
    rig.ShowRows(rig.Variables(), 10);
    for (int i = 0; i < 4; ++i) {
      rig.pod.memory[0x809800 + i] = 5;
      rig.control->AddVariable("v" + std::to_string(i), 0x809800 + i, 0, 4);
    }
    rig.Variables().scrollToTop();
    rig.control->Tick();
    Select(rig.Variables(), {0, 2, 3});
    rig.Variables().SetSelectedViewType(ToByte(ViewType::Binary));
    QCOMPARE(rig.Variables().CellText(2, 3), QString("binary"));
    QCOMPARE(rig.Variables().CellText(1, 3), QString("hex decimal"));
    QCOMPARE(rig.Variables().CellText(2, 2), QString("0x00000005"));  // not yet re-read
    QCOMPARE(rig.program.variables[3].viewType, ToByte(ViewType::Binary));
    rig.control->Tick();
    QCOMPARE(rig.Variables().CellText(2, 2), QString(29, '0') + "101");
    QCOMPARE(rig.Variables().CellText(1, 2), QString("0x00000005"));
  }

  void contextMenuFollowsRowsSelectionAndPod() {
    {
      MonitorRig rig(false);
      rig.control->AddVariable("a", 0x809800, 0, 4);
      Select(rig.Variables(), {0});
      std::unique_ptr<QMenu> menu(rig.Variables().BuildContextMenu(nullptr));
      for (int id = 32783; id <= 32791; ++id)
        QVERIFY2(!CMonitorListView::FindAction(menu.get(), id)->isEnabled(),
                 qPrintable(QString::number(id)));
    }
    MonitorRig rig;
    std::unique_ptr<QMenu> empty(rig.Variables().BuildContextMenu(nullptr));
    QVERIFY(!CMonitorListView::FindAction(empty.get(), 32785)->isEnabled());
    rig.control->AddVariable("a", 0x809800, 0, 4);
    rig.Variables().clearSelection();
    std::unique_ptr<QMenu> menu(rig.Variables().BuildContextMenu(nullptr));
    QAction* toggle = CMonitorListView::FindAction(menu.get(), 32783);
    QCOMPARE(toggle->text(), QString("Stop Variable Monitoring"));
    QVERIFY(toggle->isEnabled());
    QVERIFY(CMonitorListView::FindAction(menu.get(), 32785)->isEnabled());
    for (int id : {32784, 32786, 32787, 32791})
      QVERIFY(!CMonitorListView::FindAction(menu.get(), id)->isEnabled());
    QCOMPARE(CMonitorListView::FindAction(menu.get(), 32790)->text(), QString("Float"));

    Select(rig.Variables(), {0});
    std::unique_ptr<QMenu> selected(rig.Variables().BuildContextMenu(nullptr));
    for (int id : {32784, 32786, 32787, 32791, cmd::kPlotSelectedVariables})
      QVERIFY(CMonitorListView::FindAction(selected.get(), id)->isEnabled());
    CMonitorListView::FindAction(selected.get(), 32783)->trigger();
    QVERIFY(!rig.control->variableMonitoring());
    std::unique_ptr<QMenu> stopped(rig.Variables().BuildContextMenu(nullptr));
    QCOMPARE(CMonitorListView::FindAction(stopped.get(), 32783)->text(),
             QString("Start Variable Monitoring"));
    CMonitorListView::FindAction(stopped.get(), 32789)->trigger();
    QCOMPARE(rig.Variables().CellText(0, 3), QString("unsigned integer"));
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
    const QRect cell = pane.visualRect(pane.model()->index(0, 1));
    QTest::mouseDClick(pane.viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(calls, 1);
    QCOMPARE(seen.name, QString("x"));
    QCOMPARE(seen.addressText, QString("0x809C00"));
    QCOMPARE(seen.dataTypeText, QString("Integer"));
    QCOMPARE(seen.valueText, QString("0x0000002A"));
    QCOMPARE(seen.typeCode, uint16_t{4});
    QCOMPARE(rig.pod.memory[0x809C00], 0x1234u);  // written through the responder

    rig.control->StopMonitoring(kMonitorVariables);
    QTest::mouseDClick(pane.viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(calls, 1);
    // Cancel writes nothing.
    rig.control->SetChangeSymbolHook([](QWidget*, const ChangeSymbolRequest&, uint32_t& word) {
      word = 99;
      return false;
    });
    pane.ChangeSelectedVariable();
    QCOMPARE(rig.pod.memory[0x809C00], 0x1234u);
  }

  void columnWidthsLiveInTheProfile() {
    MonitorRig rig;
    QCOMPARE(rig.Variables().columnWidth(0), 55);
    QCOMPARE(rig.Variables().columnWidth(1), 100);
    QCOMPARE(rig.Variables().columnWidth(5), 90);
    QCOMPARE(rig.Variables().horizontalHeaderItem(2)->text(), QString("Monitor Value"));
    rig.Variables().setColumnWidth(1, 170);
    rig.Variables().SaveColumnWidths();
    QCOMPARE(rig.store.ReadInt("View Information", "TR Column1 Width", 0), 170);
    QCOMPARE(rig.store.ReadInt("View Information", "TR Column2 Width", 0), 90);

    rig.store.WriteInt("View Information", "TR Column3 Width", 123);
    CTRightView again(*rig.control, rig.store);
    QCOMPARE(again.columnWidth(1), 170);
    QCOMPARE(again.columnWidth(3), 123);
  }

  void resolvingAfterALoadRewritesChangedRows() {
    MonitorRig rig;
    LoadSymbols(rig);
    rig.control->AddSymbolVariable("counter");
    rig.control->AddSymbolVariable("gain");
    rig.program.variables[1].viewType = ToByte(ViewType::Binary);
    rig.Variables().RebuildVariableRows();
    // The new program moved counter only.
    rig.program.symbols[0].address = 0x809E00;
    rig.control->UpdateResolvedVariables();
    QCOMPARE(rig.Variables().CellText(0, 5), QString("0x809E00"));
    QCOMPARE(rig.Variables().CellText(1, 3), QString("binary"));  // untouched
    CheckRowsMirrorList(rig);
    QVERIFY(rig.control->variableMonitoring());  // paused and resumed
  }

  void rebuildingFromAFileStartsMonitoringOnlyWithItems() {
    MonitorRig rig;
    rig.program.variables = {SymbolEntry("a", 0x809800, 4), SymbolEntry("b", 0x809801, 6)};
    rig.program.variables[1].viewType = 9;
    rig.Variables().RebuildVariableRows();
    CheckRowsMirrorList(rig);
    QCOMPARE(rig.Variables().CellText(1, 3), QString("hex decimal"));
    QVERIFY(rig.control->variableMonitoring());

    rig.control->StopMonitoring(kMonitorBoth);
    rig.program.variables.clear();
    rig.control->RebuildVariableRows();
    QCOMPARE(rig.Variables().rowCount(), 0);
    QVERIFY(!rig.control->variableMonitoring());
    QVERIFY(rig.prompt.information.isEmpty());
  }
};

QTEST_MAIN(TRightViewTest)
#include "trightview_qtest.moc"
