// Splitter bar: binding, dragging with its clamping rules, and the notification.
#include <QSignalSpy>
#include <QtTest>

#include "widgets/SplitterBar.h"

using namespace velmora;

class SplitterBarTest : public QObject {
  Q_OBJECT

 private slots:
  void dropEdgeRules() {
    const struct {
      bool horizontal;
      int requested, expected;
    } cases[] = {{false, 500, 390}, {false, -20, 10}, {false, 200, 200},
                 {true, 400, 280},  // bottom: 10 above the maximum
                 {true, 286, 280},  {true, 285, 285}, {true, 0, 15},  // top: 5 below the minimum
                 {true, 15, 15}};
    for (const auto& c : cases)
      QCOMPARE(SplitterDropEdge(c.horizontal, c.requested, 10, c.horizontal ? 290 : 390),
               c.expected);
  }

  void bindsOnTheBoundaryAndDragsWithinItsLimits() {
    QWidget parent;
    parent.resize(400, 300);
    auto* first = new QWidget(&parent);
    auto* second = new QWidget(&parent);
    first->setGeometry(10, 10, 100, 280);
    second->setGeometry(110, 10, 280, 280);
    auto* bar = new CSplitterBar(&parent, false);
    bar->BindWithControl(first, second);
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    // Centred on the first window's right edge, as tall as the windows.
    const int thick = CSplitterBar::kSizingFrameThickness, border = CSplitterBar::kBorderThickness;
    QCOMPARE(bar->geometry(), QRect(110 - thick / 2, 10, thick, 280));
    QCOMPARE(first->geometry().right() + 1, bar->x() + border);
    QCOMPARE(second->x(), bar->x() + thick - border);
    QCOMPARE(second->geometry().right() + 1, 390);  // keeps its right edge
    QCOMPARE(bar->Minimum(), 10);
    QCOMPARE(bar->Maximum(), 390);

    QSignalSpy moved(bar, &CSplitterBar::Moved);
    for (const auto& [to, expected] : {std::pair{600, 390}, {200, 200}}) {
      const QPoint grab(1, 5), drop = bar->mapFromParent(QPoint(to, 50));
      QTest::mousePress(bar, Qt::LeftButton, {}, grab);
      QTest::mouseMove(bar, drop);
      QTest::mouseRelease(bar, Qt::LeftButton, {}, drop);
      QCOMPARE(bar->x(), expected);  // stops at the maximum exactly
      QVERIFY(!bar->IsDragging());
      QCOMPARE(first->geometry().right() + 1, expected + border);
      QCOMPARE(second->x(), expected + thick - 1);
      QCOMPARE(second->geometry().right() + 1, 390);
    }
    QCOMPARE(moved.count(), 2);
  }
};

QTEST_MAIN(SplitterBarTest)
#include "splitterbar_qtest.moc"
