// How long target procedures report progress, read the cancel flag and keep the
// user interface alive. The progress dialogs, a terminal progress bar and test
// recorders implement it.
#pragma once

#include <cstdint>
#include <string>

namespace velmora {

using ProcResult = uint16_t;
enum : ProcResult {
  kProcCompleted = 0,
  kProcCanceled = 1,
  kProcSerialBootDownloadError = 2,
  kProcSerialBootVerifyError = 3,
  kProcTargetResetError = 4,
  kProcFlashLoaderDownloadError = 5,
  kProcEraseError = 6,
  kProcFlashWriteError = 7,
  kProcFlashVerifyError = 8,
  kProcFlashReadError = 9,
};

// The progress dialog (bar, title, status, Cancel) and the erase animation
// dialog; both share one observer because procedures hand over between them.
class ProcedureObserver {
 public:
  virtual ~ProcedureObserver() = default;

  // Progress dialog.
  virtual void Start() = 0;  // cancel flag cleared, progress 0, shown
  virtual void SetTitle(const std::string& title) = 0;
  virtual void SetStatusText(const std::string& text) = 0;
  virtual void SetProgressPercent(int percent) = 0;
  virtual void Finish(ProcResult result) = 0;
  virtual void Hide() = 0;

  // Erase animation dialog.
  virtual void StartAnimation() = 0;
  virtual void SetAnimationTitle(const std::string& title) = 0;
  virtual void FinishAnimation(ProcResult result) = 0;
  virtual void HideAnimation() = 0;

  // Set by either dialog's Cancel button.
  virtual bool CancelRequested() = 0;
  // Let at most one pending user-interface event run.
  virtual void PumpOneEvent() = 0;
  virtual void SetWaitCursor(bool on) = 0;
  virtual void RepaintMain() {}

  // SetProgress(done, total) of the progress dialog: done x 100 / total.
  void SetProgress(uint64_t done, uint64_t total) {
    SetProgressPercent(total ? static_cast<int>(done * 100 / total) : 0);
  }
};

// Does nothing and never cancels.
class NullProcedureObserver : public ProcedureObserver {
 public:
  void Start() override {}
  void SetTitle(const std::string&) override {}
  void SetStatusText(const std::string&) override {}
  void SetProgressPercent(int) override {}
  void Finish(ProcResult) override {}
  void Hide() override {}
  void StartAnimation() override {}
  void SetAnimationTitle(const std::string&) override {}
  void FinishAnimation(ProcResult) override {}
  void HideAnimation() override {}
  bool CancelRequested() override { return false; }
  void PumpOneEvent() override {}
  void SetWaitCursor(bool) override {}
};

}  // namespace velmora
