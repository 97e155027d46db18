// The console page: typed lines, the queued hand-over, execution against the
// responder with the exact result texts and colours, the 1000-line log, F2,
// and the page layout.
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "shell/monitor_support.h"

using namespace velmora;
using namespace velmora::test;

class ConsoleTest : public QObject {
  Q_OBJECT

 private:
  static void Type(MonitorRig& rig, const QString& line) {
    QLineEdit* input = rig.Console().Input();
    input->setFocus();
    input->setText(line);
    QTest::keyClick(input, Qt::Key_Return);
  }
  static QStringList Lines(MonitorRig& rig) {
    QStringList lines;
    CConsoleLog* log = rig.Console().Log();
    for (int i = 0; i < log->LineCount(); ++i) lines << log->LineText(i);
    return lines;
  }

 private slots:
  void commandsRunAfterWhatIsAlreadyQueued() {
    MonitorRig rig;
    rig.program.symbols = {SymbolEntry("counter", 0x809C00, 4)};
    rig.pod.memory[0x809C00] = 41;
    // Something queued before the line (a tick, say) changes the word first.
    QMetaObject::invokeMethod(
        rig.control.get(), [&] { rig.pod.memory[0x809C00] = 42; }, Qt::QueuedConnection);
    Type(rig, "d counter/d");
    QVERIFY(Lines(rig).isEmpty());  // nothing runs inside the key handler
    QVERIFY(rig.pod.readAddresses.empty());
    QCOMPARE(rig.Console().Input()->text(), QString());
    QTRY_COMPARE(Lines(rig), QStringList{"[ RESULT ] : counter, 42"});
    QCOMPARE(rig.Console().Log()->LineColour(0), QColor(0, 128, 0));
    QCOMPARE(rig.control->PendingCommand().address, 0x809C00u);
  }

  void twoLinesTypedBeforeEitherRunBothRunAsTyped() {
    MonitorRig rig;
    rig.pod.memory[0x809800] = 1;
    rig.pod.memory[0x809801] = 2;
    Type(rig, "d 0x809800");
    Type(rig, "d 0x809801/d");
    QTRY_COMPARE(Lines(rig),
                 QStringList({"[ RESULT ] : 0x809800, 0x00000001", "[ RESULT ] : 0x809801, 2"}));
  }

  void writesLandInTargetMemory() {
    MonitorRig rig;
    rig.program.symbols = {SymbolEntry("x", 0x809C10, 6)};
    Type(rig, "d x=1.5");
    Type(rig, "d x = 5");
    Type(rig, "d 0x809800=0x1234ABCD");
    QTRY_COMPARE(Lines(rig).size(), 3);
    QCOMPARE(Lines(rig), QStringList(3, "[ RESULT ] : Writing Completed..."));
    QCOMPARE(rig.pod.committed,
             (std::vector<std::pair<uint32_t, uint32_t>>{
                 {0x809C10, 0x00400000}, {0x809C10, 5}, {0x809800, 0x1234ABCD}}));
  }

  void errorsAreRedAndLeaveTheLastCommand() {
    MonitorRig rig;
    Type(rig, "h");
    QCOMPARE(rig.Console().LastCommand(), std::string("h"));
    Type(rig, "d x=-1.5");
    Type(rig, "help");
    QApplication::processEvents();
    const QStringList lines = Lines(rig);
    QCOMPARE(lines.size(), 8);
    QCOMPARE(lines[0], QString("--- Monitoring Command Format Help ---"));
    QCOMPARE(rig.Console().Log()->LineColour(0), QColor(0, 0, 255));
    QCOMPARE(lines[6], QString("[ ERROR ] : Wrong Float Data Input"));
    QCOMPARE(rig.Console().Log()->LineColour(6), QColor(255, 0, 0));
    QCOMPARE(lines[7], QString("[ ERROR ] : Wrong Command Input"));
    QCOMPARE(rig.Console().LastCommand(), std::string("h"));
    QCOMPARE(rig.Console().Input()->text(), QString());

    // F2 brings back the last accepted line only.
    QTest::keyClick(rig.Console().Input(), Qt::Key_F2);
    QCOMPARE(rig.Console().Input()->text(), QString("h"));
  }

  void failuresToOpenAreReportedAndFailedReadsAreNot() {
    MonitorRig rig;
    rig.pod.failAllReads = true;
    Type(rig, "d 0x809800");
    QTest::qWait(50);
    QVERIFY(Lines(rig).isEmpty());
    rig.link->Close();
    rig.pod.openFails = true;
    Type(rig, "d 0x809800");
    QTRY_COMPARE(Lines(rig), QStringList{"[ ERROR ] : Failed to get USB Handle"});
  }

  void watchCommandsReachThePanes() {
    MonitorRig rig;
    rig.program.symbols = {SymbolEntry("buf", 0x809C00, 0x34, "Array Info : [16]")};
    Type(rig, "wa buf[12]/d");
    Type(rig, "wa buf[0x10]");
    Type(rig, "wa 0x809800");
    Type(rig, "wa 0x809800");
    QTRY_COMPARE(rig.Addresses().rowCount(), 1);
    QTRY_COMPARE(rig.Variables().rowCount(), 2);
    QCOMPARE(rig.Variables().CellText(0, 1), QString("buf[12]"));
    QCOMPARE(rig.Variables().CellText(0, 5), QString("0x809C0C"));
    QCOMPARE(rig.Variables().CellText(0, 3), QString("signed integer"));
    QCOMPARE(rig.Variables().CellText(1, 5), QString("0x809C10"));
    QTRY_COMPARE(Lines(rig), QStringList{"[ NOTICE ] : This address is already registered"});
    QCOMPARE(rig.control->RunningMode(), 4);

    Type(rig, "wd 0/s");
    QTRY_COMPARE(rig.Variables().rowCount(), 1);
    QCOMPARE(rig.Variables().CellText(0, 1), QString("buf[0x10]"));
    Type(rig, "watchdel *");
    QTRY_COMPARE(rig.Variables().rowCount() + rig.Addresses().rowCount(), 0);
    QCOMPARE(rig.Console().LastCommand(), std::string("wd*"));
    QCOMPARE(rig.control->RunningMode(), 0);
  }

  void withoutAPodEnterAndF2DoNothing() {
    MonitorRig rig(false);
    Type(rig, "h");
    QCOMPARE(rig.Console().Input()->text(), QString("h"));
    QVERIFY(Lines(rig).isEmpty());
    QTest::keyClick(rig.Console().Input(), Qt::Key_F2);
    QCOMPARE(rig.Console().Input()->text(), QString("h"));
  }

  void theLogKeepsTheNewestThousandLines() {
    CConsoleLog log;
    log.resize(300, 200);
    for (int i = 0; i < 1005; ++i)
      log.AppendLine(QString("line %1").arg(i), i % 2 ? Qt::red : Qt::blue);
    QCOMPARE(log.LineCount(), uint16_t{1000});
    QCOMPARE(log.LineText(0), QString("line 5"));
    QCOMPARE(log.LineText(999), QString("line 1004"));
    QCOMPARE(log.LineColour(0), QColor(Qt::red));
    QCOMPARE(log.LineColour(999), QColor(Qt::blue));
    QVERIFY(log.isReadOnly());
  }

  void pageLayout() {
    MonitorRig rig;
    CConsoleDlg& page = rig.Console();
    page.setParent(nullptr);
    page.resize(640, 240);
    page.show();
    QApplication::processEvents();
    const QRect caption = page.Caption()->geometry();
    const QRect input = page.Input()->geometry();
    const QRect log = page.Log()->geometry();
    QCOMPARE(page.Caption()->text(), QString("Input monitoring command"));
    QCOMPARE(caption.topLeft(), QPoint(5, 5));
    QCOMPARE(input.left(), caption.right() + 1 + 4);
    QCOMPARE(input.top(), 5);
    QCOMPARE(input.width(), 300);
    QCOMPARE(input.height(), caption.height());
    QCOMPARE(log.topLeft(), QPoint(5, caption.bottom() + 1 + 4));
    QCOMPARE(log.right(), 640 - 5 - 1);
    QCOMPARE(log.bottom(), 240 - 5 - 1);
    page.setParent(rig.frame.get());  // the frame deletes it
  }
};

QTEST_MAIN(ConsoleTest)
#include "console_qtest.moc"
