#include "app/AppServices.h"

#include <QCoreApplication>
#include <QMetaObject>

namespace karv::app {

AppServices AppServices::defaults() {
  AppServices s;
  s.makeProtocolClient = [] { return std::make_unique<KARVLib>(); };
  s.alerts = std::make_shared<QtAlertPresenter>();
  s.desktop = std::make_shared<XdgDesktopServices>();
  s.fileChooser = std::make_shared<QtFileChooser>();
  s.clock = std::make_shared<SystemClock>();
  // Queued, so that a quit asked for before the event loop runs still ends it.
  s.terminate = [] {
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
  };
  return s;
}

std::shared_future<int32_t> askVersionCheckAhead(std::unique_ptr<KARVLib> client) {
  return std::async(std::launch::async,
                    [client = std::move(client)] {
                      std::optional<std::string> errMsg;
                      return client->versionCheck(errMsg);
                    })
      .share();
}

}  // namespace karv::app
