// One running instance per machine, and the channel through which other
// processes send text to its message window.
//
// The first instance listens on a local socket named "Velmora UT". A later
// instance finds it listening and ends without a word. Other processes may
// connect and send messages; each message is
//     tag (u32, little-endian) | length (u32, little-endian) | text (UTF-8)
// and is answered with one u32 0 once it has been handled. Text tagged 819
// is appended to the message window; any other tag changes nothing.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

namespace velmora {

inline constexpr const char* kSingleInstanceName = "Velmora UT";

class SingleInstance : public QObject {
  Q_OBJECT

 public:
  enum class Result {
    Acquired,        // this is the first instance; the server listens
    AnotherRunning,  // an instance is running: end quietly
    Unavailable,     // neither listening nor reaching a server worked; run without
  };

  // Longest text a message may carry; a longer claim drops the connection.
  static constexpr quint32 kMaxTextBytes = 16u * 1024u * 1024u;

  explicit SingleInstance(QString name = QString::fromLatin1(kSingleInstanceName),
                          QObject* parent = nullptr);
  ~SingleInstance() override;

  // Checks for a running instance and otherwise starts listening. A socket
  // left behind by a crashed instance is removed.
  Result Acquire();
  bool IsListening() const;
  QString Name() const { return name_; }

  // Sends one tagged text to the running instance and waits (at most
  // `timeoutMs`) until it was handled. False when no instance answered.
  static bool SendTaggedText(quint32 tag, const QString& text,
                             const QString& name = QString::fromLatin1(kSingleInstanceName),
                             int timeoutMs = 5000);
  // True when an instance is listening under `name`.
  static bool IsRunning(const QString& name = QString::fromLatin1(kSingleInstanceName));

  // Frame encoding, shared by both sides.
  static QByteArray EncodeMessage(quint32 tag, const QString& text);

 signals:
  // Text tagged 819 arrived.
  void outputText(const QString& text);
  // Any message arrived (after outputText for tag 819); for observers.
  void messageReceived(quint32 tag, const QString& text);

 private:
  void OnNewConnection();
  void OnReadyRead(QLocalSocket* socket);
  bool Listen();

  QString name_;
  QLocalServer* server_ = nullptr;
  QHash<QLocalSocket*, QByteArray> pending_;  // bytes of unfinished messages
};

}  // namespace velmora
