#include "app/SarvoApp.h"

#include <QAction>
#include <QApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <iostream>

#include "app/AboutDlg.h"
#include "config/qt/QSettingsStore.h"
#include "image/CoffReader.h"
#include "image/SymbolFile.h"
#include "image/SymbolTable.h"
#include "podlink/PodLink.h"
#include "podlink/ProcedureTexts.h"
#include "shell/ChangeDataDlg.h"
#include "shell/Commands.h"
#include "shell/MessageWnd.h"
#include "shell/MicroTimeDlg.h"
#include "shell/MonitorControl.h"
#include "shell/ProgressDlg.h"
#include "shell/SectionPane.h"
#include "shell/SingleInstance.h"
#include "shell/TabViewBar.h"
#include "shell/UserTools.h"
#include "sim/VirtualBoard.h"

namespace velmora {

namespace {

CSarvoApp* g_app = nullptr;

// The user tools' message boxes go through the application's prompter too.
class AppUserToolHost : public FrameUserToolHost<CMainFrame> {
 public:
  AppUserToolHost(CMainFrame& frame, SettingsStore& store, AppPrompter& prompter)
      : FrameUserToolHost<CMainFrame>(frame, store), prompter_(prompter) {}
  void Inform(const QString& text) override { prompter_.Inform(Window(), text); }
  bool Confirm(const QString& text) override { return prompter_.AskYesNo(Window(), text); }

 private:
  AppPrompter& prompter_;
};

// So are the monitoring control's.
class AppMonitorPrompt : public MonitorPrompt {
 public:
  explicit AppMonitorPrompt(AppPrompter& prompter) : prompter_(prompter) {}
  void Information(QWidget* parent, const QString& text) override {
    prompter_.Inform(parent, text);
  }
  void Error(QWidget* parent, const QString& text) override { prompter_.Stop(parent, text); }

 private:
  AppPrompter& prompter_;
};

bool IsSeparator(QChar c) {
#ifdef Q_OS_WIN
  return c == QLatin1Char('/') || c == QLatin1Char('\\');
#else
  return c == QLatin1Char('/');
#endif
}

}  // namespace

QString InstanceNameFor(const StartupOptions& options) {
  const QString base = QString::fromLatin1(kSingleInstanceName);
  if (options.settingsFile.isEmpty()) return base;
  const QByteArray key = QFileInfo(options.settingsFile).absoluteFilePath().toUtf8();
  return base + QLatin1Char('-') +
         QString::fromLatin1(
             QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(12));
}

QString BuildWindowTitle(const QString& coffPath, const QString& dateText, bool simulated) {
  QString title = QString::fromLatin1(kAppTitle);
  if (!coffPath.isEmpty()) {
    title += QStringLiteral(" - ") + coffPath;
    if (!dateText.isEmpty()) title += QStringLiteral(" , Date : ") + dateText;
  }
  if (simulated)
    title += QStringLiteral("  [") + QString::fromLatin1(CMainFrame::kSimulatedBoardText) +
             QLatin1Char(']');
  return title;
}

QString FileDateText(const QString& path) {
  const QDateTime written = QFileInfo(path).lastModified();
  if (!written.isValid()) return {};
  return written.toLocalTime().toString(QStringLiteral("yyyy/MM/dd  HH:mm:ss"));
}

QString DirectoryOf(const QString& path) {
  for (qsizetype k = path.size() - 1; k >= 0; --k)
    if (IsSeparator(path[k])) return path.left(k + 1);
  return {};
}

// ---------------------------------------------------------------------------

CSarvoApp::CSarvoApp(StartupOptions options, AppServices services)
    : options_(std::move(options)),
      services_(services),
      store_(services.store ? services.store : OpenOwnedStore()),
      clock_(services.clock ? services.clock : &SteadyClock::Instance()),
      recent_(*store_),
      // The busy-wait is measured against real time whatever clock the link uses.
      timer_(SteadyClock::Instance()) {
  if (services_.prompter) prompter_ = services_.prompter;
  g_app = this;
}

SettingsStore* CSarvoApp::OpenOwnedStore() {
  // The INI file of --settings, else the user's settings of Kelvaro /
  // "Velmora UT Ver2.24".
  ownedStore_ = options_.settingsFile.isEmpty()
                    ? std::make_unique<QSettingsStore>()
                    : std::make_unique<QSettingsStore>(options_.settingsFile.toStdString());
  return ownedStore_.get();
}

CSarvoApp::~CSarvoApp() {
  ExitInstance();
  if (g_app == this) g_app = nullptr;
}

CSarvoApp* CSarvoApp::Instance() {
  return g_app;
}

bool CSarvoApp::InitInstance() {
  // One running instance per machine: a second one ends without a word.
  if (!services_.instanceName.isEmpty()) {
    instance_ = std::make_unique<SingleInstance>(services_.instanceName);
    if (instance_->Acquire() == SingleInstance::Result::AnotherRunning) {
      instance_.reset();
      return false;
    }
  }

  recent_.Load();
  QString cwd = QDir::toNativeSeparators(QDir::currentPath());
  if (cwd.isEmpty() || !IsSeparator(cwd.back())) cwd += QDir::separator();
  workDir_ = cwd;
  coffPath_ = QString::fromStdString(store_->ReadString(kSectionMain, kKeyCoffFilePath, ""));
  coffDir_ = QString::fromStdString(store_->ReadString(kSectionMain, kKeyCoffFileDirectory, ""));
  symPath_ = QString::fromStdString(store_->ReadString(kSectionMain, kKeySymbolFilePath, ""));
  symDir_ = QString::fromStdString(store_->ReadString(kSectionMain, kKeySymbolFileDirectory, ""));

  ResetProgramImage(program_.image);
  LoadSettings(*store_, settings_);
  if (!CreateMainWindow()) return false;
  initialised_ = true;

  frame_->showNormal();
  frame_->update();
  SetTitle();

  CMicroTimeDlg notice(frame_.get());
  timer_.Calibrate(*store_, notice.Notice());
  settings_.microTimeLength = timer_.LoopsPerUs();

  StartPod();

  if (!options_.coffFile.isEmpty()) {
    const QString path = QFileInfo(options_.coffFile).absoluteFilePath();
    OpenDocumentFile(QDir::toNativeSeparators(path));
  }
  return true;
}

bool CSarvoApp::CreateMainWindow() {
  frame_ = std::make_unique<CMainFrame>(settings_);
  frame_->SetHost(this);
  frame_->SetSimulatedBoard(options_.SimulatedBoard());

  // The pod link and the two progress dialogs that report its procedures.
  if (options_.SimulatedBoard()) sim::RegisterSimBackend();
  FtdiBackendOptions backendOptions = options_.backendOptions;
  // A new virtual board starts out as the settings describe the target,
  // whether it is the "sim" backend's or the one behind the stand-in
  // libftdi1; other backends ignore these values.
  backendOptions.values.try_emplace("configured-dsp", std::to_string(settings_.dspType));
  backendOptions.values.try_emplace("configured-flash", std::to_string(settings_.flashType));
  backendOptions.values.try_emplace("configured-boot", std::to_string(settings_.bootType + 1));
  const std::string backend = options_.podBackend;
  MicroDelayer& delayer =
      services_.delayer ? *services_.delayer : static_cast<MicroDelayer&>(timer_);
  link_ = std::make_unique<CPodLink>(
      [backend, backendOptions](std::string& error) {
        return CreateFtdiBackend(backend, backendOptions, error);
      },
      *clock_, delayer);
  ApplyDerivedSettings();
  progressDlg_ = new CProgressDlg(frame_.get());
  animationDlg_ = new CAnimateProgressDlg(frame_.get());
  observer_ = std::make_unique<ProgressObserver>(*progressDlg_, *animationDlg_, frame_.get());
  link_->SetObserver(observer_.get());

  // Panes.
  auto* symbols = new CLeftView(store_);
  symbols->SetHost(this);
  frame_->SetSymbolPane(symbols);
  symbolPane_ = symbols;
  auto* sections = new CSectionPane(program_, store_);
  sections->SetLeftColumnWidthSource(
      [this] { return frame_ ? frame_->LeftPaneCurrentWidth() : 0; });
  frame_->SetSectionPage(sections);
  sectionPane_ = sections;

  monitor_ = std::make_unique<CMonitorControl>(*frame_, *link_, settings_, *store_, program_);
  monitorPrompt_ = std::make_unique<AppMonitorPrompt>(*prompter_);
  monitor_->SetPrompt(monitorPrompt_.get());
  // The change-data dialogs, with their messages and modal runs through the
  // prompter like every other dialog of the application.
  monitor_->SetChangeSymbolHook([this](QWidget* parent, const ChangeSymbolRequest& request,
                                       uint32_t& word) {
    CChangeSymbolDlg dlg(request, parent);
    dlg.SetInformHandler([this](QWidget* w, const QString& text) { prompter_->Inform(w, text); });
    if (prompter_->RunDialog(dlg) != QDialog::Accepted) return false;
    word = dlg.ResultWord();
    return true;
  });
  monitor_->SetChangeAddressHook([this](QWidget* parent, const ChangeAddressRequest& request,
                                        uint32_t& word) {
    CChangeAddressDlg dlg(request, parent);
    dlg.SetInformHandler([this](QWidget* w, const QString& text) { prompter_->Inform(w, text); });
    if (prompter_->RunDialog(dlg) != QDialog::Accepted) return false;
    word = dlg.ResultWord();
    return true;
  });

  toolHost_ = std::make_unique<AppUserToolHost>(*frame_, *store_, *prompter_);
  userTools_ = std::make_unique<CUserTools>(*toolHost_);

  if (instance_) {
    CMainFrame* frame = frame_.get();
    connect(instance_.get(), &SingleInstance::messageReceived, frame,
            [frame](quint32 tag, const QString& text) { frame->HandleCopyData(tag, text); });
    // Another user's socket, or a folder that is not private: said where
    // tool output goes, without keeping the program from starting.
    for (const QString& warning : instance_->Warnings())
      frame->MessageWindow()->AppendText(warning + u'\n');
  }

  ConnectCommands();
  RebuildRecentMenu();
  return true;
}

void CSarvoApp::ConnectCommands() {
  CMainFrame& f = *frame_;
  auto on = [&](int id, auto slot) {
    if (QAction* a = f.Command(id)) connect(a, &QAction::triggered, this, slot);
  };
  on(cmd::kOpenCoffFile, [this] { OnFileOpen(); });
  on(cmd::kReloadCoffFile, [this] { OnReload(); });
  on(cmd::kOpenSymbolFile, [this] { OnOpenSymbolFile(); });
  on(cmd::kSaveSymbolFile, [this] { OnSaveSymbolFile(); });
  on(cmd::kSerialBoot, [this] { RunTargetAction(TargetAction::kSerialBoot); });
  on(cmd::kSerialBootVerify, [this] { RunTargetAction(TargetAction::kSerialBootVerify); });
  on(cmd::kRomBoot, [this] { RunTargetAction(TargetAction::kRomBoot); });
  on(cmd::kRomBootVerify, [this] { RunTargetAction(TargetAction::kRomBootVerify); });
  on(cmd::kRomVerify, [this] { RunTargetAction(TargetAction::kRomVerify); });
  on(cmd::kRomRead, [this] { RunTargetAction(TargetAction::kRomRead); });
  on(cmd::kTargetReset, [this] { OnTargetReset(); });
  on(cmd::kConfiguration, [this] { OnConfiguration(); });
  on(cmd::kAbout, [this] { OnAbout(); });
}

void CSarvoApp::StartPod() {
  CPodLink& link = *link_;
  driverLoaded_ = link.LoadDriver();
  if (driverLoaded_ && link.FindDevice()) {
    if (link.Open()) {
      link.Purge();
      link.ReadFirmwareVersion();
      link.Close();
    }
  }
  podFound_ = link.Found();
  if (!driverLoaded_) {
    if (!link.DriverError().empty())
      std::cerr << "velmora: " << options_.podBackend << " backend: " << link.DriverError() << "\n";
    prompter_->Stop(frame_.get(), QString::fromLatin1(kFailedToLoadDriverText));
  } else if (!podFound_) {
    prompter_->Stop(frame_.get(), QString::fromLatin1(kNotConnectedText));
  }
  frame_->UpdateCommandUi();
}

void CSarvoApp::ExitInstance() {
  if (exited_) return;
  exited_ = true;
  if (initialised_) {
    store_->WriteString(kSectionMain, kKeyCoffFilePath, coffPath_.toStdString());
    store_->WriteString(kSectionMain, kKeySymbolFilePath, symPath_.toStdString());
  }
  if (userTools_) userTools_->StopUserTool();
  if (link_) link_->SetObserver(nullptr);
  observer_.reset();
  if (frame_) frame_->SetHost(nullptr);
  // The window goes first, while everything its panes may still call on
  // their way out is there; the panes write their column widths as they go.
  frame_.reset();
  monitor_.reset();
  monitorPrompt_.reset();
  userTools_.reset();
  toolHost_.reset();
  if (link_ && link_->IsOpen()) link_->Close();
  if (initialised_) {
    SaveSettings(*store_, settings_);
    store_->Sync();
  }
  program_.symbols.clear();
  program_.variables.clear();
  program_.addresses.clear();
  program_.sections.clear();
  program_.image.words.clear();
  program_.image.words.shrink_to_fit();
  link_.reset();
  instance_.reset();
}

// ---------------------------------------------------------------------------
// Title and the frame's host.

QString CSarvoApp::WindowTitle() const {
  return frame_ ? frame_->windowTitle() : QString();
}

void CSarvoApp::SetTitle() {
  if (frame_)
    frame_->setWindowTitle(BuildWindowTitle(titlePath_, titleDate_, options_.SimulatedBoard()));
}

int CSarvoApp::RunningMode() {
  return monitor_ ? monitor_->RunningMode() : 0;
}

MonitoringFlags CSarvoApp::Monitoring() {
  return monitor_ ? monitor_->Flags() : MonitoringFlags{};
}

void CSarvoApp::StopMonitoring(int mode) {
  if (monitor_) monitor_->StopMonitoring(mode);
}

void CSarvoApp::StartMonitoring(int mode) {
  if (monitor_) monitor_->StartMonitoring(mode);
}

void CSarvoApp::ClearMonitoringActive() {
  if (monitor_) monitor_->ClearMonitoringActive();
}

bool CSarvoApp::ClosePodLink() {
  if (!link_) return true;
  if (procedureRunning_) {
    // The window goes while a procedure runs: cancel it, and close the link
    // once the procedure has let go of it.
    closeRequested_ = true;
    for (CProcedureDlgBase* dlg : {static_cast<CProcedureDlgBase*>(progressDlg_),
                                   static_cast<CProcedureDlgBase*>(animationDlg_)})
      if (dlg && dlg->isVisible() &&
          dlg->ButtonText() == QLatin1String(CProcedureDlgBase::kCancelText))
        dlg->PressButton();
    return true;
  }
  return link_->Close();
}

void CSarvoApp::ResetConsoleState() {
  if (monitor_) monitor_->ResetConsoleState();
}

void CSarvoApp::Inform(CMainFrame& frame, const QString& text) {
  prompter_->Inform(&frame, text);
}

void CSarvoApp::UpdateCommandUi(CMainFrame& frame) {
  const bool idle = !procedureRunning_;
  frame.Command(cmd::kOpenCoffFile)->setEnabled(idle);
  frame.Command(cmd::kReloadCoffFile)
      ->setEnabled(idle && (!coffPath_.isEmpty() || !recent_.At(0).isEmpty()));
  frame.Command(cmd::kSaveSymbolFile)
      ->setEnabled(idle && (!program_.variables.empty() || !program_.addresses.empty()));
  frame.Command(cmd::kOpenSymbolFile)->setEnabled(idle);
  for (QAction* a : std::as_const(recentActions_)) a->setEnabled(idle);
  // The target commands need the pod that start-up found; the search is not
  // repeated later.
  for (int id : {cmd::kSerialBoot, cmd::kSerialBootVerify, cmd::kRomBoot, cmd::kRomBootVerify,
                 cmd::kRomVerify, cmd::kRomRead, cmd::kTargetReset, cmd::kConfiguration})
    frame.Command(id)->setEnabled(podFound_ && idle);
  if (monitor_) monitor_->UpdateCommandUi();
  // No monitoring tick may come between the words of a procedure.
  if (!idle)
    for (int id : {cmd::kVariableMonitoring, cmd::kAddressMonitoring})
      frame.Command(id)->setEnabled(false);
}

// ---------------------------------------------------------------------------
// The symbol pane's host.

bool CSarvoApp::VariableMonitoring() {
  return monitor_ && monitor_->variableMonitoring();
}

void CSarvoApp::UpdateResolvedVariables() {
  if (monitor_) monitor_->UpdateResolvedVariables();
}

bool CSarvoApp::IsVariableRegistered(const std::string& name) {
  return monitor_ && monitor_->IsVariableRegistered(name);
}

void CSarvoApp::AddSymbolVariable(const std::string& name) {
  if (monitor_) monitor_->AddSymbolVariable(name);
}

void CSarvoApp::DeleteAllSymbols() {
  program_.symbols.clear();
  program_.sections.clear();
}

void CSarvoApp::ApplyDerivedSettings() {
  link_->SetTransferSettings(Derive(settings_));
}

}  // namespace velmora
