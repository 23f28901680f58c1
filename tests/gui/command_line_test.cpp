// The client program's command line, run as a user runs it.
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "KarvBuildConfig.h"

namespace {

// The client with a scratch home and no display of its own.
class ClientProcess {
 public:
  ClientProcess() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home_.path());
    env.insert("XDG_CONFIG_HOME", home_.path() + "/.config");
    env.insert("XDG_DATA_HOME", home_.path() + "/.local/share");
    env.insert("XDG_RUNTIME_DIR", home_.path());
    env.remove("DISPLAY");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    process_.setProcessEnvironment(env);
  }
  ~ClientProcess() {
    process_.kill();
    process_.waitForFinished();
  }
  QProcess& start(const QStringList& arguments) {
    process_.start(KARV_PROGRAM, arguments);
    return process_;
  }

 private:
  QTemporaryDir home_;
  QProcess process_;
};

}  // namespace

class CommandLineTest : public QObject {
  Q_OBJECT
 private slots:
  void answersAndRefusals() {
    const QString version = QString("KARV %1\n").arg(karv::build::kClientVersion);
    struct Case {
      QStringList arguments;
      int exitCode;
      QString out;  // standard output contains
      QString err;  // standard error contains
    };
    const QList<Case> cases = {
        {{"--version"}, 0, version, ""},
        {{"-v"}, 0, version, ""},
        // Qt's own options stay Qt's; without a display they must not stop --version.
        {{"-platform", "xcb", "--version"}, 0, version, ""},
        {{"--help"}, 0, "--verbose", ""},
        {{"-h"}, 0, "用法：karv [選項]", ""},
        {{"--verbos"}, 2, "", "不明的選項：--verbos"},
        {{"report.pfx"}, 2, "", "多餘的參數：report.pfx"},
    };
    for (const Case& c : cases) {
      ClientProcess client;
      QProcess& p = client.start(c.arguments);
      QVERIFY2(p.waitForFinished(30000), qPrintable(c.arguments.join(' ')));
      const QString out = QString::fromUtf8(p.readAllStandardOutput());
      const QString err = QString::fromUtf8(p.readAllStandardError());
      QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() == c.exitCode,
               qPrintable(c.arguments.join(' ') + " -> " + QString::number(p.exitCode()) + err));
      QVERIFY2(out.contains(c.out) && err.contains(c.err), qPrintable(c.arguments.join(' ') + ": " + out + err));
    }
  }

  void verboseCopiesLogToStandardError() {
    ClientProcess client;
    QProcess& p = client.start({"--verbose"});
    p.setReadChannel(QProcess::StandardError);
    QByteArray err;
    // Every start asks the gateway for the version check.
    while (!err.contains("karv: begin http\n") && p.waitForReadyRead(30000)) err += p.readAllStandardError();
    QVERIFY2(err.contains("karv: begin http\n"), err.constData());
  }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "command_line_test.moc"
