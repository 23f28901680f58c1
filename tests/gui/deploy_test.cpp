// Installing the certificate into the browsers from the main window: the
// browser-choice dialog in its modes, the configured choice of mode "N", the
// messages, and the removal, against the development gateway's template.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include "DemoSeed.h"
#include "DepCertWindowController.h"
#include "GuiTestSupport.h"
#include "PfxTestSupport.h"
#include "RSAUtility.h"
#include "ui_MainWindow.h"

using namespace karv::app;
using namespace karv::test;

namespace {
const QString kChrome = "com.google.Chrome";
const QString kFirefox = "org.mozilla.Firefox";
const QString kPassword = "Pa55word!";

void writeFile(const QString& path, const QByteArray& text) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(text);
}

QStringList browsersOpened(const AppHarness& h) {
  QStringList ids;
  for (const auto& [bundleId, url] : const_cast<AppHarness&>(h).desktop().openedInBrowsers) ids << bundleId;
  return ids;
}
}  // namespace

class DeployTest : public QObject {
  Q_OBJECT
  QTemporaryDir root_;
  QString pfx_;

  // A harness whose gateway has these deployment settings, and whose client
  // holds the .pfx as its current file.
  std::unique_ptr<AppHarness> harness(const char* mode, const char* selectedBrowser) {
    auto h = std::make_unique<AppHarness>();
    h->gateway().setConfigValue("depCert.mode", mode);
    h->gateway().setConfigValue("depCert.selectedBrowser", selectedBrowser);
    h->app().window()->show();
    (void)h->app().getKARVlib()->getSysCfg("");  // loading the configuration resets the current password
    h->app().getKARVlib()->setCurrentPfxFilePath(pfx_.toStdString());
    h->app().getKARVlib()->setCurrentPfxFilePwd(kPassword.toStdString());
    return h;
  }
  static QToolButton* button(QWidget* dialog, const char* name) { return control<QToolButton>(dialog, name); }
  static QString chosen(QWidget* dialog) {
    QString flags;
    for (const char* name : {"imgBtnSafari", "imgBtnChrome", "imgBtnFireFox"})
      flags += button(dialog, name)->isChecked() ? "Y" : "N";
    return flags;
  }

 private slots:
  void initTestCase() {
    QVERIFY(root_.isValid());
    const QString home = root_.path() + "/home";
    qputenv("HOME", home.toUtf8());
    qputenv("XDG_DATA_HOME", (home + "/.local/share").toUtf8());
    qputenv("XDG_CONFIG_HOME", (home + "/.config").toUtf8());
    qputenv("XDG_DATA_DIRS", (root_.path() + "/share").toUtf8());
    // Chromium (the default browser, with an icon file) and Firefox with a profile.
    const QString icon = root_.path() + "/chromium.png";
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::blue);
    QVERIFY(image.save(icon));
    writeFile(root_.path() + "/share/applications/chromium.desktop",
              "[Desktop Entry]\nType=Application\nName=Chromium\nExec=/bin/true %U\nIcon=" + icon.toUtf8() + "\n");
    writeFile(root_.path() + "/share/applications/firefox-esr.desktop",
              "[Desktop Entry]\nType=Application\nName=Firefox ESR\nExec=/bin/true %u\nIcon=firefox-esr\n");
    writeFile(home + "/.config/mimeapps.list", "[Default Applications]\nx-scheme-handler/https=chromium.desktop\n");
    writeFile(home + "/.mozilla/firefox/profiles.ini", "[Profile0]\nIsRelative=1\nPath=p.default-esr\n");
    QVERIFY(QDir().mkpath(home + "/.mozilla/firefox/p.default-esr"));

    // The user's .pfx, written by the client's own writer.
    const QString pem = root_.path() + "/user.pem";
    const QString key = root_.path() + "/user.key";
    QCOMPARE(QProcess::execute("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", pem,
                                           "-subj", "/CN=D220003245-01/C=TW", "-days", "30"}),
             0);
    QFile certFile(pem);
    QFile keyFile(key);
    QVERIFY(certFile.open(QIODevice::ReadOnly) && keyFile.open(QIODevice::ReadOnly));
    QStringList lines = QString::fromLatin1(certFile.readAll()).split('\n', Qt::SkipEmptyParts);
    const QString b64Cert = lines.mid(1, lines.size() - 2).join("");
    pfx_ = root_.path() + "/user.pfx";
    QCOMPARE(karv::RSAUtility().savePfxFile(b64Cert.toStdString(), keyFile.readAll().toStdString(), pfx_.toStdString(),
                                            kPassword.toStdString()),
             0);
  }

  void severalBrowsersInModeM() {
    auto h = harness("M", "DEFAULT");
    h->app().doDepCertChooseBrowser();
    auto* sheet = activeSheet<DepCertWindowController>();
    QVERIFY(sheet);
    QCOMPARE(sheet->windowModality(), Qt::WindowModal);
    QVERIFY(!button(sheet, "imgBtnSafari")->isVisible());  // never installed here
    QCOMPARE(button(sheet, "imgBtnChrome")->text(), QString("Chromium"));
    QVERIFY(!button(sheet, "imgBtnChrome")->icon().isNull());
    QCOMPARE(button(sheet, "imgBtnFireFox")->text(), QString("Firefox ESR"));
    QCOMPARE(chosen(sheet), QString("NYN"));
    click(button(sheet, "imgBtnFireFox"));
    QCOMPARE(chosen(sheet), QString("NYY"));
    click(button(sheet, "imgBtnChrome"));  // a chosen one is unchosen
    click(button(sheet, "imgBtnFireFox"));
    QCOMPARE(chosen(sheet), QString("NNN"));
    // Nothing chosen: an error, and the dialog stays open.
    click(control<QPushButton>(sheet, "btnOK"));
    QCOMPARE(h->alerts().texts(), QStringList{"未選擇任何目的瀏覽器"});
    QCOMPARE(h->alerts().shown().first().title, QString("錯誤"));
    QCOMPARE(h->alerts().shown().first().style, AlertPresenter::Style::ApplicationModal);
    QCOMPARE(activeSheet<DepCertWindowController>(), sheet);
    QVERIFY(h->desktop().openedInBrowsers.isEmpty());
    h->alerts().clear();
    click(button(sheet, "imgBtnFireFox"));
    click(control<QPushButton>(sheet, "btnOK"));
    QVERIFY(!sheet->isVisible());
    QCOMPARE(h->app().depCertSelectedBrowsersInfo().size(), size_t(1));
    QCOMPARE(browsersOpened(*h), QStringList{kFirefox});
    const QString url = h->desktop().openedInBrowsers.first().second;
    QVERIFY(url.startsWith("file:///" + root_.path() + "/home/.plix/PLIXDepCert."));
    QVERIFY(QFile::exists(url.mid(7)));
    QVERIFY(h->alerts().texts().isEmpty());  // success is silent
    QVERIFY(QFile::exists(root_.path() + "/home/.mozilla/firefox/p.default-esr/cert9.db"));
  }

  void exactlyOneInModeSAndCancel() {
    auto h = harness("S", "ALL,FireFox");
    h->app().doDepCertChooseBrowser();
    auto* sheet = activeSheet<DepCertWindowController>();
    QVERIFY(sheet);
    QCOMPARE(chosen(sheet), QString("NNY"));
    click(button(sheet, "imgBtnChrome"));
    QCOMPARE(chosen(sheet), QString("NYN"));
    click(button(sheet, "imgBtnChrome"));  // the chosen one stays chosen
    QCOMPARE(chosen(sheet), QString("NYN"));
    click(control<QPushButton>(sheet, "btnCancel"));
    QCOMPARE(h->alerts().texts(), QStringList{"使用者按下取消鍵"});
    QVERIFY(h->desktop().openedInBrowsers.isEmpty());
  }

  void otherModeKeepsThePreselection() {
    auto h = harness("X", "Chrome");
    h->app().doDepCertChooseBrowser();
    auto* sheet = activeSheet<DepCertWindowController>();
    QVERIFY(sheet);
    QCOMPARE(chosen(sheet), QString("NYN"));
    click(button(sheet, "imgBtnFireFox"));
    click(button(sheet, "imgBtnChrome"));
    button(sheet, "imgBtnFireFox")->toggle();  // as a screen reader does it: no click
    QCOMPARE(chosen(sheet), QString("NYN"));
    click(control<QPushButton>(sheet, "btnOK"));
    QCOMPARE(browsersOpened(*h), QStringList{kChrome});
    QVERIFY(h->alerts().texts().isEmpty());
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
        {"ALL", kPassword, {kChrome, kFirefox}, {notice}},
        {"Chrome64", kPassword, {}, {notice, failed}},  // nothing preselected: an empty list fails
        {"DEFAULT", "wrong", {}, {notice, failed}},
    };
    for (const auto& c : cases) {
      auto h = harness("N", c.selectedBrowser);
      h->app().getKARVlib()->setCurrentPfxFilePwd(c.password.toStdString());
      h->app().doDepCertChooseBrowser();
      QVERIFY(!activeSheet<DepCertWindowController>());
      QCOMPARE(browsersOpened(*h), c.opened);
      QCOMPARE(h->alerts().texts(), c.messages);
    }
  }

  void installationFromTheMainWindow() {
    QTemporaryDir data;
    AppHarness h(data.path().toStdString());
    QVERIFY(h.logIn(demo::kExpiring));
    h.alerts().clear();
    click(h.app().ui()->btnDepCert);
    auto* load = activeSheet<LoadPfxWindowController>();
    QVERIFY(load);
    click(control<QPushButton>(load, "btnCancel"));
    QCOMPARE(h.alerts().texts(), QStringList{"使用者按下取消鍵，無法進行瀏覽器憑證安裝"});

    // Only the file of the gateway's last active certificate passes: a
    // stand-in with the user's CN fails on the serial.
    h.alerts().clear();
    click(h.app().ui()->btnDepCert);
    load = activeSheet<LoadPfxWindowController>();
    const QString demoPfx = demoPfxPath(h, demo::kExpiring);
    for (const auto& [path, pwd] :
         {std::pair{pfx_, kPassword}, std::pair{demoPfx, QString(karv::gateway::kDemoPfxPassword)}}) {
      h.fileChooser().chooseNext(path);
      click(control<QPushButton>(load, "btnBrowseFile"));
      confirmLoadPfx(load, pwd);
    }
    QCOMPARE(h.alerts().texts(), QStringList{"錯誤的憑證檔(憑證序號錯誤)，請重新選擇憑證"});
    auto* choice = activeSheet<DepCertWindowController>();
    QVERIFY(choice);
    QCOMPARE(QString::fromStdString(h.app().getKARVlib()->getCurrentPfxFilePath().value_or("")), demoPfx);
    click(control<QPushButton>(choice, "btnOK"));  // the default browser is preselected
    QCOMPARE(browsersOpened(h), QStringList{kChrome});
    QCOMPARE(h.alerts().texts().size(), 1);
  }

  void removalFromTheMainWindowIsSilent() {
    AppHarness h;
    QVERIFY(h.logIn(demo::kExpiring));
    h.alerts().clear();
    QVERIFY(h.app().ui()->btnRmvDepCert->isEnabled());
    click(h.app().ui()->btnRmvDepCert);
    QCOMPARE(browsersOpened(h), (QStringList{kChrome, kFirefox}));
    QVERIFY(h.alerts().texts().isEmpty());
    QFile page(h.desktop().openedInBrowsers.first().second.mid(7));
    QVERIFY(page.open(QIODevice::ReadOnly));
    QVERIFY(page.readAll().contains("\"opType\":\"remove\",\n\"cn\":\"D220003245-01\",\n\"issuer\":\"CN=KARV"));
    QCOMPARE(h.app().doRmvDepCert("D220003245-01"), 0);
  }
};

QTEST_MAIN(DeployTest)
#include "deploy_test.moc"
