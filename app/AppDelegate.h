#pragma once
#include "AppServices.h"
#include "KARVLib.h"

#include <QMainWindow>
#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

namespace Ui {
class MainWindow;
}

namespace karv::app {

class KARVMask;

// The application controller: owns the main window and the one protocol
// client, and runs every workflow of the client on the UI thread.
class AppDelegate : public QObject {
  Q_OBJECT
 public:
  explicit AppDelegate(AppServices services = AppServices::defaults(), QObject* parent = nullptr);
  ~AppDelegate() override;

  // --- Start-up ---
  void applicationDidFinishLaunching();
  void doVersionCheck();
  [[nodiscard]] static bool applicationShouldTerminateAfterLastWindowClosed() { return true; }
  void applicationWillTerminate() {}  // no logout request when the application quits

  // --- Messages ---
  void doAlert(const QString& message);
  void doAlert(const QString& title, const QString& message);
  [[nodiscard]] bool doConfirm(const QString& message);
  [[nodiscard]] bool doConfirm(const QString& title, const QString& message);
  // The application-modal "錯誤" alert that dialogs use for input errors.
  void showDialogError(const QString& message);
  void showMask() { showMask(QString()); }
  void showMask(const QString& prompt);
  void showIdle(const QString& text);
  void hideMask();

  // --- Protocol client and desktop ---
  KARVLib* getKARVlib();
  void openHomePage();

  [[nodiscard]] QMainWindow* window() const { return window_.get(); }
  [[nodiscard]] Ui::MainWindow* ui() const { return ui_.get(); }
  [[nodiscard]] KARVMask* mask() const;
  [[nodiscard]] const QString& currentLoginType() const { return currentLoginType_; }
  [[nodiscard]] const AppServices& services() const { return services_; }

 private:
  void terminate();
  void styleHomePageLink();
  void focusFirstLoginField();
  // Client update after a refused version: messages, download, installer.
  void runClientUpdate();

  AppServices services_;
  std::unique_ptr<QMainWindow> window_;
  std::unique_ptr<Ui::MainWindow> ui_;
  std::unique_ptr<KARVLib> karvLib_;
  QPointer<KARVMask> mask_;
  QString currentLoginType_;
};

}  // namespace karv::app
