// The message window: appending, clearing, line breaks, no length limit.
#include <QFontInfo>
#include <QScrollBar>
#include <QTextBlock>
#include <QtTest>

#include "shell/MessageWnd.h"

using namespace velmora;

class MessageWndTest : public QObject {
  Q_OBJECT

 private slots:
  void appendsAtTheEndAndClears() {
    CMessageWnd w;
    QVERIFY(w.IsEmpty());
    w.AppendText(QStringLiteral("first "));
    QVERIFY(!w.IsEmpty());
    // A user's click moves the caret; output still goes to the end.
    QTextCursor c = w.textCursor();
    c.movePosition(QTextCursor::Start);
    w.setTextCursor(c);
    w.AppendText(QStringLiteral("second\nthird"));
    QCOMPARE(w.toPlainText(), QStringLiteral("first second\nthird"));
    w.Clear();
    QVERIFY(w.IsEmpty());
    QCOMPARE(w.toPlainText(), QString());
    w.Clear();  // clearing an empty window is harmless
    QVERIFY(w.IsEmpty());
    // A lone line break is content: the window is no longer empty.
    w.AppendText(QStringLiteral("\n"));
    QVERIFY(!w.IsEmpty());
  }

  void lineBreaksOfEveryKindGiveOneBreak_data() {
    QTest::addColumn<QStringList>("chunks");
    QTest::addColumn<QString>("shown");
    QTest::newRow("lf") << QStringList{"a\nb\n"} << "a\nb\n";
    QTest::newRow("crlf") << QStringList{"a\r\nb\r\n"} << "a\nb\n";
    QTest::newRow("crlf split over chunks") << QStringList{"a\r", "\nb\r", "\n"} << "a\nb\n";
    QTest::newRow("lone cr") << QStringList{"a\rb"} << "a\nb";
    QTest::newRow("cr then text") << QStringList{"a\r", "b"} << "a\nb";
    QTest::newRow("two breaks") << QStringList{"a\r\n\r\nb"} << "a\n\nb";
    QTest::newRow("cr cr lf") << QStringList{"a\r", "\r", "\nb"} << "a\n\nb";
  }
  void lineBreaksOfEveryKindGiveOneBreak() {
    QFETCH(QStringList, chunks);
    QFETCH(QString, shown);
    CMessageWnd w;
    for (const QString& c : chunks) w.AppendText(c);
    QCOMPARE(w.toPlainText(), shown);
    // Clear forgets a pending CR: the next LF is a break of its own.
    w.AppendText(QStringLiteral("x\r"));
    w.Clear();
    w.AppendText(QStringLiteral("\ny"));
    QCOMPARE(w.toPlainText(), QStringLiteral("\ny"));
  }

  void readOnlyFixedPitchBothScrollBars() {
    CMessageWnd w;
    QVERIFY(w.isReadOnly());
    QCOMPARE(w.lineWrapMode(), QPlainTextEdit::NoWrap);
    QCOMPARE(w.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(w.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(w.font().pointSize(), 8);
    QVERIFY(w.font().fixedPitch());
    // Typing does nothing.
    w.show();
    QTest::keyClicks(&w, QStringLiteral("typed"));
    QVERIFY(w.IsEmpty());
    // Appending after typing still works (the window stays read-only).
    w.AppendText(QStringLiteral("tool"));
    QCOMPARE(w.toPlainText(), QStringLiteral("tool"));
    QVERIFY(w.isReadOnly());
  }

  void noLengthLimitAndScrollsToTheEnd() {
    CMessageWnd w;
    w.resize(300, 200);
    w.show();
    QString line = QString(99, u'x') + u'\n';
    QString expected;
    for (int i = 0; i < 40000; ++i) {  // 4 MB of text in many appends
      const QString numbered = QString::number(i) + line;
      w.AppendText(numbered);
      expected += numbered;
    }
    QCOMPARE(w.document()->characterCount() - 1, expected.size());
    QVERIFY(w.toPlainText() == expected);
    QCoreApplication::processEvents();
    // The end of the text is in view, far below the first screen.
    QVERIFY(w.textCursor().atEnd());
    QVERIFY(w.verticalScrollBar()->value() > 1000);
    QVERIFY(w.viewport()->rect().contains(w.cursorRect()));
  }
};

QTEST_MAIN(MessageWndTest)
#include "messagewnd_qtest.moc"
