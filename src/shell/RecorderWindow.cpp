#include "shell/RecorderWindow.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

#include "config/Clock.h"
#include "image/ProgramImage.h"
#include "monitoring/ValueFormats.h"
#include "shell/MessageBoxTitle.h"
#include "shell/MonitorControl.h"
#include "shell/PlotView.h"

namespace velmora {

namespace {

constexpr uint32_t kMeasureMs = 250;

RecType TypeOfView(uint8_t view) {
  switch (static_cast<ViewType>(view)) {
    case ViewType::Float:
      return RecType::Float;
    case ViewType::SignedInteger:
      return RecType::Int;
    default:
      return RecType::Unsigned;
  }
}

const CDataObject* FindSymbol(const std::vector<CDataObject>& symbols, const std::string& name) {
  for (const CDataObject& s : symbols)
    if (s.name == name) return &s;
  return nullptr;
}

}  // namespace

CRecorderWindow::CRecorderWindow(CMonitorControl& control, QWidget* parent)
    : QWidget(parent, Qt::Window), control_(control), clock_(&SteadyClock::Instance()) {
  setObjectName(QStringLiteral("RecorderWindow"));
  setWindowTitle(QStringLiteral("Recorder"));

  channels_ = new QListWidget;
  channels_->setObjectName(QStringLiteral("RecorderChannels"));
  channels_->setToolTip(QStringLiteral("Tick up to 8 variables of the watch list"));
  auto* channelBox = new QGroupBox(QStringLiteral("Channels"));
  auto* channelLayout = new QVBoxLayout(channelBox);
  channelLayout->addWidget(channels_);

  triggerChannel_ = new QComboBox;
  edge_ = new QComboBox;
  edge_->addItems({QStringLiteral("Rising"), QStringLiteral("Falling"), QStringLiteral("Either")});
  level_ = new QLineEdit(QStringLiteral("0"));
  pretrigger_ = new QSpinBox;
  pretrigger_->setRange(0, 99);
  pretrigger_->setSuffix(QStringLiteral(" %"));
  auto* triggerBox = new QGroupBox(QStringLiteral("Trigger"));
  auto* triggerForm = new QFormLayout(triggerBox);
  triggerForm->addRow(QStringLiteral("Channel:"), triggerChannel_);
  triggerForm->addRow(QStringLiteral("Edge:"), edge_);
  triggerForm->addRow(QStringLiteral("Level:"), level_);
  triggerForm->addRow(QStringLiteral("Pre-trigger:"), pretrigger_);

  samples_ = new QSpinBox;
  samples_->setRange(2, 16 * 1024 * 1024);
  samples_->setValue(2000);
  divider_ = new QSpinBox;
  divider_->setRange(1, 1000000);
  mode_ = new QComboBox;
  mode_->addItems({QStringLiteral("Single capture"), QStringLiteral("Continuous")});
  rate_ = new QDoubleSpinBox;
  rate_->setRange(0, 10e6);
  rate_->setDecimals(1);
  rate_->setSuffix(QStringLiteral(" Hz"));
  rate_->setSpecialValueText(QStringLiteral("unknown"));
  measure_ = new QPushButton(QStringLiteral("Measure"));
  measure_->setToolTip(
      QStringLiteral("Count the recorder's calls for a quarter of a second and match the "
                     "count to timer 0's period"));
  auto* rateRow = new QHBoxLayout;
  rateRow->addWidget(rate_, 1);
  rateRow->addWidget(measure_);
  auto* captureBox = new QGroupBox(QStringLiteral("Capture"));
  auto* captureForm = new QFormLayout(captureBox);
  captureForm->addRow(QStringLiteral("Samples:"), samples_);
  captureForm->addRow(QStringLiteral("Divider:"), divider_);
  captureForm->addRow(QStringLiteral("Mode:"), mode_);
  captureForm->addRow(QStringLiteral("Loop rate:"), rateRow);

  arm_ = new QPushButton(QStringLiteral("Arm"));
  arm_->setObjectName(QStringLiteral("RecorderArm"));
  stop_ = new QPushButton(QStringLiteral("Stop"));
  stop_->setObjectName(QStringLiteral("RecorderStop"));
  exportCsv_ = new QPushButton(QStringLiteral("Export CSV..."));
  exportPng_ = new QPushButton(QStringLiteral("Export PNG..."));
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(arm_);
  buttons->addWidget(stop_);
  buttons->addStretch(1);
  buttons->addWidget(exportCsv_);
  buttons->addWidget(exportPng_);

  status_ = new QLabel;
  status_->setObjectName(QStringLiteral("RecorderStatus"));
  status_->setWordWrap(true);
  progress_ = new QProgressBar;
  progress_->setRange(0, 100);
  progress_->setVisible(false);

  auto* right = new QVBoxLayout;
  right->addWidget(triggerBox);
  right->addWidget(captureBox);
  right->addStretch(1);
  auto* top = new QHBoxLayout;
  top->addWidget(channelBox, 1);
  top->addLayout(right, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top, 1);
  layout->addLayout(buttons);
  layout->addWidget(progress_);
  layout->addWidget(status_);

  timer_ = new QTimer(this);
  timer_->setInterval(kPollMs);
  connect(timer_, &QTimer::timeout, this, &CRecorderWindow::Poll);
  connect(arm_, &QPushButton::clicked, this, [this] { Arm(); });
  connect(stop_, &QPushButton::clicked, this, &CRecorderWindow::Stop);
  connect(measure_, &QPushButton::clicked, this, [this] { Measure(); });
  connect(exportCsv_, &QPushButton::clicked, this, &CRecorderWindow::ExportCsv);
  connect(exportPng_, &QPushButton::clicked, this, &CRecorderWindow::ExportPng);
  connect(channels_, &QListWidget::itemChanged, this, &CRecorderWindow::RefreshTriggerChoices);
  RefreshChannels();
  SetStatus(QStringLiteral("Idle"));
  UpdateButtons();
  resize(560, 400);
}

CRecorderWindow::~CRecorderWindow() {
  timer_->stop();
}

void CRecorderWindow::RefreshChannels() {
  QStringList ticked;
  for (int i = 0; i < channels_->count(); ++i)
    if (channels_->item(i)->checkState() == Qt::Checked) ticked << channels_->item(i)->text();
  channels_->clear();
  for (const CDataObject& v : control_.Program().variables) {
    auto* item = new QListWidgetItem(QString::fromStdString(v.name), channels_);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(ticked.contains(item->text()) ? Qt::Checked : Qt::Unchecked);
  }
  RefreshTriggerChoices();
}

void CRecorderWindow::RefreshTriggerChoices() {
  const QString kept = triggerChannel_->currentText();
  triggerChannel_->clear();
  triggerChannel_->addItem(QStringLiteral("None (at once)"));
  for (int i = 0; i < channels_->count(); ++i)
    if (channels_->item(i)->checkState() == Qt::Checked)
      triggerChannel_->addItem(channels_->item(i)->text());
  const int index = triggerChannel_->findText(kept);
  triggerChannel_->setCurrentIndex(index < 0 ? 0 : index);
}

void CRecorderWindow::SelectChannels(const QStringList& names) {
  RefreshChannels();
  for (int i = 0; i < channels_->count(); ++i)
    channels_->item(i)->setCheckState(names.contains(channels_->item(i)->text()) ? Qt::Checked
                                                                                 : Qt::Unchecked);
}

bool CRecorderWindow::ReadConfig(RecConfig& config, QString& error) const {
  config = RecConfig{};
  const auto& variables = control_.Program().variables;
  for (int i = 0; i < channels_->count(); ++i) {
    if (channels_->item(i)->checkState() != Qt::Checked) continue;
    const std::string name = channels_->item(i)->text().toStdString();
    for (const CDataObject& v : variables) {
      if (v.name != name) continue;
      config.channels.push_back({v.name, v.address, TypeOfView(v.viewType)});
      break;
    }
  }
  if (config.channels.empty() || config.channels.size() > rec::kMaxChannels) {
    error = QStringLiteral("Tick 1 to 8 channels.");
    return false;
  }
  config.samples = static_cast<uint32_t>(samples_->value());
  config.divider = static_cast<uint32_t>(divider_->value());
  config.continuous = mode_->currentIndex() == 1;
  config.pretrigger = static_cast<uint32_t>(
      std::floor(static_cast<double>(config.samples) * pretrigger_->value() / 100.0));
  if (triggerChannel_->currentIndex() > 0) {
    bool ok = false;
    const double level = level_->text().trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(level)) {
      error = QStringLiteral("The trigger level is no number.");
      return false;
    }
    const std::string name = triggerChannel_->currentText().toStdString();
    for (size_t c = 0; c < config.channels.size(); ++c)
      if (config.channels[c].title == name)
        config.trigger = RecTrigger{c, static_cast<RecEdge>(edge_->currentIndex()), level};
  }
  return true;
}

bool CRecorderWindow::Arm() {
  if (recorder_ || uploading_) return false;
  if (control_.LinkBusy()) {
    SetStatus(QStringLiteral("A target procedure is running; arm again when it has ended."));
    return false;
  }
  RecConfig config;
  QString error;
  if (!ReadConfig(config, error)) {
    SetStatus(error);
    return false;
  }
  const CDataObject* block = FindSymbol(control_.Program().symbols, "rec");
  if (!block) {
    SetStatus(QStringLiteral("The program has no recorder (symbol _rec): see docs/recorder.md."));
    return false;
  }
  if (!control_.Port().EnsureOpen()) {
    SetStatus(QString::fromLatin1(kUsbHandleText));
    return false;
  }
  // Times in target seconds need the loop rate: measured when not given.
  if (rate_->value() <= 0) Measure();
  auto recorder = std::make_unique<Recorder>(control_.Port(), block->address);
  std::string why;
  if (!recorder->Probe(why) || !recorder->Configure(config, why)) {
    SetStatus(QString::fromStdString(why));
    return false;
  }
  if (!recorder->Arm()) {
    SetStatus(QStringLiteral("The recorder cannot be armed: a write failed."));
    return false;
  }
  recorder_ = std::move(recorder);
  config_ = config;
  continuous_ = config.continuous;
  capture_ = RecCapture{};
  capture_.channels = config.channels;
  capture_.divider = config.divider;
  lastPlotMs_ = QDateTime::currentMSecsSinceEpoch();
  SetStatus(config.trigger ? QStringLiteral("Armed: waiting for the trigger")
                           : QStringLiteral("Recording"));
  timer_->start();
  UpdateButtons();
  return true;
}

void CRecorderWindow::Poll() {
  // A target procedure (a serial boot, say) has the link to itself.
  if (!recorder_ || uploading_ || control_.LinkBusy()) return;
  if (continuous_) {
    size_t taken = 0;
    if (recorder_->Drain(capture_, taken) == RecResult::Failed) {
      SetStatus(QStringLiteral("A read of the recorder failed; stopped."));
      recorder_->Stop();
      Finish(false);
      return;
    }
    if (capture_.Samples() || !config_.trigger)
      SetStatus(QStringLiteral("Recording: %L1 samples, %L2 dropped")
                    .arg(capture_.Samples())
                    .arg(capture_.overruns));
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now - lastPlotMs_ >= kContinuousPlotMs) {
      lastPlotMs_ = now;
      ShowInPlot();
    }
    return;
  }
  RecStatus status;
  if (!recorder_->Poll(status)) {
    SetStatus(QStringLiteral("A read of the recorder failed; stopped."));
    recorder_->Stop();
    Finish(false);
    return;
  }
  if (status.state == rec::kDone) {
    Finish(true);
  } else if (status.state == rec::kTriggered) {
    SetStatus(QStringLiteral("Triggered: filling the buffer"));
  } else if (status.state == rec::kIdle) {
    // Not by this window: the program started again, or another host.
    SetStatus(QStringLiteral("The recorder was stopped on the target; nothing uploaded."));
    Finish(false);
  }
}

void CRecorderWindow::Stop() {
  if (uploading_) {
    cancel_ = true;
    return;
  }
  if (!recorder_) return;
  recorder_->Stop();
  Finish(true);
}

void CRecorderWindow::Finish(bool upload) {
  timer_->stop();
  if (upload && recorder_) {
    uploading_ = true;
    cancel_ = false;
    UpdateButtons();
    RecResult result = RecResult::Ok;
    {
      // The upload has the link to itself: monitoring ticks would halve its pace.
      MonitoringPause pause(control_);
      if (continuous_) {
        size_t taken = 0;
        result = recorder_->Drain(capture_, taken);
      } else {
        progress_->setValue(0);
        progress_->setVisible(true);
        SetStatus(QStringLiteral("Uploading"));
        result = recorder_->Upload(capture_, [this](size_t done, size_t total) {
          progress_->setValue(total ? static_cast<int>(done * 100 / total) : 100);
          QCoreApplication::processEvents();  // Stop cancels
          return !cancel_;
        });
        progress_->setVisible(false);
      }
    }
    uploading_ = false;
    if (result == RecResult::Ok) {
      QString text = QStringLiteral("%L1 samples of %2 channel(s)")
                         .arg(capture_.Samples())
                         .arg(capture_.channels.size());
      if (capture_.triggerSample)
        text += QStringLiteral(", trigger at sample %L1").arg(*capture_.triggerSample);
      if (capture_.overruns)
        text += QStringLiteral("; the target dropped %L1 samples (the host did not keep up)")
                    .arg(capture_.overruns);
      SetStatus(text);
      ShowInPlot();
    } else {
      SetStatus(result == RecResult::Cancelled ? QStringLiteral("Upload cancelled")
                                               : QStringLiteral("The upload failed"));
    }
  }
  recorder_.reset();
  UpdateButtons();
}

void CRecorderWindow::ShowInPlot() {
  CPlotView* plot = control_.Plot();
  if (!plot || capture_.Samples() == 0) return;
  plot->ShowCapture(RecPlotCapture(capture_, LoopRateHz(), "Recorder"));
  plot->show();
  plot->raise();
}

double CRecorderWindow::LoopRateHz() const {
  return rate_->value();
}

bool CRecorderWindow::Measure() {
  if (control_.LinkBusy() || uploading_) return false;
  const CDataObject* block = FindSymbol(control_.Program().symbols, "rec");
  if (!block || !control_.Port().EnsureOpen()) {
    SetStatus(QStringLiteral("No recorder to measure the loop rate with."));
    return false;
  }
  Recorder probe(control_.Port(), block->address);
  const double rate = probe.LoopRateFromTimer0(*clock_, kMeasureMs);
  if (rate <= 0) {
    SetStatus(QStringLiteral("rec_sample is not being called: the loop rate stays unknown."));
    return false;
  }
  rate_->setValue(rate);
  SetStatus(QStringLiteral("Loop rate measured: %L1 Hz").arg(rate, 0, 'f', 1));
  return true;
}

QString CRecorderWindow::StatusText() const {
  return status_->text();
}

void CRecorderWindow::SetStatus(const QString& text) {
  status_->setText(text);
}

void CRecorderWindow::UpdateButtons() {
  const bool busy = recorder_ != nullptr || uploading_;
  arm_->setEnabled(!busy);
  stop_->setEnabled(busy);
  measure_->setEnabled(!busy);
  exportCsv_->setEnabled(!busy && capture_.Samples() > 0);
  exportPng_->setEnabled(!busy && capture_.Samples() > 0);
  for (QWidget* w : std::initializer_list<QWidget*>{channels_, triggerChannel_, edge_, level_,
                                                    samples_, divider_, pretrigger_, mode_})
    w->setEnabled(!busy);
}

void CRecorderWindow::ExportCsv() {
  const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Export Capture"),
                                                    QString(), QStringLiteral("CSV file (*.csv)"));
  if (path.isEmpty()) return;
  if (!WriteCsv(path))
    QMessageBox::information(this, QStringLiteral("Export Capture"),
                             QStringLiteral("Cannot write %1.").arg(path));
}

bool CRecorderWindow::WriteCsv(const QString& path) const {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  const std::string text = RecCsv(capture_, LoopRateHz());
  file.write(text.data(), static_cast<qint64>(text.size()));
  return file.commit();
}

void CRecorderWindow::ExportPng() {
  const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Export Plot"), QString(),
                                                    QStringLiteral("PNG image (*.png)"));
  if (path.isEmpty()) return;
  CPlotView* plot = control_.Plot();
  if (!plot || !plot->ExportPng(path))
    QMessageBox::information(this, QStringLiteral("Export Plot"),
                             QStringLiteral("Cannot write %1.").arg(path));
}

void CRecorderWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!Running()) RefreshChannels();
  emit visibilityChanged(true);
}

void CRecorderWindow::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  emit visibilityChanged(false);
}

}  // namespace velmora
