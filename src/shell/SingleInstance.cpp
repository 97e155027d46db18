#include "shell/SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QPointer>
#include <QtEndian>

#include "shell/UserTools.h"

namespace velmora {

namespace {

constexpr qsizetype kHeaderBytes = 8;

// Serialises the check-then-listen step of instances started at the same
// moment; a lock left by a crashed process is taken over after a while.
QString LockPath(const QString& name) {
  QString safe = name;
  for (QChar& c : safe)
    if (!c.isLetterOrNumber()) c = u'_';
  return QDir(QDir::tempPath()).filePath(safe + QStringLiteral(".instance.lock"));
}

}  // namespace

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
  socket.connectToServer(name);
  if (!socket.waitForConnected(1000)) return false;
  socket.disconnectFromServer();
  return true;
}

SingleInstance::Result SingleInstance::Acquire() {
  if (IsListening()) return Result::Acquired;
  QLockFile lock(LockPath(name_));
  lock.setStaleLockTime(10000);
  const bool locked = lock.tryLock(5000);
  Q_UNUSED(locked);  // without the lock the check below is still right almost always

  if (IsRunning(name_)) return Result::AnotherRunning;
  if (Listen()) return Result::Acquired;
  // Nobody answers, yet the name is taken: a socket left behind by an
  // instance that crashed. Remove it and try once more.
  if (server_->serverError() == QAbstractSocket::AddressInUseError) {
    QLocalServer::removeServer(name_);
    if (Listen()) return Result::Acquired;
  }
  return Result::Unavailable;
}

bool SingleInstance::Listen() {
  if (server_ == nullptr) {
    server_ = new QLocalServer(this);
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::OnNewConnection);
  }
  return server_->listen(name_);
}

void SingleInstance::OnNewConnection() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
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
  socket.connectToServer(name);
  if (!socket.waitForConnected(timeoutMs)) return false;
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
