#include "GuiTestSupport.h"

#include <QDir>
#include <QEvent>
#include <QFile>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "KarvBuildConfig.h"
#include "app/KARVMask.h"
#include "crypto/RSAUtility.h"
#include "system/Log.h"
#include "ui_MainWindow.h"

namespace karv::test {

int ScriptedAlertPresenter::present(const Alert& alert) {
  shown_.append({alert.style, alert.title, alert.text, alert.buttons});
  if (onPresent) onPresent();
  if (const auto byText = answersByText_.constFind(alert.text); byText != answersByText_.constEnd()) return *byText;
  return answers_.isEmpty() ? 1000 : answers_.dequeue();
}

QStringList ScriptedAlertPresenter::texts() const {
  QStringList list;
  for (const auto& s : shown_) list << s.text;
  return list;
}

AppHarness::AppHarness(Scheme scheme, bool ownHome) {
  if (ownHome) {
    home_.emplace();
    homeEnv_.emplace("HOME", home_->path.string());
  }
  auto options = gateway::GatewayOptions::fromBuild();
  options.dataDir = gatewayData_.path.string();
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
    services.makeProtocolClient = [ep = endpoint(), factory = clientFactory_] { return factory(ep); };
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

bool AppHarness::logIn(const DemoUserRef& user, const std::optional<QString>& pwd) {
  launch();
  for (const char* offer : {"直接開始憑證申請??", "您的憑證申請操作未完成，繼續進行憑證申請??",
                            "您的憑證即將到期, 直接進行憑證更新??", "您的憑證更新操作尚未完成, 繼續進行憑證更新??"})
    if (!alerts_->answersByText_.contains(offer)) alerts_->answerFor(offer, 1001);
  Ui::MainWindow& ui = *app().ui();
  click(ui.isId);
  typeInto(ui.txtUserIdNo, QString::fromUtf8(user.idno));
  typeInto(ui.txtSecureLoginPwd, pwd.value_or(QString::fromUtf8(user.pwd)));
  click(ui.btnLogin);
  return app().isUserLogin();
}

int AppHarness::requestCount(const std::string& api) const { return int(requestsOf(*gateway_, api).size()); }

std::optional<gateway::RecordedRequest> AppHarness::lastRequest(const std::string& api) const {
  const auto sent = requestsOf(*gateway_, api);
  return sent.empty() ? std::nullopt : std::optional(sent.back());
}

std::optional<gateway::Outbox::Message> AppHarness::lastOutboxMessage() const {
  const auto messages = gateway_->outboxMessages();
  return messages.empty() ? std::nullopt : std::optional(messages.back());
}

QString AppHarness::demoPfx(const DemoUserRef& user) const {
  return QString::fromStdString(gateway::demoPfxPath(gatewayData_.path.string(), user.idno));
}

QString AppHarness::copyDemoPfx(const DemoUserRef& user, const QString& relative) {
  const QString target = path(relative);
  QDir().mkpath(QFileInfo(target).path());
  QFile::copy(demoPfx(user), target);
  return target;
}

bool AppHarness::showsOnly(const QString& message, QDialog* dialog) {
  const bool ok = alerts_->texts() == QStringList{message} && alerts_->shown().first().title == "錯誤" &&
                  alerts_->shown().first().style == app::AlertPresenter::Style::ApplicationModal &&
                  dialog->isVisible() && codes.isEmpty();
  alerts_->clear();
  return ok;
}

void typeInto(QLineEdit* field, const QString& text) {
  field->setFocus();
  field->selectAll();
  QTest::keyClick(field, Qt::Key_Backspace);
  // Text beyond ASCII comes from an input method, as one insertion.
  if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 128; }))
    QTest::keyClicks(field, text);
  else
    field->insert(text);
}

void click(QAbstractButton* button) {
  // Radio buttons and check boxes take clicks on their indicator and text
  // only, which may end short of the middle of a wide control.
  const QPoint at =
      button->isCheckable() ? QPoint(qMin(8, button->width() / 2), button->height() / 2) : button->rect().center();
  QTest::mouseClick(button, Qt::LeftButton, {}, at);
}

bool fillIn(std::initializer_list<std::pair<const char*, QString>> fields, const char* button) {
  QDialog* sheet = activeSheet();
  auto* press = control<QAbstractButton>(sheet, button);
  for (const auto& field : fields)
    if (!control<QLineEdit>(sheet, field.first)) return false;
  if (!press) return false;
  for (const auto& [name, text] : fields) typeInto(control<QLineEdit>(sheet, name), text);
  click(press);
  return true;
}

bool answerIdentity(const QString& birth, const char* choice) {
  if (auto* radio = *choice ? control<QRadioButton>(activeSheet(), choice) : nullptr) click(radio);
  return fillIn({{"txtUserBirth", birth}}, "btnOK");
}

bool submitChange(const QString& oldPwd, const QString& newPwd, const QString& confirm) {
  return fillIn(
      {{"txtUserBtsLoginOldPwd", oldPwd}, {"txtUserBtsLoginNewPwd", newPwd}, {"txtUserBtsLoginNewPwdConfirm", confirm}},
      "btnOK");
}

bool enterCode(const QString& code) { return fillIn({{"authCode", code}}, "btnOK"); }

bool verifyIdentity(AppHarness& h, QAbstractButton* button, const DemoUserRef& user, const char* choice) {
  const size_t sentBefore = h.gateway().outboxMessages().size();
  click(button);
  return answerIdentity(user.birth, choice) && h.gateway().outboxMessages().size() > sentBefore &&
         enterCode(QString::fromStdString(h.lastOutboxMessage()->code));
}

bool answerAgreement(bool agree) {
  if (auto* box = agree ? control<QAbstractButton>(activeSheet(), "chkAgree") : nullptr) click(box);
  return fillIn({}, agree ? "btnNextStep" : "btnCancel");
}

bool confirmSavePfx(const QString& pwd, const std::optional<QString>& confirm) {
  return fillIn({{"txtPfxPwd", pwd}, {"txtPfxPwdCfm", confirm.value_or(pwd)}}, "btnOK");
}

bool confirmLoadPfx(AppHarness& h, const std::optional<QString>& path, const QString& pwd) {
  if (auto* browse = path ? control<QAbstractButton>(activeSheet(), "btnBrowseFile") : nullptr) {
    h.fileChooser().chooseNext(*path);
    click(browse);
  }
  return fillIn({{"txtPfxFilePwd", pwd}}, "btnOk");
}

bool confirmChgPfxPwd(const QString& oldPwd, const QString& newPwd, const std::optional<QString>& confirm) {
  return fillIn({{"txtOldPwd", oldPwd}, {"txtNewPwd", newPwd}, {"txtNewPwdCfm", confirm.value_or(newPwd)}}, "btnOK");
}

FlowRecorder::FlowRecorder(AppHarness& h) : h_(h) {
  connect(h.app().mask(), &app::KARVMask::promptShown, this, [this](const QString& prompt) {
    if (!prompt.isEmpty()) events << "overlay:" + prompt;
  });
  h.alerts().onPresent = [this] { events << "alert:" + h_.alerts().shown().last().text; };
  qApp->installEventFilter(this);
}

FlowRecorder::~FlowRecorder() {
  qApp->removeEventFilter(this);
  h_.alerts().onPresent = nullptr;
}

bool FlowRecorder::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Show && qobject_cast<app::SheetDialog*>(watched))
    events << "dialog:" + QString::fromLatin1(watched->metaObject()->className()).section("::", -1);
  return false;
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

QStringList sentValues(const std::vector<gateway::RecordedRequest>& requests) {
  QStringList values;
  for (const auto& request : requests) {
    for (const QString& field : QString::fromStdString(request.body).split('&', Qt::SkipEmptyParts)) {
      const QString value = field.section('=', 1);
      if (!value.isEmpty()) values << value << QUrl::fromPercentEncoding(value.toLatin1());
    }
  }
  return values;
}

QString leakingLine(const QStringList& lines, QStringList secrets) {
  secrets.removeAll(QString());
  const QRegularExpression base64Run("[A-Za-z0-9+/=]{41,}");
  const QRegularExpression hexRun("[0-9A-Fa-f]{65,}");
  for (const QString& line : lines) {
    const bool leaks = std::any_of(secrets.begin(), secrets.end(), [&](const QString& s) { return line.contains(s); });
    if (leaks || base64Run.match(line).hasMatch() || hexRun.match(line).hasMatch()) return line;
  }
  return {};
}

QByteArray bytesOf(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

ToolResult openssl(std::vector<std::string> args) {
  args.insert(args.begin(), "openssl");
  return runTool(args);
}

StringMap certInfoOf(const QString& path, const QString& pwd) {
  StringMap info;
  (void)RSAUtility().loadPfx(path.toStdString(), pwd.toStdString(), info);
  return info;
}

PfxByOpenssl readPfxWithOpenssl(const QString& path, const QString& pwd, const std::string& caPem) {
  PfxByOpenssl found;
  QTemporaryDir dir;
  const std::string pem = dir.filePath("user.pem").toStdString();
  found.opened = openssl({"pkcs12", "-in", path.toStdString(), "-passin", "pass:" + pwd.toStdString(), "-nodes",
                          "-clcerts", "-out", pem})
                     .exitCode == 0;
  if (!found.opened) return found;
  const QString serial = QString::fromStdString(openssl({"x509", "-in", pem, "-noout", "-serial"}).output);
  found.serial = serial.trimmed().section('=', 1).remove(QRegularExpression("^0+"));
  found.certPublicKey = openssl({"x509", "-in", pem, "-noout", "-pubkey"}).output;
  found.keyPublicKey = openssl({"pkey", "-in", pem, "-pubout"}).output;
  found.friendlyName = QRegularExpression("friendlyName: (.*)").match(bytesOf(dir.filePath("user.pem"))).captured(1);
  if (!caPem.empty()) {
    const std::string ca = dir.filePath("ca.pem").toStdString();
    writeText(ca, caPem);
    found.chainsToCa = openssl({"verify", "-CAfile", ca, pem}).exitCode == 0;
  }
  return found;
}

std::string publicKeyOfCsr(const std::string& csr, const QString& folder) {
  const std::string file = (folder + "/request.pem").toStdString();
  writeText(file, "-----BEGIN CERTIFICATE REQUEST-----\n" + csr + "-----END CERTIFICATE REQUEST-----\n");
  return openssl({"req", "-in", file, "-noout", "-pubkey"}).output;
}

bool makeOtherPfx(const QString& path, const std::string& cn, const QString& pwd) {
  QTemporaryDir dir;
  const std::string key = dir.filePath("other.key").toStdString(), pem = dir.filePath("other.pem").toStdString();
  return openssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", pem, "-subj",
                  "/CN=" + cn + "/C=TW", "-days", "30"})
                 .exitCode == 0 &&
         openssl({"pkcs12", "-export", "-in", pem, "-inkey", key, "-out", path.toStdString(), "-passout",
                  "pass:" + pwd.toStdString()})
                 .exitCode == 0;
}

QStringList tableCells(const app::KARVDGDataSource* ds) {
  QStringList texts;
  for (int row = 0; ds && row < ds->numberOfRowsInTableView(); ++row)
    texts << ds->objectValue("Column1", row).value_or("") + "=" + ds->objectValue("Column2", row).value_or("");
  return texts;
}

}  // namespace karv::test
