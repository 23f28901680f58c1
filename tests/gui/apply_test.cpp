// Certificate application from the main window against the development
// gateway: SMS verification, the agreement, a key made here, the Save-PFX
// dialog, activation and both tables, the written .pfx checked by the
// openssl tool; the continued application and the ways it ends early.
#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>

#include "GuiTestSupport.h"
#include "KARVMask.h"
#include "PfxTestSupport.h"
#include "WorkflowSupport.h"
#include "ui_MainWindow.h"

using namespace karv::app;
using namespace karv::test;
using karv::gateway::Fault;

namespace {
const QString kPfxPwd = "apply2026x";  // the gateway's rules: 8 to 16, a digit, a lower-case letter
// Alice proves who she is by SMS and agrees: the application is sent and
// the Save-PFX dialog is open (null when a step failed).
SavePfxWindowController* applyUntilSave(UserSession& s) {
  if (!verifyIdentity(s.h, s.h.app().ui()->btnApplyCert, demo::kAlice) || !answerAgreement(true)) return nullptr;
  return activeSheet<SavePfxWindowController>();
}

}  // namespace

class ApplyTest : public QObject {
  Q_OBJECT
 private slots:
  void applicationEndsInAnActivatedPfx() {
    UserSession s(demo::kAlice);
    QVERIFY(s.loggedIn);
    LogRecorder log;
    const QString proposed = s.currentPath();
    FlowRecorder flow(s.h);
    auto* save = applyUntilSave(s);
    QVERIFY(save);
    const std::string code = s.h.lastOutboxMessage()->code;
    s.h.alerts().answerFor(kInstallQuestion, 1000);
    confirmSavePfx(save, kPfxPwd);
    auto* install = activeSheet<LoadPfxWindowController>();
    QVERIFY(install);

    const QStringList typical{"dialog:UserAgreementWindowController",
                              "overlay:正在進行憑證申請...",
                              "overlay:正在取回憑證資訊...",
                              "overlay:正在儲存憑證資訊...",
                              "dialog:SavePfxWindowController",
                              "overlay:已完成憑證儲存",
                              "alert:憑證申請完成",
                              "alert:" + kInstallQuestion,
                              "dialog:LoadPfxWindowController"};
    const QStringList events = flow.events().mid(flow.events().indexOf(typical[0]));
    QCOMPARE(events.mid(0, typical.size()), typical);
    // Behind the installation's dialog the buttons and tables were refreshed, silently.
    QCOMPARE(events.mid(typical.size()).filter(QRegularExpression("^(alert|dialog):")), QStringList());
    QVERIFY(!s.h.app().mask()->isVisible());
    click(control<QPushButton>(install, "btnCancel"));
    QCOMPARE(s.h.alerts().texts().last(), QString("使用者按下取消鍵，無法進行瀏覽器憑證安裝"));

    // What the gateway received: a new request, then the file's folder.
    const auto applied = s.h.lastRequest("applyCert");
    QVERIFY(applied && !applied->params.at("csr").empty());
    QCOMPARE(applied->params.at("userId"), std::string(demo::kAlice.idno));
    const auto activated = s.h.lastRequest("activeCert");
    QVERIFY(activated);
    QCOMPARE(activated->params.at("certApplyId"), s.h.app().applyCertInfo().at("certId"));
    QCOMPARE(QString::fromStdString(activated->params.at("certPath")), s.path("KARV"));

    // The file: where proposed, current with its password, the issued certificate and its key.
    QCOMPARE(s.currentPath(), proposed);
    QCOMPARE(s.currentPwd(), kPfxPwd);
    const auto pfx = readPfxWithOpenssl(proposed, kPfxPwd, s.h.gateway().caCertificatesPem());
    QVERIFY(pfx.opened && pfx.chainsToCa);
    QVERIFY(!pfx.keyPublicKey.empty());
    QCOMPARE(pfx.certPublicKey, pfx.keyPublicKey);
    QCOMPARE(pfx.keyPublicKey, publicKeyOfCsr(applied->params.at("csr"), s.path("")));
    const QString serial = QString::fromStdString(s.h.app().applyCertInfo().at("serial"));
    QCOMPARE(QString::fromStdString(pfx.serial).trimmed(), "serial=" + serial);

    // Both tables show it, the gateway's as active and installed.
    const QStringList server = tableCells(s.h.app().svrCertInfoDs());
    QVERIFY(server.contains("憑證序號=" + serial) && server.contains("憑證狀態=有效(1)") &&
            server.contains("憑證安裝=已完成安裝"));
    QCOMPARE(tableCells(s.h.app().clntCertInfoDs()).mid(0, 3),
             QStringList({"身分證號=A123456789", "CN=A123456789-01", "憑證序號=" + serial}));
    QVERIFY(!s.h.app().ui()->btnApplyCert->isEnabled() && s.h.app().ui()->btnRevokeCert->isEnabled());

    QStringList secrets{demo::kAlice.pwd, kPfxPwd, QString::fromStdString(code),
                        QString::fromStdString(s.h.app().getKARVlib()->getAesKey().value_or(""))};
    QCOMPARE(leakingLine(log.lines(), secrets << sentValues(s.h.gateway().requests())), QString());
  }

  void continuedApplicationSavesTheKeptKey() {
    UserSession s(demo::kAlice);
    QVERIFY(s.loggedIn);
    auto* save = applyUntilSave(s);
    QVERIFY(save);
    const std::string firstCsr = s.h.lastRequest("applyCert")->params.at("csr");
    click(control<QPushButton>(save, "btnCancel"));
    // The gateway now waits for that application to be finished ("2").
    s.h.alerts().clear();
    save = applyUntilSave(s);
    QVERIFY(save);
    QCOMPARE(s.h.lastRequest("applyCert")->params.at("csr"), std::string());
    s.h.alerts().answerFor(kInstallQuestion, 1001);
    confirmSavePfx(save, kPfxPwd);
    QCOMPARE(s.h.alerts().texts(), (QStringList{"憑證申請完成", kInstallQuestion}));
    const auto pfx = readPfxWithOpenssl(s.currentPath(), kPfxPwd, s.h.gateway().caCertificatesPem());
    QVERIFY(pfx.opened && pfx.chainsToCa);
    QCOMPARE(pfx.certPublicKey, pfx.keyPublicKey);
    QCOMPARE(pfx.keyPublicKey, publicKeyOfCsr(firstCsr, s.path("")));
    QVERIFY(tableCells(s.h.app().svrCertInfoDs()).contains("憑證狀態=有效(1)"));
  }

  void applicationEndsEarly() {
    enum class Save { NotReached, Cancel, Confirm };
    struct Case {
      const char* name;
      const char* faultApi;  // "" none
      Fault fault;
      bool agree;
      Save save;
      QStringList alerts;
      bool buttonsRefreshed;
    };
    // clang-format off
    const Case cases[] = {
        {"agreement declined", "", {}, false, Save::NotReached, {}, false},
        {"application refused", "applyCert", Fault::reply("4001", "目前無法申請憑證"), true, Save::NotReached,
         {"目前無法申請憑證"}, true},
        {"no reply to the application", "applyCert", Fault::noAnswer(), true, Save::NotReached, {"憑證申請失敗"}, true},
        {"save cancelled", "", {}, true, Save::Cancel, {"使用者取消儲存憑證檔，憑證申請未完成"}, false},
        {"activation refused", "activeCert", Fault::reply("4007", "查無憑證申請資料"), true, Save::Confirm,
         {"憑證申請失敗"}, true},
    };
    // clang-format on
    for (const Case& c : cases) {
      UserSession s(demo::kAlice);
      QVERIFY(s.loggedIn);
      if (*c.faultApi) s.h.gateway().setFault(c.faultApi, c.fault);
      QVERIFY(verifyIdentity(s.h, s.h.app().ui()->btnApplyCert, demo::kAlice));
      s.h.gateway().clearRequests();
      QVERIFY(answerAgreement(c.agree));
      auto* save = activeSheet<SavePfxWindowController>();
      QVERIFY2(bool(save) == (c.save != Save::NotReached), c.name);
      if (c.save == Save::Cancel) click(control<QPushButton>(save, "btnCancel"));
      if (c.save == Save::Confirm) confirmSavePfx(save, kPfxPwd);
      QVERIFY2(s.h.alerts().texts() == c.alerts, c.name);
      QVERIFY2(!activeSheet() && !s.h.app().mask()->isVisible(), c.name);
      // The application reads the status itself; a refresh reads it once more.
      QVERIFY2(s.h.requestCount("getFnStatus") == int(c.agree) + int(c.buttonsRefreshed), c.name);
      if (!c.agree) QVERIFY2(s.h.gateway().requests().empty(), c.name);
      if (c.save == Save::Confirm) {
        // The file stays written and current, and the client table shows it.
        QVERIFY(certInfoOf(s.currentPath(), kPfxPwd).count("serial"));
        QCOMPARE(tableCells(s.h.app().clntCertInfoDs()).value(2),
                 "憑證序號=" + QString::fromStdString(s.h.app().applyCertInfo().at("serial")));
      }
    }
  }

  // The installation and the client table both want a Load-PFX dialog when
  // the file just written cannot be read again: one after the other.
  void secondLoadDialogWaitsForTheFirst() {
    UserSession s(demo::kAlice);
    QVERIFY(s.loggedIn);
    auto* save = applyUntilSave(s);
    QVERIFY(save);
    s.h.alerts().answerFor(kInstallQuestion, 1000);
    s.h.alerts().onPresent = [&] {
      if (s.h.alerts().shown().last().text == "憑證申請完成") QFile::remove(s.currentPath());
    };
    confirmSavePfx(save, kPfxPwd);
    QPointer<LoadPfxWindowController> install = activeSheet<LoadPfxWindowController>();
    QVERIFY(install);
    click(control<QPushButton>(install, "btnCancel"));
    QTRY_VERIFY(activeSheet<LoadPfxWindowController>() && activeSheet<LoadPfxWindowController>() != install);
    click(control<QPushButton>(activeSheet(), "btnCancel"));
    QCOMPARE(s.h.alerts().texts(),
             (QStringList{"憑證申請完成", kInstallQuestion, "使用者按下取消鍵，無法進行瀏覽器憑證安裝",
                          "使用者按下取消鍵，無法查詢用戶端憑證資訊"}));
    QVERIFY(!activeSheet());
  }
};

QTEST_MAIN(ApplyTest)
#include "apply_test.moc"
