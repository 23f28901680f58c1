// Identity verification from the main window against the development gateway,
// the revocation it leads to, and what the log may not hold afterwards.
#include <QLabel>
#include <QPointer>
#include <QRadioButton>
#include <QTextBrowser>
#include <QtTest>

#include "GuiTestSupport.h"
#include "app/KARVMask.h"
#include "app/dialogs/AuthCodeWindowController.h"
#include "app/dialogs/BtsCertDlPwdWindowController.h"
#include "app/dialogs/LoadPfxWindowController.h"
#include "app/dialogs/UserAgreementWindowController.h"
#include "app/dialogs/UserAuthWindowController.h"
#include "ui_MainWindow.h"

using namespace karv::app;
using namespace karv::test;
using karv::gateway::Fault;

namespace {
QString mailChoice(const QString& mail) { return QString("寄到您於本公司登記的電子郵件信箱(%1)").arg(mail); }
QString phoneChoice(const QString& phone) { return QString("簡訊通知您於本公司登記的手機號碼(%1)").arg(phone); }

// The last code sent went by this channel to this address, for this operation,
// and the request named only that address.
bool sentBy(AppHarness& h, const std::string& channel, const std::string& to, const std::string& opType) {
  const auto message = h.lastOutboxMessage();
  const auto request = h.lastRequest("sendAuthCode");
  const bool mail = channel == "mail";
  return message && request && message->channel == channel && message->to == to && message->opType == opType &&
         request->params.at("authType") == (mail ? "1" : "2") && request->params.at(mail ? "mail" : "phone") == to &&
         !request->params.count(mail ? "phone" : "mail");
}
}  // namespace

class VerificationTest : public QObject {
  Q_OBJECT
 private slots:
  void applicationVerifiedByMailThenByPhone() {
    AppHarness h;
    LogRecorder log;
    QVERIFY(h.logIn(demo::kAlice));
    h.alerts().clear();
    click(h.app().ui()->btnApplyCert);
    QPointer<UserAuthWindowController> identity = activeSheet<UserAuthWindowController>();
    QVERIFY(identity);
    QCOMPARE(identity->windowTitle(), QString("憑證申請"));
    QVERIFY(control<QRadioButton>(identity, "useService")->isVisibleTo(identity));  // for applications only
    QCOMPARE(control<QRadioButton>(identity, "useMail")->text(), mailChoice(demo::kAlice.email));
    QCOMPARE(control<QRadioButton>(identity, "usePhone")->text(), phoneChoice(demo::kAlice.phone));
    // Input errors keep the dialog open; blanks around the date are trimmed.
    const std::pair<const char*, const char*> wrong[] = {
        {" \t ", "基本資料空白"}, {"198001150", "基本資料長度須等於8"}, {"1980O115", "基本資料必須全為數字"}};
    for (const auto& [typed, message] : wrong) {
      QVERIFY(fillIn({{"txtUserBirth", typed}}, "btnOK"));
      QVERIFY2(h.showsOnly(message, identity), message);
    }
    QVERIFY(answerIdentity(" 19800115\t", "useMail"));
    QVERIFY(sentBy(h, "mail", demo::kAlice.email, "Apply"));
    QVERIFY(!h.app().mask()->isVisible());

    // Another choice: back to a new identity dialog, the contact data at hand.
    click(control<QAbstractButton>(activeSheet<AuthCodeWindowController>(), "btnReAuth"));
    auto* again = activeSheet<UserAuthWindowController>();
    QVERIFY(again && again != identity);
    QCOMPARE(control<QLineEdit>(again, "txtUserBirth")->text(), QString());
    click(control<QRadioButton>(again, "useService"));  // the last choice counts
    QVERIFY(answerIdentity(demo::kAlice.birth, "usePhone"));
    QVERIFY(sentBy(h, "sms", demo::kAlice.phone, "Apply"));
    const QString code = QString::fromStdString(h.lastOutboxMessage()->code);
    QVERIFY(enterCode(" " + code + "\t"));
    QVERIFY(h.requestCount("queryContactInfo") == 1 && h.requestCount("sendAuthCode") == 2);
    QVERIFY(log.linesWith(code).isEmpty());

    // The application begins: the agreement over the overlay; Next follows the check box.
    auto* agreement = activeSheet<UserAgreementWindowController>();
    QVERIFY(agreement && h.app().mask()->isVisible() && h.alerts().shown().isEmpty());
    QVERIFY(control<QTextBrowser>(agreement, "wvUserAgreement")->toPlainText().contains("電子憑證服務使用者約定條款"));
    auto* agree = control<QAbstractButton>(agreement, "chkAgree");
    auto* next = control<QAbstractButton>(agreement, "btnNextStep");
    QVERIFY(!agree->isChecked() && !next->isEnabled());
    click(next);
    QCOMPARE(activeSheet(), agreement);
    click(agree);
    QVERIFY(next->isEnabled());
    click(agree);
    QVERIFY(!next->isEnabled());
  }

  void verificationEndsEarly() {
    AppHarness h;
    QVERIFY(h.logIn(demo::kAlice));
    const QString unsent = QString::fromStdString(h.app().getKARVlib()->getErrMsg(karv::KARVLib::kSendAuthCodeFailed));
    struct Case {
      const char* name;
      const char* faultApi;  // "" none
      Fault fault;
      QString birth;
      const char* choice;  // a radio button, "btnCancel", "escape" or ""
      bool wrongCode;
      QString message;
    };
    const QString birth = demo::kAlice.birth;
    // clang-format off
    const Case cases[] = {
        {"contact data refused", "queryContactInfo", Fault::reply("3001", "查無聯絡資料"), "", "", false, "查無聯絡資料"},
        {"wrong birth", "", {}, "19800116", "useMail", false, "驗證基本資料失敗"},
        {"other-script digits", "", {}, "１９８００１１５", "useMail", false, "驗證基本資料失敗"},
        {"no method", "", {}, birth, "", false, "尚未選擇驗證碼寄送方式"},
        {"cancel", "", {}, "", "btnCancel", false, "使用者按下取消鍵"},
        {"escape", "", {}, "", "escape", false, "使用者按下取消鍵"},
        {"code not sent", "sendAuthCode", Fault::noAnswer(), birth, "useMail", false, unsent},
        {"wrong code", "", {}, birth, "useMail", true, "驗證碼錯誤"},
    };
    // clang-format on
    for (const Case& c : cases) {
      h.gateway().clearFaults();
      if (*c.faultApi) h.gateway().setFault(c.faultApi, c.fault);
      h.alerts().clear();
      const int sent = h.requestCount("sendAuthCode");
      click(h.app().ui()->btnApplyCert);
      if (auto* identity = activeSheet<UserAuthWindowController>()) {
        if (QString(c.choice) == "btnCancel")
          click(control<QAbstractButton>(identity, "btnCancel"));
        else if (QString(c.choice) == "escape")
          QTest::keyClick(identity, Qt::Key_Escape);
        else
          QVERIFY(answerIdentity(c.birth, c.choice));
      }
      if (c.wrongCode) QVERIFY(enterCode(h.lastOutboxMessage()->code == "000000" ? "111111" : "000000"));
      QVERIFY2(h.alerts().texts() == QStringList{c.message}, c.name);
      QVERIFY2(!activeSheet() && !h.app().mask()->isVisible(), c.name);
      if (!c.wrongCode && !*c.faultApi) QVERIFY2(h.requestCount("sendAuthCode") == sent, c.name);
    }

    // No contact data on file: neither way can be chosen.
    AppHarness other;
    QVERIFY(other.logIn(demo::kNoContact));
    other.alerts().clear();
    click(other.app().ui()->btnApplyCert);
    auto* identity = activeSheet<UserAuthWindowController>();
    QVERIFY(identity);
    QCOMPARE(control<QRadioButton>(identity, "usePhone")->text(), phoneChoice("查無資料"));
    for (const char* name : {"useMail", "usePhone"}) QVERIFY(!control<QRadioButton>(identity, name)->isEnabled());
    QVERIFY(answerIdentity(demo::kNoContact.birth, "useMail"));
    QCOMPARE(other.alerts().texts(), QStringList{"尚未選擇驗證碼寄送方式"});
    QCOMPARE(other.requestCount("sendAuthCode"), 0);

    // An empty date of birth on file matches nothing; the handler runs once the sheet is gone.
    bool hiddenWhenHandled = false;
    other.app().showUserAuthWindow("a@example.com", "", "", "憑證申請", [&](int code) {
      hiddenWhenHandled = !activeSheet<UserAuthWindowController>();
      other.codes << code;
    });
    QVERIFY(answerIdentity("00000000", "useMail"));
    QCOMPARE(other.codes, QList<int>{UserAuthWindowController::kBirthMismatch});
    QVERIFY(hiddenWhenHandled);
  }

  // The client table of the user's file, then a revocation that changes
  // only the gateway's record.
  void clientTableThenRevocation() {
    AppHarness h;
    LogRecorder log;
    QVERIFY(h.logIn(demo::kExpiring));
    h.alerts().clear();
    Ui::MainWindow& ui = *h.app().ui();
    const QString file = h.copyDemoPfx(demo::kExpiring, "KARV/D220003245.pfx");
    const QString cn = demo::kExpiring.cn;
    auto client = [&] { return tableCells(h.app().certificateTables().clntCertInfoDs()); };
    // After an application or a renewal: the current file, at once if it opens.
    h.app().setCurrentPfxFilePwd(kDemoPwd);
    QCOMPARE(h.app().doQryClntCertInfo(cn, true), 0);
    QVERIFY(!activeSheet());
    const QStringList shown = client();
    QCOMPARE(shown.size(), 5);
    QCOMPARE(shown.mid(0, 2), QStringList({"身分證號=D220003245", "CN=" + cn}));
    QVERIFY(QRegularExpression(R"(^憑證效期\(迄\)=\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}$)").match(shown[4]).hasMatch());
    // Otherwise the user picks the file; cancelling leaves the table.
    h.app().setCurrentPfxFilePwd("wrong");
    QCOMPARE(h.app().doQryClntCertInfo(cn, true), -1);
    QVERIFY(h.alerts().shown().isEmpty() && fillIn({}, "btnCancel"));
    QCOMPARE(h.alerts().texts(), QStringList{"使用者按下取消鍵，無法查詢用戶端憑證資訊"});
    QCOMPARE(client(), shown);
    // The button asks the gateway, and always for the file.
    h.app().renderClntCertInfo({});
    const int queries = h.requestCount("qryCert");
    click(ui.btnQryClntCertInfo);
    QCOMPARE(h.requestCount("qryCert"), queries + 1);
    QCOMPARE(control<QLabel>(activeSheet<LoadPfxWindowController>(), "lblPfxFilePath")->text(), file);
    QVERIFY(confirmLoadPfx(h, std::nullopt, kDemoPwd));
    QCOMPARE(client(), shown);
    const QByteArray bytes = bytesOf(file);
    QVERIFY(tableCells(h.app().certificateTables().svrCertInfoDs()).contains("憑證狀態=有效(1)"));

    // No answer to the revocation: the text for its code; the certificate stays.
    h.alerts().clear();
    h.gateway().setFault("revokeCert", Fault::noAnswer());
    click(ui.btnRevokeCert);
    auto* identity = activeSheet<UserAuthWindowController>();
    QVERIFY(identity && identity->windowTitle() == "憑證廢止");
    QVERIFY(!control<QRadioButton>(identity, "useService")->isVisibleTo(identity));
    QVERIFY(answerIdentity(demo::kExpiring.birth, "usePhone"));
    QVERIFY(enterCode(QString::fromStdString(h.lastOutboxMessage()->code)));
    QCOMPARE(h.alerts().texts(), QStringList{"憑證廢止失敗"});
    QVERIFY(tableCells(h.app().certificateTables().svrCertInfoDs()).contains("憑證狀態=有效(1)") &&
            ui.btnRevokeCert->isEnabled());

    h.gateway().clearFaults();
    h.alerts().clear();
    QVERIFY(verifyIdentity(h, ui.btnRevokeCert, demo::kExpiring));
    QVERIFY(sentBy(h, "sms", demo::kExpiring.phone, "Revoke"));
    QCOMPARE(h.alerts().texts(), QStringList{"廢止憑證完成"});
    QCOMPARE(h.lastRequest("revokeCert")->params.at("cn"), std::string(demo::kExpiring.cn));
    // The gateway's view: revoked, nothing left to revoke, install or renew.
    QVERIFY(tableCells(h.app().certificateTables().svrCertInfoDs()).contains("憑證狀態=已廢止(2)"));
    for (QPushButton* b : {ui.btnRevokeCert, ui.btnDepCert, ui.btnRenewCert}) QVERIFY(!b->isEnabled());
    QVERIFY(!activeSheet() && !h.app().mask()->isVisible());
    // Nothing local changed.
    QVERIFY(bytesOf(file) == bytes && client() == shown && h.currentPath() == file);
    QCOMPARE(leakingLine(log.lines(), {QString::fromStdString(h.lastOutboxMessage()->code)}), QString());
  }

  // A login, AES calls and the download password (wrong, cancelled, right):
  // no log line gives a secret away, nor anything that opens or replays one;
  // the lines stay, their values masked.
  void downloadPasswordAndNothingSecretInTheLog() {
    LogRecorder log;
    AppHarness h;
    QVERIFY(h.logIn(demo::kAlice));
    h.alerts().clear();
    auto downloadPassword = [&] {
      click(h.app().ui()->btnApplyCert);
      return answerIdentity(demo::kAlice.birth, "useService") ? activeSheet<BtsCertDlPwdWindowController>() : nullptr;
    };
    auto* dl = downloadPassword();
    QVERIFY(dl);
    QCOMPARE(control<QLineEdit>(dl, "txtUserBtsCertDlPwd")->echoMode(), QLineEdit::Password);
    QVERIFY(fillIn({{"txtUserBtsCertDlPwd", "Wrong999"}}, "btnOK"));
    QCOMPARE(h.alerts().texts(), QStringList{"憑證下載密碼錯誤"});
    QVERIFY(!activeSheet());
    h.alerts().clear();
    QVERIFY(downloadPassword() && fillIn({}, "btnCancel"));
    QCOMPARE(h.alerts().texts(), QStringList{"使用者按下取消鍵"});
    h.alerts().clear();
    QVERIFY(downloadPassword() && fillIn({{"txtUserBtsCertDlPwd", QString(" %1 ").arg(demo::kAlice.dlPwd)}}, "btnOK"));
    QVERIFY(activeSheet<UserAgreementWindowController>() && h.alerts().shown().isEmpty());

    // Nor the user's numbers: the ID number, the account and the common name built on the ID.
    QStringList secrets = QStringList{demo::kAlice.pwd, demo::kAlice.dlPwd, qstr(h.app().getKARVlib()->getAesKey()),
                                      demo::kAlice.idno, demo::kAlice.acctNo}
                          << sentValues(h.gateway().requests());
    QVERIFY(secrets.size() > 10 && log.lines().size() > 50);
    QCOMPARE(leakingLine(log.lines(), secrets), QString());
    for (const char* masked :
         {"HTTP DATA SEND:***", "httpPost return:***", "ecnrypt param pwd=***", "param after publickey encrypt: ***",
          "loginId=A12*****89,pwd=***", "http param: idno=A12*****89"})
      QVERIFY2(!log.linesWith(masked).isEmpty(), masked);
  }
};

QTEST_MAIN(VerificationTest)
#include "verification_test.moc"
