// The two modeless dialogs through which target procedures report progress
// and can be cancelled, and the observer that drives them.
//
// Both dialogs have one button. While it reads "Cancel" it only raises the
// cancel flag, which the running procedure polls between blocks; after Finish
// it reads "OK" and hides the dialog, giving the focus back to the main
// window. A successful (or cancelled) finish closes the dialog by itself after
// a short time through that same path.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <string>

#include "podlink/ProcedureObserver.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace velmora {

class CColorLabel;
class CFrameAnimation;

// What a finish code shows. A null status leaves the status text as it was;
// autoCloseMs < 0 keeps the dialog open.
struct FinishPresentation {
  bool errorTitle = false;  // title becomes " ERROR"
  QString text;             // status text (progress dialog) or title (animation dialog)
  int autoCloseMs = -1;
};
FinishPresentation ProgressFinish(ProcResult result);
FinishPresentation AnimationFinish(ProcResult result);

// Common part: title label, the button and its two meanings, the automatic close.
class CProcedureDlgBase : public QDialog {
  Q_OBJECT

 public:
  static constexpr const char* kCancelText = "Cancel";
  static constexpr const char* kOkText = "OK";

  bool CancelRequested() const { return cancelFlag_ != 0; }
  QString ButtonText() const;
  QString Title() const;
  bool AutoClosePending() const { return autoClose_.isActive(); }
  int AutoCloseInterval() const { return autoClose_.interval(); }
  // The window that gets the focus back when the dialog closes (default: the parent).
  void SetFocusTarget(QWidget* w) { focusTarget_ = w; }

  // Presses the button (as a click, Escape or the window's close would).
  void PressButton();

 protected:
  explicit CProcedureDlgBase(QWidget* parent);
  void BeginRun(const QString& caption);
  void EndRun(int autoCloseMs);
  void SetTitleText(const QString& text);
  void StopAutoClose() { autoClose_.stop(); }

  void reject() override;
  void accept() override;
  void closeEvent(QCloseEvent* event) override;

  CColorLabel* title_ = nullptr;
  QPushButton* button_ = nullptr;

 private:
  void CloseAndReturnFocus();

  uint32_t cancelFlag_ = 0;
  QTimer autoClose_;
  QPointer<QWidget> focusTarget_;
};

// Dialog 136: title, status text, a 0..100 progress bar and the button.
class CProgressDlg : public CProcedureDlgBase {
  Q_OBJECT

 public:
  static constexpr int kAutoCloseTimerId = 2003;

  explicit CProgressDlg(QWidget* parent = nullptr);

  void Start(const QString& caption = QString());
  void SetProgress(uint64_t done, uint64_t total);
  void SetProgressPercent(int percent);
  void SetTitle(const QString& text);
  void SetStatusText(const QString& text);
  void Hide();
  void Finish(ProcResult result);

  int Progress() const;
  QString StatusText() const;

 private:
  QLabel* status_ = nullptr;
  QProgressBar* progress_ = nullptr;
};

// Dialog 135: title, the looping erase animation and the button.
class CAnimateProgressDlg : public CProcedureDlgBase {
  Q_OBJECT

 public:
  static constexpr int kAutoCloseTimerId = 2004;

  explicit CAnimateProgressDlg(QWidget* parent = nullptr);

  void Start(const QString& caption = QString());
  void SetTitle(const QString& text);
  void Hide();
  void Finish(ProcResult result);

  CFrameAnimation* Animation() const { return animation_; }

 private:
  CFrameAnimation* animation_ = nullptr;
};

// Drives both dialogs for the pod link's procedures.
class ProgressObserver : public ProcedureObserver {
 public:
  ProgressObserver(CProgressDlg& progress, CAnimateProgressDlg& animation,
                   QWidget* mainWindow = nullptr);
  ~ProgressObserver() override;

  void Start() override;
  void SetTitle(const std::string& title) override;
  void SetStatusText(const std::string& text) override;
  void SetProgressPercent(int percent) override;
  void Finish(ProcResult result) override;
  void Hide() override;

  void StartAnimation() override;
  void SetAnimationTitle(const std::string& title) override;
  void FinishAnimation(ProcResult result) override;
  void HideAnimation() override;

  bool CancelRequested() override;
  // Lets pending user-interface work run for a moment (a click on Cancel, a
  // repaint, an automatic close), never long.
  void PumpOneEvent() override;
  // Nested calls are counted; the cursor returns after the last "off".
  void SetWaitCursor(bool on) override;
  void RepaintMain() override;

 private:
  CProgressDlg& progress_;
  CAnimateProgressDlg& animation_;
  QPointer<QWidget> mainWindow_;
  int waitCursorDepth_ = 0;
};

}  // namespace velmora
