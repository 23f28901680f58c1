// Installing the certificate into the browsers from the main window: the
// browser-choice dialog in its modes, the configured choice of mode "N", the
// messages, and the removal, against the development gateway's template.
#include <QImage>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include "GuiTestSupport.h"
#include "app/dialogs/DepCertWindowController.h"
#include "ui_MainWindow.h"

using namespace karv::app;
using namespace karv::test;

namespace {
const QString kChrome = "com.google.Chrome";
const QString kFirefox = "org.mozilla.Firefox";
const char* const kBrowserButtons[] = {"imgBtnSafari", "imgBtnChrome", "imgBtnFireFox"};
// After installing into the Chromium family: a running one must be restarted.
const QString kRestart =
    "若 Chrome、Chromium、Brave、Edge、Vivaldi 或 Opera 瀏覽器在安裝前已經開啟，請將該瀏覽器完全關閉後重新開啟，"
    "才能以新憑證登入網站";

// The choice shown, Safari, Chrome, Firefox: "Y" chosen, "N" not.
QString chosen(QWidget* dialog) {
  QString flags;
  for (const char* name : kBrowserButtons) flags += control<QToolButton>(dialog, name)->isChecked() ? "Y" : "N";
  return flags;
}
// Clicks the browser buttons by their letter in "SCF".
void press(QWidget* dialog, const QString& letters) {
  for (QChar letter : letters) click(control<QToolButton>(dialog, kBrowserButtons[QString("SCF").indexOf(letter)]));
}
}  // namespace

class DeployTest : public QObject {
  Q_OBJECT
  QTemporaryDir root_;

  // A harness whose gateway has these deployment settings, and whose client
  // holds the demo user's .pfx as its current file.
  std::unique_ptr<AppHarness> harness(const char* mode, const char* selectedBrowser) {
    auto h = std::make_unique<AppHarness>(AppHarness::Scheme::Https, false);
    h->gateway().setConfigValue("depCert.mode", mode);
    h->gateway().setConfigValue("depCert.selectedBrowser", selectedBrowser);
    h->app().window()->show();
    (void)h->app().getKARVlib()->getSysCfg("");  // loading the configuration resets the current password
    h->app().getKARVlib()->setCurrentPfxFilePath(h->demoPfx(demo::kExpiring).toStdString());
    h->app().getKARVlib()->setCurrentPfxFilePwd(kDemoPwd.toStdString());
    return h;
  }

 private slots:
  void initTestCase() {
    QVERIFY(root_.isValid());
    const std::string home = root_.filePath("home").toStdString(), share = root_.filePath("share").toStdString();
    qputenv("HOME", home.c_str());
    qputenv("XDG_DATA_HOME", (home + "/.local/share").c_str());
    qputenv("XDG_CONFIG_HOME", (home + "/.config").c_str());
    qputenv("XDG_DATA_DIRS", share.c_str());
    // Chromium (the default browser, with an icon file) and Firefox with a profile.
    const QString icon = root_.filePath("chromium.png");
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::blue);
    QVERIFY(image.save(icon));
    writeText(share + "/applications/chromium.desktop",
              "[Desktop Entry]\nType=Application\nName=Chromium\nExec=/bin/true %U\nIcon=" + icon.toStdString() + "\n");
    writeText(share + "/applications/firefox-esr.desktop",
              "[Desktop Entry]\nType=Application\nName=Firefox ESR\nExec=/bin/true %u\nIcon=firefox-esr\n");
    writeText(home + "/.config/mimeapps.list", "[Default Applications]\nx-scheme-handler/https=chromium.desktop\n");
    writeText(home + "/.mozilla/firefox/profiles.ini", "[Profile0]\nIsRelative=1\nPath=p.default-esr\n");
    writeText(home + "/.mozilla/firefox/p.default-esr/times.json", "{}");
  }

  void choiceDialogModes() {
    // "M": several; the default browser preselected; none chosen is refused.
    auto h = harness("M", "DEFAULT");
    h->app().doDepCertChooseBrowser();
    auto* sheet = activeSheet<DepCertWindowController>();
    QVERIFY(sheet && sheet->windowModality() == Qt::WindowModal);
    QVERIFY(!control<QToolButton>(sheet, "imgBtnSafari")->isVisible());  // never installed here
    auto* chromium = control<QToolButton>(sheet, "imgBtnChrome");
    QVERIFY(chromium->text() == "Chromium" && !chromium->icon().isNull());
    QCOMPARE(control<QToolButton>(sheet, "imgBtnFireFox")->text(), QString("Firefox ESR"));
    QCOMPARE(chosen(sheet), QString("NYN"));
    press(sheet, "F");
    QCOMPARE(chosen(sheet), QString("NYY"));
    press(sheet, "CF");  // a chosen one is unchosen
    QCOMPARE(chosen(sheet), QString("NNN"));
    QVERIFY(fillIn({}, "btnOK"));
    QVERIFY(h->showsOnly("未選擇任何目的瀏覽器", sheet));
    QVERIFY(h->desktop().browsers.isEmpty());
    press(sheet, "F");
    QVERIFY(fillIn({}, "btnOK"));
    QVERIFY(!sheet->isVisible() && h->alerts().texts().isEmpty());  // success with Firefox is silent
    QCOMPARE(h->desktop().browsers, QStringList{kFirefox});
    const QUrl page = h->desktop().browserUrls.first();
    QVERIFY(page.toString().startsWith("file:///" + root_.filePath("home/.plix/PLIXDepCert.")));
    QVERIFY(QFile::exists(page.toLocalFile()));
    QVERIFY(QFile::exists(root_.filePath("home/.mozilla/firefox/p.default-esr/cert9.db")));

    // "S": exactly one; Cancel.
    h = harness("S", "ALL,FireFox");
    h->app().doDepCertChooseBrowser();
    sheet = activeSheet<DepCertWindowController>();
    QCOMPARE(chosen(sheet), QString("NNY"));
    press(sheet, "C");
    QCOMPARE(chosen(sheet), QString("NYN"));
    press(sheet, "C");  // the chosen one stays chosen
    QCOMPARE(chosen(sheet), QString("NYN"));
    QVERIFY(fillIn({}, "btnCancel"));
    QCOMPARE(h->alerts().texts(), QStringList{"使用者按下取消鍵"});
    QVERIFY(h->desktop().browsers.isEmpty());

    // Any other mode: the preselection stays, also against a screen reader's toggle.
    h = harness("X", "Chrome");
    h->app().doDepCertChooseBrowser();
    sheet = activeSheet<DepCertWindowController>();
    QCOMPARE(chosen(sheet), QString("NYN"));
    press(sheet, "FC");
    control<QToolButton>(sheet, "imgBtnFireFox")->toggle();
    QCOMPARE(chosen(sheet), QString("NYN"));
    QVERIFY(fillIn({}, "btnOK"));
    QCOMPARE(h->desktop().browsers, QStringList{kChrome});
    QCOMPARE(h->alerts().texts(), QStringList{kRestart});
  }

  void configuredChoiceInModeN() {
    struct Case {
      const char* selectedBrowser;
      QString password;
      QStringList opened;
      QStringList messages;
    };
    const QString notice = "接下來將為您進行瀏覽器憑證安裝";
    const QString failed = "瀏覽器憑證安裝失敗";
    const Case cases[] = {
        {"ALL", kDemoPwd, {kChrome, kFirefox}, {notice, kRestart}},
        {"Chrome64", kDemoPwd, {}, {notice, failed}},  // nothing preselected: an empty list fails
        {"DEFAULT", "wrong", {}, {notice, failed}},
    };
    for (const auto& c : cases) {
      auto h = harness("N", c.selectedBrowser);
      h->app().getKARVlib()->setCurrentPfxFilePwd(c.password.toStdString());
      h->app().doDepCertChooseBrowser();
      QVERIFY(!activeSheet<DepCertWindowController>());
      QCOMPARE(h->desktop().browsers, c.opened);
      QCOMPARE(h->alerts().texts(), c.messages);
    }
  }

  void installationFromTheMainWindow() {
    // A page an earlier run left behind goes at the start.
    const std::string stale = root_.filePath("home/.plix/PLIXDepCert.20240101000000000.html").toStdString();
    writeText(stale, "<script>var certInfo={};</script>");
    AppHarness h(AppHarness::Scheme::Https, false);
    QVERIFY(h.logIn(demo::kExpiring));
    QVERIFY(!QFile::exists(QString::fromStdString(stale)));
    h.alerts().clear();
    click(h.app().ui()->btnDepCert);
    QVERIFY(fillIn({}, "btnCancel"));
    QCOMPARE(h.alerts().texts(), QStringList{"使用者按下取消鍵，無法進行瀏覽器憑證安裝"});

    // Only the file of the gateway's last active certificate passes: a
    // stand-in with the user's CN fails on the serial.
    h.alerts().clear();
    const QString standIn = root_.filePath("stand-in.pfx");
    QVERIFY(makeOtherPfx(standIn, demo::kExpiring.cn, kDemoPwd));
    click(h.app().ui()->btnDepCert);
    QVERIFY(confirmLoadPfx(h, standIn, kDemoPwd));
    QVERIFY(confirmLoadPfx(h, h.demoPfx(demo::kExpiring), kDemoPwd));
    QCOMPARE(h.alerts().texts(), QStringList{"錯誤的憑證檔(憑證序號錯誤)，請重新選擇憑證"});
    QVERIFY(activeSheet<DepCertWindowController>());
    QCOMPARE(h.currentPath(), h.demoPfx(demo::kExpiring));
    QVERIFY(fillIn({}, "btnOK"));  // the default browser is preselected
    QCOMPARE(h.desktop().browsers, QStringList{kChrome});
    QCOMPARE(h.alerts().texts().size(), 2);
    QCOMPARE(h.alerts().texts().last(), kRestart);

    // Removal opens the removal page in every browser, silently.
    h.desktop().browsers.clear();
    click(h.app().ui()->btnRmvDepCert);
    QCOMPARE(h.desktop().browsers, (QStringList{kChrome, kFirefox}));
    QCOMPARE(h.alerts().texts().size(), 2);
    const QByteArray page = bytesOf(h.desktop().browserUrls.last().toLocalFile());
    QVERIFY(page.contains("\"opType\":\"remove\",\n\"cn\":\"D220003245-01\",\n\"issuer\":\"CN=KARV"));
    QCOMPARE(h.app().doRmvDepCert(demo::kExpiring.cn), 0);
    // A removal that could not be done says so.
    h.gateway().setFault("qryCert", karv::gateway::Fault::noAnswer());
    click(h.app().ui()->btnRmvDepCert);
    QCOMPARE(h.alerts().texts().last(), QString("瀏覽器憑證移除失敗"));
    h.gateway().clearFaults();

    // Logging out (which quits) takes the page along.
    const QString last = h.desktop().browserUrls.last().toLocalFile();
    QVERIFY(QFile::exists(last));
    click(h.app().ui()->btnLogin);
    QCOMPARE(h.alerts().texts().last(), QString("您確定要執行登出並關閉應用程式??"));
    QCOMPARE(h.terminations(), 1);
    QVERIFY(!QFile::exists(last));
  }
};

QTEST_MAIN(DeployTest)
#include "deploy_test.moc"
