// KARV: the certificate-management client.
#include <QApplication>
#include <cstdio>
#include <optional>

#include "AppDelegate.h"
#include "ChineseFont.h"
#include "CommandLine.h"
#include "ExpiryCheck.h"
#include "KarvBuildConfig.h"
#include "Log.h"
#include "OpenSslInit.h"

namespace {
int finish(const karv::app::CommandLine::Exit& exit) {
  std::fputs(exit.out.toUtf8().constData(), stdout);
  std::fputs(exit.err.toUtf8().constData(), stderr);
  return exit.code;
}
}  // namespace

int main(int argc, char** argv) {
  using karv::app::CommandLine;
  CommandLine commandLine;
  const QStringList arguments = CommandLine::argumentsOf(argc, argv);
  // --help and --version answer before there is a window, so they need no display.
  if (auto exit = commandLine.read(arguments, CommandLine::Unknown::Leave)) return finish(*exit);
  // The whole command line checked: anything unknown ends the program.
  auto checked = [&](const QStringList& remaining) -> std::optional<int> {
    if (auto exit = commandLine.read(remaining, CommandLine::Unknown::Refuse)) return finish(*exit);
    karv::setLogToStandardError(commandLine.options().verbose);
    return std::nullopt;
  };

  // The reminder has no window, so Qt's window options mean nothing to it.
  if (commandLine.options().checkExpiry) {
    if (auto exitCode = checked(arguments)) return *exitCode;
    return karv::app::runExpiryCheckCommand(argc, argv);
  }
  QApplication app(argc, argv);
  // QApplication has taken its own options (-platform, -style...).
  if (auto exitCode = checked(QApplication::arguments())) return *exitCode;
  QApplication::setApplicationName("KARV");
  QApplication::setApplicationDisplayName("KARV 憑證管理");
  QApplication::setApplicationVersion(karv::build::kClientVersion);
  // Desktops match the window to its menu entry and icon by this name.
  QGuiApplication::setDesktopFileName(karv::build::kDesktopId);
  karv::app::preferTraditionalChineseFont();
  karv::loadOpenSslProviders();
  karv::app::AppDelegate delegate;
  delegate.applicationDidFinishLaunching();
  return QApplication::exec();
}
