#include "shell/ToolRunner.h"

#include <QApplication>
#include <QCursor>
#include <QProcess>

#include "shell/UserTools.h"

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <signal.h>
#include <unistd.h>
#endif

namespace velmora {

// ---------------------------------------------------------------------------
// OutputDecoder

struct OutputDecoder::State {
  QByteArray carry;  // the start of a character whose remaining bytes are still to come
};

OutputDecoder::OutputDecoder() : state_(std::make_unique<State>()) {}
OutputDecoder::~OutputDecoder() = default;

namespace {

#ifdef Q_OS_WIN
// Length of the complete prefix in the OEM code page: a trailing lead byte of
// a double-byte character waits for its second byte.
qsizetype CompletePrefix(const QByteArray& bytes) {
  const UINT cp = GetOEMCP();
  qsizetype i = 0;
  while (i < bytes.size()) {
    if (IsDBCSLeadByteEx(cp, static_cast<BYTE>(bytes[i]))) {
      if (i + 1 >= bytes.size()) return i;
      i += 2;
    } else {
      ++i;
    }
  }
  return bytes.size();
}

QString DecodeComplete(const QByteArray& bytes) {
  if (bytes.isEmpty()) return {};
  const int n = MultiByteToWideChar(CP_OEMCP, 0, bytes.constData(), int(bytes.size()), nullptr, 0);
  QString text(n, Qt::Uninitialized);
  MultiByteToWideChar(CP_OEMCP, 0, bytes.constData(), int(bytes.size()),
                      reinterpret_cast<wchar_t*>(text.data()), n);
  return text;
}
#else
// Length of the prefix that holds only whole UTF-8 sequences (the local
// 8-bit encoding of Qt on Unix). At most three bytes wait for the rest.
qsizetype CompletePrefix(const QByteArray& bytes) {
  const qsizetype size = bytes.size();
  qsizetype lead = size;
  // Step back over at most three continuation bytes to the lead byte.
  for (qsizetype k = 1; k <= 4 && size - k >= 0; ++k) {
    const auto b = static_cast<unsigned char>(bytes[size - k]);
    if ((b & 0xC0) != 0x80) {
      lead = size - k;
      break;
    }
  }
  if (lead == size) return size;  // only continuation bytes: nothing to wait for
  const auto b = static_cast<unsigned char>(bytes[lead]);
  qsizetype need = 1;
  if ((b & 0xE0) == 0xC0)
    need = 2;
  else if ((b & 0xF0) == 0xE0)
    need = 3;
  else if ((b & 0xF8) == 0xF0)
    need = 4;
  return size - lead < need ? lead : size;
}

QString DecodeComplete(const QByteArray& bytes) {
  return QString::fromLocal8Bit(bytes);
}
#endif

}  // namespace

QString OutputDecoder::Decode(const QByteArray& bytes) {
  QByteArray all = state_->carry + bytes;
  const qsizetype complete = CompletePrefix(all);
  state_->carry = all.mid(complete);
  all.truncate(complete);
  return DecodeComplete(all);
}

QString OutputDecoder::Flush() {
  QString rest = DecodeComplete(state_->carry);
  state_->carry.clear();
  return rest;
}

// ---------------------------------------------------------------------------
// CProcessRunner

CProcessRunner::CProcessRunner(QObject* parent) : QObject(parent) {}

CProcessRunner::~CProcessRunner() {
  Stop();
}

bool CProcessRunner::IsRunning() const {
  return process_ != nullptr && process_->state() != QProcess::NotRunning;
}

bool CProcessRunner::Start(const QString& programPath, const QString& commandLine,
                           const QString& workDir, bool shown) {
  // One captured program at a time: a second start must not take over the
  // first run's output or leave it unstoppable.
  if (IsRunning()) return false;
  Release();

  process_ = new QProcess(this);
  outDecoder_ = std::make_unique<OutputDecoder>();
  errDecoder_ = std::make_unique<OutputDecoder>();
  forced_ = false;
  terminatedReported_ = false;

  process_->setProgram(programPath);
  const QString arguments = ArgumentsAfterProgram(commandLine, programPath);
#ifdef Q_OS_WIN
  // The program parses its own command line, as it would from a console.
  process_->setNativeArguments(arguments);
  process_->setCreateProcessArgumentsModifier([shown](QProcess::CreateProcessArguments* a) {
    a->flags &= ~static_cast<DWORD>(CREATE_NO_WINDOW);
    a->flags |= CREATE_NEW_CONSOLE;
    a->startupInfo->dwFlags |= STARTF_USESHOWWINDOW;
    a->startupInfo->wShowWindow = shown ? SW_SHOW : SW_HIDE;
  });
#else
  Q_UNUSED(shown);
  process_->setArguments(QProcess::splitCommand(arguments));
  // A process group of its own, so that stopping a script also ends the
  // programs it started (the Unix counterpart of a console of its own).
  process_->setChildProcessModifier([] { ::setpgid(0, 0); });
#endif
  if (!workDir.isEmpty()) process_->setWorkingDirectory(workDir);
  // Nothing is ever written to a tool: it sees end of file instead of
  // waiting for input for ever.
  process_->setStandardInputFile(QProcess::nullDevice());
  process_->setProcessChannelMode(QProcess::SeparateChannels);

  connect(process_, &QProcess::readyReadStandardOutput, this, &CProcessRunner::ReadStdOut);
  connect(process_, &QProcess::readyReadStandardError, this, &CProcessRunner::ReadStdErr);
  connect(process_, &QProcess::finished, this, &CProcessRunner::HandleFinished);

  process_->start();
  if (!process_->waitForStarted(30000)) {
    terminatedReported_ = true;
    Release();
    // The line is kept to 255 characters, its line break included.
    QString line = QStringLiteral("Unable to start %1").arg(commandLine);
    line.truncate(254);
    line.append(u'\n');
    DeliverOut(line);
    return false;
  }
  OnStarted();
  emit started();
  return true;
}

void CProcessRunner::ReadStdOut() {
  if (process_ == nullptr) return;
  const QByteArray bytes = process_->readAllStandardOutput();
  if (!bytes.isEmpty()) DeliverOut(outDecoder_->Decode(bytes));
}

void CProcessRunner::ReadStdErr() {
  if (process_ == nullptr) return;
  const QByteArray bytes = process_->readAllStandardError();
  if (!bytes.isEmpty()) DeliverErr(errDecoder_->Decode(bytes));
}

void CProcessRunner::DeliverOut(const QString& text) {
  if (text.isEmpty()) return;
  OnStdOut(text);
  emit standardOutput(text);
}

void CProcessRunner::DeliverErr(const QString& text) {
  if (text.isEmpty()) return;
  OnStdErr(text);
  emit standardError(text);
}

void CProcessRunner::HandleFinished() {
  if (terminatedReported_ || process_ == nullptr) return;
  terminatedReported_ = true;
  // Whatever the tool wrote just before it ended is still buffered: deliver
  // it before the end is reported.
  ReadStdOut();
  ReadStdErr();
  DeliverOut(outDecoder_->Flush());
  DeliverErr(errDecoder_->Flush());
  if (forced_)
    lastExitCode_ = 1;
  else if (process_->exitStatus() == QProcess::NormalExit)
    lastExitCode_ = process_->exitCode();
  else
    lastExitCode_ = 1;
  const int code = lastExitCode_;
  OnTerminated();
  emit terminated(code);
}

void CProcessRunner::KillProcessTree() {
  if (process_ == nullptr) return;
#ifdef Q_OS_WIN
  // A forced end with exit code 1, as the tool's users have always seen.
  if (const qint64 pid = process_->processId(); pid > 0) {
    if (HANDLE h = OpenProcess(PROCESS_TERMINATE, FALSE, DWORD(pid))) {
      TerminateProcess(h, 1);
      CloseHandle(h);
    }
  }
#else
  if (const qint64 pid = process_->processId(); pid > 0) ::kill(-static_cast<pid_t>(pid), SIGKILL);
#endif
  process_->kill();
}

void CProcessRunner::Stop() {
  // Re-entered from OnTerminated while the program is being ended: the outer
  // call finishes the job.
  if (stopping_ || process_ == nullptr) return;
  stopping_ = true;
  if (process_->state() != QProcess::NotRunning) {
    ReadStdOut();
    ReadStdErr();
    forced_ = true;
    KillProcessTree();
    // A killed process is gone within milliseconds; the bound only guards
    // against a process the system cannot reap.
    process_->waitForFinished(3000);
  }
  HandleFinished();
  Release();
  stopping_ = false;
}

void CProcessRunner::Release() {
  if (process_ == nullptr) return;
  QProcess* p = process_;
  process_ = nullptr;
  p->disconnect(this);
  if (p->state() != QProcess::NotRunning) {
    p->kill();
    p->waitForFinished(1000);
  }
  // May be inside one of its own signals: delete it once that has returned.
  p->deleteLater();
}

// ---------------------------------------------------------------------------
// CToolRunner

CToolRunner::CToolRunner(Sink sink, QObject* parent)
    : CProcessRunner(parent), sink_(std::move(sink)) {}

CToolRunner::~CToolRunner() {
  StopUserTool();
  EndWaitCursor();
}

bool CToolRunner::StartUserTool(const QString& programPath, const QString& commandLine,
                                const QString& workDir) {
  if (IsRunning()) return false;  // the running tool keeps its name
  command_ = commandLine;
  return Start(programPath, commandLine, workDir, false);
}

void CToolRunner::StopUserTool() {
  Stop();
}

void CToolRunner::OnStarted() {
  if (!waitCursor_ && qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr) {
    QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    waitCursor_ = true;
  }
}

void CToolRunner::OnStdOut(const QString& text) {
  if (sink_) sink_(text);
}

void CToolRunner::OnStdErr(const QString& text) {
  if (sink_) sink_(text);
}

void CToolRunner::OnTerminated() {
  EndWaitCursor();
  StopUserTool();
}

void CToolRunner::EndWaitCursor() {
  if (!waitCursor_) return;
  waitCursor_ = false;
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr)
    QApplication::restoreOverrideCursor();
}

}  // namespace velmora
