// A thin bar between two sibling windows; dragging it moves their common edge.
// Everything is in the parent's client coordinates.
#pragma once

#include <QPointer>
#include <QRect>
#include <QWidget>

class QRubberBand;

namespace velmora {

// Where the bar's leading edge (left for a vertical bar, top for a horizontal
// one) goes when the button is released at `position`. A vertical bar is
// clamped to [minimum, maximum]; a horizontal one keeps 5 pixels clear of the
// top and stops 10 pixels short of the bottom.
int SplitterDropEdge(bool horizontal, int position, int minimum, int maximum);

class CSplitterBar : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kMovedNotification = 2024;
  static constexpr int kBorderThickness = 1;       // overlap of each window onto the bar
  static constexpr int kSizingFrameThickness = 4;  // the bar's thickness

  // Minimum and maximum start as the parent's client edges.
  CSplitterBar(QWidget* parent, bool horizontal = false, const QRect& rect = QRect(),
               int controlId = 103);

  // Puts the bar on the boundary between the two windows and fits them to it.
  void BindWithControl(QWidget* first, QWidget* second);
  // Sizes the two windows to the bar's current place.
  void FitWindows();

  bool IsHorizontal() const { return horizontal_; }
  bool IsDragging() const { return dragging_; }
  int Minimum() const { return minimum_; }
  int Maximum() const { return maximum_; }
  void SetRange(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = maximum;
  }
  int ControlId() const { return controlId_; }
  QRect TrackingRect() const { return trackingRect_; }

 signals:
  // After every completed drag (the parent's notification 2024).
  void Moved();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QRect TrackAt(const QPoint& parentPos) const;
  void ShowTracking(const QRect& r);

  QRect barRect_;
  QRect trackingRect_;
  bool dragging_ = false;
  QPointer<QWidget> first_;
  QPointer<QWidget> second_;
  int minimum_ = 0;
  int maximum_ = 0;
  bool horizontal_ = false;
  int controlId_ = 103;
  QRubberBand* tracker_ = nullptr;
};

}  // namespace velmora
