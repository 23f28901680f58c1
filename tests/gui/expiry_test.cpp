// The expiry reminder: its stages over the real state file, what the main
// window records, and the notice on a private session bus.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "GuiTestSupport.h"
#include "app/expiry/ExpiryCheck.h"
#include "app/expiry/ExpiryStateFile.h"
#include "ui_MainWindow.h"

using namespace karv::app;
using Sent = ExpiryNotifier::Sent;

namespace {

const QString kPath = "/org/freedesktop/Notifications";
const QString kInterface = "org.freedesktop.Notifications";
// 20:00 in Taipei, where the tests' calendar is.
const QDateTime kNotAfter(QDate(2026, 3, 2), QTime(12, 0), Qt::UTC);

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

// A dbus-daemon of this test alone, with no services to start on demand.
class PrivateBus {
 public:
  explicit PrivateBus(const QString& folder) {
    karv::test::writeText((folder + "/bus.conf").toStdString(),
                          QString("<busconfig><type>session</type><listen>unix:dir=%1</listen><auth>EXTERNAL</auth>"
                                  "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                                  "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>")
                              .arg(folder)
                              .toStdString());
    daemon_.start("dbus-daemon", {"--config-file=" + folder + "/bus.conf", "--nofork", "--print-address=1"});
    if (!daemon_.waitForReadyRead(10000)) qFatal("dbus-daemon did not start");
    address = QString::fromUtf8(daemon_.readLine()).trimmed();
  }
  ~PrivateBus() {
    daemon_.kill();
    daemon_.waitForFinished();
  }
  QString address;

 private:
  QProcess daemon_;
};

// The desktop's notification service as the test sees it.
class NotificationService : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
 public:
  struct Shown {
    QString app, summary, body;
    QStringList actions;
  };
  QList<Shown> shown;
  std::function<void(uint id)> then;  // what "the user" does once a notice is up

 public slots:
  QStringList GetCapabilities() { return {"actions", "body"}; }
  uint Notify(const QString& app, uint, const QString&, const QString& summary, const QString& body,
              const QStringList& actions, const QVariantMap&, int) {
    shown.append({app, summary, body, actions});
    const uint id = uint(shown.size());
    if (then) QTimer::singleShot(0, this, [this, id] { then(id); });
    return id;
  }
  void CloseNotification(uint) {}
};

}  // namespace

class ExpiryTest : public QObject {
  Q_OBJECT
  QTemporaryDir home_;
  std::unique_ptr<PrivateBus> bus_;
  NotificationService service_;
  QDBusConnection serviceBus_{QString()};

  void emitSignal(const QString& name, const QVariantList& arguments) {
    QDBusMessage signal = QDBusMessage::createSignal(kPath, kInterface, name);
    signal.setArguments(arguments);
    QVERIFY(serviceBus_.send(signal));
  }

  // `karv --check-expiry` with only what a desktop session gives it: no display.
  int runProgram(const QString& busAddress, QByteArray& output) {
    QProcess karv;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
    env.insert("DBUS_SESSION_BUS_ADDRESS", busAddress);
    karv.setProcessEnvironment(env);
    QSignalSpy finished(&karv, &QProcess::finished);
    karv.start(KARV_PROGRAM, {"--check-expiry"});
    // The service answers from this thread's event loop while the program runs.
    if (!finished.wait(30000)) return -1;
    output = karv.readAllStandardOutput() + karv.readAllStandardError();
    return karv.exitCode();
  }

 private slots:
  void initTestCase() {
    QVERIFY(home_.isValid());
    qputenv("HOME", home_.path().toUtf8());
    qputenv("TZ", "Asia/Taipei");
    ::tzset();
    bus_ = std::make_unique<PrivateBus>(home_.path());
    serviceBus_ = QDBusConnection::connectToBus(bus_->address, "notification-service");
    QVERIFY(serviceBus_.registerObject(kPath, &service_, QDBusConnection::ExportAllSlots));
    QVERIFY(serviceBus_.registerService(kInterface));
  }

  void eachStageIsShownOnceAndARenewalStartsAgain() {
    const ExpiryStateFile file;
    const QString pfx = home_.filePath("cert.pfx");
    QVERIFY(file.record({"A123456789-01", "1A", kNotAfter, pfx}));
    karv::test::ManualClock clock;
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
        // A notice that could not be shown is still due the next time.
        {kNotAfter.addDays(-14), Sent::kNoService, kExpiryCheckNoService, {}},
        {kNotAfter.addDays(-14), Sent::kShown, kExpiryCheckDone, "剩餘 14 天"},
        {kNotAfter.addSecs(60), Sent::kShown, kExpiryCheckDone, "已於 2026/03/02 到期"},
        {kNotAfter.addDays(3), Sent::kShown, kExpiryCheckDone, {}},
    };
    for (const Step& step : steps) {
      clock.set(step.at);
      notifier.answer = step.answer;
      notifier.shown.clear();
      QCOMPARE(checkExpiry(clock, notifier, [] { return true; }), step.exitCode);
      QCOMPARE(notifier.shown.size(), step.shown.isEmpty() ? 0 : 1);
      if (!step.shown.isEmpty()) QVERIFY2(notifier.shown[0].contains(step.shown), qPrintable(notifier.shown[0]));
    }
    // The same certificate recorded again (another path) keeps its stages;
    // a renewed one starts them again. Its name is shown as it is, markers and all.
    QVERIFY(file.record({"A123456789-01", "1A", kNotAfter, home_.filePath("moved.pfx")}));
    QCOMPARE(checkExpiry(clock, notifier, [] { return true; }), kExpiryCheckDone);
    QCOMPARE(notifier.shown.size(), 0);
    QVERIFY(file.record({"%1%2", "2B", kNotAfter.addDays(30), pfx}));
    QCOMPARE(checkExpiry(clock, notifier, [] { return true; }), kExpiryCheckDone);
    QCOMPARE(notifier.shown, QStringList{"您的憑證 %1%2 將於 2026/04/01 到期，剩餘 27 天，請開啟 KARV 辦理憑證更新。"});
  }

  void damagedStateIsReportedNotShown() {
    const ExpiryStateFile file;
    karv::test::writeText(file.path().toStdString(), "{\"notAfter\": \"soon\"}");
    karv::test::ManualClock clock;
    clock.set(kNotAfter);
    RecordingNotifier notifier;
    QCOMPARE(checkExpiry(clock, notifier, [] { return true; }), kExpiryCheckStateFailed);
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
    karv::test::AppHarness h(karv::test::AppHarness::Scheme::Http, false);
    QVERIFY(h.logIn(karv::test::demo::kAlice));
    Ui::MainWindow& ui = *h.app().ui();
    QVERIFY(ui.lblPfxDaysLeft->isHidden());
    const char* secret = "Pfx-Secret-9";
    const char* hash = "0123456789ABCDEF0123456789ABCDEF01234567";
    h.app().getKARVlib()->setCurrentPfxFilePwd(secret);
    const QString notAfter = h.clock().now().addDays(20).toLocalTime().toString("yyyyMMddHHmmss");
    const karv::StringMap certInfo{
        {"cn", "A123456789-01"},         {"certUserId", "A123456789"},         {"serial", "1A2B"},
        {"notBefore", "20250125170000"}, {"notAfter", notAfter.toStdString()}, {"certHash", hash},
        {"subject", "CN=A123456789-01"}, {"issuer", "CN=KARV Dev CA"}};
    QVERIFY(h.app().rememberCurrentCertificate(ui.lblPfxFilePath->text(), certInfo));
    const QString shown = "效期至 2026/01/25，剩餘 20 天";
    QCOMPARE(ui.lblPfxDaysLeft->text(), shown);
    QVERIFY(!ui.lblPfxDaysLeft->isHidden());

    const ExpiryStateFile file;
    const QByteArray bytes = karv::test::bytesOf(file.path());
    QCOMPARE(QJsonDocument::fromJson(bytes).object().keys(),
             (QStringList{"cn", "notAfter", "notified", "pfxPath", "revoked", "serial"}));
    QVERIFY(!bytes.contains(secret) && !bytes.contains(hash));
    QCOMPARE(karv::test::modeOf(file.path().toStdString()), mode_t(0600));
    QCOMPARE(karv::test::modeOf(home_.filePath(".plix").toStdString()), mode_t(0700));

    // At the next login the days come from the state file; another current file shows none.
    h.relaunch();
    QVERIFY(h.logIn(karv::test::demo::kAlice));
    QCOMPARE(h.app().ui()->lblPfxDaysLeft->text(), shown);
    h.app().setCurrentPfxFilePath(home_.filePath("other.pfx"));
    QVERIFY(h.app().ui()->lblPfxDaysLeft->isHidden());
  }

  // After a revocation, or when the gateway's record says revoked, the window
  // says so instead of the days left, and the reminder stays quiet.
  void revokedCertificateSaysSoAndIsNotReminded() {
    using namespace karv::test;
    AppHarness h;
    QVERIFY(h.logIn(demo::kExpiring));
    Ui::MainWindow& ui = *h.app().ui();
    h.copyDemoPfx(demo::kExpiring, "KARV/D220003245.pfx");
    h.app().setCurrentPfxFilePwd(kDemoPwd);
    QCOMPARE(h.app().doQryClntCertInfo(demo::kExpiring.cn, true), 0);
    QVERIFY(ui.lblPfxDaysLeft->text().contains("剩餘"));
    QVERIFY(verifyIdentity(h, ui.btnRevokeCert, demo::kExpiring));
    QCOMPARE(h.alerts().texts().last(), QString("廢止憑證完成"));
    QCOMPARE(ui.lblPfxDaysLeft->text(), QString("憑證已廢止"));

    const ExpiryStateFile file;
    ExpiryState state;
    QVERIFY(file.load(state) == ExpiryStateFile::Read::kFound);
    ManualClock clock;
    clock.set(state.notAfter.addDays(-5));  // a stage not shown yet
    RecordingNotifier notifier;
    QCOMPARE(checkExpiry(clock, notifier, [] { return true; }), kExpiryCheckDone);
    QVERIFY(notifier.shown.isEmpty());

    // Revoked without this client knowing: the gateway's record at the next login.
    state.revoked = false;
    QVERIFY(file.save(state));
    h.relaunch();
    QVERIFY(h.logIn(demo::kExpiring));
    QCOMPARE(h.app().ui()->lblPfxDaysLeft->text(), QString("憑證已廢止"));
    QCOMPARE(checkExpiry(clock, notifier, [] { return true; }), kExpiryCheckDone);
    QVERIFY(notifier.shown.isEmpty());
  }

  void programRemindsOnceThroughTheSessionBus() {
    const QDateTime notAfter = QDateTime::currentDateTimeUtc().addDays(30);
    QVERIFY(ExpiryStateFile().record({"A123456789-01", "1A", notAfter, home_.filePath("cert.pfx")}));
    service_.then = [this](uint id) { emitSignal("NotificationClosed", {id, 2u}); };  // dismissed
    QByteArray output;
    QCOMPARE(runProgram(bus_->address, output), int(kExpiryCheckDone));
    QCOMPARE(output, QByteArray());
    QCOMPARE(service_.shown.size(), 1);
    const auto& notice = service_.shown[0];
    QCOMPARE(notice.app, QString("KARV"));
    QCOMPARE(notice.summary, QString("KARV 憑證即將到期"));
    QCOMPARE(notice.body, QString("您的憑證 A123456789-01 將於 %1 到期，剩餘 30 天，請開啟 KARV 辦理憑證更新。")
                              .arg(notAfter.toLocalTime().toString("yyyy/MM/dd")));
    QCOMPARE(notice.actions, (QStringList{"default", "開啟 KARV"}));

    QCOMPARE(runProgram(bus_->address, output), int(kExpiryCheckDone));
    QCOMPARE(service_.shown.size(), 1);  // that stage was shown

    // A renewed certificate is due again, but there is no bus to show it on.
    QVERIFY(ExpiryStateFile().record({"A123456789-01", "2B", notAfter.addDays(-1), home_.filePath("cert.pfx")}));
    QCOMPARE(runProgram("unix:path=" + home_.filePath("no-bus"), output), int(kExpiryCheckNoBus));
    QCOMPARE(output, QByteArray());
  }

  void actionStartsKarvAndAMissingServiceIsLogged() {
    karv::test::ManualClock clock;
    clock.set(QDateTime(QDate(2026, 3, 1), QTime(9, 0), Qt::UTC));
    QVERIFY(ExpiryStateFile().record({"A123456789-01", "3C", clock.now().addDays(7), home_.filePath("cert.pfx")}));
    const QDBusConnection checkerBus = QDBusConnection::connectToBus(bus_->address, "checker");
    service_.then = [this](uint id) { emitSignal("ActionInvoked", {id, QString("default")}); };
    int starts = 0;
    {
      DesktopNotifications notifications(checkerBus, 5000, 20000);
      QCOMPARE(checkExpiry(clock, notifications, [&] { return ++starts > 0; }), int(kExpiryCheckDone));
    }
    QCOMPARE(starts, 1);
    QVERIFY(service_.shown.last().body.contains("剩餘 7 天"));

    // Without the service the log says why.
    QVERIFY(serviceBus_.unregisterService(kInterface));
    clock.set(clock.now().addDays(6));
    karv::test::LogRecorder log;
    DesktopNotifications notifications(checkerBus, 5000, 20000);
    QCOMPARE(checkExpiry(clock, notifications, [&] { return ++starts > 0; }), int(kExpiryCheckNoService));
    QCOMPARE(log.linesWith("check-expiry: no notification service").size(), 1);
    QCOMPARE(starts, 1);
  }
};

QTEST_MAIN(ExpiryTest)
#include "expiry_test.moc"
