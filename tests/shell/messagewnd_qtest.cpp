// The message window: appending, clearing, line breaks, no length limit.
#include <QScrollBar>
#include <QtTest>

#include "shell/MessageWnd.h"

using namespace velmora;

class MessageWndTest : public QObject {
  Q_OBJECT

 private slots:
  void lineBreaksOfEveryKindGiveOneBreak_data() {
    QTest::addColumn<QStringList>("chunks");
    QTest::addColumn<QString>("shown");
    QTest::newRow("lf") << QStringList{"a\nb\n"} << "a\nb\n";
    QTest::newRow("crlf split over chunks") << QStringList{"a\r", "\nb\r\n"} << "a\nb\n";
    QTest::newRow("lone cr") << QStringList{"a\r", "b"} << "a\nb";
    QTest::newRow("cr cr lf") << QStringList{"a\r", "\r", "\nb"} << "a\n\nb";
  }
  void lineBreaksOfEveryKindGiveOneBreak() {
    QFETCH(QStringList, chunks);
    QFETCH(QString, shown);
    CMessageWnd w;
    for (const QString& c : chunks) w.AppendText(c);
    QCOMPARE(w.toPlainText(), shown);
    // Clear forgets a pending CR: the next run's LF is a break of its own.
    w.AppendText(QStringLiteral("x\r"));
    w.Clear();
    w.AppendText(QStringLiteral("\ny"));
    QCOMPARE(w.toPlainText(), QStringLiteral("\ny"));
  }

  // Output goes to the end wherever the caret is, the user cannot type, there
  // is no length limit and the end stays in view.
  void appendsAtTheEndWithoutLimit() {
    CMessageWnd w;
    w.resize(300, 200);
    w.show();
    QTest::keyClicks(&w, QStringLiteral("typed"));
    QVERIFY(w.IsEmpty());
    w.AppendText(QStringLiteral("first "));
    w.moveCursor(QTextCursor::Start);
    QString expected = QStringLiteral("first ");
    for (int i = 0; i < 40000; ++i) {  // 4 MB in many appends
      const QString line = QString::number(i) + QString(99, u'x') + u'\n';
      w.AppendText(line);
      expected += line;
    }
    QVERIFY(w.toPlainText() == expected);
    QCoreApplication::processEvents();
    QVERIFY(w.verticalScrollBar()->value() > 1000);
    QVERIFY(w.viewport()->rect().contains(w.cursorRect()));
  }
};

QTEST_MAIN(MessageWndTest)
#include "messagewnd_qtest.moc"
