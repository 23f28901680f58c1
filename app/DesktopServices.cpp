#include "app/DesktopServices.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFileInfo>

namespace karv::app {

bool XdgDesktopServices::openUrl(const QUrl& url) { return QDesktopServices::openUrl(url); }

bool XdgDesktopServices::openFile(const QString& path) {
  return QFileInfo::exists(path) && QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool XdgDesktopServices::openUrlWithBrowser(const std::string& bundleId, const std::string& url) {
  return XdgBrowserOpener().openUrlWithBrowser(bundleId, url);
}

bool XdgDesktopServices::revealFile(const QString& path) {
  QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                                                     "org.freedesktop.FileManager1", "ShowItems");
  call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
  const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 3000);
  // No file manager on the bus: open the folder instead.
  return reply.type() == QDBusMessage::ReplyMessage ||
         QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}

}  // namespace karv::app
