#include "shell/MicroTimeDlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>

#include "widgets/ColorLabel.h"

namespace velmora {

CMicroTimeDlg::CMicroTimeDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
  setObjectName(QStringLiteral("MicroTimeDlg"));
  setModal(false);
  title_ = new CColorLabel(this);
  title_->SetTextColor(ColorFromColorRef(0xE6E6E6), true);
  title_->SetBkColor(ColorFromColorRef(0xC0C0C0), true);
  title_->SetFade(true);
  title_->SetAutoSize(true);
  title_->SetLabelText(QString::fromLatin1(kTitleText));
  title_->setMinimumHeight(title_->fontMetrics().height() + 8);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(title_);
  layout->addSpacing(8);
  layout->addWidget(new QLabel(QString::fromLatin1(kLine1), this));
  layout->addWidget(new QLabel(QString::fromLatin1(kLine2), this));
  setStyleSheet(QStringLiteral("#MicroTimeDlg { border: 1px solid palette(dark); }"));
}

void CMicroTimeDlg::ShowNotice() {
  if (!cursorSet_) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    cursorSet_ = true;
  }
  title_->SetLabelText(QString::fromLatin1(kTitleText));
  show();
  raise();
  activateWindow();
  repaint();
  // The measurement blocks the event loop: let the notice appear first.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 50);
}

void CMicroTimeDlg::HideNotice() {
  hide();
  if (cursorSet_) {
    QApplication::restoreOverrideCursor();
    cursorSet_ = false;
  }
}

CMicroTimer::Notice CMicroTimeDlg::Notice() {
  return {[this] { ShowNotice(); }, [this] { HideNotice(); }};
}

void CMicroTimeDlg::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
      event->accept();
      return;
    default:
      QDialog::keyPressEvent(event);
  }
}

void CMicroTimeDlg::closeEvent(QCloseEvent* event) {
  event->ignore();
}

}  // namespace velmora
