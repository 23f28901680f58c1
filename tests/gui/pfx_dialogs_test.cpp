// The Save-PFX, Load-PFX and Change-PFX-password dialogs against the
// development gateway, with real files checked by the openssl tool.
#include <QLabel>
#include <QtTest>

#include "GuiTestSupport.h"
#include "app/dialogs/ChgPfxPwdWindowController.h"
#include "app/dialogs/LoadPfxWindowController.h"
#include "app/dialogs/SavePfxWindowController.h"
#include "app/expiry/ExpiryStateFile.h"
#include "ui_MainWindow.h"

using namespace karv::app;
using namespace karv::test;
using karv::StringMap;

namespace {
const QString kSaveFailed = "憑證檔儲存失敗，請檢查並確認您的憑證檔儲存資訊";
const QString kGatewayPrompt = "憑證密碼須為8至16個字元,並包含數字及小寫英文字母";
const QString kChangeFailed = "密碼變更失敗，請檢查並確認您的憑證資訊及舊密碼正確後，再重新嘗試變更";
}  // namespace

class PfxDialogsTest : public QObject {
  Q_OBJECT
 private slots:
  void passwordRules() {
    const QString all = "pfx.pwd.digit=Y;pfx.pwd.UCAlpha=Y;pfx.pwd.LCAlph=Y;pfx.pwd.punctuation=Y";
    const QStringList cases[] = {
        // the settings, the password, the first rule broken
        {"", "x", ""},
        {"pfx.pwd.minLen=8", "abcdefg", "密碼長度不足"},
        {"pfx.pwd.minLen=8", "abcdefgh", ""},
        {"pfx.pwd.minLen= 8 chars", "abcdefg", "密碼長度不足"},  // a leading integer counts
        {"pfx.pwd.minLen=eight", "x", ""},
        {"pfx.pwd.minLen=3", "a\U00020000", ""},  // UTF-16 units, not characters
        {"pfx.pwd.maxLen=4", "abcde", "密碼長度超過限制"},
        {"pfx.pwd.minLen=8;" + all, "abc", "密碼長度不足"},
        {all, "Abc!", "憑證檔密碼必需包含數字"},
        {all, "abc123", "憑證檔密碼必需包含大寫英文字母"},
        {all, "ABC123", "憑證檔密碼必需包含小寫英文字母"},
        {all, "Abc123", "憑證檔密碼必需包含特殊符號"},
        {all, "Abc 123", ""},  // blanks and Chinese are special
        {all, "Abc123密", ""},
        {"pfx.pwd.LCAlpha=Y", "ABC", ""},                   // the key has no final "a"
        {"pfx.pwd.digit=y;pfx.pwd.LCAlph=YES", "ABC", ""},  // only "Y" turns a rule on
    };
    for (const QStringList& c : cases) {
      StringMap cfg;
      for (const QString& entry : c[0].split(';', Qt::SkipEmptyParts))
        cfg[entry.section('=', 0, 0).toStdString()] = entry.section('=', 1).toStdString();
      QCOMPARE(PfxPasswordRules::fromSvrCfg(cfg).firstBroken(c[1]), c[2]);
    }
  }

  void saveChecksInOrderAndKeepsEntries() {
    AppHarness h;
    QVERIFY(h.logIn(demo::kAlice));
    h.alerts().clear();
    const QString current = h.currentPath();
    // Without a folder or a file to start from: the home folder, "cert.pfx".
    for (const auto& path : {std::optional<std::string>("/cert.pfx"), std::optional<std::string>()}) {
      h.app().getKARVlib()->setCurrentPfxFilePath(path);
      h.app().showSavePfxWindow("", "", h.handler());
      QCOMPARE(control<QLabel>(activeSheet(), "lblPfxFilePath")->text(), h.path("cert.pfx"));
      QVERIFY(fillIn({}, "btnCancel"));
    }
    h.codes.clear();
    h.app().setCurrentPfxFilePath(current);
    SavePfxFileWindowResult handed{"x", "x", "x"};
    h.app().showSavePfxWindow("", "", [&](int code, const SavePfxFileWindowResult& result) {
      h.codes << code;
      handed = result;
    });
    auto* sheet = activeSheet<SavePfxWindowController>();
    QCOMPARE(control<QLabel>(sheet, "lblPfxFilePath")->text(), current);
    QCOMPARE(control<QLabel>(sheet, "lblPromptMsg")->text(), kGatewayPrompt);
    // The gateway's rules: 8 to 16 characters with a digit and a lower-case letter.
    const QList<QStringList> wrong{{"", "", "密碼空白!!"},
                                   {"abc", "abd", "密碼與密碼確認值不同!!"},
                                   {"abc1", "abc1", "密碼長度不足"},
                                   {"ABCDEFG1", "ABCDEFG1", "憑證檔密碼必需包含小寫英文字母"},
                                   {"abcdefg1", "abcdefg1", kSaveFailed}};  // no certificate to write
    for (const QStringList& c : wrong) {
      QVERIFY(confirmSavePfx(c[0], c[1]));
      QVERIFY2(h.showsOnly(c[2], sheet), qPrintable(c[2]));
      QCOMPARE(control<QLineEdit>(sheet, "txtPfxPwdCfm")->text(), c[1]);
    }
    control<QLabel>(sheet, "lblPfxFilePath")->clear();
    QVERIFY(confirmSavePfx(""));
    QVERIFY(h.showsOnly("憑證檔儲存路徑未指定!!", sheet));
    QVERIFY(fillIn({}, "btnCancel"));
    QCOMPARE(h.codes, QList<int>{0});
    QCOMPARE(h.currentPath(), current);
    QVERIFY(handed.pfxFilePath.isEmpty() && handed.pfxFileName.isEmpty() && handed.pfxFilePwd.isEmpty());
  }

  void loadChecksInOrderAndComparesTheCertificate() {
    AppHarness h;
    QVERIFY(h.logIn(demo::kExpiring));
    h.alerts().clear();
    const QString demoFile = h.copyDemoPfx(demo::kExpiring, "certs/demo.pfx");
    // The same key and certificate as an older client wrote them (RC2-40), and broken files.
    const std::string pem = h.path("all.pem").toStdString(), legacy = h.path("certs/legacy.pfx").toStdString();
    QCOMPARE(openssl({"pkcs12", "-in", demoFile.toStdString(), "-passin", "pass:" + kDemoPwd.toStdString(), "-nodes",
                      "-out", pem})
                 .exitCode,
             0);
    QCOMPARE(openssl({"pkcs12", "-export", "-legacy", "-in", pem, "-out", legacy, "-passout", "pass:L1"}).exitCode, 0);
    writeText(h.path("certs/truncated.pfx").toStdString(), bytesOf(demoFile).chopped(200).toStdString());
    StringMap info = certInfoOf(demoFile, kDemoPwd);
    const QStringList i{QString::fromStdString(info["cn"]), QString::fromStdString(info["issuer"]),
                        QString::fromStdString(info["serial"]), QString::fromStdString(info["certHash"])};
    QStringList reordered = i[1].split(", ");
    std::reverse(reordered.begin(), reordered.end());
    h.app().setCurrentPfxFilePwd(QString());  // none

    struct Case {
      QString path, pwd;
      QStringList expected;  // cn, issuer, serial, hash
      QString message;       // "": accepted
    };
    const QString badFile = "憑證檔格式錯誤或不是指定的憑證檔!!";
    const QList<Case> cases{
        {"", kDemoPwd, i, "憑證儲存路徑未指定!!"},
        {h.path("certs/truncated.pfx"), kDemoPwd, i, badFile},
        {h.path("certs"), kDemoPwd, i, badFile},
        {demoFile, "wrong", i, badFile},
        {demoFile, kDemoPwd, {"x", "CN=x", "1", "00"}, "錯誤的憑證檔(憑證雜湊值錯誤)，請重新選擇憑證"},
        {demoFile, kDemoPwd, {i[0].toLower(), "CN=x", "1", i[3]}, "錯誤的憑證檔(CN錯誤)，請重新選擇憑證"},
        {demoFile, kDemoPwd, {i[0], "CN=x", "0" + i[2], i[3]}, "錯誤的憑證檔(憑證序號錯誤)，請重新選擇憑證"},
        {demoFile, kDemoPwd, {i[0], "CN=x", i[2], i[3]}, "錯誤的憑證檔(憑證簽發者錯誤)，請重新選擇憑證"},
        {demoFile, kDemoPwd, {i[0], reordered.join(", "), i[2], i[3]}, ""},
        {QString::fromStdString(legacy), "L1", {"", "", "", ""}, ""},  // nothing to compare: any readable file
    };
    for (const Case& c : cases) {
      LoadPfxFileWindowResult handed;
      h.app().showLoadPfxWindow(c.expected[0], c.expected[1], c.expected[2], c.expected[3],
                                [&](int code, const LoadPfxFileWindowResult& result) {
                                  h.codes << code;
                                  handed = result;
                                });
      auto* sheet = activeSheet<LoadPfxWindowController>();
      QVERIFY(confirmLoadPfx(h, c.path, c.pwd));
      if (!c.message.isEmpty()) {
        QVERIFY2(h.showsOnly(c.message, sheet), qPrintable(c.message));
        QVERIFY(control<QLineEdit>(sheet, "txtPfxFilePwd")->text().isEmpty());
        QCOMPARE(control<QLabel>(sheet, "lblPfxFilePath")->text(), c.path);
        QVERIFY(fillIn({}, "btnCancel"));  // Cancel leaves the current file and password
        QVERIFY(h.currentPath() != c.path && !h.app().getKARVlib()->getCurrentPfxFilePwd());
        QCOMPARE(h.codes, QList<int>{0});
      } else {
        QCOMPARE(h.codes, QList<int>{1});
        // The handler has the file, its password and its record; the file is the current one by then.
        QCOMPARE(QStringList({handed.pfxFilePath, handed.pfxFilePwd, h.currentPath(), h.currentPwd()}),
                 QStringList({c.path, c.pwd, c.path, c.pwd}));
        QCOMPARE(handed.certInfo.at("certHash"), info["certHash"]);
        QCOMPARE(h.app().ui()->lblPfxFilePath->text(), c.path);
        ExpiryState remembered;  // for the expiry reminder
        QVERIFY(ExpiryStateFile().load(remembered) == ExpiryStateFile::Read::kFound && remembered.pfxPath == c.path);
      }
      h.codes.clear();
    }
    const auto& asked = h.fileChooser().requests.last();
    QVERIFY(asked.files && !asked.folders && asked.extensions == QStringList{"pfx"});
  }

  void changePasswordRewritesOnlyTheFile() {
    AppHarness h;
    QVERIFY(h.logIn(demo::kExpiring));
    h.alerts().clear();
    const QString file = h.copyDemoPfx(demo::kExpiring, "KARV/D220003245.pfx");
    QCOMPARE(h.currentPath(), file);
    h.app().setCurrentPfxFilePwd(kDemoPwd);
    const QByteArray before = bytesOf(file);
    const QString name = readPfxWithOpenssl(file, kDemoPwd).friendlyName;
    QVERIFY(!name.isEmpty());

    click(h.app().ui()->btnChgPfxPwd);
    auto* sheet = activeSheet<ChgPfxPwdWindowController>();
    QVERIFY(sheet);
    QCOMPARE(control<QLabel>(sheet, "lblPfxFilePath")->text(), file);
    QCOMPARE(control<QLabel>(sheet, "lblPwdRulePrompt")->text(), kGatewayPrompt);
    const QList<QStringList> wrong{{kDemoPwd, "abcdefg1", "abcdefg2", "新密碼與新密碼確認不同"},
                                   {kDemoPwd, "abc1", "abc1", "密碼長度不足"},
                                   {"wrong", "abcdefg1", "abcdefg1", kChangeFailed},
                                   {kDemoPwd, "abcdefg1", "abcdefg1", kChangeFailed}};  // the disk is full
    for (const QStringList& c : wrong) {
      {
        std::optional<FileSizeLimit> fullDisk;
        if (c[3] == kChangeFailed && c[0] == kDemoPwd) fullDisk.emplace(512);
        QVERIFY(confirmChgPfxPwd(c[0], c[1], c[2]));
      }
      QVERIFY2(h.showsOnly(c[3], sheet), qPrintable(c[3]));
      for (const char* field : {"txtOldPwd", "txtNewPwd", "txtNewPwdCfm"})
        QVERIFY(control<QLineEdit>(sheet, field)->text().isEmpty());
      QCOMPARE(bytesOf(file), before);
    }
    QVERIFY(confirmChgPfxPwd(kDemoPwd, "abcdefg1"));
    QCOMPARE(h.alerts().texts(), QStringList{"密碼變更完成"});
    QVERIFY(!readPfxWithOpenssl(file, kDemoPwd).opened);
    QCOMPARE(readPfxWithOpenssl(file, "abcdefg1").friendlyName, name);
    QCOMPARE(h.currentPath(), file);
    QCOMPARE(h.currentPwd(), kDemoPwd);  // the client's password stays

    // No file to change; Cancel.
    h.alerts().clear();
    h.app().getKARVlib()->setCurrentPfxFilePath(std::nullopt);
    h.app().showChgPfxPwdWindow(h.handler());
    sheet = activeSheet<ChgPfxPwdWindowController>();
    QVERIFY(confirmChgPfxPwd("", ""));
    QVERIFY(h.showsOnly("憑證儲存路徑未指定", sheet));
    // An opening while a dialog is open waits for its end.
    h.app().doChangePfxPwd("");
    QVERIFY(fillIn({}, "btnCancel"));
    QVERIFY(h.alerts().texts().isEmpty());
    QTRY_VERIFY(activeSheet<ChgPfxPwdWindowController>() && activeSheet() != sheet);
    QVERIFY(fillIn({}, "btnCancel"));
    QCOMPARE(h.alerts().texts(), QStringList{"使用者按下取消鍵"});
  }
};

QTEST_MAIN(PfxDialogsTest)
#include "pfx_dialogs_test.moc"
