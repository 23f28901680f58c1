#pragma once
// Doubles and a harness for driving AppDelegate headless against an
// in-process development gateway.
#include <QAbstractButton>
#include <QApplication>
#include <QHash>
#include <QLineEdit>
#include <QList>
#include <QPair>
#include <QQueue>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "AppDelegate.h"
#include "DevGateway.h"
#include "support/TestGateway.h"

namespace karv::test {

// Records every alert in order and answers from a queue (1000 when empty).
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
  // Answers every alert with this text so, ahead of the queue.
  void answerFor(const QString& text, int code) { answersByText_.insert(text, code); }
  [[nodiscard]] bool hasAnswerFor(const QString& text) const { return answersByText_.contains(text); }
  [[nodiscard]] const QList<Shown>& shown() const { return shown_; }
  [[nodiscard]] QStringList texts() const;
  void clear() { shown_.clear(); }
  // Runs while an alert is shown (the user has not answered yet).
  std::function<void()> onPresent;

 private:
  QList<Shown> shown_;
  QQueue<int> answers_;
  QHash<QString, int> answersByText_;
};

// The dialog open as a sheet right now (a window-modal dialog is the active
// modal widget as soon as it opens), when it is of the given kind.
template <class Dialog = QDialog>
Dialog* activeSheet() {
  return qobject_cast<Dialog*>(QApplication::activeModalWidget());
}

// A control of a dialog by its objectName; null when there is none.
template <class Control>
Control* control(QWidget* dialog, const char* objectName) {
  return dialog ? dialog->findChild<Control*>(QString::fromLatin1(objectName)) : nullptr;
}

// Replaces the field's text by typing, as a user would.
void typeInto(QLineEdit* field, const QString& text);
void click(QAbstractButton* button);

// Fills the open identity dialog: the date of birth and a delivery choice
// ("" for none), then OK. False when the dialog is not open.
bool answerIdentity(const QString& birth, const char* choice);
// Types the three passwords into the open login-password dialog and presses
// OK. False when the dialog is not open.
bool submitChange(const QString& oldPwd, const QString& newPwd, const QString& confirm);

// Collects every log line while it lives, also lines from the worker thread.
class LogRecorder {
 public:
  LogRecorder();
  ~LogRecorder();
  LogRecorder(const LogRecorder&) = delete;
  LogRecorder& operator=(const LogRecorder&) = delete;
  // The lines that contain the text.
  [[nodiscard]] QStringList linesWith(const QString& text) const;
  [[nodiscard]] QStringList lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
  }

 private:
  mutable std::mutex mutex_;
  QStringList lines_;
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
  void revealFile(const QString& path) override { revealed << path; }
  bool openUrlWithBrowser(const std::string& bundleId, const std::string& url) override {
    openedInBrowsers << qMakePair(QString::fromStdString(bundleId), QString::fromStdString(url));
    return true;
  }

  QList<QUrl> openedUrls;
  QList<QPair<QString, QString>> openedInBrowsers;  // (browser identifier, address)
  QStringList openedFiles;
  QStringList revealed;
  bool openFileSucceeds = true;
};

// Hands back the next scripted path (or a cancel: none, also when the script
// is empty) and records every request.
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

// A gateway on a free loopback port plus an AppDelegate wired to it: plain
// HTTP, or HTTPS with the build's development TLS anchor.
class AppHarness {
 public:
  enum class Scheme { Http, Https };
  // With a data folder the gateway keeps its files there, the demo users'
  // .pfx files among them.
  explicit AppHarness(const std::string& gatewayDataDir = {}, Scheme scheme = Scheme::Http);
  ~AppHarness();

  gateway::DevGateway& gateway() { return *gateway_; }
  app::AppDelegate& app();  // created on first use, after the gateway is set up
  ScriptedAlertPresenter& alerts() { return *alerts_; }
  RecordingDesktop& desktop() { return *desktop_; }
  ScriptedFileChooser& fileChooser() { return *fileChooser_; }
  ManualClock& clock() { return *clock_; }
  [[nodiscard]] int terminations() const { return terminations_; }

  // Launches the application once: start-up and version check.
  void launch();
  // Launches the application (once) and logs the demo user in by ID number
  // through the main window, with the given password or the user's own. The
  // offers of a pending operation after login are declined unless the test
  // answered them already. True when the user is logged in.
  bool logIn(const DemoUserRef& user, const std::optional<QString>& pwd = std::nullopt);
  // How many requests of the API reached the gateway, and the last of them.
  [[nodiscard]] int requestCount(const std::string& api) const;
  [[nodiscard]] std::optional<gateway::RecordedRequest> lastRequest(const std::string& api) const;
  // The last verification code the gateway "sent", with its channel and addressee.
  [[nodiscard]] std::optional<gateway::Outbox::Message> lastOutboxMessage() const;
  // Ends this application and makes a new one on the same gateway: the
  // user's next launch.
  void relaunch();
  [[nodiscard]] GatewayEndpoint endpoint() const;
  // Replaces the protocol clients the application makes (before app()).
  using ClientFactory = std::function<std::unique_ptr<KARVLib>(const GatewayEndpoint&)>;
  void setClientFactory(ClientFactory factory) { clientFactory_ = std::move(factory); }
  // The version check asked for ahead, as the program does (before app()).
  std::shared_future<int32_t> askVersionCheckAhead() {
    return versionCheckAhead_ = app::askVersionCheckAhead(clientFactory_(endpoint()));
  }

 private:
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

}  // namespace karv::test
