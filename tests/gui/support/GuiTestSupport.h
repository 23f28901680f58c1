#pragma once
// Doubles and a harness for driving AppDelegate headless against an
// in-process development gateway.
#include "AppDelegate.h"
#include "DevGateway.h"

#include <QList>
#include <QPair>
#include <QQueue>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>

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
  [[nodiscard]] const QList<Shown>& shown() const { return shown_; }
  [[nodiscard]] QStringList texts() const;
  void clear() { shown_.clear(); }

 private:
  QList<Shown> shown_;
  QQueue<int> answers_;
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

  QList<QUrl> openedUrls;
  QStringList openedFiles;
  QStringList revealed;
  bool openFileSucceeds = true;
};

class ManualClock : public app::Clock {
 public:
  [[nodiscard]] QDateTime now() const override { return now_; }
  void advanceMs(qint64 ms) { now_ = now_.addMSecs(ms); }

 private:
  QDateTime now_ = QDateTime(QDate(2026, 1, 5), QTime(9, 0), Qt::UTC);
};

// A gateway on a free loopback port plus an AppDelegate wired to it.
class AppHarness {
 public:
  AppHarness();
  ~AppHarness();

  gateway::DevGateway& gateway() { return *gateway_; }
  app::AppDelegate& app();  // created on first use, after the gateway is set up
  ScriptedAlertPresenter& alerts() { return *alerts_; }
  RecordingDesktop& desktop() { return *desktop_; }
  ManualClock& clock() { return *clock_; }
  [[nodiscard]] int terminations() const { return terminations_; }
  [[nodiscard]] GatewayEndpoint endpoint() const;

 private:
  std::unique_ptr<gateway::DevGateway> gateway_;
  std::shared_ptr<ScriptedAlertPresenter> alerts_ = std::make_shared<ScriptedAlertPresenter>();
  std::shared_ptr<RecordingDesktop> desktop_ = std::make_shared<RecordingDesktop>();
  std::shared_ptr<ManualClock> clock_ = std::make_shared<ManualClock>();
  std::unique_ptr<app::AppDelegate> app_;
  int terminations_ = 0;
};

}  // namespace karv::test
