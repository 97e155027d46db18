// The plot: items picked in the panes become series, ticks append samples in
// the items' view meaning, pause freezes the display, zoom stops the axes
// following, and the plot exports to PNG and CSV.
#include <QDockWidget>
#include <QFile>
#include <QImage>
#include <QLineSeries>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QValueAxis>

#include "monitoring/ValueFormats.h"
#include "shell/Commands.h"
#include "shell/PlotView.h"
#include "shell/monitor_support.h"

using namespace velmora;
using namespace velmora::test;

class PlotTest : public QObject {
  Q_OBJECT

 private:
  // Two variables (an integer and a float) and an address, shown and plotted.
  static void Prepare(MonitorRig& rig, double& now) {
    rig.ShowRows(rig.Variables(), 10);
    rig.ShowRows(rig.Addresses(), 10);
    rig.control->AddVariable("count", 0x809C00, ToByte(ViewType::SignedInteger), 4);
    rig.control->AddVariable("gain", 0x809C01, ToByte(ViewType::Float), 6);
    rig.control->AddVariable("other", 0x809C02, 0, 4);
    rig.control->AddAddress(0x808040, 0);
    rig.Variables().scrollToTop();
    rig.control->Plot()->SetTimeSource([&now] { return now; });
    rig.control->PlotVariables({0, 1});
    rig.control->PlotAddresses({0});
  }
  static void TickAt(MonitorRig& rig, double& now, double t, int32_t count, float gain) {
    now = t;
    rig.pod.memory[0x809C00] = static_cast<uint32_t>(count);
    rig.pod.memory[0x809C01] = FloatToC3x(gain);
    rig.pod.memory[0x808040] = 0xFFFFFFFF;
    rig.control->Tick();
  }

 private slots:
  void ticksBecomeSamplesInTheViewMeaning() {
    MonitorRig rig;
    double now = 0;
    Prepare(rig, now);
    CPlotView* plot = rig.control->Plot();
    QVERIFY(rig.control->PlotDock()->isVisible());
    QCOMPARE(plot->SeriesTitles(), QStringList({"count", "gain", "0x808040"}));
    // Plotting an item twice adds nothing.
    rig.control->PlotVariables({0});
    QCOMPARE(plot->SeriesCount(), 3);

    TickAt(rig, now, 0.5, -3, 0.25f);
    TickAt(rig, now, 1.0, 7, -1.5f);
    QCOMPARE(plot->History(0).Samples(), (std::vector<PlotSample>{{0.5, -3}, {1.0, 7}}));
    QCOMPARE(plot->History(1).Samples(), (std::vector<PlotSample>{{0.5, 0.25}, {1.0, -1.5}}));
    QCOMPARE(plot->History(2).At(0).value, 4294967295.0);

    plot->Redraw();
    QCOMPARE(plot->Line(1)->count(), 2);
    QCOMPARE(plot->Line(1)->at(1), QPointF(1.0, -1.5));
    QVERIFY(plot->AxisY()->min() <= -3);
    QVERIFY(plot->AxisY()->max() >= 4294967295.0);
  }

  void pauseFreezesTheLinesAndZoomStopsFollowing() {
    MonitorRig rig;
    double now = 0;
    Prepare(rig, now);
    CPlotView* plot = rig.control->Plot();
    TickAt(rig, now, 1, 1, 1);
    plot->Redraw();
    plot->SetPaused(true);
    TickAt(rig, now, 2, 100, 2);
    plot->Redraw();
    QCOMPARE(plot->Line(0)->count(), 1);
    QCOMPARE(plot->History(0).Size(), size_t{2});  // still recording
    plot->SetPaused(false);
    QCOMPARE(plot->Line(0)->count(), 2);

    plot->ZoomIn();
    QVERIFY(!plot->Following());
    const double zoomedMax = plot->AxisX()->max();
    TickAt(rig, now, 50, 100, 0);
    plot->Redraw();
    QCOMPARE(plot->AxisX()->max(), zoomedMax);
    plot->ResetZoom();
    QVERIFY(plot->Following());
    QCOMPARE(plot->AxisX()->max(), 50.0);
  }

  void historyIsBoundedAndTheMenuPlotsTheSelection() {
    MonitorRig rig;
    double now = 0;
    Prepare(rig, now);
    CPlotView* plot = rig.control->Plot();
    for (size_t i = 0; i < CPlotView::kHistorySamples + 10; ++i) {
      plot->BeginTick();
      plot->FeedVariable(rig.program.variables[0], static_cast<uint32_t>(i));
    }
    QCOMPARE(plot->History(0).Size(), CPlotView::kHistorySamples);
    QCOMPARE(plot->History(0).At(0).value, 10.0);
    // A stopped list feeds nothing.
    const size_t before = plot->History(1).Size();
    rig.control->StopMonitoring(kMonitorBoth);
    rig.control->Tick();
    QCOMPARE(plot->History(1).Size(), before);

    // The panes' menu entry plots the selection.
    plot->RemoveAllSeries();
    QCOMPARE(plot->SeriesCount(), 0);
    rig.Variables().selectRow(1);
    std::unique_ptr<QMenu> menu(rig.Variables().BuildContextMenu(nullptr));
    QAction* entry = CMonitorListView::FindAction(menu.get(), cmd::kPlotSelectedVariables);
    QCOMPARE(entry->text(), QString("Plot Selected Items"));
    entry->trigger();
    QCOMPARE(plot->SeriesTitles(), QStringList{"gain"});
  }

  void exportsPngAndCsv() {
    MonitorRig rig;
    double now = 0;
    Prepare(rig, now);
    CPlotView* plot = rig.control->Plot();
    TickAt(rig, now, 0.5, 1, 0.5f);
    TickAt(rig, now, 1.5, 2, 0.75f);
    QTemporaryDir dir;
    const QString png = dir.filePath("plot.png");
    QVERIFY(plot->ExportPng(png));
    QImage image(png);
    QVERIFY(!image.isNull());
    QVERIFY(image.width() > 50 && image.height() > 50);

    const QString csv = dir.filePath("plot.csv");
    QVERIFY(plot->ExportCsv(csv));
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines[0].trimmed(), QByteArray("Time (s),count,gain,0x808040"));
    QCOMPARE(lines[1].trimmed(), QByteArray("0.5,1,0.5,4294967295"));
    QCOMPARE(lines[2].trimmed(), QByteArray("1.5,2,0.75,4294967295"));

    QString error;
    QVERIFY(!plot->ExportCsv(dir.filePath("no/such/dir/plot.csv"), &error));
    QVERIFY(!error.isEmpty());
  }
};

QTEST_MAIN(PlotTest)
#include "plot_qtest.moc"
