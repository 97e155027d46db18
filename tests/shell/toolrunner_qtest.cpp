// The captured tool runner, driven with small sh scripts as tools, and the
// message window that shows what tools write.
#include <QApplication>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

#include "shell/MessageWnd.h"
#include "shell/ToolRunner.h"
#include "toolrunner_support.h"

using namespace velmora;
using namespace velmora::test;

namespace {

constexpr int kLong = 30000;  // generous bound for a busy machine

// What a runner delivers, stream by stream, and how much had come at the end.
struct Capture {
  QString out, err;
  int terminated = 0;
  qsizetype outAtEnd = -1, errAtEnd = -1;
  explicit Capture(CProcessRunner& r) {
    QObject::connect(&r, &CProcessRunner::standardOutput, [this](const QString& t) { out += t; });
    QObject::connect(&r, &CProcessRunner::standardError, [this](const QString& t) { err += t; });
    QObject::connect(&r, &CProcessRunner::terminated, [this](int) {
      ++terminated;
      outAtEnd = out.size();
      errAtEnd = err.size();
    });
  }
};

}  // namespace

class ToolRunnerTest : public QObject {
  Q_OBJECT
 private slots:
  void streamsArgumentsFolderAndExitCode() {
    QTemporaryDir work;
    const QString tool = WriteScript(tmp_, "streams.sh",
                                     "cat\n"  // sees end of input at once
                                     "echo \"out:$1:$2\"\npwd\necho err-line >&2\nexit 3");
    QString sunk;
    CToolRunner runner([&](const QString& t) { sunk += t; });
    Capture cap(runner);
    QVERIFY(runner.StartUserTool(tool, tool + " alpha \"two words\"", work.path()));
    QTRY_COMPARE_WITH_TIMEOUT(cap.terminated, 1, kLong);
    const QString folder = QDir(work.path()).canonicalPath();
    QCOMPARE(cap.out, QStringLiteral("out:alpha:two words\n%1\n").arg(folder));
    QCOMPARE(cap.err, QStringLiteral("err-line\n"));
    QCOMPARE(sunk.size(), cap.out.size() + cap.err.size());  // the sink hears both
    QCOMPARE(runner.LastExitCode(), 3);
    QVERIFY(!runner.IsRunning());
  }

  // 1 MiB per stream arrives whole and in order, all of it before the end is
  // reported, although the tool exits right after writing.
  void largeOutputArrivesWholeAndInOrder() {
    const int lines = 65536;  // 16 bytes a line
    const QString tool = WriteScript(
        tmp_, "big.sh",
        QStringLiteral("awk 'BEGIN { for (i = 0; i < %1; i++) { printf \"O%09d-----\\n\", i;"
                       " printf \"E%09d+++++\\n\", i > \"/dev/stderr\" } }'")
            .arg(lines));
    CProcessRunner runner;
    Capture cap(runner);
    QVERIFY(runner.Start(tool, tool, QString()));
    QTRY_COMPARE_WITH_TIMEOUT(cap.terminated, 1, kLong);
    for (const auto& [text, atEnd, mark] :
         {std::tuple{cap.out, cap.outAtEnd, "O%1-----\n"}, {cap.err, cap.errAtEnd, "E%1+++++\n"}}) {
      QString expected;
      for (int i = 0; i < lines; ++i)
        expected += QString::fromLatin1(mark).arg(i, 9, 10, QChar(u'0'));
      QVERIFY(text == expected);
      QCOMPARE(atEnd, expected.size());
    }
  }

  void programsThatCannotStartAreReported_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("workDir");
    QTest::addColumn<QString>("args");
    const QString ok = WriteScript(tmp_, "fine.sh", "echo fine");
    QTest::newRow("missing") << tmp_.filePath("no-such-tool") << QString() << "-x";
    QTest::newRow("not executable")
        << WriteScript(tmp_, "plain.sh", "echo no", false) << QString() << "-x";
    QTest::newRow("missing work dir") << ok << tmp_.filePath("no/dir") << "-x";
    QTest::newRow("overlong line") << tmp_.filePath("none") << QString() << QString(400, u'x');
  }
  void programsThatCannotStartAreReported() {
    QFETCH(QString, program);
    QFETCH(QString, workDir);
    QFETCH(QString, args);
    QString sunk;
    CToolRunner runner([&](const QString& t) { sunk += t; });
    const QString command = program + u' ' + args;
    QVERIFY(!runner.StartUserTool(program, command, workDir));
    // One line of at most 255 characters, its break included.
    const QString line = (QStringLiteral("Unable to start ") + command).left(254) + u'\n';
    QCOMPARE(sunk, line);
    QVERIFY(!runner.IsRunning());
    QVERIFY(QApplication::overrideCursor() == nullptr);
    // The runner is usable again afterwards.
    Capture cap(runner);
    const QString again = WriteScript(tmp_, "again.sh", "echo again");
    QVERIFY(runner.StartUserTool(again, again, QString()));
    QTRY_COMPARE_WITH_TIMEOUT(cap.out, QStringLiteral("again\n"), kLong);
  }

  // A tool that never ends is ended by Stop together with what it started, or
  // with the runner; a second start is refused while it runs; the wait cursor
  // lasts as long.
  void neverEndingToolIsStoppedWithItsChildren() {
    const QString pids = tmp_.filePath("loop.pids");
    const QString tool = WriteScript(
        tmp_, "loop.sh",
        QStringLiteral("sleep 1000 &\necho $$ $! > '%1'\necho started\nwait").arg(pids));
    CToolRunner runner(nullptr);
    Capture cap(runner);
    QVERIFY(runner.StartUserTool(tool, tool, QString()));
    QVERIFY(QApplication::overrideCursor() != nullptr);
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    QTRY_COMPARE_WITH_TIMEOUT(cap.out, QStringLiteral("started\n"), kLong);
    const QStringList ids = ReadAll(pids).split(u' ');
    QCOMPARE(ids.size(), 2);
    QVERIFY(ProcessAlive(ids[0].toLongLong()) && ProcessAlive(ids[1].toLongLong()));

    const QString other = WriteScript(tmp_, "other.sh", "echo other");
    QVERIFY(!runner.StartUserTool(other, other, QString()));
    QCOMPARE(runner.RunningCommand(), tool);

    runner.StopUserTool();
    QVERIFY(!runner.IsRunning());
    QCOMPARE(cap.terminated, 1);
    QCOMPARE(runner.LastExitCode(), 1);
    QVERIFY(QApplication::overrideCursor() == nullptr);
    QVERIFY(!ProcessAlive(ids[0].toLongLong()));
    QTRY_VERIFY_WITH_TIMEOUT(!ProcessAlive(ids[1].toLongLong()), kLong);
    runner.StopUserTool();  // idle: harmless
    QCOMPARE(cap.terminated, 1);
    // Destroying the runner (as the program's exit does) ends the tool too.
    qint64 pid = 0;
    {
      CToolRunner doomed(nullptr);
      QVERIFY(doomed.StartUserTool(tool, tool, QString()));
      QTRY_VERIFY_WITH_TIMEOUT(
          (pid = ReadAll(pids).section(u' ', 0, 0).toLongLong()) != ids[0].toLongLong(), kLong);
    }
    QVERIFY(!ProcessAlive(pid));
    QVERIFY(QApplication::overrideCursor() == nullptr);
  }

  // Multi-byte characters split over chunks are not garbled; an unfinished
  // one at the very end is shown, not dropped.
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
    OutputDecoder d;
    QCOMPARE(d.Decode(QByteArray("x\xe2\x82", 3)), QStringLiteral("x"));
    const QString rest = d.Flush();
    QVERIFY(!rest.isEmpty());
    QVERIFY(rest.count(QChar(QChar::ReplacementCharacter)) == rest.size());
  }

  void lineBreaksOfEveryKindGiveOneBreak_data() {
    QTest::addColumn<QStringList>("chunks");
    QTest::addColumn<QString>("shown");
    QTest::newRow("lf") << QStringList{"a\nb\n"} << "a\nb\n";
    QTest::newRow("crlf split over chunks") << QStringList{"a\r", "\nb\r\n"} << "a\nb\n";
    QTest::newRow("lone cr") << QStringList{"a\r", "b"} << "a\nb";
    QTest::newRow("cr cr lf") << QStringList{"a\r", "\r", "\nb"} << "a\n\nb";
  }
  void lineBreaksOfEveryKindGiveOneBreak() {
    QFETCH(QStringList, chunks);
    QFETCH(QString, shown);
    CMessageWnd w;
    for (const QString& c : chunks) w.AppendText(c);
    QCOMPARE(w.toPlainText(), shown);
    // Clear forgets a pending CR: the next run's LF is a break of its own.
    w.AppendText(QStringLiteral("x\r"));
    w.Clear();
    w.AppendText(QStringLiteral("\ny"));
    QCOMPARE(w.toPlainText(), QStringLiteral("\ny"));
  }

  // Output goes to the end wherever the caret is, the user cannot type, there
  // is no length limit and the end stays in view.
  void appendsAtTheEndWithoutLimit() {
    CMessageWnd w;
    w.resize(300, 200);
    w.show();
    QTest::keyClicks(&w, QStringLiteral("typed"));
    QVERIFY(w.IsEmpty());
    w.AppendText(QStringLiteral("first "));
    w.moveCursor(QTextCursor::Start);
    QString expected = QStringLiteral("first ");
    for (int i = 0; i < 40000; ++i) {  // 4 MB in many appends
      const QString line = QString::number(i) + QString(99, u'x') + u'\n';
      w.AppendText(line);
      expected += line;
    }
    QVERIFY(w.toPlainText() == expected);
    QCoreApplication::processEvents();
    QVERIFY(w.verticalScrollBar()->value() > 1000);
    QVERIFY(w.viewport()->rect().contains(w.cursorRect()));
  }

 private:
  QTemporaryDir tmp_;
};

QTEST_MAIN(ToolRunnerTest)
#include "toolrunner_qtest.moc"
