// Watched values over time. Items picked in either monitor pane ("Plot
// Selected Items") become series; every monitoring tick that reads their rows
// appends a sample in the item's view-type meaning (floats as floats). The
// tick only appends to a bounded ring; the chart is redrawn from the rings a
// few times a second, so plotting never slows the tick down.
#pragma once

#include <QElapsedTimer>
#include <QHash>
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
class QTimer;
class QToolBar;
class QValueAxis;

namespace velmora {

class CPlotView : public QWidget {
  Q_OBJECT

 public:
  static constexpr size_t kHistorySamples = 20000;  // per series
  static constexpr int kRedrawMs = 200;

  explicit CPlotView(QWidget* parent = nullptr);
  ~CPlotView() override;

  // A series per item; false when the item is plotted already.
  bool AddVariable(const CDataObject& item);
  bool AddAddress(const CDataObject& item);
  int SeriesCount() const { return static_cast<int>(series_.size()); }
  QStringList SeriesTitles() const;
  const ValueHistory& History(int index) const;
  void RemoveAllSeries();
  // Empties every series and starts the time axis again at 0.
  void ClearData();

  // The time stamp of the samples of one tick; without it a sample takes the
  // time it arrives.
  void BeginTick();
  void FeedVariable(const CDataObject& item, uint32_t word);
  void FeedAddress(const CDataObject& item, uint32_t word);

  // A frozen display; samples keep being recorded and show on resume.
  void SetPaused(bool paused);
  bool Paused() const { return paused_; }
  // Zooming stops the axes from following new samples until ResetZoom.
  void ZoomIn();
  void ZoomOut();
  void ResetZoom();
  bool Following() const { return following_; }
  void UserZoomed() { following_ = false; }

  bool ExportPng(const QString& path);
  bool ExportCsv(const QString& path, QString* error = nullptr);

  // Pushes the rings into the chart now (the redraw timer does it otherwise).
  void Redraw();
  // Seconds since the time axis started; tests put a clock of their own here.
  void SetTimeSource(std::function<double()> seconds);

  QChart* Chart() const { return chart_; }
  QChartView* ChartView() const { return view_; }
  QLineSeries* Line(int index) const;
  QValueAxis* AxisX() const { return axisX_; }
  QValueAxis* AxisY() const { return axisY_; }
  QToolBar* Tools() const { return tools_; }
  // Export PNG..., Export CSV..., Clear Data, Remove All.
  QMenu* DataMenu() const { return dataMenu_; }

 private:
  struct Series {
    QString key;
    QString title;
    ValueHistory history{kHistorySamples};
    QLineSeries* line = nullptr;
    bool dirty = false;
  };

  bool Add(const QString& key, const QString& title);
  void Feed(const QString& key, uint32_t word, uint8_t view);
  double Now() const;
  void UpdateAxes();
  void ExportPngDialog();
  void ExportCsvDialog();

  std::vector<std::unique_ptr<Series>> series_;
  QHash<QString, int> index_;
  QElapsedTimer elapsed_;
  std::function<double()> timeSource_;
  double tickSeconds_ = 0;
  bool tickStamped_ = false;
  bool paused_ = false;
  bool following_ = true;

  QChart* chart_ = nullptr;
  QChartView* view_ = nullptr;
  QValueAxis* axisX_ = nullptr;
  QValueAxis* axisY_ = nullptr;
  QToolBar* tools_ = nullptr;
  QAction* pauseAction_ = nullptr;
  QMenu* dataMenu_ = nullptr;
  QLabel* hint_ = nullptr;
  QTimer* redrawTimer_ = nullptr;
};

}  // namespace velmora
