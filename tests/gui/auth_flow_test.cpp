// Identity verification against the development gateway: contact data, the
// identity dialog, codes delivered to the gateway's outbox, the download
// password, and the hand-over to the certificate workflows.
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "AuthCodeWindowController.h"
#include "BtsCertDlPwdWindowController.h"
#include "GuiTestSupport.h"
#include "KARVMask.h"
#include "UserAgreementWindowController.h"
#include "UserAuthWindowController.h"
#include "WorkflowSupport.h"
#include "ui_MainWindow.h"

using namespace karv::app;
using namespace karv::test;
Q_DECLARE_METATYPE(const karv::test::DemoUserRef*)

class AuthFlowTest : public QObject {
  Q_OBJECT
 private slots:
  void deliveredCodeVerifies_data() {
    QTest::addColumn<const DemoUserRef*>("user");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("choice");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("channel");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("authType");
    QTest::addColumn<QString>("opType");
    // clang-format off
    QTest::newRow("e-mail, application") << &demo::kAlice << "btnApplyCert" << "useMail" << "憑證申請" << "mail" << demo::kAlice.email << "1" << "Apply";
    QTest::newRow("SMS, revocation") << &demo::kExpiring << "btnRevokeCert" << "usePhone" << "憑證廢止" << "sms" << demo::kExpiring.phone << "2" << "Revoke";
    // clang-format on
  }
  void deliveredCodeVerifies() {
    QFETCH(const DemoUserRef*, user);
    QFETCH(QString, button);
    QFETCH(QString, choice);
    QFETCH(QString, title);
    QFETCH(QString, channel);
    QFETCH(QString, to);
    QFETCH(QString, authType);
    QFETCH(QString, opType);
    AppHarness h;
    LogRecorder log;
    QVERIFY(h.logIn(*user));
    h.alerts().clear();
    auto* start = control<QPushButton>(h.app().window(), button.toLatin1().constData());
    QVERIFY(start->isEnabled());
    click(start);
    auto* identity = activeSheet<UserAuthWindowController>();
    QVERIFY(identity);
    QCOMPARE(identity->windowTitle(), title);
    // The download password vouches for applications only.
    QCOMPARE(control<QRadioButton>(identity, "useService")->isVisibleTo(identity), opType == "Apply");
    QCOMPARE(control<QRadioButton>(identity, "useMail")->text(),
             QString("寄到您於本公司登記的電子郵件信箱(%1)").arg(user->email));
    QCOMPARE(control<QRadioButton>(identity, "usePhone")->text(),
             QString("簡訊通知您於本公司登記的手機號碼(%1)").arg(user->phone));
    QVERIFY(answerIdentity(user->birth, choice.toLatin1().constData()));
    QVERIFY(!h.app().mask()->isVisible());  // the sending overlay is gone again

    const auto message = h.lastOutboxMessage();
    QVERIFY(message);
    QCOMPARE(QString::fromStdString(message->channel), channel);
    QCOMPARE(QString::fromStdString(message->to), to);
    QCOMPARE(QString::fromStdString(message->opType), opType);
    const auto send = h.lastRequest("sendAuthCode");
    QVERIFY(send);
    QCOMPARE(QString::fromStdString(send->params.at("authType")), authType);
    QCOMPARE(QString::fromStdString(send->params.at(authType == "1" ? "mail" : "phone")), to);
    QVERIFY(!send->params.count(authType == "1" ? "phone" : "mail"));

    QVERIFY(enterCode(message->code));
    QCOMPARE(h.app().myErrorCode(), 0);
    QCOMPARE(h.requestCount("queryContactInfo"), 1);
    QCOMPARE(h.requestCount("verifyAuthCode"), 1);
    QCOMPARE(log.linesWith(QString::fromStdString(message->code)), QStringList());
    if (opType == "Apply") {
      // The application begins: the overlay, then the agreement.
      QVERIFY(activeSheet<UserAgreementWindowController>());
      QVERIFY(h.app().mask()->isVisible());
      QVERIFY(h.alerts().shown().isEmpty());
    } else {
      QCOMPARE(h.alerts().texts(), QStringList{"廢止憑證完成"});
    }
  }

  void wrongCodeShowsGatewayMessage() {
    AppHarness h;
    QVERIFY(h.logIn(demo::kAlice));
    h.alerts().clear();
    click(h.app().ui()->btnApplyCert);
    QVERIFY(answerIdentity(demo::kAlice.birth, "useMail"));
    const auto message = h.lastOutboxMessage();
    QVERIFY(message);
    QVERIFY(enterCode(message->code == "000000" ? "111111" : "000000"));
    QCOMPARE(h.alerts().texts(), QStringList{"驗證碼錯誤"});
    QCOMPARE(h.app().myErrorCode(), karv::KARVLib::kVerifyAuthCodeFailed);
    QVERIFY(!activeSheet());
    QVERIFY(!h.app().mask() || !h.app().mask()->isVisible());
  }

  void rechosenDeliveryAsksTheGatewayNothingNew() {
    AppHarness h;
    QVERIFY(h.logIn(demo::kAlice));
    h.alerts().clear();
    h.gateway().clearRequests();
    click(h.app().ui()->btnApplyCert);
    QPointer<UserAuthWindowController> first = activeSheet<UserAuthWindowController>();
    QVERIFY(answerIdentity(demo::kAlice.birth, "useMail"));
    click(control<QPushButton>(activeSheet<AuthCodeWindowController>(), "btnReAuth"));
    auto* again = activeSheet<UserAuthWindowController>();
    QVERIFY(again && again != first);
    QCOMPARE(again->windowTitle(), QString("憑證申請"));
    QCOMPARE(control<QRadioButton>(again, "usePhone")->text(),
             QString("簡訊通知您於本公司登記的手機號碼(%1)").arg(demo::kAlice.phone));
    QCOMPARE(control<QLineEdit>(again, "txtUserBirth")->text(), QString());
    QCOMPARE(h.requestCount("queryContactInfo"), 1);
    QVERIFY(answerIdentity(demo::kAlice.birth, "usePhone"));
    const auto message = h.lastOutboxMessage();
    QVERIFY(message);
    QCOMPARE(message->channel, std::string("sms"));
    QVERIFY(enterCode(message->code));
    QVERIFY(activeSheet<UserAgreementWindowController>());
    QCOMPARE(h.requestCount("queryContactInfo"), 1);
    QCOMPARE(h.requestCount("sendAuthCode"), 2);
    QVERIFY(h.alerts().shown().isEmpty());
  }

  void downloadPasswordForAnApplication() {
    AppHarness h;
    LogRecorder log;
    QVERIFY(h.logIn(demo::kAlice));
    h.alerts().clear();
    // A wrong password: the gateway's message, no application.
    click(h.app().ui()->btnApplyCert);
    QVERIFY(answerIdentity(demo::kAlice.birth, "useService"));
    auto* dl = activeSheet<BtsCertDlPwdWindowController>();
    QVERIFY(dl);
    typeInto(control<QLineEdit>(dl, "txtUserBtsCertDlPwd"), "Wrong999");
    click(control<QPushButton>(dl, "btnOK"));
    QCOMPARE(h.alerts().texts(), QStringList{"憑證下載密碼錯誤"});
    QCOMPARE(h.app().myErrorCode(), karv::KARVLib::kCertDlPwdRejected);
    QVERIFY(!activeSheet());
    // Cancelled.
    h.alerts().clear();
    click(h.app().ui()->btnApplyCert);
    QVERIFY(answerIdentity(demo::kAlice.birth, "useService"));
    click(control<QPushButton>(activeSheet<BtsCertDlPwdWindowController>(), "btnCancel"));
    QCOMPARE(h.alerts().texts(), QStringList{"使用者按下取消鍵"});
    // The right one, with blanks around it.
    h.alerts().clear();
    click(h.app().ui()->btnApplyCert);
    QVERIFY(answerIdentity(demo::kAlice.birth, "useService"));
    typeInto(control<QLineEdit>(activeSheet(), "txtUserBtsCertDlPwd"), QString(" %1 ").arg(demo::kAlice.dlPwd));
    click(control<QPushButton>(activeSheet(), "btnOK"));
    QCOMPARE(h.app().myErrorCode(), 0);
    QVERIFY(activeSheet<UserAgreementWindowController>());
    QVERIFY(h.alerts().shown().isEmpty());
    QCOMPARE(log.linesWith(demo::kAlice.dlPwd), QStringList());
  }

  void noContactDataOnFile() {
    AppHarness h;
    QVERIFY(h.logIn(demo::kNoContact));
    h.alerts().clear();
    click(h.app().ui()->btnApplyCert);
    auto* identity = activeSheet<UserAuthWindowController>();
    QVERIFY(identity);
    auto* mail = control<QRadioButton>(identity, "useMail");
    QCOMPARE(mail->text(), QString("寄到您於本公司登記的電子郵件信箱(查無資料)"));
    QVERIFY(!mail->isEnabled());
    QCOMPARE(control<QRadioButton>(identity, "usePhone")->text(),
             QString("簡訊通知您於本公司登記的手機號碼(查無資料)"));
    QVERIFY(!control<QRadioButton>(identity, "usePhone")->isEnabled());
    QVERIFY(answerIdentity(demo::kNoContact.birth, "useMail"));  // cannot be chosen: no method
    QCOMPARE(h.alerts().texts(), QStringList{"尚未選擇驗證碼寄送方式"});
    QCOMPARE(h.requestCount("sendAuthCode"), 0);
  }

  void identityEndingsWithoutCode_data() {
    QTest::addColumn<QString>("birth");
    QTest::addColumn<QString>("choice");
    QTest::addColumn<QString>("message");
    // clang-format off
    QTest::newRow("wrong birth") << "19800116" << "useMail" << "驗證基本資料失敗";
    QTest::newRow("no method") << QString(demo::kAlice.birth) << "" << "尚未選擇驗證碼寄送方式";
    QTest::newRow("cancel") << "" << "btnCancel" << "使用者按下取消鍵";
    // clang-format on
  }
  void identityEndingsWithoutCode() {
    QFETCH(QString, birth);
    QFETCH(QString, choice);
    QFETCH(QString, message);
    AppHarness h;
    QVERIFY(h.logIn(demo::kAlice));
    h.alerts().clear();
    click(h.app().ui()->btnApplyCert);
    auto* identity = activeSheet<UserAuthWindowController>();
    QVERIFY(identity);
    // The three input errors first: each leaves the dialog open.
    for (const QString& typed : {QString(), QString("1980011"), QString("1980-115")}) {
      typeInto(control<QLineEdit>(identity, "txtUserBirth"), typed);
      click(control<QPushButton>(identity, "btnOK"));
      QCOMPARE(activeSheet<UserAuthWindowController>(), identity);
    }
    QCOMPARE(h.alerts().texts(), (QStringList{"基本資料空白", "基本資料長度須等於8", "基本資料必須全為數字"}));
    h.alerts().clear();
    if (choice == "btnCancel") {
      click(control<QPushButton>(identity, "btnCancel"));
    } else {
      QVERIFY(answerIdentity(birth, choice.toLatin1().constData()));
    }
    QCOMPARE(h.alerts().texts(), QStringList{message});
    QCOMPARE(h.app().myErrorCode(), -1);
    QVERIFY(!activeSheet());
    QCOMPARE(h.requestCount("sendAuthCode"), 0);
  }

  void gatewayRefusalsEndTheFlow() {
    AppHarness h;
    QVERIFY(h.logIn(demo::kAlice));
    h.alerts().clear();
    h.gateway().setFault("queryContactInfo", karv::gateway::Fault::reply("3001", "查無聯絡資料"));
    click(h.app().ui()->btnApplyCert);
    QCOMPARE(h.alerts().texts(), QStringList{"查無聯絡資料"});
    QCOMPARE(h.app().myErrorCode(), -1);
    QVERIFY(!activeSheet());

    h.gateway().clearFaults();
    h.gateway().setFault("sendAuthCode", karv::gateway::Fault::noAnswer());
    h.alerts().clear();
    click(h.app().ui()->btnApplyCert);
    QVERIFY(answerIdentity(demo::kAlice.birth, "useMail"));
    // No reply, no message from the gateway: the text for the code.
    QCOMPARE(h.alerts().texts(),
             QStringList{QString::fromStdString(h.app().getKARVlib()->getErrMsg(karv::KARVLib::kSendAuthCodeFailed))});
    QCOMPARE(h.app().myErrorCode(), -1);
    QVERIFY(!h.app().mask()->isVisible());
    QVERIFY(!activeSheet());
  }
};

QTEST_MAIN(AuthFlowTest)
#include "auth_flow_test.moc"
