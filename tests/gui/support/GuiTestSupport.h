#pragma once
// Driving the real AppDelegate headless against an in-process development
// gateway as a user would, and checking what it wrote and logged.
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QHash>
#include <QLineEdit>
#include <QQueue>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "app/AppDelegate.h"
#include "gateway/DemoSeed.h"
#include "gateway/DevGateway.h"
#include "support/TestFiles.h"
#include "support/TestGateway.h"
#include "support/ToolRunner.h"

namespace karv::test {

inline QString qstr(const std::optional<std::string>& text) { return QString::fromStdString(text.value_or("")); }

// Records every alert and answers by its text, else from a queue (1000 when empty).
class ScriptedAlertPresenter : public app::AlertPresenter {
 public:
  struct Shown {
    Style style;
    QString title;
    QString text;
    QStringList buttons;
  };
  int present(const Alert& alert) override;
  void answerNext(int code) { answers_.enqueue(code); }
  void answerFor(const QString& text, int code) { answersByText_.insert(text, code); }
  [[nodiscard]] const QList<Shown>& shown() const { return shown_; }
  [[nodiscard]] QStringList texts() const;
  void clear() { shown_.clear(); }
  std::function<void()> onPresent;  // runs while the alert waits for its answer

 private:
  friend class AppHarness;
  QList<Shown> shown_;
  QQueue<int> answers_;
  QHash<QString, int> answersByText_;
};

class RecordingDesktop : public app::DesktopServices {
 public:
  bool openUrl(const QUrl& url) override {
    openedUrls << url;
    return true;
  }
  bool openFile(const QString& path) override {
    openedFiles << path;
    return openFileSucceeds;
  }
  bool revealFile(const QString& path) override {
    revealedFiles << path;
    return revealSucceeds;
  }
  bool openUrlWithBrowser(const std::string& bundleId, const std::string& url) override {
    browsers << QString::fromStdString(bundleId);
    browserUrls << QUrl(QString::fromStdString(url));
    return true;
  }

  QList<QUrl> openedUrls;
  QStringList browsers;  // the identifiers of the browsers that opened browserUrls
  QList<QUrl> browserUrls;
  QStringList openedFiles;
  bool openFileSucceeds = true;
  QStringList revealedFiles;
  bool revealSucceeds = true;
};

// Hands back the next scripted path (none: Cancel) and records every request.
class ScriptedFileChooser : public app::FileChooser {
 public:
  std::optional<QString> choose(const Request& request) override {
    requests << request;
    return answers_.isEmpty() ? std::nullopt : answers_.dequeue();
  }
  void chooseNext(const std::optional<QString>& path) { answers_.enqueue(path); }
  QList<Request> requests;

 private:
  QQueue<std::optional<QString>> answers_;
};

class ManualClock : public app::Clock {
 public:
  [[nodiscard]] QDateTime now() const override { return now_; }
  void advanceMs(qint64 ms) { now_ = now_.addMSecs(ms); }
  void set(const QDateTime& at) { now_ = at; }

 private:
  QDateTime now_ = QDateTime(QDate(2026, 1, 5), QTime(9, 0), Qt::UTC);
};

// A gateway on a free loopback port (HTTP, or HTTPS with the build's anchor)
// with a data folder of its own (the demo users' .pfx files among them), and
// an AppDelegate wired to it; HOME is a fresh folder unless told otherwise.
class AppHarness {
 public:
  enum class Scheme { Http, Https };
  explicit AppHarness(Scheme scheme = Scheme::Http, bool ownHome = true);
  ~AppHarness();

  gateway::DevGateway& gateway() { return *gateway_; }
  app::AppDelegate& app();  // made on first use
  ScriptedAlertPresenter& alerts() { return *alerts_; }
  RecordingDesktop& desktop() { return *desktop_; }
  ScriptedFileChooser& fileChooser() { return *fileChooser_; }
  ManualClock& clock() { return *clock_; }
  [[nodiscard]] int terminations() const { return terminations_; }

  void launch() {  // start-up and version check, once
    if (!std::exchange(launched_, true)) app().applicationDidFinishLaunching();
  }
  // Launches and logs in by ID number through the window, declining offers
  // of a pending operation unless the test answered them.
  bool logIn(const DemoUserRef& user, const std::optional<QString>& pwd = std::nullopt);
  void relaunch() {  // the user's next launch: a new application, the same gateway
    app_.reset();
    launched_ = false;
  }
  [[nodiscard]] int requestCount(const std::string& api) const;
  [[nodiscard]] std::optional<gateway::RecordedRequest> lastRequest(const std::string& api) const;
  [[nodiscard]] std::optional<gateway::Outbox::Message> lastOutboxMessage() const;

  // Before app(): other protocol clients; the version asked ahead as the program does.
  using ClientFactory = std::function<std::unique_ptr<KARVLib>(const GatewayEndpoint&)>;
  void setClientFactory(ClientFactory factory) { clientFactory_ = std::move(factory); }
  std::shared_future<int32_t> askVersionCheckAhead() {
    return versionCheckAhead_ = app::askVersionCheckAhead(clientFactory_(endpoint()));
  }

  [[nodiscard]] QString path(const QString& relative) const { return QDir::home().filePath(relative); }
  [[nodiscard]] QString currentPath() { return qstr(app().getKARVlib()->getCurrentPfxFilePath()); }
  [[nodiscard]] QString currentPwd() { return qstr(app().getKARVlib()->getCurrentPfxFilePwd()); }
  // The gateway's .pfx of a demo user with a certificate (password kDemoPwd), and a copy in HOME.
  [[nodiscard]] QString demoPfx(const DemoUserRef& user) const;
  QString copyDemoPfx(const DemoUserRef& user, const QString& relative);

  // Result codes of the sheets opened with handler(), whatever else they hand back.
  QList<int> codes;
  struct CodeRecorder {
    QList<int>* codes;
    template <class... Result>
    void operator()(int code, const Result&...) const {
      *codes << code;
    }
  };
  CodeRecorder handler() { return {&codes}; }
  // Only this error alert shows, over the dialog still open with no code; clears the alerts.
  bool showsOnly(const QString& message, QDialog* dialog);

 private:
  [[nodiscard]] GatewayEndpoint endpoint() const;

  std::optional<TempDir> home_;
  std::optional<ScopedEnv> homeEnv_;
  TempDir gatewayData_;
  std::unique_ptr<gateway::DevGateway> gateway_;
  std::shared_ptr<ScriptedAlertPresenter> alerts_ = std::make_shared<ScriptedAlertPresenter>();
  std::shared_ptr<RecordingDesktop> desktop_ = std::make_shared<RecordingDesktop>();
  std::shared_ptr<ScriptedFileChooser> fileChooser_ = std::make_shared<ScriptedFileChooser>();
  std::shared_ptr<ManualClock> clock_ = std::make_shared<ManualClock>();
  std::unique_ptr<app::AppDelegate> app_;
  ClientFactory clientFactory_ = [](const GatewayEndpoint& ep) { return std::make_unique<KARVLib>(ep); };
  std::shared_future<int32_t> versionCheckAhead_;
  int terminations_ = 0;
  bool launched_ = false;
};

// --- Dialogs, driven as a user would ---
template <class Dialog = QDialog>
Dialog* activeSheet() {
  return qobject_cast<Dialog*>(QApplication::activeModalWidget());
}
template <class Control>
Control* control(QWidget* dialog, const char* objectName) {
  return dialog ? dialog->findChild<Control*>(QString::fromLatin1(objectName)) : nullptr;
}
void typeInto(QLineEdit* field, const QString& text);
void click(QAbstractButton* button);
// Types into the fields of the open dialog, then clicks the button; false when one is missing.
bool fillIn(std::initializer_list<std::pair<const char*, QString>> fields, const char* button);

bool answerIdentity(const QString& birth, const char* choice);  // a radio button or ""
bool submitChange(const QString& oldPwd, const QString& newPwd, const QString& confirm);
bool enterCode(const QString& code);
// Clicks the button, answers the identity dialog, enters the code the gateway sent.
bool verifyIdentity(AppHarness& h, QAbstractButton* button, const DemoUserRef& user, const char* choice = "usePhone");
bool answerAgreement(bool agree);
bool confirmSavePfx(const QString& pwd, const std::optional<QString>& confirm = std::nullopt);
bool confirmLoadPfx(AppHarness& h, const std::optional<QString>& path, const QString& pwd);
bool confirmChgPfxPwd(const QString& oldPwd, const QString& newPwd, const std::optional<QString>& confirm = {});

// Asked after a saved application or renewal: install into the browsers?
inline const QString kInstallQuestion = QStringLiteral(
    "點選確定後，系統將自動開啟瀏覽器進行憑證匯入瀏覽器作業，"
    "待匯入完成後，將此程式與開啟之網頁關閉即可開始線上交易。");
inline const QString kDemoPwd = QString::fromLatin1(gateway::kDemoPfxPassword);

// What the workflows showed in order: "overlay:<prompt>", "dialog:<class>", "alert:<text>".
class FlowRecorder : public QObject {
 public:
  explicit FlowRecorder(AppHarness& h);  // once the overlay exists
  ~FlowRecorder() override;
  QStringList events;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  AppHarness& h_;
};

// Collects every log line while it lives, also from the worker thread.
class LogRecorder {
 public:
  LogRecorder();
  ~LogRecorder();
  LogRecorder(const LogRecorder&) = delete;
  LogRecorder& operator=(const LogRecorder&) = delete;
  [[nodiscard]] QStringList linesWith(const QString& text) const;
  [[nodiscard]] QStringList lines() const { return linesWith({}); }

 private:
  mutable std::mutex mutex_;
  QStringList lines_;
};
// Every value the client sent, as it travelled and decoded (ciphertexts among them).
[[nodiscard]] QStringList sentValues(const std::vector<gateway::RecordedRequest>& requests);
// The first line holding a secret, or base64 over 40 or hexadecimal over 64 characters.
[[nodiscard]] QString leakingLine(const QStringList& lines, QStringList secrets);

// --- Files and certificates ---
[[nodiscard]] QByteArray bytesOf(const QString& path);
ToolResult openssl(std::vector<std::string> args);
[[nodiscard]] StringMap certInfoOf(const QString& path, const QString& pwd);
// What the openssl tool finds in a .pfx opened with its password.
struct PfxByOpenssl {
  bool opened = false;
  QString serial;             // hexadecimal, no leading zeros
  std::string certPublicKey;  // PEM
  std::string keyPublicKey;   // PEM, the public half of the private key
  bool chainsToCa = false;    // openssl verify against the CA certificates
  QString friendlyName;
};
[[nodiscard]] PfxByOpenssl readPfxWithOpenssl(const QString& path, const QString& pwd, const std::string& caPem = {});
// The public key (PEM) of a request as the client sends it.
[[nodiscard]] std::string publicKeyOfCsr(const std::string& csr, const QString& folder);
// A self-signed certificate for the CN and its new key, in a .pfx by the openssl tool.
[[nodiscard]] bool makeOtherPfx(const QString& path, const std::string& cn, const QString& pwd);
// The rows of a certificate table as "label=value".
[[nodiscard]] QStringList tableCells(const app::KARVDGDataSource* ds);

}  // namespace karv::test
