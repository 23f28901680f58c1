// What the log holds after the flows that carry secrets, run through the
// main window against the development gateway: a login, AES calls, the
// certificate download password and a first-login password change. Nothing
// in it may give a secret away, nor anything that opens or replays one.
#include <QPushButton>
#include <QtTest>

#include "BtsCertDlPwdWindowController.h"
#include "GuiTestSupport.h"
#include "UserAgreementWindowController.h"
#include "WorkflowSupport.h"
#include "ui_MainWindow.h"

using namespace karv::app;
using namespace karv::test;

class LogSecretsTest : public QObject {
  Q_OBJECT

 private slots:
  void noLineGivesASecretAway() {
    LogRecorder log;
    QStringList secrets{demo::kAlice.pwd, demo::kAlice.dlPwd, demo::kFirstLogin.pwd, "NewPass99"};
    std::vector<karv::gateway::RecordedRequest> requests;
    {
      AppHarness h;
      QVERIFY(h.logIn(demo::kAlice));  // the login, the configuration and the function status (AES)
      secrets << QString::fromStdString(h.app().getKARVlib()->getAesKey().value_or(""));
      click(h.app().ui()->btnApplyCert);  // contact data (AES), then the download password
      QVERIFY(answerIdentity(demo::kAlice.birth, "useService"));
      typeInto(control<QLineEdit>(activeSheet<BtsCertDlPwdWindowController>(), "txtUserBtsCertDlPwd"),
               demo::kAlice.dlPwd);
      click(control<QPushButton>(activeSheet(), "btnOK"));
      QVERIFY(activeSheet<UserAgreementWindowController>());  // the password was taken
      QCOMPARE(h.requestCount("validateBtsCertDlPwd"), 1);
      requests = h.gateway().requests();
    }
    {
      AppHarness h;
      QVERIFY(h.logIn(demo::kFirstLogin));
      secrets << QString::fromStdString(h.app().getKARVlib()->getAesKey().value_or(""));
      QVERIFY(submitChange(demo::kFirstLogin.pwd, "NewPass99", "NewPass99"));
      QCOMPARE(h.requestCount("changeBtsLoginPwd"), 1);
      const auto more = h.gateway().requests();
      requests.insert(requests.end(), more.begin(), more.end());
    }
    secrets << sentValues(requests);
    secrets.removeAll(QString());
    QVERIFY(secrets.size() > 20);
    QVERIFY(log.lines().size() > 100);
    QCOMPARE(leakingLine(log.lines(), secrets), QString());
    // The lines themselves stay, with their values masked.
    for (const char* masked :
         {"HTTP DATA SEND:***", "httpPost return:***", "ecnrypt param pwd=***", "param after publickey encrypt: ***"})
      QVERIFY2(!log.linesWith(masked).isEmpty(), masked);
  }
};

QTEST_MAIN(LogSecretsTest)
#include "log_secrets_test.moc"
