// The main window from start-up: the version check and the client update,
// messages, the overlay, and the window alive while the gateway answers slowly
// (each check then runs from a timer queued before the click).
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFontDatabase>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>
#include <future>

#include "GuiTestSupport.h"
#include "KarvBuildConfig.h"
#include "app/ChineseFont.h"
#include "app/KARVMask.h"
#include "app/ProcessHardening.h"
#include "app/dialogs/AuthCodeWindowController.h"
#include "ui_MainWindow.h"

using namespace karv::test;
using karv::gateway::Fault;
using Style = karv::app::AlertPresenter::Style;

namespace {
const QString kOutdated = "您目前使用的用戶端軟體版本過舊，將為您自動進行軟體更新";
const QString kDownloaded = "新版用戶端軟體安裝檔下載完成!!\n\n接下來請按照系統指引安裝新用戶端軟體";
const QString kDownloadFailed = "檔案下載失敗，請稍後再重新嘗試檔案更新";
constexpr int kSlowMs = 1500;

// A protocol client whose version check waits until the test lets it go.
class HeldVersionCheck : public karv::KARVLib {
 public:
  HeldVersionCheck(karv::GatewayEndpoint endpoint, std::shared_future<void> go)
      : KARVLib(std::move(endpoint)), go_(std::move(go)) {}
  int32_t versionCheck(std::optional<std::string>& errMsg) override {
    go_.wait();
    return KARVLib::versionCheck(errMsg);
  }

 private:
  std::shared_future<void> go_;
};
}  // namespace

class WindowTest : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase() { QCoreApplication::setApplicationName("KARV"); }

  void acceptedVersionLeavesLoginWindowUsable() {
    AppHarness h;
    h.launch();
    auto& app = h.app();
    auto* ui = app.ui();
    QVERIFY(h.alerts().shown().isEmpty() && h.terminations() == 0 && app.window()->isVisible());
    QVERIFY(ui->isAccount->isChecked() && ui->txtUserAccountNo->isVisible() && !ui->txtUserIdNo->isVisible());
    for (QPushButton* b : {ui->btnApplyCert, ui->btnRenewCert, ui->btnRevokeCert, ui->btnQrySvrCertInfo,
                           ui->btnQryClntCertInfo, ui->btnChgPfxPwd, ui->btnDepCert, ui->btnRmvDepCert})
      QVERIFY(!b->isEnabled());
    // One request: the version check, without a session.
    const auto sent = h.gateway().requests();
    QVERIFY(sent.size() == 1 && sent[0].api == "checkVersion" && !sent[0].sessionId);

    QTest::mouseClick(ui->openURL, Qt::LeftButton);
    QCOMPARE(h.desktop().openedUrls, QList<QUrl>{QUrl(QString::fromUtf8(karv::build::kHomePageUrl))});
    // Closing the window quits without a logout.
    QVERIFY(app.window()->testAttribute(Qt::WA_QuitOnClose) && app.window()->close());
    QCOMPARE(h.requestCount("doLogout"), 0);

    // The version asked ahead, as the program does, is asked once: an answer
    // already there is taken without the busy overlay; one still on its way
    // is waited for under it.
    for (const bool answeredFirst : {true, false})
      for (const bool accepted : {true, false}) {
        AppHarness ahead;
        ahead.gateway().setVersionAccepted(accepted);
        std::promise<void> go;
        ahead.setClientFactory([held = go.get_future().share()](const karv::GatewayEndpoint& ep) {
          return std::make_unique<HeldVersionCheck>(ep, held);
        });
        const std::shared_future<int32_t> asked = ahead.askVersionCheckAhead();
        if (answeredFirst) {
          go.set_value();
          asked.wait();
        } else {
          QTimer::singleShot(0, [&go] { go.set_value(); });
        }
        ahead.launch();
        QCOMPARE(ahead.requestCount("checkVersion"), 1);
        QCOMPARE(ahead.terminations(), accepted ? 0 : 1);
        // (A refused version goes on to the update, which has an overlay of its own.)
        if (accepted) QCOMPARE(ahead.app().mask() != nullptr, !answeredFirst);
      }
  }

  void traditionalChineseFaceIsPreferred() {
    const QFont before = QApplication::font();
    QString expected;
    for (const char* family : {"Noto Sans CJK TC", "Noto Sans TC", "WenQuanYi Zen Hei", "AR PL UMing TW"})
      if (expected.isEmpty() && QFontDatabase::hasFamily(family)) expected = family;
    QVERIFY2(!expected.isEmpty(), "no Traditional Chinese font installed");
    karv::app::preferTraditionalChineseFont();
    // Whatever the locale, Han text is drawn with the Traditional Chinese face.
    QCOMPARE(QFontInfo(QApplication::font()).family(), expected);
    QApplication::setFont(before);
  }

  void unreachableGatewayNamesHostAndQuits() {
    AppHarness h;
    const QString origin = QString::fromStdString(h.gateway().origin());
    h.gateway().stop();
    h.launch();
    QCOMPARE(h.alerts().texts(), QStringList{QString("與伺服器(%1)間網路連線發生錯誤!!").arg(origin)});
    QVERIFY(h.terminations() == 1 && !h.app().window()->isVisible());
  }

  // A refused version downloads the installer (https and .deb only) and quits.
  void clientUpdate() {
    struct Case {
      bool https;
      std::string refusal;  // rtnCode of checkVersion, "" the gateway's own refusal
      std::string path;     // of the download address, "" the gateway's own
      bool opens;
      QStringList messages;
    };
    const QString cannotStart = "軟體更新失敗，無法啟動新用戶端軟體安裝程序";
    const Case cases[] = {
        {true, "", "", true, {kOutdated, kDownloaded}},
        {true, "7", "", true, {kOutdated, kDownloaded}},
        {true, "", "", false, {kOutdated, kDownloaded, cannotStart}},
        {true, "", "/no-such-folder/KARV.deb", true, {kOutdated, kDownloadFailed}},
        {true, "", "/RACGW/download/KARV.sh", true, {kOutdated, kDownloadFailed}},
        {false, "", "", true, {kOutdated, kDownloadFailed}},
    };
    for (const Case& c : cases) {
      AppHarness h(c.https ? AppHarness::Scheme::Https : AppHarness::Scheme::Http);
      const QString target = h.path("Downloads/KARV.deb");
      writeText(target.toStdString(), "an older package");
      if (c.refusal.empty())
        h.gateway().setVersionAccepted(false);
      else
        h.gateway().setFault("checkVersion", Fault::reply(c.refusal, "停用"));
      if (!c.path.empty()) h.gateway().setConfigValue("app.mac.dlUrl", h.gateway().origin() + c.path);
      h.desktop().openFileSucceeds = c.opens;
      h.launch();
      QCOMPARE(h.alerts().texts(), c.messages);
      QCOMPARE(h.terminations(), 1);
      const bool downloaded = c.messages[1] == kDownloaded;
      QCOMPARE(h.desktop().openedFiles, downloaded ? QStringList{target} : QStringList{});
      QCOMPARE(bytesOf(target) == "an older package", !downloaded);
    }
  }

  // Reports by code: the table's text, a made-up one for unknown codes, the gateway's own text first.
  void reportsByCode() {
    AppHarness h;
    auto& app = h.app();
    using karv::KARVLib;
    app.showErrMsg(0);
    app.showErrMsg(0, std::string());
    app.showErrMsg(KARVLib::kLoginRejected);
    app.showErrMsg(12345);
    app.showErrMsg(KARVLib::kLoginRejected, std::nullopt);
    app.showErrMsg(KARVLib::kLoginRejected, std::string("閘道訊息"));
    const QString tableText = QString::fromStdString(app.getKARVlib()->getErrMsg(KARVLib::kLoginRejected));
    QVERIFY(tableText != QString::number(KARVLib::kLoginRejected));
    QCOMPARE(h.alerts().texts(), (QStringList{tableText, "不明的錯誤(錯誤代碼 12345)", tableText, "閘道訊息"}));
    QCOMPARE(h.alerts().shown().first().title, QString("提示訊息"));
  }

  // The real message boxes: the answer is 1000 + the button's position, and
  // texts from the gateway show as plain text, never markup or a link.
  void realMessageBoxes() {
    QWidget window;
    window.show();
    karv::app::QtAlertPresenter presenter;
    const QString hostile = "<a href=\"file:///etc/passwd\">請按此</a><img src=\"https://x/\">";
    QStringList shown;
    bool plain = true;
    Qt::WindowModality modality = Qt::NonModal;
    auto answer = [&](const QString& label) {
      QTimer::singleShot(0, [&, label] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        modality = box->windowModality();
        for (QLabel* text : box->findChildren<QLabel*>()) {
          if (text->text().isEmpty()) continue;
          shown << text->text();
          plain = plain && text->textFormat() == Qt::PlainText && !text->openExternalLinks();
        }
        for (QAbstractButton* b : box->buttons())
          if (b->text() == label) b->click();
      });
    };
    answer("取消");
    QCOMPARE(presenter.present({Style::Sheet, &window, "確認資訊", hostile, {"好", "取消"}}), 1001);
    QCOMPARE(modality, Qt::WindowModal);
    answer("確定");
    QCOMPARE(presenter.present({Style::ApplicationModal, nullptr, "錯誤", hostile, {"確定"}}), 1000);
    QCOMPARE(modality, Qt::ApplicationModal);
    QVERIFY(shown.count(hostile) == 2 && plain);
  }

  void overlayCoversAndSwallowsInput() {
    AppHarness h;
    auto& app = h.app();
    app.hideMask();  // before any overlay: nothing happens
    app.window()->show();
    app.showMask("處理中，請稍候");
    auto* mask = app.mask();
    app.showMask("第二段");
    QVERIFY(app.mask() == mask && mask->lblPrompt()->text() == "第二段");
    // A click over the login button lands on the overlay; keys go nowhere.
    auto* login = app.ui()->btnLogin;
    QSignalSpy clicked(login, &QPushButton::clicked);
    QTest::mouseClick(mask, Qt::LeftButton, {}, mask->mapFromGlobal(login->mapToGlobal(login->rect().center())));
    QTest::keyClick(mask, Qt::Key_Tab);
    QTest::keyClick(mask, Qt::Key_Space);
    QVERIFY(clicked.isEmpty() && app.window()->focusWidget() == mask);
    app.showIdle("閒置過久，將於 30 秒後登出");
    QVERIFY(mask->idleMode() && !mask->progressBar()->isVisible() && mask->lblPrompt()->isVisible());
    app.showMask("");
    QVERIFY(!mask->idleMode() && mask->progressBar()->isVisible());
  }

  // Labels filled from the gateway or the file system show their text as it
  // is: markup in a path, a password prompt or a prompt stays text.
  void gatewayAndFileTextStaysText() {
    AppHarness h;
    const QString markup = "<b>x</b><img src=\"file:///etc/passwd\">";
    h.gateway().setConfigValue("pfx.pwd.prompt", markup.toStdString());
    QVERIFY(h.logIn(demo::kAlice));
    auto& app = h.app();
    app.setCurrentPfxFilePath(h.path(markup + ".pfx"));
    QCOMPARE(app.ui()->lblPfxDaysLeft->textFormat(), Qt::PlainText);  // days left, or why none
    const struct {
      std::function<void()> open;
      QStringList labels;  // each shows the markup
    } cases[] = {
        {[&] { app.showMask(markup); }, {"lblPfxFilePath", "lblPrompt"}},
        {[&] { app.showSavePfxWindow("", "", h.handler()); }, {"lblPfxFilePath", "lblPromptMsg"}},
        {[&] { app.showLoadPfxWindow("", "", "", "", h.handler()); }, {"lblPfxFilePath"}},
        {[&] { app.showChgPfxPwdWindow(h.handler()); }, {"lblPfxFilePath", "lblPwdRulePrompt"}},
    };
    for (const auto& c : cases) {
      c.open();
      QDialog* sheet = activeSheet();
      for (const QString& name : c.labels) {
        const auto* label = (sheet ? static_cast<QWidget*>(sheet) : app.window())->findChild<QLabel*>(name);
        QVERIFY2(label && label->textFormat() == Qt::PlainText && label->text().contains(markup), qPrintable(name));
      }
      app.hideMask();
      if (sheet) sheet->reject();
    }
  }

  // Checked in a child, so that this test process keeps its core dumps.
  void noCoreDumps() {
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) ::_exit(karv::app::disableCoreDumps() && ::prctl(PR_GET_DUMPABLE) == 0 ? 0 : 1);
    int status = -1;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    QCOMPARE(::prctl(PR_GET_DUMPABLE), 1);
  }

  void slowLoginDropsInputRefusesCloseKeepsOrder() {
    AppHarness h;
    h.launch();
    auto& app = h.app();
    Ui::MainWindow* ui = app.ui();
    h.gateway().setFault("doBtsLogin", Fault::slow(kSlowMs));
    QStringList overlayAtAlerts;
    h.alerts().onPresent = [&] { overlayAtAlerts << (app.mask()->isVisible() ? "overlay" : "-"); };
    bool busyWithOverlay = false;
    bool closed = true;
    QString pwdDuringCall;  // the field is emptied once the login succeeds
    QTimer::singleShot(0, [&] {
      // The login's call is under way: its overlay shows.
      busyWithOverlay = app.mask() && app.mask()->isVisible() && app.mask()->progressBar()->isVisible();
      // Each would start something if it got through: a second login
      // (Enter), a generated ID number, a changed password.
      QTest::keyClick(ui->txtUserIdNo, Qt::Key_Return);
      QTest::mouseClick(ui->btnCrtIdno, Qt::LeftButton);
      QTest::keyClicks(ui->txtSecureLoginPwd, "xyz");
      pwdDuringCall = ui->txtSecureLoginPwd->text();
      closed = app.window()->close();
    });
    QVERIFY(h.logIn(demo::kAlice));

    QVERIFY(busyWithOverlay && !closed && app.window()->isVisible());
    QCOMPARE(h.requestCount("doBtsLogin"), 1);
    QCOMPARE(ui->txtUserIdNo->text(), QString(demo::kAlice.idno));
    QCOMPARE(pwdDuringCall, QString(demo::kAlice.pwd));
    QCOMPARE(h.alerts().texts(), (QStringList{"登入作業已完成", "直接開始憑證申請??"}));
    QCOMPARE(overlayAtAlerts, (QStringList{"-", "-"}));  // the call's overlay is gone before each message
    QVERIFY(app.window()->close());                      // once the call is over, the window closes

    // A slow code delivery shows its own prompt on the overlay.
    h.alerts().onPresent = nullptr;  // it reads the application that goes now
    h.relaunch();
    QVERIFY(h.logIn(demo::kAlice));
    h.gateway().setFault("sendAuthCode", Fault::slow(kSlowMs));
    click(h.app().ui()->btnApplyCert);
    QString prompt;
    QTimer::singleShot(0, [&] {
      if (h.app().mask()->isVisible()) prompt = h.app().mask()->lblPrompt()->text();
    });
    QVERIFY(answerIdentity(demo::kAlice.birth, "useMail"));
    QCOMPARE(prompt, QString("正在寄送認證碼..."));
    QVERIFY(!h.app().mask()->isVisible() && activeSheet<karv::app::AuthCodeWindowController>());
  }

  void sessionTimersWaitForSlowCallThenRunOnce() {
    AppHarness h;
    QVERIFY(h.logIn(demo::kAlice));
    auto& app = h.app();
    app.checkIdle();  // starts the idle count
    h.clock().advanceMs(571'000);
    h.gateway().setFault("getFnStatus", Fault::slow(kSlowMs));
    h.gateway().clearRequests();
    LogRecorder log;
    int aliveDuring = -1;
    int checksDuring = -1;
    QTimer::singleShot(0, [&] {
      // Both timers fall due now; neither may reach the protocol client.
      QMetaObject::invokeMethod(&app.sessionTimers().keepAliveTimer(), "timeout");
      QMetaObject::invokeMethod(&app.sessionTimers().idleTimer(), "timeout");
      QMetaObject::invokeMethod(&app.sessionTimers().keepAliveTimer(), "timeout");
      aliveDuring = h.requestCount("iAmAlive");
      checksDuring = int(log.linesWith("checked!!").size());
    });
    QVERIFY(app.setBtnStatus());

    QVERIFY(aliveDuring == 0 && checksDuring == 0);
    const auto requests = h.gateway().requests();  // the slow call, then one keep-alive
    QVERIFY(requests.size() == 2 && requests[0].api == "getFnStatus" && requests[1].api == "iAmAlive");
    QCOMPARE(log.linesWith("checked!!").size(), 1);
    QVERIFY(app.mask()->isVisible() && app.mask()->idleMode());  // the countdown of the idle check
  }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
