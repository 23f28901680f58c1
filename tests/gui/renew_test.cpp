// Renewal from the main window against the development gateway, for the
// demo user whose certificate is about to expire: the old .pfx chosen and
// checked, the request signed with its key, the new .pfx written and
// activated; the continued renewal; and the ways it ends early.
#include <QPushButton>
#include <QtTest>

#include "DemoSeed.h"
#include "GuiTestSupport.h"
#include "KARVMask.h"
#include "PfxTestSupport.h"
#include "WorkflowSupport.h"
#include "ui_MainWindow.h"

using namespace karv::app;
using namespace karv::test;
using karv::gateway::Fault;

namespace {
const QString kDemoPwd = QString::fromLatin1(karv::gateway::kDemoPfxPassword);
const QString kNewPwd = "renew2026x";
const QString kContinueOffer = "您的憑證更新操作尚未完成, 繼續進行憑證更新??";

// Picks the file in the open Load-PFX dialog and confirms it with the password.
void loadFile(UserSession& s, const QString& path, const QString& pwd) {
  auto* load = activeSheet<LoadPfxWindowController>();
  QVERIFY(load);
  s.h.fileChooser().chooseNext(path);
  click(control<QPushButton>(load, "btnBrowseFile"));
  confirmLoadPfx(load, pwd);
}

// Renewal button, agreement, then the old file: the Save-PFX dialog is open
// afterwards unless the file was refused.
void renewWith(UserSession& s, const QString& path, const QString& pwd) {
  click(s.h.app().ui()->btnRenewCert);
  QVERIFY(answerAgreement(true));
  loadFile(s, path, pwd);
}

// The public key of the request of the last renewal.
std::string requestPublicKey(UserSession& s) {
  return publicKeyOfCsr(s.h.lastRequest("renewCert")->params.at("csr"), s.path(""));
}

// A .pfx of another user, made by the openssl tool.
QString otherUsersPfx(UserSession& s) {
  const std::string key = s.path("other.key").toStdString(), pem = s.path("other.pem").toStdString();
  const std::string pfx = s.path("other.pfx").toStdString();
  if (openssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", pem, "-subj",
               "/CN=B223456782-01/C=TW", "-days", "30"})
              .exitCode != 0 ||
      openssl(
          {"pkcs12", "-export", "-in", pem, "-inkey", key, "-out", pfx, "-passout", "pass:" + kDemoPwd.toStdString()})
              .exitCode != 0)
    return {};
  return QString::fromStdString(pfx);
}
}  // namespace

class RenewTest : public QObject {
  Q_OBJECT
 private slots:
  // Signed with the expiring certificate's file, then (the renewed one
  // renewable too) refused the older file, cancelled at the save and
  // continued in the next session.
  void signedThenContinuedRenewal() {
    UserSession s(demo::kExpiring, false);
    s.h.gateway().setConfigValue("gateway.renewWithinDays", "400");
    QVERIFY(s.h.logIn(demo::kExpiring));
    s.h.alerts().clear();
    s.h.alerts().answerFor(kInstallQuestion, 1001);
    LogRecorder log;
    const QString file = s.copyDemoPfx(demo::kExpiring, "KARV/D220003245.pfx");
    const QString other = otherUsersPfx(s);
    const auto old = readPfxWithOpenssl(file, kDemoPwd, s.h.gateway().caCertificatesPem());
    QVERIFY(old.opened && !other.isEmpty());

    renewWith(s, other, kDemoPwd);
    QCOMPARE(s.h.app().mask()->lblPrompt()->text(), QString("正在驗證舊憑證資訊"));
    loadFile(s, file, kDemoPwd);
    auto* save = activeSheet<SavePfxWindowController>();
    QVERIFY(save);
    QCOMPARE(control<QLabel>(save, "lblPfxFilePath")->text(), file);  // the old file is proposed
    confirmSavePfx(save, kNewPwd);
    QCOMPARE(s.h.alerts().texts(),
             (QStringList{"錯誤的憑證檔(CN錯誤)，請重新選擇憑證", "憑證更新完成!!", kInstallQuestion}));
    QVERIFY(!activeSheet() && !s.h.app().mask()->isVisible());

    // The gateway took the request signed over its exact text with the old key.
    const auto renewal = s.h.lastRequest("renewCert");
    QCOMPARE("serial=" + QString::fromStdString(renewal->params.at("hexSerial")),
             QString::fromStdString(old.serial).trimmed());
    const std::string signature = s.path("sign.der").toStdString(), content = s.path("content").toStdString();
    writeText(signature, QByteArray::fromBase64(QByteArray::fromStdString(renewal->params.at("sign"))).toStdString());
    QCOMPARE(openssl({"cms", "-verify", "-noverify", "-inform", "DER", "-in", signature, "-out", content}).exitCode, 0);
    QCOMPARE(bytesOf(QString::fromStdString(content)).toStdString(), renewal->params.at("csr"));
    QVERIFY(!s.h.lastRequest("activeCert")->params.count("certPath"));

    // The old file now holds the new certificate and the new key.
    auto renewed = readPfxWithOpenssl(file, kNewPwd, s.h.gateway().caCertificatesPem());
    QVERIFY(renewed.opened && renewed.chainsToCa);
    QCOMPARE(renewed.certPublicKey, renewed.keyPublicKey);
    QCOMPARE(renewed.keyPublicKey, requestPublicKey(s));
    QVERIFY(renewed.keyPublicKey != old.keyPublicKey);
    const QString serial = QString::fromStdString(s.h.app().renewCertInfo().at("serial"));
    QCOMPARE(QString::fromStdString(renewed.serial).trimmed(), "serial=" + serial);
    for (const auto* ds : {s.h.app().svrCertInfoDs(), s.h.app().clntCertInfoDs()})
      QVERIFY(tableCells(ds).contains("憑證序號=" + serial));
    QVERIFY(tableCells(s.h.app().svrCertInfoDs()).contains("憑證狀態=有效(1)"));
    QStringList secrets{demo::kExpiring.pwd, kDemoPwd, kNewPwd,
                        QString::fromStdString(s.h.app().getKARVlib()->getAesKey().value_or(""))};
    QCOMPARE(leakingLine(log.lines(), secrets << sentValues(s.h.gateway().requests())), QString());

    // Again: the first file holds an older certificate of the same user now.
    s.h.alerts().clear();
    renewWith(s, demoPfxPath(s.h, demo::kExpiring), kDemoPwd);
    loadFile(s, file, kNewPwd);
    const std::string keptKey = requestPublicKey(s);
    click(control<QPushButton>(activeSheet<SavePfxWindowController>(), "btnCancel"));
    QCOMPARE(s.h.alerts().texts(), (QStringList{"錯誤的憑證檔(憑證序號錯誤)，請重新選擇憑證",
                                                "使用者按下取消鍵，無法儲存憑證，憑證更新未完成"}));

    // The next session offers to continue: no file, no signature.
    s.h.relaunch();
    s.h.alerts().clear();
    s.h.alerts().answerFor(kContinueOffer, 1000);
    QVERIFY(s.h.logIn(demo::kExpiring));
    const qsizetype choicesBefore = s.h.fileChooser().requests().size();
    FlowRecorder flow(s.h);
    QVERIFY(answerAgreement(true));
    QCOMPARE(flow.events().value(0), QString("overlay:正在接續前次未完成的憑證更新..."));
    const auto continued = s.h.lastRequest("renewCert");
    QVERIFY(continued->params.at("csr").empty() && continued->params.at("sign").empty());
    confirmSavePfx(activeSheet<SavePfxWindowController>(), "again2026x");
    QVERIFY(flow.events().filter("dialog:LoadPfx").isEmpty());
    QCOMPARE(s.h.fileChooser().requests().size(), choicesBefore);
    QCOMPARE(s.h.alerts().texts(), (QStringList{"登入作業已完成", kContinueOffer, "憑證更新完成!!", kInstallQuestion}));
    renewed = readPfxWithOpenssl(file, "again2026x", s.h.gateway().caCertificatesPem());
    QVERIFY(renewed.opened && renewed.chainsToCa);
    QCOMPARE(renewed.certPublicKey, renewed.keyPublicKey);
    QCOMPARE(renewed.keyPublicKey, keptKey);
  }

  void renewalEndsEarly() {
    enum class Stop { Agreement, Load, None };
    struct Case {
      const char* name;
      const DemoUserRef* user;
      QString status;        // applied over the gateway's, "" keeps it
      const char* faultApi;  // "" none
      Fault fault;
      Stop stop;
      QStringList alerts;
    };
    const QString notAllowed = "您目前不允許進行憑證更新";
    // clang-format off
    const Case cases[] = {
        {"agreement declined", &demo::kExpiring, "", "", {}, Stop::Agreement, {"使用者按下取消鍵，無法進行憑證更新"}},
        {"renewal not open", &demo::kAlice, "", "", {}, Stop::None, {notAllowed}},
        {"renewal digit not a digit", &demo::kExpiring, "0x", "", {}, Stop::None, {notAllowed}},
        {"renewal digit missing", &demo::kExpiring, "0", "", {}, Stop::None, {notAllowed}},
        {"no last active certificate", &demo::kExpiring, "", "qryLastActiveCert", Fault::reply("4006", "查無有效憑證"),
         Stop::None, {"讀取伺服器端將屆期憑證資訊失敗，請稍後再嘗試進行憑證更新"}},
        {"old file not chosen", &demo::kExpiring, "", "", {}, Stop::Load, {"使用者按下取消鍵，憑證更新取消"}},
        {"renewal refused", &demo::kExpiring, "", "renewCert", Fault::reply("4005", "簽章錯誤"), Stop::None,
         {"憑證展期失敗"}},  // the table's text for the code, not the gateway's
        {"report refused", &demo::kExpiring, "", "activeCert", Fault::reply("4007", "查無憑證申請資料"), Stop::None,
         {"憑證更新失敗!!"}},
    };
    // clang-format on
    for (const Case& c : cases) {
      UserSession s(*c.user);
      QVERIFY(s.loggedIn);
      const QString file = s.copyDemoPfx(demo::kExpiring, "KARV/D220003245.pfx");
      if (!c.status.isEmpty()) s.h.app().setBtnStatus(c.status, 1, 1);
      if (*c.faultApi) s.h.gateway().setFault(c.faultApi, c.fault);
      s.h.app().doRenewCert(QString::fromLatin1(c.user->cn));
      QVERIFY(answerAgreement(c.stop != Stop::Agreement));
      if (auto* load = activeSheet<LoadPfxWindowController>()) {
        if (c.stop == Stop::Load)
          click(control<QPushButton>(load, "btnCancel"));
        else
          confirmLoadPfx(load, kDemoPwd);
      }
      if (auto* save = activeSheet<SavePfxWindowController>()) confirmSavePfx(save, kNewPwd);
      QVERIFY2(s.h.alerts().texts() == c.alerts, c.name);
      QVERIFY2(!activeSheet() && !s.h.app().mask()->isVisible(), c.name);
      if (c.stop != Stop::None || c.user == &demo::kAlice) QCOMPARE(s.h.requestCount("renewCert"), 0);
      if (QString(c.faultApi) == "activeCert") {
        // The new file stays written and current, and the client table shows it.
        QCOMPARE(s.currentPath(), file);
        QCOMPARE(tableCells(s.h.app().clntCertInfoDs()).value(2),
                 "憑證序號=" + QString::fromStdString(s.h.app().renewCertInfo().at("serial")));
      }
    }
  }
};

QTEST_MAIN(RenewTest)
#include "renew_test.moc"
