// Progress and erase-animation dialogs, and the observer that drives them.
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "shell/ProgressDlg.h"
#include "widgets/FrameAnimation.h"

using namespace velmora;

namespace {

QPushButton* ButtonOf(QDialog& dlg) {
  return dlg.findChild<QPushButton*>();
}

// Title, status, button and the pending automatic close (-1: none), as one line.
QString State(CProgressDlg& dlg) {
  return QStringList{dlg.Title(), dlg.StatusText(), dlg.ButtonText(),
                     QString::number(dlg.AutoClosePending() ? dlg.AutoCloseInterval() : -1)}
      .join(u'|');
}

}  // namespace

class ProgressTest : public QObject {
  Q_OBJECT

  QWidget* main_ = nullptr;

 private slots:
  void initTestCase() {
    main_ = new QWidget;
    main_->show();
    QVERIFY(QTest::qWaitForWindowExposed(main_));
  }
  void cleanupTestCase() { delete main_; }

  void finishTexts() {
    const struct {
      ProcResult code;
      const char* status;  // progress dialog; errors title it " ERROR" and stay open
      int closeMs;
      const char* animation;  // erase dialog's title; null: left alone, stays open
      int animationCloseMs;
    } rows[] = {
        {kProcCompleted, "[ Completed ]", 500, " [ Completed ]", 10},
        {kProcCanceled, "[ Canceled ]", 1000, " [ Canceled ]", 500},
        {kProcEraseError, nullptr, -1, " [ Error : Flash Erasing... ]", 500},
        {kProcSerialBootDownloadError, "[ Error : Serial Boot Downloading ]", -1, nullptr, -1},
        {kProcSerialBootVerifyError, "[ Error : Serial Boot Verifying ]", -1, nullptr, -1},
        {kProcTargetResetError, "[ Error : Target Board Reset ]", -1, nullptr, -1},
        {kProcFlashLoaderDownloadError, "[ Error : Flash Algorithm Data Downloading ]", -1, nullptr,
         -1},
        {kProcFlashWriteError, "[ Error : Flash Data Writing ]", -1, nullptr, -1},
        {kProcFlashVerifyError, "[ Error : Flash Data Verifying ]", -1, nullptr, -1},
        {kProcFlashReadError, "[ Error : Flash Data Reading ]", -1, nullptr, -1},
        // An unknown result must not look like a finished run.
        {ProcResult(42), "[ Error : Flash Data Reading ]", -1, nullptr, -1},
    };
    for (const auto& r : rows) {
      const FinishPresentation p = ProgressFinish(r.code);
      QCOMPARE(p.text, r.status ? QString::fromLatin1(r.status) : QString());
      QCOMPARE(p.errorTitle, r.status && r.closeMs < 0);
      QCOMPARE(p.autoCloseMs, r.closeMs);
      const FinishPresentation a = AnimationFinish(r.code);
      QCOMPARE(a.text, r.animation ? QString::fromLatin1(r.animation) : QString());
      QCOMPARE(a.autoCloseMs, r.animationCloseMs);
    }
  }

  // Cancel only raises the flag; success and Cancel close by themselves after
  // their time, errors stay until OK.
  void cancelAndFinishing() {
    CProgressDlg dlg(main_);
    for (int way = 0; way < 3; ++way) {  // the button, Escape and the close box
      dlg.Start();
      QVERIFY(!dlg.CancelRequested());
      if (way == 0) QTest::mouseClick(ButtonOf(dlg), Qt::LeftButton);
      if (way == 1) QTest::keyClick(&dlg, Qt::Key_Escape);
      if (way == 2) dlg.close();
      QVERIFY(dlg.CancelRequested() && dlg.isVisible());
    }
    dlg.Start();
    dlg.SetTitle(QStringLiteral(" Flash Writing"));
    dlg.SetProgress(50, 200);
    QCOMPARE(dlg.Progress(), 25);
    dlg.SetProgress(3, 0);
    QCOMPARE(dlg.Progress(), 0);
    dlg.Finish(kProcCompleted);
    QCOMPARE(State(dlg), QStringLiteral(" Flash Writing|[ Completed ]|OK|500"));
    QTRY_VERIFY_WITH_TIMEOUT(!dlg.isVisible(), 5000);
    dlg.Start();  // Start stops a pending close
    dlg.Finish(kProcCanceled);
    dlg.Start();
    QCOMPARE(State(dlg), QStringLiteral(" Flash Writing|[ Canceled ]|Cancel|-1"));

    dlg.Finish(kProcTargetResetError);
    QCOMPARE(State(dlg), QStringLiteral(" ERROR|[ Error : Target Board Reset ]|OK|-1"));
    QCOMPARE(dlg.focusWidget(), ButtonOf(dlg));
    QTest::mouseClick(ButtonOf(dlg), Qt::LeftButton);
    QVERIFY(!dlg.isVisible() && !dlg.CancelRequested());  // OK is not a cancel
    QTRY_COMPARE(QApplication::activeWindow(), main_);
    // An erase error leaves this dialog's texts alone.
    dlg.Start();
    dlg.SetStatusText(QStringLiteral("Erasing"));
    dlg.Finish(kProcEraseError);
    QCOMPARE(State(dlg), QStringLiteral(" ERROR|Erasing|OK|-1"));
  }

  void animationLoopsAndFinishes() {
    CAnimateProgressDlg dlg(main_);
    CFrameAnimation* anim = dlg.Animation();
    QCOMPARE(anim->FrameCount(), 23);
    QCOMPARE(anim->FrameSize(), QSize(150, 13));
    QCOMPARE(anim->FrameInterval(), 100);
    dlg.Start();
    QVERIFY(anim->IsPlaying());
    QTRY_VERIFY(anim->CurrentFrame() > 0);
    QTest::mouseClick(ButtonOf(dlg), Qt::LeftButton);
    QVERIFY(dlg.CancelRequested());
    dlg.Finish(kProcCanceled);
    QVERIFY(!anim->IsPlaying());
    QCOMPARE(dlg.Title(), QStringLiteral(" [ Canceled ]"));
    QTRY_VERIFY_WITH_TIMEOUT(!dlg.isVisible(), 5000);
    dlg.Start();
    QCOMPARE(anim->CurrentFrame(), 0);  // rewound
    QVERIFY(!dlg.CancelRequested());
    dlg.SetTitle(QStringLiteral(" Flash Erasing"));
    dlg.Finish(kProcFlashVerifyError);
    QCOMPARE(dlg.Title(), QStringLiteral(" Flash Erasing"));
    QVERIFY(!dlg.AutoClosePending());
    QCOMPARE(dlg.ButtonText(), QStringLiteral("OK"));
  }

  // Cancel in either dialog reaches the procedure; a new run clears the
  // progress dialog's flag only; a click during a procedure arrives through
  // the pump; the wait cursor nests.
  void observerDrivesBothDialogs() {
    CProgressDlg progress(main_);
    CAnimateProgressDlg animation(main_);
    {
      ProgressObserver observer(progress, animation, main_);
      observer.Start();
      observer.SetTitle(" Serial Boot");
      observer.SetProgress(3, 4);
      QCOMPARE(progress.Title(), QStringLiteral(" Serial Boot"));
      QCOMPARE(progress.Progress(), 75);
      observer.StartAnimation();
      animation.PressButton();
      QVERIFY(observer.CancelRequested());
      observer.Start();
      QVERIFY(observer.CancelRequested());
      observer.StartAnimation();
      QVERIFY(!observer.CancelRequested());
      QMetaObject::invokeMethod(ButtonOf(progress), "click", Qt::QueuedConnection);
      QVERIFY(!observer.CancelRequested());
      observer.PumpOneEvent();
      QVERIFY(observer.CancelRequested());
      observer.SetWaitCursor(true);
      observer.SetWaitCursor(true);
      observer.SetWaitCursor(false);
      QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
      observer.SetWaitCursor(false);
      QVERIFY(!QApplication::overrideCursor());
      observer.SetWaitCursor(false);  // one too many does not pop someone else's cursor
      observer.SetWaitCursor(true);
    }
    QVERIFY(!QApplication::overrideCursor());  // the observer's end restores it
  }
};

QTEST_MAIN(ProgressTest)
#include "progress_qtest.moc"
