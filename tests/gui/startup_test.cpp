// Start-up, version check, messages and the overlay, headless.
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFontDatabase>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QSignalSpy>
#include <QtTest>
#include <future>

#include "ChineseFont.h"
#include "GuiTestSupport.h"
#include "KARVMask.h"
#include "KarvBuildConfig.h"
#include "ProcessHardening.h"
#include "ui_MainWindow.h"

using karv::test::AppHarness;
using Style = karv::app::AlertPresenter::Style;

namespace {
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

class StartupTest : public QObject {
  Q_OBJECT
 private slots:
  void acceptedVersionLeavesLoginWindowUsable() {
    AppHarness h;
    auto& app = h.app();
    app.applicationDidFinishLaunching();
    QCOMPARE(h.terminations(), 0);
    QVERIFY(h.alerts().shown().isEmpty());
    QVERIFY(app.window()->isVisible());
    QVERIFY(app.window()->centralWidget()->isEnabled());
    QCOMPARE(app.currentLoginType(), QString("1"));
    auto* ui = app.ui();
    // Account login layout; ID field hidden; certificate buttons disabled.
    QVERIFY(ui->isAccount->isChecked());
    QVERIFY(ui->txtUsrAgcode->isVisible() && ui->txtUserAccountNo->isVisible() && ui->accountText->isVisible());
    QVERIFY(!ui->txtUserIdNo->isVisible() && !ui->IdText->isVisible());
    QVERIFY(ui->txtSecureLoginPwd->isVisible() && !ui->txtLoginPwd->isVisible());
    QCOMPARE(ui->txtUsrAgcode->count(), 8);
    for (QPushButton* b : {ui->btnApplyCert, ui->btnRenewCert, ui->btnRevokeCert, ui->btnQrySvrCertInfo,
                           ui->btnQryClntCertInfo, ui->btnChgPfxPwd, ui->btnDepCert, ui->btnRmvDepCert})
      QVERIFY(!b->isEnabled());
    QCOMPARE(ui->btnLogin->text(), QString("登入"));
    // The ID field is hidden in the account layout, so the account number field takes the focus.
    QCOMPARE(app.window()->focusWidget(), ui->txtUserAccountNo);
    // One request went out: the version check, in the public-key regime.
    const auto sent = h.gateway().requests();
    QCOMPARE(sent.size(), size_t(1));
    QCOMPARE(QString::fromStdString(sent[0].api), QString("checkVersion"));
    QVERIFY(!sent[0].sessionId.has_value());

    QTest::mouseClick(ui->openURL, Qt::LeftButton);
    QCOMPARE(h.desktop().openedUrls, QList<QUrl>{QUrl(QString::fromUtf8(karv::build::kHomePageUrl))});
    QVERIFY(h.desktop().openedUrls.first().scheme() == "https");
  }

  void versionAskedAheadIsAskedOnce() {
    // An answer already there is taken without the busy overlay; one still on
    // its way is waited for under it.
    for (const bool answeredFirst : {true, false})
      for (const bool accepted : {true, false}) {
        AppHarness h;
        h.gateway().setVersionAccepted(accepted);
        std::promise<void> go;
        h.setClientFactory([held = go.get_future().share()](const karv::GatewayEndpoint& ep) {
          return std::make_unique<HeldVersionCheck>(ep, held);
        });
        const std::shared_future<int32_t> ahead = h.askVersionCheckAhead();
        if (answeredFirst) {
          go.set_value();
          ahead.wait();
        } else {
          QTimer::singleShot(0, [&go] { go.set_value(); });
        }
        h.app().applicationDidFinishLaunching();
        QCOMPARE(h.requestCount("checkVersion"), 1);
        QCOMPARE(h.terminations(), accepted ? 0 : 1);
        QCOMPARE(h.alerts().texts().isEmpty(), accepted);
        // (A refused version goes on to the update, which has an overlay of its own.)
        if (accepted) QCOMPARE(h.app().mask() != nullptr, !answeredFirst);
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
    h.app().applicationDidFinishLaunching();
    QCOMPARE(h.alerts().texts(), QStringList{QString("與伺服器(%1)間網路連線發生錯誤!!").arg(origin)});
    QCOMPARE(h.alerts().shown().first().title, QString("提示訊息"));
    QCOMPARE(h.alerts().shown().first().buttons, QStringList{"好"});
    QCOMPARE(h.terminations(), 1);
    QVERIFY(!h.app().window()->isVisible());
  }

  void refusedVersionRunsUpdateAndQuits() {
    AppHarness h;
    h.gateway().setVersionAccepted(false);
    h.app().applicationDidFinishLaunching();
    QVERIFY(!h.alerts().texts().isEmpty());
    QCOMPARE(h.alerts().texts().first(), QString("您目前使用的用戶端軟體版本過舊，將為您自動進行軟體更新"));
    QCOMPARE(h.terminations(), 1);
  }

  void otherRefusalCodesAlsoCountAsOutdated() {
    AppHarness h;
    h.gateway().setFault("checkVersion", karv::gateway::Fault::reply("7", "停用"));
    h.app().applicationDidFinishLaunching();
    QCOMPARE(h.alerts().texts().first(), QString("您目前使用的用戶端軟體版本過舊，將為您自動進行軟體更新"));
    QCOMPARE(h.terminations(), 1);
  }

  void closingWindowQuitsWithoutLogout() {
    AppHarness h;
    auto& app = h.app();
    app.applicationDidFinishLaunching();
    QVERIFY(karv::app::AppDelegate::applicationShouldTerminateAfterLastWindowClosed());
    // Qt quits when the last window with WA_QuitOnClose closes.
    QVERIFY(QGuiApplication::quitOnLastWindowClosed());
    QVERIFY(app.window()->testAttribute(Qt::WA_QuitOnClose));
    QVERIFY(app.window()->close());
    QVERIFY(!app.window()->isVisible());
    for (const auto& r : h.gateway().requests()) QVERIFY(r.api != "doLogout");
  }

  void getKARVlibIsOneInstanceKeepingSession() {
    AppHarness h;
    auto* first = h.app().getKARVlib();
    first->setSessionId("S1");
    QCOMPARE(h.app().getKARVlib(), first);
    QCOMPARE(h.app().getKARVlib()->getSessionId(), std::optional<std::string>("S1"));
  }

  void confirmationsAndDialogErrors() {
    AppHarness h;
    auto& app = h.app();
    h.alerts().answerNext(1000);
    QVERIFY(app.doConfirm("確定要登出嗎?"));
    h.alerts().answerNext(1001);
    QVERIFY(!app.doConfirm("確定要登出嗎?"));
    app.showDialogError("請輸入驗證碼");
    const auto& shown = h.alerts().shown();
    QCOMPARE(shown[0].title, QString("確認資訊"));
    QCOMPARE(shown[0].buttons.first(), QString("好"));
    QCOMPARE(shown[0].style, Style::Sheet);
    QCOMPARE(shown[2].title, QString("錯誤"));
    QCOMPARE(shown[2].buttons, QStringList{"確定"});
    QCOMPARE(shown[2].style, Style::ApplicationModal);
  }

  void realMessageBoxAnswersWithButtonPosition() {
    QWidget window;
    window.show();
    karv::app::QtAlertPresenter presenter;
    auto answer = [](int buttonIndex) {
      QTimer::singleShot(0, [buttonIndex] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        for (QAbstractButton* b : box ? box->buttons() : QList<QAbstractButton*>{})
          if (b->text() == QStringList{"好", "取消"}.at(buttonIndex)) b->click();
      });
    };
    answer(1);
    QCOMPARE(presenter.present({Style::Sheet, &window, "確認資訊", "確定?", {"好", "取消"}}), 1001);
    answer(0);
    QCOMPARE(presenter.present({Style::Sheet, &window, "確認資訊", "確定?", {"好", "取消"}}), 1000);
    QTimer::singleShot(0, [] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        QCOMPARE(box->windowModality(), Qt::ApplicationModal);
        box->buttons().first()->click();
      }
    });
    QCOMPARE(presenter.present({Style::ApplicationModal, nullptr, "錯誤", "請輸入", {"確定"}}), 1000);
  }

  void overlayCoversAndSwallowsInput() {
    AppHarness h;
    auto& app = h.app();
    app.hideMask();  // before any overlay: nothing happens
    QVERIFY(app.mask() == nullptr);
    app.window()->show();
    app.showMask("處理中，請稍候");
    auto* mask = app.mask();
    QVERIFY(mask && mask->isVisible());
    app.showMask("第二段");
    QCOMPARE(app.mask(), mask);  // replaced text, same overlay
    QCOMPARE(mask->lblPrompt()->text(), QString("第二段"));
    QCOMPARE(app.window()->centralWidget()->findChildren<karv::app::KARVMask*>().size(), 1);
    QVERIFY(mask->progressBar()->isVisible() && !mask->idleMode());
    QCOMPARE(mask->geometry(), app.window()->centralWidget()->rect());

    // Whatever lies beneath, a click lands on the overlay.
    auto* login = app.ui()->btnLogin;
    const QPoint inCentral = login->mapTo(app.window()->centralWidget(), login->rect().center());
    QWidget* hit = app.window()->centralWidget()->childAt(inCentral);
    QVERIFY(hit == mask || mask->isAncestorOf(hit));
    QSignalSpy clicked(login, &QPushButton::clicked);
    QTest::mouseClick(mask, Qt::LeftButton, {}, mask->mapFrom(app.window()->centralWidget(), inCentral));
    QTest::keyClick(mask, Qt::Key_Tab);
    QTest::keyClick(mask, Qt::Key_Space);
    QCOMPARE(clicked.count(), 0);
    QCOMPARE(app.window()->focusWidget(), mask);

    app.showIdle("閒置過久，將於 30 秒後登出");
    QVERIFY(mask->idleMode() && !mask->progressBar()->isVisible() && mask->lblPrompt()->isVisible());
    app.showMask("");
    QVERIFY(!mask->idleMode() && mask->progressBar()->isVisible());
    app.hideMask();
    QVERIFY(!mask->isVisible() && !mask->idleMode());
  }

  // The client leaves no core dump (checked in a child, so this test process
  // keeps its own).
  void noCoreDumps() {
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) ::_exit(karv::app::disableCoreDumps() && ::prctl(PR_GET_DUMPABLE) == 0 ? 0 : 1);
    int status = -1;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    QCOMPARE(::prctl(PR_GET_DUMPABLE), 1);
  }
};

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
