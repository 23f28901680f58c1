#pragma once
// Driving the real AppDelegate headless against an in-process development
// gateway as a user would, and checking what it wrote and logged.
#include <QAbstractButton>
#include <QApplication>
#include <QHash>
#include <QLineEdit>
#include <QPair>
#include <QQueue>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "AppDelegate.h"
#include "DemoSeed.h"
#include "DevGateway.h"
#include "support/TestFiles.h"
#include "support/TestGateway.h"
#include "support/ToolRunner.h"

namespace karv::test {

// Records every alert in order and answers by text, else from a queue (1000 when empty).
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
  void revealFile(const QString&) override {}
  bool openUrlWithBrowser(const std::string& bundleId, const std::string& url) override {
    openedInBrowsers << qMakePair(QString::fromStdString(bundleId), QString::fromStdString(url));
    return true;
  }
  [[nodiscard]] QStringList browsers() const;  // the identifiers of openedInBrowsers

  QList<QUrl> openedUrls;
  QList<QPair<QString, QString>> openedInBrowsers;  // (browser identifier, address)
  QStringList openedFiles;
  bool openFileSucceeds = true;
};

// Hands back the next scripted path (none: a cancel) and records every request.
class ScriptedFileChooser : public app::FileChooser {
 public:
  std::optional<QString> choose(const Request& request) override;
  void chooseNext(const std::optional<QString>& path) { answers_.enqueue(path); }
  [[nodiscard]] const QList<Request>& requests() const { return requests_; }

 private:
  QQueue<std::optional<QString>> answers_;
  QList<Request> requests_;
};

class ManualClock : public app::Clock {
 public:
  [[nodiscard]] QDateTime now() const override { return now_; }
  void advanceMs(qint64 ms) { now_ = now_.addMSecs(ms); }

 private:
  QDateTime now_ = QDateTime(QDate(2026, 1, 5), QTime(9, 0), Qt::UTC);
};

// A gateway on a free loopback port (plain HTTP, or HTTPS with the build's
// development anchor) keeping its files (the demo users' .pfx among them) in
// a folder of its own, and an AppDelegate wired to it. Unless told
// otherwise, HOME is a fresh folder while the harness lives.
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

  // Start-up and version check, once.
  void launch();
  // Launches and logs the demo user in by ID number through the main window.
  // Offers of a pending operation are declined unless the test answered them.
  bool logIn(const DemoUserRef& user, const std::optional<QString>& pwd = std::nullopt);
  // The user's next launch: a new application on the same gateway.
  void relaunch();
  [[nodiscard]] int requestCount(const std::string& api) const;
  [[nodiscard]] std::optional<gateway::RecordedRequest> lastRequest(const std::string& api) const;
  [[nodiscard]] std::optional<gateway::Outbox::Message> lastOutboxMessage() const;

  // Before app(): other protocol clients, or the version asked ahead as the program does.
  using ClientFactory = std::function<std::unique_ptr<KARVLib>(const GatewayEndpoint&)>;
  void setClientFactory(ClientFactory factory) { clientFactory_ = std::move(factory); }
  void askVersionCheckAhead() { versionCheckAhead_ = app::askVersionCheckAhead(clientFactory_(endpoint())); }

  // The home folder and the client's current .pfx.
  [[nodiscard]] QString path(const QString& relative) const;
  [[nodiscard]] QString currentPath();
  [[nodiscard]] QString currentPwd();
  // The gateway's .pfx of a demo user that starts with a certificate
  // (password gateway::kDemoPfxPassword), and a copy of it in the home folder.
  [[nodiscard]] QString demoPfx(const DemoUserRef& user) const;
  QString copyDemoPfx(const DemoUserRef& user, const QString& relative);

  // Result codes of the sheets opened with handler().
  QList<int> codes;
  app::AppDelegate::SheetHandler handler() {
    return [this](int code) { codes << code; };
  }
  // The error alert alone shows over the dialog, which stays open with no code; clears the alerts.
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

// The window-modal dialog open right now, when it is of the given kind.
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
// Types each text into its field of the open dialog, then clicks the button.
// False when no dialog is open.
bool fillIn(std::initializer_list<std::pair<const char*, QString>> fields, const char* button);

// The identity dialog: date of birth, a delivery choice ("" none), OK.
bool answerIdentity(const QString& birth, const char* choice);
// The first-login password dialog: old, new, confirmation, OK.
bool submitChange(const QString& oldPwd, const QString& newPwd, const QString& confirm);
bool enterCode(const QString& code);
// Clicks the button, answers the identity dialog and enters the code the
// gateway sent; false when a step did not come.
bool verifyIdentity(AppHarness& h, QAbstractButton* button, const DemoUserRef& user, const char* choice = "usePhone");
bool answerAgreement(bool agree);
bool confirmSavePfx(const QString& pwd, const std::optional<QString>& confirm = std::nullopt);
// Picks the file (when given) in the open Load-PFX dialog and confirms it.
bool confirmLoadPfx(AppHarness& h, const std::optional<QString>& path, const QString& pwd);
bool confirmChgPfxPwd(const QString& oldPwd, const QString& newPwd, const std::optional<QString>& confirm = {});

// Asked after a saved application or renewal: install into the browsers?
inline const QString kInstallQuestion = QStringLiteral(
    "點選確定後，系統將自動開啟瀏覽器進行憑證匯入瀏覽器作業，"
    "待匯入完成後，將此程式與開啟之網頁關閉即可開始線上交易。");
inline const QString kDemoPwd = QString::fromLatin1(gateway::kDemoPfxPassword);

// What the workflows showed, in order: "overlay:<prompt>" (prompts with a
// text), "dialog:<class>" as each sheet opens, "alert:<text>".
class FlowRecorder : public QObject {
 public:
  explicit FlowRecorder(AppHarness& h);  // after the overlay exists (any gateway call made it)
  ~FlowRecorder() override;
  QStringList events;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  AppHarness& h_;
};

// --- The log ---

// Collects every log line while it lives, also lines from the worker thread.
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
// Every value the client sent, as it travelled and percent-decoded (ciphertexts among them).
[[nodiscard]] QStringList sentValues(const std::vector<gateway::RecordedRequest>& requests);
// The first line that holds a secret or a long run of base64 (over 40) or
// hexadecimal (over 64); "" when none does.
[[nodiscard]] QString leakingLine(const QStringList& lines, QStringList secrets);

// --- Files and certificates ---

[[nodiscard]] QByteArray bytesOf(const QString& path);
ToolResult openssl(std::vector<std::string> args);
// The client's own reading of the file; empty when it does not open.
[[nodiscard]] StringMap certInfoOf(const QString& path, const QString& pwd);
// What the openssl tool finds in a .pfx opened with its password.
struct PfxByOpenssl {
  bool opened = false;
  QString serial;             // of the user's certificate: hexadecimal without leading zeros
  std::string certPublicKey;  // PEM
  std::string keyPublicKey;   // PEM, the public half of the private key
  bool chainsToCa = false;    // openssl verify against the CA certificates
  QString friendlyName;
};
[[nodiscard]] PfxByOpenssl readPfxWithOpenssl(const QString& path, const QString& pwd, const std::string& caPem = {});
// The public key (PEM) of a request as the client sends it (the PEM body).
[[nodiscard]] std::string publicKeyOfCsr(const std::string& csr, const QString& folder);
// A self-signed certificate for the CN with a new key, as a .pfx by the openssl tool.
[[nodiscard]] bool makeOtherPfx(const QString& path, const std::string& cn, const QString& pwd);
// The rows of a certificate table as "label=value".
[[nodiscard]] QStringList tableCells(const app::KARVDGDataSource* ds);

}  // namespace karv::test
