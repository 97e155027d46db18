#include "shell/SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QPointer>
#include <QtEndian>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#endif

#include "shell/UserTools.h"

namespace velmora {

namespace {

constexpr qsizetype kHeaderBytes = 8;
constexpr int kProbeMs = 1000;

#ifdef Q_OS_UNIX
// Why `dir` is no private folder of this user; empty when it is one. A link
// is never followed: it could lead anywhere.
QString PrivateFolderProblem(const QString& dir) {
  struct stat st {};
  if (::lstat(QFile::encodeName(dir).constData(), &st) != 0)
    return QStringLiteral("cannot be read");
  if (!S_ISDIR(st.st_mode)) return QStringLiteral("is not a folder");
  if (st.st_uid != ::geteuid()) return QStringLiteral("belongs to another user");
  if ((st.st_mode & 077) != 0) return QStringLiteral("is open to other users");
  return {};
}
#endif

// True when the process at the other end of a connected socket runs as this
// user (the kernel's word for it, not the socket file's).
bool PeerIsThisUser(const QLocalSocket& socket) {
#if defined(Q_OS_LINUX)
  ucred cred{};
  socklen_t length = sizeof cred;
  if (::getsockopt(static_cast<int>(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &cred,
                   &length) != 0)
    return false;
  return cred.uid == ::geteuid();
#elif defined(Q_OS_UNIX)
  uid_t uid = 0;
  gid_t gid = 0;
  if (::getpeereid(static_cast<int>(socket.socketDescriptor()), &uid, &gid) != 0) return false;
  return uid == ::geteuid();
#else
  // Named pipes: the server was created with access for this user only.
  Q_UNUSED(socket);
  return true;
#endif
}

enum class Peer { None, ThisUser, OtherUser };

// Connects `socket` to the server at `path` and tells whose it is.
Peer Reach(QLocalSocket& socket, const QString& path, int timeoutMs) {
  if (path.isEmpty()) return Peer::None;
  socket.connectToServer(path);
  if (!socket.waitForConnected(timeoutMs)) return Peer::None;
  if (PeerIsThisUser(socket)) return Peer::ThisUser;
  socket.abort();
  return Peer::OtherUser;
}

}  // namespace

QString SingleInstance::ServerPath(const QString& name, QString* problem) {
  if (problem) problem->clear();
#ifdef Q_OS_UNIX
  QStringList refused;
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty()) {
    const QString why = PrivateFolderProblem(runtime);
    if (why.isEmpty()) return runtime + u'/' + name;
    refused << QStringLiteral("the runtime folder %1 %2").arg(runtime, why);
  }
  const QString folder =
      QDir(QDir::tempPath()).filePath(QStringLiteral("velmora-%1").arg(::geteuid()));
  QString why;
  if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST)
    why = QStringLiteral("cannot be created");
  else
    why = PrivateFolderProblem(folder);
  if (why.isEmpty()) {
    if (problem && !refused.isEmpty())
      *problem = QStringLiteral("Velmora UT: %1, so %2 was used for the one-instance check.")
                     .arg(refused.join(QStringLiteral("; ")), folder);
    return folder + u'/' + name;
  }
  refused << QStringLiteral("%1 %2").arg(folder, why);
  if (problem)
    *problem = QStringLiteral("Velmora UT: %1; the one-instance check is off for this run.")
                   .arg(refused.join(QStringLiteral("; ")));
  return {};
#else
  return name;
#endif
}

SingleInstance::SingleInstance(QString name, QObject* parent)
    : QObject(parent), name_(std::move(name)) {}

SingleInstance::~SingleInstance() {
  if (server_ != nullptr) server_->close();
}

bool SingleInstance::IsListening() const {
  return server_ != nullptr && server_->isListening();
}

bool SingleInstance::IsRunning(const QString& name) {
  QLocalSocket socket;
  if (Reach(socket, ServerPath(name), kProbeMs) != Peer::ThisUser) return false;
  socket.disconnectFromServer();
  return true;
}

SingleInstance::Result SingleInstance::Acquire() {
  if (IsListening()) return Result::Acquired;
  warnings_.clear();
  QString problem;
  const QString path = ServerPath(name_, &problem);
  if (!problem.isEmpty()) warnings_ << problem;
  if (path.isEmpty()) return Result::Unavailable;

  // Serialises the check-then-listen step of instances started at the same
  // moment; a lock left by a crashed process is taken over after a while.
  QLockFile lock(path + QStringLiteral(".lock"));
  lock.setStaleLockTime(10000);
  const bool locked = lock.tryLock(5000);
  Q_UNUSED(locked);  // without the lock the check below is still right almost always

  {
    QLocalSocket probe;
    switch (Reach(probe, path, kProbeMs)) {
      case Peer::ThisUser:
        return Result::AnotherRunning;
      case Peer::OtherUser:
        // Only someone with rights over this user's private folder put it
        // there; it is not this user's instance, and the name is this user's.
        warnings_ << QStringLiteral(
                         "Velmora UT: the instance socket %1 belongs to another user; it was "
                         "ignored and replaced.")
                         .arg(path);
        QLocalServer::removeServer(path);
        break;
      case Peer::None:
        break;
    }
  }
  if (Listen(path)) return Result::Acquired;
  // Nobody answers, yet the name is taken: a socket left behind by an
  // instance that crashed. Remove it and try once more.
  if (server_->serverError() == QAbstractSocket::AddressInUseError) {
    QLocalServer::removeServer(path);
    if (Listen(path)) return Result::Acquired;
  }
  return Result::Unavailable;
}

bool SingleInstance::Listen(const QString& path) {
  if (server_ == nullptr) {
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::OnNewConnection);
  }
  return server_->listen(path);
}

void SingleInstance::OnNewConnection() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    // Text from another user's process never reaches the window.
    if (!PeerIsThisUser(*socket)) {
      socket->abort();
      socket->deleteLater();
      continue;
    }
    pending_.insert(socket, QByteArray());
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] { OnReadyRead(socket); });
    connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
      pending_.remove(socket);
      socket->deleteLater();
    });
    // Data may have come with the connection itself.
    if (socket->bytesAvailable() > 0) OnReadyRead(socket);
  }
}

void SingleInstance::OnReadyRead(QLocalSocket* rawSocket) {
  // A handler of the signals below may run the event loop, in which the
  // connection can go away.
  const QPointer<QLocalSocket> socket(rawSocket);
  auto it = pending_.find(socket);
  if (it == pending_.end()) return;
  it->append(socket->readAll());
  for (;;) {
    it = pending_.find(socket);
    if (it == pending_.end() || it->size() < kHeaderBytes) return;
    const quint32 tag = qFromLittleEndian<quint32>(it->constData());
    const quint32 length = qFromLittleEndian<quint32>(it->constData() + 4);
    if (length > kMaxTextBytes) {
      // Not one of ours, or broken: never trust the claimed length.
      pending_.erase(it);
      socket->abort();
      return;
    }
    if (it->size() < kHeaderBytes + qsizetype(length)) return;
    const QString text = QString::fromUtf8(it->constData() + kHeaderBytes, qsizetype(length));
    it->remove(0, kHeaderBytes + qsizetype(length));
    // The message is taken out before anyone hears of it, so a handler that
    // runs the event loop cannot see it twice.
    if (tag == static_cast<quint32>(kOutputTextTag)) emit outputText(text);
    emit messageReceived(tag, text);
    if (socket.isNull()) return;
    if (socket->state() == QLocalSocket::ConnectedState) {
      char reply[4];
      qToLittleEndian<quint32>(0, reply);
      socket->write(reply, sizeof reply);
      socket->flush();
    }
  }
}

QByteArray SingleInstance::EncodeMessage(quint32 tag, const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  QByteArray frame(kHeaderBytes, Qt::Uninitialized);
  qToLittleEndian<quint32>(tag, frame.data());
  qToLittleEndian<quint32>(static_cast<quint32>(utf8.size()), frame.data() + 4);
  frame.append(utf8);
  return frame;
}

bool SingleInstance::SendTaggedText(quint32 tag, const QString& text, const QString& name,
                                    int timeoutMs) {
  const QByteArray frame = EncodeMessage(tag, text);
  if (frame.size() - kHeaderBytes > qsizetype(kMaxTextBytes)) return false;
  QLocalSocket socket;
  // Nothing is handed to a server of another user.
  if (Reach(socket, ServerPath(name), timeoutMs) != Peer::ThisUser) return false;
  socket.write(frame);
  while (socket.bytesToWrite() > 0) {
    if (!socket.waitForBytesWritten(timeoutMs)) return false;
  }
  while (socket.bytesAvailable() < 4) {
    if (!socket.waitForReadyRead(timeoutMs)) return false;
  }
  socket.read(4);
  socket.disconnectFromServer();
  return true;
}

}  // namespace velmora
