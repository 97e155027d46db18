// The section pane: rows, what the hex view shows after fill, double-click,
// clear and a flash read, and sections gone from the list.
#include <QTableWidget>
#include <QtTest>

#include "image/ProgramImage.h"
#include "shell/SectionPane.h"
#include "widgets/HexEditBase.h"

using namespace velmora;

namespace {

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

}  // namespace

class SectionPaneTest : public QObject {
  Q_OBJECT

 private slots:
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
    QCOMPARE(hex.DataLength(), 12u);
    QCOMPARE(hex.BaseAddress(), 0x809800u);
    QCOMPARE(WordAt(hex, 2), 0x99AABBCCu);
    QTableWidget& list = *pane.List();
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {},
                       list.visualItemRect(list.item(1, 0)).center());
    QCOMPARE(hex.BaseAddress(), 0x200000u);
    QCOMPARE(WordAt(hex, 0), 0xDEADBEEFu);
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
    QCOMPARE(hex.DataLength(), 48u);
    QCOMPARE(hex.BaseAddress(), 0x1000u);
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

QTEST_MAIN(SectionPaneTest)
#include "sectionpane_qtest.moc"
