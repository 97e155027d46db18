// Colour label: the fade bands and their painting.
#include <QtTest>

#include "widgets/ColorLabel.h"

using namespace velmora;

namespace {

const FadeBand& BandAt(const std::vector<FadeBand>& bands, int x) {
  for (const FadeBand& b : bands)
    if (x >= b.x && x < b.x + b.width) return b;
  static const FadeBand none{};
  return none;
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
    for (size_t i = 0; i < bands.size(); ++i) {
      QCOMPARE(bands[i].x, x);  // contiguous, no overlap
      QVERIFY(bands[i].width > 0);
      x += bands[i].width;
      if (i > 0) QVERIFY(bands[i].colour.red() >= bands[i - 1].colour.red());  // never lighter
    }
    QCOMPARE(x, width);
    QCOMPARE(bands.back().colour, bg);
    QCOMPARE(bands.back().x, width * 5 / 6);
  }

  void bandColoursAndWidths() {
    // 120 pixels: split at 100, bands of 1 pixel, a quarter darker half-way.
    const QColor bg(200, 101, 37);
    const auto bands = ComputeFadeBands(120, bg);
    QCOMPARE(BandAt(bands, 50).width, 1);
    QCOMPARE(BandAt(bands, 50).colour, QColor(200 - 200 / 4, 101 - 101 / 4, 37 - 37 / 4));
    QCOMPARE(BandAt(bands, 99).colour.red(), 200 - 200 / (100 * 100));
    QCOMPARE(BandAt(bands, 100).colour, bg);
    // Bands grow to two pixels once the split reaches 128.
    QCOMPARE(BandAt(ComputeFadeBands(153, bg), 126).width, 1);
    const auto wide = ComputeFadeBands(154, bg);
    QCOMPARE(BandAt(wide, 127).width, 2);
    QCOMPARE(BandAt(wide, 127).x, 126);
  }

  void paintsTheFade() {
    CColorLabel label;
    label.resize(120, 24);
    label.SetBkColor(QColor(200, 101, 37), false);
    label.SetFade(true);
    QImage img = label.grab().toImage();
    QCOMPARE(img.pixelColor(50, 10), QColor(150, 76, 28));
    QCOMPARE(img.pixelColor(110, 10), QColor(200, 101, 37));
    QCOMPARE(img.pixelColor(0, 10), QColor(0, 0, 0));
    label.SetFade(false);
    QCOMPARE(label.grab().toImage().pixelColor(0, 10), QColor(200, 101, 37));
  }
};

QTEST_MAIN(ColorLabelTest)
#include "colorlabel_qtest.moc"
