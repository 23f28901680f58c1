// The expiry reminder's notice on a private session bus, received by a
// notification service of this test: from the real `karv --check-expiry`,
// and from the check in-process where the test plays the user.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>

#include "ExpiryCheck.h"
#include "ExpiryStateFile.h"
#include "GuiTestSupport.h"

using namespace karv::app;

namespace {

const QString kPath = "/org/freedesktop/Notifications";
const QString kInterface = "org.freedesktop.Notifications";

// A dbus-daemon of this test alone, with no services to start on demand.
class PrivateBus {
 public:
  explicit PrivateBus(const QString& folder) {
    QFile config(folder + "/bus.conf");
    if (!config.open(QIODevice::WriteOnly)) qFatal("bus configuration not written");
    config.write(QString("<busconfig><type>session</type><listen>unix:dir=%1</listen><auth>EXTERNAL</auth>"
                         "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                         "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy>"
                         "</busconfig>")
                     .arg(folder)
                     .toUtf8());
    config.close();
    daemon_.start("dbus-daemon", {"--config-file=" + config.fileName(), "--nofork", "--print-address=1"});
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
  // What "the user" does once a notice is up.
  std::function<void(uint id)> then;

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

class ExpiryNotificationTest : public QObject {
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
    bus_ = std::make_unique<PrivateBus>(home_.path());
    serviceBus_ = QDBusConnection::connectToBus(bus_->address, "notification-service");
    QVERIFY(serviceBus_.registerObject(kPath, &service_, QDBusConnection::ExportAllSlots));
    QVERIFY(serviceBus_.registerService(kInterface));
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
    const QDateTime now(QDate(2026, 3, 1), QTime(9, 0), Qt::UTC);
    struct : Clock {
      QDateTime at;
      [[nodiscard]] QDateTime now() const override { return at; }
    } clock;
    clock.at = now;
    QVERIFY(ExpiryStateFile().record({"A123456789-01", "3C", now.addDays(7), home_.filePath("cert.pfx")}));
    const QDBusConnection checkerBus = QDBusConnection::connectToBus(bus_->address, "checker");
    service_.then = [this](uint id) { emitSignal("ActionInvoked", {id, QString("default")}); };
    int starts = 0;
    {
      DesktopNotifications notifications(checkerBus, 5000, 20000);
      QCOMPARE(checkExpiry(clock, notifications, [&] { return ++starts > 0; }), int(kExpiryCheckDone));
    }
    QCOMPARE(starts, 1);
    QVERIFY(service_.shown.last().body.contains("剩餘 7 天"));

    // Without the service the stage stays due, and the log says why.
    QVERIFY(serviceBus_.unregisterService(kInterface));
    clock.at = now.addDays(6);
    karv::test::LogRecorder log;
    DesktopNotifications notifications(checkerBus, 5000, 20000);
    QCOMPARE(checkExpiry(clock, notifications, [&] { return ++starts > 0; }), int(kExpiryCheckNoService));
    QCOMPARE(log.linesWith("check-expiry: no notification service").size(), 1);
    ExpiryState state;
    QVERIFY(ExpiryStateFile().load(state) == ExpiryStateFile::Read::kFound);
    QCOMPARE(state.notified, ExpiryStage::kDays7);
    QCOMPARE(starts, 1);
  }
};

QTEST_GUILESS_MAIN(ExpiryNotificationTest)
#include "expiry_notification_test.moc"
