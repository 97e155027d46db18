// The captured tool runner, driven with small sh scripts as tools.
#include <QApplication>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "shell/ToolRunner.h"
#include "toolrunner_support.h"

using namespace velmora;
using velmora::test::ProcessAlive;
using velmora::test::ReadAll;
using velmora::test::WriteScript;

namespace {

// Collects what a runner delivers, stream by stream and as one sink.
struct Capture {
  QString out, err, all;
  int terminated = 0;
  int exitCode = -1;
  qsizetype outAtEnd = -1, errAtEnd = -1;
  explicit Capture(CProcessRunner& r) {
    QObject::connect(&r, &CProcessRunner::standardOutput, [this](const QString& t) {
      out += t;
      all += t;
    });
    QObject::connect(&r, &CProcessRunner::standardError, [this](const QString& t) {
      err += t;
      all += t;
    });
    QObject::connect(&r, &CProcessRunner::terminated, [this](int code) {
      ++terminated;
      exitCode = code;
      outAtEnd = out.size();
      errAtEnd = err.size();
    });
  }
};

constexpr int kLong = 30000;  // generous bound for a busy machine

}  // namespace

class ToolRunnerTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QVERIFY(tmp_.isValid()); }

  void bothStreamsArriveAndTheEndIsReported() {
    const QString tool = WriteScript(tmp_, "streams.sh",
                                     "echo \"out:$1:$2\"\n"
                                     "echo err-line >&2\n"
                                     "exit 3");
    QString sunk;
    CToolRunner runner([&](const QString& t) { sunk += t; });
    Capture cap(runner);
    QVERIFY(runner.StartUserTool(tool, tool + " alpha \"two words\"", tmp_.path()));
    QVERIFY(runner.IsRunning() || cap.terminated == 1);
    QTRY_COMPARE_WITH_TIMEOUT(cap.terminated, 1, kLong);
    QCOMPARE(cap.out, QStringLiteral("out:alpha:two words\n"));
    QCOMPARE(cap.err, QStringLiteral("err-line\n"));
    // The sink (the message window) sees both streams.
    QVERIFY(sunk.contains("out:alpha:two words\n"));
    QVERIFY(sunk.contains("err-line\n"));
    QCOMPARE(cap.exitCode, 3);
    QCOMPARE(runner.LastExitCode(), 3);
    QVERIFY(!runner.IsRunning());
    QCOMPARE(runner.RunningCommand(), QString());
  }

  void workDirectoryIsUsed() {
    QTemporaryDir work;
    const QString tool = WriteScript(tmp_, "pwd.sh", "pwd");
    CToolRunner runner(nullptr);
    Capture cap(runner);
    QVERIFY(runner.StartUserTool(tool, tool, work.path()));
    QTRY_COMPARE_WITH_TIMEOUT(cap.terminated, 1, kLong);
    QCOMPARE(QDir(cap.out.trimmed()).canonicalPath(), QDir(work.path()).canonicalPath());
  }

  // 1 MiB per stream arrives whole and in order, every byte before the end
  // is reported, even though the tool exits right after writing.
  void largeOutputArrivesWholeAndInOrder() {
    const int lines = 65536;  // 16 bytes a line: 1 MiB per stream
    const QString tool = WriteScript(
        tmp_, "big.sh",
        QStringLiteral("awk 'BEGIN { for (i = 0; i < %1; i++) { printf \"O%09d-----\\n\", i;"
                       " printf \"E%09d+++++\\n\", i > \"/dev/stderr\" } }'")
            .arg(lines));
    CProcessRunner runner;
    Capture cap(runner);
    QVERIFY(runner.Start(tool, tool, QString()));
    QTRY_COMPARE_WITH_TIMEOUT(cap.terminated, 1, kLong);
    QString expectOut, expectErr;
    expectOut.reserve(lines * 16);
    expectErr.reserve(lines * 16);
    for (int i = 0; i < lines; ++i) {
      expectOut += QStringLiteral("O%1-----\n").arg(i, 9, 10, QChar(u'0'));
      expectErr += QStringLiteral("E%1+++++\n").arg(i, 9, 10, QChar(u'0'));
    }
    QCOMPARE(cap.out.size(), expectOut.size());
    QVERIFY(cap.out == expectOut);
    QVERIFY(cap.err == expectErr);
    QCOMPARE(cap.outAtEnd, expectOut.size());
    QCOMPARE(cap.errAtEnd, expectErr.size());
  }

  void toolThatReadsInputSeesEndOfFile() {
    const QString tool = WriteScript(tmp_, "reader.sh", "cat\necho input-closed");
    CProcessRunner runner;
    Capture cap(runner);
    QVERIFY(runner.Start(tool, tool, QString()));
    QTRY_COMPARE_WITH_TIMEOUT(cap.terminated, 1, kLong);
    QCOMPARE(cap.out, QStringLiteral("input-closed\n"));
  }

  void programsThatCannotStartAreReported_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("workDir");
    const QString ok = WriteScript(tmp_, "fine.sh", "echo fine");
    const QString plain = WriteScript(tmp_, "notexec.sh", "echo never", false);
    QTest::newRow("missing program") << tmp_.filePath("no-such-tool") << QString();
    QTest::newRow("not executable") << plain << QString();
    QTest::newRow("missing work dir") << ok << tmp_.filePath("no/such/dir");
  }
  void programsThatCannotStartAreReported() {
    QFETCH(QString, program);
    QFETCH(QString, workDir);
    QString sunk;
    CToolRunner runner([&](const QString& t) { sunk += t; });
    const QString command = program + " -x";
    QVERIFY(!runner.StartUserTool(program, command, workDir));
    QCOMPARE(sunk, QStringLiteral("Unable to start %1\n").arg(command));
    QVERIFY(!runner.IsRunning());
    QVERIFY(QApplication::overrideCursor() == nullptr);
    // The runner is usable again afterwards.
    const QString again = WriteScript(tmp_, "again.sh", "echo again");
    Capture cap(runner);
    QVERIFY(runner.StartUserTool(again, again, QString()));
    QTRY_COMPARE_WITH_TIMEOUT(cap.terminated, 1, kLong);
    QCOMPARE(cap.out, QStringLiteral("again\n"));
  }

  void overlongCommandLineIsCutInTheMessage() {
    QString sunk;
    CToolRunner runner([&](const QString& t) { sunk += t; });
    const QString program = tmp_.filePath("missing");
    const QString command = program + " " + QString(400, u'x');
    QVERIFY(!runner.StartUserTool(program, command, QString()));
    QCOMPARE(sunk.size(), 255);
    QVERIFY(sunk.startsWith(QStringLiteral("Unable to start ") + program));
    QVERIFY(sunk.endsWith(u'\n'));
  }

  // A tool that never ends is ended by Stop, together with what it started,
  // and a second start is refused while it runs.
  void neverEndingToolIsStoppedWithItsChildren() {
    const QString pidFile = tmp_.filePath("loop.pid");
    const QString childFile = tmp_.filePath("loop.child");
    const QString tool = WriteScript(tmp_, "loop.sh",
                                     QStringLiteral("echo $$ > '%1'\n"
                                                    "sleep 1000 &\n"
                                                    "echo $! > '%2'\n"
                                                    "echo started\n"
                                                    "wait")
                                         .arg(pidFile, childFile));
    CToolRunner runner(nullptr);
    Capture cap(runner);
    QVERIFY(runner.StartUserTool(tool, tool, QString()));
    QVERIFY(QApplication::overrideCursor() != nullptr);
    QTRY_COMPARE_WITH_TIMEOUT(cap.out, QStringLiteral("started\n"), kLong);
    const qint64 pid = ReadAll(pidFile).toLongLong();
    const qint64 child = ReadAll(childFile).toLongLong();
    QVERIFY(ProcessAlive(pid));
    QVERIFY(ProcessAlive(child));
    QCOMPARE(runner.RunningCommand(), tool);

    const QString other = WriteScript(tmp_, "other.sh", "echo other");
    QVERIFY(!runner.StartUserTool(other, other, QString()));
    QVERIFY(runner.IsRunning());
    QVERIFY(!cap.out.contains("other"));

    runner.StopUserTool();
    QVERIFY(!runner.IsRunning());
    QCOMPARE(cap.terminated, 1);
    QCOMPARE(runner.LastExitCode(), 1);
    QVERIFY(QApplication::overrideCursor() == nullptr);
    QVERIFY(!ProcessAlive(pid));
    QTRY_VERIFY_WITH_TIMEOUT(!ProcessAlive(child), kLong);
    // Stopping an idle runner is harmless.
    runner.StopUserTool();
    QCOMPARE(cap.terminated, 1);
  }

  void destroyingTheRunnerEndsTheTool() {
    const QString pidFile = tmp_.filePath("exit.pid");
    const QString tool =
        WriteScript(tmp_, "forever.sh",
                    QStringLiteral("echo $$ > '%1'\nwhile :; do sleep 1; done").arg(pidFile));
    qint64 pid = 0;
    {
      CToolRunner runner(nullptr);
      QVERIFY(runner.StartUserTool(tool, tool, QString()));
      QTRY_VERIFY_WITH_TIMEOUT(!ReadAll(pidFile).isEmpty(), kLong);
      pid = ReadAll(pidFile).toLongLong();
      QVERIFY(ProcessAlive(pid));
    }
    QVERIFY(!ProcessAlive(pid));
    QVERIFY(QApplication::overrideCursor() == nullptr);
  }

  void waitCursorLastsWhileTheToolRuns() {
    const QString tool = WriteScript(tmp_, "short.sh", "echo short");
    CToolRunner runner(nullptr);
    Capture cap(runner);
    QVERIFY(QApplication::overrideCursor() == nullptr);
    QVERIFY(runner.StartUserTool(tool, tool, QString()));
    QVERIFY(QApplication::overrideCursor() != nullptr);
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    QTRY_COMPARE_WITH_TIMEOUT(cap.terminated, 1, kLong);
    QVERIFY(QApplication::overrideCursor() == nullptr);
  }

  // Multi-byte characters split over two chunks are not garbled.
  void decoderJoinsSplitCharacters() {
    const QString text = QStringLiteral("a\u00e9b\u20acc\U0001D11Ed");
    const QByteArray bytes = text.toUtf8();
    for (qsizetype cut = 0; cut <= bytes.size(); ++cut) {
      for (qsizetype cut2 = cut; cut2 <= bytes.size(); ++cut2) {
        OutputDecoder d;
        QString got = d.Decode(bytes.left(cut));
        got += d.Decode(bytes.mid(cut, cut2 - cut));
        got += d.Decode(bytes.mid(cut2));
        got += d.Flush();
        QCOMPARE(got, text);
      }
    }
    // An unfinished character at the very end is shown, not dropped.
    OutputDecoder d;
    QString got = d.Decode(QByteArray("x\xe2\x82", 3));
    QCOMPARE(got, QStringLiteral("x"));
    got += d.Flush();
    QVERIFY(got.size() >= 2);
    for (qsizetype i = 1; i < got.size(); ++i)
      QCOMPARE(got.at(i), QChar(QChar::ReplacementCharacter));
  }

 private:
  QTemporaryDir tmp_;
};

QTEST_MAIN(ToolRunnerTest)
#include "toolrunner_qtest.moc"
