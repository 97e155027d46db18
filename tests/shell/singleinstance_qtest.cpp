// One instance per machine over the local socket, and tagged text from other
// processes. Other instances and senders are real processes: this program
// started again in a helper mode.
#include <QApplication>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QThread>
#include <QtEndian>
#include <QtTest>

#include <unistd.h>
#include <cstdio>

#include "shell/MessageWnd.h"
#include "shell/SingleInstance.h"

using namespace velmora;

namespace {

constexpr int kLong = 30000;

// Helper modes, run as separate processes:
//   acquire NAME              exit code = SingleInstance::Result of Acquire
//   crash NAME                listen, then die without cleaning up
//   send NAME TAG TEXT        exit code 0 when the instance answered
//   raw NAME HEX...           write each hex string as one piece, 100 ms apart
int HelperMain(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QByteArray mode = argv[2];
  const QString name = QString::fromLocal8Bit(argv[3]);
  if (mode == "acquire") {
    SingleInstance si(name);
    return static_cast<int>(si.Acquire());
  }
  if (mode == "crash") {
    QLocalServer server;
    if (!server.listen(name)) return 2;
    std::fflush(nullptr);
    _exit(0);  // no destructor runs: the socket stays behind
  }
  if (mode == "send" && argc >= 6) {
    const quint32 tag = QByteArray(argv[4]).toUInt();
    return SingleInstance::SendTaggedText(tag, QString::fromUtf8(argv[5]), name) ? 0 : 1;
  }
  if (mode == "raw") {
    QLocalSocket s;
    s.connectToServer(name);
    if (!s.waitForConnected(kLong)) return 1;
    for (int i = 4; i < argc; ++i) {
      s.write(QByteArray::fromHex(argv[i]));
      s.waitForBytesWritten(kLong);
      QThread::msleep(100);
    }
    // Wait for the answers (or for the server to hang up).
    s.waitForReadyRead(2000);
    while (s.waitForReadyRead(300)) {
    }
    std::printf("%s\n", s.readAll().toHex().constData());
    return 0;
  }
  return 3;
}

QString Frame(quint32 tag, const QString& text) {
  return QString::fromLatin1(SingleInstance::EncodeMessage(tag, text).toHex());
}

}  // namespace

class SingleInstanceTest : public QObject {
  Q_OBJECT

 private:
  QString NewName() {
    return QStringLiteral("Velmora UT test %1-%2")
        .arg(QCoreApplication::applicationPid())
        .arg(++n_);
  }

  // Runs a helper process while this one keeps serving its events.
  int RunHelper(const QStringList& args, QByteArray* out = nullptr) {
    QProcess p;
    p.start(QCoreApplication::applicationFilePath(), QStringList{"--helper"} + args);
    if (!p.waitForStarted(kLong)) return -1;
    QDeadlineTimer deadline(kLong);
    while (p.state() != QProcess::NotRunning && !deadline.hasExpired()) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
      p.waitForFinished(10);
    }
    if (p.state() != QProcess::NotRunning) return -2;
    if (out != nullptr) *out = p.readAllStandardOutput().trimmed();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -3;
  }

  int n_ = 0;

 private slots:
  void secondInstanceSeesTheFirst() {
    const QString name = NewName();
    QVERIFY(!SingleInstance::IsRunning(name));
    {
      SingleInstance first(name);
      QCOMPARE(first.Acquire(), SingleInstance::Result::Acquired);
      QVERIFY(SingleInstance::IsRunning(name));
      QCOMPARE(RunHelper({"acquire", name}), int(SingleInstance::Result::AnotherRunning));
      // The probe left the first instance serving.
      QVERIFY(first.IsListening());
      QCOMPARE(RunHelper({"send", name, "819", "still here"}), 0);
    }
    // Once the first has gone, the next start becomes the instance.
    QVERIFY(!SingleInstance::IsRunning(name));
    QCOMPARE(RunHelper({"acquire", name}), int(SingleInstance::Result::Acquired));
  }

  void socketLeftByACrashIsTakenOver() {
    const QString name = NewName();
    QCOMPARE(RunHelper({"crash", name}), 0);
    QVERIFY(!SingleInstance::IsRunning(name));
    {
      QLocalServer plain;  // what a naive start would meet
      QVERIFY(!plain.listen(name));
    }
    SingleInstance si(name);
    QCOMPARE(si.Acquire(), SingleInstance::Result::Acquired);
    QVERIFY(SingleInstance::IsRunning(name));
    QCOMPARE(RunHelper({"acquire", name}), int(SingleInstance::Result::AnotherRunning));
  }

  void taggedTextReachesTheMessageWindow() {
    const QString name = NewName();
    SingleInstance si(name);
    QCOMPARE(si.Acquire(), SingleInstance::Result::Acquired);
    CMessageWnd wnd;
    connect(&si, &SingleInstance::outputText, &wnd, &CMessageWnd::AppendText);
    QSignalSpy all(&si, &SingleInstance::messageReceived);

    QCOMPARE(RunHelper({"send", name, "819", "build ok \u00fc\n"}), 0);
    QCOMPARE(wnd.toPlainText(), QStringLiteral("build ok \u00fc\n"));
    // Any other tag is heard but changes nothing.
    for (const char* tag : {"818", "820", "0"})
      QCOMPARE(RunHelper({"send", name, tag, "ignored"}), 0);
    QCOMPARE(wnd.toPlainText(), QStringLiteral("build ok \u00fc\n"));
    QCOMPARE(all.size(), 4);
    QCOMPARE(all[1][0].toUInt(), 818u);
  }

  // Messages split over writes, several in one write, and an empty one are
  // each delivered and answered once; an absurd length drops that
  // connection, not the instance.
  void framingIsCheckedAndReassembled() {
    const QString name = NewName();
    SingleInstance si(name);
    QCOMPARE(si.Acquire(), SingleInstance::Result::Acquired);
    QStringList texts;
    connect(&si, &SingleInstance::outputText, this, [&](const QString& t) { texts << t; });

    const QString one = Frame(819, QStringLiteral("split text"));
    const QString two = Frame(819, QStringLiteral("second")) + Frame(5, "x") + Frame(819, "");
    QByteArray answers;
    QCOMPARE(RunHelper({"raw", name, one.left(4), one.mid(4, 10), one.mid(14), two}, &answers), 0);
    QCOMPARE(texts, (QStringList{"split text", "second", ""}));
    QCOMPARE(answers, QByteArray("00000000").repeated(4));

    QByteArray header(8, '\0');
    qToLittleEndian<quint32>(819, header.data());
    qToLittleEndian<quint32>(SingleInstance::kMaxTextBytes + 1, header.data() + 4);
    QCOMPARE(RunHelper({"raw", name, QString::fromLatin1(header.toHex()), "41424344"}, &answers),
             0);
    QVERIFY(answers.isEmpty());
    QCOMPARE(RunHelper({"send", name, "819", "fine"}), 0);
    QCOMPARE(texts.size(), 4);
    QVERIFY(!SingleInstance::SendTaggedText(819, "nobody", NewName(), 500));
  }
};

int main(int argc, char** argv) {
  if (argc >= 4 && QByteArray(argv[1]) == "--helper") return HelperMain(argc, argv);
  QApplication app(argc, argv);
  SingleInstanceTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "singleinstance_qtest.moc"
