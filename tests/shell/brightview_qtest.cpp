// The address pane: adds from the console, duplicates, rebuilds from a file,
// its own tick (no rows skipped), context menu and change dialog.
#include <QMenu>
#include <QTest>

#include "monitoring/ValueFormats.h"
#include "shell/Commands.h"
#include "shell/monitor_support.h"

using namespace velmora;
using namespace velmora::test;

class BRightViewTest : public QObject {
  Q_OBJECT

 private:
  static void Select(CMonitorListView& pane, int row) {
    pane.clearSelection();
    pane.selectionModel()->select(pane.model()->index(row, 0),
                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }

 private slots:
  void addsAreUniqueAndStartAddressMonitoring() {
    MonitorRig rig;
    CBRightView& pane = rig.Addresses();
    rig.control->AddAddress(0x809800, 0);
    QVERIFY(rig.control->addressMonitoring());
    QCOMPARE(rig.control->RunningMode(), 2);
    rig.control->AddAddress(0x809800, 4);
    rig.control->AddAddress(0x1000000, 0);  // beyond the address space: ignored
    rig.control->AddAddress(0x000000, ToByte(ViewType::Binary));
    QCOMPARE(pane.rowCount(), 2);
    QCOMPARE(rig.program.addresses.size(), size_t{2});
    QCOMPARE(pane.CellText(0, 1), QString("0x809800"));
    QCOMPARE(pane.CellText(1, 0), QString("1"));
    QCOMPARE(pane.CellText(1, 3), QString("binary"));
    QCOMPARE(rig.Console().Log()->LineCount(), uint16_t{1});
    QCOMPARE(rig.Console().Log()->LineText(0),
             QString("[ NOTICE ] : This address is already registered"));
    QVERIFY(rig.control->IsAddressRegistered(0));
    QVERIFY(rig.program.addresses[1].name.empty());
  }

  void tickReadsEveryVisibleRowInItsView() {
    MonitorRig rig;
    rig.ShowRows(rig.Addresses(), 10);
    rig.pod.memory[0x000000] = 5;
    rig.pod.memory[0x000001] = 0x00400000;
    rig.control->AddAddress(0x000000, ToByte(ViewType::Binary));
    rig.control->AddAddress(0x000001, ToByte(ViewType::Float));
    rig.Addresses().scrollToTop();
    rig.pod.readAddresses.clear();
    rig.control->Tick();
    QCOMPARE(rig.pod.readAddresses, (std::vector<uint32_t>{0, 1}));
    QCOMPARE(rig.Addresses().CellText(0, 2), QString(29, '0') + "101");
    QCOMPARE(rig.Addresses().CellText(1, 2), QString("1.5"));
  }

  void deletingTheLastAddressKeepsVariableMonitoring() {
    MonitorRig rig;
    rig.control->AddVariable("v", 0x809C00, 0, 4);
    rig.control->AddAddress(0x809800, 0);
    rig.control->AddAddress(0x809801, 0);
    rig.Addresses().DeleteAddressRow(0);
    QCOMPARE(rig.Addresses().CellText(0, 0), QString("0"));
    QCOMPARE(rig.Addresses().CellText(0, 1), QString("0x809801"));
    rig.Addresses().DeleteAddressRow(7);
    QCOMPARE(rig.Addresses().rowCount(), 1);
    Select(rig.Addresses(), 0);
    QTest::keyClick(&rig.Addresses(), Qt::Key_Delete);
    QCOMPARE(rig.Addresses().rowCount(), 0);
    QVERIFY(rig.program.addresses.empty());
    QCOMPARE(rig.control->RunningMode(), 1);
    QVERIFY(rig.control->TimerRunning());
  }

  void rebuildShowsTheLoadedAddressesWithEmptyValues() {
    MonitorRig rig;
    rig.program.addresses = {SymbolEntry("", 0x808040, 0), SymbolEntry("", 0x808041, 0),
                             SymbolEntry("", 0x000010, 0)};
    rig.program.addresses[2].viewType = ToByte(ViewType::SignedInteger);
    rig.Addresses().RebuildAddressRows();
    QCOMPARE(rig.Addresses().rowCount(), 3);
    for (int row = 0; row < 3; ++row) {
      QCOMPARE(rig.Addresses().CellText(row, 0), QString::number(row));
      QCOMPARE(rig.Addresses().CellText(row, 2), QString());
    }
    QCOMPARE(rig.Addresses().CellText(2, 1), QString("0x000010"));
    QCOMPARE(rig.Addresses().CellText(2, 3), QString("signed integer"));
    QVERIFY(rig.control->addressMonitoring());
  }

  void contextMenuAndChangeDialog() {
    MonitorRig rig;
    rig.ShowRows(rig.Addresses(), 10);
    rig.pod.memory[0x809800] = 0xFFFFFFFF;
    rig.control->AddAddress(0x809800, ToByte(ViewType::SignedInteger));
    rig.control->Tick();
    Select(rig.Addresses(), 0);
    std::unique_ptr<QMenu> menu(rig.Addresses().BuildContextMenu(nullptr));
    QCOMPARE(CMonitorListView::FindAction(menu.get(), 32792)->text(),
             QString("Stop Address Monitoring"));
    for (int id = 32792; id <= 32800; ++id)
      QVERIFY2(CMonitorListView::FindAction(menu.get(), id)->isEnabled(),
               qPrintable(QString::number(id)));
    QCOMPARE(CMonitorListView::FindAction(menu.get(), 32795)->text(),
             QString("Change Address Data..."));

    ChangeAddressRequest seen;
    rig.control->SetChangeAddressHook([&](QWidget*, const ChangeAddressRequest& r, uint32_t& w) {
      seen = r;
      w = 77;
      return true;
    });
    CMonitorListView::FindAction(menu.get(), 32795)->trigger();
    QCOMPARE(seen.addressText, QString("0x809800"));
    QCOMPARE(seen.viewTypeText, QString("signed integer"));
    QCOMPARE(seen.valueText, QString("-1"));
    QCOMPARE(seen.viewType, ToByte(ViewType::SignedInteger));
    QCOMPARE(rig.pod.memory[0x809800], 77u);

    CMonitorListView::FindAction(menu.get(), 32794)->trigger();  // Delete All Items
    QCOMPARE(rig.Addresses().rowCount(), 0);
    QVERIFY(!rig.control->addressMonitoring());
  }
};

QTEST_MAIN(BRightViewTest)
#include "brightview_qtest.moc"
