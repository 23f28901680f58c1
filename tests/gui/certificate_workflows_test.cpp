// Application and renewal from the main window against the development
// gateway, to the .pfx checked by the openssl tool, and the ways they end early.
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QRegularExpression>
#include <QtTest>

#include "GuiTestSupport.h"
#include "app/KARVMask.h"
#include "app/dialogs/LoadPfxWindowController.h"
#include "app/dialogs/SavePfxWindowController.h"
#include "ui_MainWindow.h"

using namespace karv::app;
using namespace karv::test;
using karv::gateway::Fault;

namespace {
const QString kPfxPwd = "apply2026x";  // the gateway's rules: 8 to 16, a digit, a lower-case letter
const QString kNewPwd = "renew2026x";
const QString kSaveFailed = "憑證檔儲存失敗，請檢查並確認您的憑證檔儲存資訊";
const QString kContinueRenewal = "您的憑證更新操作尚未完成, 繼續進行憑證更新??";
const QString kReplace = "檔案已存在，是否要取代？";

// Alice proves who she is by SMS and agrees: the Save-PFX dialog is open then.
SavePfxWindowController* applyUntilSave(AppHarness& h) {
  if (!verifyIdentity(h, h.app().ui()->btnApplyCert, demo::kAlice) || !answerAgreement(true)) return nullptr;
  return activeSheet<SavePfxWindowController>();
}

// Renewal button, agreement, then the old file in the Load-PFX dialog.
bool renewWith(AppHarness& h, const QString& path, const QString& pwd) {
  click(h.app().ui()->btnRenewCert);
  return answerAgreement(true) && confirmLoadPfx(h, path, pwd);
}

// The unencrypted key files that key generation left in the hidden folder.
QStringList keyFiles(AppHarness& h) { return QDir(h.path(".plix")).entryList({"*.p8"}, QDir::Files); }

QString serialOf(const karv::StringMap& certInfo) { return QString::fromStdString(certInfo.at("serial")); }
// A serial as the openssl tool's reading has it: no leading zeros.
QString bare(QString hex) { return hex.remove(QRegularExpression("^0+")); }

QStringList secretsOf(AppHarness& h, QStringList secrets) {
  return secrets << qstr(h.app().getKARVlib()->getAesKey()) << sentValues(h.gateway().requests());
}

// The serial (as openssl has it) of the .pfx, read with the password, when its
// certificate chains to the gateway's CA and it and the key have the public key.
QString issuedSerial(AppHarness& h, const QString& path, const QString& pwd, const std::string& publicKey) {
  const auto pfx = readPfxWithOpenssl(path, pwd, h.gateway().caCertificatesPem());
  const bool holds =
      pfx.chainsToCa && !publicKey.empty() && pfx.certPublicKey == publicKey && pfx.keyPublicKey == publicKey;
  return holds ? pfx.serial : "(not the issued certificate with its key)";
}
}  // namespace

class CertificateWorkflowsTest : public QObject {
  Q_OBJECT
 private slots:
  void applicationEndsInAnActivatedPfx() {
    AppHarness h;
    QVERIFY(h.logIn(demo::kAlice));
    LogRecorder log;
    const QString proposed = h.currentPath();
    FlowRecorder flow(h);
    QVERIFY(applyUntilSave(h));
    QCOMPARE(keyFiles(h).size(), 1);
    const QString code = QString::fromStdString(h.lastOutboxMessage()->code);
    h.alerts().answerFor(kInstallQuestion, 1000);
    QVERIFY(confirmSavePfx(kPfxPwd));
    QVERIFY(activeSheet<LoadPfxWindowController>());  // the installation asks for the file

    const QStringList typical{"dialog:UserAgreementWindowController",
                              "overlay:正在進行憑證申請...",
                              "overlay:正在取回憑證資訊...",
                              "overlay:正在儲存憑證資訊...",
                              "dialog:SavePfxWindowController",
                              "overlay:已完成憑證儲存",
                              "alert:憑證申請完成",
                              "alert:" + kInstallQuestion,
                              "dialog:LoadPfxWindowController"};
    const QStringList events = flow.events.mid(flow.events.indexOf(typical[0]));
    QCOMPARE(events.mid(0, typical.size()), typical);
    // Behind the installation's dialog the buttons and tables were refreshed, silently.
    QCOMPARE(events.mid(typical.size()).filter(QRegularExpression("^(alert|dialog):")), QStringList());
    QVERIFY(!h.app().mask()->isVisible());
    QVERIFY(fillIn({}, "btnCancel"));
    QCOMPARE(h.alerts().texts().last(), QString("使用者按下取消鍵，無法進行瀏覽器憑證安裝"));

    // What the gateway received: a new request, then the file's folder.
    const auto applied = h.lastRequest("applyCert");
    QVERIFY(applied && !applied->params.at("csr").empty());
    QCOMPARE(applied->params.at("userId"), std::string(demo::kAlice.idno));
    const auto activated = h.lastRequest("activeCert");
    QCOMPARE(activated->params.at("certApplyId"), h.app().applyCertInfo().at("certId"));
    QCOMPARE(QString::fromStdString(activated->params.at("certPath")), h.path("KARV"));

    // The file: where proposed, current with its password, the issued certificate and its key.
    QVERIFY(h.currentPath() == proposed && h.currentPwd() == kPfxPwd);
    // The key lives on in the file only.
    QCOMPARE(keyFiles(h), QStringList());
    const QString serial = serialOf(h.app().applyCertInfo());
    QCOMPARE(issuedSerial(h, proposed, kPfxPwd, publicKeyOfCsr(applied->params.at("csr"), h.path(""))), bare(serial));

    // Both tables show it, the gateway's as active and installed.
    const QStringList server = tableCells(h.app().certificateTables().svrCertInfoDs());
    QVERIFY(server.contains("憑證序號=" + serial) && server.contains("憑證狀態=有效(1)") &&
            server.contains("憑證安裝=已完成安裝"));
    QCOMPARE(tableCells(h.app().certificateTables().clntCertInfoDs()).mid(0, 3),
             QStringList({"身分證號=A123456789", "CN=A123456789-01", "憑證序號=" + serial}));
    QVERIFY(!h.app().ui()->btnApplyCert->isEnabled() && h.app().ui()->btnRevokeCert->isEnabled());
    QCOMPARE(leakingLine(log.lines(), secretsOf(h, {demo::kAlice.pwd, kPfxPwd, code})), QString());
  }

  // The continued application ("2") saves the key kept from the first
  // attempt; on the way the Save-PFX dialog loses nothing when it cannot write.
  void continuedApplicationSavesTheKeptKeySafely() {
    AppHarness h;
    QVERIFY(h.logIn(demo::kAlice));
    auto* save = applyUntilSave(h);
    QVERIFY(save);
    const std::string firstCsr = h.lastRequest("applyCert")->params.at("csr");
    QVERIFY(fillIn({}, "btnCancel"));
    QCOMPARE(keyFiles(h).size(), 1);  // the continued application needs it
    h.alerts().clear();
    save = applyUntilSave(h);
    QVERIFY(save);
    QCOMPARE(h.lastRequest("applyCert")->params.at("csr"), std::string());

    const QString file = h.copyDemoPfx(demo::kExpiring, "certs/A123456789.pfx");
    const QByteArray oldBytes = bytesOf(file);
    h.app().setCurrentPfxFilePath(file);
    h.app().setCurrentPfxFilePwd(kDemoPwd);
    QDir().mkpath(h.path("certs/sub/A123456789.pfx"));
    auto choose = [&](const QString& path) {
      h.fileChooser().chooseNext(path);
      click(control<QAbstractButton>(save, "btnBrowserFilePath"));
    };
    choose(file);
    {
      FileSizeLimit fullDisk(512);  // the existing file as target, the disk full halfway
      QVERIFY(confirmSavePfx(kPfxPwd));
    }
    QCOMPARE(h.alerts().texts(), (QStringList{kReplace, kSaveFailed}));
    h.alerts().clear();
    // A folder where the file should be, a "folder" that is a file, a folder that cannot be made.
    for (const QString& chosen :
         {h.path("certs/sub"), h.path("certs/A123456789.pfx/x.pfx"), QString("/proc/karv/A123456789.pfx")}) {
      choose(chosen);
      QVERIFY(confirmSavePfx(kPfxPwd));
      QVERIFY2(h.showsOnly(kSaveFailed, save), qPrintable(chosen));
    }
    QCOMPARE(bytesOf(file), oldBytes);
    QVERIFY(h.currentPath() == file && h.currentPwd() == kDemoPwd);

    // A chosen folder takes the file name; the existing file is replaced
    // whole, and only once the user says so.
    choose(h.path("certs"));
    const auto& asked = h.fileChooser().requests.last();
    QVERIFY(asked.startPath == "/proc/karv/A123456789.pfx" && asked.folders && asked.extensions == QStringList{"pfx"});
    QCOMPARE(control<QLabel>(save, "lblPfxFilePath")->text(), file);
    h.alerts().answerFor(kReplace, 1001);
    QVERIFY(confirmSavePfx(kPfxPwd));
    const auto replace = h.alerts().shown().value(0);
    QVERIFY(replace.text == kReplace && replace.buttons == QStringList({"取代", "取消"}));
    QVERIFY(save->isVisible() && bytesOf(file) == oldBytes);
    h.alerts().answerFor(kReplace, 1000);
    h.alerts().answerFor(kInstallQuestion, 1001);
    QVERIFY(confirmSavePfx(kPfxPwd));
    QCOMPARE(h.alerts().texts(), (QStringList{kReplace, kReplace, "憑證申請完成", kInstallQuestion}));
    QVERIFY(h.currentPath() == file && h.currentPwd() == kPfxPwd && h.app().ui()->lblPfxFilePath->text() == file);
    QCOMPARE(modeOf(file.toStdString()), 0600u);
    QCOMPARE(QDir(h.path("certs")).entryList(QDir::Files), QStringList{"A123456789.pfx"});
    QVERIFY(!readPfxWithOpenssl(file, kDemoPwd).opened);
    QCOMPARE(issuedSerial(h, file, kPfxPwd, publicKeyOfCsr(firstCsr, h.path(""))),
             bare(serialOf(h.app().applyCertInfo())));
    QVERIFY(tableCells(h.app().certificateTables().svrCertInfoDs()).contains("憑證狀態=有效(1)"));
    QCOMPARE(keyFiles(h), QStringList());
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
      int keyFilesKept;  // made for a request and needed until the gateway knows of the saved file
    };
    const Fault notOpen = Fault::plainReply(
        "<Root><rtnCode>0</rtnCode><fnStatus>00</fnStatus><certCount>0</certCount>"
        "<effectCertCount>0</effectCertCount></Root>");
    // clang-format off
    const Case cases[] = {
        {"agreement declined", "", {}, false, Save::NotReached, {}, false, 0},
        {"application refused", "applyCert", Fault::reply("4001", "目前無法申請憑證"), true, Save::NotReached,
         {"目前無法申請憑證"}, true, 1},
        {"no reply to the application", "applyCert", Fault::noAnswer(), true, Save::NotReached, {"憑證申請失敗"}, true, 1},
        {"application not open", "getFnStatus", notOpen, true, Save::NotReached, {"憑證申請失敗"}, true, 0},
        {"accepted without a certificate", "applyCert", Fault::reply("0", "OK"), true, Save::NotReached,
         {"憑證申請失敗"}, true, 1},
        {"save cancelled", "", {}, true, Save::Cancel, {"使用者取消儲存憑證檔，憑證申請未完成"}, false, 1},
        {"activation refused", "activeCert", Fault::reply("4007", "查無憑證申請資料"), true, Save::Confirm,
         {"憑證申請失敗"}, true, 1},
    };
    // clang-format on
    for (const Case& c : cases) {
      AppHarness h;
      QVERIFY(h.logIn(demo::kAlice));
      h.alerts().clear();
      if (*c.faultApi) h.gateway().setFault(c.faultApi, c.fault);
      QVERIFY(verifyIdentity(h, h.app().ui()->btnApplyCert, demo::kAlice));
      h.gateway().clearRequests();
      QVERIFY(answerAgreement(c.agree));
      QVERIFY2(bool(activeSheet<SavePfxWindowController>()) == (c.save != Save::NotReached), c.name);
      if (c.save == Save::Cancel) QVERIFY(fillIn({}, "btnCancel"));
      if (c.save == Save::Confirm) QVERIFY(confirmSavePfx(kPfxPwd));
      QVERIFY2(h.alerts().texts() == c.alerts, c.name);
      QVERIFY2(!activeSheet() && !h.app().mask()->isVisible(), c.name);
      // The application reads the status itself; a refresh reads it once more.
      QVERIFY2(h.requestCount("getFnStatus") == int(c.agree) + int(c.buttonsRefreshed), c.name);
      if (!c.agree) QVERIFY2(h.gateway().requests().empty(), c.name);
      QVERIFY2(keyFiles(h).size() == c.keyFilesKept, c.name);
      if (c.save == Save::Confirm) {
        // The file stays written and current, and the client table shows it.
        QVERIFY(certInfoOf(h.currentPath(), kPfxPwd).count("serial"));
        QCOMPARE(tableCells(h.app().certificateTables().clntCertInfoDs()).value(2),
                 "憑證序號=" + serialOf(h.app().applyCertInfo()));
      }
    }
  }

  // The installation and the client table both want a Load-PFX dialog when
  // the file just written cannot be read again: one after the other.
  void secondLoadDialogWaitsForTheFirst() {
    AppHarness h;
    QVERIFY(h.logIn(demo::kAlice));
    h.alerts().clear();
    QVERIFY(applyUntilSave(h));
    h.alerts().answerFor(kInstallQuestion, 1000);
    h.alerts().onPresent = [&] {
      if (h.alerts().shown().last().text == "憑證申請完成") QFile::remove(h.currentPath());
    };
    QVERIFY(confirmSavePfx(kPfxPwd));
    QPointer<LoadPfxWindowController> install = activeSheet<LoadPfxWindowController>();
    QVERIFY(install && fillIn({}, "btnCancel"));
    QTRY_VERIFY(activeSheet<LoadPfxWindowController>() && activeSheet<LoadPfxWindowController>() != install);
    QVERIFY(fillIn({}, "btnCancel"));
    QCOMPARE(h.alerts().texts(),
             (QStringList{"憑證申請完成", kInstallQuestion, "使用者按下取消鍵，無法進行瀏覽器憑證安裝",
                          "使用者按下取消鍵，無法查詢用戶端憑證資訊"}));
    QVERIFY(!activeSheet());
  }

  // Signed with the expiring certificate's file (another user's refused),
  // then, the renewed one renewable too, the older file refused, the save
  // cancelled and the renewal continued in the next session.
  void signedThenContinuedRenewal() {
    AppHarness h;
    h.gateway().setConfigValue("gateway.renewWithinDays", "400");
    QVERIFY(h.logIn(demo::kExpiring));
    h.alerts().clear();
    h.alerts().answerFor(kInstallQuestion, 1001);
    LogRecorder log;
    const QString file = h.copyDemoPfx(demo::kExpiring, "KARV/D220003245.pfx");
    const QString other = h.path("other.pfx");
    QVERIFY(makeOtherPfx(other, "B223456782-01", kDemoPwd));
    const auto old = readPfxWithOpenssl(file, kDemoPwd);

    QVERIFY(renewWith(h, other, kDemoPwd));
    QCOMPARE(h.app().mask()->lblPrompt()->text(), QString("正在驗證舊憑證資訊"));
    QVERIFY(confirmLoadPfx(h, file, kDemoPwd));
    auto* save = activeSheet<SavePfxWindowController>();
    QVERIFY(save);
    QCOMPARE(control<QLabel>(save, "lblPfxFilePath")->text(), file);  // the old file is proposed
    QVERIFY(confirmSavePfx(kNewPwd));
    QCOMPARE(h.alerts().texts(),
             (QStringList{"錯誤的憑證檔(CN錯誤)，請重新選擇憑證", kReplace, "憑證更新完成!!", kInstallQuestion}));
    QVERIFY(!activeSheet() && !h.app().mask()->isVisible());

    // The gateway took the request signed over its exact text with the old key.
    const auto renewal = h.lastRequest("renewCert");
    QCOMPARE(bare(QString::fromStdString(renewal->params.at("hexSerial"))), old.serial);
    const std::string signature = h.path("sign.der").toStdString(), content = h.path("content").toStdString();
    writeText(signature, QByteArray::fromBase64(QByteArray::fromStdString(renewal->params.at("sign"))).toStdString());
    QCOMPARE(openssl({"cms", "-verify", "-noverify", "-inform", "DER", "-in", signature, "-out", content}).exitCode, 0);
    QCOMPARE(bytesOf(QString::fromStdString(content)).toStdString(), renewal->params.at("csr"));
    QVERIFY(!h.lastRequest("activeCert")->params.count("certPath"));

    // The old file now holds the new certificate and the new key.
    const std::string newKey = publicKeyOfCsr(renewal->params.at("csr"), h.path(""));
    const QString serial = serialOf(h.app().renewCertInfo());
    QVERIFY(newKey != old.keyPublicKey);
    QCOMPARE(issuedSerial(h, file, kNewPwd, newKey), bare(serial));
    for (const auto* ds : {h.app().certificateTables().svrCertInfoDs(), h.app().certificateTables().clntCertInfoDs()})
      QVERIFY(tableCells(ds).contains("憑證序號=" + serial));
    QVERIFY(tableCells(h.app().certificateTables().svrCertInfoDs()).contains("憑證狀態=有效(1)"));
    QCOMPARE(keyFiles(h), QStringList());
    QCOMPARE(leakingLine(log.lines(), secretsOf(h, {demo::kExpiring.pwd, kDemoPwd, kNewPwd})), QString());

    // Again: the first file holds an older certificate of the same user now.
    h.alerts().clear();
    QVERIFY(renewWith(h, h.demoPfx(demo::kExpiring), kDemoPwd));
    QVERIFY(confirmLoadPfx(h, file, kNewPwd));
    const std::string keptKey = publicKeyOfCsr(h.lastRequest("renewCert")->params.at("csr"), h.path(""));
    QVERIFY(fillIn({}, "btnCancel"));
    QCOMPARE(h.alerts().texts(), (QStringList{"錯誤的憑證檔(憑證序號錯誤)，請重新選擇憑證",
                                              "使用者按下取消鍵，無法儲存憑證，憑證更新未完成"}));
    QCOMPARE(keyFiles(h).size(), 1);

    // The next session offers to continue: no file, no signature.
    h.relaunch();
    h.alerts().clear();
    h.alerts().answerFor(kContinueRenewal, 1000);
    QVERIFY(h.logIn(demo::kExpiring));
    const qsizetype choicesBefore = h.fileChooser().requests.size();
    FlowRecorder flow(h);
    QVERIFY(answerAgreement(true));
    QCOMPARE(flow.events.value(0), QString("overlay:正在接續前次未完成的憑證更新..."));
    const auto continued = h.lastRequest("renewCert");
    QVERIFY(continued->params.at("csr").empty() && continued->params.at("sign").empty());
    QVERIFY(confirmSavePfx("again2026x"));
    QVERIFY(flow.events.filter("dialog:LoadPfx").isEmpty());
    QCOMPARE(h.fileChooser().requests.size(), choicesBefore);
    QCOMPARE(h.alerts().texts(),
             (QStringList{"登入作業已完成", kContinueRenewal, kReplace, "憑證更新完成!!", kInstallQuestion}));
    QCOMPARE(issuedSerial(h, file, "again2026x", keptKey), bare(serialOf(h.app().renewCertInfo())));
    QCOMPARE(keyFiles(h), QStringList());
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
        {"no last active certificate", &demo::kExpiring, "", "qryLastActiveCert", Fault::reply("4006", "查無有效憑證"),
         Stop::None, {"讀取伺服器端將屆期憑證資訊失敗，請稍後再嘗試進行憑證更新"}},
        {"old file not chosen", &demo::kExpiring, "", "", {}, Stop::Load, {"使用者按下取消鍵，憑證更新取消"}},
        {"renewal refused", &demo::kExpiring, "", "renewCert", Fault::reply("4005", "簽章錯誤"), Stop::None,
         {"憑證展期失敗"}},  // the table's text for the code, not the gateway's
        {"report refused", &demo::kExpiring, "", "activeCert", Fault::reply("4007", "查無憑證申請資料"), Stop::None,
         {kReplace, "憑證更新失敗!!"}},
    };
    // clang-format on
    for (const Case& c : cases) {
      AppHarness h;
      QVERIFY(h.logIn(*c.user));
      h.alerts().clear();
      const QString file = h.copyDemoPfx(demo::kExpiring, "KARV/D220003245.pfx");
      if (!c.status.isEmpty()) h.app().setBtnStatus(c.status, 1, 1);
      if (*c.faultApi) h.gateway().setFault(c.faultApi, c.fault);
      h.app().doRenewCert(QString::fromLatin1(c.user->cn));
      QVERIFY(answerAgreement(c.stop != Stop::Agreement));
      if (activeSheet<LoadPfxWindowController>())
        QVERIFY(c.stop == Stop::Load ? fillIn({}, "btnCancel") : confirmLoadPfx(h, std::nullopt, kDemoPwd));
      if (activeSheet<SavePfxWindowController>()) QVERIFY(confirmSavePfx(kNewPwd));
      QVERIFY2(h.alerts().texts() == c.alerts, c.name);
      QVERIFY2(!activeSheet() && !h.app().mask()->isVisible(), c.name);
      if (c.stop != Stop::None || c.user == &demo::kAlice) QCOMPARE(h.requestCount("renewCert"), 0);
      if (QString(c.faultApi) == "activeCert") {
        // The new file stays written and current, and the client table shows it.
        QCOMPARE(h.currentPath(), file);
        QCOMPARE(tableCells(h.app().certificateTables().clntCertInfoDs()).value(2),
                 "憑證序號=" + serialOf(h.app().renewCertInfo()));
      }
    }
  }
};

QTEST_MAIN(CertificateWorkflowsTest)
#include "certificate_workflows_test.moc"
