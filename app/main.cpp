// KARV: the certificate-management client.
#include <QApplication>
#include <cstdio>

#include "KarvBuildConfig.h"
#include "app/AppDelegate.h"
#include "app/ChineseFont.h"
#include "app/CommandLine.h"
#include "app/ProcessHardening.h"
#include "app/QtTranslations.h"
#include "app/expiry/ExpiryCheck.h"
#include "system/Log.h"

namespace {
int finish(const karv::app::CommandLine::Exit& exit) {
  std::fputs(exit.out.toUtf8().constData(), stdout);
  std::fputs(exit.err.toUtf8().constData(), stderr);
  return exit.code;
}
}  // namespace

int main(int argc, char** argv) {
  (void)karv::app::disableCoreDumps();  // first, before any secret is in memory
  using karv::app::CommandLine;
  CommandLine commandLine;
  const QStringList arguments = CommandLine::argumentsOf(argc, argv);
  // --help and --version answer before there is a window, so they need no display.
  if (auto exit = commandLine.read(arguments, CommandLine::Unknown::Leave)) return finish(*exit);
  karv::setLogToStandardError(commandLine.options().verbose);

  // The reminder has no window, so Qt's window options mean nothing to it.
  if (commandLine.options().checkExpiry) {
    if (auto exit = commandLine.read(arguments, CommandLine::Unknown::Refuse)) return finish(*exit);
    return karv::app::runExpiryCheckCommand(argc, argv);
  }
  QApplication app(argc, argv);
  // QApplication has taken its own options (-platform, -style...); anything else is unknown.
  if (auto exit = commandLine.read(QApplication::arguments(), CommandLine::Unknown::Refuse)) return finish(*exit);
  auto services = karv::app::AppServices::defaults();
  services.versionCheckAhead = karv::app::askVersionCheckAhead(services.makeProtocolClient());

  QApplication::setApplicationName("KARV");
  QApplication::setApplicationDisplayName("KARV 憑證管理");
  QApplication::setApplicationVersion(karv::build::kClientVersion);
  // Desktops match the window to its menu entry and icon by this name.
  QGuiApplication::setDesktopFileName(karv::build::kDesktopId);
  karv::app::preferTraditionalChineseFont();
  (void)karv::app::installQtTranslations();
  karv::app::AppDelegate delegate(services);
  delegate.applicationDidFinishLaunching();
  const int code = QApplication::exec();
  delegate.applicationWillTerminate();
  return code;
}
