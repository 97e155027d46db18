// Progress and erase-animation dialogs, the observer that drives them, and the
// calibration notice.
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "shell/MicroTimeDlg.h"
#include "shell/ProgressDlg.h"
#include "widgets/ColorLabel.h"
#include "widgets/FrameAnimation.h"

using namespace velmora;

namespace {

QPushButton* ButtonOf(QDialog& dlg) {
  return dlg.findChild<QPushButton*>();
}

// Keeps a picture of what the user sees, for looking at.
void Snapshot(QWidget& w, const char* name) {
  const QString dir = QStringLiteral(VELMORA_BINARY_DIR) + "/screenshots";
  QDir().mkpath(dir);
  QVERIFY(w.grab().save(dir + "/" + name));
}

}  // namespace

class ProgressTest : public QObject {
  Q_OBJECT

  QWidget* main_ = nullptr;

 private slots:
  void initTestCase() {
    main_ = new QWidget;
    main_->resize(300, 200);
    main_->show();
    QVERIFY(QTest::qWaitForWindowExposed(main_));
  }
  void cleanupTestCase() { delete main_; }

  void finishTextsOfTheProgressDialog() {
    struct Row {
      ProcResult code;
      bool error;
      const char* status;
      int closeMs;
    };
    const Row rows[] = {
        {kProcCompleted, false, "[ Completed ]", 500},
        {kProcCanceled, false, "[ Canceled ]", 1000},
        {kProcSerialBootDownloadError, true, "[ Error : Serial Boot Downloading ]", -1},
        {kProcSerialBootVerifyError, true, "[ Error : Serial Boot Verifying ]", -1},
        {kProcTargetResetError, true, "[ Error : Target Board Reset ]", -1},
        {kProcFlashLoaderDownloadError, true, "[ Error : Flash Algorithm Data Downloading ]", -1},
        {kProcFlashWriteError, true, "[ Error : Flash Data Writing ]", -1},
        {kProcFlashVerifyError, true, "[ Error : Flash Data Verifying ]", -1},
        {kProcFlashReadError, true, "[ Error : Flash Data Reading ]", -1},
    };
    for (const Row& r : rows) {
      const FinishPresentation f = ProgressFinish(r.code);
      QCOMPARE(f.errorTitle, r.error);
      QCOMPARE(f.text, QString::fromLatin1(r.status));
      QCOMPARE(f.autoCloseMs, r.closeMs);
    }
    const FinishPresentation erase = ProgressFinish(kProcEraseError);
    QVERIFY(erase.text.isNull() && !erase.errorTitle && erase.autoCloseMs < 0);
  }

  void finishTextsOfTheAnimationDialog() {
    QCOMPARE(AnimationFinish(kProcCompleted).text, QStringLiteral(" [ Completed ]"));
    QCOMPARE(AnimationFinish(kProcCompleted).autoCloseMs, 10);
    QCOMPARE(AnimationFinish(kProcCanceled).text, QStringLiteral(" [ Canceled ]"));
    QCOMPARE(AnimationFinish(kProcCanceled).autoCloseMs, 500);
    QCOMPARE(AnimationFinish(kProcEraseError).text,
             QStringLiteral(" [ Error : Flash Erasing... ]"));
    QCOMPARE(AnimationFinish(kProcEraseError).autoCloseMs, 500);
    for (ProcResult other :
         {ProcResult(kProcFlashWriteError), ProcResult(kProcTargetResetError), ProcResult(42)}) {
      QVERIFY(AnimationFinish(other).text.isNull());
      QCOMPARE(AnimationFinish(other).autoCloseMs, -1);
    }
  }

  void cancelOnlyRaisesTheFlag() {
    CProgressDlg dlg(main_);
    dlg.Start();
    QVERIFY(dlg.isVisible());
    QCOMPARE(dlg.ButtonText(), QStringLiteral("Cancel"));
    QCOMPARE(dlg.Progress(), 0);
    QVERIFY(!dlg.CancelRequested());
    QTest::mouseClick(ButtonOf(dlg), Qt::LeftButton);
    QVERIFY(dlg.CancelRequested());
    QVERIFY(dlg.isVisible());
    // Escape and the close box mean the same button.
    dlg.Start();
    QVERIFY(!dlg.CancelRequested());
    QTest::keyClick(&dlg, Qt::Key_Escape);
    QVERIFY(dlg.CancelRequested());
    QVERIFY(dlg.isVisible());
    dlg.Start();
    dlg.close();
    QVERIFY(dlg.CancelRequested());
    QVERIFY(dlg.isVisible());
  }

  void completedClosesByItselfAndOkHides() {
    CProgressDlg dlg(main_);
    dlg.Start();
    dlg.SetTitle(QStringLiteral(" Flash Writing"));
    dlg.SetProgress(50, 200);
    QCOMPARE(dlg.Progress(), 25);
    dlg.SetProgress(3, 0);
    QCOMPARE(dlg.Progress(), 0);
    dlg.Finish(kProcCompleted);
    QCOMPARE(dlg.StatusText(), QStringLiteral("[ Completed ]"));
    QCOMPARE(dlg.Title(), QStringLiteral(" Flash Writing"));
    QCOMPARE(dlg.ButtonText(), QStringLiteral("OK"));
    QVERIFY(dlg.AutoClosePending());
    QCOMPARE(dlg.AutoCloseInterval(), 500);
    QTRY_VERIFY_WITH_TIMEOUT(!dlg.isVisible(), 5000);

    // Start cancels a pending automatic close.
    dlg.Start();
    dlg.Finish(kProcCanceled);
    QCOMPARE(dlg.AutoCloseInterval(), 1000);
    dlg.Start();
    QVERIFY(!dlg.AutoClosePending());
    QCOMPARE(dlg.ButtonText(), QStringLiteral("Cancel"));
    QVERIFY(dlg.isVisible());
    dlg.Hide();
    QVERIFY(!dlg.isVisible());
  }

  void errorsStayOpenUntilOk() {
    CProgressDlg dlg(main_);
    dlg.Start();
    dlg.SetTitle(QStringLiteral(" Serial Boot"));
    dlg.SetStatusText(QStringLiteral("Downloading"));
    dlg.Finish(kProcTargetResetError);
    QCOMPARE(dlg.Title(), QStringLiteral(" ERROR"));
    QCOMPARE(dlg.StatusText(), QStringLiteral("[ Error : Target Board Reset ]"));
    QCOMPARE(dlg.ButtonText(), QStringLiteral("OK"));
    QVERIFY(!dlg.AutoClosePending());
    Snapshot(dlg, "progress_error.png");
    QVERIFY(ButtonOf(dlg)->hasFocus() || QApplication::focusWidget() == ButtonOf(dlg) ||
            ButtonOf(dlg) == dlg.focusWidget());
    QTest::mouseClick(ButtonOf(dlg), Qt::LeftButton);
    QVERIFY(!dlg.isVisible());
    QVERIFY(!dlg.CancelRequested());  // OK is not a cancel
    QTRY_COMPARE(QApplication::activeWindow(), main_);

    // An erase error leaves this dialog's texts alone.
    dlg.Start();
    dlg.SetStatusText(QStringLiteral("Erasing"));
    dlg.Finish(kProcEraseError);
    QCOMPARE(dlg.StatusText(), QStringLiteral("Erasing"));
    QCOMPARE(dlg.Title(), QStringLiteral(" ERROR"));  // from before: Start keeps the title
    QCOMPARE(dlg.ButtonText(), QStringLiteral("OK"));
  }

  void animationLoopsAndFinishes() {
    CAnimateProgressDlg dlg(main_);
    CFrameAnimation* anim = dlg.Animation();
    QCOMPARE(anim->FrameCount(), 23);
    QCOMPARE(anim->FrameSize(), QSize(150, 13));
    QCOMPARE(anim->FrameInterval(), 100);
    dlg.Start();
    QVERIFY(anim->IsPlaying());
    QCOMPARE(anim->CurrentFrame(), 0);
    QTRY_VERIFY(anim->CurrentFrame() > 0);
    dlg.SetTitle(QStringLiteral(" Flash Erasing..."));
    Snapshot(dlg, "erase_dialog.png");
    QTest::mouseClick(ButtonOf(dlg), Qt::LeftButton);
    QVERIFY(dlg.CancelRequested());
    dlg.Finish(kProcCanceled);
    QVERIFY(!anim->IsPlaying());
    QCOMPARE(dlg.Title(), QStringLiteral(" [ Canceled ]"));
    QCOMPARE(dlg.AutoCloseInterval(), 500);
    QTRY_VERIFY_WITH_TIMEOUT(!dlg.isVisible(), 5000);

    dlg.Start();
    QCOMPARE(anim->CurrentFrame(), 0);  // rewound
    QVERIFY(!dlg.CancelRequested());
    dlg.SetTitle(QStringLiteral(" Flash Erasing"));
    dlg.Finish(kProcFlashVerifyError);
    QCOMPARE(dlg.Title(), QStringLiteral(" Flash Erasing"));
    QVERIFY(!dlg.AutoClosePending());
    QCOMPARE(dlg.ButtonText(), QStringLiteral("OK"));
    dlg.Start();
    dlg.Finish(kProcCompleted);
    QCOMPARE(dlg.AutoCloseInterval(), 10);
    QTRY_VERIFY_WITH_TIMEOUT(!dlg.isVisible(), 5000);
  }

  void animationWrapsAround() {
    CFrameAnimation anim;
    QPixmap strip(150, 13 * 3);
    strip.fill(Qt::red);
    QVERIFY(anim.Open(strip, QSize(150, 13)));
    QCOMPARE(anim.FrameCount(), 3);
    anim.SetFrameInterval(5);
    QList<int> seen;
    connect(&anim, &CFrameAnimation::FrameChanged, this, [&](int f) { seen << f; });
    anim.Play();
    QTRY_VERIFY(seen.size() >= 5);
    anim.Stop();
    QCOMPARE(seen.mid(0, 5), QList<int>({0, 1, 2, 0, 1}));
    QVERIFY(!anim.Open(QPixmap(), QSize(150, 13)));
  }

  void observerDrivesBothDialogs() {
    CProgressDlg progress(main_);
    CAnimateProgressDlg animation(main_);
    ProgressObserver observer(progress, animation, main_);
    observer.Start();
    observer.SetTitle(" Serial Boot");
    observer.SetStatusText("Downloading...");
    observer.SetProgress(3, 4);
    QVERIFY(progress.isVisible());
    QCOMPARE(progress.Title(), QStringLiteral(" Serial Boot"));
    QCOMPARE(progress.StatusText(), QStringLiteral("Downloading..."));
    QCOMPARE(progress.Progress(), 75);
    QVERIFY(!observer.CancelRequested());
    observer.StartAnimation();
    observer.SetAnimationTitle(" Flash Erasing");
    QCOMPARE(animation.Title(), QStringLiteral(" Flash Erasing"));
    animation.PressButton();
    QVERIFY(observer.CancelRequested());
    observer.FinishAnimation(kProcCanceled);
    observer.HideAnimation();
    QVERIFY(!animation.isVisible());
    observer.Start();  // a new run clears the progress dialog's flag only
    QVERIFY(observer.CancelRequested());
    observer.StartAnimation();
    QVERIFY(!observer.CancelRequested());
    progress.PressButton();
    QVERIFY(observer.CancelRequested());
    observer.Finish(kProcCanceled);
    QCOMPARE(progress.StatusText(), QStringLiteral("[ Canceled ]"));
    observer.Hide();
    QVERIFY(!progress.isVisible());
  }

  void observerPumpsPendingEvents() {
    CProgressDlg progress(main_);
    CAnimateProgressDlg animation(main_);
    ProgressObserver observer(progress, animation);
    bool ran = false;
    QMetaObject::invokeMethod(
        main_, [&] { ran = true; }, Qt::QueuedConnection);
    observer.PumpOneEvent();
    QVERIFY(ran);
    // A click on Cancel during a procedure arrives through the pump.
    progress.Start();
    QMetaObject::invokeMethod(ButtonOf(progress), "click", Qt::QueuedConnection);
    QVERIFY(!observer.CancelRequested());
    observer.PumpOneEvent();
    QVERIFY(observer.CancelRequested());
  }

  void waitCursorNests() {
    CProgressDlg progress(main_);
    CAnimateProgressDlg animation(main_);
    {
      ProgressObserver observer(progress, animation);
      observer.SetWaitCursor(true);
      observer.SetWaitCursor(true);
      QVERIFY(QApplication::overrideCursor());
      QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
      observer.SetWaitCursor(false);
      QVERIFY(QApplication::overrideCursor());
      observer.SetWaitCursor(false);
      QVERIFY(!QApplication::overrideCursor());
      observer.SetWaitCursor(false);  // one too many does not pop someone else's cursor
      observer.SetWaitCursor(true);
    }
    QVERIFY(!QApplication::overrideCursor());  // the observer's end restores it
  }

  void calibrationNotice() {
    CMicroTimeDlg dlg(main_);
    QCOMPARE(dlg.TitleLabel()->ShownText(), QStringLiteral("Calculate Micro Time ..."));
    QVERIFY(dlg.TitleLabel()->IsFaded());
    QStringList lines;
    for (QLabel* l : dlg.findChildren<QLabel*>())
      if (l != dlg.TitleLabel()) lines << l->text();
    QVERIFY(lines.contains("Calculate Micro Time of user PC now for right action"));
    QVERIFY(lines.contains("Wait a minutes..."));
    const CMicroTimer::Notice notice = dlg.Notice();
    notice.show();
    QVERIFY(dlg.isVisible());
    Snapshot(dlg, "microtime_notice.png");
    QVERIFY(QApplication::overrideCursor());
    QTest::keyClick(&dlg, Qt::Key_Return);
    QTest::keyClick(&dlg, Qt::Key_Escape);
    QVERIFY(dlg.isVisible());
    notice.hide();
    QVERIFY(!dlg.isVisible());
    QVERIFY(!QApplication::overrideCursor());
  }
};

QTEST_MAIN(ProgressTest)
#include "progress_qtest.moc"
