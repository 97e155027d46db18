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
    QCOMPARE(SplitterDropEdge(false, 500, 10, 390), 390);
    QCOMPARE(SplitterDropEdge(false, -20, 10, 390), 10);
    QCOMPARE(SplitterDropEdge(false, 200, 10, 390), 200);
    QCOMPARE(SplitterDropEdge(true, 400, 10, 290), 280);  // bottom: 10 above the maximum
    QCOMPARE(SplitterDropEdge(true, 286, 10, 290), 280);
    QCOMPARE(SplitterDropEdge(true, 285, 10, 290), 285);
    QCOMPARE(SplitterDropEdge(true, 0, 10, 290), 15);  // top: 5 below the minimum
    QCOMPARE(SplitterDropEdge(true, 15, 10, 290), 15);
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

  void verticalDragStopsAtTheMaximumExactly() {
    Pane p(false);
    QSignalSpy moved(p.bar, &CSplitterBar::Moved);
    Drag(*p.bar, QPoint(1, 5), QPoint(600, 50));
    QCOMPARE(p.bar->x(), 390);
    QCOMPARE(moved.count(), 1);
    QVERIFY(!p.bar->IsDragging());
    QCOMPARE(Right(p.first), 390 + CSplitterBar::kBorderThickness);
    Drag(*p.bar, QPoint(1, 5), QPoint(200, 50));
    QCOMPARE(p.bar->x(), 200);
    QCOMPARE(p.second->x(), 200 + CSplitterBar::kSizingFrameThickness - 1);
    QCOMPARE(Right(p.second), 390);
    QCOMPARE(moved.count(), 2);
  }

  void horizontalDragKeepsClearOfTheEnds() {
    Pane p(true);
    QCOMPARE(p.bar->Minimum(), 10);
    QCOMPARE(p.bar->Maximum(), 290);
    Drag(*p.bar, QPoint(5, 1), QPoint(50, 900));
    QCOMPARE(p.bar->y(), 280);
    QCOMPARE(Bottom(p.first), 280 + CSplitterBar::kBorderThickness);
    Drag(*p.bar, QPoint(5, 1), QPoint(50, -40));
    QCOMPARE(p.bar->y(), 15);
    QCOMPARE(Bottom(p.second), 290);
  }

  void pressOutsideTheBarDoesNothing() {
    Pane p(false);
    QSignalSpy moved(p.bar, &CSplitterBar::Moved);
    const QRect before = p.bar->geometry();
    Mouse(p.bar, QEvent::MouseButtonPress, QPoint(-30, 5), Qt::LeftButton);
    QVERIFY(!p.bar->IsDragging());
    Mouse(p.bar, QEvent::MouseButtonRelease, QPoint(-30, 5), Qt::NoButton);
    QCOMPARE(p.bar->geometry(), before);
    QCOMPARE(moved.count(), 0);
  }

  void releaseWithoutMovingStillMoves() {
    Pane p(false);
    QSignalSpy moved(p.bar, &CSplitterBar::Moved);
    const int left = p.bar->x();
    Mouse(p.bar, QEvent::MouseButtonPress, QPoint(3, 5), Qt::LeftButton);
    QVERIFY(p.bar->IsDragging());
    QCOMPARE(p.bar->TrackingRect().left(), left + 3);  // first tracking step at the mouse
    Mouse(p.bar, QEvent::MouseButtonRelease, QPoint(3, 5), Qt::NoButton);
    QCOMPARE(p.bar->x(), left + 3);
    QCOMPARE(moved.count(), 1);
  }
};

QTEST_MAIN(SplitterBarTest)
#include "splitterbar_qtest.moc"
