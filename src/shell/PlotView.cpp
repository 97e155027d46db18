#include "shell/PlotView.h"

#include <QAction>
#include <QActionGroup>
#include <QChart>
#include <QChartView>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLegend>
#include <QLineSeries>
#include <QMenu>
#include <QMessageBox>
#include <QSaveFile>
#include <QSplitter>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QValueAxis>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <limits>

#include "config/SettingsStore.h"
#include "shell/MessageBoxTitle.h"

namespace velmora {

namespace {

// One colour per series, the same in both layouts.
QColor SeriesColour(size_t index) {
  static const QColor kColours[] = {QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28),
                                    QColor(0x2c, 0xa0, 0x2c), QColor(0xff, 0x7f, 0x0e),
                                    QColor(0x94, 0x67, 0xbd), QColor(0x8c, 0x56, 0x4b),
                                    QColor(0xe3, 0x77, 0xc2), QColor(0x17, 0xbe, 0xcf)};
  return kColours[index % (sizeof kColours / sizeof kColours[0])];
}

// The chart view tells the plot about the wheel; a rubber band or a right
// click changes the time axis, which the plot hears from the axis itself.
class PlotChartView : public QChartView {
 public:
  PlotChartView(QChart* chart, CPlotView& plot) : QChartView(chart), plot_(plot) {
    setRubberBand(QChartView::HorizontalRubberBand);
    setRenderHint(QPainter::Antialiasing, true);
  }

 protected:
  void wheelEvent(QWheelEvent* event) override {
    const int steps = event->angleDelta().y();
    if (steps > 0)
      plot_.ZoomIn();
    else if (steps < 0)
      plot_.ZoomOut();
    event->accept();
  }

 private:
  CPlotView& plot_;
};

QValueAxis* NewTimeAxis() {
  auto* axis = new QValueAxis;
  axis->setTitleText(QStringLiteral("Time (s)"));
  axis->setLabelFormat(QStringLiteral("%g"));
  return axis;
}

// Ticks at multiples of 1, 2 or 5 times a power of ten, about five to an
// axis, so the labels read as round numbers; `widen` moves the ends out to
// the next tick.
void SetRoundTicks(QValueAxis* axis, double low, double high, bool widen) {
  if (!(high > low)) high = low + 1;
  const double raw = (high - low) / 5;
  const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  const double f = raw / magnitude;
  const double step = (f < 1.5 ? 1 : f < 3 ? 2 : f < 7 ? 5 : 10) * magnitude;
  if (widen) {
    low = std::floor(low / step) * step;
    high = std::ceil(high / step) * step;
  }
  // The axis lays its ticks out on every change: with fixed ticks while the
  // range changes, so that the old interval never meets the new range, and
  // anchored next to the range, so no ticks are counted up to it.
  axis->setTickType(QValueAxis::TicksFixed);
  axis->setRange(low, high);
  axis->setTickInterval(step);
  axis->setTickAnchor(std::floor(low / step) * step);
  axis->setTickType(QValueAxis::TicksDynamic);
}

QValueAxis* NewValueAxis(const QString& title, const QColor& colour) {
  auto* axis = new QValueAxis;
  axis->setLabelFormat(QStringLiteral("%g"));
  axis->setTitleText(title);
  axis->setTitleBrush(colour);
  axis->setLabelsColor(colour);
  axis->setLinePenColor(colour);
  return axis;
}

QChart* NewChart() {
  auto* chart = new QChart;
  chart->setMargins(QMargins(4, 4, 4, 4));
  chart->legend()->setVisible(false);
  return chart;
}

}  // namespace

CPlotView::CPlotView(SettingsStore* store, QWidget* parent) : QWidget(parent), store_(store) {
  setWindowFlags(Qt::Window);
  setObjectName(QStringLiteral("PlotView"));
  elapsed_.start();
  if (store_ && store_->ReadInt(kSectionViewInfo, kLayoutKey, 0) == 1)
    layout_ = Layout::kAxisPerSeries;

  tools_ = new QToolBar(this);
  tools_->setObjectName(QStringLiteral("PlotTools"));
  tools_->setToolButtonStyle(Qt::ToolButtonTextOnly);
  pauseAction_ = tools_->addAction(QStringLiteral("Pause"));
  pauseAction_->setCheckable(true);
  pauseAction_->setToolTip(QStringLiteral("Freeze the display; samples keep being recorded"));
  connect(pauseAction_, &QAction::toggled, this, &CPlotView::SetPaused);
  tools_->addSeparator();
  connect(tools_->addAction(QStringLiteral("Zoom In")), &QAction::triggered, this,
          &CPlotView::ZoomIn);
  connect(tools_->addAction(QStringLiteral("Zoom Out")), &QAction::triggered, this,
          &CPlotView::ZoomOut);
  QAction* reset = tools_->addAction(QStringLiteral("Reset Zoom"));
  reset->setToolTip(QStringLiteral("Show everything and follow new samples again"));
  connect(reset, &QAction::triggered, this, &CPlotView::ResetZoom);
  tools_->addSeparator();
  auto* layouts = new QActionGroup(this);
  stackedAction_ = tools_->addAction(QStringLiteral("Stacked"));
  stackedAction_->setToolTip(QStringLiteral("A panel with its own scale for each series"));
  axesAction_ = tools_->addAction(QStringLiteral("One Chart"));
  axesAction_->setToolTip(QStringLiteral("All series in one chart, each with its own axis"));
  for (QAction* a : {stackedAction_, axesAction_}) {
    a->setCheckable(true);
    layouts->addAction(a);
  }
  (layout_ == Layout::kStacked ? stackedAction_ : axesAction_)->setChecked(true);
  connect(stackedAction_, &QAction::triggered, this, [this] { SetLayout(Layout::kStacked); });
  connect(axesAction_, &QAction::triggered, this, [this] { SetLayout(Layout::kAxisPerSeries); });
  // The less frequent commands share one drop-down.
  auto* data = new QMenu(QStringLiteral("Data"), this);
  connect(data->addAction(QStringLiteral("Open CSV...")), &QAction::triggered, this,
          &CPlotView::OpenCsvDialog);
  data->addSeparator();
  connect(data->addAction(QStringLiteral("Export PNG...")), &QAction::triggered, this,
          &CPlotView::ExportPngDialog);
  connect(data->addAction(QStringLiteral("Export CSV...")), &QAction::triggered, this,
          &CPlotView::ExportCsvDialog);
  data->addSeparator();
  connect(data->addAction(QStringLiteral("Clear Data")), &QAction::triggered, this,
          &CPlotView::ClearData);
  connect(data->addAction(QStringLiteral("Remove All")), &QAction::triggered, this,
          &CPlotView::RemoveAllSeries);
  auto* dataButton = new QToolButton(tools_);
  dataButton->setText(QStringLiteral("Data"));
  dataButton->setMenu(data);
  dataButton->setPopupMode(QToolButton::InstantPopup);
  tools_->addSeparator();
  tools_->addWidget(dataButton);
  dataMenu_ = data;

  hint_ = new QLabel(this);
  hint_->setWordWrap(true);
  hint_->setContentsMargins(6, 2, 6, 2);

  charts_ = new QSplitter(Qt::Vertical, this);
  charts_->setObjectName(QStringLiteral("PlotCharts"));
  charts_->setChildrenCollapsible(false);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(tools_);
  layout->addWidget(hint_);
  layout->addWidget(charts_, 1);
  resize(860, 560);

  redrawTimer_ = new QTimer(this);
  redrawTimer_->setInterval(kRedrawMs);
  connect(redrawTimer_, &QTimer::timeout, this, &CPlotView::Redraw);
  redrawTimer_->start();
  RebuildCharts();
  UpdateTitle();
}

CPlotView::~CPlotView() {
  if (placed_) SaveGeometry();
}

void CPlotView::showEvent(QShowEvent* event) {
  // The window comes back where the user left it.
  if (!placed_ && store_) {
    const QByteArray stored = QByteArray::fromBase64(
        QByteArray::fromStdString(store_->ReadString(kSectionViewInfo, kGeometryKey, "")));
    if (!stored.isEmpty()) restoreGeometry(stored);
  }
  placed_ = true;
  QWidget::showEvent(event);
  emit visibilityChanged(true);
}

void CPlotView::hideEvent(QHideEvent* event) {
  SaveGeometry();
  QWidget::hideEvent(event);
  emit visibilityChanged(false);
}

void CPlotView::SaveGeometry() {
  if (store_)
    store_->WriteString(kSectionViewInfo, kGeometryKey, saveGeometry().toBase64().toStdString());
}

void CPlotView::UpdateTitle() {
  QString title = QStringLiteral("Plot");
  if (capture_ && !source_.isEmpty()) title += QStringLiteral(" - ") + source_;
  setWindowTitle(title + QStringLiteral(" - ") + MessageBoxTitle());
  if (series_.empty()) {
    hint_->setText(QStringLiteral(
        "Pick items in a monitor list and choose \"Plot Selected Items\" (items are sampled on "
        "each monitoring tick while their rows are visible), or open a CSV file from Data."));
    hint_->setVisible(true);
  } else if (!capture_) {
    hint_->setVisible(false);
  }
}

void CPlotView::SetTimeSource(std::function<double()> seconds) {
  timeSource_ = std::move(seconds);
}

double CPlotView::Now() const {
  if (timeSource_) return timeSource_();
  return static_cast<double>(elapsed_.nsecsElapsed()) / 1e9;
}

// ---------------------------------------------------------------------------
// Series

bool CPlotView::Add(const QString& key, const QString& title) {
  if (capture_) RemoveAllSeries();
  if (index_.contains(key)) return false;
  if (series_.empty()) {
    // Time runs from the moment plotting starts.
    elapsed_.restart();
    tickStamped_ = false;
  }
  auto s = std::make_unique<Series>();
  s->key = key;
  s->title = title;
  index_.insert(key, static_cast<int>(series_.size()));
  series_.push_back(std::move(s));
  RebuildCharts();
  UpdateTitle();
  return true;
}

bool CPlotView::AddVariable(const CDataObject& item) {
  return Add(QStringLiteral("v:") + QString::fromStdString(item.name),
             QString::fromStdString(item.name));
}

bool CPlotView::AddAddress(const CDataObject& item) {
  const QString title = QString::asprintf("0x%06X", static_cast<unsigned>(item.address));
  return Add(QStringLiteral("a:") + title, title);
}

void CPlotView::ShowCapture(const PlotCapture& capture) {
  RemoveAllSeries();
  capture_ = true;
  source_ = QString::fromStdString(capture.source);
  for (const PlotColumn& column : capture.series) {
    auto s = std::make_unique<Series>();
    s->key = QStringLiteral("c:%1").arg(series_.size());
    s->title = QString::fromStdString(column.title);
    s->fixed = column.samples;
    index_.insert(s->key, static_cast<int>(series_.size()));
    series_.push_back(std::move(s));
  }
  hint_->setText(capture.truncated
                     ? QStringLiteral("Only the first %L1 rows were read.").arg(kMaxCaptureRows)
                     : QString());
  hint_->setVisible(capture.truncated);
  RebuildCharts();
  UpdateTitle();
}

bool CPlotView::OpenCsv(const QString& path, QString* error) {
  PlotCapture capture;
  std::string why;
  if (!ReadPlotCsvFile(QFile::encodeName(path).toStdString(), capture, why)) {
    if (error) *error = QString::fromStdString(why);
    return false;
  }
  capture.source = QFileInfo(path).fileName().toStdString();
  ShowCapture(capture);
  return true;
}

QStringList CPlotView::SeriesTitles() const {
  QStringList titles;
  for (const auto& s : series_) titles << s->title;
  return titles;
}

std::vector<PlotSample> CPlotView::SamplesOf(const Series& s) const {
  return capture_ ? s.fixed : s.history.Samples();
}

std::vector<PlotSample> CPlotView::Samples(int index) const {
  return SamplesOf(*series_.at(static_cast<size_t>(index)));
}

QLineSeries* CPlotView::Line(int index) const {
  return series_.at(static_cast<size_t>(index))->line;
}

QValueAxis* CPlotView::AxisY(int index) const {
  return series_.at(static_cast<size_t>(index))->axisY;
}

void CPlotView::RemoveAllSeries() {
  series_.clear();
  index_.clear();
  capture_ = false;
  source_.clear();
  elapsed_.restart();
  tickStamped_ = false;
  following_ = true;
  RebuildCharts();
  UpdateTitle();
}

void CPlotView::ClearData() {
  for (auto& s : series_) {
    s->history.Clear();
    s->fixed.clear();
  }
  elapsed_.restart();
  tickStamped_ = false;
  following_ = true;
  dirty_ = true;
  const bool paused = paused_;
  paused_ = false;
  Redraw();
  paused_ = paused;
}

void CPlotView::BeginTick() {
  tickSeconds_ = Now();
  tickStamped_ = true;
}

void CPlotView::Feed(const QString& key, uint32_t word, uint8_t view) {
  const auto it = index_.constFind(key);
  if (it == index_.constEnd()) return;
  Series& s = *series_[static_cast<size_t>(*it)];
  s.history.Append(tickStamped_ ? tickSeconds_ : Now(), PlotValue(word, view));
  dirty_ = true;
}

void CPlotView::FeedVariable(const CDataObject& item, uint32_t word) {
  Feed(QStringLiteral("v:") + QString::fromStdString(item.name), word, item.viewType);
}

void CPlotView::FeedAddress(const CDataObject& item, uint32_t word) {
  Feed(QStringLiteral("a:") + QString::asprintf("0x%06X", static_cast<unsigned>(item.address)),
       word, item.viewType);
}

// ---------------------------------------------------------------------------
// Charts

QChartView* CPlotView::NewChartView(QChart* chart) {
  auto* view = new PlotChartView(chart, *this);
  view->setObjectName(QStringLiteral("PlotChart"));
  view->setMinimumHeight(80);
  charts_->addWidget(view);
  views_.append(view);
  return view;
}

void CPlotView::RebuildCharts() {
  for (QChartView* view : std::as_const(views_)) delete view;  // with its chart, axes and lines
  views_.clear();
  for (auto& s : series_) {
    s->line = nullptr;
    s->axisX = s->axisY = nullptr;
  }
  // Building the charts moves their axes; that is no range the user picked.
  applyingRange_ = true;
  auto listen = [this](QValueAxis* axis) {
    connect(axis, &QValueAxis::rangeChanged, this, &CPlotView::OnAxisRangeChanged);
  };
  if (series_.empty()) {
    QChart* chart = NewChart();
    QValueAxis* x = NewTimeAxis();
    QValueAxis* y = NewValueAxis(QString(), palette().color(QPalette::WindowText));
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    x->setRange(0, 10);
    y->setRange(0, 1);
    NewChartView(chart);
    applyingRange_ = false;
    return;
  }
  if (layout_ == Layout::kStacked) {
    // A panel per series; the time axis of each is kept in step with the others.
    for (size_t i = 0; i < series_.size(); ++i) {
      Series& s = *series_[i];
      QChart* chart = NewChart();
      s.axisX = NewTimeAxis();
      s.axisY = NewValueAxis(s.title, SeriesColour(i));
      s.line = new QLineSeries;
      s.line->setName(s.title);
      s.line->setColor(SeriesColour(i));
      chart->addSeries(s.line);
      chart->addAxis(s.axisX, Qt::AlignBottom);
      chart->addAxis(s.axisY, Qt::AlignLeft);
      s.line->attachAxis(s.axisX);
      s.line->attachAxis(s.axisY);
      listen(s.axisX);
      NewChartView(chart);
    }
  } else {
    // One chart; each series has an axis of its own, alternately left and right.
    QChart* chart = NewChart();
    chart->legend()->setVisible(true);
    chart->legend()->setAlignment(Qt::AlignBottom);
    QValueAxis* x = NewTimeAxis();
    chart->addAxis(x, Qt::AlignBottom);
    listen(x);
    for (size_t i = 0; i < series_.size(); ++i) {
      Series& s = *series_[i];
      s.axisX = x;
      s.axisY = NewValueAxis(s.title, SeriesColour(i));
      s.line = new QLineSeries;
      s.line->setName(s.title);
      s.line->setColor(SeriesColour(i));
      chart->addSeries(s.line);
      chart->addAxis(s.axisY, i % 2 == 0 ? Qt::AlignLeft : Qt::AlignRight);
      s.axisY->setGridLineVisible(i == 0);  // one grid is enough to read by
      s.line->attachAxis(x);
      s.line->attachAxis(s.axisY);
    }
    NewChartView(chart);
  }
  applyingRange_ = false;
  dirty_ = true;
  const bool paused = paused_;
  paused_ = false;
  Redraw();
  paused_ = paused;
}

void CPlotView::SetLayout(Layout layout) {
  (layout == Layout::kStacked ? stackedAction_ : axesAction_)->setChecked(true);
  if (store_) store_->WriteInt(kSectionViewInfo, kLayoutKey, static_cast<uint32_t>(layout));
  if (layout == layout_) return;
  layout_ = layout;
  RebuildCharts();
}

void CPlotView::Redraw() {
  if (paused_ || !dirty_) return;
  dirty_ = false;
  std::vector<std::vector<PlotSample>> all;
  all.reserve(series_.size());
  for (const auto& s : series_) all.push_back(SamplesOf(*s));
  if (following_) {
    double from = std::numeric_limits<double>::max(), to = std::numeric_limits<double>::lowest();
    for (const auto& samples : all)
      for (const PlotSample& p : samples) {
        from = std::min(from, p.seconds);
        to = std::max(to, p.seconds);
      }
    if (from > to) {
      from = 0;
      to = 10;
    }
    // Live plotting starts with a second of room; a capture fills the width
    // whatever its length (a recording may last milliseconds).
    if (to - from < (capture_ ? 0.0 : 1.0) || !(to > from)) to = from + (capture_ ? 1e-3 : 1.0);
    x0_ = from;
    x1_ = to;
  }
  auto earlier = [](const PlotSample& p, double t) { return p.seconds < t; };
  for (size_t i = 0; i < series_.size(); ++i) {
    const std::vector<PlotSample>& samples = all[i];
    // What lies in the time range shown, with one sample on either side so
    // the line runs to the edges; thinned to what the chart can show.
    size_t first = 0, last = samples.size();
    if (!following_ &&
        std::is_sorted(samples.begin(), samples.end(),
                       [](const auto& a, const auto& b) { return a.seconds < b.seconds; })) {
      first = static_cast<size_t>(std::lower_bound(samples.begin(), samples.end(), x0_, earlier) -
                                  samples.begin());
      last = static_cast<size_t>(std::lower_bound(samples.begin(), samples.end(), x1_, earlier) -
                                 samples.begin());
      first = first > 0 ? first - 1 : 0;
      last = std::min(samples.size(), last + 1);
    }
    const std::vector<PlotSample> shown =
        ThinForDisplay(samples.data() + first, last - first, kShownPoints);
    QList<QPointF> points;
    points.reserve(static_cast<qsizetype>(shown.size()));
    for (const PlotSample& p : shown) points.append(QPointF(p.seconds, p.value));
    if (series_[i]->line) series_[i]->line->replace(points);
  }
  ApplyRanges();
}

// Every time axis shows x0_ .. x1_; each value axis fits its series' samples
// in that range.
void CPlotView::ApplyRanges() {
  applyingRange_ = true;
  for (const auto& s : series_) {
    if (s->axisX) SetRoundTicks(s->axisX, x0_, x1_, false);
    if (!s->axisY) continue;
    double low = std::numeric_limits<double>::max(), high = std::numeric_limits<double>::lowest();
    for (const PlotSample& p : SamplesOf(*s)) {
      if (p.seconds < x0_ || p.seconds > x1_ || !std::isfinite(p.value)) continue;
      low = std::min(low, p.value);
      high = std::max(high, p.value);
    }
    if (low > high) {
      low = 0;
      high = 1;
    }
    const double span = high - low;
    const double pad = span > 0 ? span * 0.05 : std::max(1.0, std::fabs(low) * 0.05);
    SetRoundTicks(s->axisY, low - pad, high + pad, true);
  }
  applyingRange_ = false;
}

void CPlotView::OnAxisRangeChanged(double from, double to) {
  // A rubber band or a right click in one panel shows that time range in all.
  if (applyingRange_) return;
  ShowTimeRange(from, to);
}

void CPlotView::ShowTimeRange(double from, double to) {
  if (!(to > from) || !std::isfinite(from) || !std::isfinite(to)) return;
  following_ = false;
  x0_ = from;
  x1_ = to;
  ApplyRanges();
  dirty_ = true;
  Redraw();
}

void CPlotView::SetPaused(bool paused) {
  paused_ = paused;
  if (pauseAction_->isChecked() != paused) pauseAction_->setChecked(paused);
  pauseAction_->setText(paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
  if (!paused) Redraw();
}

void CPlotView::ZoomIn() {
  const double mid = (x0_ + x1_) / 2, half = (x1_ - x0_) / 2 * 0.8;
  ShowTimeRange(mid - half, mid + half);
}

void CPlotView::ZoomOut() {
  const double mid = (x0_ + x1_) / 2, half = (x1_ - x0_) / 2 * 1.25;
  ShowTimeRange(mid - half, mid + half);
}

void CPlotView::ResetZoom() {
  following_ = true;
  dirty_ = true;
  const bool paused = paused_;
  paused_ = false;
  Redraw();
  paused_ = paused;
}

// ---------------------------------------------------------------------------
// Files

bool CPlotView::ExportPng(const QString& path) {
  dirty_ = true;
  const bool paused = paused_;
  paused_ = false;
  Redraw();
  paused_ = paused;
  return charts_->grab().save(path, "PNG");
}

bool CPlotView::ExportCsv(const QString& path, QString* error) {
  std::vector<PlotColumn> columns;
  for (const auto& s : series_) columns.push_back({s->title.toStdString(), SamplesOf(*s)});
  const std::string csv = PlotCsv(columns);
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) {
    if (error) *error = file.errorString();
    return false;
  }
  file.write(csv.data(), static_cast<qint64>(csv.size()));
  if (!file.commit()) {
    if (error) *error = file.errorString();
    return false;
  }
  return true;
}

void CPlotView::OpenCsvDialog() {
  const QString path =
      QFileDialog::getOpenFileName(this, QStringLiteral("Open Plot Data"), QString(),
                                   QStringLiteral("CSV file (*.csv);;All Files (*)"));
  if (path.isEmpty()) return;
  QString error;
  if (!OpenCsv(path, &error))
    QMessageBox::information(this, QStringLiteral("Open Plot Data"),
                             QStringLiteral("Cannot show %1: %2").arg(path, error));
}

void CPlotView::ExportPngDialog() {
  const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Export Plot"), QString(),
                                                    QStringLiteral("PNG image (*.png)"));
  if (path.isEmpty()) return;
  if (!ExportPng(path))
    QMessageBox::information(this, QStringLiteral("Export Plot"),
                             QStringLiteral("Failed to write %1").arg(path));
}

void CPlotView::ExportCsvDialog() {
  const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Export Plot Data"),
                                                    QString(), QStringLiteral("CSV file (*.csv)"));
  if (path.isEmpty()) return;
  QString error;
  if (!ExportCsv(path, &error))
    QMessageBox::information(this, QStringLiteral("Export Plot Data"),
                             QStringLiteral("Failed to write %1: %2").arg(path, error));
}

}  // namespace velmora
