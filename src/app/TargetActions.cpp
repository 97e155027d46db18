// The Action menu's target commands, the configuration command and About.
#include <QDialog>

#include "app/AboutDlg.h"
#include "app/SarvoApp.h"
#include "podlink/PodLink.h"
#include "podlink/ProcedureTexts.h"
#include "shell/Commands.h"
#include "shell/ConfigDlg.h"
#include "shell/MonitorControl.h"
#include "shell/SectionPane.h"
#include "shell/WaitCursor.h"

namespace velmora {

namespace {

struct ActionSpec {
  const char* noProgram;
  const char* question;
  bool sizeCheck;  // the image must fit the flash boot region
  bool serial;     // serial boot: monitoring restarts after a success
  const char* success;
};

const ActionSpec& SpecOf(TargetAction action) {
  static const ActionSpec kSpecs[] = {
      {"No user program to write", "Would you start serial boot writing?", false, true, nullptr},
      {"No user program to write & verify", "Would you start serial boot writing & verifying?",
       false, true, nullptr},
      {"No user program to write",
       "If write TMS320C31/32/33's external flash\nAll current action is stoped\n\nDo you "
       "continue?",
       true, false, "Flash Program is successful"},
      {"No user program to write & verify",
       "If write & verify TMS320C31/32/33's external flash\nAll current action is stoped\n\nDo "
       "you continue?",
       true, false, "Flash Program & Verifying is successful"},
      {"No user program to verify",
       "If verify TMS320C31/32/33's external flash\nAll current action is stoped\n\nDo you "
       "continue?",
       true, false, "Flash Verifying is successful"},
      {"No user program information to read",
       "If read TMS320C31/32/33's external flash\nAll current action is stoped\n\nDo you "
       "continue?",
       false, false, "Flash Reading is successful"},
  };
  return kSpecs[static_cast<int>(action)];
}

}  // namespace

// Marks a procedure as running for its lifetime and greys out every command
// that must not start meanwhile; the link is the procedure's alone (console,
// panes and monitoring wait). A window closed meanwhile closes the link
// at the end.
class ProcedureScope {
 public:
  explicit ProcedureScope(CSarvoApp& app) : app_(app) {
    app_.procedureRunning_ = true;
    app_.closeRequested_ = false;
    if (app_.monitor_) app_.monitor_->SetLinkBusy(true);
    if (app_.frame_) app_.frame_->UpdateCommandUi();
  }
  ~ProcedureScope() {
    app_.procedureRunning_ = false;
    if (app_.monitor_) app_.monitor_->SetLinkBusy(false);
    if (app_.closeRequested_ && app_.link_) app_.link_->Close();
    if (app_.frame_) app_.frame_->UpdateCommandUi();
  }
  ProcedureScope(const ProcedureScope&) = delete;
  ProcedureScope& operator=(const ProcedureScope&) = delete;

 private:
  CSarvoApp& app_;
};

void CSarvoApp::RunTargetAction(TargetAction action) {
  if (!podFound_ || !frame_ || procedureRunning_) return;
  const ActionSpec& spec = SpecOf(action);
  ProgramImage& image = program_.image;
  QWidget* parent = frame_.get();

  if (image.dataByteCount == 0) {
    prompter_->Inform(parent, QString::fromLatin1(spec.noProgram));
    return;
  }
  // An image laid out for the other header form would reach the target with
  // its words misplaced; it has to be read again for this DSP type.
  if (!ImageLayoutMatches(image, settings_.dspType)) {
    prompter_->Inform(parent,
                      QString::fromStdString(ImageLayoutMismatchText(image, settings_.dspType)));
    return;
  }
  if (!prompter_->AskYesNo(parent, QString::fromLatin1(spec.question))) return;
  if (spec.sizeCheck) {
    const BootRegion region =
        ComputeBootRegion(settings_.flashType, settings_.bootType, settings_.dspType);
    if (image.imageByteCount > region.sizeLimit) {
      prompter_->Inform(
          parent, QString::asprintf(kProgramTooBigFormat, image.imageByteCount, region.sizeLimit));
      return;
    }
  }
  CPodLink& link = *link_;
  if (!link.IsOpen() && !link.Open()) {
    prompter_->Inform(parent, QString::fromLatin1(kFailedToGetHandleText));
    return;
  }
  const int mode = RunningMode();
  if (mode) monitor_->StopMonitoring(mode);

  bool ok = false;
  {
    ProcedureScope running(*this);
    WaitCursorScope wait;
    if (spec.serial) {
      if (settings_.dspType == kTMS320C32) link.ApplyMemoryInterfaceValues(image);
    } else {
      link.ApplyMemoryInterfaceValues(image);
    }
    switch (action) {
      case TargetAction::kSerialBoot:
        ok = link.SerialBootDownload(program_);
        break;
      case TargetAction::kSerialBootVerify:
        ok = link.SerialBootVerify(program_);
        break;
      case TargetAction::kRomBoot:
        ok = link.FlashProgram(image);
        break;
      case TargetAction::kRomBootVerify:
        ok = link.FlashProgramAndVerify(image);
        break;
      case TargetAction::kRomVerify:
        ok = link.FlashVerify(image);
        break;
      case TargetAction::kRomRead:
        ok = link.FlashRead(image);
        if (ok && sectionPane_)
          sectionPane_->ShowImageData(image.imageByteCount, link.TransferSettings().bootBase);
        break;
    }
  }
  if (ok && spec.success) prompter_->Inform(parent, QString::fromLatin1(spec.success));
  // Only a serial boot that reached the target lets monitoring run again; the
  // flash commands leave the target running the loader.
  if (spec.serial && ok && mode) monitor_->StartMonitoring(mode);
}

void CSarvoApp::OnTargetReset() {
  if (!podFound_ || !frame_ || procedureRunning_) return;
  const int mode = RunningMode();
  CPodLink& link = *link_;
  if (!link.IsOpen() && !link.Open()) {
    prompter_->Inform(frame_.get(), QString::fromLatin1(kFailedToGetHandleText));
    return;
  }
  if (mode) monitor_->StopMonitoring(mode);
  bool ok = false;
  {
    WaitCursorScope wait;
    ok = link.ResetTarget();
  }
  if (!ok) {
    prompter_->Inform(frame_.get(), QString::fromLatin1(kFailedToResetText));
    return;
  }
  if (mode) {
    // The target program needs its start-up time before the responder answers.
    clock_->SleepMs(link.TransferSettings().delayAfterResetMs);
    monitor_->StartMonitoring(mode);
  }
}

void CSarvoApp::OnConfiguration() {
  if (!podFound_ || !frame_ || procedureRunning_) return;
  const int mode = RunningMode();
  if (mode) monitor_->StopMonitoring(mode);
  CConfigDlg dlg(settings_, link_.get(), podFound_, frame_.get());
  dlg.SetInformHandler([this](QWidget* w, const QString& text) { prompter_->Inform(w, text); });
  if (prompter_->RunDialog(dlg) == QDialog::Accepted) {
    frame_->SetStatusPane(pane::kDspType, QString::fromLatin1(DspTypeName(settings_.dspType)));
    frame_->SetStatusPane(pane::kBootType, QString::fromLatin1(BootTypeName(settings_.bootType)));
    ApplyDerivedSettings();
    link_->ApplyMemoryInterfaceValues(program_.image);
  }
  if (mode) monitor_->StartMonitoring(mode);
}

void CSarvoApp::OnAbout() {
  CAboutDlg dlg(frame_.get());
  prompter_->RunDialog(dlg);
}

}  // namespace velmora
