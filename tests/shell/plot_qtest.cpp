// The plot: items picked in the panes become series, ticks append samples in
// the items' view meaning, and the samples export as CSV.
#include <QDockWidget>
#include <QFile>
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

namespace {

// Two variables (an integer and a float) and an address, shown and plotted,
// on a clock of the test's own.
struct PlotRig : MonitorRig {
  PlotRig() {
    ShowRows(Variables(), 10);
    ShowRows(Addresses(), 10);
    control->AddVariable("count", 0x809C00, ToByte(ViewType::SignedInteger), 4);
    control->AddVariable("gain", 0x809C01, ToByte(ViewType::Float), 6);
    control->AddVariable("other", 0x809C02, 0, 4);
    control->AddAddress(0x808040, 0);
    Variables().scrollToTop();
    plot = control->Plot();
    plot->SetTimeSource([this] { return now; });
    control->PlotVariables({0, 1});
    control->PlotAddresses({0});
  }
  void TickAt(double t, int32_t count, float gain) {
    now = t;
    pod.memory[0x809C00] = static_cast<uint32_t>(count);
    pod.memory[0x809C01] = FloatToC3x(gain);
    pod.memory[0x808040] = 0xFFFFFFFF;
    control->Tick();
  }
  double now = 0;
  CPlotView* plot = nullptr;
};

}  // namespace

class PlotTest : public QObject {
  Q_OBJECT

 private slots:
  void ticksBecomeSamplesInTheViewMeaning() {
    PlotRig rig;
    CPlotView* plot = rig.plot;
    QVERIFY(rig.control->PlotDock()->isVisible());
    QCOMPARE(plot->SeriesTitles(), QStringList({"count", "gain", "0x808040"}));
    rig.control->PlotVariables({0});  // plotting an item twice adds nothing
    QCOMPARE(plot->SeriesCount(), 3);
    rig.TickAt(0.5, -3, 0.25f);
    rig.TickAt(1.0, 7, -1.5f);
    QCOMPARE(plot->History(0).Samples(), (std::vector<PlotSample>{{0.5, -3}, {1.0, 7}}));
    QCOMPARE(plot->History(1).Samples(), (std::vector<PlotSample>{{0.5, 0.25}, {1.0, -1.5}}));
    QCOMPARE(plot->History(2).At(0).value, 4294967295.0);
    plot->Redraw();
    QCOMPARE(plot->Line(1)->at(1), QPointF(1.0, -1.5));
    QVERIFY(plot->AxisY()->min() <= -3 && plot->AxisY()->max() >= 4294967295.0);
  }

  void exportsAsCsvAndTheMenuPlotsTheSelection() {
    PlotRig rig;
    CPlotView* plot = rig.plot;
    rig.TickAt(0.5, 1, 0.5f);
    rig.TickAt(1.5, 2, 0.75f);
    QTemporaryDir dir;
    QVERIFY(plot->ExportCsv(dir.filePath("plot.csv")));
    QFile file(dir.filePath("plot.csv"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll().replace('\r', ""), QByteArray("Time (s),count,gain,0x808040\n"
                                                          "0.5,1,0.5,4294967295\n"
                                                          "1.5,2,0.75,4294967295\n"));
    QString error;
    QVERIFY(!plot->ExportCsv(dir.filePath("no/such/dir/plot.csv"), &error));
    QVERIFY(!error.isEmpty());

    // The panes' menu entry plots the selection.
    plot->RemoveAllSeries();
    rig.Variables().selectRow(1);
    std::unique_ptr<QMenu> menu(rig.Variables().BuildContextMenu(nullptr));
    CMonitorListView::FindAction(menu.get(), cmd::kPlotSelectedVariables)->trigger();
    QCOMPARE(plot->SeriesTitles(), QStringList{"gain"});
  }
};

QTEST_MAIN(PlotTest)
#include "plot_qtest.moc"
