#pragma once
#include <QDateTime>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>

#include "app/AlertPresenter.h"
#include "app/DesktopServices.h"
#include "app/FileChooser.h"
#include "protocol/KARVLib.h"

namespace karv::app {

// The clock of the idle logout; tests move it by hand.
class Clock {
 public:
  virtual ~Clock() = default;
  [[nodiscard]] virtual QDateTime now() const = 0;
};

class SystemClock : public Clock {
 public:
  [[nodiscard]] QDateTime now() const override { return QDateTime::currentDateTimeUtc(); }
};

// The parts of the application that tests replace.
struct AppServices {
  std::function<std::unique_ptr<KARVLib>()> makeProtocolClient;
  std::shared_ptr<AlertPresenter> alerts;
  std::shared_ptr<DesktopServices> desktop;
  std::shared_ptr<FileChooser> fileChooser;
  std::shared_ptr<Clock> clock;
  // Ends the application (the product: quit the event loop).
  std::function<void()> terminate;
  // The version check's result when it was asked for ahead (see
  // askVersionCheckAhead); without one the start-up asks the gateway itself.
  std::shared_future<int32_t> versionCheckAhead;

  // The product's parts: build-constant gateway, QMessageBox, XDG, QFileDialog,
  // system clock.
  static AppServices defaults();
};

// Sends the start-up version check at once on a thread of its own, through a
// short-lived protocol client (the check keeps no session state), so that the
// gateway's answer travels while Qt, the fonts and the window are set up.
[[nodiscard]] std::shared_future<int32_t> askVersionCheckAhead(std::unique_ptr<KARVLib> client);

}  // namespace karv::app
