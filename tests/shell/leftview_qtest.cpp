// The symbol pane: rows and their texts, what a fill asks of the variable
// monitor, double-click and "Add Symbol List".
#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QtTest>
#include <set>

#include "shell/LeftView.h"

using namespace velmora;

namespace {

class RecordingHost : public SymbolPaneHost {
 public:
  bool monitoring = false;
  std::set<std::string> registered;
  QStringList calls;

  bool VariableMonitoring() override { return monitoring; }
  void StopMonitoring(int mode) override { calls << QStringLiteral("stop %1").arg(mode); }
  void StartMonitoring(int mode) override { calls << QStringLiteral("start %1").arg(mode); }
  void UpdateResolvedVariables() override { calls << "update"; }
  bool IsVariableRegistered(const std::string& name) override { return registered.count(name); }
  void AddSymbolVariable(const std::string& name) override {
    calls << QString::fromStdString("add " + name);
  }
  void OpenCoffFile() override { calls << "open"; }
  void DeleteAllSymbols() override { calls << "delete"; }
};

CDataObject Symbol(const char* name, uint32_t address, uint16_t type, const char* array = "") {
  CDataObject o;
  o.name = name;
  o.address = address;
  o.typeCode = type;
  o.arrayText = array;
  return o;
}

QStringList Row(const CLeftView& pane, int row) {
  QStringList cells;
  for (int c = 0; c < 4; ++c) cells << pane.Text(row, c);
  return cells;
}

QAction* Action(QMenu& menu, int id) {
  for (QAction* a : menu.actions())
    if (a->data().toInt() == id) return a;
  return nullptr;
}

}  // namespace

class LeftViewTest : public QObject {
  Q_OBJECT

 private slots:
  void fillShowsTheRowsAndPausesTheVariableMonitor() {
    CLeftView pane;
    RecordingHost host;
    pane.SetHost(&host);
    pane.Fill({Symbol("beta", 0x809C00, 4), Symbol("Alpha", 0x12, 0, "Array Info : [4]"),
               Symbol("alpha2", 0xABCDEF, 0x36, "Array Info : [3]")});
    // Sorted without regard to case; basic type 0 shows no type and no array text.
    QCOMPARE(Row(pane, 0), (QStringList{"Alpha", "0x000012", "", ""}));
    QCOMPARE(Row(pane, 1),
             (QStringList{"alpha2", "0xABCDEF", "Array of Floating point", "Array Info : [3]"}));
    QCOMPARE(Row(pane, 2), (QStringList{"beta", "0x809C00", "Integer", ""}));
    QVERIFY(!pane.horizontalHeader()->sectionsClickable());  // the order is fixed
    QCOMPARE(host.calls, QStringList{"update"});
    // A running variable monitor is paused around the update.
    host.calls.clear();
    host.monitoring = true;
    pane.Fill({Symbol("x", 1, 4)});
    QCOMPARE(host.calls, (QStringList{"stop 1", "update", "start 1"}));
    // An empty table empties the pane and asks nothing.
    host.calls.clear();
    pane.Fill({});
    QCOMPARE(pane.RowCount(), 0);
    QVERIFY(host.calls.isEmpty());
  }

  void doubleClickAndAddSymbolList() {
    CLeftView pane;
    RecordingHost host;
    pane.SetHost(&host);
    pane.resize(400, 300);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    pane.Fill({Symbol("gamma", 3, 4), Symbol("alpha", 1, 4), Symbol("beta", 2, 4)});
    host.calls.clear();
    host.registered = {"beta"};
    // Alpha is added; beta is registered already; below the last row is nothing.
    for (const QPoint& at : {pane.visualRect(pane.model()->index(0, 0)).center(),
                             pane.visualRect(pane.model()->index(1, 0)).center(),
                             QPoint(10, pane.viewport()->height() - 3)})
      QTest::mouseDClick(pane.viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(host.calls, QStringList{"add alpha"});

    // The selection from top to bottom, skipping what is registered.
    host.calls.clear();
    host.registered = {"gamma"};
    pane.clearSelection();
    for (int row : {2, 0})
      pane.selectionModel()->select(pane.model()->index(row, 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QCOMPARE(pane.SelectedNames(), (QStringList{"alpha", "gamma"}));
    Action(*pane.BuildContextMenu(), kCmdAddSymbolList)->trigger();
    QCOMPARE(host.calls, QStringList{"add alpha"});
  }
};

QTEST_MAIN(LeftViewTest)
#include "leftview_qtest.moc"
