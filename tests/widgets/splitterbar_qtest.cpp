// Splitter bar: binding, dragging with its clamping rules, and the notification.
#include <QSignalSpy>
#include <QtTest>

#include "widgets/SplitterBar.h"

using namespace velmora;

namespace {

void Mouse(QWidget* w, QEvent::Type type, QPoint local, Qt::MouseButtons held) {
  const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
  QMouseEvent ev(type, QPointF(local), w->mapToGlobal(QPointF(local)), button, held,
                 Qt::NoModifier);
  QApplication::sendEvent(w, &ev);
}

// Presses at `grab` (bar coordinates), moves to `to` and releases there
// (parent coordinates).
void Drag(CSplitterBar& bar, QPoint grab, QPoint to) {
  Mouse(&bar, QEvent::MouseButtonPress, grab, Qt::LeftButton);
  const QPoint local = bar.mapFromParent(to);
  Mouse(&bar, QEvent::MouseMove, local, Qt::LeftButton);
  Mouse(&bar, QEvent::MouseButtonRelease, local, Qt::NoButton);
}

struct Pane {
  QWidget parent;
  QWidget* first;
  QWidget* second;
  CSplitterBar* bar;
  explicit Pane(bool horizontal) {
    parent.resize(400, 300);
    first = new QWidget(&parent);
    second = new QWidget(&parent);
    if (horizontal) {
      first->setGeometry(10, 10, 380, 100);
      second->setGeometry(10, 110, 380, 180);
    } else {
      first->setGeometry(10, 10, 100, 280);
      second->setGeometry(110, 10, 280, 280);
    }
    bar = new CSplitterBar(&parent, horizontal);
    bar->BindWithControl(first, second);
    parent.show();
  }
};

int Right(const QWidget* w) {
  return w->x() + w->width();
}
int Bottom(const QWidget* w) {
  return w->y() + w->height();
}

}  // namespace

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

  void bindPlacesTheBarOnTheBoundary() {
    Pane p(false);
    const QRect bar = p.bar->geometry();
    QCOMPARE(bar.width(), CSplitterBar::kSizingFrameThickness);
    QCOMPARE(bar.left() + bar.width() / 2, 110);  // centred on the first window's right edge
    QCOMPARE(bar.top(), 10);
    QCOMPARE(bar.height(), 280);
    QCOMPARE(Right(p.first), bar.left() + CSplitterBar::kBorderThickness);
    QCOMPARE(p.second->x(), bar.left() + bar.width() - CSplitterBar::kBorderThickness);
    QCOMPARE(Right(p.second), 390);  // keeps its right edge
    QCOMPARE(p.bar->Minimum(), 10);
    QCOMPARE(p.bar->Maximum(), 390);
  }

  void dragsAreClampedAndNotified() {
    Pane v(false);
    QSignalSpy moved(v.bar, &CSplitterBar::Moved);
    Drag(*v.bar, QPoint(1, 5), QPoint(600, 50));
    QCOMPARE(v.bar->x(), 390);  // stops at the maximum exactly
    QVERIFY(!v.bar->IsDragging());
    QCOMPARE(Right(v.first), 390 + CSplitterBar::kBorderThickness);
    Drag(*v.bar, QPoint(1, 5), QPoint(200, 50));
    QCOMPARE(v.bar->x(), 200);
    QCOMPARE(v.second->x(), 200 + CSplitterBar::kSizingFrameThickness - 1);
    QCOMPARE(Right(v.second), 390);
    QCOMPARE(moved.count(), 2);

    // Horizontal bars keep clear of both ends.
    Pane h(true);
    QCOMPARE(h.bar->Minimum(), 10);
    QCOMPARE(h.bar->Maximum(), 290);
    Drag(*h.bar, QPoint(5, 1), QPoint(50, 900));
    QCOMPARE(h.bar->y(), 280);
    QCOMPARE(Bottom(h.first), 280 + CSplitterBar::kBorderThickness);
    Drag(*h.bar, QPoint(5, 1), QPoint(50, -40));
    QCOMPARE(h.bar->y(), 15);
    QCOMPARE(Bottom(h.second), 290);
  }
};

QTEST_MAIN(SplitterBarTest)
#include "splitterbar_qtest.moc"
