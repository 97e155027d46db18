#include "widgets/FrameAnimation.h"

#include <QPainter>

namespace velmora {

CFrameAnimation::CFrameAnimation(QWidget* parent) : QWidget(parent) {
  timer_.setInterval(100);
  connect(&timer_, &QTimer::timeout, this, &CFrameAnimation::Advance);
  setFixedSize(frameSize_);
}

bool CFrameAnimation::Open(const QPixmap& strip, QSize frameSize) {
  Stop();
  frames_.clear();
  current_ = 0;
  if (frameSize.isEmpty() || strip.width() < frameSize.width()) return false;
  const int count = strip.height() / frameSize.height();
  for (int i = 0; i < count; ++i)
    frames_.push_back(strip.copy(0, i * frameSize.height(), frameSize.width(), frameSize.height()));
  frameSize_ = frameSize;
  setFixedSize(frameSize_);
  update();
  return !frames_.empty();
}

void CFrameAnimation::Play() {
  current_ = 0;
  update();
  if (!frames_.empty()) timer_.start();
  emit FrameChanged(current_);
}

void CFrameAnimation::Stop() {
  timer_.stop();
}

void CFrameAnimation::Advance() {
  if (frames_.empty()) return;
  current_ = (current_ + 1) % static_cast<int>(frames_.size());
  update();
  emit FrameChanged(current_);
}

void CFrameAnimation::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (frames_.empty()) {
    p.fillRect(rect(), palette().color(QPalette::Window));
    return;
  }
  p.drawPixmap(0, 0, frames_[static_cast<size_t>(current_)]);
}

}  // namespace velmora
