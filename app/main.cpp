// KARV: the certificate-management client.
#include <QApplication>
#include <cstdio>

#include "AppDelegate.h"
#include "ChineseFont.h"
#include "CommandLine.h"
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
  // --help and --version answer before there is a window, so they need no display.
  if (auto exit = commandLine.read(CommandLine::argumentsOf(argc, argv), CommandLine::Unknown::Leave))
    return finish(*exit);

  QApplication app(argc, argv);
  if (auto exit = commandLine.read(QApplication::arguments(), CommandLine::Unknown::Refuse)) return finish(*exit);
  karv::setLogToStandardError(commandLine.options().verbose);
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
