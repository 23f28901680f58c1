// KARV: the certificate-management client.
#include <QApplication>

#include "AppDelegate.h"
#include "ChineseFont.h"
#include "ExpiryCheck.h"
#include "OpenSslInit.h"

int main(int argc, char** argv) {
  if (karv::app::isExpiryCheckCommand(argc, argv)) return karv::app::runExpiryCheckCommand(argc, argv);
  QApplication app(argc, argv);
  QApplication::setApplicationName("KARV");
  QApplication::setApplicationDisplayName("KARV 憑證管理");
  karv::app::preferTraditionalChineseFont();
  karv::loadOpenSslProviders();
  karv::app::AppDelegate delegate;
  delegate.applicationDidFinishLaunching();
  return QApplication::exec();
}
