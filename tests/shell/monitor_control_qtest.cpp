// Monitoring control: start and stop by mode, the self-rearming tick over the
// visible rows, the silent stop after a failed read, pauses, and the enabling
// of the two monitoring commands.
#include <QAction>
#include <QScrollBar>
#include <QTest>

#include "shell/Commands.h"
#include "shell/monitor_support.h"

using namespace velmora;
using namespace velmora::test;

class MonitorControlTest : public QObject {
  Q_OBJECT

 private slots:
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
    rig.control->ToggleVariableMonitoring();
    QCOMPARE(rig.control->RunningMode(), kMonitorBoth);
    rig.control->ToggleVariableMonitoring();
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
    QCOMPARE(rig.pod.readAddresses[3], 0x809800u);
    QCOMPARE(rig.Variables().CellText(2, 2), QString("1002"));
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
    const size_t reads = rig.pod.Reads();
    QTest::qWait(200);
    QCOMPARE(rig.pod.Reads(), reads);
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
      rig.control->AddVariable("x", 0x809800, 0, 4);  // no pod: no start
      QCOMPARE(rig.control->RunningMode(), 0);
      rig.control->UpdateCommandUi();
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
};

QTEST_MAIN(MonitorControlTest)
#include "monitor_control_qtest.moc"
