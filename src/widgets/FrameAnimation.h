// A looping picture: frames cut from one vertical strip, shown one after the
// other at a fixed interval (the erase dialog's "busy" clip).
#pragma once

#include <QPixmap>
#include <QSize>
#include <QTimer>
#include <QWidget>
#include <vector>

namespace velmora {

class CFrameAnimation : public QWidget {
  Q_OBJECT

 public:
  explicit CFrameAnimation(QWidget* parent = nullptr);

  // Cuts `strip` (frames stacked top to bottom) into frames of `frameSize`.
  // Returns false (and keeps no frames) when the strip holds none.
  bool Open(const QPixmap& strip, QSize frameSize);
  void SetFrameInterval(int ms) { timer_.setInterval(ms); }
  int FrameInterval() const { return timer_.interval(); }

  // Rewinds and plays from the first frame, repeating without end.
  void Play();
  void Stop();
  bool IsPlaying() const { return timer_.isActive(); }
  int FrameCount() const { return static_cast<int>(frames_.size()); }
  int CurrentFrame() const { return current_; }
  QSize FrameSize() const { return frameSize_; }

  QSize sizeHint() const override { return frameSize_; }

 signals:
  void FrameChanged(int frame);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void Advance();

  std::vector<QPixmap> frames_;
  QSize frameSize_{150, 13};
  int current_ = 0;
  QTimer timer_;
};

}  // namespace velmora
