// The expiry reminder: the stages the background check shows, over the real
// state file and with a clock of the test, and what the main window records
// and shows of the current .pfx.
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>
#include <ctime>

#include "ExpiryCheck.h"
#include "ExpiryStateFile.h"
#include "GuiTestSupport.h"
#include "support/TestFiles.h"
#include "ui_MainWindow.h"

using namespace karv::app;
using Sent = ExpiryNotifier::Sent;

namespace {

class FixedClock : public Clock {
 public:
  [[nodiscard]] QDateTime now() const override { return at; }
  QDateTime at;
};

class RecordingNotifier : public ExpiryNotifier {
 public:
  Sent show(const ExpiryNotice& notice) override {
    if (answer == Sent::kShown) shown << notice.body;
    return answer;
  }
  bool waitForOpenRequest() override { return false; }
  QStringList shown;
  Sent answer = Sent::kShown;
};

// 20:00 in Taipei, where the tests' calendar is.
const QDateTime kNotAfter(QDate(2026, 3, 2), QTime(12, 0), Qt::UTC);

}  // namespace

class ExpiryReminderTest : public QObject {
  Q_OBJECT
  QTemporaryDir home_;

 private slots:
  void initTestCase() {
    QVERIFY(home_.isValid());
    qputenv("HOME", home_.path().toUtf8());
    qputenv("TZ", "Asia/Taipei");
    ::tzset();
  }

  void eachStageIsShownOnceAndARenewalStartsAgain() {
    const ExpiryStateFile file;
    const QString pfx = home_.filePath("cert.pfx");
    QVERIFY(file.record({"A123456789-01", "1A", kNotAfter, pfx}));
    FixedClock clock;
    RecordingNotifier notifier;
    struct Step {
      QDateTime at;
      Sent answer;
      int exitCode;
      QString shown;  // a part of the one notice shown, or none
    };
    const QList<Step> steps{
        {kNotAfter.addDays(-31), Sent::kShown, kExpiryCheckDone, {}},
        {kNotAfter.addDays(-30), Sent::kShown, kExpiryCheckDone, "將於 2026/03/02 到期，剩餘 30 天"},
        {kNotAfter.addDays(-30).addSecs(3600), Sent::kShown, kExpiryCheckDone, {}},
        {kNotAfter.addDays(-15), Sent::kShown, kExpiryCheckDone, {}},
        // A notice that could not be shown is still due the next time.
        {kNotAfter.addDays(-14), Sent::kNoService, kExpiryCheckNoService, {}},
        {kNotAfter.addDays(-14), Sent::kShown, kExpiryCheckDone, "剩餘 14 天"},
        {kNotAfter.addSecs(60), Sent::kShown, kExpiryCheckDone, "已於 2026/03/02 到期"},
        {kNotAfter.addDays(3), Sent::kShown, kExpiryCheckDone, {}},
    };
    for (const Step& step : steps) {
      clock.at = step.at;
      notifier.answer = step.answer;
      notifier.shown.clear();
      QCOMPARE(checkExpiry(clock, notifier, [] { return true; }), step.exitCode);
      QCOMPARE(notifier.shown.size(), step.shown.isEmpty() ? 0 : 1);
      if (!step.shown.isEmpty()) QVERIFY2(notifier.shown[0].contains(step.shown), qPrintable(notifier.shown[0]));
    }

    // The same certificate recorded again (another path) keeps its stages...
    QVERIFY(file.record({"A123456789-01", "1A", kNotAfter, home_.filePath("moved.pfx")}));
    QCOMPARE(checkExpiry(clock, notifier, [] { return true; }), kExpiryCheckDone);
    QCOMPARE(notifier.shown.size(), 0);
    // ...a renewed one starts them again.
    QVERIFY(file.record({"A123456789-01", "2B", kNotAfter.addDays(30), pfx}));
    QCOMPARE(checkExpiry(clock, notifier, [] { return true; }), kExpiryCheckDone);
    QCOMPARE(notifier.shown,
             QStringList{"您的憑證 A123456789-01 將於 2026/04/01 到期，剩餘 27 天，請開啟 KARV 辦理憑證更新。"});
  }

  void damagedStateIsReportedNotShown() {
    const ExpiryStateFile file;
    karv::test::writeText(file.path().toStdString(), "{\"notAfter\": \"soon\"}");
    FixedClock clock;
    clock.at = kNotAfter;
    RecordingNotifier notifier;
    QCOMPARE(checkExpiry(clock, notifier, [] { return true; }), kExpiryCheckStateFailed);
    QVERIFY(notifier.shown.isEmpty());

    // Nor is a state behind a working folder that links elsewhere.
    QVERIFY(file.record({"A123456789-01", "1A", kNotAfter, home_.filePath("cert.pfx")}));
    QVERIFY(QDir().rename(home_.filePath(".plix"), home_.filePath("elsewhere")));
    QVERIFY(QFile::link(home_.filePath("elsewhere"), home_.filePath(".plix")));
    QCOMPARE(checkExpiry(clock, notifier, [] { return true; }), kExpiryCheckStateFailed);
    QVERIFY(notifier.shown.isEmpty());
    QVERIFY(QFile::remove(home_.filePath(".plix")) &&
            QDir().rename(home_.filePath("elsewhere"), home_.filePath(".plix")));
  }

  void mainWindowRecordsNothingSecretAndShowsDaysLeft() {
    karv::test::AppHarness h;
    QVERIFY(h.logIn(karv::test::demo::kAlice));
    Ui::MainWindow& ui = *h.app().ui();
    const QString pfx = ui.lblPfxFilePath->text();
    QVERIFY(ui.lblPfxDaysLeft->isHidden());

    const char* secret = "Pfx-Secret-9";
    const char* hash = "0123456789ABCDEF0123456789ABCDEF01234567";
    h.app().getKARVlib()->setCurrentPfxFilePwd(secret);
    const QString notAfter = h.clock().now().addDays(20).toLocalTime().toString("yyyyMMddHHmmss");
    const karv::StringMap certInfo{
        {"cn", "A123456789-01"},         {"certUserId", "A123456789"},         {"serial", "1A2B"},
        {"notBefore", "20250125170000"}, {"notAfter", notAfter.toStdString()}, {"certHash", hash},
        {"subject", "CN=A123456789-01"}, {"issuer", "CN=KARV Dev CA"}};
    QVERIFY(h.app().rememberCurrentCertificate(pfx, certInfo));
    const QString shown = "效期至 2026/01/25，剩餘 20 天";
    QCOMPARE(ui.lblPfxDaysLeft->text(), shown);
    QVERIFY(!ui.lblPfxDaysLeft->isHidden());

    const ExpiryStateFile file;
    QFile stored(file.path());
    QVERIFY(stored.open(QIODevice::ReadOnly));
    const QByteArray bytes = stored.readAll();
    QCOMPARE(QJsonDocument::fromJson(bytes).object().keys(),
             (QStringList{"cn", "notAfter", "notified", "pfxPath", "serial"}));
    QVERIFY(!bytes.contains(secret) && !bytes.contains(hash));
    QCOMPARE(karv::test::modeOf(file.path().toStdString()), mode_t(0600));
    QCOMPARE(karv::test::modeOf(home_.filePath(".plix").toStdString()), mode_t(0700));

    // At the next login the recorded file's days come from the state file;
    // another current file shows none.
    h.relaunch();
    QVERIFY(h.logIn(karv::test::demo::kAlice));
    QCOMPARE(h.app().ui()->lblPfxDaysLeft->text(), shown);
    h.app().setCurrentPfxFilePath(home_.filePath("other.pfx"));
    QVERIFY(h.app().ui()->lblPfxDaysLeft->isHidden());
  }
};

QTEST_MAIN(ExpiryReminderTest)
#include "expiry_reminder_test.moc"
