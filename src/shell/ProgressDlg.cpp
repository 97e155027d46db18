#include "shell/ProgressDlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/Commands.h"
#include "widgets/ColorLabel.h"
#include "widgets/FrameAnimation.h"

namespace velmora {

namespace {

constexpr uint32_t kTitleTextColour = 0xE6E6E6;  // 0x00BBGGRR
constexpr uint32_t kTitleBackColour = 0xC0C0C0;
constexpr int kAnimationFrameInterval = 100;
const QSize kAnimationFrame(150, 13);

CColorLabel* MakeTitle(QWidget* parent) {
  auto* title = new CColorLabel(parent);
  title->SetTextColor(ColorFromColorRef(kTitleTextColour), true);
  title->SetBkColor(ColorFromColorRef(kTitleBackColour), true);
  title->SetFade(true);
  title->SetAutoSize(true);
  title->setMinimumHeight(title->fontMetrics().height() + 8);
  return title;
}

QString FromStd(const std::string& s) {
  return QString::fromStdString(s);
}

}  // namespace

FinishPresentation ProgressFinish(ProcResult result) {
  switch (result) {
    case kProcCompleted:
      return {false, QStringLiteral("[ Completed ]"), 500};
    case kProcCanceled:
      return {false, QStringLiteral("[ Canceled ]"), 1000};
    case kProcSerialBootDownloadError:
      return {true, QStringLiteral("[ Error : Serial Boot Downloading ]"), -1};
    case kProcSerialBootVerifyError:
      return {true, QStringLiteral("[ Error : Serial Boot Verifying ]"), -1};
    case kProcTargetResetError:
      return {true, QStringLiteral("[ Error : Target Board Reset ]"), -1};
    case kProcFlashLoaderDownloadError:
      return {true, QStringLiteral("[ Error : Flash Algorithm Data Downloading ]"), -1};
    case kProcEraseError:
      return {};  // the erase dialog reports it
    case kProcFlashWriteError:
      return {true, QStringLiteral("[ Error : Flash Data Writing ]"), -1};
    case kProcFlashVerifyError:
      return {true, QStringLiteral("[ Error : Flash Data Verifying ]"), -1};
    default:
      // A failed flash read must not look like a finished one.
      return {true, QStringLiteral("[ Error : Flash Data Reading ]"), -1};
  }
}

FinishPresentation AnimationFinish(ProcResult result) {
  switch (result) {
    case kProcCompleted:
      return {false, QStringLiteral(" [ Completed ]"), 10};
    case kProcCanceled:
      return {false, QStringLiteral(" [ Canceled ]"), 500};
    case kProcEraseError:
      return {false, QStringLiteral(" [ Error : Flash Erasing... ]"), 500};
    default:
      return {};
  }
}

// ---------------------------------------------------------------------------

CProcedureDlgBase::CProcedureDlgBase(QWidget* parent) : QDialog(parent), focusTarget_(parent) {
  setModal(false);
  setWindowTitle(QString());
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  autoClose_.setSingleShot(true);
  connect(&autoClose_, &QTimer::timeout, this, &CProcedureDlgBase::CloseAndReturnFocus);
  title_ = MakeTitle(this);
  button_ = new QPushButton(QString::fromLatin1(kCancelText), this);
  button_->setAutoDefault(false);
  connect(button_, &QPushButton::clicked, this, &CProcedureDlgBase::PressButton);
}

QString CProcedureDlgBase::ButtonText() const {
  return button_->text();
}

QString CProcedureDlgBase::Title() const {
  return title_->LabelText();
}

void CProcedureDlgBase::SetTitleText(const QString& text) {
  title_->SetLabelText(text);
  title_->repaint();
}

void CProcedureDlgBase::BeginRun(const QString& caption) {
  cancelFlag_ = 0;
  button_->setText(QString::fromLatin1(kCancelText));
  setWindowTitle(caption);
  autoClose_.stop();
  show();
  raise();
  activateWindow();
  repaint();
}

void CProcedureDlgBase::EndRun(int autoCloseMs) {
  if (autoCloseMs >= 0) autoClose_.start(autoCloseMs);
  button_->setText(QString::fromLatin1(kOkText));
  button_->setFocus();
}

void CProcedureDlgBase::PressButton() {
  if (button_->text() == QLatin1String(kCancelText)) {
    cancelFlag_ = 1;
    return;
  }
  CloseAndReturnFocus();
}

void CProcedureDlgBase::CloseAndReturnFocus() {
  autoClose_.stop();
  hide();
  QWidget* target = focusTarget_ ? focusTarget_->window() : nullptr;
  if (target) {
    target->activateWindow();
    target->setFocus();
  }
}

// Escape, Enter and the window's close all mean the button.
void CProcedureDlgBase::reject() {
  PressButton();
}
void CProcedureDlgBase::accept() {
  PressButton();
}
void CProcedureDlgBase::closeEvent(QCloseEvent* event) {
  event->ignore();
  PressButton();
}

// ---------------------------------------------------------------------------

CProgressDlg::CProgressDlg(QWidget* parent) : CProcedureDlgBase(parent) {
  setObjectName(QStringLiteral("ProgressDlg"));
  auto* box = new QGroupBox(QStringLiteral("Status"), this);
  status_ = new QLabel(box);
  status_->setMinimumWidth(300);
  progress_ = new QProgressBar(box);
  progress_->setRange(0, 100);
  progress_->setValue(0);
  auto* boxLayout = new QVBoxLayout(box);
  boxLayout->addWidget(status_);
  boxLayout->addWidget(progress_);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(button_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(title_);
  layout->addWidget(box);
  layout->addLayout(buttons);
}

void CProgressDlg::Start(const QString& caption) {
  progress_->setValue(0);
  BeginRun(caption);
}

void CProgressDlg::SetProgress(uint64_t done, uint64_t total) {
  SetProgressPercent(total ? static_cast<int>(done * 100 / total) : 0);
}

void CProgressDlg::SetProgressPercent(int percent) {
  progress_->setValue(std::clamp(percent, 0, 100));
}

void CProgressDlg::SetTitle(const QString& text) {
  SetTitleText(text);
}

void CProgressDlg::SetStatusText(const QString& text) {
  status_->setText(text);
}

void CProgressDlg::Hide() {
  StopAutoClose();
  hide();
}

void CProgressDlg::Finish(ProcResult result) {
  const FinishPresentation f = ProgressFinish(result);
  if (f.errorTitle) SetTitleText(QStringLiteral(" ERROR"));
  if (!f.text.isNull()) SetStatusText(f.text);
  EndRun(f.autoCloseMs);
}

int CProgressDlg::Progress() const {
  return progress_->value();
}

QString CProgressDlg::StatusText() const {
  return status_->text();
}

// ---------------------------------------------------------------------------

CAnimateProgressDlg::CAnimateProgressDlg(QWidget* parent) : CProcedureDlgBase(parent) {
  setObjectName(QStringLiteral("AnimateProgressDlg"));
  EnsureShellResources();
  animation_ = new CFrameAnimation(this);
  animation_->Open(QPixmap(QStringLiteral(":/images/erase_animation.png")), kAnimationFrame);
  animation_->SetFrameInterval(kAnimationFrameInterval);
  auto* middle = new QHBoxLayout;
  middle->addStretch(1);
  middle->addWidget(animation_);
  middle->addStretch(1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(button_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(title_);
  layout->addSpacing(6);
  layout->addLayout(middle);
  layout->addSpacing(6);
  layout->addLayout(buttons);
  setMinimumWidth(300);
}

void CAnimateProgressDlg::Start(const QString& caption) {
  BeginRun(caption);
  animation_->Play();
}

void CAnimateProgressDlg::SetTitle(const QString& text) {
  SetTitleText(text);
}

void CAnimateProgressDlg::Hide() {
  StopAutoClose();
  hide();
}

void CAnimateProgressDlg::Finish(ProcResult result) {
  animation_->Stop();
  const FinishPresentation f = AnimationFinish(result);
  if (!f.text.isNull()) SetTitleText(f.text);
  EndRun(f.autoCloseMs);
}

// ---------------------------------------------------------------------------

ProgressObserver::ProgressObserver(CProgressDlg& progress, CAnimateProgressDlg& animation,
                                   QWidget* mainWindow)
    : progress_(progress), animation_(animation), mainWindow_(mainWindow) {}

ProgressObserver::~ProgressObserver() {
  while (waitCursorDepth_ > 0) SetWaitCursor(false);
}

void ProgressObserver::Start() {
  progress_.Start();
}
void ProgressObserver::SetTitle(const std::string& title) {
  progress_.SetTitle(FromStd(title));
}
void ProgressObserver::SetStatusText(const std::string& text) {
  progress_.SetStatusText(FromStd(text));
}
void ProgressObserver::SetProgressPercent(int percent) {
  progress_.SetProgressPercent(percent);
}
void ProgressObserver::Finish(ProcResult result) {
  progress_.Finish(result);
}
void ProgressObserver::Hide() {
  progress_.Hide();
}

void ProgressObserver::StartAnimation() {
  animation_.Start();
}
void ProgressObserver::SetAnimationTitle(const std::string& title) {
  animation_.SetTitle(FromStd(title));
}
void ProgressObserver::FinishAnimation(ProcResult result) {
  animation_.Finish(result);
}
void ProgressObserver::HideAnimation() {
  animation_.Hide();
}

bool ProgressObserver::CancelRequested() {
  return progress_.CancelRequested() || animation_.CancelRequested();
}

void ProgressObserver::PumpOneEvent() {
  QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
}

void ProgressObserver::SetWaitCursor(bool on) {
  if (on) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ++waitCursorDepth_;
  } else if (waitCursorDepth_ > 0) {
    QApplication::restoreOverrideCursor();
    --waitCursorDepth_;
  }
}

void ProgressObserver::RepaintMain() {
  if (mainWindow_) mainWindow_->repaint();
}

}  // namespace velmora
