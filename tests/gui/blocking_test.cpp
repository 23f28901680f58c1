// The window stays alive while the gateway answers slowly: the overlay shows,
// input made meanwhile is dropped, the window will not close, the session
// timers wait, and each flow keeps its order. Each check runs from a timer
// queued before the click, which fires inside the call's event loop.
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>
#include <QtTest>

#include "AuthCodeWindowController.h"
#include "GuiTestSupport.h"
#include "KARVMask.h"
#include "UserAuthWindowController.h"
#include "ui_MainWindow.h"

using karv::gateway::Fault;
using namespace karv::test;

namespace {
constexpr int kSlowMs = 1500;

// Runs check once, inside the event loop of the next blocking call.
template <class Check>
void duringNextCall(Check check) {
  QTimer::singleShot(0, check);
}
}  // namespace

class BlockingTest : public QObject {
  Q_OBJECT
 private slots:
  void slowLoginDropsInputRefusesCloseKeepsOrder() {
    AppHarness h;
    h.launch();
    auto& app = h.app();
    Ui::MainWindow* ui = app.ui();
    h.gateway().setFault("doBtsLogin", Fault::slow(kSlowMs));
    QStringList overlayAtAlerts;
    h.alerts().onPresent = [&] { overlayAtAlerts << (app.mask() && app.mask()->isVisible() ? "overlay" : "-"); };

    bool busy = false;
    bool overlay = false;
    bool closed = true;
    duringNextCall([&] {
      busy = app.blockingWork().busy();
      overlay = app.mask() && app.mask()->isVisible() && app.mask()->progressBar()->isVisible();
      // Each of these would start something if it got through: a second
      // login (Enter), a generated ID number, a changed password.
      QTest::keyClick(ui->txtUserIdNo, Qt::Key_Return);
      QTest::mouseClick(ui->btnCrtIdno, Qt::LeftButton);
      QTest::keyClicks(ui->txtSecureLoginPwd, "xyz");
      closed = app.window()->close();
    });
    QVERIFY(h.logIn(demo::kAlice));

    QVERIFY(busy && overlay);
    QVERIFY(!closed && app.window()->isVisible());
    QCOMPARE(h.requestCount("doBtsLogin"), 1);
    QCOMPARE(ui->txtUserIdNo->text(), QString(demo::kAlice.idno));
    QCOMPARE(ui->txtSecureLoginPwd->text(), QString(demo::kAlice.pwd));
    QCOMPARE(h.alerts().texts(), (QStringList{"登入作業已完成", "直接開始憑證申請??"}));
    QCOMPARE(overlayAtAlerts, (QStringList{"-", "-"}));  // the call's overlay is gone before each message
    QVERIFY(!app.mask()->isVisible());
    QCOMPARE(h.terminations(), 0);
    QVERIFY(app.window()->close());  // once the call is over, the window closes again
  }

  void slowCodeSendingShowsItsPrompt() {
    AppHarness h;
    QVERIFY(h.logIn(demo::kAlice));
    auto& app = h.app();
    h.gateway().setFault("sendAuthCode", Fault::slow(kSlowMs));
    click(app.ui()->btnApplyCert);
    auto* identity = activeSheet<karv::app::UserAuthWindowController>();
    QVERIFY(identity);
    QString prompt;
    duringNextCall([&] {
      if (app.blockingWork().busy() && app.mask()->isVisible()) prompt = app.mask()->lblPrompt()->text();
    });
    typeInto(control<QLineEdit>(identity, "txtUserBirth"), demo::kAlice.birth);
    click(control<QRadioButton>(identity, "useMail"));
    click(control<QPushButton>(identity, "btnOK"));
    QCOMPARE(prompt, QString("正在寄送認證碼..."));
    QVERIFY(!app.mask()->isVisible());
    QVERIFY(activeSheet<karv::app::AuthCodeWindowController>());
  }

  void sessionTimersWaitForSlowCallThenRunOnce() {
    AppHarness h;
    QVERIFY(h.logIn(demo::kAlice));
    auto& app = h.app();
    app.checkIdle();  // starts the idle count
    h.clock().advanceMs(571'000);
    h.gateway().setFault("getFnStatus", Fault::slow(kSlowMs));
    h.gateway().clearRequests();
    LogRecorder log;

    int aliveDuring = -1;
    int checksDuring = -1;
    duringNextCall([&] {
      // Both timers fall due now; neither may reach the protocol client.
      QVERIFY(QMetaObject::invokeMethod(&app.keepAliveTimer(), "timeout"));
      QVERIFY(QMetaObject::invokeMethod(&app.idleTimer(), "timeout"));
      QVERIFY(QMetaObject::invokeMethod(&app.keepAliveTimer(), "timeout"));
      aliveDuring = h.requestCount("iAmAlive");
      checksDuring = log.linesWith("checked!!").size();
    });
    QVERIFY(app.setBtnStatus());

    QCOMPARE(aliveDuring, 0);
    QCOMPARE(checksDuring, 0);
    const auto requests = h.gateway().requests();
    QCOMPARE(requests.size(), size_t(2));  // the slow call, then one keep-alive
    QCOMPARE(requests[0].api, std::string("getFnStatus"));
    QCOMPARE(requests[1].api, std::string("iAmAlive"));
    QCOMPARE(log.linesWith("checked!!").size(), 1);
    // The idle check that ran afterwards put up the countdown, and it stays.
    QVERIFY(app.mask()->isVisible() && app.mask()->idleMode());
    QCOMPARE(app.mask()->lblPrompt()->text(), QString("30秒後將自動登出並關閉應用程式"));
  }

  void workRunsOnWorkerAndHandsBackResultsAndExceptions() {
    karv::app::BlockingWork work;
    QSignalSpy finished(&work, &karv::app::BlockingWork::finished);
    QThread* ui = QThread::currentThread();
    QCOMPARE(work.run([&] { return QThread::currentThread() != ui; }), true);
    int value = 1;
    work.run([&]() -> int& { return value; }) = 7;
    QCOMPARE(value, 7);
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, work.run([]() -> int { throw std::runtime_error("failed"); }));
    QVERIFY(!work.busy());
    work.setEnabled(false);
    QCOMPARE(work.run([&] { return QThread::currentThread() == ui; }), true);
    QCOMPARE(finished.count(), 4);
  }
};

QTEST_MAIN(BlockingTest)
#include "blocking_test.moc"
