// The Recorder window: captures watched variables at the target's control-loop
// rate with the on-target recorder (examples/recorder) and shows the capture
// in the plot window over a time axis in target seconds.
//
// Channels are the variables of the watch list, up to 8 ticked. A single
// capture is polled until the target reports it complete, then uploaded in
// grouped reads with monitoring paused (the progress bar runs, Stop cancels);
// continuous mode drains the target's ring every poll and refreshes the plot
// once a second. The loop rate is the user's figure, or measured from the
// recorder's call counter and matched to timer 0's period.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>

#include "monitoring/Recorder.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTimer;

namespace velmora {

class CMonitorControl;
class CPlotView;
class Clock;

class CRecorderWindow : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kPollMs = 50;
  static constexpr int kContinuousPlotMs = 1000;

  CRecorderWindow(CMonitorControl& control, QWidget* parent = nullptr);
  ~CRecorderWindow() override;

  // Fills the channel list from the variable watch list, keeping ticks.
  void RefreshChannels();
  // Ticks these variables (by name) and no others.
  void SelectChannels(const QStringList& names);
  // The time source of rate measurements (the steady clock unless set).
  void SetClock(Clock& clock) { clock_ = &clock; }

  // The set-up as the controls give it; false, with the reason, when they
  // make no sense.
  bool ReadConfig(RecConfig& config, QString& error) const;
  bool Arm();
  void Stop();
  // One poll now (what the timer runs).
  void Poll();
  double LoopRateHz() const;
  bool Measure();
  // The capture as CSV (time in target seconds from the trigger).
  bool WriteCsv(const QString& path) const;

  bool Running() const { return recorder_ != nullptr; }
  const RecCapture& Capture() const { return capture_; }
  QString StatusText() const;

  // --- Controls, for tests and the screenshot ---
  QListWidget* Channels() const { return channels_; }
  QComboBox* TriggerChannel() const { return triggerChannel_; }
  QComboBox* Edge() const { return edge_; }
  QLineEdit* Level() const { return level_; }
  QSpinBox* Samples() const { return samples_; }
  QSpinBox* Divider() const { return divider_; }
  QSpinBox* Pretrigger() const { return pretrigger_; }
  QComboBox* Mode() const { return mode_; }
  QDoubleSpinBox* Rate() const { return rate_; }

 signals:
  void visibilityChanged(bool visible);

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void RefreshTriggerChoices();
  void Finish(bool upload);
  void ShowInPlot();
  void SetStatus(const QString& text);
  void UpdateButtons();
  void ExportCsv();
  void ExportPng();

  CMonitorControl& control_;
  Clock* clock_;
  std::unique_ptr<Recorder> recorder_;
  RecConfig config_;
  RecCapture capture_;
  bool continuous_ = false;
  bool uploading_ = false;
  bool cancel_ = false;
  qint64 lastPlotMs_ = 0;

  QListWidget* channels_ = nullptr;
  QComboBox* triggerChannel_ = nullptr;
  QComboBox* edge_ = nullptr;
  QLineEdit* level_ = nullptr;
  QSpinBox* samples_ = nullptr;
  QSpinBox* divider_ = nullptr;
  QSpinBox* pretrigger_ = nullptr;
  QComboBox* mode_ = nullptr;
  QDoubleSpinBox* rate_ = nullptr;
  QPushButton* measure_ = nullptr;
  QPushButton* arm_ = nullptr;
  QPushButton* stop_ = nullptr;
  QPushButton* exportCsv_ = nullptr;
  QPushButton* exportPng_ = nullptr;
  QLabel* status_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QTimer* timer_ = nullptr;
};

}  // namespace velmora
