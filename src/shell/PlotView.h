// Watched values over time, in a window of its own. Items picked in either
// monitor pane ("Plot Selected Items") become series; every monitoring tick
// that reads their rows appends a sample in the item's view-type meaning
// (floats as floats). The tick only appends to a bounded ring; the charts are
// redrawn from the rings a few times a second, so plotting never slows the
// tick down.
//
// Every series has a scale of its own, so a value of about 1 beside one in
// the thousands is not a flat line: either a panel per series, stacked under
// one another with their time axes in step, or one chart with an axis per
// series. The user's choice is kept in the settings ("View Information",
// "Plot Layout"), as is the window's place.
//
// A finished capture, with a time axis of its own, is shown with ShowCapture:
// a CSV file written by the plot's export or by `velmora-cli watch` (Open
// CSV...), or a recording of the target. It replaces what the plot shows;
// "Plot Selected Items" afterwards starts live plotting again.
#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "image/DataObject.h"
#include "monitoring/PlotSeries.h"

class QAction;
class QChart;
class QChartView;
class QLabel;
class QLineSeries;
class QMenu;
class QSplitter;
class QTimer;
class QToolBar;
class QValueAxis;

namespace velmora {

class SettingsStore;

class CPlotView : public QWidget {
  Q_OBJECT

 public:
  enum class Layout { kStacked = 0, kAxisPerSeries = 1 };

  static constexpr size_t kHistorySamples = 20000;  // per live series
  static constexpr int kRedrawMs = 200;
  // Points drawn per series; longer stretches are thinned, keeping their peaks.
  static constexpr size_t kShownPoints = 4000;
  static constexpr const char* kLayoutKey = "Plot Layout";
  static constexpr const char* kGeometryKey = "Plot Window";

  // `store` (may be null) keeps the layout and the window's place; it must
  // outlive the view.
  explicit CPlotView(SettingsStore* store = nullptr, QWidget* parent = nullptr);
  ~CPlotView() override;

  // --- Live series ---
  // A series per item; false when the item is plotted already. A capture on
  // show makes way for live plotting.
  bool AddVariable(const CDataObject& item);
  bool AddAddress(const CDataObject& item);
  // The time stamp of the samples of one tick; without it a sample takes the
  // time it arrives.
  void BeginTick();
  void FeedVariable(const CDataObject& item, uint32_t word);
  void FeedAddress(const CDataObject& item, uint32_t word);

  // --- Finished captures ---
  // Shows the capture's series over its own time axis in place of everything
  // the plot showed.
  void ShowCapture(const PlotCapture& capture);
  // Reads a CSV file (ReadPlotCsvFile) and shows it; false, with the reason,
  // when it cannot be read.
  bool OpenCsv(const QString& path, QString* error = nullptr);
  bool ShowingCapture() const { return capture_; }

  int SeriesCount() const { return static_cast<int>(series_.size()); }
  QStringList SeriesTitles() const;
  std::vector<PlotSample> Samples(int index) const;
  void RemoveAllSeries();
  // Empties every series and starts the time axis again at 0.
  void ClearData();

  // --- View ---
  void SetLayout(Layout layout);
  Layout CurrentLayout() const { return layout_; }
  // A frozen display; samples keep being recorded and show on resume.
  void SetPaused(bool paused);
  bool Paused() const { return paused_; }
  // Zooming shows a time range of every series and stops the view from
  // following new samples until ResetZoom; each scale fits what is shown.
  void ZoomIn();
  void ZoomOut();
  void ResetZoom();
  void ShowTimeRange(double from, double to);
  bool Following() const { return following_; }
  // The time range shown.
  double TimeFrom() const { return x0_; }
  double TimeTo() const { return x1_; }

  bool ExportPng(const QString& path);
  bool ExportCsv(const QString& path, QString* error = nullptr);

  // Pushes the samples into the charts now (the redraw timer does it otherwise).
  void Redraw();
  // Seconds since the time axis started; tests put a clock of their own here.
  void SetTimeSource(std::function<double()> seconds);

  // The charts as shown: one per series when stacked, else one.
  QList<QChartView*> ChartViews() const { return views_; }
  QLineSeries* Line(int index) const;
  QValueAxis* AxisY(int index) const;
  QToolBar* Tools() const { return tools_; }
  // Open CSV..., Export PNG..., Export CSV..., Clear Data, Remove All.
  QMenu* DataMenu() const { return dataMenu_; }

 signals:
  void visibilityChanged(bool visible);

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  struct Series {
    QString key;
    QString title;
    ValueHistory history{kHistorySamples};  // live samples
    std::vector<PlotSample> fixed;          // a capture's samples
    QLineSeries* line = nullptr;
    QValueAxis* axisY = nullptr;
    QValueAxis* axisX = nullptr;
  };

  bool Add(const QString& key, const QString& title);
  void Feed(const QString& key, uint32_t word, uint8_t view);
  double Now() const;
  std::vector<PlotSample> SamplesOf(const Series& s) const;
  void RebuildCharts();
  QChartView* NewChartView(QChart* chart);
  void ApplyRanges();
  void OnAxisRangeChanged(double from, double to);
  void UpdateTitle();
  void SaveGeometry();
  void OpenCsvDialog();
  void ExportPngDialog();
  void ExportCsvDialog();

  SettingsStore* store_ = nullptr;
  std::vector<std::unique_ptr<Series>> series_;
  QHash<QString, int> index_;
  bool capture_ = false;
  QString source_;
  QElapsedTimer elapsed_;
  std::function<double()> timeSource_;
  double tickSeconds_ = 0;
  bool tickStamped_ = false;
  bool paused_ = false;
  bool following_ = true;
  bool dirty_ = false;
  bool applyingRange_ = false;
  double x0_ = 0, x1_ = 10;
  Layout layout_ = Layout::kStacked;
  bool placed_ = false;

  QSplitter* charts_ = nullptr;  // the chart views, stacked
  QList<QChartView*> views_;
  QToolBar* tools_ = nullptr;
  QAction* pauseAction_ = nullptr;
  QAction* stackedAction_ = nullptr;
  QAction* axesAction_ = nullptr;
  QMenu* dataMenu_ = nullptr;
  QLabel* hint_ = nullptr;
  QTimer* redrawTimer_ = nullptr;
};

}  // namespace velmora
