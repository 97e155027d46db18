#include "widgets/SplitterBar.h"

#include <QMouseEvent>
#include <QPainter>
#include <QRubberBand>
#include <algorithm>

namespace velmora {

int SplitterDropEdge(bool horizontal, int position, int minimum, int maximum) {
  if (!horizontal) return std::max(minimum, std::min(position, maximum));
  if (position < minimum + 5) return minimum + 5;
  if (position > maximum - 5) return maximum - 10;
  return position;
}

CSplitterBar::CSplitterBar(QWidget* parent, bool horizontal, const QRect& rect, int controlId)
    : QWidget(parent), horizontal_(horizontal), controlId_(controlId) {
  setGeometry(rect);
  barRect_ = geometry();
  raise();
  if (parent) {
    const QRect client = parent->rect();
    minimum_ = horizontal_ ? client.top() : client.left();
    maximum_ = horizontal_ ? client.top() + client.height() : client.left() + client.width();
  }
  setCursor(horizontal_ ? Qt::SizeVerCursor : Qt::SizeHorCursor);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void CSplitterBar::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRect r = rect();
  p.fillRect(r, palette().color(QPalette::Button));
  const int right = r.width() - 1, bottom = r.height() - 1;
  p.setPen(palette().color(QPalette::Light));
  p.drawLine(0, 0, right, 0);
  p.drawLine(0, 0, 0, bottom);
  p.setPen(palette().color(QPalette::Dark));
  p.drawLine(0, bottom, right, bottom);
  p.drawLine(right, 0, right, bottom);
}

QRect CSplitterBar::TrackAt(const QPoint& parentPos) const {
  QRect r = barRect_;
  if (horizontal_)
    r.moveTop(parentPos.y());
  else
    r.moveLeft(parentPos.x());
  return r;
}

void CSplitterBar::ShowTracking(const QRect& r) {
  trackingRect_ = r;
  if (!parentWidget()) return;
  if (!tracker_) tracker_ = new QRubberBand(QRubberBand::Rectangle, parentWidget());
  tracker_->setGeometry(r);
  tracker_->show();
  tracker_->raise();
}

void CSplitterBar::mousePressEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  if (event->button() != Qt::LeftButton || !rect().contains(pos)) {
    event->ignore();
    return;
  }
  grabMouse();
  dragging_ = true;
  barRect_ = geometry();
  ShowTracking(TrackAt(mapToParent(pos)));
  event->accept();
}

void CSplitterBar::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_ || !(event->buttons() & Qt::LeftButton)) return;
  ShowTracking(TrackAt(mapToParent(event->position().toPoint())));
}

void CSplitterBar::mouseReleaseEvent(QMouseEvent* event) {
  if (!dragging_) return;
  if (tracker_) tracker_->hide();
  const QPoint pos = mapToParent(event->position().toPoint());
  QRect r = barRect_;
  if (horizontal_)
    r.moveTop(SplitterDropEdge(true, pos.y(), minimum_, maximum_));
  else
    r.moveLeft(SplitterDropEdge(false, pos.x(), minimum_, maximum_));
  setGeometry(r);
  barRect_ = r;
  update();
  releaseMouse();
  dragging_ = false;
  FitWindows();
  emit Moved();
}

void CSplitterBar::FitWindows() {
  const QRect bar = geometry();
  if (first_) {
    QRect f = first_->geometry();
    if (horizontal_)
      f.setBottom(bar.top() + kBorderThickness - 1);
    else
      f.setRight(bar.left() + kBorderThickness - 1);
    first_->setGeometry(f);
  }
  if (second_) {
    QRect s = second_->geometry();
    if (horizontal_)
      s.setTop(bar.bottom() + 1 - kBorderThickness);
    else
      s.setLeft(bar.right() + 1 - kBorderThickness);
    second_->setGeometry(s);
  }
  if (parentWidget()) parentWidget()->update();
}

void CSplitterBar::BindWithControl(QWidget* first, QWidget* second) {
  first_ = first;
  second_ = second;
  if (!first_ || !second_) return;
  const QRect f = first_->geometry();
  const QRect s = second_->geometry();
  const int half = kSizingFrameThickness / 2;
  QRect bar;
  if (horizontal_) {
    const int edge = f.top() + f.height();
    bar = QRect(f.left(), edge - half, f.width(), kSizingFrameThickness);
  } else {
    const int edge = f.left() + f.width();
    bar = QRect(edge - half, f.top(), kSizingFrameThickness, f.height());
  }
  setGeometry(bar);
  barRect_ = bar;
  raise();
  FitWindows();
  if (horizontal_) {
    minimum_ = f.top();
    maximum_ = s.top() + s.height();
  } else {
    minimum_ = f.left();
    maximum_ = s.left() + s.width();
  }
}

}  // namespace velmora
