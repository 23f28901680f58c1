#pragma once
#include <QDateTime>
#include <functional>
#include <memory>

#include "AlertPresenter.h"
#include "DesktopServices.h"
#include "FileChooser.h"
#include "KARVLib.h"

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

  // The product's parts: build-constant gateway, QMessageBox, XDG, QFileDialog,
  // system clock.
  static AppServices defaults();
};

}  // namespace karv::app
