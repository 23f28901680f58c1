#include "GuiTestSupport.h"

#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "KarvBuildConfig.h"
#include "Log.h"
#include "UserAuthWindowController.h"
#include "UserChgBtsLoginPwdWindowController.h"
#include "ui_MainWindow.h"

namespace karv::test {

int ScriptedAlertPresenter::present(const Alert& alert) {
  shown_.append({alert.style, alert.title, alert.text, alert.buttons});
  if (onPresent) onPresent();
  if (const auto byText = answersByText_.constFind(alert.text); byText != answersByText_.constEnd()) return *byText;
  return answers_.isEmpty() ? 1000 : answers_.dequeue();
}

void typeInto(QLineEdit* field, const QString& text) {
  field->setFocus();
  field->selectAll();
  QTest::keyClick(field, Qt::Key_Backspace);
  QTest::keyClicks(field, text);
}

void click(QAbstractButton* button) {
  // Radio buttons and check boxes take clicks on their indicator and text
  // only, which may end short of the middle of a wide control.
  const QPoint at =
      button->isCheckable() ? QPoint(qMin(8, button->width() / 2), button->height() / 2) : button->rect().center();
  QTest::mouseClick(button, Qt::LeftButton, {}, at);
}

bool answerIdentity(const QString& birth, const char* choice) {
  auto* sheet = activeSheet<app::UserAuthWindowController>();
  if (!sheet) return false;
  typeInto(control<QLineEdit>(sheet, "txtUserBirth"), birth);
  if (*choice) click(control<QRadioButton>(sheet, choice));
  click(control<QPushButton>(sheet, "btnOK"));
  return true;
}

bool submitChange(const QString& oldPwd, const QString& newPwd, const QString& confirm) {
  auto* sheet = activeSheet<app::UserChgBtsLoginPwdWindowController>();
  if (!sheet) return false;
  typeInto(control<QLineEdit>(sheet, "txtUserBtsLoginOldPwd"), oldPwd);
  typeInto(control<QLineEdit>(sheet, "txtUserBtsLoginNewPwd"), newPwd);
  typeInto(control<QLineEdit>(sheet, "txtUserBtsLoginNewPwdConfirm"), confirm);
  click(control<QPushButton>(sheet, "btnOK"));
  return true;
}

LogRecorder::LogRecorder() {
  setLogSink([this](std::string_view line) {
    const std::lock_guard lock(mutex_);
    lines_ << QString::fromUtf8(line.data(), qsizetype(line.size()));
  });
}

LogRecorder::~LogRecorder() { setLogSink({}); }

QStringList LogRecorder::linesWith(const QString& text) const {
  const std::lock_guard lock(mutex_);
  return lines_.filter(text);
}

QStringList ScriptedAlertPresenter::texts() const {
  QStringList list;
  for (const auto& s : shown_) list << s.text;
  return list;
}

std::optional<QString> ScriptedFileChooser::choose(const Request& request) {
  requests_ << request;
  return answers_.isEmpty() ? std::nullopt : answers_.dequeue();
}

AppHarness::AppHarness(const std::string& gatewayDataDir, Scheme scheme) {
  auto options = gateway::GatewayOptions::fromBuild();
  options.dataDir = gatewayDataDir;
  options.port = 0;
  options.tls = scheme == Scheme::Https;
  options.consoleOutbox = false;
  gateway_ = std::make_unique<gateway::DevGateway>(options);
  if (!gateway_->start()) qFatal("development gateway did not start");
}

AppHarness::~AppHarness() = default;

GatewayEndpoint AppHarness::endpoint() const {
  return GatewayEndpoint{gateway_->baseUrl(), build::kPublicKeyPem, gateway_->options().tls ? build::kExtraCaPem : "",
                         5};
}

app::AppDelegate& AppHarness::app() {
  if (!app_) {
    app::AppServices services;
    const GatewayEndpoint ep = endpoint();
    services.makeProtocolClient = [ep, factory = clientFactory_] { return factory(ep); };
    services.versionCheckAhead = versionCheckAhead_;
    services.alerts = alerts_;
    services.desktop = desktop_;
    services.fileChooser = fileChooser_;
    services.clock = clock_;
    services.terminate = [this] { ++terminations_; };
    app_ = std::make_unique<app::AppDelegate>(services);
  }
  return *app_;
}

void AppHarness::launch() {
  if (!launched_) {
    app().applicationDidFinishLaunching();
    launched_ = true;
  }
}

bool AppHarness::logIn(const DemoUserRef& user, const std::optional<QString>& pwd) {
  app::AppDelegate& a = app();
  launch();
  for (const char* offer : {"直接開始憑證申請??", "您的憑證申請操作未完成，繼續進行憑證申請??",
                            "您的憑證即將到期, 直接進行憑證更新??", "您的憑證更新操作尚未完成, 繼續進行憑證更新??"})
    if (!alerts_->hasAnswerFor(QString::fromUtf8(offer))) alerts_->answerFor(QString::fromUtf8(offer), 1001);
  Ui::MainWindow& ui = *a.ui();
  click(ui.isId);
  typeInto(ui.txtUserIdNo, QString::fromUtf8(user.idno));
  typeInto(ui.txtSecureLoginPwd, pwd.value_or(QString::fromUtf8(user.pwd)));
  click(ui.btnLogin);
  return a.isUserLogin();
}

int AppHarness::requestCount(const std::string& api) const {
  int n = 0;
  for (const auto& r : gateway_->requests()) n += r.api == api ? 1 : 0;
  return n;
}

std::optional<gateway::RecordedRequest> AppHarness::lastRequest(const std::string& api) const {
  const auto requests = gateway_->requests();
  for (auto it = requests.rbegin(); it != requests.rend(); ++it)
    if (it->api == api) return *it;
  return std::nullopt;
}

std::optional<gateway::Outbox::Message> AppHarness::lastOutboxMessage() const {
  const auto messages = gateway_->outboxMessages();
  if (messages.empty()) return std::nullopt;
  return messages.back();
}

void AppHarness::relaunch() {
  app_.reset();
  launched_ = false;
}

}  // namespace karv::test
