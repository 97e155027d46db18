// The console page: typed lines, the queued hand-over, execution against the
// responder with the exact result texts and colours, the 1000-line log and F2.
#include <QTest>

#include "shell/monitor_support.h"

using namespace velmora;
using namespace velmora::test;

class ConsoleTest : public QObject {
  Q_OBJECT

 private slots:
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

  void watchCommandsReachThePanes() {
    MonitorRig rig;
    rig.program.symbols = {SymbolEntry("buf", 0x809C00, 0x34, "Array Info : [16]")};
    for (const char* line : {"wa buf[12]/d", "wa buf[0x10]", "wa 0x809800", "wa 0x809800"})
      rig.Type(line);
    QTRY_COMPARE(rig.Addresses().rowCount(), 1);
    QTRY_COMPARE(rig.Variables().rowCount(), 2);
    QCOMPARE(rig.Variables().CellText(0, 1), QString("buf[12]"));
    QCOMPARE(rig.Variables().CellText(0, 5), QString("0x809C0C"));
    QCOMPARE(rig.Variables().CellText(0, 3), QString("signed integer"));
    QCOMPARE(rig.Variables().CellText(1, 5), QString("0x809C10"));
    QTRY_COMPARE(rig.LogLines(), QStringList{"[ NOTICE ] : This address is already registered"});
    QCOMPARE(rig.control->RunningMode(), kMonitorBoth);

    rig.Type("wd 0/s");
    QTRY_COMPARE(rig.Variables().rowCount(), 1);
    QCOMPARE(rig.Variables().CellText(0, 1), QString("buf[0x10]"));
    rig.Type("watchdel *");
    QTRY_COMPARE(rig.Variables().rowCount() + rig.Addresses().rowCount(), 0);
    QCOMPARE(rig.Console().LastCommand(), std::string("wd*"));
    QCOMPARE(rig.control->RunningMode(), 0);
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
};

QTEST_MAIN(ConsoleTest)
#include "console_qtest.moc"
