// The Save-PFX, Load-PFX and Change-PFX-password dialogs and the client
// certificate query, headless against the development gateway, with real
// files checked by the openssl tool.
#include <QAccessible>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "DemoSeed.h"
#include "ExpiryStateFile.h"
#include "GuiTestSupport.h"
#include "PfxTestSupport.h"
#include "RSAUtility.h"
#include "support/TestFiles.h"
#include "support/ToolRunner.h"
#include "ui_MainWindow.h"

using namespace karv::app;
using namespace karv::test;
using karv::StringMap;

namespace {

const QString kDemoPwd = QString::fromLatin1(karv::gateway::kDemoPfxPassword);
const QString kSaveFailed = "憑證檔儲存失敗，請檢查並確認您的憑證檔儲存資訊";
const QString kGatewayPrompt = "憑證密碼須為8至16個字元,並包含數字及小寫英文字母";
const QString kChangeFailed = "密碼變更失敗，請檢查並確認您的憑證資訊及舊密碼正確後，再重新嘗試變更";

// Every control of the dialog has a name a screen reader can announce.
bool everyControlNamed(QWidget* dialog) {
  for (QWidget* w : dialog->findChildren<QWidget*>()) {
    if (!qobject_cast<QLabel*>(w) && !qobject_cast<QLineEdit*>(w) && !qobject_cast<QAbstractButton*>(w)) continue;
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
    if (!iface || iface->text(QAccessible::Name).isEmpty()) return false;
  }
  return true;
}

}  // namespace

class PfxDialogsTest : public QObject {
  Q_OBJECT
 private slots:
  void passwordRules_data() {
    QTest::addColumn<QString>("config");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("message");
    const QString kAll = "pfx.pwd.digit=Y;pfx.pwd.UCAlpha=Y;pfx.pwd.LCAlph=Y;pfx.pwd.punctuation=Y";
    // clang-format off
    QTest::newRow("no keys, no rules") << "" << "x" << "";
    QTest::newRow("minimum 8 refuses 7") << "pfx.pwd.minLen=8" << "abcdefg" << "密碼長度不足";
    QTest::newRow("minimum 8 takes 8") << "pfx.pwd.minLen=8" << "abcdefgh" << "";
    QTest::newRow("leading integer") << "pfx.pwd.minLen= 8 chars" << "abcdefg" << "密碼長度不足";
    QTest::newRow("not a number: no minimum") << "pfx.pwd.minLen=eight" << "x" << "";
    QTest::newRow("UTF-16 units, not characters") << "pfx.pwd.minLen=3" << "a\U00020000" << "";
    QTest::newRow("maximum") << "pfx.pwd.maxLen=4" << "abcde" << "密碼長度超過限制";
    QTest::newRow("length before characters") << "pfx.pwd.minLen=8;" + kAll << "abc" << "密碼長度不足";
    QTest::newRow("digit") << kAll << "Abc!" << "憑證檔密碼必需包含數字";
    QTest::newRow("upper case") << kAll << "abc123" << "憑證檔密碼必需包含大寫英文字母";
    QTest::newRow("lower case") << kAll << "ABC123" << "憑證檔密碼必需包含小寫英文字母";
    QTest::newRow("special") << kAll << "Abc123" << "憑證檔密碼必需包含特殊符號";
    QTest::newRow("blank is special") << kAll << "Abc 123" << "";
    QTest::newRow("Chinese is special") << kAll << "Abc123密" << "";
    QTest::newRow("the key has no final a") << "pfx.pwd.LCAlpha=Y" << "ABC" << "";
    QTest::newRow("only Y turns a rule on") << "pfx.pwd.digit=y;pfx.pwd.LCAlph=YES" << "ABC" << "";
    // clang-format on
  }
  void passwordRules() {
    QFETCH(QString, config);
    QFETCH(QString, password);
    QFETCH(QString, message);
    StringMap cfg;
    for (const QString& entry : config.split(';', Qt::SkipEmptyParts))
      cfg[entry.section('=', 0, 0).toStdString()] = entry.section('=', 1).toStdString();
    QCOMPARE(PfxPasswordRules::fromSvrCfg(cfg).firstBroken(password), message);
  }

  void saveChecksInOrderAndKeepsEntries() {
    UserSession s(demo::kAlice);
    QVERIFY(s.loggedIn);
    const QString current = s.currentPath();
    // Where the dialog starts without a folder or a file: home, "cert.pfx".
    for (const auto& path : {std::optional<std::string>("/cert.pfx"), std::optional<std::string>()}) {
      s.h.app().getKARVlib()->setCurrentPfxFilePath(path);
      s.h.app().showSavePfxWindow("", "", s.handler());
      QCOMPARE(control<QLabel>(activeSheet(), "lblPfxFilePath")->text(), s.path("cert.pfx"));
      click(control<QPushButton>(activeSheet(), "btnCancel"));
    }
    s.h.app().setCurrentPfxFilePath(current);
    s.h.app().showSavePfxWindow("", "", s.handler());
    auto* sheet = activeSheet<SavePfxWindowController>();
    QVERIFY(sheet && everyControlNamed(sheet));
    QCOMPARE(control<QLabel>(sheet, "lblPfxFilePath")->text(), current);
    QCOMPARE(control<QLabel>(sheet, "lblPromptMsg")->text(), kGatewayPrompt);
    s.codes.clear();
    // The gateway's rules: 8 to 16 characters with a digit and a lower-case letter.
    const QList<std::tuple<QString, QString, QString>> wrong{
        {"", "", "密碼空白!!"},
        {"abc", "abd", "密碼與密碼確認值不同!!"},
        {"abc1", "abc1", "密碼長度不足"},
        {"ABCDEFG1", "ABCDEFG1", "憑證檔密碼必需包含小寫英文字母"},
        {"abcdefg1", "abcdefg1", kSaveFailed}};  // nothing to write: no certificate
    for (const auto& [pwd, confirm, message] : wrong) {
      confirmSavePfx(sheet, pwd, confirm);
      QVERIFY2(s.showsOnly(message, sheet), qPrintable(message));
      QCOMPARE(control<QLineEdit>(sheet, "txtPfxPwdCfm")->text(), confirm);
    }
    control<QLabel>(sheet, "lblPfxFilePath")->clear();
    confirmSavePfx(sheet, "");
    QVERIFY(s.showsOnly("憑證檔儲存路徑未指定!!", sheet));
    click(control<QPushButton>(sheet, "btnCancel"));
    QCOMPARE(s.codes, QList<int>{0});
    QCOMPARE(s.currentPath(), current);
    QVERIFY(s.h.app().savePfxFileWindowResult().pfxFileName.isEmpty());
  }

  void saveLosesNothingAndWritesOnlyWhatItsPasswordOpens() {
    UserSession s(demo::kAlice);
    QVERIFY(s.loggedIn);
    const auto issued = issueCertificate(s.h, demo::kAlice);
    QVERIFY(issued);
    const QString file = s.copyDemoPfx(demo::kExpiring, "certs/A123456789.pfx");
    const QByteArray oldBytes = bytesOf(file);
    s.h.app().setCurrentPfxFilePath(file);
    s.h.app().setCurrentPfxFilePwd(kDemoPwd);
    QDir().mkpath(s.path("certs/sub/A123456789.pfx"));
    s.h.app().showSavePfxWindow(issued->b64Cert, issued->b64PrivateKey, s.handler());
    auto* sheet = activeSheet<SavePfxWindowController>();
    {
      FileSizeLimit fullDisk(512);  // the existing file as target, the disk full halfway
      confirmSavePfx(sheet, "abcdefg1");
    }
    QVERIFY(s.showsOnly(kSaveFailed, sheet));
    // A folder where the file should be, a "folder" that is a file, a folder that cannot be made.
    for (const QString& chosen :
         {s.path("certs/sub"), s.path("certs/A123456789.pfx/x.pfx"), QString("/proc/karv/A123456789.pfx")}) {
      s.h.fileChooser().chooseNext(chosen);
      click(control<QPushButton>(sheet, "btnBrowserFilePath"));
      confirmSavePfx(sheet, "abcdefg1");
      QVERIFY2(s.showsOnly(kSaveFailed, sheet), qPrintable(chosen));
    }
    QCOMPARE(bytesOf(file), oldBytes);
    QCOMPARE(s.currentPath(), file);
    QCOMPARE(s.currentPwd(), kDemoPwd);

    // A chosen folder takes the file name; the existing file is replaced whole.
    s.h.fileChooser().chooseNext(s.path("certs"));
    click(control<QPushButton>(sheet, "btnBrowserFilePath"));
    const auto& asked = s.h.fileChooser().requests().last();
    QCOMPARE(asked.title, QString("憑證檔儲存路徑選擇"));
    QCOMPARE(asked.startPath, QString("/proc/karv/A123456789.pfx"));
    QVERIFY(asked.files && asked.folders && asked.extensions == QStringList{"pfx"});
    QCOMPARE(control<QLabel>(sheet, "lblPfxFilePath")->text(), file);
    confirmSavePfx(sheet, "abcdefg1");
    QCOMPARE(s.codes, QList<int>{1});
    QVERIFY(s.h.alerts().shown().isEmpty());
    const auto& result = s.h.app().savePfxFileWindowResult();
    QCOMPARE(QStringList({result.pfxFilePath, result.pfxFileName, result.pfxFilePwd}),
             QStringList({s.path("certs"), "A123456789.pfx", "abcdefg1"}));
    QCOMPARE(s.currentPath(), file);
    QCOMPARE(s.currentPwd(), QString("abcdefg1"));
    QCOMPARE(s.h.app().ui()->lblPfxFilePath->text(), file);
    QCOMPARE(modeOf(file.toStdString()), 0600u);
    QCOMPARE(QDir(s.path("certs")).entryList(QDir::Files), QStringList{"A123456789.pfx"});
    QVERIFY(pkcs12Certs(file, kDemoPwd).exitCode != 0);
    // The openssl tool opens it with the password, and its key belongs to its certificate.
    const std::string pem = s.path("all.pem").toStdString();
    QCOMPARE(openssl({"pkcs12", "-in", file.toStdString(), "-passin", "pass:abcdefg1", "-nodes", "-out", pem}).exitCode,
             0);
    const auto certKey = openssl({"x509", "-in", pem, "-noout", "-pubkey"});
    QVERIFY(certKey.exitCode == 0 && certKey.output == openssl({"pkey", "-in", pem, "-pubout"}).output);

    // Without a key given, the key kept on the machine is used.
    s.h.app().showSavePfxWindow(issued->b64Cert, "", s.handler());
    confirmSavePfx(activeSheet<SavePfxWindowController>(), "zyxwvut9");
    QCOMPARE(s.codes, (QList<int>{1, 1}));
    QCOMPARE(certInfoOf(file, "zyxwvut9").at("serial"), issued->certInfo.at("serial"));
  }

  void loadChecksInOrderAndComparesTheCertificate() {
    UserSession s(demo::kExpiring);
    QVERIFY(s.loggedIn);
    const QString demoFile = s.copyDemoPfx(demo::kExpiring, "certs/demo.pfx");
    // The same key and certificate as an older client wrote them (RC2-40), and broken files.
    const std::string pem = s.path("all.pem").toStdString(), legacy = s.path("certs/legacy.pfx").toStdString();
    QVERIFY(openssl({"pkcs12", "-in", demoFile.toStdString(), "-passin", "pass:" + kDemoPwd.toStdString(), "-nodes",
                     "-out", pem})
                .exitCode == 0);
    QVERIFY(openssl({"pkcs12", "-export", "-legacy", "-in", pem, "-out", legacy, "-passout", "pass:L1"}).exitCode == 0);
    writeText(s.path("certs/truncated.pfx").toStdString(), bytesOf(demoFile).chopped(200).toStdString());
    writeText(s.path("certs/text.pfx").toStdString(), "not a certificate file\n");
    StringMap info = certInfoOf(demoFile, kDemoPwd);
    QStringList i{QString::fromStdString(info["cn"]), QString::fromStdString(info["issuer"]),
                  QString::fromStdString(info["serial"]), QString::fromStdString(info["certHash"])};
    QStringList reordered = i[1].split(", ");
    std::reverse(reordered.begin(), reordered.end());
    s.h.app().setCurrentPfxFilePwd(QString());  // none

    struct Case {
      QString path, pwd;
      QStringList expected;  // cn, issuer, serial, hash
      QString message;       // "" : accepted
    };
    const QString badFile = "憑證檔格式錯誤或不是指定的憑證檔!!";
    const QList<Case> cases{
        {"", kDemoPwd, i, "憑證儲存路徑未指定!!"},
        {s.path("certs/text.pfx"), kDemoPwd, i, badFile},
        {s.path("certs/truncated.pfx"), kDemoPwd, i, badFile},
        {s.path("certs"), kDemoPwd, i, badFile},
        {demoFile, "wrong", i, badFile},
        {demoFile, kDemoPwd, {"x", "CN=x", "1", "00"}, "錯誤的憑證檔(憑證雜湊值錯誤)，請重新選擇憑證"},
        {demoFile, kDemoPwd, {i[0].toLower(), "CN=x", "1", i[3]}, "錯誤的憑證檔(CN錯誤)，請重新選擇憑證"},
        {demoFile, kDemoPwd, {i[0], "CN=x", "0" + i[2], i[3]}, "錯誤的憑證檔(憑證序號錯誤)，請重新選擇憑證"},
        {demoFile, kDemoPwd, {i[0], "CN=x", i[2], i[3]}, "錯誤的憑證檔(憑證簽發者錯誤)，請重新選擇憑證"},
        {demoFile, kDemoPwd, {i[0], reordered.join(", "), i[2], i[3]}, ""},
        {QString::fromStdString(legacy), "L1", {"", "", "", ""}, ""},
    };
    for (const Case& c : cases) {
      s.h.app().showLoadPfxWindow(c.expected[0], c.expected[1], c.expected[2], c.expected[3], s.handler());
      auto* sheet = activeSheet<LoadPfxWindowController>();
      QVERIFY(sheet && everyControlNamed(sheet));
      s.h.fileChooser().chooseNext(c.path);
      click(control<QPushButton>(sheet, "btnBrowseFile"));
      confirmLoadPfx(sheet, c.pwd);
      if (!c.message.isEmpty()) {
        QVERIFY2(s.showsOnly(c.message, sheet), qPrintable(c.message));
        QVERIFY(control<QLineEdit>(sheet, "txtPfxFilePwd")->text().isEmpty());
        QCOMPARE(control<QLabel>(sheet, "lblPfxFilePath")->text(), c.path);
        click(control<QPushButton>(sheet, "btnCancel"));
        QVERIFY(s.currentPath() != c.path && !s.h.app().getKARVlib()->getCurrentPfxFilePwd());
        QCOMPARE(s.codes, QList<int>{0});
      } else {
        QCOMPARE(s.codes, QList<int>{1});
        const auto& result = s.h.app().loadPfxFileWindowResult();
        QCOMPARE(QStringList({result.pfxFilePath, result.pfxFilePwd, s.currentPath(), s.currentPwd()}),
                 QStringList({c.path, c.pwd, c.path, c.pwd}));
        QCOMPARE(result.certInfo.at("certHash"), info["certHash"]);
        QCOMPARE(s.h.app().ui()->lblPfxFilePath->text(), c.path);
        ExpiryState remembered;  // for the expiry reminder
        QVERIFY(ExpiryStateFile().load(remembered) == ExpiryStateFile::Read::kFound && remembered.pfxPath == c.path);
      }
      s.codes.clear();
    }
    const auto& asked = s.h.fileChooser().requests().last();
    QCOMPARE(asked.title, QString("請選擇憑證檔"));
    QVERIFY(asked.files && !asked.folders && asked.extensions == QStringList{"pfx"});
  }

  void changePasswordRewritesOnlyTheFile() {
    UserSession s(demo::kExpiring);
    QVERIFY(s.loggedIn);
    const QString file = s.copyDemoPfx(demo::kExpiring, "KARV/D220003245.pfx");
    QCOMPARE(s.currentPath(), file);
    s.h.app().setCurrentPfxFilePwd(kDemoPwd);
    const QByteArray before = bytesOf(file);
    const auto friendlyName = [&](const QString& pwd) {
      const QString certs = QString::fromStdString(pkcs12Certs(file, pwd).output);
      return QRegularExpression("friendlyName: (.*)").match(certs).captured(1);
    };
    const QString name = friendlyName(kDemoPwd);
    QVERIFY(!name.isEmpty());

    click(s.h.app().ui()->btnChgPfxPwd);
    auto* sheet = activeSheet<ChgPfxPwdWindowController>();
    QVERIFY(sheet && everyControlNamed(sheet));
    QCOMPARE(control<QLabel>(sheet, "lblPfxFilePath")->text(), file);
    QCOMPARE(control<QLabel>(sheet, "lblPwdRulePrompt")->text(), kGatewayPrompt);
    const QList<std::tuple<QString, QString, QString, QString>> wrong{
        {kDemoPwd, "abcdefg1", "abcdefg2", "新密碼與新密碼確認不同"},
        {kDemoPwd, "abc1", "abc1", "密碼長度不足"},
        {"wrong", "abcdefg1", "abcdefg1", kChangeFailed},
        {kDemoPwd, "abcdefg1", "abcdefg1", kChangeFailed}};  // the disk is full
    for (const auto& [oldPwd, newPwd, confirm, message] : wrong) {
      {
        std::optional<FileSizeLimit> fullDisk;
        if (message == kChangeFailed && oldPwd == kDemoPwd) fullDisk.emplace(512);
        confirmChgPfxPwd(sheet, oldPwd, newPwd, confirm);
      }
      QVERIFY2(s.showsOnly(message, sheet), qPrintable(message));
      for (const char* field : {"txtOldPwd", "txtNewPwd", "txtNewPwdCfm"})
        QVERIFY(control<QLineEdit>(sheet, field)->text().isEmpty());
      QCOMPARE(bytesOf(file), before);
    }
    confirmChgPfxPwd(sheet, kDemoPwd, "abcdefg1");
    QCOMPARE(s.h.alerts().texts(), QStringList{"密碼變更完成"});
    QVERIFY(pkcs12Certs(file, kDemoPwd).exitCode != 0);
    QCOMPARE(friendlyName("abcdefg1"), name);
    QCOMPARE(s.currentPath(), file);
    QCOMPARE(s.currentPwd(), kDemoPwd);  // the client's password stays

    // No file to change; Cancel.
    s.h.alerts().clear();
    s.h.app().getKARVlib()->setCurrentPfxFilePath(std::nullopt);
    s.h.app().showChgPfxPwdWindow(s.handler());
    sheet = activeSheet<ChgPfxPwdWindowController>();
    confirmChgPfxPwd(sheet, "", "");
    QVERIFY(s.showsOnly("憑證儲存路徑未指定", sheet));
    s.h.app().doChangePfxPwd("");
    click(control<QPushButton>(activeSheet(), "btnCancel"));
    QCOMPARE(s.h.alerts().texts(), QStringList{"使用者按下取消鍵"});
  }

  void clientQueryFillsTheTable() {
    UserSession s(demo::kExpiring);
    QVERIFY(s.loggedIn);
    const QString file = s.copyDemoPfx(demo::kExpiring, "KARV/D220003245.pfx");
    const QString cn = QString::fromLatin1(demo::kExpiring.cn);
    auto cells = [&] { return tableCells(s.h.app().clntCertInfoDs()); };
    // After an application or a renewal: the current file, at once if it opens.
    s.h.app().setCurrentPfxFilePwd(kDemoPwd);
    QCOMPARE(s.h.app().doQryClntCertInfo(cn, true), 0);
    QVERIFY(!activeSheet());
    const QStringList shown = cells();
    QCOMPARE(shown.size(), 5);
    QCOMPARE(shown.mid(0, 2), QStringList({"身分證號=D220003245", "CN=" + cn}));
    QVERIFY(QRegularExpression(R"(^憑證效期\(迄\)=\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}$)").match(shown[4]).hasMatch());

    // Otherwise the user picks the file; cancelling leaves the table.
    s.h.app().setCurrentPfxFilePwd("wrong");
    QCOMPARE(s.h.app().doQryClntCertInfo(cn, true), -1);
    QVERIFY(s.h.alerts().shown().isEmpty());
    click(control<QPushButton>(activeSheet<LoadPfxWindowController>(), "btnCancel"));
    QCOMPARE(s.h.alerts().texts(), QStringList{"使用者按下取消鍵，無法查詢用戶端憑證資訊"});
    QCOMPARE(cells(), shown);

    // The button asks the gateway and always asks for the file.
    s.h.app().setCurrentPfxFilePwd(kDemoPwd);
    s.h.app().renderClntCertInfo({});
    const int queries = s.h.requestCount("qryCert");
    click(s.h.app().ui()->btnQryClntCertInfo);
    QCOMPARE(s.h.requestCount("qryCert"), queries + 1);
    auto* sheet = activeSheet<LoadPfxWindowController>();
    QVERIFY(sheet);
    QCOMPARE(control<QLabel>(sheet, "lblPfxFilePath")->text(), file);
    confirmLoadPfx(sheet, kDemoPwd);
    QCOMPARE(cells(), shown);
  }
};

QTEST_MAIN(PfxDialogsTest)
#include "pfx_dialogs_test.moc"
