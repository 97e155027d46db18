// The main window: menus, key texts against the keys that really run the
// commands, toolbar, status prompts and panes, stored layouts, closing,
// resizing under monitoring, tagged text; the symbol and section panes.
#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStyleOptionMenuItem>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>
#include <memory>
#include <set>

#include "image/ProgramImage.h"
#include "shell/Commands.h"
#include "shell/LeftView.h"
#include "shell/MainFrame.h"
#include "shell/MessageWnd.h"
#include "shell/SectionPane.h"
#include "shell/TabViewBar.h"
#include "widgets/HexEditBase.h"

using namespace velmora;

namespace {

// Exposes the text a menu really draws for an item.
class ProbeMenu : public QMenu {
 public:
  QString DrawnText(QAction* action) {
    QStyleOptionMenuItem option;
    initStyleOption(&option, action);
    return option.text;
  }
};

QList<int> Ids(const QList<QAction*>& actions) {
  QList<int> ids;
  for (QAction* a : actions) ids << (a->isSeparator() ? 0 : a->data().toInt());
  return ids;
}

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
  void Inform(CMainFrame&, const QString& text) override { calls << "inform " + text; }
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

bool ShowsImage(QLabel* label, const char* resource) {
  const QImage want = QPixmap(QString::fromLatin1(resource)).toImage();
  return !want.isNull() && label->pixmap().toImage().convertToFormat(want.format()) == want;
}

class RecordingPaneHost : public SymbolPaneHost {
 public:
  bool monitoring = false;
  std::set<std::string> registered;
  QStringList calls;

  bool VariableMonitoring() override { return monitoring; }
  void StopMonitoring(int mode) override { calls << QStringLiteral("stop %1").arg(mode); }
  void StartMonitoring(int mode) override { calls << QStringLiteral("start %1").arg(mode); }
  void UpdateResolvedVariables() override { calls << "update"; }
  bool IsVariableRegistered(const std::string& name) override { return registered.count(name); }
  void AddSymbolVariable(const std::string& name) override {
    calls << QString::fromStdString("add " + name);
  }
  void OpenCoffFile() override { calls << "open"; }
  void DeleteAllSymbols() override { calls << "delete"; }
  bool ProcedureRunning() override { return procedure; }
  bool procedure = false;
};

CDataObject Symbol(const char* name, uint32_t address, uint16_t type, const char* array = "") {
  CDataObject o;
  o.name = name;
  o.address = address;
  o.typeCode = type;
  o.arrayText = array;
  return o;
}

QStringList Row(const CLeftView& pane, int row) {
  QStringList cells;
  for (int c = 0; c < 4; ++c) cells << pane.Text(row, c);
  return cells;
}

QAction* Action(QMenu& menu, int id) {
  for (QAction* a : menu.actions())
    if (a->data().toInt() == id) return a;
  return nullptr;
}

// Two sections in a reset image: 3 words at 0x809800 and 2 words at 0x200000.
ProgramData TwoSections() {
  ProgramData p;
  ResetProgramImage(p.image);
  const uint32_t words[] = {8,          0x8F8, 3,        0x809800,   0x11223344, 0x55667788,
                            0x99AABBCC, 2,     0x200000, 0xDEADBEEF, 0x01020304, 0};
  std::copy(std::begin(words), std::end(words), p.image.words.begin());
  p.image.sectionCount = 2;
  p.image.dataByteCount = 5 * 4;
  p.image.imageByteCount = 12 * 4;
  p.sections = {{".text", 3, 0x809800, 4}, {".data", 2, 0x200000, 9}};
  return p;
}

uint32_t WordAt(const CHexEditBase& hex, int index) {
  const QByteArray bytes = hex.Data();
  uint32_t w = 0;
  for (int b = 3; b >= 0; --b) w = (w << 8) | static_cast<uint8_t>(bytes[4 * index + b]);
  return w;
}

// The hex view's base address, length and first word, as "809800 12 11223344".
QString View(const CHexEditBase& hex) {
  return QString::asprintf("%X %u %08X", hex.BaseAddress(), hex.DataLength(), WordAt(hex, 0));
}

}  // namespace

class MainFrameTest : public QObject {
  Q_OBJECT
  AppSettings settings_;
  CMainFrame* frame_ = nullptr;

 private slots:
  void initTestCase() {
    frame_ = new CMainFrame(settings_);
    frame_->show();
    QVERIFY(QTest::qWaitForWindowExposed(frame_));
    frame_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(frame_));
  }
  void cleanupTestCase() { delete frame_; }

  void menusShowTheirItemsWithKeyTexts() {
    QStringList titles, file, action;
    for (QAction* a : frame_->menuBar()->actions()) titles << a->text();
    QCOMPARE(titles, QStringList({"File(&F)", "Action(&A)", "Configure(&C)", "View(&V)", "Tool(&T)",
                                  "Help(&H)"}));
    for (QAction* a : frame_->FileMenu()->actions())
      if (!a->isSeparator()) file << a->text();
    QCOMPARE(file, QStringList({"Open COFF File(&O)...\tCtrl+O", "Reload COFF File(&R)\tShift+R",
                                "Open Symbol File(&O)...\tShift+O",
                                "Save Symbol File(&S)...\tShift+S", "Recent File", "Exit(&X)"}));
    QVERIFY(!frame_->Command(cmd::kRecentFile)->isEnabled());
    for (QAction* a : frame_->Popup(1)->actions())
      if (!a->isSeparator()) action << a->text().section('\t', 1);
    QCOMPARE(action,
             QStringList({"F1", "F2", "F3", "F4", "F5", "F6", "Ctrl+R", "Ctrl+V", "Ctrl+A"}));
    QCOMPARE(frame_->Command(cmd::kRomBootVerify)->text(),
             QStringLiteral("Rom Boot && Verify\tF4"));
  }

  // The Rom keys shown in the menu are not the keys that run them; everywhere
  // else the key shown is the key that runs.
  void keysRunTheTableNotTheCaption() {
    const struct {
      int id;
      const char* shown;
      Qt::Key key;
      Qt::KeyboardModifiers mods;
    } rows[] = {{cmd::kRomBootVerify, "F4", Qt::Key_F6, Qt::NoModifier},
                {cmd::kRomVerify, "F5", Qt::Key_F4, Qt::NoModifier},
                {cmd::kRomRead, "F6", Qt::Key_F5, Qt::NoModifier},
                {cmd::kSerialBoot, "F1", Qt::Key_F1, Qt::NoModifier},
                {cmd::kTargetReset, "Ctrl+R", Qt::Key_R, Qt::ControlModifier},
                {cmd::kRegisterUserTools, "Shift+C", Qt::Key_C, Qt::ShiftModifier},
                {cmd::kOpenCoffFile, "Ctrl+O", Qt::Key_O, Qt::ControlModifier}};
    for (const auto& r : rows) {
      QCOMPARE(MenuKeyText(r.id), QString::fromLatin1(r.shown));
      QSignalSpy spy(frame_->Command(r.id), &QAction::triggered);
      QTest::keyClick(frame_, r.key, r.mods);
      QCOMPARE(spy.count(), 1);
    }
    for (const CommandSpec& spec : CommandTable()) {
      if (!*spec.shortcut || spec.id == cmd::kRomBootVerify || spec.id == cmd::kRomVerify ||
          spec.id == cmd::kRomRead)
        continue;
      QCOMPARE(QKeySequence(MenuKeyText(spec.id)),
               QKeySequence(QString::fromLatin1(spec.shortcut)));
    }
  }

  void qtAddsNoKeyTextOfItsOwn() {
    ProbeMenu menu;
    for (int id : {cmd::kRomRead, cmd::kOpenCoffFile, cmd::kConfiguration}) {
      QAction* action = frame_->Command(id);
      QVERIFY(!action->shortcut().isEmpty());
      const QString drawn = menu.DrawnText(action);
      QCOMPARE(drawn, action->text());
      QCOMPARE(drawn.count('\t'), 1);
    }
  }

  void toolbarOrderAndHiddenToolSlots() {
    QCOMPARE(Ids(frame_->ToolBar()->actions()),
             QList<int>({57601, 32778, 32779, 32780, 0,     32783, 32792, 32803,
                         0,     32805, 32804, 32807, 32801, 32802, 0,     32808,
                         32772, 57664, 0,     32773, 32774, 32775, 32776, 32777}));
    for (int n = 0; n < cmd::kUserToolCount; ++n)
      QVERIFY(!frame_->Command(cmd::kUserTool1 + n)->isVisible());
    // The separator in front of the tool slots appears with the first tool.
    QAction* lastSeparator = frame_->ToolBar()->actions().at(18);
    QVERIFY(!lastSeparator->isVisible());
    frame_->Command(cmd::kUserTool1)->setVisible(true);
    QVERIFY(lastSeparator->isVisible());
    frame_->Command(cmd::kUserTool1)->setVisible(false);
    QVERIFY(!lastSeparator->isVisible());
    QVERIFY(!frame_->Command(cmd::kOpenCoffFile)->icon().isNull());
  }

  void hoveringShowsThePromptInPaneZero() {
    QWidget* button = frame_->ToolBar()->widgetForAction(frame_->Command(cmd::kRomRead));
    QTest::mouseMove(button, button->rect().center());
    QTRY_COMPARE(frame_->statusBar()->currentMessage(), QStringLiteral("Read data in flash rom"));
    QTest::mouseMove(frame_->centralWidget(), frame_->centralWidget()->rect().center());
    QTRY_COMPARE(frame_->statusBar()->currentMessage(), QString());
    // Highlighting a menu item does the same.
    QMenu* action = frame_->Popup(1);
    action->popup(frame_->mapToGlobal(QPoint(40, 40)));
    QVERIFY(QTest::qWaitForWindowExposed(action));
    action->setActiveAction(frame_->Command(cmd::kTargetReset));
    QTRY_COMPARE(frame_->statusBar()->currentMessage(), QStringLiteral("Reset target borad"));
    action->close();
  }

  void statusPanes() {
    AppSettings settings;
    settings.dspType = kTMS320C33;
    settings.bootType = kBoot2;
    RecordingHost host;
    CMainFrame frame(settings);
    frame.SetHost(&host);
    frame.InitStatusBar();
    QStringList texts;
    for (int id : {pane::kMessage, pane::kDspType, pane::kProgramSize, pane::kBootType})
      texts << frame.StatusPaneText(id);
    QCOMPARE(texts, (QStringList{"Ready", "TMS320C33", "0x000000 Words", "BOOT2"}));
    QVERIFY(host.calls.contains(QStringLiteral("reset console")));
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    // Left to right, each at least as wide as its text needs.
    int x = -1;
    for (const auto& [id, width] : {std::pair{pane::kDspType, 80},
                                    {pane::kProgramSize, 96},
                                    {pane::kBootType, 53},
                                    {pane::kMonitoringLamp, 32}}) {
      QVERIFY(frame.StatusPane(id)->width() >= width);
      QVERIFY(frame.StatusPane(id)->mapTo(&frame, QPoint()).x() > x);
      x = frame.StatusPane(id)->mapTo(&frame, QPoint()).x();
    }
    // The lamp shows pictures, never text; unknown ids change nothing.
    QLabel* lamp = frame.StatusPane(pane::kMonitoringLamp);
    QVERIFY(!frame.IsLampOn() && ShowsImage(lamp, ":/images/lamp_off.png"));
    frame.SetStatusPane(pane::kMonitoringLamp, QStringLiteral("ignored"), true);
    QVERIFY(frame.IsLampOn() && ShowsImage(lamp, ":/images/lamp_on.png"));
    QCOMPARE(lamp->text(), QString());
    frame.SetStatusPane(12345, QStringLiteral("x"));
    QCOMPARE(frame.StatusPaneText(pane::kDspType), QStringLiteral("TMS320C33"));
  }

  // The first run is centred with default panes; what closing stores comes
  // back at the next start, maximised included.
  void layoutsRoundTripThroughTheSettings() {
    AppSettings settings;  // nothing stored: FirstSetup 0
    {
      auto frame = ShowFrame(settings);
      QCOMPARE(frame->size(), QSize(800, 600));
      const QPoint centre = frame->screen()->availableGeometry().center();
      QVERIFY((frame->geometry().center() - centre).manhattanLength() <= 2);
      QTRY_COMPARE(frame->OuterSplitter()->sizes().value(0), 400);
      QTRY_COMPARE(frame->InnerSplitter()->sizes().value(0), 200);
      // Output bar: docked at the bottom, a sixth of the client height.
      CTabViewBar* bar = frame->OutputBar();
      QCOMPARE(frame->dockWidgetArea(bar), Qt::BottomDockWidgetArea);
      QCOMPARE(bar->InitialSize(), QSize(800 / 4, (600 - frame->menuBar()->height()) / 6));
      frame->setGeometry(30, 40, 800, 600);
      frame->InnerSplitter()->setSizes({120, 300});
      frame->resizeDocks({bar}, {150}, Qt::Vertical);
      QTRY_COMPARE(bar->height(), 150);
      frame->close();
    }
    QCOMPARE(QList<int>({settings.leftPaneWidth, settings.rightPaneHeight, settings.msgWndCY,
                         settings.left, settings.right - settings.left}),
             QList<int>({400, 120, 150, 30, 800}));
    settings.firstSetup = 1;  // as the application stores at exit
    {
      auto frame = ShowFrame(settings);
      QCOMPARE(frame->geometry().topLeft(), QPoint(30, 40));  // not centred now
      QCOMPARE(frame->OutputBar()->InitialSize().height(), 150);
      QTRY_COMPARE(frame->InnerSplitter()->sizes().value(0), 120);
      // The left column keeps its width when the window grows.
      frame->resize(900, 650);
      QTRY_COMPARE(frame->OuterSplitter()->sizes().value(0), 400);
      frame->OuterSplitter()->setSizes({310, 500});
      frame->close();
    }
    QCOMPARE(settings.leftPaneWidth, 310);
    settings.showCmd = kShowMaximized;  // comes back maximised, keeping the normal rectangle
    {
      auto frame = ShowFrame(settings);
      QTRY_VERIFY(frame->isMaximized());
      frame->close();
    }
    QCOMPARE(settings.showCmd, kShowMaximized);
    QCOMPARE(QRect(settings.left, settings.top, settings.right - settings.left, 650),
             QRect(30, 40, 900, 650));
    // A rectangle left on a screen that is gone comes back onto this one.
    settings.showCmd = kShowNormal;
    settings.left = 5000;
    settings.right = 5800;
    auto lost = ShowFrame(settings);
    QVERIFY(lost->screen()->availableGeometry().intersects(lost->geometry()));
  }

  void closeClearsMonitoringAndReportsALinkFailure() {
    AppSettings settings;
    for (bool closeOk : {false, true}) {
      RecordingHost host;
      host.closeOk = closeOk;
      auto frame = ShowFrame(settings, &host);
      host.calls.clear();
      if (closeOk)
        frame->Command(cmd::kExit)->trigger();
      else
        QVERIFY(frame->close());
      QStringList expected{"clear", "close link"};
      if (!closeOk) expected << "inform Failed to close USB Handle";
      QCOMPARE(host.calls, expected);
      QVERIFY(!frame->isVisible());
    }
  }

  // A resize pauses and restarts what runs, as one mode.
  void resizePausesTheRunningMonitoring() {
    AppSettings settings;
    RecordingHost host;
    auto frame = ShowFrame(settings, &host);
    const std::pair<MonitoringFlags, const char*> cases[] = {
        {{true, false, true}, "stop 2,start 2"},
        {{true, true, false}, "stop 1,start 1"},
        {{true, true, true}, "stop 4,start 4"},
        {{false, true, true}, ""},
        {{true, false, false}, ""}};
    for (const auto& [flags, calls] : cases) {
      host.flags = flags;
      host.calls.clear();
      const QSize target(frame->width() - 20, frame->height() - 10);
      frame->resize(target);
      QTRY_COMPARE(frame->size(), target);
      QCOMPARE(host.calls.join(u','), QString::fromLatin1(calls));
    }
  }

  void taggedTextReachesTheMessageWindow() {
    AppSettings settings;
    CMainFrame frame(settings);
    // Text from other programs reaches the message window with tag 819 only.
    frame.HandleCopyData(818, QStringLiteral("wrong tag"));
    QVERIFY(frame.MessageWindow()->IsEmpty());
    frame.HandleCopyData(CMainFrame::kOutputTextTag, QStringLiteral("from a tool"));
    QCOMPARE(frame.MessageWindow()->toPlainText(), QStringLiteral("from a tool"));
  }

  void fillShowsTheRowsAndPausesTheVariableMonitor() {
    CLeftView pane;
    RecordingPaneHost host;
    pane.SetHost(&host);
    pane.Fill({Symbol("beta", 0x809C00, 4), Symbol("Alpha", 0x12, 0, "Array Info : [4]"),
               Symbol("alpha2", 0xABCDEF, 0x36, "Array Info : [3]")});
    // Sorted without regard to case; basic type 0 shows no type and no array text.
    QCOMPARE(Row(pane, 0), (QStringList{"Alpha", "0x000012", "", ""}));
    QCOMPARE(Row(pane, 1),
             (QStringList{"alpha2", "0xABCDEF", "Array of Floating point", "Array Info : [3]"}));
    QCOMPARE(Row(pane, 2), (QStringList{"beta", "0x809C00", "Integer", ""}));
    QVERIFY(!pane.horizontalHeader()->sectionsClickable());  // the order is fixed
    QCOMPARE(host.calls, QStringList{"update"});
    // A running variable monitor is paused around the update.
    host.calls.clear();
    host.monitoring = true;
    pane.Fill({Symbol("x", 1, 4)});
    QCOMPARE(host.calls, (QStringList{"stop 1", "update", "start 1"}));
    // An empty table empties the pane and asks nothing.
    host.calls.clear();
    pane.Fill({});
    QCOMPARE(pane.RowCount(), 0);
    QVERIFY(host.calls.isEmpty());
  }

  // The context menu: "Open COFF File..." for an empty pane, "Add Symbol
  // List" for a selection, "Delete All Items" for rows; the last two not
  // while a procedure works from the program. "Add Symbol List" adds the
  // selection from top to bottom, skipping what is registered.
  void contextMenuFollowsRowsAndSelection() {
    CLeftView pane;
    RecordingPaneHost host;
    pane.SetHost(&host);
    auto enabling = [&] {
      const std::unique_ptr<QMenu> menu = pane.BuildContextMenu();
      QString on;
      for (int id : {kCmdOpenCoffFromPane, kCmdAddSymbolList, kCmdDeleteAllItems})
        on += Action(*menu, id)->isEnabled() ? u'1' : u'0';
      return on;
    };
    QCOMPARE(enabling(), QStringLiteral("100"));
    Action(*pane.BuildContextMenu(), kCmdOpenCoffFromPane)->trigger();
    pane.Fill({Symbol("gamma", 3, 4), Symbol("alpha", 1, 4), Symbol("beta", 2, 4)});
    QCOMPARE(enabling(), QStringLiteral("001"));
    host.calls.clear();
    host.registered = {"gamma"};
    for (int row : {2, 0})
      pane.selectionModel()->select(pane.model()->index(row, 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QCOMPARE(enabling(), QStringLiteral("011"));
    host.procedure = true;
    QCOMPARE(enabling(), QStringLiteral("010"));
    host.procedure = false;
    QCOMPARE(pane.SelectedNames(), (QStringList{"alpha", "gamma"}));
    Action(*pane.BuildContextMenu(), kCmdAddSymbolList)->trigger();
    Action(*pane.BuildContextMenu(), kCmdDeleteAllItems)->trigger();
    QCOMPARE(host.calls, (QStringList{"add alpha", "delete"}));
    QCOMPARE(pane.RowCount(), 0);
    QCOMPARE(enabling(), QStringLiteral("100"));
  }

  void showsSectionsFlashImagesAndNothingThatIsGone() {
    ProgramData p = TwoSections();
    CSectionPane pane(p);
    CHexEditBase& hex = *pane.HexView();
    QCOMPARE(hex.DataLength(), kImageBytes);  // before any fill: the whole image
    pane.resize(600, 200);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    pane.Fill();
    QCOMPARE(pane.RowCount(), 2);
    QCOMPARE(pane.Text(0, 2), QStringLiteral("0x000003 Words"));
    QCOMPARE(pane.SelectedRow(), 0);
    QCOMPARE(View(hex), QStringLiteral("809800 12 11223344"));
    QTableWidget& list = *pane.List();
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {},
                       list.visualItemRect(list.item(1, 0)).center());
    QCOMPARE(View(hex), QStringLiteral("200000 8 DEADBEEF"));
    // The view keeps its own copy: later image changes show only on the next show.
    p.image.words[9] = 0x12345678;
    QCOMPARE(WordAt(hex, 0), 0xDEADBEEFu);
    pane.ShowSection(1);
    QCOMPARE(WordAt(hex, 0), 0x12345678u);
    // Clear goes back to the whole image; with no rows a flash image shown stays.
    pane.Clear();
    QCOMPARE(pane.RowCount(), 0);
    QCOMPARE(hex.DataLength(), kImageBytes);
    pane.ShowImageData(p.image.imageByteCount, 0x1000);
    pane.Clear();
    QCOMPARE(View(hex), QStringLiteral("1000 48 00000008"));
    // Rows whose sections were deleted show nothing; an empty list keeps the view.
    pane.Fill();
    pane.ShowSection(1);
    const QByteArray shown = hex.Data();
    p.sections.clear();
    pane.ShowSection(0);
    pane.Fill();
    QCOMPARE(pane.RowCount(), 0);
    QCOMPARE(hex.Data(), shown);
    // A section that claims more words than the image holds is cut at its end.
    p.sections = {{".big", 0xFFFFFF, 0, kImageWords - 2}};
    pane.Fill();
    QCOMPARE(hex.DataLength(), 8u);
  }
};

QTEST_MAIN(MainFrameTest)
#include "mainframe_qtest.moc"
