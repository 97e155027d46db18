// The command table as the user meets it: menus, key texts against the keys
// that really run the commands, toolbar order, tooltips and status prompts.
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QStyleOptionMenuItem>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>

#include "shell/Commands.h"
#include "shell/MainFrame.h"

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

}  // namespace

class CommandsTest : public QObject {
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
};

QTEST_MAIN(CommandsTest)
#include "commands_qtest.moc"
