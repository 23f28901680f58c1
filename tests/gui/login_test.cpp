// Login and logout from the main window, the function status and its
// buttons, the server table, idle logout and keep-alive, and the password
// change of a first login: headless against the development gateway.
#include <QAccessible>
#include <QLabel>
#include <QtTest>

#include "GuiTestSupport.h"
#include "app/KARVMask.h"
#include "app/dialogs/UserChgBtsLoginPwdWindowController.h"
#include "system/Log.h"
#include "ui_MainWindow.h"

using namespace karv::test;
using karv::gateway::Fault;

namespace {
const QString kDone = "登入作業已完成";
const QString kAskApply = "直接開始憑證申請??";
const QString kAskRenew = "您的憑證即將到期, 直接進行憑證更新??";
const QString kMustChange = "首次登入必需進行密碼變更!!\n接下來請依照提示進行登入密碼變更。";
const QString kNotChanged = "在成功變更密碼前, 您將無法進行憑證作業。";

// What the last login sent: branch, account, ID number, login type, password.
QStringList sentLogin(AppHarness& h) {
  QStringList values;
  const auto request = h.lastRequest("doBtsLogin");
  for (const char* name : {"brnhId", "acctNo", "idno", "loginType", "pwd"})
    values << (request && request->params.count(name) ? QString::fromStdString(request->params.at(name)) : "-");
  return values;
}

// A screen reader's "Toggle" action sets the state without a click.
void toggle(QWidget* radio) {
  QAccessible::queryAccessibleInterface(radio)->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
}
}  // namespace

class LoginTest : public QObject {
  Q_OBJECT
 private slots:
  void loginByAccountThenById() {
    AppHarness h;
    h.launch();
    auto* ui = h.app().ui();
    ui->txtUsrAgcode->setCurrentIndex(1);
    typeInto(ui->txtUserAccountNo, " \t0012345  ");
    typeInto(ui->txtSecureLoginPwd, demo::kAlice.pwd);
    ui->chkShowPwdPlainText->click();  // shown in plain text: both fields hold it
    h.alerts().answerFor(kAskApply, 1001);
    click(ui->btnLogin);
    QCOMPARE(h.alerts().texts(), (QStringList{kDone, kAskApply}));
    QCOMPARE(ui->txtUserAccountNo->text(), QString("0012345"));
    QCOMPARE(sentLogin(h), (QStringList{"001", "0012345", "", "1", demo::kAlice.pwd}));

    // Logged in: inputs locked, timers running, buttons from the status "10".
    QVERIFY(h.app().isUserLogin());
    QCOMPARE(ui->btnLogin->accessibleName(), QString("登出"));
    for (QWidget* w : QList<QWidget*>{ui->txtUserIdNo, ui->txtLoginPwd, ui->txtUsrAgcode, ui->txtUserAccountNo,
                                      ui->txtSecureLoginPwd, ui->chkShowPwdPlainText})
      QVERIFY(!w->isEnabled());
    // Neither field keeps the password for the session, nor its undo history.
    for (QLineEdit* field : {ui->txtSecureLoginPwd, ui->txtLoginPwd})
      QVERIFY(field->text().isEmpty() && !field->isUndoAvailable());
    QVERIFY(ui->isAccount->isEnabled() && ui->isId->isEnabled() && ui->btnCrtIdno->isEnabled());
    QVERIFY(h.app().sessionTimers().keepAliveTimer().isActive() &&
            h.app().sessionTimers().keepAliveTimer().interval() == 300000);
    QVERIFY(h.app().sessionTimers().idleTimer().isActive() && h.app().sessionTimers().idleTimer().interval() == 1000);
    QVERIFY(ui->btnApplyCert->isEnabled() && !ui->btnRenewCert->isEnabled() && !ui->btnRevokeCert->isEnabled());
    QVERIFY(ui->lblPfxFilePath->text().endsWith(".pfx"));
    QCOMPARE(h.currentPath(), ui->lblPfxFilePath->text());

    // The next launch: the ID layout through the screen reader's toggle,
    // and back; Enter logs in like the button.
    h.relaunch();
    h.launch();
    ui = h.app().ui();
    toggle(ui->isId);
    QVERIFY(h.app().loginForm().loginType() == "2" && ui->txtUserIdNo->isVisible() &&
            !ui->txtUserAccountNo->isVisible());
    toggle(ui->isAccount);
    QVERIFY(h.app().loginForm().loginType() == "1" && !ui->txtUserIdNo->isVisible() && ui->txtUsrAgcode->isVisible());
    toggle(ui->isId);
    h.alerts().clear();
    h.alerts().answerFor(kAskRenew, 1001);
    typeInto(ui->txtUserIdNo, QString(" %1 ").arg(demo::kExpiring.idno));
    typeInto(ui->txtSecureLoginPwd, demo::kExpiring.pwd);
    QTest::keyClick(ui->txtSecureLoginPwd, Qt::Key_Return);
    QCOMPARE(h.alerts().texts(), (QStringList{kDone, kAskRenew}));
    QCOMPARE(sentLogin(h), (QStringList{"", "", demo::kExpiring.idno, "2", demo::kExpiring.pwd}));
    QVERIFY(ui->btnRenewCert->isEnabled() && ui->btnRevokeCert->isEnabled() && ui->btnDepCert->isEnabled());
  }

  void refusedLoginsSendNothingOrShowWhy() {
    AppHarness h;
    h.launch();
    auto& app = h.app();
    auto* ui = app.ui();
    auto attempt = [&](const QString& expected, int32_t code = -1) {
      h.alerts().clear();
      QCOMPARE(app.doBtsLogin(), code);
      QCOMPARE(h.alerts().texts(), QStringList{expected});
    };
    // The window as it opens: no branch chosen until the user picks one.
    ui->txtUserAccountNo->setText("0012345");
    ui->txtSecureLoginPwd->setText("x");
    attempt("使用者帳號分公司未指定");
    ui->txtUsrAgcode->setCurrentIndex(0);
    ui->txtUserAccountNo->setText(" \t ");
    attempt("使用者帳號空白");
    ui->txtUserAccountNo->setText("0012345");
    ui->txtSecureLoginPwd->clear();
    attempt("使用者密碼空白");
    app.setId();
    ui->txtSecureLoginPwd->setText("x");
    attempt("使用者帳號空白");
    ui->txtUserIdNo->setText(demo::kAlice.idno);
    ui->txtSecureLoginPwd->clear();
    attempt("使用者密碼空白");
    QCOMPARE(h.requestCount("doBtsLogin"), 0);

    // The gateway's refusals: its own text; no reply: "登入失敗".
    ui->txtSecureLoginPwd->setText("wrong-password");
    attempt("帳號或密碼錯誤", karv::KARVLib::kLoginRejected);
    h.gateway().setFault("doBtsLogin", Fault::reply("8", "帳號已停用"));
    attempt("帳號已停用", karv::KARVLib::kLoginRejected);
    h.gateway().setFault("doBtsLogin", Fault::noAnswer());
    attempt("登入失敗");
    QVERIFY(!app.isUserLogin() && ui->btnLogin->accessibleName() == "登入" && ui->txtUserIdNo->isEnabled());
  }

  void functionStatusDrivesButtonsAndPrompts() {
    AppHarness h;
    h.launch();
    auto& app = h.app();
    auto* ui = app.ui();
    struct Case {
      QString status;
      int certCount;
      int effect;
      QString question;  // "" when none
      bool apply, renew, query, effective;
    };
    const QList<Case> cases = {
        {"00", 0, 0, "", false, false, false, false},
        {"10", 0, 0, kAskApply, true, false, false, false},
        {"21", 0, 0, "您的憑證申請操作未完成，繼續進行憑證申請??", true, true, false, false},
        {"01", 0, 1, kAskRenew, false, true, false, true},
        {"02", 0, 1, "您的憑證更新操作尚未完成, 繼續進行憑證更新??", false, true, false, true},
        {"30", 0, 0, "", true, false, false, false},
        {"1", 0, 0, "", false, false, false, false},  // too short: allows nothing
        {"", -3, -1, "", false, false, false, false},
        {"00", 0, 1, "", false, false, false, true},
    };
    for (const Case& c : cases) {
      h.alerts().clear();
      h.alerts().answerNext(1001);  // decline any question
      app.setBtnStatus(c.status, c.certCount, c.effect);
      app.invokeAutoPrcs(c.status);
      QCOMPARE(h.alerts().texts(), c.question.isEmpty() ? QStringList{} : QStringList{c.question});
      QCOMPARE(ui->btnApplyCert->isEnabled(), c.apply);
      QCOMPARE(ui->btnRenewCert->isEnabled(), c.renew);
      QCOMPARE(ui->btnQrySvrCertInfo->isEnabled(), c.query);
      QCOMPARE(ui->btnQryClntCertInfo->isEnabled(), c.query);
      for (QPushButton* b : {ui->btnRevokeCert, ui->btnDepCert, ui->btnRmvDepCert})
        QCOMPARE(b->isEnabled(), c.effective);
      QVERIFY(ui->btnChgPfxPwd->isEnabled());
    }
  }

  void serverTableFollowsCertificates() {
    AppHarness h;
    QVERIFY(h.logIn(demo::kExpiring));  // one certificate: the table is filled after login
    QCOMPARE(h.requestCount("qryCert"), 1);
    auto* ds = h.app().certificateTables().svrCertInfoDs();
    QCOMPARE(h.app().ui()->tvSvrCertInfo->model(), ds);
    QStringList cells = tableCells(ds);
    QCOMPARE(cells.size(), 7);
    QCOMPARE(cells[1], "CN=" + QString(demo::kExpiring.cn));
    QVERIFY(QRegularExpression(R"(=\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}$)").match(cells[4]).hasMatch());
    QVERIFY(QRegularExpression(R"(=\S+\(\w+\)$)").match(cells[5]).hasMatch());  // text(code), no space

    // Odd flags and dates: 8-digit dates stay as they are.
    h.app().renderSvrCertInfo({{"actFlg", "y"},
                               {"notBefore", "20260105"},
                               {"notAfter", "20270105093000123"},
                               {"state", "1"},
                               {"stateMessage", "有效"}});
    auto value = [&](int row) { return tableCells(ds).value(row).section('=', 1); };
    QCOMPARE(value(0), QString());
    QCOMPARE(value(3), QString("20260105"));
    QCOMPARE(value(4), QString("2027/01/05 09:30:00"));
    QCOMPARE(value(5), QString("有效(1)"));
    QCOMPARE(value(6), QString("尚未安裝"));
    // No certificate empties the table; a failed query leaves it, silently.
    h.gateway().setFault("qryCert", Fault::reply("4012", "查無憑證"));
    QCOMPARE(h.app().doQrySvrCertInfo(demo::kExpiring.cn), 0);
    QCOMPARE(ds->numberOfRowsInTableView(), 0);
    h.gateway().setFault("qryCert", Fault::noAnswer());
    h.app().renderSvrCertInfo({{"actFlg", "Y"}});
    QCOMPARE(h.app().doQrySvrCertInfo("x"), -1);
    QCOMPARE(value(6), QString("已完成安裝"));
    QVERIFY(h.alerts().texts().filter("查無").isEmpty());
  }

  void logoutAsksFirstAndQuitsWhateverTheResult() {
    AppHarness h;
    QVERIFY(h.logIn(demo::kAlice));
    h.alerts().clear();
    h.alerts().answerNext(1001);
    click(h.app().ui()->btnLogin);
    QCOMPARE(h.alerts().texts(), QStringList{"您確定要執行登出並關閉應用程式??"});
    QVERIFY(h.app().isUserLogin() && h.requestCount("doLogout") == 0 && h.terminations() == 0);
    h.gateway().setFault("doLogout", Fault::reply("9", "登出失敗"));
    click(h.app().ui()->btnLogin);
    QVERIFY(h.requestCount("doLogout") == 1 && h.terminations() == 1);
  }

  void passwordFieldsAndGeneratedId() {
    AppHarness h;
    h.launch();
    auto* ui = h.app().ui();
    QTest::keyClicks(ui->txtSecureLoginPwd, "abcdefghijklmnopq");  // 17 characters
    QCOMPARE(ui->txtSecureLoginPwd->text(), QString("abcdefghijklmnop"));
    ui->txtLoginPwd->setText("密碼密碼密碼密碼密碼密碼密碼密碼密");
    QCOMPARE(ui->txtLoginPwd->text().size(), 16);
    ui->txtSecureLoginPwd->setText("secret 1");
    ui->chkShowPwdPlainText->click();
    QVERIFY(ui->txtLoginPwd->isVisible() && !ui->txtSecureLoginPwd->isVisible());
    QCOMPARE(ui->txtLoginPwd->text(), QString("secret 1"));
    ui->txtLoginPwd->setText("secret 2");
    ui->chkShowPwdPlainText->click();
    QVERIFY(!ui->txtLoginPwd->isVisible() && ui->txtSecureLoginPwd->isVisible());
    QCOMPARE(ui->txtSecureLoginPwd->text(), QString("secret 2"));

    using karv::app::LoginForm;
    QCOMPARE(LoginForm::idnoCheckDigit('U', "12345678"), 6);
    for (int i = 0; i < 50; ++i) {  // the button fills in a valid ID number, the password alike
      click(ui->btnCrtIdno);
      const QString id = ui->txtUserIdNo->text();
      QVERIFY2(QRegularExpression("^[A-Z][12][0-9]{8}$").match(id).hasMatch(), qPrintable(id));
      QVERIFY2(id.right(1).toInt() == LoginForm::idnoCheckDigit(id[0], id.mid(1, 8)), qPrintable(id));
    }
    QCOMPARE(ui->txtSecureLoginPwd->text(), ui->txtUserIdNo->text());
  }

  void idleCountdownLogoutAndKeepAlive() {
    AppHarness h;
    QVERIFY(h.logIn(demo::kAlice));
    auto& app = h.app();
    // A click on the busy overlay counts as activity, and the overlay stays.
    app.checkIdle();  // the first check starts the count
    app.showMask("處理中");
    h.clock().advanceMs(100'000);
    QTest::mouseClick(app.mask(), Qt::LeftButton);
    QVERIFY(app.mask()->isVisible() && !app.mask()->idleMode());
    app.hideMask();
    h.clock().advanceMs(571'000);  // 571 s since the click, 671 s since the start
    app.checkIdle();
    QVERIFY(app.mask()->isVisible() && app.mask()->idleMode());
    QCOMPARE(app.mask()->lblPrompt()->text(), QString("30秒後將自動登出並關閉應用程式"));

    // The keep-alive goes out also during the countdown.
    const int alive = h.requestCount("iAmAlive");
    QMetaObject::invokeMethod(&app.sessionTimers().keepAliveTimer(), "timeout");
    QCOMPARE(h.requestCount("iAmAlive"), alive + 1);

    // A key press ends the countdown; mouse movement alone does not count.
    QTest::keyClick(app.window(), Qt::Key_Shift);
    QVERIFY(!app.mask()->isVisible());
    h.clock().advanceMs(580'000);
    QTest::mouseMove(app.ui()->btnLogin);
    app.checkIdle();
    QVERIFY(app.mask()->isVisible());
    h.clock().advanceMs(20'000);  // exactly 600 s: still the warning
    app.checkIdle();
    QCOMPARE(h.terminations(), 0);
    QCOMPARE(app.mask()->lblPrompt()->text(), QString("1秒後將自動登出並關閉應用程式"));
    // While a message waits for the user, the idle check waits too, and runs once afterwards.
    h.clock().advanceMs(1);
    int checksDuringMessage = -1;
    LogRecorder log;
    h.alerts().onPresent = [&] {
      QMetaObject::invokeMethod(&app.sessionTimers().idleTimer(), "timeout");
      checksDuringMessage = int(log.linesWith("checked!!").size());
    };
    app.doAlert("請稍候");
    QCOMPARE(checksDuringMessage, 0);
    QCOMPARE(log.linesWith("checked!!").size(), 1);
    QCOMPARE(h.requestCount("doLogout"), 1);
    QCOMPARE(h.terminations(), 1);
  }

  // The first login demands a new password: through a client of its own,
  // without a session, then a logout; the next login takes only the new one.
  void firstLoginChangesThePassword() {
    AppHarness h;
    LogRecorder log;
    QVERIFY(h.logIn(demo::kFirstLogin));
    QCOMPARE(h.alerts().texts(), (QStringList{kDone, kMustChange}));
    QCOMPARE(h.requestCount("getFnStatus"), 0);
    QVERIFY(h.app().sessionTimers().keepAliveTimer().isActive() && h.app().sessionTimers().idleTimer().isActive());
    auto* sheet = activeSheet<karv::app::UserChgBtsLoginPwdWindowController>();
    QVERIFY(sheet && sheet->idno() == demo::kFirstLogin.idno);
    h.alerts().clear();
    h.gateway().clearRequests();
    QVERIFY(submitChange(demo::kFirstLogin.pwd, "NewPass99 ", "NewPass99"));  // trimmed like the confirmation
    QCOMPARE(h.alerts().texts(), QStringList{"密碼變更完成!!\n請使用新密碼重新登入。"});
    QCOMPARE(h.terminations(), 1);
    const auto requests = h.gateway().requests();
    QStringList apis;
    for (const auto& r : requests) apis << QString::fromStdString(r.api);
    QCOMPARE(apis, (QStringList{"changeBtsLoginPwd", "getSysCfg", "doLogout"}));
    QVERIFY(!requests[0].sessionId && !requests[1].sessionId && requests[2].sessionId);
    QVERIFY(requests[0].path.find("SID:") == std::string::npos);
    QCOMPARE(requests[0].params.at("idno"), std::string(demo::kFirstLogin.idno));
    QCOMPARE(requests[0].params.at("oldPwd"), std::string(demo::kFirstLogin.pwd));
    QCOMPARE(requests[0].params.at("newPwd"), std::string("NewPass99"));
    const QStringList secrets = QStringList{demo::kFirstLogin.pwd, "NewPass99", qstr(h.app().getKARVlib()->getAesKey())}
                                << sentValues(requests);
    QCOMPARE(leakingLine(log.lines(), secrets), QString());

    h.relaunch();
    QVERIFY(!h.logIn(demo::kFirstLogin));
    h.relaunch();
    h.alerts().clear();
    QVERIFY(h.logIn(demo::kFirstLogin, "NewPass99"));
    QCOMPARE(h.alerts().texts(), (QStringList{kDone, kAskApply}));  // a full login now
    QVERIFY(!activeSheet());
  }

  // Without a change the application ends: the gateway refuses, does not
  // answer, or the client reports nothing sent (which is no success either);
  // the dialog's rules keep it open, every field emptied, until Cancel.
  void firstLoginEndingsWithoutChange() {
    struct NothingSent : karv::KARVLib {
      using KARVLib::KARVLib;
      int32_t changeBtsLoginPwd(const std::optional<std::string>&, const std::optional<std::string>&,
                                const std::optional<std::string>&, std::optional<std::string>&) override {
        return 1;
      }
    };
    for (const char* ending : {"refused", "no reply", "nothing sent"}) {
      AppHarness h;
      if (ending == std::string("nothing sent"))
        h.setClientFactory([](const karv::GatewayEndpoint& ep) { return std::make_unique<NothingSent>(ep); });
      if (ending == std::string("no reply")) h.gateway().setFault("changeBtsLoginPwd", Fault::noAnswer());
      h.logIn(demo::kFirstLogin);
      h.alerts().clear();
      QVERIFY(submitChange(ending == std::string("refused") ? "Wrong1234" : demo::kFirstLogin.pwd, "NewPass99",
                           "NewPass99"));
      // The dialog's own report of a refusal never shows: the application is ending.
      QVERIFY2(h.alerts().texts() == QStringList{kNotChanged}, ending);
      QVERIFY2(h.terminations() == 1 && h.requestCount("doLogout") == 0, ending);
    }

    AppHarness h;
    h.logIn(demo::kFirstLogin);
    h.alerts().clear();
    QDialog* sheet = activeSheet<karv::app::UserChgBtsLoginPwdWindowController>();
    const char* names[] = {"txtUserBtsLoginOldPwd", "txtUserBtsLoginNewPwd", "txtUserBtsLoginNewPwdConfirm"};
    for (const char* name : names) QCOMPARE(control<QLineEdit>(sheet, name)->echoMode(), QLineEdit::Password);
    const QList<QStringList> rules{
        {"  ", "abc123", "abc123", "舊密碼空白"},
        {"Start1234", "\t", "", "新密碼空白"},
        {"Start1234", "abc123", "abc124", "新密碼與新密碼確認不同"},
        {"abc123", "abc123", "abc123", "新密碼不得與舊密碼相同"},
        {"Start1234", "ab1c2", "ab1c2", "密碼長度不足"},
        {"Start1234", "abcdefgh123456789", "abcdefgh123456789", "密碼長度超過限制"},
        {"Start1234", "abcdef", "abcdef", "密碼必需包含數字"},
        {"Start1234", "123456", "123456", "密碼必需包含英文字母"},
        {"Start1234", "密碼123456", "密碼123456", "密碼必需包含英文字母"},  // non-ASCII letters are no letters
    };
    for (const QStringList& c : rules) {
      QVERIFY(submitChange(c[0], c[1], c[2]));
      QVERIFY2(h.showsOnly(c[3], sheet), qPrintable(c[3]));
      for (const char* name : names) QVERIFY(control<QLineEdit>(sheet, name)->text().isEmpty());
    }
    QCOMPARE(h.terminations(), 0);
    QVERIFY(fillIn({}, "btnCancel"));
    QCOMPARE(h.alerts().texts(), QStringList{"您按下「取消」鍵, 取消變更密碼。\n\n" + kNotChanged});
    QVERIFY(h.terminations() == 1 && h.requestCount("changeBtsLoginPwd") == 0);
  }
};

QTEST_MAIN(LoginTest)
#include "login_test.moc"
