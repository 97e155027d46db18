// Renders what a user sees on the virtual board into PNG files: the main
// window with a program loaded and being watched, the plot of two of its
// values in both layouts, the Recorder window and its capture in the plot,
// the configuration dialog, and a progress dialog in the middle of a serial
// boot.
//
// scripts/screenshots.sh runs it with VELMORA_SCREENSHOT_DIR set to
// docs/screenshots; under CTest the pictures go to a temporary folder and the
// test checks that they were painted.
#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QSpinBox>
#include <QTimer>
#include <QtTest>

#include "AppTestSupport.h"
#include "shell/Commands.h"
#include "shell/ConfigDlg.h"
#include "shell/LeftView.h"
#include "shell/PlotView.h"
#include "shell/ProgressDlg.h"
#include "shell/RecorderWindow.h"
#include "shell/SectionPane.h"
#include "shell/TabViewBar.h"

using namespace velmora;
using namespace velmora::test;

namespace {

// The demo program when the tree has it, else the test responder assembled now.
QString TargetProgram(const QString& folder) {
  const QString demo = QStringLiteral(VELMORA_SOURCE_DIR) + "/examples/demo/demo.out";
  if (QFile::exists(demo)) return demo;
  const QString out = folder + "/responder.out";
  return AssembleResponder(out) ? out : QString();
}

// True when the picture holds more than one colour (something was painted).
bool Painted(const QImage& image) {
  QImage plain(image.size(), image.format());
  plain.fill(image.isNull() ? 0 : image.pixel(0, 0));
  return !image.isNull() && image != plain;
}

}  // namespace

class ScreenshotsTest : public QObject {
  Q_OBJECT

  QString out_;
  QTemporaryDir temp_;

  void Save(QWidget& w, const char* name) {
    const QImage image = w.grab().toImage();
    QVERIFY2(Painted(image), name);
    const QString path = out_ + "/" + name;
    QVERIFY2(image.save(path), qPrintable(path));
    qInfo("wrote %s (%dx%d)", qPrintable(path), image.width(), image.height());
  }

 private slots:
  void initTestCase() {
    out_ = qEnvironmentVariable("VELMORA_SCREENSHOT_DIR");
    if (out_.isEmpty()) out_ = temp_.path();
    QVERIFY(QDir().mkpath(out_));
  }

  void mainWindowConfigurationAndProgress() {
    AppBench bench;
    // A roomy layout, monitoring every 50 ms.
    for (const QString& pair : QStringLiteral("Left=40 Top=40 Right=1140 Bottom=800 FirstSetup=1 "
                                              "LeftPaneWidth=380 RightPaneHeight=260 MsgWndCY=230 "
                                              "MsgWndCX=1100")
                                   .split(u' '))
      bench.Ini().WriteInt(kSectionMain, pair.section(u'=', 0, 0).toStdString(),
                           pair.section(u'=', 1).toInt());
    bench.Ini().WriteInt(kSectionMain, kKeyDataIntervalTime, 1);
    QVERIFY(bench.StartSim());
    CSarvoApp& app = *bench.app;
    CMainFrame& frame = *app.Frame();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));

    const QString program = TargetProgram(bench.dir.path());
    QVERIFY(!program.isEmpty());
    QCOMPARE(app.LoadCoffFile(program), 0);
    // A serial boot, pictured half-way.
    bool pictured = false;
    CProgressDlg& progress = *app.ProgressDialog();
    std::function<void()> snap = [&] {
      if (pictured) return;
      if (progress.isVisible() && progress.Progress() >= 30) {
        pictured = true;
        Save(progress, "progress_serial_boot.png");
        return;
      }
      QTimer::singleShot(1, &progress, snap);
    };
    QTimer::singleShot(0, &progress, snap);
    app.RunTargetAction(TargetAction::kSerialBootVerify);
    QCOMPARE(progress.StatusText(), QStringLiteral("[ Completed ]"));
    QVERIFY(pictured);
    QTRY_VERIFY_WITH_TIMEOUT(!progress.isVisible(), 3000);
    // Watch what the program keeps: its symbols and one raw address.
    CLeftView& symbols = *app.SymbolPane();
    for (int r = 0; r < symbols.RowCount(); ++r) symbols.AddSymbolAt(r);
    app.Monitor()->AddAddress(app.Program().symbols.front().address, 0);
    app.Monitor()->StartMonitoring(kMonitorAddresses);
    frame.SetActivePage(CTabViewBar::kSectionPage);
    symbols.selectRow(0);
    QTest::qWait(400);  // a few monitoring ticks
    Save(frame, "main_window.png");
    // The plot of two values of very different scales (the demo's counter in
    // the thousands, its wave within +-1), in both layouts.
    QList<int> rows;
    const std::vector<CDataObject>& watched = app.Program().variables;
    for (int r = 0; r < static_cast<int>(watched.size()); ++r)
      if (watched[static_cast<size_t>(r)].name == "counter" ||
          watched[static_cast<size_t>(r)].name == "wave")
        rows << r;
    CPlotView& plot = *app.Monitor()->Plot();
    plot.SetLayout(CPlotView::Layout::kStacked);
    app.Monitor()->PlotVariables(rows);
    plot.resize(900, 560);
    QVERIFY(QTest::qWaitForWindowExposed(&plot));
    // Long enough for a wave in the pictures; under CTest a few ticks do.
    QTest::qWait(qEnvironmentVariableIsSet("VELMORA_SCREENSHOT_DIR") ? 2500 : 300);
    plot.SetPaused(true);  // both pictures of the same samples
    QTest::qWait(50);      // the charts lay their axes out
    Save(plot, "plot.png");
    plot.SetLayout(CPlotView::Layout::kAxisPerSeries);
    QTest::qWait(50);
    Save(plot, "plot_one_chart.png");
    // The recorder: the demo's step response at the loop's rate, triggered on
    // the set-point step, and the capture in the plot.
    if (program.endsWith(QStringLiteral("demo.out"))) {
      QList<int> recorded;
      for (int r = 0; r < static_cast<int>(watched.size()); ++r)
        for (const char* name : {"setpoint", "output", "command"})
          if (watched[static_cast<size_t>(r)].name == name) recorded << r;
      QCOMPARE(recorded.size(), 3);
      CRecorderWindow& recorder = *app.Monitor()->RecorderWindow();
      plot.SetPaused(false);
      app.Monitor()->RecordVariables(recorded);
      recorder.TriggerChannel()->setCurrentText(QStringLiteral("setpoint"));
      recorder.Level()->setText(QStringLiteral("0.5"));
      recorder.Pretrigger()->setValue(20);
      recorder.Samples()->setValue(1500);
      QVERIFY2(recorder.Measure(), qPrintable(recorder.StatusText()));
      QVERIFY2(recorder.Arm(), qPrintable(recorder.StatusText()));
      QTRY_VERIFY_WITH_TIMEOUT(!recorder.Running(), 20000);
      QCOMPARE(recorder.Capture().Samples(), size_t{1500});
      QCOMPARE(recorder.Capture().triggerSample, std::optional<size_t>(300));
      QVERIFY(QTest::qWaitForWindowExposed(&recorder));
      recorder.Channels()->setFocus();  // no text cursor in the picture
      Save(recorder, "recorder.png");
      plot.SetLayout(CPlotView::Layout::kStacked);
      plot.resize(900, 720);
      plot.Redraw();
      QTest::qWait(300);  // the charts lay their axes out
      Save(plot, "recorder_plot.png");
    }
    // The configuration dialog as the command opens it.
    bench.prompter.runDialog = [&](QDialog& dlg) {
      dlg.show();
      if (!QTest::qWaitForWindowExposed(&dlg)) qWarning("configuration dialog not exposed");
      dlg.adjustSize();
      Save(dlg, "configuration.png");
      return int(QDialog::Rejected);
    };
    app.OnConfiguration();
    QCOMPARE(bench.prompter.dialogsRun, 1);
  }
};

QTEST_MAIN(ScreenshotsTest)
#include "app_screenshots_qtest.moc"
