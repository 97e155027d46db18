// Colour label: fade bands, painting, text source and auto-size.
#include <QtTest>

#include "widgets/ColorLabel.h"

using namespace velmora;

namespace {

int CountPixels(const QImage& img, const QColor& c) {
  int n = 0;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if (img.pixelColor(x, y) == c) ++n;
  return n;
}

const FadeBand* BandAt(const std::vector<FadeBand>& bands, int x) {
  for (const FadeBand& b : bands)
    if (x >= b.x && x < b.x + b.width) return &b;
  return nullptr;
}

}  // namespace

class ColorLabelTest : public QObject {
  Q_OBJECT

 private slots:
  void bandsCoverTheWidthFromBlackToBackground_data() {
    QTest::addColumn<int>("width");
    for (int w : {1, 2, 7, 120, 153, 154, 400, 1601})
      QTest::newRow(qPrintable(QString::number(w))) << w;
  }
  void bandsCoverTheWidthFromBlackToBackground() {
    QFETCH(int, width);
    const QColor bg(200, 101, 37);
    const auto bands = ComputeFadeBands(width, bg);
    int x = 0;
    for (const FadeBand& b : bands) {
      QCOMPARE(b.x, x);  // contiguous, no overlap
      QVERIFY(b.width > 0);
      x += b.width;
    }
    QCOMPARE(x, width);
    QCOMPARE(bands.back().colour, bg);
    QCOMPARE(bands.back().x, width * 5 / 6);
    if (width >= 6) {
      QCOMPARE(bands.front().x, 0);
      // Darker towards the left, never lighter.
      for (size_t i = 1; i < bands.size(); ++i)
        QVERIFY(bands[i].colour.red() >= bands[i - 1].colour.red());
    }
  }

  void quarterDarkerHalfwayToTheSplit() {
    // 120 pixels: split 100, bands of 1 pixel; d = 50 at x = 50.
    const QColor bg(200, 101, 37);
    const auto bands = ComputeFadeBands(120, bg);
    const FadeBand* b = BandAt(bands, 50);
    QVERIFY(b);
    QCOMPARE(b->width, 1);
    QCOMPARE(b->colour, QColor(200 - 200 / 4, 101 - 101 / 4, 37 - 37 / 4));
    QCOMPARE(BandAt(bands, 99)->colour.red(), 200 - (1 * 1 * 200) / (100 * 100));
    QCOMPARE(BandAt(bands, 100)->colour, bg);
  }

  void bandWidthGrowsAtSplit128() {
    const QColor bg(192, 192, 192);
    for (int w : {120, 153}) {
      const auto bands = ComputeFadeBands(w, bg);
      QCOMPARE(BandAt(bands, w * 5 / 6 - 1)->width, 1);
    }
    const auto bands = ComputeFadeBands(154, bg);
    QCOMPARE(BandAt(bands, 127)->width, 2);
    QCOMPARE(BandAt(bands, 127)->x, 126);
  }

  void paintsTheFade() {
    CColorLabel label;
    label.resize(120, 20);
    label.SetBkColor(QColor(200, 101, 37), false);
    label.SetFade(true);
    const QImage img = label.grab().toImage();
    QCOMPARE(img.pixelColor(50, 10), QColor(150, 76, 28));
    QCOMPARE(img.pixelColor(110, 10), QColor(200, 101, 37));
    QCOMPARE(img.pixelColor(0, 10), QColor(0, 0, 0));
    label.SetFade(false);
    QCOMPARE(label.grab().toImage().pixelColor(0, 10), QColor(200, 101, 37));
  }

  void drawsStoredTextElseWindowText() {
    CColorLabel label(QStringLiteral("WWWW"));
    label.resize(200, 24);
    const QColor ink(255, 0, 255);
    label.SetTextColor(ink, true);
    label.SetBkColor(QColor(0, 0, 0), true);
    QCOMPARE(label.ShownText(), QStringLiteral("WWWW"));
    const int windowText = CountPixels(label.grab().toImage(), ink);
    QVERIFY(windowText > 0);
    label.SetLabelText(QStringLiteral("WWWWWWWW"));
    QVERIFY(CountPixels(label.grab().toImage(), ink) > windowText);
    label.SetLabelText(QString());
    QCOMPARE(CountPixels(label.grab().toImage(), ink), windowText);
    // The draw-text flag comes with either colour setter.
    label.SetBkColor(QColor(0, 0, 0), false);
    QCOMPARE(CountPixels(label.grab().toImage(), ink), 0);
  }

  void autoSizeFitsOneLine() {
    CColorLabel label(QStringLiteral("Calculate Micro Time ..."));
    label.resize(10, 3);
    label.SetAutoSize(true);
    const QFontMetrics fm(label.font());
    const QRect r = label.PaintRect();
    QCOMPARE(r.height(), fm.height());
    QCOMPARE(r.width(), fm.horizontalAdvance('A') * 24);
    // Large enough already: the stored rectangle is the client area.
    label.show();
    label.resize(600, 60);
    QCOMPARE(label.PaintRect(), label.rect());
  }
};

QTEST_MAIN(ColorLabelTest)
#include "colorlabel_qtest.moc"
