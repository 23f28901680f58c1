// Login and logout from the main window, function status and buttons, idle
// logout and keep-alive: headless against the development gateway.
#include <QAccessible>
#include <QLabel>
#include <QtTest>

#include "GuiTestSupport.h"
#include "KARVMask.h"
#include "Log.h"
#include "ui_MainWindow.h"

using karv::gateway::Fault;
using karv::test::AppHarness;
namespace demo = karv::test::demo;

namespace {

const QString kDone = "登入作業已完成";
const QString kAskApply = "直接開始憑證申請??";

int countApi(AppHarness& h, const std::string& api) { return h.requestCount(api); }

std::map<std::string, std::string> sentParams(AppHarness& h, const std::string& api) {
  const auto request = h.lastRequest(api);
  return request ? request->params : std::map<std::string, std::string>{};
}

}  // namespace

class LoginTest : public QObject {
  Q_OBJECT
 private slots:
  void loginByAccountTrimsAndSendsEmptyId() {
    AppHarness h;
    h.launch();
    auto* ui = h.app().ui();
    ui->txtUsrAgcode->setCurrentIndex(1);
    ui->txtUserAccountNo->setText(" \t0012345  ");
    ui->txtSecureLoginPwd->setText(demo::kAlice.pwd);
    h.alerts().answerNext(1000);  // "登入作業已完成"
    h.alerts().answerNext(1001);  // decline the automatic prompt
    QTest::mouseClick(ui->btnLogin, Qt::LeftButton);

    QCOMPARE(h.alerts().texts(), (QStringList{kDone, kAskApply}));
    QCOMPARE(ui->txtUserAccountNo->text(), QString("0012345"));
    const auto login = sentParams(h, "doBtsLogin");
    QCOMPARE(login.at("brnhId"), std::string("001"));
    QCOMPARE(login.at("acctNo"), std::string("0012345"));
    QCOMPARE(login.at("idno"), std::string(""));
    QCOMPARE(login.at("loginType"), std::string("1"));
    QCOMPARE(login.at("pwd"), std::string(demo::kAlice.pwd));

    // Logged-in state: inputs locked, timers running, buttons from the status "10".
    QVERIFY(h.app().isUserLogin());
    QCOMPARE(ui->btnLogin->text(), QString("登出"));
    for (QWidget* w :
         std::initializer_list<QWidget*>{ui->txtUserIdNo, ui->txtLoginPwd, ui->txtUsrAgcode, ui->txtUserAccountNo,
                                         ui->txtSecureLoginPwd, ui->chkShowPwdPlainText})
      QVERIFY(!w->isEnabled());
    QVERIFY(ui->isAccount->isEnabled() && ui->isId->isEnabled() && ui->btnCrtIdno->isEnabled());
    QVERIFY(h.app().keepAliveTimer().isActive() && h.app().keepAliveTimer().interval() == 300000);
    QVERIFY(h.app().idleTimer().isActive() && h.app().idleTimer().interval() == 1000);
    QVERIFY(ui->btnApplyCert->isEnabled() && ui->btnChgPfxPwd->isEnabled());
    QVERIFY(!ui->btnRenewCert->isEnabled() && !ui->btnRevokeCert->isEnabled());
    QCOMPARE(h.app().currentFnStatus(), QString("10"));
    QVERIFY(ui->lblPfxFilePath->text().endsWith(".pfx"));
    QCOMPARE(QString::fromStdString(h.app().getKARVlib()->getCurrentPfxFilePath().value_or("")),
             ui->lblPfxFilePath->text());
    // Declining the prompt leaves the enabled buttons usable.
    h.alerts().clear();
    QTest::mouseClick(ui->btnApplyCert, Qt::LeftButton);
    QVERIFY(!h.alerts().shown().isEmpty() || QApplication::activeModalWidget());
  }

  void loginByIdSendsEmptyBranchAndAccount() {
    AppHarness h;
    h.launch();
    auto* ui = h.app().ui();
    QTest::mouseClick(ui->isId, Qt::LeftButton);
    QCOMPARE(h.app().currentLoginType(), QString("2"));
    QVERIFY(ui->txtUserIdNo->isVisible() && !ui->txtUserAccountNo->isVisible() && !ui->txtUsrAgcode->isVisible());
    ui->txtUserIdNo->setText(QString(" %1 ").arg(demo::kExpiring.idno));
    ui->txtSecureLoginPwd->setText(demo::kExpiring.pwd);
    h.alerts().answerNext(1000);
    h.alerts().answerNext(1001);
    QTest::keyClick(ui->txtSecureLoginPwd, Qt::Key_Return);  // Enter logs in like the button
    QCOMPARE(h.alerts().texts(), (QStringList{kDone, "您的憑證即將到期, 直接進行憑證更新??"}));
    const auto login = sentParams(h, "doBtsLogin");
    QCOMPARE(login.at("brnhId"), std::string(""));
    QCOMPARE(login.at("acctNo"), std::string(""));
    QCOMPARE(login.at("idno"), std::string(demo::kExpiring.idno));
    QCOMPARE(login.at("loginType"), std::string("2"));
    QVERIFY(ui->btnRenewCert->isEnabled() && ui->btnRevokeCert->isEnabled() && ui->btnDepCert->isEnabled());
  }

  void loginModeFollowsScreenReaderToggle() {
    // A screen reader's "Toggle" action sets the state without a click.
    AppHarness h;
    h.launch();
    auto* ui = h.app().ui();
    auto toggle = [](QWidget* radio) {
      QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(radio);
      if (!accessible || !accessible->actionInterface()) return false;
      accessible->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
      return true;
    };
    QVERIFY(toggle(ui->isId));
    QVERIFY(ui->isId->isChecked() && !ui->isAccount->isChecked());
    QCOMPARE(h.app().currentLoginType(), QString("2"));
    QVERIFY(ui->txtUserIdNo->isVisible() && ui->IdText->isVisible());
    QVERIFY(!ui->txtUserAccountNo->isVisible() && !ui->txtUsrAgcode->isVisible() && !ui->accountText->isVisible());
    QVERIFY(toggle(ui->isAccount));
    QCOMPARE(h.app().currentLoginType(), QString("1"));
    QVERIFY(!ui->txtUserIdNo->isVisible() && !ui->IdText->isVisible());
    QVERIFY(ui->txtUserAccountNo->isVisible() && ui->txtUsrAgcode->isVisible() && ui->accountText->isVisible());
  }

  void inputErrorsSendNothing() {
    AppHarness h;
    h.launch();
    auto* ui = h.app().ui();
    auto attempt = [&](const QString& expected) {
      h.alerts().clear();
      QCOMPARE(h.app().doBtsLogin(), -1);
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
    h.app().setId();
    ui->txtSecureLoginPwd->setText("x");
    attempt("使用者帳號空白");
    ui->txtUserIdNo->setText("A123456789");
    ui->txtSecureLoginPwd->clear();
    attempt("使用者密碼空白");
    QCOMPARE(countApi(h, "doBtsLogin"), 0);
    QVERIFY(!h.app().isUserLogin());
  }

  void refusalsAndTransportFailure() {
    AppHarness h;
    h.launch();
    auto* ui = h.app().ui();
    h.app().setId();
    ui->txtUserIdNo->setText(demo::kAlice.idno);
    ui->txtSecureLoginPwd->setText("wrong-password");
    QTest::mouseClick(ui->btnLogin, Qt::LeftButton);
    QCOMPARE(h.alerts().shown().size(), 1);
    QVERIFY(!h.alerts().texts().first().isEmpty() && h.alerts().texts().first() != "登入失敗");
    QVERIFY(!h.app().isUserLogin());
    QCOMPARE(ui->btnLogin->text(), QString("登入"));
    QVERIFY(ui->txtUserIdNo->isEnabled());

    h.alerts().clear();
    h.gateway().setFault("doBtsLogin", Fault::reply("8", "帳號已停用"));
    QCOMPARE(h.app().doBtsLogin(), karv::KARVLib::kLoginRejected);
    QCOMPARE(h.alerts().texts(), QStringList{"帳號已停用"});

    h.alerts().clear();
    h.gateway().setFault("doBtsLogin", Fault::noAnswer());
    QCOMPARE(h.app().doBtsLogin(), -1);
    QCOMPARE(h.alerts().texts(), QStringList{"登入失敗"});
    QVERIFY(!h.app().isUserLogin());
  }

  void firstLoginAsksNoFunctionStatus() {
    AppHarness h;
    h.launch();
    h.app().setId();
    h.app().ui()->txtUserIdNo->setText(demo::kFirstLogin.idno);
    h.app().ui()->txtSecureLoginPwd->setText(demo::kFirstLogin.pwd);
    QCOMPARE(h.app().doBtsLogin(), karv::KARVLib::kFirstLoginChange);
    const QStringList texts = h.alerts().texts();
    QVERIFY(texts.size() >= 2);
    QCOMPARE(texts[0], kDone);
    QCOMPARE(texts[1], QString("首次登入必需進行密碼變更!!\n接下來請依照提示進行登入密碼變更。"));
    QCOMPARE(countApi(h, "getFnStatus"), 0);
    QVERIFY(h.app().keepAliveTimer().isActive() && h.app().idleTimer().isActive());
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
        {"01", 0, 1, "您的憑證即將到期, 直接進行憑證更新??", false, true, false, true},
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
      QCOMPARE(app.currentFnStatus(), c.status);
    }
  }

  void serverTableFollowsCertificates() {
    AppHarness h;
    QVERIFY(h.logIn(demo::kExpiring));  // one certificate: the table is filled after login
    QCOMPARE(countApi(h, "qryCert"), 1);
    auto* ds = h.app().svrCertInfoDs();
    QVERIFY(ds);
    QCOMPARE(ds->numberOfRowsInTableView(), 7);
    QCOMPARE(h.app().ui()->tvSvrCertInfo->model(), ds);
    auto cell = [&](int row, int column) {
      return ds->objectValue(karv::app::KARVDGDataSource::kColumns[column], row).value_or("<none>");
    };
    QCOMPARE(cell(1, 0), QString("CN"));
    QCOMPARE(cell(1, 1), QString::fromLatin1(demo::kExpiring.cn));
    QVERIFY(QRegularExpression(R"(^\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}$)").match(cell(4, 1)).hasMatch());
    QVERIFY(QRegularExpression(R"(^\S+\(\w+\)$)").match(cell(5, 1)).hasMatch());  // text(code), no space

    // The renderer on its own: odd flags and dates, and a rejected query empties the table.
    h.app().renderSvrCertInfo({{"actFlg", "y"},
                               {"notBefore", "20260105"},
                               {"notAfter", "20270105093000123"},
                               {"state", "1"},
                               {"stateMessage", "有效"}});
    QCOMPARE(cell(3, 1), QString("20260105"));
    QCOMPARE(cell(4, 1), QString("2027/01/05 09:30:00"));
    QCOMPARE(cell(5, 1), QString("有效(1)"));
    QCOMPARE(cell(6, 1), QString("尚未安裝"));
    QCOMPARE(cell(0, 1), QString(""));
    h.gateway().setFault("qryCert", Fault::reply("4012", "查無憑證"));
    QCOMPARE(h.app().doQrySvrCertInfo(QString::fromLatin1(demo::kExpiring.cn)), 0);
    QCOMPARE(ds->numberOfRowsInTableView(), 0);
    h.gateway().setFault("qryCert", Fault::noAnswer());
    h.app().renderSvrCertInfo({{"actFlg", "Y"}});
    QCOMPARE(h.app().doQrySvrCertInfo("x"), -1);
    QCOMPARE(cell(6, 1), QString("已完成安裝"));  // a failed query leaves the table
    QVERIFY(h.alerts().texts().filter("查無").isEmpty());
    karv::app::KARVDGDataSource empty;
    QCOMPARE(empty.numberOfRowsInTableView(), 0);
    empty.reset();
  }

  void logoutConfirmation() {
    AppHarness h;
    h.launch();
    QVERIFY(h.logIn(demo::kAlice));
    auto* ui = h.app().ui();
    h.alerts().clear();
    h.alerts().answerNext(1001);
    QTest::mouseClick(ui->btnLogin, Qt::LeftButton);
    QCOMPARE(h.alerts().texts(), QStringList{"您確定要執行登出並關閉應用程式??"});
    QVERIFY(h.app().isUserLogin());
    QCOMPARE(ui->btnLogin->text(), QString("登出"));
    QCOMPARE(countApi(h, "doLogout"), 0);
    QCOMPARE(h.terminations(), 0);

    h.gateway().setFault("doLogout", Fault::reply("9", "登出失敗"));  // quits whatever the result
    h.alerts().answerNext(1000);
    QTest::mouseClick(ui->btnLogin, Qt::LeftButton);
    QCOMPARE(countApi(h, "doLogout"), 1);
    QCOMPARE(h.terminations(), 1);
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

    using karv::app::AppDelegate;
    QCOMPARE(AppDelegate::idnoCheckDigit('A', "12345678"), 9);
    QCOMPARE(AppDelegate::idnoCheckDigit('U', "12345678"), 6);
    const QRegularExpression shape("^[A-Z][12][0-9]{8}$");
    for (int i = 0; i < 300; ++i) {
      const QString id = AppDelegate::createIdno();
      QVERIFY2(shape.match(id).hasMatch(), qPrintable(id));
      QCOMPARE(id.right(1).toInt(), AppDelegate::idnoCheckDigit(id[0], id.mid(1, 8)));
    }
    QTest::mouseClick(ui->btnCrtIdno, Qt::LeftButton);
    QVERIFY(shape.match(ui->txtUserIdNo->text()).hasMatch());
    QCOMPARE(ui->txtSecureLoginPwd->text(), ui->txtUserIdNo->text());
  }

  void idleCountdownLogoutAndKeepAlive() {
    AppHarness h;
    h.launch();
    QVERIFY(h.logIn(demo::kAlice));
    auto& app = h.app();
    QVERIFY(app.mask() == nullptr || !app.mask()->isVisible());
    app.checkIdle();  // the first check starts the count
    h.clock().advanceMs(571'000);
    app.checkIdle();
    QVERIFY(app.mask() && app.mask()->isVisible() && app.mask()->idleMode());
    QCOMPARE(app.mask()->lblPrompt()->text(), QString("30秒後將自動登出並關閉應用程式"));

    // The keep-alive goes out also during the countdown.
    const int alive = countApi(h, "iAmAlive");
    QVERIFY(QMetaObject::invokeMethod(&app.keepAliveTimer(), "timeout"));
    QCOMPARE(countApi(h, "iAmAlive"), alive + 1);

    // A key press ends the countdown; mouse movement alone does not count.
    QTest::keyClick(app.window(), Qt::Key_Shift);
    QVERIFY(!app.mask()->isVisible());
    h.clock().advanceMs(580'000);
    QTest::mouseMove(app.ui()->btnLogin);
    app.checkIdle();
    QVERIFY(app.mask()->isVisible());
    h.clock().advanceMs(19'500);  // 599.5 s
    app.checkIdle();
    QCOMPARE(app.mask()->lblPrompt()->text(), QString("1秒後將自動登出並關閉應用程式"));
    h.clock().advanceMs(500);  // exactly 600 s: still the warning
    app.checkIdle();
    QCOMPARE(h.terminations(), 0);
    QCOMPARE(app.mask()->lblPrompt()->text(), QString("1秒後將自動登出並關閉應用程式"));
    h.clock().advanceMs(1);
    app.checkIdle();
    QCOMPARE(countApi(h, "doLogout"), 1);
    QCOMPARE(h.terminations(), 1);
  }

  void clickDuringBusyOverlayKeepsItAndTimersWaitForMessages() {
    AppHarness h;
    h.launch();
    QVERIFY(h.logIn(demo::kAlice));
    auto& app = h.app();
    app.showMask("處理中");
    h.clock().advanceMs(100'000);
    QTest::mouseClick(app.mask(), Qt::LeftButton);
    QVERIFY(app.mask()->isVisible() && !app.mask()->idleMode());
    h.clock().advanceMs(571'000);
    app.checkIdle();
    QVERIFY(app.mask()->idleMode());  // 571 s since the click
    app.hideMask();

    // While a message waits for the user, the idle check waits too.
    QStringList checkedDuringMessage;
    karv::setLogSink([&](std::string_view l) {
      if (l == "checked!!") checkedDuringMessage << "checked";
    });
    h.alerts().onPresent = [&] {
      QVERIFY(QMetaObject::invokeMethod(&app.idleTimer(), "timeout"));
      QVERIFY(checkedDuringMessage.isEmpty());
    };
    app.doAlert("請稍候");
    karv::setLogSink({});
    h.alerts().onPresent = nullptr;
    QCOMPARE(checkedDuringMessage.size(), 1);  // ran once the message was gone
  }

  void passwordsNeverLogged() {
    QStringList lines;
    karv::setLogSink([&](std::string_view l) { lines << QString::fromUtf8(l.data(), qsizetype(l.size())); });
    AppHarness h;
    h.launch();
    QVERIFY(h.logIn(demo::kAlice));
    karv::setLogSink({});
    QVERIFY(lines.contains(QString("loginId=%1,pwd=***").arg(demo::kAlice.idno)));
    for (const QString& l : lines) QVERIFY2(!l.contains(demo::kAlice.pwd), qPrintable(l));
  }
};

QTEST_MAIN(LoginTest)
#include "login_test.moc"
