// The first login of a trading account: the password change it demands,
// against the development gateway, and its three endings.
#include <QPushButton>
#include <QtTest>

#include "GuiTestSupport.h"
#include "UserChgBtsLoginPwdWindowController.h"
#include "ui_MainWindow.h"

using namespace karv::app;
using namespace karv::test;
namespace demo = karv::test::demo;

namespace {
const QString kLoggedIn = "登入作業已完成";
const QString kMustChange = "首次登入必需進行密碼變更!!\n接下來請依照提示進行登入密碼變更。";
const QString kChanged = "密碼變更完成!!\n請使用新密碼重新登入。";
const QString kNotChanged = "在成功變更密碼前, 您將無法進行憑證作業。";
const QString kCancelled = "您按下「取消」鍵, 取消變更密碼。\n\n在成功變更密碼前, 您將無法進行憑證作業。";

}  // namespace

class FirstLoginTest : public QObject {
  Q_OBJECT
 private slots:
  void validChangeThenLoginWithNewPassword() {
    AppHarness h;
    LogRecorder log;
    QVERIFY(h.logIn(demo::kFirstLogin));  // logged in, with the change still to come
    QCOMPARE(h.alerts().texts(), (QStringList{kLoggedIn, kMustChange}));
    QCOMPARE(h.requestCount("getFnStatus"), 0);
    auto* sheet = activeSheet<UserChgBtsLoginPwdWindowController>();
    QVERIFY(sheet);
    QCOMPARE(sheet->idno(), QString(demo::kFirstLogin.idno));
    QCOMPARE(h.app().ui()->btnLogin->text(), QString("登出"));
    h.alerts().clear();
    h.gateway().clearRequests();
    // A trailing blank on the new password is trimmed like the confirmation.
    QVERIFY(submitChange(demo::kFirstLogin.pwd, "NewPass99 ", "NewPass99"));
    QCOMPARE(h.alerts().texts(), QStringList{kChanged});
    QCOMPARE(h.terminations(), 1);
    // The change goes through a client of its own, without a session (that
    // client then loads the configuration for itself); the logout through
    // the application's session.
    const auto requests = h.gateway().requests();
    QStringList apis;
    for (const auto& r : requests) apis << QString::fromStdString(r.api);
    QCOMPARE(apis, (QStringList{"changeBtsLoginPwd", "getSysCfg", "doLogout"}));
    for (int i : {0, 1}) {
      QVERIFY(!requests[i].sessionId);
      QVERIFY(requests[i].path.find("SID:") == std::string::npos);
    }
    QCOMPARE(requests[0].params.at("idno"), std::string(demo::kFirstLogin.idno));
    QCOMPARE(requests[0].params.at("oldPwd"), std::string(demo::kFirstLogin.pwd));
    QCOMPARE(requests[0].params.at("newPwd"), std::string("NewPass99"));
    QVERIFY(requests[2].sessionId);
    QCOMPARE(log.linesWith("NewPass99"), QStringList());
    QCOMPARE(log.linesWith(demo::kFirstLogin.pwd), QStringList());

    // The next launch: the new password opens the session, the old one does not.
    h.alerts().clear();
    h.relaunch();
    QVERIFY(!h.logIn(demo::kFirstLogin));
    QCOMPARE(h.alerts().texts(), QStringList{"帳號或密碼錯誤"});
    h.alerts().clear();
    h.relaunch();
    QVERIFY(h.logIn(demo::kFirstLogin, "NewPass99"));
    // A full login now: the function status came, and with it the offer to apply.
    QCOMPARE(h.alerts().texts(), (QStringList{kLoggedIn, "直接開始憑證申請??"}));
    QVERIFY(!activeSheet());
  }

  void refusedChangeQuits() {
    AppHarness h;
    h.logIn(demo::kFirstLogin);
    h.alerts().clear();
    QVERIFY(submitChange("Wrong1234", "NewPass99", "NewPass99"));
    // The dialog's own report of the refusal never shows: the application is ending.
    QCOMPARE(h.alerts().texts(), QStringList{kNotChanged});
    QCOMPARE(h.terminations(), 1);
    QCOMPARE(h.requestCount("doLogout"), 0);
  }

  void noReplyQuits() {
    AppHarness h;
    h.logIn(demo::kFirstLogin);
    h.alerts().clear();
    h.gateway().setFault("changeBtsLoginPwd", karv::gateway::Fault::noAnswer());
    QVERIFY(submitChange(demo::kFirstLogin.pwd, "NewPass99", "NewPass99"));
    QCOMPARE(h.alerts().texts(), QStringList{kNotChanged});
    QCOMPARE(h.terminations(), 1);
  }

  void ruleFailureThenCancel() {
    AppHarness h;
    h.logIn(demo::kFirstLogin);
    h.alerts().clear();
    QVERIFY(submitChange(demo::kFirstLogin.pwd, "abcdef", "abcdef"));
    QCOMPARE(h.alerts().texts(), QStringList{"密碼必需包含數字"});
    QCOMPARE(h.terminations(), 0);
    auto* sheet = activeSheet<UserChgBtsLoginPwdWindowController>();
    QVERIFY(sheet);
    h.alerts().clear();
    click(control<QPushButton>(sheet, "btnCancel"));
    QCOMPARE(h.alerts().texts(), QStringList{kCancelled});
    QCOMPARE(h.terminations(), 1);
    QCOMPARE(h.requestCount("changeBtsLoginPwd"), 0);
  }
};

QTEST_MAIN(FirstLoginTest)
#include "first_login_test.moc"
