// Runs one console program at a time with its standard output and standard
// error captured, delivering the text as it arrives.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QProcess;

namespace velmora {

// Decodes a byte stream written by a console program into text. Keeps the
// state of a character split over two chunks, so multi-byte characters are
// never garbled. On Windows the console's OEM code page is used; elsewhere
// the local 8-bit encoding.
class OutputDecoder {
 public:
  OutputDecoder();
  ~OutputDecoder();
  OutputDecoder(const OutputDecoder&) = delete;
  OutputDecoder& operator=(const OutputDecoder&) = delete;

  QString Decode(const QByteArray& bytes);
  // Whatever an unfinished character left behind, as replacement text.
  QString Flush();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Runs a program hidden, its standard input empty (the program sees end of
// file) and its standard output and error captured. Output is delivered on
// the thread that owns the runner, in the order it was written per stream;
// the two streams interleave as their text arrives. Output written just
// before the program ends is always delivered before OnTerminated.
class CProcessRunner : public QObject {
  Q_OBJECT

 public:
  explicit CProcessRunner(QObject* parent = nullptr);
  ~CProcessRunner() override;

  // Starts `programPath` with the arguments that follow it in `commandLine`,
  // in `workDir` (empty: this process's current folder). Refuses (false) while
  // a program still runs. When the program cannot be started, "Unable to
  // start %s\n" with the command line goes to OnStdOut and false is returned.
  bool Start(const QString& programPath, const QString& commandLine, const QString& workDir,
             bool shown = false);
  // Ends a running program at once (on Unix with its whole process group),
  // delivers what it wrote, and releases everything. Does not sleep; returns
  // once the program is gone. Safe to call when idle and from OnTerminated.
  void Stop();
  bool IsRunning() const;
  // Exit code of the last run that ended: the program's own, or 1 when Stop
  // ended it (the code a forced termination reports).
  int LastExitCode() const { return lastExitCode_; }

 signals:
  // The same notifications as the callbacks, for observers.
  void started();
  void standardOutput(const QString& text);
  void standardError(const QString& text);
  void terminated(int exitCode);

 protected:
  virtual void OnStarted() {}
  virtual void OnStdOut(const QString& text) { Q_UNUSED(text); }
  virtual void OnStdErr(const QString& text) { Q_UNUSED(text); }
  virtual void OnTerminated() {}

 private:
  void ReadStdOut();
  void ReadStdErr();
  void HandleFinished();
  void DeliverOut(const QString& text);
  void DeliverErr(const QString& text);
  void Release();
  void KillProcessTree();

  QProcess* process_ = nullptr;
  std::unique_ptr<OutputDecoder> outDecoder_;
  std::unique_ptr<OutputDecoder> errDecoder_;
  bool stopping_ = false;
  bool forced_ = false;
  bool terminatedReported_ = true;
  int lastExitCode_ = 0;
};

// The application's runner: shows the wait cursor while a tool runs and
// sends every piece of output to a sink (the message window).
class CToolRunner : public CProcessRunner {
  Q_OBJECT

 public:
  using Sink = std::function<void(const QString&)>;
  explicit CToolRunner(Sink sink, QObject* parent = nullptr);
  ~CToolRunner() override;

  // The application's serialised entry points.
  bool StartUserTool(const QString& programPath, const QString& commandLine,
                     const QString& workDir);
  void StopUserTool();
  // The command line of the running tool (empty when idle).
  QString RunningCommand() const { return IsRunning() ? command_ : QString(); }

 protected:
  void OnStarted() override;
  void OnStdOut(const QString& text) override;
  void OnStdErr(const QString& text) override;
  void OnTerminated() override;

 private:
  void EndWaitCursor();

  Sink sink_;
  QString command_;
  bool waitCursor_ = false;
};

}  // namespace velmora
