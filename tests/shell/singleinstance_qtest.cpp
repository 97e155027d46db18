// One instance per user over a local socket in a private folder, and tagged
// text from other processes of the same user. Other instances and senders
// are real processes: this program started again in a helper mode. As root,
// a throwaway account plays the other user; without root, folders that the
// instance must refuse stand in for what that user could have made.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QThread>
#include <QtEndian>
#include <QtTest>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

#include "shell/MessageWnd.h"
#include "shell/SingleInstance.h"

using namespace velmora;

namespace {

constexpr int kLong = 30000;

// Helper modes, run as separate processes:
//   acquire NAME              exit code = SingleInstance::Result of Acquire
//   crash NAME                listen, then die without cleaning up
//   send NAME TAG TEXT        exit code 0 when an instance of this user answered
//   raw PATH HEX...           write each hex string as one piece, 100 ms apart,
//                             to the socket at PATH, and print the answers
//   squat PATH                listen at PATH (its folder made if missing, open
//                             to all), accept and say nothing until stdin closes
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
    if (!server.listen(SingleInstance::ServerPath(name))) return 2;
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
  if (mode == "squat") {
    const QString folder = QFileInfo(name).path();
    QDir().mkpath(folder);
    QFile::setPermissions(folder, QFileDevice::Permissions(0x7777));
    QLocalServer server;
    server.setSocketOptions(QLocalServer::WorldAccessOption);
    if (!server.listen(name)) return 2;
    QObject::connect(&server, &QLocalServer::newConnection, [] { std::printf("connected\n"); });
    QSocketNotifier input(0, QSocketNotifier::Read);  // until the test closes our input
    QObject::connect(&input, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
  }
  return 3;
}

QString Frame(quint32 tag, const QString& text) {
  return QString::fromLatin1(SingleInstance::EncodeMessage(tag, text).toHex());
}

}  // namespace

// A throwaway account for the other user; only root can make one.
struct OtherUser {
  OtherUser() {
    if (::geteuid() != 0) return;
    name = QStringLiteral("vut%1").arg(QCoreApplication::applicationPid());
    if (QProcess::execute(QStringLiteral("useradd"),
                          {"-M", "-N", "-r", "-s", "/bin/false", name}) != 0)
      return;
    if (const passwd* pw = ::getpwnam(name.toLocal8Bit().constData())) {
      uid = pw->pw_uid;
      gid = pw->pw_gid;
    }
  }
  ~OtherUser() {
    if (!name.isEmpty()) QProcess::execute(QStringLiteral("userdel"), {name});
  }
  bool Exists() const { return uid != 0; }
  QString name;
  uid_t uid = 0;
  gid_t gid = 0;
};

class SingleInstanceTest : public QObject {
  Q_OBJECT

 private:
  QString NewName() {
    return QStringLiteral("Velmora UT test %1-%2")
        .arg(QCoreApplication::applicationPid())
        .arg(++n_);
  }

  // A helper process, as another user when `as` is given, with the
  // environment variables `env` ("NAME=value") set.
  std::unique_ptr<QProcess> StartHelper(const QStringList& args, const QStringList& env = {},
                                        const OtherUser* as = nullptr) {
    auto p = std::make_unique<QProcess>();
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    for (const QString& v : env) e.insert(v.section(u'=', 0, 0), v.section(u'=', 1));
    p->setProcessEnvironment(e);
    if (as) {
      const uid_t uid = as->uid;
      const gid_t gid = as->gid;
      p->setChildProcessModifier([uid, gid] {
        if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) _exit(90);
      });
    }
    p->start(QCoreApplication::applicationFilePath(), QStringList{"--helper"} + args);
    return p;
  }

  // Runs a helper to its end while this process keeps serving its events.
  int RunHelper(const QStringList& args, QByteArray* out = nullptr, const QStringList& env = {},
                const OtherUser* as = nullptr) {
    std::unique_ptr<QProcess> p = StartHelper(args, env, as);
    if (!p->waitForStarted(kLong)) return -1;
    QDeadlineTimer deadline(kLong);
    while (p->state() != QProcess::NotRunning && !deadline.hasExpired()) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
      p->waitForFinished(10);
    }
    if (p->state() != QProcess::NotRunning) return -2;
    if (out != nullptr) *out = p->readAllStandardOutput().trimmed();
    return p->exitStatus() == QProcess::NormalExit ? p->exitCode() : -3;
  }

  // A squatter listening at `path` until the returned process is closed.
  std::unique_ptr<QProcess> Squat(const QString& path, const OtherUser* as = nullptr) {
    std::unique_ptr<QProcess> p = StartHelper({"squat", path}, {}, as);
    if (!p->waitForReadyRead(kLong) || p->readLine().trimmed() != "ready") return nullptr;
    return p;
  }

  // Acquire with XDG_RUNTIME_DIR and TMPDIR as given (empty: unset), and the
  // warnings as one text.
  static SingleInstance::Result AcquireIn(SingleInstance& si, const QString& runtime,
                                          const QString& temp, QString* warnings = nullptr) {
    const QByteArray oldRuntime = qgetenv("XDG_RUNTIME_DIR"), oldTemp = qgetenv("TMPDIR");
    runtime.isEmpty() ? qunsetenv("XDG_RUNTIME_DIR")
                      : qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    qputenv("TMPDIR", QFile::encodeName(temp));
    const SingleInstance::Result r = si.Acquire();
    qputenv("XDG_RUNTIME_DIR", oldRuntime);
    qputenv("TMPDIR", oldTemp);
    if (warnings) *warnings = si.Warnings().join(u'\n');
    return r;
  }

  QString Folder(const QString& name, int mode) {
    const QString path = root_.filePath(name);
    QDir().mkpath(path);
    ::chmod(QFile::encodeName(path).constData(), static_cast<mode_t>(mode));
    return path;
  }

  QTemporaryDir root_;
  QString runtime_;
  int n_ = 0;

 private slots:
  // The tests' own private runtime folder and temporary folder, which the
  // helpers inherit.
  void initTestCase() {
    QVERIFY(root_.isValid());
    ::chmod(QFile::encodeName(root_.path()).constData(), 0755);
    runtime_ = Folder("run", 0700);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime_));
    qputenv("TMPDIR", QFile::encodeName(Folder("tmp", 01777)));
  }

  void secondInstanceSeesTheFirst() {
    const QString name = NewName();
    QVERIFY(!SingleInstance::IsRunning(name));
    {
      SingleInstance first(name);
      QCOMPARE(first.Acquire(), SingleInstance::Result::Acquired);
      QVERIFY(first.Warnings().isEmpty());
      // The socket lies in the runtime folder, for this user only.
      struct stat st {};
      QCOMPARE(::stat(QFile::encodeName(runtime_ + '/' + name).constData(), &st), 0);
      QVERIFY(S_ISSOCK(st.st_mode) && (st.st_mode & 077) == 0 && st.st_uid == ::geteuid());
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
      QVERIFY(!plain.listen(SingleInstance::ServerPath(name)));
    }
    SingleInstance si(name);
    QCOMPARE(si.Acquire(), SingleInstance::Result::Acquired);
    QVERIFY(SingleInstance::IsRunning(name));
    QCOMPARE(RunHelper({"acquire", name}), int(SingleInstance::Result::AnotherRunning));
  }

  // A runtime folder open to others holds a server that accepts and says
  // nothing; a temporary folder open to others may hold anything. Neither is
  // used: the program starts, two instances still become one, and the
  // squatter hears nothing.
  void foldersOthersCouldReachAreNotUsed() {
    const QString name = NewName();
    const QString open = Folder("open-run", 0755);
    std::unique_ptr<QProcess> squatter = Squat(open + '/' + name);
    QVERIFY(squatter);
    const QString temp = Folder("fallback-tmp", 01777);
    SingleInstance first(name);
    QString warnings;
    QCOMPARE(AcquireIn(first, open, temp, &warnings), SingleInstance::Result::Acquired);
    QVERIFY2(warnings.contains(open + " is open to other users"), qPrintable(warnings));
    QCOMPARE(RunHelper({"acquire", name}, nullptr, {"XDG_RUNTIME_DIR=" + open, "TMPDIR=" + temp}),
             int(SingleInstance::Result::AnotherRunning));
    squatter->closeWriteChannel();
    QVERIFY(squatter->waitForFinished(kLong));
    QCOMPARE(squatter->readAll(), QByteArray());  // never even connected to

    const QString mine = QStringLiteral("velmora-%1").arg(::geteuid());
    const QString squatted = Folder("squatted-tmp/" + mine, 0777);
    SingleInstance second(name);
    QCOMPARE(AcquireIn(second, {}, root_.filePath("squatted-tmp"), &warnings),
             SingleInstance::Result::Unavailable);
    QVERIFY2(warnings.contains(squatted + " is open to other users; the one-instance check is off"),
             qPrintable(warnings));
  }

  // As root, a real other account: its server in this user's folder is
  // ignored and replaced, its folder in the temporary folder is refused, and
  // its text never reaches this user's instance, even through an open socket.
  void anotherUsersSocketsAndTextAreRefused() {
    if (::geteuid() != 0) QSKIP("another account can only be made as root");
    OtherUser other;
    if (!other.Exists()) QSKIP("useradd did not make an account");
    const QString name = NewName();
    const QString theirs = root_.filePath("theirs");
    QDir().mkpath(theirs);
    QVERIFY(::chown(QFile::encodeName(theirs).constData(), other.uid, other.gid) == 0);
    std::unique_ptr<QProcess> squatter = Squat(theirs + "/sock", &other);
    if (!squatter) QSKIP("the helper cannot run as the other account here");
    const QString path = runtime_ + '/' + name;
    QVERIFY(QFile::rename(theirs + "/sock", path));  // what only root could do
    SingleInstance si(name);
    QCOMPARE(si.Acquire(), SingleInstance::Result::Acquired);
    QVERIFY(si.Warnings().join(u' ').contains(path + " belongs to another user"));

    // Its "velmora-UID" folder in a shared temporary folder.
    const QString shared = Folder("shared-tmp", 01777);
    const QString folder = QStringLiteral("%1/velmora-%2").arg(shared).arg(::geteuid());
    std::unique_ptr<QProcess> squatter2 = Squat(folder + '/' + name, &other);
    QVERIFY(squatter2);
    SingleInstance refused(name);
    QString warnings;
    QCOMPARE(AcquireIn(refused, {}, shared, &warnings), SingleInstance::Result::Unavailable);
    QVERIFY2(warnings.contains(folder + " belongs to another user"), qPrintable(warnings));

    // Text sent to a socket opened up to everyone is dropped unread.
    CMessageWnd wnd;
    connect(&si, &SingleInstance::outputText, &wnd, &CMessageWnd::AppendText);
    ::chmod(QFile::encodeName(runtime_).constData(), 0711);
    ::chmod(QFile::encodeName(path).constData(), 0777);
    QByteArray answers;
    const int rc = RunHelper({"raw", path, Frame(819, QStringLiteral("from elsewhere"))}, &answers,
                             {}, &other);
    ::chmod(QFile::encodeName(runtime_).constData(), 0700);
    QCOMPARE(rc, 0);  // it reached the socket
    QVERIFY(answers.isEmpty());
    QCOMPARE(wnd.toPlainText(), QString());
    QCOMPARE(RunHelper({"send", name, "819", "mine"}), 0);
    QCOMPARE(wnd.toPlainText(), QStringLiteral("mine"));
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
    const QString path = SingleInstance::ServerPath(name);
    QCOMPARE(RunHelper({"raw", path, one.left(4), one.mid(4, 10), one.mid(14), two}, &answers), 0);
    QCOMPARE(texts, (QStringList{"split text", "second", ""}));
    QCOMPARE(answers, QByteArray("00000000").repeated(4));

    QByteArray header(8, '\0');
    qToLittleEndian<quint32>(819, header.data());
    qToLittleEndian<quint32>(SingleInstance::kMaxTextBytes + 1, header.data() + 4);
    QCOMPARE(RunHelper({"raw", path, QString::fromLatin1(header.toHex()), "41424344"}, &answers),
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
