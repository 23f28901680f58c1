// What the log holds after the flows that carry secrets, run through the
// main window against the development gateway: a login, AES calls, the
// certificate download password and a first-login password change. Nothing
// in it may give a secret away, nor anything that opens or replays one.
#include <QPushButton>
#include <QRegularExpression>
#include <QUrl>
#include <QtTest>

#include "BtsCertDlPwdWindowController.h"
#include "GuiTestSupport.h"
#include "UserAgreementWindowController.h"
#include "ui_MainWindow.h"

using namespace karv::app;
using namespace karv::test;

namespace {

// Every value the client sent, as it travelled (percent-encoded) and as the
// ciphertext it stands for.
QStringList sentValues(const std::vector<karv::gateway::RecordedRequest>& requests) {
  QStringList values;
  for (const auto& request : requests) {
    for (const QString& field : QString::fromStdString(request.body).split('&', Qt::SkipEmptyParts)) {
      const QString value = field.section('=', 1);
      if (value.isEmpty()) continue;
      values << value << QUrl::fromPercentEncoding(value.toLatin1());
    }
  }
  return values;
}

}  // namespace

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

    // Long runs of base64 or hexadecimal are ciphertext, keys or bodies.
    const QRegularExpression base64Run("[A-Za-z0-9+/=]{41,}");
    const QRegularExpression hexRun("[0-9A-Fa-f]{65,}");
    QVERIFY(log.lines().size() > 100);
    for (const QString& line : log.lines()) {
      for (const QString& secret : secrets) QVERIFY2(!line.contains(secret), qPrintable(line));
      QVERIFY2(!base64Run.match(line).hasMatch(), qPrintable(line));
      QVERIFY2(!hexRun.match(line).hasMatch(), qPrintable(line));
    }
    // The lines themselves stay, with their values masked.
    for (const char* masked :
         {"HTTP DATA SEND:***", "httpPost return:***", "ecnrypt param pwd=***", "param after publickey encrypt: ***"})
      QVERIFY2(!log.linesWith(masked).isEmpty(), masked);
  }
};

QTEST_MAIN(LogSecretsTest)
#include "log_secrets_test.moc"
