// The change-data dialogs: what they show, the value selected for typing, the
// word OK returns, the two rejections of each, Cancel, and the modal runs the
// panes call.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "monitoring/ValueFormats.h"
#include "shell/ChangeDataDlg.h"

using namespace velmora;

namespace {

constexpr uint16_t kShort = 3;
constexpr uint16_t kInt = 4;

ChangeSymbolRequest SymbolRequest(uint8_t view, uint16_t type, QString value = "0x0000002A") {
  ChangeSymbolRequest r;
  r.name = "counter";
  r.addressText = "0x809C00";
  r.dataTypeText = "Integer";
  r.valueText = std::move(value);
  r.viewType = view;
  r.typeCode = type;
  return r;
}

// Types `text` and presses OK; the word when accepted, -1 when the dialog stayed.
int64_t Enter(CChangeDataDlgBase& dlg, const QString& text, QStringList* shown = nullptr) {
  dlg.SetInformHandler([shown](QWidget*, const QString& t) {
    if (shown) *shown << t;
  });
  dlg.ValueEdit()->setText(text);
  dlg.OkButton()->click();
  if (dlg.result() != QDialog::Accepted) return -1;
  return dlg.ResultWord();
}

QString FieldText(QDialog& dlg, int id) {
  auto* label = dlg.findChild<QLabel*>(QStringLiteral("ctl%1").arg(id));
  return label ? label->text() : QStringLiteral("<missing>");
}

}  // namespace

class ChangeDlgTest : public QObject {
  Q_OBJECT

 private slots:
  void symbolDialogShowsTheItemWithTheValueSelected() {
    CChangeSymbolDlg dlg(SymbolRequest(ToByte(ViewType::HexDecimal), kInt));
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Change symbol data"));
    QCOMPARE(FieldText(dlg, 1035), QStringLiteral("counter"));
    QCOMPARE(FieldText(dlg, 1036), QStringLiteral("0x809C00"));
    QCOMPARE(FieldText(dlg, 1037), QStringLiteral("Integer"));
    QCOMPARE(dlg.font().family(), QStringLiteral("Arial"));
    dlg.show();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    QVERIFY(dlg.ValueEdit()->hasFocus());
    QCOMPARE(dlg.ValueEdit()->selectedText(), QStringLiteral("0x0000002A"));
    // Typing replaces the selected value.
    QTest::keyClicks(dlg.ValueEdit(), "42");
    QCOMPARE(dlg.ValueEdit()->text(), QStringLiteral("42"));
    QTest::keyClick(dlg.ValueEdit(), Qt::Key_Return);  // OK is the default button
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(dlg.ResultWord(), 42u);
  }

  void textBecomesAWordInTheItemsView() {
    const struct {
      ViewType view;
      uint16_t type;
      const char* text;
      int64_t word;
    } rows[] = {{ViewType::HexDecimal, kInt, "2Ah", 0x2A},
                // A Short takes 16 binary digits: eighteen ones are cut to sixteen.
                {ViewType::Binary, kShort, "111111111111111111", 0xFFFF},
                {ViewType::Binary, kInt, "111111111111111111", 0x3FFFF},
                {ViewType::Float, 6, "3", 3},
                {ViewType::Float, 6, "3.0", 0x01400000}};
    for (const auto& r : rows) {
      CChangeSymbolDlg dlg(SymbolRequest(ToByte(r.view), r.type));
      QCOMPARE(Enter(dlg, r.text), r.word);
    }
  }

  void emptyAndMalformedTextIsRejectedUntilCorrected() {
    CChangeSymbolDlg symbol(SymbolRequest(ToByte(ViewType::Binary), kInt));
    ChangeAddressRequest r;
    r.addressText = "0x809800";
    r.viewTypeText = ViewTypeText(ToByte(ViewType::Binary));
    r.viewType = ToByte(ViewType::Binary);
    CChangeAddressDlg address(r);
    QCOMPARE(address.windowTitle(), QStringLiteral("Change data select address"));
    QCOMPARE(FieldText(address, 1039), QStringLiteral("0x809800"));
    QCOMPARE(FieldText(address, 1040), r.viewTypeText);
    for (CChangeDataDlgBase* dlg :
         {static_cast<CChangeDataDlgBase*>(&symbol), static_cast<CChangeDataDlgBase*>(&address)}) {
      dlg->show();
      QStringList shown;
      QCOMPARE(Enter(*dlg, "", &shown), int64_t{-1});
      QCOMPARE(Enter(*dlg, "1021", &shown), int64_t{-1});
      QVERIFY(dlg->isVisible());
      const QStringList expected =
          dlg == &symbol ? QStringList{"Input Data", "Input Binary Data Type value"}
                         : QStringList{"Please, Specify address data",
                                       "Please, specify address data by binary data format"};
      QCOMPARE(shown, expected);
    }
    QCOMPARE(Enter(symbol, "101"), int64_t{5});  // a correction is accepted
    QVERIFY(!symbol.isVisible());
    // Addresses always take 32 binary digits.
    QCOMPARE(Enter(address, "111111111111111111"), int64_t{0x3FFFF});
  }

  void modalRunsForThePanes() {
    // OK through the modal run gives the word; Escape gives nothing.
    uint32_t word = 7;
    QTimer::singleShot(0, [] {
      auto* dlg = qobject_cast<CChangeSymbolDlg*>(QApplication::activeModalWidget());
      QVERIFY(dlg);
      dlg->ValueEdit()->setText("0x10");
      dlg->OkButton()->click();
    });
    QVERIFY(RunChangeSymbolDlg(nullptr, SymbolRequest(ToByte(ViewType::HexDecimal), kInt), word));
    QCOMPARE(word, 0x10u);
    QTimer::singleShot(0, [] {
      QWidget* dlg = QApplication::activeModalWidget();
      QVERIFY(qobject_cast<CChangeAddressDlg*>(dlg));
      QTest::keyClick(dlg, Qt::Key_Escape);
    });
    word = 7;
    QVERIFY(!RunChangeAddressDlg(nullptr, ChangeAddressRequest{}, word));
    QCOMPARE(word, 7u);
  }
};

QTEST_MAIN(ChangeDlgTest)
#include "changedlg_qtest.moc"
