// The File menu: open and reload a COFF file, the recent files, and the
// symbol files that keep both watch lists.
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QMenu>

#include "app/SarvoApp.h"
#include "image/CoffReader.h"
#include "image/SymbolFile.h"
#include "image/SymbolTable.h"
#include "shell/Commands.h"
#include "shell/MonitorControl.h"
#include "shell/SectionPane.h"
#include "shell/TabViewBar.h"
#include "shell/WaitCursor.h"

namespace velmora {

namespace {

std::string Native(const QString& path) {
  return QFile::encodeName(path).toStdString();
}

}  // namespace

void CSarvoApp::OnFileOpen() {
  if (procedureRunning_) return;
  const QString path =
      prompter_->OpenFileName(frame_.get(), coffDir_, QString::fromLatin1(kCoffFilter));
  if (path.isEmpty()) return;
  LoadCoffPath(path, true);
}

int CSarvoApp::LoadCoffFile(const QString& path) {
  return LoadCoffPath(path, false);
}

int CSarvoApp::LoadCoffPath(const QString& path, bool fromDialog) {
  coffPath_ = path;
  coffDir_ = DirectoryOf(path);
  store_->WriteString(kSectionMain, kKeyCoffFileDirectory, coffDir_.toStdString());

  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    if (fromDialog) prompter_->Inform(frame_.get(), QString::fromLatin1(kFailedToOpenFileText));
    return 1;
  }
  dateText_ = FileDateText(path);
  file.close();
  if (fromDialog && frame_) frame_->repaint();

  const int rc = OpenCoffFile(path);
  if (rc != 0) return rc;

  titlePath_ = path;
  titleDate_ = dateText_;
  SetTitle();
  if (fromDialog) {
    recent_.Add(path);
    RebuildRecentMenu();
  }
  RefillSymbolPane();
  ResolveVariables();
  return 0;
}

int CSarvoApp::OpenCoffFile(const QString& path) {
  int rc = 0;
  {
    WaitCursorScope wait;
    rc = ReadCoffFile(Native(path), Derive(settings_).MemoryInterface(), program_);
    // The reader leaves everything in place on a failure; after an allocation
    // failure the symbols and sections are dropped all the same, so nothing
    // half-read can be shown.
    if (rc == kCoffMemoryException) {
      program_.symbols.clear();
      program_.sections.clear();
    }
  }
  if (rc != 0) prompter_->Stop(frame_.get(), QString::fromLatin1(CoffResultMessage(rc)));
  if (frame_) {
    frame_->SetStatusPane(pane::kProgramSize,
                          rc == 0 ? QString::fromStdString(ProgramSizeText(program_.image))
                                  : QStringLiteral("0x000000 Words"));
    frame_->SetActivePage(CTabViewBar::kSectionPage);
  }
  if (sectionPane_) {
    if (rc == 0)
      sectionPane_->Fill();
    else
      sectionPane_->Clear();
  }
  return rc;
}

void CSarvoApp::RefillSymbolPane() {
  if (symbolPane_) symbolPane_->Fill(program_.symbols);
}

void CSarvoApp::ResolveVariables() {
  if (program_.variables.empty() || program_.symbols.empty()) return;
  const bool running = monitor_ && monitor_->variableMonitoring();
  if (running) monitor_->StopMonitoring(kMonitorVariables);
  ResolveVariableItems(program_.symbols, program_.variables);
  if (running) monitor_->StartMonitoring(kMonitorVariables);
}

int CSarvoApp::OpenDocumentFile(const QString& path) {
  const int rc = LoadCoffFile(path);
  if (rc == 0) {
    recent_.Add(path);
    RebuildRecentMenu();
  }
  return rc;
}

void CSarvoApp::OnOpenRecentFile(int index) {
  if (procedureRunning_) return;
  const QString path = recent_.At(index);
  if (path.isEmpty()) return;
  OpenDocumentFile(path);
}

void CSarvoApp::OnReload() {
  if (procedureRunning_) return;
  const QString first =
      QString::fromStdString(store_->ReadString(kSectionRecentFiles, "File1", ""));
  if (!coffPath_.isEmpty()) {
    LoadCoffFile(coffPath_);
  } else if (!first.isEmpty() && QFileInfo::exists(first)) {
    LoadCoffFile(first);
  }
}

void CSarvoApp::RebuildRecentMenu() {
  if (!frame_) return;
  QMenu* menu = frame_->FileMenu();
  QAction* placeholder = frame_->Command(cmd::kRecentFile);
  for (QAction* a : std::as_const(recentActions_)) {
    menu->removeAction(a);
    a->deleteLater();
  }
  recentActions_.clear();
  for (int k = 0; k < recent_.Size(); ++k) {
    auto* action = new QAction(RecentFileList::MenuText(k, recent_.At(k)), menu);
    action->setStatusTip(QStringLiteral("Open this document"));
    connect(action, &QAction::triggered, this, [this, k] { OnOpenRecentFile(k); });
    menu->insertAction(placeholder, action);
    recentActions_.append(action);
  }
  // The disabled "Recent File" item stands in for an empty list.
  placeholder->setVisible(recent_.Size() == 0);
  placeholder->setEnabled(false);
}

// ---------------------------------------------------------------------------
// Symbol files.

void CSarvoApp::SetSymbolPath(const QString& path) {
  symPath_ = path;
  symDir_ = DirectoryOf(path);
  store_->WriteString(kSectionMain, kKeySymbolFileDirectory, symDir_.toStdString());
}

void CSarvoApp::OnOpenSymbolFile() {
  if (procedureRunning_) return;
  const QString path =
      prompter_->OpenFileName(frame_.get(), symDir_, QString::fromLatin1(kSymbolOpenFilter));
  if (path.isEmpty()) return;
  SetSymbolPath(path);
  const int mode = RunningMode();
  if (mode) monitor_->StopMonitoring(mode);

  const SymbolFileResult result =
      LoadSymbolFile(Native(path), program_.variables, program_.addresses);
  if (result != SymbolFileResult::kOk) {
    // Monitoring stays stopped and the panes keep what they show.
    prompter_->Stop(frame_.get(), QString::fromLatin1(SymbolFileMessage(result)));
    return;
  }
  ResolveVariableItems(program_.symbols, program_.variables);
  if (monitor_) {
    monitor_->RebuildVariableRows();
    monitor_->RebuildAddressRows();
  }
  if (mode) monitor_->StartMonitoring(mode);
}

void CSarvoApp::OnSaveSymbolFile() {
  if (procedureRunning_) return;
  const QString path = prompter_->SaveFileName(
      frame_.get(), symDir_, QString::fromLatin1(kSymbolSaveFilter), QStringLiteral("sym"));
  if (path.isEmpty()) return;
  SetSymbolPath(path);
  const int mode = RunningMode();
  if (mode) monitor_->StopMonitoring(mode);
  const SymbolFileResult result =
      SaveSymbolFile(Native(path), program_.variables, program_.addresses);
  if (result != SymbolFileResult::kOk)
    prompter_->Stop(frame_.get(), QString::fromLatin1(SymbolFileMessage(result)));
  if (mode) monitor_->StartMonitoring(mode);
}

}  // namespace velmora
