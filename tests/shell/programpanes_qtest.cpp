// The symbol pane (rows and their texts, what a fill asks of the variable
// monitor, "Add Symbol List") and the section pane (what the
// hex view shows after fill, double-click, clear and a flash read, sections
// gone from the list).
#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QTableWidget>
#include <QtTest>
#include <set>

#include "image/ProgramImage.h"
#include "shell/LeftView.h"
#include "shell/SectionPane.h"
#include "widgets/HexEditBase.h"

using namespace velmora;

namespace {

class RecordingHost : public SymbolPaneHost {
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

}  // namespace

class ProgramPanesTest : public QObject {
  Q_OBJECT
 private slots:
  void fillShowsTheRowsAndPausesTheVariableMonitor() {
    CLeftView pane;
    RecordingHost host;
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

  // "Add Symbol List" adds the selection from top to bottom, skipping what is
  // registered (double-click is left to the end-to-end run).
  void addSymbolListAddsTheSelectionInOrder() {
    CLeftView pane;
    RecordingHost host;
    pane.SetHost(&host);
    pane.Fill({Symbol("gamma", 3, 4), Symbol("alpha", 1, 4), Symbol("beta", 2, 4)});
    host.calls.clear();
    host.registered = {"gamma"};
    for (int row : {2, 0})
      pane.selectionModel()->select(pane.model()->index(row, 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QCOMPARE(pane.SelectedNames(), (QStringList{"alpha", "gamma"}));
    Action(*pane.BuildContextMenu(), kCmdAddSymbolList)->trigger();
    QCOMPARE(host.calls, QStringList{"add alpha"});
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

QTEST_MAIN(ProgramPanesTest)
#include "programpanes_qtest.moc"
