// Main window: status panes, first-run and stored layouts, the output bar,
// view toggles, closing, resizing under monitoring and pane setters.
#include <QAction>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>
#include <QtTest>
#include <memory>

#include "shell/Commands.h"
#include "shell/MainFrame.h"
#include "shell/MessageWnd.h"
#include "shell/TabViewBar.h"

using namespace velmora;

namespace {

struct RecordingHost : FrameHost {
  MonitoringFlags flags;
  bool closeOk = true;
  QStringList calls;
  MonitoringFlags Monitoring() override { return flags; }
  void StopMonitoring(int mode) override { calls << QStringLiteral("stop %1").arg(mode); }
  void StartMonitoring(int mode) override { calls << QStringLiteral("start %1").arg(mode); }
  void ClearMonitoringActive() override { calls << QStringLiteral("clear"); }
  bool ClosePodLink() override {
    calls << QStringLiteral("close link");
    return closeOk;
  }
  void ResetConsoleState() override { calls << QStringLiteral("reset console"); }
  void Inform(CMainFrame&, const QString& text) override {
    calls << QStringLiteral("inform ") + text;
  }
};

// A frame shown with `settings` and waited for.
std::unique_ptr<CMainFrame> ShowFrame(AppSettings& settings, FrameHost* host = nullptr) {
  auto frame = std::make_unique<CMainFrame>(settings);
  frame->SetHost(host);
  frame->show();
  if (!QTest::qWaitForWindowExposed(frame.get())) qWarning("frame not exposed");
  QTest::qWait(20);  // let the dock and splitter layouts settle
  return frame;
}

bool SameImage(const QPixmap& a, const QPixmap& b) {
  return !a.isNull() && a.toImage().convertToFormat(QImage::Format_ARGB32) ==
                            b.toImage().convertToFormat(QImage::Format_ARGB32);
}

}  // namespace

class MainFrameTest : public QObject {
  Q_OBJECT

 private slots:
  void statusPanesStartFromTheSettings() {
    AppSettings settings;
    settings.dspType = kTMS320C33;
    settings.bootType = kBoot2;
    RecordingHost host;
    CMainFrame frame(settings);
    frame.SetHost(&host);
    frame.InitStatusBar();
    QCOMPARE(frame.StatusPaneText(pane::kMessage), QStringLiteral("Ready"));
    QCOMPARE(frame.StatusPaneText(pane::kDspType), QStringLiteral("TMS320C33"));
    QCOMPARE(frame.StatusPaneText(pane::kProgramSize), QStringLiteral("0x000000 Words"));
    QCOMPARE(frame.StatusPaneText(pane::kBootType), QStringLiteral("BOOT2"));
    QVERIFY(host.calls.contains(QStringLiteral("reset console")));
    QVERIFY(frame.StatusPane(pane::kDspType)->width() >= 80);
    QVERIFY(frame.StatusPane(pane::kProgramSize)->width() >= 96);
    QVERIFY(frame.StatusPane(pane::kBootType)->width() >= 53);
    QCOMPARE(frame.StatusPane(pane::kMonitoringLamp)->width(), 32);
    // Panes left to right: DSP type, size, boot type, lamp.
    QList<int> xs;
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    for (int id : {pane::kDspType, pane::kProgramSize, pane::kBootType, pane::kMonitoringLamp})
      xs << frame.StatusPane(id)->mapTo(&frame, QPoint()).x();
    QVERIFY(std::is_sorted(xs.begin(), xs.end()));
  }

  void lampPaneShowsImagesNotText() {
    AppSettings settings;
    CMainFrame frame(settings);
    QLabel* lamp = frame.StatusPane(pane::kMonitoringLamp);
    QVERIFY(!frame.IsLampOn());
    QVERIFY(SameImage(lamp->pixmap(), QPixmap(":/images/lamp_off.png")));
    frame.SetStatusPane(pane::kMonitoringLamp, QStringLiteral("ignored"), true);
    QVERIFY(frame.IsLampOn());
    QVERIFY(SameImage(lamp->pixmap(), QPixmap(":/images/lamp_on.png")));
    QCOMPARE(lamp->text(), QString());
    QCOMPARE(QPixmap(":/images/lamp_on.png").size(), QSize(30, 15));
    frame.SetStatusPane(pane::kMonitoringLamp, QString(), false);
    QVERIFY(SameImage(lamp->pixmap(), QPixmap(":/images/lamp_off.png")));
    // Text panes take any text; unknown ids change nothing.
    frame.SetStatusPane(pane::kProgramSize, QStringLiteral("0x0001F4 Words"));
    QCOMPARE(frame.StatusPaneText(pane::kProgramSize), QStringLiteral("0x0001F4 Words"));
    frame.SetStatusPane(12345, QStringLiteral("x"));
    QCOMPARE(frame.StatusPaneText(pane::kDspType), QStringLiteral("TMS320C32"));
  }

  void outputBarRectangleRule() {
    const QRect client(0, 0, 800, 600);
    QCOMPARE(CTabViewBar::DefaultRect(client).size(), QSize(200, 100));
    QCOMPARE(CTabViewBar::DefaultRect(client).topLeft(), QPoint(600, 500));
    QCOMPARE(OutputBarRect(client, 0, 0).size(), QSize(200, 100));
    QCOMPARE(OutputBarRect(client, 300, 0).size(), QSize(200, 100));
    QCOMPARE(OutputBarRect(client, -3, 150).size(), QSize(200, 100));
    const QRect stored = OutputBarRect(client, 300, 150);
    QCOMPARE(stored.size(), QSize(300, 150));
    QCOMPARE(stored.topLeft(), QPoint(500, 450));
    QCOMPARE(OutputBarRect(QRect(0, 0, 7, 5), 0, 0).size(), QSize(1, 0));
  }

  void showCommandsAndSaneRectangles() {
    QCOMPARE(StateFromShowCmd(2), Qt::WindowStates(Qt::WindowMinimized));
    QCOMPARE(StateFromShowCmd(7), Qt::WindowStates(Qt::WindowMinimized));
    QCOMPARE(StateFromShowCmd(3), Qt::WindowStates(Qt::WindowMaximized));
    QCOMPARE(StateFromShowCmd(0), Qt::WindowStates(Qt::WindowNoState));  // never start hidden
    QCOMPARE(ShowCmdFromState(Qt::WindowMinimized | Qt::WindowMaximized), kShowMinimized);
    QCOMPARE(ShowCmdFromState(Qt::WindowMaximized), kShowMaximized);
    QCOMPARE(ShowCmdFromState(Qt::WindowNoState), kShowNormal);
    const QList<QRect> screens{QRect(0, 0, 1024, 768)};
    const QSize minimum(200, 150);
    QCOMPARE(SanitizeNormalRect(QRect(100, 50, 800, 600), screens, minimum),
             QRect(100, 50, 800, 600));
    QCOMPARE(SanitizeNormalRect(QRect(100, 50, -20, 3), screens, minimum).size(), minimum);
    const QRect lost = SanitizeNormalRect(QRect(5000, 4000, 800, 600), screens, minimum);
    QVERIFY(screens.first().intersects(lost));
    QCOMPARE(lost.size(), QSize(800, 600));
  }

  void firstRunIsCentredWithDefaultPanes() {
    AppSettings settings;  // nothing stored: FirstSetup 0
    auto frame = ShowFrame(settings);
    QCOMPARE(frame->size(), QSize(800, 600));
    const QPoint centre = frame->screen()->availableGeometry().center();
    QVERIFY((frame->geometry().center() - centre).manhattanLength() <= 2);
    QTRY_COMPARE(frame->OuterSplitter()->sizes().value(0), 400);
    QTRY_COMPARE(frame->InnerSplitter()->sizes().value(0), 200);
    QCOMPARE(frame->LeftPaneCurrentWidth(), 400);
    // Output bar: docked at the bottom, a sixth of the client height.
    CTabViewBar* bar = frame->OutputBar();
    QCOMPARE(frame->dockWidgetArea(bar), Qt::BottomDockWidgetArea);
    const int client = 600 - frame->menuBar()->height();
    QCOMPARE(bar->InitialSize(), QSize(800 / 4, client / 6));
    QTRY_VERIFY2(
        std::abs(bar->height() - client / 6) <= 2,
        qPrintable(QStringLiteral("bar %1, expected %2").arg(bar->height()).arg(client / 6)));
    QCOMPARE(bar->Tabs()->count(), 3);
    QCOMPARE(bar->Tabs()->tabText(0), QStringLiteral("Message"));
    QCOMPARE(bar->Tabs()->tabText(1), QStringLiteral("Section"));
    QCOMPARE(bar->Tabs()->tabText(2), QStringLiteral("Command"));
    QCOMPARE(bar->ActivePage(), 0);

    // What the user sees.
    const QString dir = QStringLiteral(VELMORA_BINARY_DIR) + "/screenshots";
    QDir().mkpath(dir);
    frame->SetStatusPane(pane::kMonitoringLamp, QString(), true);
    frame->MessageWindow()->AppendText("Tool output line 1\nTool output line 2\n");
    QVERIFY(frame->grab().save(dir + "/mainframe.png"));

    frame->close();
    QCOMPARE(settings.leftPaneWidth, 400);
    QCOMPARE(settings.rightPaneHeight, 200);
    QCOMPARE(settings.showCmd, kShowNormal);
    QCOMPARE(settings.right - settings.left, 800);
    QCOMPARE(settings.bottom - settings.top, 600);
    QCOMPARE(settings.msgWndCY, bar->DockedHorizontalSize().height());
    QVERIFY(settings.msgWndCX > 0);
  }

  void storedLayoutComesBackMinimised() {
    AppSettings settings;
    settings.firstSetup = 1;
    settings.left = 30;
    settings.top = 40;
    settings.right = 730;
    settings.bottom = 540;
    settings.showCmd = kShowMinimized;
    settings.leftPaneWidth = 250;
    settings.rightPaneHeight = 120;
    settings.msgWndCX = 700;
    settings.msgWndCY = 150;
    auto frame = std::make_unique<CMainFrame>(settings);
    frame->show();
    QTRY_VERIFY(frame->isMinimized());
    QCOMPARE(frame->geometry(), QRect(30, 40, 700, 500));  // not centred
    QCOMPARE(frame->OutputBar()->InitialSize(), QSize(700, 150));
    frame->close();
    QCOMPARE(settings.showCmd, kShowMinimized);
    QCOMPARE(settings.left, 30);
    QCOMPARE(settings.bottom, 540);
  }

  void storedPaneSizesRoundTrip() {
    AppSettings settings;
    settings.firstSetup = 1;
    settings.leftPaneWidth = 250;
    settings.rightPaneHeight = 120;
    {
      auto frame = ShowFrame(settings);
      QTRY_COMPARE(frame->OuterSplitter()->sizes().value(0), 250);
      QTRY_COMPARE(frame->InnerSplitter()->sizes().value(0), 120);
      QCOMPARE(frame->geometry().topLeft(), QPoint(100, 50));  // FirstSetup 1: not centred
      // The left column keeps its width when the window grows.
      frame->resize(900, 650);
      QTRY_COMPARE(frame->OuterSplitter()->sizes().value(0), 250);
      frame->OuterSplitter()->setSizes({310, 500});
      frame->close();
    }
    QCOMPARE(settings.leftPaneWidth, 310);
    QCOMPARE(settings.right - settings.left, 900);
    auto again = ShowFrame(settings);
    QTRY_COMPARE(again->OuterSplitter()->sizes().value(0), 310);
    QCOMPARE(again->size(), QSize(900, 650));
  }

  void maximisedKeepsTheNormalRectangle() {
    AppSettings settings;
    settings.firstSetup = 1;
    settings.showCmd = kShowMaximized;
    auto frame = ShowFrame(settings);
    QTRY_VERIFY(frame->isMaximized());
    frame->close();
    QCOMPARE(settings.showCmd, kShowMaximized);
    QCOMPARE(settings.right - settings.left, 800);
    QCOMPARE(settings.left, 100);
  }

  void hiddenOutputBarStillStoresItsDockedSize() {
    AppSettings settings;
    auto frame = ShowFrame(settings);
    CTabViewBar* bar = frame->OutputBar();
    frame->resizeDocks({bar}, {170}, Qt::Vertical);
    QTRY_COMPARE(bar->height(), 170);
    QAction* toggle = frame->Command(cmd::kViewOutputWindow);
    QVERIFY(toggle->isChecked());
    toggle->trigger();
    QVERIFY(bar->isHidden());
    frame->UpdateCommandUi();
    QVERIFY(!toggle->isChecked());
    frame->close();
    QCOMPARE(settings.msgWndCY, 170);
  }

  void viewCommandsToggleBars() {
    AppSettings settings;
    auto frame = ShowFrame(settings);
    QAction* tool = frame->Command(cmd::kViewToolBar);
    QAction* status = frame->Command(cmd::kViewStatusBar);
    QAction* output = frame->Command(cmd::kViewOutputWindow);
    tool->trigger();
    status->trigger();
    QVERIFY(frame->ToolBar()->isHidden());
    QVERIFY(frame->statusBar()->isHidden());
    frame->UpdateCommandUi();
    QVERIFY(!tool->isChecked());
    QVERIFY(!status->isChecked());
    tool->trigger();
    status->trigger();
    output->trigger();
    output->trigger();
    frame->UpdateCommandUi();
    QVERIFY(!frame->ToolBar()->isHidden() && tool->isChecked());
    QVERIFY(!frame->statusBar()->isHidden() && status->isChecked());
    QVERIFY(!frame->OutputBar()->isHidden() && output->isChecked());
    // The bars' right-click menu offers the same three toggles.
    std::unique_ptr<QMenu> popup(frame->createPopupMenu());
    QCOMPARE(popup->actions(), QList<QAction*>({output, tool, status}));
    // Closing the bar by its own button clears the check mark too.
    frame->OutputBar()->close();
    frame->UpdateCommandUi();
    QVERIFY(!output->isChecked());
  }

  void closeClearsMonitoringAndReportsALinkFailure() {
    AppSettings settings;
    RecordingHost host;
    host.closeOk = false;
    auto frame = ShowFrame(settings, &host);
    host.calls.clear();
    QVERIFY(frame->close());
    QCOMPARE(host.calls, QStringList({"clear", "close link", "inform Failed to close USB Handle"}));
    QVERIFY(!frame->isVisible());

    RecordingHost quiet;
    auto second = ShowFrame(settings, &quiet);
    quiet.calls.clear();
    second->Command(cmd::kExit)->trigger();
    QCOMPARE(quiet.calls, QStringList({"clear", "close link"}));
    QVERIFY(!second->isVisible());
  }

  void resizePausesTheRunningMonitoring_data() {
    QTest::addColumn<bool>("active");
    QTest::addColumn<bool>("variable");
    QTest::addColumn<bool>("address");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("address only") << true << false << true << QStringList({"stop 2", "start 2"});
    QTest::newRow("variables only") << true << true << false << QStringList({"stop 1", "start 1"});
    QTest::newRow("both") << true << true << true << QStringList({"stop 4", "start 4"});
    QTest::newRow("not active") << false << true << true << QStringList();
    QTest::newRow("active, none") << true << false << false << QStringList();
  }
  void resizePausesTheRunningMonitoring() {
    QFETCH(bool, active);
    QFETCH(bool, variable);
    QFETCH(bool, address);
    QFETCH(QStringList, expected);
    AppSettings settings;
    RecordingHost host;
    auto frame = ShowFrame(settings, &host);
    host.flags = {active, variable, address};
    host.calls.clear();
    const QSize target(frame->width() - 40, frame->height() - 30);
    frame->resize(target);
    QTRY_COMPARE(frame->size(), target);
    QCOMPARE(host.calls, expected);
  }

  void copyDataReachesTheMessageWindowOnlyWithItsTag() {
    AppSettings settings;
    CMainFrame frame(settings);
    CMessageWnd* wnd = frame.MessageWindow();
    QVERIFY(wnd);
    frame.HandleCopyData(818, QStringLiteral("wrong tag"));
    QVERIFY(wnd->IsEmpty());
    frame.HandleCopyData(CMainFrame::kOutputTextTag, QStringLiteral("from a tool"));
    QVERIFY(wnd->toPlainText().contains(QStringLiteral("from a tool")));
  }

  void applicationPanesReplaceThePlaceholders() {
    AppSettings settings;
    auto frame = ShowFrame(settings);
    QTRY_COMPARE(frame->LeftPaneCurrentWidth(), 400);
    QPointer<QWidget> oldSymbol = frame->SymbolPane();
    auto* symbol = new QWidget;
    auto* variable = new QWidget;
    auto* address = new QWidget;
    auto* section = new QWidget;
    auto* console = new QWidget;
    frame->SetSymbolPane(symbol);
    frame->SetVariablePane(variable);
    frame->SetAddressPane(address);
    frame->SetSectionPage(section);
    frame->SetCommandPage(console);
    QCOMPARE(frame->SymbolPane(), symbol);
    QCOMPARE(frame->VariablePane(), variable);
    QCOMPARE(frame->AddressPane(), address);
    QCOMPARE(frame->OutputBar()->Page(1), section);
    QCOMPARE(frame->OutputBar()->Page(2), console);
    QCOMPARE(frame->OutputBar()->ActivePage(), 0);
    QCOMPARE(frame->LeftPaneCurrentWidth(), 400);  // the swap keeps the sizes
    QTRY_VERIFY(oldSymbol.isNull());
    frame->SetActivePage(1);
    QCOMPARE(frame->OutputBar()->Tabs()->currentWidget(), section);
    frame->SetActivePage(7);
    QCOMPARE(frame->OutputBar()->ActivePage(), 1);
  }
};

QTEST_MAIN(MainFrameTest)
#include "mainframe_qtest.moc"
