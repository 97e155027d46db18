// Monitoring control: start and stop by mode, the self-rearming tick over the
// visible rows, the silent stop after a failed read, pauses, and the enabling
// of the two monitoring commands.
#include <QAction>
#include <QLabel>
#include <QResizeEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "shell/Commands.h"
#include "shell/monitor_support.h"

using namespace velmora;
using namespace velmora::test;

class MonitorControlTest : public QObject {
  Q_OBJECT

 private:
  static void AddItems(MonitorRig& rig, int n, uint32_t base = 0x809800) {
    for (int i = 0; i < n; ++i) {
      const uint32_t address = base + static_cast<uint32_t>(i);
      rig.pod.memory[address] = 1000 + static_cast<uint32_t>(i);
      rig.control->AddVariable("v" + std::to_string(i), address, 1, 4);
    }
  }
  static bool Lamp(MonitorRig& rig) { return rig.frame->IsLampOn(); }

 private slots:
  void startWithAnEmptyListOrNoHandleLeavesTheFlagsClear() {
    MonitorRig rig;
    rig.control->StartMonitoring(kMonitorVariables);
    QCOMPARE(rig.prompt.information, QStringList{"No varible is registered for monitoring"});
    QVERIFY(!rig.control->monitoringActive());
    QVERIFY(!rig.control->variableMonitoring());
    QVERIFY(!rig.control->TimerRunning());
    QVERIFY(!Lamp(rig));

    rig.pod.openFails = true;
    rig.control->StartMonitoring(kMonitorAddresses);
    rig.control->StartMonitoring(kMonitorBoth);
    QCOMPARE(rig.prompt.errors,
             QStringList({"Failed to get USB Handle", "Failed to get USB Handle"}));
    QCOMPARE(rig.control->RunningMode(), 0);
    QVERIFY(!rig.control->TimerRunning());
  }

  void modesMoveTheFlagsAsSpecified() {
    MonitorRig rig;
    // Both at once with no variables: addresses run, variables are refused.
    rig.control->StartMonitoring(kMonitorBoth);
    QCOMPARE(rig.prompt.information.size(), 1);
    QVERIFY(rig.control->monitoringActive());
    QVERIFY(!rig.control->variableMonitoring());
    QVERIFY(rig.control->addressMonitoring());
    QCOMPARE(rig.control->RunningMode(), 2);
    QVERIFY(Lamp(rig));
    QVERIFY(rig.control->TimerRunning());

    // An added variable joins the running timer.
    AddItems(rig, 1);
    QCOMPARE(rig.control->RunningMode(), 4);
    // Stopping one kind keeps the timer for the other.
    rig.control->StopMonitoring(kMonitorAddresses);
    QCOMPARE(rig.control->RunningMode(), 1);
    QVERIFY(rig.control->TimerRunning());
    QVERIFY(Lamp(rig));
    const int purges = rig.pod.purges;
    rig.control->StopMonitoring(kMonitorVariables);
    QCOMPARE(rig.control->RunningMode(), 0);
    QVERIFY(!rig.control->monitoringActive());
    QVERIFY(!rig.control->TimerRunning());
    QVERIFY(!Lamp(rig));
    QCOMPARE(rig.pod.purges, purges + 1);
    QVERIFY(rig.link->IsOpen());  // purged, not closed

    // Toggles run and stop their own kind only.
    rig.control->ToggleAddressMonitoring();
    QCOMPARE(rig.control->RunningMode(), 2);
    rig.control->ToggleVariableMonitoring();
    QCOMPARE(rig.control->RunningMode(), 4);
    rig.control->ToggleVariableMonitoring();
    QCOMPARE(rig.control->RunningMode(), 2);
    rig.control->StopMonitoring(kMonitorBoth);
    QCOMPARE(rig.control->RunningMode(), 0);
    QCOMPARE(rig.prompt.errors.size(), 0);
  }

  void aTickReadsExactlyTheVisibleRows() {
    MonitorRig rig;
    AddItems(rig, 100);
    rig.control->StopMonitoring(kMonitorBoth);
    rig.ShowRows(rig.Variables(), 20);
    QCOMPARE(rig.Variables().RowsPerPage(), 20);
    rig.Variables().scrollToTop();
    rig.control->StartMonitoring(kMonitorVariables);
    rig.pod.readAddresses.clear();
    rig.control->Tick();
    QCOMPARE(rig.pod.Reads(), size_t{21});
    for (int i = 0; i <= 20; ++i) QCOMPARE(rig.pod.readAddresses[i], 0x809800u + i);
    QCOMPARE(rig.Variables().CellText(20, 2), QString("1020"));
    QCOMPARE(rig.Variables().CellText(21, 2), QString());
    QVERIFY(rig.control->TimerRunning());  // re-armed

    // Scrolled, the next tick reads the rows now in view.
    rig.Variables().verticalScrollBar()->setValue(50);
    QCOMPARE(rig.Variables().TopRow(), 50);
    rig.pod.readAddresses.clear();
    rig.control->Tick();
    QCOMPARE(rig.pod.Reads(), size_t{21});
    QCOMPARE(rig.pod.readAddresses.front(), 0x809800u + 50);
    QCOMPARE(rig.pod.readAddresses.back(), 0x809800u + 70);
  }

  void theTimerKeepsTickingWithThePeriod() {
    MonitorRig rig;
    rig.ShowRows(rig.Variables(), 10);
    AddItems(rig, 3);
    rig.Variables().scrollToTop();
    QVERIFY(rig.control->monitoringActive());
    QCOMPARE(rig.control->PeriodMs(), 50);
    rig.pod.readAddresses.clear();
    QTRY_VERIFY_WITH_TIMEOUT(rig.pod.Reads() >= 9, 5000);  // three ticks or more
    // Each tick reads the three rows in order.
    QCOMPARE(rig.pod.readAddresses[3], 0x809800u);
    QCOMPARE(rig.Variables().CellText(2, 2), QString("1002"));
  }

  void aFailedReadStopsMonitoringSilently() {
    MonitorRig rig;
    AddItems(rig, 10);
    rig.ShowRows(rig.Variables(), 20);
    rig.Variables().scrollToTop();
    rig.control->Tick();  // every row shows 100x
    for (uint32_t i = 0; i < 10; ++i) rig.pod.memory[0x809800 + i] = 7;
    rig.pod.FailRead(5);
    rig.control->Tick();
    for (int i = 0; i < 4; ++i) QCOMPARE(rig.Variables().CellText(i, 2), QString("7"));
    for (int i = 4; i < 10; ++i)
      QCOMPARE(rig.Variables().CellText(i, 2), QString::number(1000 + i));
    QCOMPARE(rig.control->RunningMode(), 0);
    QVERIFY(!rig.control->monitoringActive());
    QVERIFY(!rig.control->TimerRunning());
    QVERIFY(rig.prompt.information.isEmpty() && rig.prompt.errors.isEmpty());
    QVERIFY(!Lamp(rig));
    // No further tick follows.
    const size_t reads = rig.pod.Reads();
    QTest::qWait(200);
    QCOMPARE(rig.pod.Reads(), reads);
    QVERIFY(!rig.frame->Command(cmd::kVariableMonitoring)->isChecked());
  }

  void aFailedVariableReadIsNotHiddenByTheAddressList() {
    MonitorRig rig;
    AddItems(rig, 2);
    rig.control->AddAddress(0x808040, 0);
    QCOMPARE(rig.control->RunningMode(), 4);
    rig.pod.FailRead(1);
    rig.pod.readAddresses.clear();
    rig.control->Tick();
    QCOMPARE(rig.control->RunningMode(), 0);
    QCOMPARE(rig.pod.Reads(), size_t{1});  // the address list was not read on a broken link
  }

  void voidItemsAreNotRead() {
    MonitorRig rig;
    rig.ShowRows(rig.Variables(), 10);
    rig.control->AddVariable("p", 0x809800, 0, 0x10);  // pointer to void
    rig.control->AddVariable("n", 0x809801, 1, 4);
    rig.pod.readAddresses.clear();
    rig.control->Tick();
    QCOMPARE(rig.pod.readAddresses, std::vector<uint32_t>{0x809801});
  }

  void pausesRestartTheSameMode() {
    MonitorRig rig;
    AddItems(rig, 2);
    rig.control->StartMonitoring(kMonitorAddresses);
    QCOMPARE(rig.control->RunningMode(), 4);
    {
      MonitoringPause pause(*rig.control);
      QCOMPARE(pause.Mode(), 4);
      QCOMPARE(rig.control->RunningMode(), 0);
      QVERIFY(!rig.control->TimerRunning());
    }
    QCOMPARE(rig.control->RunningMode(), 4);
    QVERIFY(rig.control->TimerRunning());

    // A resize of the main window with only address monitoring running
    // restarts address monitoring only.
    rig.control->StopMonitoring(kMonitorVariables);
    QCOMPARE(rig.control->RunningMode(), 2);
    rig.ShowFrame();
    rig.frame->resize(rig.frame->width() - 40, rig.frame->height() - 40);
    QApplication::processEvents();
    QCOMPARE(rig.control->RunningMode(), 2);
    QVERIFY(rig.control->TimerRunning());

    // Nothing running: a pause does nothing, and nothing starts after it.
    rig.control->StopMonitoring(kMonitorBoth);
    { MonitoringPause pause(*rig.control); }
    QCOMPARE(rig.control->RunningMode(), 0);
    QVERIFY(rig.prompt.information.isEmpty());
  }

  void commandsFollowThePodAndTheList() {
    {
      MonitorRig rig(false);
      QAction* vars = rig.frame->Command(cmd::kVariableMonitoring);
      QAction* addrs = rig.frame->Command(cmd::kAddressMonitoring);
      rig.control->AddVariable("x", 0x809800, 0, 4);  // no pod: no start
      QCOMPARE(rig.control->RunningMode(), 0);
      rig.control->UpdateCommandUi();
      QVERIFY(!vars->isEnabled());
      QVERIFY(!addrs->isEnabled());
    }
    MonitorRig rig;
    QAction* vars = rig.frame->Command(cmd::kVariableMonitoring);
    QAction* addrs = rig.frame->Command(cmd::kAddressMonitoring);
    rig.control->UpdateCommandUi();
    QVERIFY(!vars->isEnabled());  // empty list
    QVERIFY(addrs->isEnabled());
    QVERIFY(!addrs->isChecked());
    AddItems(rig, 1);
    QVERIFY(vars->isEnabled());
    QVERIFY(vars->isChecked());
    // The menu command toggles.
    vars->trigger();
    QVERIFY(!rig.control->variableMonitoring());
    QVERIFY(!vars->isChecked());
    addrs->trigger();
    QVERIFY(rig.control->addressMonitoring());
    QVERIFY(addrs->isChecked());
  }

  void closingTheWindowEndsTheTicks() {
    MonitorRig rig;
    AddItems(rig, 1);
    rig.control->ClearMonitoringActive();
    rig.pod.readAddresses.clear();
    rig.control->Tick();
    QCOMPARE(rig.pod.Reads(), size_t{0});
    QVERIFY(!rig.control->TimerRunning());
  }
};

QTEST_MAIN(MonitorControlTest)
#include "monitor_control_qtest.moc"
