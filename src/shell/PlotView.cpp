#include "shell/PlotView.h"

#include <QAction>
#include <QChart>
#include <QChartView>
#include <QFileDialog>
#include <QLabel>
#include <QLegend>
#include <QLineSeries>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QSaveFile>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QValueAxis>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <limits>

namespace velmora {

namespace {

// The chart view tells the plot when the user zoomed with the mouse (rubber
// band, right click, wheel), so the axes stop following new samples.
class PlotChartView : public QChartView {
 public:
  PlotChartView(QChart* chart, CPlotView& plot) : QChartView(chart), plot_(plot) {
    setRubberBand(QChartView::RectangleRubberBand);
    setRenderHint(QPainter::Antialiasing, true);
  }

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override {
    QChartView::mouseReleaseEvent(event);
    plot_.UserZoomed();
  }
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

}  // namespace

CPlotView::CPlotView(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("PlotView"));
  elapsed_.start();

  chart_ = new QChart;
  chart_->legend()->setVisible(true);
  chart_->legend()->setAlignment(Qt::AlignBottom);
  chart_->setMargins(QMargins(4, 4, 4, 4));
  axisX_ = new QValueAxis;
  axisX_->setTitleText(QStringLiteral("Time (s)"));
  axisX_->setLabelFormat(QStringLiteral("%.1f"));
  axisX_->setRange(0, 10);
  axisY_ = new QValueAxis;
  axisY_->setLabelFormat(QStringLiteral("%g"));
  axisY_->setRange(0, 1);
  chart_->addAxis(axisX_, Qt::AlignBottom);
  chart_->addAxis(axisY_, Qt::AlignLeft);

  view_ = new PlotChartView(chart_, *this);
  view_->setObjectName(QStringLiteral("PlotChart"));

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
  // The less frequent commands share one drop-down so the bar stays narrow
  // in a docked plot.
  auto* data = new QMenu(QStringLiteral("Data"), this);
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

  hint_ = new QLabel(
      QStringLiteral("Pick items in a monitor list and choose \"Plot Selected Items\". Items are "
                     "sampled on each monitoring tick while their rows are visible."),
      this);
  hint_->setWordWrap(true);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(tools_);
  layout->addWidget(hint_);
  layout->addWidget(view_, 1);

  redrawTimer_ = new QTimer(this);
  redrawTimer_->setInterval(kRedrawMs);
  connect(redrawTimer_, &QTimer::timeout, this, &CPlotView::Redraw);
  redrawTimer_->start();
}

CPlotView::~CPlotView() = default;

void CPlotView::SetTimeSource(std::function<double()> seconds) {
  timeSource_ = std::move(seconds);
}

double CPlotView::Now() const {
  if (timeSource_) return timeSource_();
  return static_cast<double>(elapsed_.nsecsElapsed()) / 1e9;
}

bool CPlotView::Add(const QString& key, const QString& title) {
  if (index_.contains(key)) return false;
  auto s = std::make_unique<Series>();
  s->key = key;
  s->title = title;
  s->line = new QLineSeries;
  s->line->setName(title);
  chart_->addSeries(s->line);
  s->line->attachAxis(axisX_);
  s->line->attachAxis(axisY_);
  index_.insert(key, static_cast<int>(series_.size()));
  series_.push_back(std::move(s));
  hint_->setVisible(false);
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

QStringList CPlotView::SeriesTitles() const {
  QStringList titles;
  for (const auto& s : series_) titles << s->title;
  return titles;
}

const ValueHistory& CPlotView::History(int index) const {
  return series_.at(static_cast<size_t>(index))->history;
}

QLineSeries* CPlotView::Line(int index) const {
  return series_.at(static_cast<size_t>(index))->line;
}

void CPlotView::RemoveAllSeries() {
  chart_->removeAllSeries();  // deletes the line series
  series_.clear();
  index_.clear();
  hint_->setVisible(true);
  ClearData();
}

void CPlotView::ClearData() {
  for (auto& s : series_) {
    s->history.Clear();
    s->line->clear();
    s->dirty = false;
  }
  elapsed_.restart();
  tickStamped_ = false;
  following_ = true;
  UpdateAxes();
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
  s.dirty = true;
}

void CPlotView::FeedVariable(const CDataObject& item, uint32_t word) {
  Feed(QStringLiteral("v:") + QString::fromStdString(item.name), word, item.viewType);
}

void CPlotView::FeedAddress(const CDataObject& item, uint32_t word) {
  Feed(QStringLiteral("a:") + QString::asprintf("0x%06X", static_cast<unsigned>(item.address)),
       word, item.viewType);
}

void CPlotView::SetPaused(bool paused) {
  paused_ = paused;
  if (pauseAction_->isChecked() != paused) pauseAction_->setChecked(paused);
  pauseAction_->setText(paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
  if (!paused) Redraw();
}

void CPlotView::Redraw() {
  if (paused_) return;
  bool any = false;
  for (auto& s : series_) {
    if (!s->dirty) continue;
    s->dirty = false;
    any = true;
    QList<QPointF> points;
    points.reserve(static_cast<qsizetype>(s->history.Size()));
    for (size_t i = 0; i < s->history.Size(); ++i) {
      const PlotSample& p = s->history.At(i);
      points.append(QPointF(p.seconds, p.value));
    }
    s->line->replace(points);
  }
  if (any && following_) UpdateAxes();
}

void CPlotView::UpdateAxes() {
  double x0 = std::numeric_limits<double>::max(), x1 = std::numeric_limits<double>::lowest();
  double y0 = x0, y1 = x1;
  for (const auto& s : series_) {
    for (size_t i = 0; i < s->history.Size(); ++i) {
      const PlotSample& p = s->history.At(i);
      x0 = std::min(x0, p.seconds);
      x1 = std::max(x1, p.seconds);
      if (std::isfinite(p.value)) {
        y0 = std::min(y0, p.value);
        y1 = std::max(y1, p.value);
      }
    }
  }
  if (x0 > x1) {
    axisX_->setRange(0, 10);
    axisY_->setRange(0, 1);
    return;
  }
  if (x1 - x0 < 1) x1 = x0 + 1;
  axisX_->setRange(x0, x1);
  if (y0 > y1) {
    y0 = 0;
    y1 = 1;
  }
  const double span = y1 - y0;
  const double pad = span > 0 ? span * 0.05 : std::max(1.0, std::fabs(y0) * 0.05);
  axisY_->setRange(y0 - pad, y1 + pad);
  axisY_->applyNiceNumbers();
}

void CPlotView::ZoomIn() {
  chart_->zoom(1.25);
  following_ = false;
}

void CPlotView::ZoomOut() {
  chart_->zoom(0.8);
  following_ = false;
}

void CPlotView::ResetZoom() {
  chart_->zoomReset();
  following_ = true;
  for (auto& s : series_) s->dirty = true;
  const bool paused = paused_;
  paused_ = false;
  Redraw();
  paused_ = paused;
  UpdateAxes();
}

bool CPlotView::ExportPng(const QString& path) {
  const bool paused = paused_;
  paused_ = false;
  Redraw();
  paused_ = paused;
  return view_->grab().save(path, "PNG");
}

bool CPlotView::ExportCsv(const QString& path, QString* error) {
  std::vector<PlotColumn> columns;
  for (const auto& s : series_) columns.push_back({s->title.toStdString(), s->history.Samples()});
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
