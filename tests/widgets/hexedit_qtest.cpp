// Hex view: layout arithmetic, row texts, navigation, scrolling and painting.
#include <QFontDatabase>
#include <QScrollBar>
#include <QWheelEvent>
#include <QtTest>
#include <vector>

#include "widgets/HexEditBase.h"

using namespace velmora;

namespace {

std::vector<uint8_t> Bytes(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 7 + 1);
  return v;
}

// A widget-free layout with simple metrics: characters 8 wide, lines 16 high.
HexLayoutInput Input(int width, int height, uint32_t length) {
  HexLayoutInput in;
  in.charWidth = 8;
  in.lineHeight = 16;
  in.clientWidth = width;
  in.clientHeight = height;
  in.dataLength = length;
  return in;
}

void SendWheel(CHexEditBase& hex, int delta) {
  const QPointF pos(10, 10);
  QWheelEvent ev(pos, hex.viewport()->mapToGlobal(pos), QPoint(), QPoint(0, delta), Qt::NoButton,
                 Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(hex.viewport(), &ev);
}

bool HasPixelNear(const QImage& img, const QRect& area, const QColor& c, int tolerance) {
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) {
      const QColor p = img.pixelColor(x, y);
      if (std::abs(p.red() - c.red()) <= tolerance &&
          std::abs(p.green() - c.green()) <= tolerance &&
          std::abs(p.blue() - c.blue()) <= tolerance)
        return true;
    }
  return false;
}

}  // namespace

class HexEditTest : public QObject {
  Q_OBJECT

 private:
  // A shown control whose client area is exactly w x h with no bars.
  void Place(CHexEditBase& hex, int w, int h) {
    hex.resize(w + 2 * hex.frameWidth(), h + 2 * hex.frameWidth());
    hex.show();
    QVERIFY(QTest::qWaitForWindowExposed(&hex));
    hex.UpdateScrollBars();
  }

 private slots:
  void threeWordsMakeTwoAddressedRows() {
    HexLayoutInput in = Input(2000, 200, 12);
    in.bytesPerRow = 8;
    in.addressDigits = 6;
    in.showAddress = true;
    const HexLayout l = ComputeHexLayout(in);
    QCOMPARE(l.bytesPerRow, 8u);
    QCOMPARE(l.totalRows, int64_t{2});
    const uint32_t base = 0x809800;
    QCOMPARE(FormatHexAddress(HexRowAddress(base, 0, l.bytesPerRow), 6), QString("809800"));
    QCOMPARE(FormatHexAddress(HexRowAddress(base, 1, l.bytesPerRow), 6), QString("809802"));
    const std::vector<uint8_t> data = Bytes(12);
    const QString row0 = FormatHexWords(data.data(), 8, 8);
    const QString row1 = FormatHexWords(data.data() + 8, 4, 8);
    QCOMPARE(row0.split(' ').size(), 2);
    QCOMPARE(row1.split(' ').size(), 1);
    // Short address digits pad with zeros; long addresses are not cut.
    QCOMPARE(FormatHexAddress(0x1F, 6), QString("00001F"));
    QCOMPARE(FormatHexAddress(0x1234567, 6), QString("1234567"));
  }

  void groupIsLittleEndianWord() {
    const uint8_t group[8] = {0x01, 0x02, 0x03, 0x04, 0xAB, 0xCD, 0xEF, 0x10};
    QCOMPARE(FormatHexWords(group, 8, 8), QString("04030201 10EFCDAB"));
    // A short last group keeps its place: missing high bytes are blank.
    QCOMPARE(FormatHexWords(group, 6, 8), QString("04030201     CDAB"));
    const uint8_t chars[5] = {'A', 0x00, 'z', 0x7F, 0xE9};
    QCOMPARE(FormatHexCharacters(chars, 5), QString("A.z.."));
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
  }
  void autoFitPicksWholeUnits() {
    QFETCH(bool, chars);
    QFETCH(int, availableChars);
    QFETCH(uint32_t, expected);
    HexLayoutInput in = Input(0, 200, 4096);
    in.autoFit = true;
    in.bytesPerRow = 8;
    in.showAddress = true;
    in.addressDigits = 6;
    in.showCharacters = chars;
    const int addressWidth = 6 * 8 + 5;
    in.clientWidth = addressWidth + (chars ? 5 : 0) + availableChars * 8;
    const HexLayout l = ComputeHexLayout(in);
    QCOMPARE(l.bytesPerRow, expected);
    // Whatever auto-fit chose fits without a horizontal bar.
    QCOMPARE(l.lastHorizontalOffset, int64_t{0});
    QCOMPARE(l.charColumnWidth, chars ? static_cast<int>(expected) * 8 : 0);
  }

  void narrowWindowKeepsFourBytesAndScrollsSideways() {
    HexLayoutInput in = Input(40, 200, 64);
    in.autoFit = true;
    in.showAddress = true;
    in.addressDigits = 6;
    in.showCharacters = true;
    const HexLayout l = ComputeHexLayout(in);
    QCOMPARE(l.bytesPerRow, 4u);
    QVERIFY(l.lastHorizontalOffset > 0);
    const HexScrollBarState h = HorizontalScrollState(l, in.clientWidth);
    QVERIFY(h.visible);
    QCOMPARE(h.maximum, l.lastHorizontalOffset + in.clientWidth - 1);
    // Negative available width (address column alone wider than the window).
    in.clientWidth = 10;
    QCOMPARE(ComputeHexLayout(in).bytesPerRow, 4u);
    // Offsets asked beyond the end are clamped.
    in.horizontalOffset = 100000;
    in.topRow = -5;
    const HexLayout c = ComputeHexLayout(in);
    QCOMPARE(c.horizontalOffset, c.lastHorizontalOffset);
    QCOMPARE(c.topRow, int64_t{0});
  }

  void rowsCountPartlyVisibleLine() {
    HexLayoutInput in = Input(800, 10 * 16 + 3, 8 * 10);
    in.bytesPerRow = 8;
    HexLayout l = ComputeHexLayout(in);
    QCOMPARE(l.fullRows, 10);
    QCOMPARE(l.rowsShown, 11);
    QVERIFY(!VerticalScrollState(l).visible);  // ten rows of data fit the ten full rows
    in.dataLength += 1;
    l = ComputeHexLayout(in);
    const HexScrollBarState v = VerticalScrollState(l);
    QVERIFY(v.visible);
    QCOMPARE(v.minimum, int64_t{0});
    QCOMPARE(v.maximum, int64_t{l.fullRows});
    QCOMPARE(v.page, int64_t{l.fullRows});
  }

  void singleLineShowsEverythingInOneRow() {
    HexLayoutInput in = Input(100, 16, 10);
    in.multiLine = false;
    in.bytesPerRow = 4;
    const HexLayout l = ComputeHexLayout(in);
    QCOMPARE(l.bytesPerRow, 12u);
    QCOMPARE(l.totalRows, int64_t{1});
  }

  void caretMovesByNibbleAndRow() {
    const uint32_t len = 64, bpr = 8;
    HexCaret c{5, false};
    c = MoveCaret(c, HexKey::Left, bpr, 5, len);
    QCOMPARE(c.offset, 4u);
    QVERIFY(c.lowNibble);
    c = MoveCaret(c, HexKey::Left, bpr, 5, len);
    QCOMPARE(c.offset, 4u);
    QVERIFY(!c.lowNibble);
    c = MoveCaret(c, HexKey::Right, bpr, 5, len);
    QCOMPARE(c.offset, 4u);
    QVERIFY(c.lowNibble);
    c = MoveCaret(c, HexKey::Right, bpr, 5, len);
    QCOMPARE(c.offset, 5u);
    QVERIFY(!c.lowNibble);
    c = MoveCaret(c, HexKey::PageDown, bpr, 5, len);
    QCOMPARE(c.offset, 5u + 4 * bpr);
    c = MoveCaret(c, HexKey::Down, bpr, 5, len);
    QCOMPARE(c.offset, 5u + 5 * bpr);
    c = MoveCaret(c, HexKey::PageDown, bpr, 5, len);
    QCOMPARE(c.offset, len - 1);  // clamped at the last byte
    QVERIFY(!c.lowNibble);
    c = MoveCaret({3, true}, HexKey::Up, bpr, 5, len);
    QCOMPARE(c.offset, 0u);
    QVERIFY(c.lowNibble);
    c = MoveCaret(c, HexKey::End, bpr, 5, len);
    QCOMPARE(c.offset, len - 1);
    QVERIFY(c.lowNibble);
    c = MoveCaret(c, HexKey::Home, bpr, 5, len);
    QCOMPARE(c.offset, 0u);
    QVERIFY(!c.lowNibble);
  }

  void scrollIntoViewMovesOrigin() {
    HexLayoutInput in = Input(2000, 4 * 16, 8 * 100);
    in.bytesPerRow = 8;
    in.topRow = 3;
    HexLayout l = ComputeHexLayout(in);
    QCOMPARE(ScrollIntoView(l, 8 * 3 + 2, 8, in.clientWidth).topRow, int64_t{3});      // visible
    QCOMPARE(ScrollIntoView(l, 8 * 1, 8, in.clientWidth).topRow, int64_t{1});          // above
    QCOMPARE(ScrollIntoView(l, 8 * 7, 8, in.clientWidth).topRow, int64_t{7 - 4 + 1});  // below
    // Sideways: the column of byte 7 lies past a 60-pixel client.
    in.clientWidth = 60;
    in.topRow = 0;
    l = ComputeHexLayout(in);
    const HexViewOrigin o = ScrollIntoView(l, 7, 8, in.clientWidth);
    QCOMPARE(o.horizontalOffset, int64_t{7 * 3 * 8 + 2 * 8 - 60});
    l.horizontalOffset = 100;
    QCOMPARE(ScrollIntoView(l, 0, 8, in.clientWidth).horizontalOffset, int64_t{0});
  }

  void scrollBarsFollowTheData() {
    CHexEditBase hex;
    hex.SetBytesPerRow(8, false, false);
    const int lh = hex.LineHeight();
    Place(hex, 600, 10 * lh);
    const std::vector<uint8_t> data = Bytes(8 * 10);
    hex.SetData(data.data(), 80, true, 0);
    hex.UpdateScrollBars();
    QCOMPARE(hex.Layout().fullRows, 10);
    QCOMPARE(hex.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    const std::vector<uint8_t> more = Bytes(8 * 11);
    hex.SetData(more.data(), 88, true, 0);
    QTRY_COMPARE(hex.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(hex.verticalScrollBar()->maximum(), 1);
    QCOMPARE(hex.verticalScrollBar()->pageStep(), 10);
    QCOMPARE(hex.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    // Dragging the bar moves the top row.
    hex.verticalScrollBar()->setValue(1);
    QCOMPARE(hex.TopRow(), int64_t{1});
    // A narrow window needs the horizontal bar.
    hex.resize(80, hex.height());
    QTRY_COMPARE(hex.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(int64_t{hex.horizontalScrollBar()->maximum()}, hex.Layout().lastHorizontalOffset);
  }

  void wheelScrollsWholeNotches() {
    CHexEditBase hex;
    hex.SetBytesPerRow(8, false, false);
    Place(hex, 600, 10 * hex.LineHeight());
    const std::vector<uint8_t> data = Bytes(8 * 100);
    hex.SetData(data.data(), 800, true, 0);
    hex.SetTopRow(50);
    QCOMPARE(hex.TopRow(), int64_t{50});
    SendWheel(hex, 240);
    QCOMPARE(hex.TopRow(), int64_t{48});
    SendWheel(hex, -120);
    QCOMPARE(hex.TopRow(), int64_t{49});
    // Half notches add up instead of being lost.
    SendWheel(hex, 60);
    QCOMPARE(hex.TopRow(), int64_t{49});
    SendWheel(hex, 60);
    QCOMPARE(hex.TopRow(), int64_t{48});
    hex.SetTopRow(1);
    SendWheel(hex, 1200);
    QCOMPARE(hex.TopRow(), int64_t{0});
  }

  void endAndHomeJump() {
    CHexEditBase hex;
    hex.SetBytesPerRow(8, false, false);
    Place(hex, 600, 10 * hex.LineHeight());
    const std::vector<uint8_t> data = Bytes(8 * 100 + 4);
    hex.SetData(data.data(), static_cast<uint32_t>(data.size()), true, 0);
    QTest::keyClick(&hex, Qt::Key_End);
    QCOMPARE(hex.Caret().offset, static_cast<uint32_t>(data.size() - 1));
    QCOMPARE(hex.TopRow(), hex.Layout().lastTopRow);
    QCOMPARE(hex.TopRow(), int64_t{101 - 10});
    QTest::keyClick(&hex, Qt::Key_Home);
    QCOMPARE(hex.TopRow(), int64_t{0});
    QTest::keyClick(&hex, Qt::Key_PageDown);
    QCOMPARE(hex.Caret().offset, static_cast<uint32_t>((hex.Layout().rowsShown - 1) * 8));
    QCOMPARE(hex.TopRow(), int64_t{0});  // still on screen
    QTest::keyClick(&hex, Qt::Key_PageDown);
    QVERIFY(hex.TopRow() > 0);
  }

  void emptyControlIgnoresInput() {
    CHexEditBase hex;
    Place(hex, 300, 200);
    QTest::keyClick(&hex, Qt::Key_End);
    SendWheel(hex, -240);
    QCOMPARE(hex.TopRow(), int64_t{0});
    QCOMPARE(hex.Caret().offset, 0u);
    const QImage img = hex.viewport()->grab().toImage();
    QCOMPARE(img.pixelColor(5, 5), CHexEditBase::kWindowBackground);
    QCOMPARE(img.pixelColor(150, 100), CHexEditBase::kWindowBackground);
  }

  void paintsColumnsInTheirColours() {
    CHexEditBase hex;
    hex.SetAddressDigits(6, false);
    hex.SetShowAddress(true, false);
    hex.SetShowCharacters(true, false);
    hex.SetBytesPerRow(8, true, false);
    const int lh = hex.LineHeight();
    Place(hex, 700, 6 * lh);
    const std::vector<uint8_t> data(16, 'A');
    hex.SetData(data.data(), 16, true, 0x1000);
    const HexLayout l = hex.Layout();
    QImage img = hex.viewport()->grab().toImage();
    const int y = img.height() - 2;  // below the two rows of text
    QCOMPARE(img.pixelColor(1, y), CHexEditBase::kAddressBackground);
    QCOMPARE(img.pixelColor(l.addressWidth - 2, y), CHexEditBase::kWindowBackground);  // gap
    QCOMPARE(img.pixelColor(l.dataX + 1, y), CHexEditBase::kDataBackground);
    QCOMPARE(img.pixelColor(l.dataX + l.dataWidth - 2, y), CHexEditBase::kWindowBackground);
    QCOMPARE(img.pixelColor(l.charColumnX + 1, y), CHexEditBase::kCharBackground);
    QCOMPARE(img.pixelColor(img.width() - 2, y), CHexEditBase::kWindowBackground);
    // Text colours show on the first row.
    const QRect row0(0, 0, 1, lh);
    QVERIFY(HasPixelNear(img, row0.adjusted(0, 0, l.addressWidth - 6, 0),
                         CHexEditBase::kAddressText, 60));
    QVERIFY(HasPixelNear(img, QRect(l.dataX, 0, l.dataWidth - 5, lh), CHexEditBase::kDataText, 60));
    QVERIFY(HasPixelNear(img, QRect(l.charColumnX, 0, l.charColumnWidth, lh),
                         CHexEditBase::kCharText, 60));
    // Every text stays inside its own column, whatever the font's advances:
    // fill whole rows with the widest glyphs.
    const std::vector<uint8_t> full(l.bytesPerRow * 4, 'W');
    hex.SetData(full.data(), static_cast<uint32_t>(full.size()), true, 0x1000);
    img = hex.viewport()->grab().toImage();
    QVERIFY(!HasPixelNear(img, QRect(l.dataX, 0, l.dataWidth, lh), CHexEditBase::kAddressText, 60));
    QVERIFY(!HasPixelNear(img, QRect(l.charColumnX, 0, l.charColumnWidth, lh),
                          CHexEditBase::kDataText, 60));
    QVERIFY(!HasPixelNear(img, QRect(l.charColumnX + l.charColumnWidth, 0, 40, lh),
                          CHexEditBase::kCharText, 60));
  }

  void takesOnlyFixedPitchFonts() {
    CHexEditBase hex;
    const QFont before = hex.HexFont();
    QVERIFY(QFontInfo(before).fixedPitch());
    QFont proportional(QStringLiteral("DejaVu Sans"));
    if (QFontInfo(proportional).fixedPitch()) QSKIP("no proportional font installed");
    QVERIFY(!hex.SetHexFont(proportional, true));
    QCOMPARE(hex.HexFont(), before);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSize(before.pointSize() + 6);
    QVERIFY(hex.SetHexFont(mono, true));
    QVERIFY(hex.LineHeight() > QFontMetrics(before).height());
    // The same rule for fonts set through QWidget::setFont.
    hex.setFont(proportional);
    QCOMPARE(hex.HexFont(), mono);
    QFont small = mono;
    small.setPointSize(before.pointSize());
    hex.setFont(small);
    QCOMPARE(hex.HexFont(), small);
  }

  void keepsItsOwnCopyOfTheData() {
    CHexEditBase hex;
    std::vector<uint8_t> data = Bytes(32);
    hex.SetData(data.data(), 32, false, 0x40);
    data[0] = 0xEE;
    QCOMPARE(static_cast<uint8_t>(hex.Data()[0]), Bytes(1)[0]);
    QCOMPARE(hex.BaseAddress(), 0x40u);
    hex.SetData(nullptr, 0, false, 0);
    QCOMPARE(hex.DataLength(), 0u);
    // Shared arrays are not affected by later writes to the caller's copy.
    QByteArray image(1 << 20, '\xFF');
    hex.SetData(image, false, 0);
    image[0] = 0;
    QCOMPARE(static_cast<uint8_t>(hex.Data()[0]), uint8_t{0xFF});
  }

  void wholeImageScrollsToItsEnd() {
    CHexEditBase hex;
    hex.SetAddressDigits(6, false);
    hex.SetShowAddress(true, false);
    hex.SetShowCharacters(true, false);
    hex.SetBytesPerRow(8, true, false);
    Place(hex, 500, 300);
    const QByteArray image(16 * 1024 * 1024, '\xFF');
    hex.SetData(image, true, 0);
    QTest::keyClick(&hex, Qt::Key_End);
    const HexLayout& l = hex.Layout();
    QCOMPARE(hex.TopRow(), l.lastTopRow);
    QVERIFY((l.lastTopRow + l.fullRows) * l.bytesPerRow >= int64_t{image.size()});
    QCOMPARE(int64_t{hex.verticalScrollBar()->value()}, l.lastTopRow);
    const QImage img = hex.viewport()->grab().toImage();
    QVERIFY(!img.isNull());
  }
};

QTEST_MAIN(HexEditTest)
#include "hexedit_qtest.moc"
