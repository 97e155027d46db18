#include "shell/UserTools.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>
#include <QWidget>
#include <QtEndian>

#include "shell/MessageBoxTitle.h"
#include "shell/MessageWnd.h"
#include "shell/ToolRunner.h"
#include "shell/UserToolDlg.h"

namespace velmora {

namespace {

std::string Key(const char* stem, int slot) {
  return stem + std::to_string(slot);
}

QString ReadUserMenu(SettingsStore& store, const std::string& key) {
  return QString::fromStdString(store.ReadString(kSectionUserMenu, key, std::string()));
}

qsizetype FirstSeparator(const QString& text, qsizetype from = 0) {
  for (qsizetype i = from; i < text.size(); ++i)
    if (IsPathSeparator(text.at(i))) return i;
  return -1;
}

}  // namespace

// ---------------------------------------------------------------------------
// Host defaults

void UserToolHost::Inform(const QString& text) {
  QMessageBox::information(Window(), MessageBoxTitle(), text);
}

bool UserToolHost::Confirm(const QString& text) {
  return QMessageBox::question(Window(), MessageBoxTitle(), text,
                               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

bool UserToolHost::OpenWithDesktop(const QString& programPath, const QString& workDir) {
  // The program starts in the registered work directory (an empty one means
  // this program's own), as the shell's "open" does when given a folder.
#ifdef Q_OS_WIN
  return QProcess::startDetached(programPath, {}, workDir);
#else
  // The desktop's opener hands the program to whatever runs it here, which
  // inherits the folder the opener was started in.
  const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
  if (!opener.isEmpty()) return QProcess::startDetached(opener, {programPath}, workDir);
  return QDesktopServices::openUrl(QUrl::fromLocalFile(programPath));
#endif
}

// ---------------------------------------------------------------------------
// Paths and names

bool IsPathSeparator(QChar c) {
#ifdef Q_OS_WIN
  return c == u'\\' || c == u'/';
#else
  return c == u'/';
#endif
}

bool ExtractProgramPath(const QString& commandLine, QString* programPath) {
  QString candidate;
  if (commandLine.startsWith(u'"')) {
    const qsizetype close = commandLine.indexOf(u'"', 1);
    if (close < 0) return false;
    candidate = commandLine.mid(1, close - 1);
    if (FirstSeparator(candidate) < 0) return false;
  } else {
    const qsizetype sep = FirstSeparator(commandLine);
    if (sep < 0) return false;
    const qsizetype blank = commandLine.indexOf(u' ', sep);
    candidate = blank >= 0 ? commandLine.left(blank) : commandLine;
  }
  if (candidate.isEmpty() || !QFileInfo::exists(candidate)) return false;
  if (programPath != nullptr) *programPath = candidate;
  return true;
}

QString ArgumentsAfterProgram(const QString& commandLine, const QString& programPath) {
  QString rest;
  const QString quoted = u'"' + programPath + u'"';
  if (!programPath.isEmpty() && commandLine.startsWith(quoted)) {
    rest = commandLine.mid(quoted.size());
  } else if (!programPath.isEmpty() && commandLine.startsWith(programPath)) {
    rest = commandLine.mid(programPath.size());
  } else {
    const QString trimmed = commandLine.trimmed();
    const qsizetype blank = trimmed.indexOf(u' ');
    rest = blank >= 0 ? trimmed.mid(blank) : QString();
  }
  qsizetype i = 0;
  while (i < rest.size() && rest.at(i).isSpace()) ++i;
  return rest.mid(i);
}

QString FileNameStem(const QString& path) {
  const QString file = QFileInfo(path).fileName();
  const qsizetype dot = file.indexOf(u'.');
  if (dot == 0) return file;  // ".tool": the dot is not an extension
  return dot > 0 ? file.left(dot) : file;
}

QString DeriveToolName(const QString& commandLine) {
  const qsizetype sep = FirstSeparator(commandLine);
  const QString rest = sep >= 0 ? commandLine.mid(sep + 1) : commandLine;
  const qsizetype dot = rest.indexOf(u'.');
  QString name = dot >= 0 ? rest.left(dot).trimmed() : QString();
  if (!name.isEmpty()) return name;
  // An empty name would hide this tool and every later one from the Tool
  // menu and the toolbar; fall back to the program's own name.
  QString program;
  if (!ExtractProgramPath(commandLine, &program)) {
    const qsizetype blank = commandLine.indexOf(u' ', sep < 0 ? 0 : sep);
    program = blank >= 0 ? commandLine.left(blank) : commandLine;
  }
  if (program.startsWith(u'"')) program.remove(0, 1);
  return FileNameStem(program);
}

bool IsGuiProgram(const QString& programPath) {
  const QString suffix = QFileInfo(programPath).suffix().toLower();
  if (suffix == u"bat" || suffix == u"com" || suffix == u"cmd") return false;
  QFile file(programPath);
  if (!file.open(QIODevice::ReadOnly)) return false;
  const QByteArray dos = file.read(64);
  if (dos.size() != 64 || dos[0] != 'M' || dos[1] != 'Z') return false;
  const quint32 peOffset = qFromLittleEndian<quint32>(dos.constData() + 60);
  if (!file.seek(peOffset)) return false;
  if (file.read(4) != QByteArray("PE\0\0", 4)) return false;
  if (file.read(20).size() != 20) return false;  // file header
  const QByteArray optional = file.read(224);
  if (optional.size() != 224) return false;
  return qFromLittleEndian<quint16>(optional.constData() + 68) == 2;  // Windows GUI subsystem
}

// ---------------------------------------------------------------------------
// Stored table

std::vector<UserToolEntry> LoadUserToolTable(SettingsStore& store) {
  std::vector<UserToolEntry> tools;
  for (int n = 0; n < kUserToolSlots; ++n) {
    UserToolEntry e;
    e.command = ReadUserMenu(store, Key("MenuCommand", n));
    if (e.command.isEmpty()) break;
    e.workDir = ReadUserMenu(store, Key("MenuWorkDir", n));
    e.name = ReadUserMenu(store, Key("MenuName", n));
    tools.push_back(std::move(e));
  }
  return tools;
}

void SaveUserToolTable(SettingsStore& store, const std::vector<UserToolEntry>& tools) {
  for (int n = 0; n < kUserToolSlots; ++n) {
    const bool used = n < static_cast<int>(tools.size());
    store.WriteString(kSectionUserMenu, Key("MenuCommand", n),
                      used ? tools[n].command.toStdString() : std::string());
    store.WriteString(kSectionUserMenu, Key("MenuWorkDir", n),
                      used ? tools[n].workDir.toStdString() : std::string());
    store.WriteString(kSectionUserMenu, Key("MenuName", n),
                      used ? tools[n].name.toStdString() : std::string());
  }
}

QStringList LoadUserToolNames(SettingsStore& store) {
  QStringList names;
  for (int n = 0; n < kUserToolSlots; ++n) {
    const QString name = ReadUserMenu(store, Key("MenuName", n));
    if (name.isEmpty()) break;
    names.append(name);
  }
  return names;
}

QString ReadUserMenuInitDir(SettingsStore& store) {
  return ReadUserMenu(store, "UserMenuInitDir");
}

void WriteUserMenuInitDir(SettingsStore& store, const QString& dir) {
  store.WriteString(kSectionUserMenu, "UserMenuInitDir", dir.toStdString());
}

// ---------------------------------------------------------------------------
// Toolbar and menu

int UpdateUserToolButtons(UserToolHost& host) {
  const QStringList names = LoadUserToolNames(host.Store());
  for (int n = 0; n < kUserToolSlots; ++n) {
    QAction* action = host.CommandAction(kCmdUserTool1 + n);
    if (action == nullptr) continue;
    const bool present = n < names.size();
    if (present) {
      QString tip = names[n].left(kUserToolTipChars);
      // Never leave half of a surrogate pair at the cut.
      if (tip.size() == kUserToolTipChars && tip.back().isHighSurrogate()) tip.chop(1);
      action->setToolTip(tip);
    }
    action->setVisible(present);
    action->setEnabled(present);
  }
  host.RecalcLayout();
  return static_cast<int>(names.size());
}

void BuildToolMenu(UserToolHost& host, QMenu* popup, const std::function<void(int)>& launch) {
  if (popup == nullptr) return;
  const QList<QAction*> items = popup->actions();
  for (qsizetype i = 2; i < items.size(); ++i) {
    popup->removeAction(items[i]);
    // Entries made here belong to the popup; anything else stays alive.
    if (items[i]->parent() == popup) items[i]->deleteLater();
  }
  const QStringList names = LoadUserToolNames(host.Store());
  for (int n = 0; n < names.size(); ++n) {
    auto* action = new QAction(names[n] + QStringLiteral("\tShift+%1").arg(n + 1), popup);
    action->setData(kCmdUserTool1 + n);
    action->setStatusTip(QStringLiteral("Register User Tools%1").arg(n + 1));
    action->setEnabled(true);
    QObject::connect(action, &QAction::triggered, popup, [launch, n] {
      if (launch) launch(n);
    });
    popup->addAction(action);
  }
}

// ---------------------------------------------------------------------------
// Launch

bool LaunchAttempted(LaunchResult r) {
  return r == LaunchResult::OpenedByDesktop || r == LaunchResult::DesktopRefused ||
         r == LaunchResult::Started || r == LaunchResult::StartFailed;
}

LaunchResult LaunchUserTool(UserToolHost& host, CToolRunner& runner, int slot) {
  if (slot < 0 || slot >= kUserToolSlots) return LaunchResult::NotConfigured;
  SettingsStore& store = host.Store();
  const QString command = ReadUserMenu(store, Key("MenuCommand", slot));
  const QString workDir = ReadUserMenu(store, Key("MenuWorkDir", slot));
  if (command.isEmpty()) return LaunchResult::NotConfigured;

  QString program;
  if (!ExtractProgramPath(command, &program)) {
    host.Inform(QStringLiteral("The file path of command line is wrong"));
    return LaunchResult::BadProgramPath;
  }
  if (!workDir.isEmpty() && !QFileInfo(workDir).isDir()) {
    host.Inform(QStringLiteral("The work directory is wrong"));
    return LaunchResult::BadWorkDir;
  }
  {
    QFile file(program);
    if (!file.open(QIODevice::ReadOnly)) {
      host.Inform(QStringLiteral("Failed to open executable file"));
      return LaunchResult::CannotOpen;
    }
  }

  if (IsGuiProgram(program)) {
    // A GUI program is started without its arguments, as the shell's open
    // handler takes none.
    return host.OpenWithDesktop(program, workDir) ? LaunchResult::OpenedByDesktop
                                                  : LaunchResult::DesktopRefused;
  }

  if (runner.IsRunning()) {
    const QString question =
        QStringLiteral("The user tool \"%1\" is still running.\nStop it and start \"%2\"?")
            .arg(runner.RunningCommand(), command);
    if (!host.Confirm(question)) return LaunchResult::StillRunning;
    runner.StopUserTool();
  }

  host.SetActivePage(0);
  if (CMessageWnd* wnd = host.MessageWindow()) wnd->Clear();
  return runner.StartUserTool(program, command, workDir) ? LaunchResult::Started
                                                         : LaunchResult::StartFailed;
}

// ---------------------------------------------------------------------------
// CUserTools

CUserTools::CUserTools(UserToolHost& host, QObject* parent)
    : QObject(parent), host_(host), window_(host.Window()) {
  runner_ = std::make_unique<CToolRunner>([this](const QString& text) { AppendOutputText(text); });

  if (QMenu* menu = host_.ToolMenu()) {
    connect(menu, &QMenu::aboutToShow, this,
            [this, menu] { BuildToolMenu(host_, menu, [this](int n) { Launch(n); }); });
  }
  if (QAction* reg = host_.CommandAction(kCmdRegisterUserTools))
    connect(reg, &QAction::triggered, this, [this] { RunDialog(); });
  for (int n = 0; n < kUserToolSlots; ++n) {
    if (QAction* a = host_.CommandAction(kCmdUserTool1 + n))
      connect(a, &QAction::triggered, this, [this, n] { Launch(n); });
  }
  if (window_) window_->installEventFilter(this);
  if (QCoreApplication* app = QCoreApplication::instance())
    connect(app, &QCoreApplication::aboutToQuit, this, &CUserTools::StopUserTool);
  Refresh();
}

CUserTools::~CUserTools() {
  if (window_) window_->removeEventFilter(this);
  StopUserTool();
}

LaunchResult CUserTools::Launch(int slot) {
  return LaunchUserTool(host_, *runner_, slot);
}

int CUserTools::RunDialog() {
  CUserToolDlg dlg(host_.Store(), host_.Window());
  const int result = dlg.exec();
  Refresh();
  return result;
}

void CUserTools::StopUserTool() {
  if (runner_) runner_->StopUserTool();
}

void CUserTools::AppendOutputText(const QString& text) {
  if (CMessageWnd* wnd = host_.MessageWindow()) wnd->AppendText(text);
}

bool CUserTools::eventFilter(QObject* watched, QEvent* event) {
  if (watched == window_ && event->type() == QEvent::Show) Refresh();
  return QObject::eventFilter(watched, event);
}

}  // namespace velmora
