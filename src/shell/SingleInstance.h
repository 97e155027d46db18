// One running instance per user and settings location, and the channel
// through which other processes of the same user send text to its message
// window.
//
// The first instance listens on a local socket named after the settings
// location ("Velmora UT" for the user's own settings) in a folder only its
// user can reach: the user's runtime folder ($XDG_RUNTIME_DIR), or, where
// there is none, "velmora-UID" in the temporary folder, created owner-only.
// A folder that is not a directory of this user closed to everyone else is
// never used. A later instance that reaches a server of its own user ends
// without a word; a server of another user is ignored (with a warning), so
// no other account can keep the program from starting or read what is
// handed over. Each message is
//     tag (u32, little-endian) | length (u32, little-endian) | text (UTF-8)
// and is answered with one u32 0 once it has been handled. Text tagged 819
// is appended to the message window; any other tag changes nothing.
// Connections from other users are dropped unread.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;
class QLocalSocket;

namespace velmora {

inline constexpr const char* kSingleInstanceName = "Velmora UT";

class SingleInstance : public QObject {
  Q_OBJECT

 public:
  enum class Result {
    Acquired,        // this is the first instance; the server listens
    AnotherRunning,  // an instance of this user is running: end quietly
    Unavailable,     // no private folder, or listening failed: run without the check
  };

  // Longest text a message may carry; a longer claim drops the connection.
  static constexpr quint32 kMaxTextBytes = 16u * 1024u * 1024u;

  explicit SingleInstance(QString name = QString::fromLatin1(kSingleInstanceName),
                          QObject* parent = nullptr);
  ~SingleInstance() override;

  // Checks for a running instance of this user and otherwise starts
  // listening. A socket left behind by a crashed instance is removed.
  Result Acquire();
  bool IsListening() const;
  QString Name() const { return name_; }
  // What the user should know about the check (another user's socket, a
  // folder that is not private); the application shows it in the message window.
  QStringList Warnings() const { return warnings_; }

  // The socket's full path for `name`: in the private folder, which is
  // created when missing. Empty when no private folder can be had; then
  // `problem` (when given) says why.
  static QString ServerPath(const QString& name, QString* problem = nullptr);

  // Sends one tagged text to the running instance of this user and waits (at
  // most `timeoutMs`) until it was handled. False when no instance of this
  // user answered.
  static bool SendTaggedText(quint32 tag, const QString& text,
                             const QString& name = QString::fromLatin1(kSingleInstanceName),
                             int timeoutMs = 5000);
  // True when an instance of this user is listening under `name`.
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
  bool Listen(const QString& path);

  QString name_;
  QLocalServer* server_ = nullptr;
  QHash<QLocalSocket*, QByteArray> pending_;  // bytes of unfinished messages
  QStringList warnings_;
};

}  // namespace velmora
