// The widgets: the hex view's layout arithmetic, row texts, navigation and
// scrolling; where the splitter bar drops; the colour label's faded bands.
#include <QScrollBar>
#include <QSignalSpy>
#include <QWheelEvent>
#include <QtTest>
#include <vector>

#include "widgets/ColorLabel.h"
#include "widgets/HexEditBase.h"
#include "widgets/SplitterBar.h"

using namespace velmora;

namespace {

std::vector<uint8_t> Bytes(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 7 + 1);
  return v;
}

// A widget-free layout with simple metrics: characters 8 wide, lines 16 high.
HexLayoutInput Input(int width, int height, uint32_t length, uint32_t bytesPerRow = 16) {
  HexLayoutInput in;
  in.clientWidth = width;
  in.clientHeight = height;
  in.dataLength = length;
  in.bytesPerRow = bytesPerRow;
  return in;
}

constexpr int kWhereGrabbed = -1000;

void SendWheel(CHexEditBase& hex, int delta) {
  const QPointF pos(10, 10);
  QWheelEvent ev(pos, hex.viewport()->mapToGlobal(pos), QPoint(), QPoint(0, delta), Qt::NoButton,
                 Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(hex.viewport(), &ev);
}

}  // namespace

class WidgetsTest : public QObject {
  Q_OBJECT
  // A shown control whose client area is exactly w x h with no bars, showing
  // `data` eight bytes to a row (or auto-fitted).
  void Place(CHexEditBase& hex, int w, int h, const std::vector<uint8_t>& data,
             bool autoFit = false) {
    hex.SetBytesPerRow(8, autoFit, false);
    hex.resize(w + 2 * hex.frameWidth(), h + 2 * hex.frameWidth());
    hex.show();
    QVERIFY(QTest::qWaitForWindowExposed(&hex));
    hex.SetData(data.data(), static_cast<uint32_t>(data.size()), true, 0);
    hex.UpdateScrollBars();
  }

 private slots:
  void rowTexts() {
    const uint8_t group[8] = {0x01, 0x02, 0x03, 0x04, 0xAB, 0xCD, 0xEF, 0x10};
    QCOMPARE(FormatHexWords(group, 8, 8), QString("04030201 10EFCDAB"));
    // A short last group keeps its place: missing high bytes are blank.
    QCOMPARE(FormatHexWords(group, 6, 8), QString("04030201     CDAB"));
    const uint8_t chars[5] = {'A', 0x00, 'z', 0x7F, 0xE9};
    QCOMPARE(FormatHexCharacters(chars, 5), QString("A.z.."));
    // Rows of 8 bytes are two words apart; short addresses are padded, long ones not cut.
    QCOMPARE(FormatHexAddress(HexRowAddress(0x809800, 1, 8), 6), QString("809802"));
    QCOMPARE(FormatHexAddress(0x1F, 6), QString("00001F"));
    QCOMPARE(FormatHexAddress(0x1234567, 6), QString("1234567"));
  }

  void autoFitPicksWholeUnits_data() {
    QTest::addColumn<bool>("chars");
    QTest::addColumn<int>("availableChars");
    QTest::addColumn<uint32_t>("expected");
    QTest::newRow("chars, 27 widths") << true << 27 << 8u;
    QTest::newRow("chars, 25 widths") << true << 25 << 4u;
    QTest::newRow("chars, 52 widths") << true << 52 << 16u;
    QTest::newRow("no chars, 27 widths") << false << 27 << 12u;
    QTest::newRow("no chars, 9 widths") << false << 9 << 4u;
    QTest::newRow("narrower than the address") << true << -6 << 4u;
  }
  void autoFitPicksWholeUnits() {
    QFETCH(bool, chars);
    QFETCH(int, availableChars);
    QFETCH(uint32_t, expected);
    HexLayoutInput in = Input(0, 200, 4096, 8);
    in.autoFit = in.showAddress = true;
    in.addressDigits = 6;
    in.showCharacters = chars;
    in.clientWidth = 6 * 8 + 5 + (chars ? 5 : 0) + availableChars * 8;
    const HexLayout l = ComputeHexLayout(in);
    QCOMPARE(l.bytesPerRow, expected);
    QCOMPARE(l.charColumnWidth, chars ? static_cast<int>(expected) * 8 : 0);
    // What fits needs no horizontal bar; four bytes that do not fit scroll sideways.
    const HexScrollBarState h = HorizontalScrollState(l, in.clientWidth);
    QCOMPARE(h.visible, availableChars < 0);
    if (h.visible) QCOMPARE(h.maximum, l.lastHorizontalOffset + in.clientWidth - 1);
  }

  void rowsAndClamping() {
    HexLayoutInput in = Input(800, 10 * 16 + 3, 8 * 10, 8);
    HexLayout l = ComputeHexLayout(in);
    QCOMPARE(l.fullRows, 10);
    QCOMPARE(l.rowsShown, 11);
    QVERIFY(!VerticalScrollState(l).visible);  // ten rows of data fit the ten full rows
    in.dataLength += 1;
    l = ComputeHexLayout(in);
    QCOMPARE(l.totalRows, int64_t{11});
    const HexScrollBarState v = VerticalScrollState(l);
    QVERIFY(v.visible && v.maximum == 10 && v.page == 10);
    // Offsets asked beyond the ends are clamped.
    in.clientWidth = 40;
    in.horizontalOffset = 100000;
    in.topRow = -5;
    l = ComputeHexLayout(in);
    QCOMPARE(l.horizontalOffset, l.lastHorizontalOffset);
    QVERIFY(l.lastHorizontalOffset > 0);
    QCOMPARE(l.topRow, int64_t{0});
  }

  void caretMovesByNibbleAndRow() {
    const uint32_t len = 64;
    const struct {
      HexKey key;
      uint32_t offset;
      bool low;
    } steps[] = {{HexKey::Left, 4, true},
                 {HexKey::Left, 4, false},
                 {HexKey::Right, 4, true},
                 {HexKey::Right, 5, false},
                 {HexKey::PageDown, 5 + 32, false},
                 {HexKey::Down, 5 + 40, false},
                 {HexKey::PageDown, len - 1, false},  // clamped at the last byte
                 {HexKey::End, len - 1, true},
                 {HexKey::Home, 0, false}};
    HexCaret c{5, false};
    for (const auto& s : steps) {
      c = MoveCaret(c, s.key, 8, 5, len);
      QCOMPARE(c.offset, s.offset);
      QCOMPARE(c.lowNibble, s.low);
    }
    c = MoveCaret({3, true}, HexKey::Up, 8, 5, len);
    QCOMPARE(c.offset, 0u);
    QVERIFY(c.lowNibble);
  }

  void wheelAndKeysScroll() {
    CHexEditBase hex;
    Place(hex, 600, 10 * hex.LineHeight(), Bytes(8 * 100 + 4));
    hex.SetTopRow(50);
    // A notch (120) moves one row; half notches add up.
    for (const auto& [delta, top] : {std::pair{240, 48}, {-120, 49}, {60, 49}, {60, 48}}) {
      SendWheel(hex, delta);
      QCOMPARE(hex.TopRow(), int64_t{top});
    }
    hex.SetTopRow(1);
    SendWheel(hex, 1200);
    QCOMPARE(hex.TopRow(), int64_t{0});

    QTest::keyClick(&hex, Qt::Key_End);
    QVERIFY(hex.Caret().offset == 8u * 100 + 3 && hex.TopRow() == 101 - 10);
    QTest::keyClick(&hex, Qt::Key_Home);
    QCOMPARE(hex.TopRow(), int64_t{0});
    QTest::keyClick(&hex, Qt::Key_PageDown);
    QCOMPARE(hex.Caret().offset, static_cast<uint32_t>((hex.Layout().rowsShown - 1) * 8));
    QCOMPARE(hex.TopRow(), int64_t{0});  // still on screen
    QTest::keyClick(&hex, Qt::Key_PageDown);
    QVERIFY(hex.TopRow() > 0);
    // An empty control ignores input.
    CHexEditBase empty;
    Place(empty, 300, 200, {});
    QTest::keyClick(&empty, Qt::Key_End);
    SendWheel(empty, -240);
    QVERIFY(empty.TopRow() == 0 && empty.Caret().offset == 0);
  }

  void keepsItsOwnCopyAndScrollsAWholeImageToItsEnd() {
    CHexEditBase hex;
    std::vector<uint8_t> data = Bytes(32);
    hex.SetData(data.data(), 32, false, 0x40);
    data[0] = 0xEE;
    QCOMPARE(static_cast<uint8_t>(hex.Data()[0]), Bytes(1)[0]);
    QCOMPARE(hex.BaseAddress(), 0x40u);
    QByteArray image(16 * 1024 * 1024, '\xFF');
    hex.SetShowAddress(true, false);
    hex.SetShowCharacters(true, false);
    hex.SetData(image, false, 0);
    image[0] = 0;
    QCOMPARE(static_cast<uint8_t>(hex.Data()[0]), uint8_t{0xFF});
    hex.resize(500, 300);
    hex.show();
    QVERIFY(QTest::qWaitForWindowExposed(&hex));
    QTest::keyClick(&hex, Qt::Key_End);
    const HexLayout& l = hex.Layout();
    QCOMPARE(hex.TopRow(), l.lastTopRow);
    QVERIFY((l.lastTopRow + l.fullRows) * l.bytesPerRow >= int64_t{image.size()});
    QCOMPARE(int64_t{hex.verticalScrollBar()->value()}, l.lastTopRow);
  }

  // A drag ends where the button is released: a vertical bar within its
  // range, a horizontal one 5 pixels clear of the top and 10 short of the
  // bottom; a release without moving still moves the grabbed edge there.
  void splitterBarDrops_data() {
    QTest::addColumn<bool>("horizontal");
    QTest::addColumn<int>("grab");     // across the bar, from its leading edge
    QTest::addColumn<int>("release");  // in the parent; kWhereGrabbed: no move
    QTest::addColumn<int>("edge");     // the bar's leading edge afterwards
    QTest::newRow("vertical past the end") << false << 1 << 500 << 400;
    QTest::newRow("vertical before the start") << false << 1 << -50 << 0;
    QTest::newRow("vertical, no move") << false << 3 << kWhereGrabbed << 201;
    QTest::newRow("horizontal past the end") << true << 1 << 400 << 290;
    QTest::newRow("horizontal near the end") << true << 1 << 296 << 290;
    QTest::newRow("horizontal just inside") << true << 1 << 295 << 295;
    QTest::newRow("horizontal above the start") << true << 1 << 2 << 5;
    QTest::newRow("horizontal, no move") << true << 2 << kWhereGrabbed << 150;
  }
  void splitterBarDrops() {
    QFETCH(bool, horizontal);
    QFETCH(int, grab);
    QFETCH(int, release);
    QFETCH(int, edge);
    QWidget parent;
    parent.resize(400, 300);
    QWidget first(&parent), second(&parent);
    first.setGeometry(horizontal ? QRect(0, 0, 400, 150) : QRect(0, 0, 200, 300));
    second.setGeometry(horizontal ? QRect(0, 150, 400, 150) : QRect(200, 0, 200, 300));
    CSplitterBar bar(&parent, horizontal);
    bar.BindWithControl(&first, &second);
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    QSignalSpy moved(&bar, &CSplitterBar::Moved);
    // A press outside the bar starts nothing.
    QTest::mousePress(&bar, Qt::LeftButton, {}, QPoint(-3, -3));
    QVERIFY(!bar.IsDragging());
    const QPoint grabAt = horizontal ? QPoint(10, grab) : QPoint(grab, 10);
    QTest::mousePress(&bar, Qt::LeftButton, {}, grabAt);
    QVERIFY(bar.IsDragging());
    QPoint at = grabAt;
    if (release != kWhereGrabbed) {
      at = bar.mapFromParent(horizontal ? QPoint(10, release) : QPoint(release, 10));
      QMouseEvent move(QEvent::MouseMove, at, bar.mapToGlobal(at), Qt::NoButton, Qt::LeftButton,
                       Qt::NoModifier);
      QApplication::sendEvent(&bar, &move);
    }
    QTest::mouseRelease(&bar, Qt::LeftButton, {}, at);
    QVERIFY(!bar.IsDragging());
    QCOMPARE(horizontal ? bar.y() : bar.x(), edge);
    QCOMPARE(moved.size(), 1);
    // The windows meet the bar where it now is.
    QCOMPARE(horizontal ? first.geometry().bottom() : first.geometry().right(), edge);
    QCOMPARE(horizontal ? second.y() : second.x(), edge + CSplitterBar::kSizingFrameThickness - 1);
  }

  // The faded background darkens quadratically from the background colour at
  // five sixths of the width to black at the left, in bands of split / 64.
  void colourLabelFadesInBands() {
    const QColor background(200, 100, 40);
    auto paint = [&](int width) {
      CColorLabel label;
      label.SetBkColor(background, false);
      label.SetFade(true);
      label.resize(width, 12);
      return label.grab().toImage();
    };
    const QImage narrow = paint(120);                         // split 100, one-pixel bands
    QCOMPARE(narrow.pixelColor(50, 6), QColor(150, 75, 30));  // d = 50: three quarters
    QCOMPARE(narrow.pixelColor(0, 6), QColor(Qt::black));
    QCOMPARE(narrow.pixelColor(100, 6), background);
    QCOMPARE(narrow.pixelColor(119, 6), background);
    // Bands become two pixels wide once the split reaches 128.
    const QImage at153 = paint(153), at154 = paint(154);
    QVERIFY(at153.pixelColor(10, 6) != at153.pixelColor(11, 6));
    QCOMPARE(at154.pixelColor(10, 6), at154.pixelColor(11, 6));
    QVERIFY(at154.pixelColor(11, 6) != at154.pixelColor(12, 6));
  }
};

QTEST_MAIN(WidgetsTest)
#include "widgets_qtest.moc"
