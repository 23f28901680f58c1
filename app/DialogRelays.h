#pragma once
#include <memory>
#include <vector>

#include "app/dialogs/DepCertWindowController.h"
#include "app/dialogs/LoadPfxWindowController.h"
#include "app/dialogs/SavePfxWindowController.h"
#include "app/dialogs/UserChgBtsLoginPwdWindowController.h"

namespace karv::app {

class AppDelegate;

// A dialog's delegate on behalf of the application: the requests every
// dialog makes go on to the application; what the dialog hands back at its
// OK stays here in `result` until its handler takes it.
class DialogRelay : public virtual SheetDialogDelegate {
 public:
  explicit DialogRelay(AppDelegate& app) : app_(app) {}
  void showDialogError(const QString& message) override;
  bool askDialogQuestion(const QString& message, const QStringList& buttons) override;
  void runBlockingWork(const QString& prompt, const std::function<void()>& work) override;

 protected:
  AppDelegate& app_;
};

// The written file becomes the current one at once.
class SavePfxRelay final : public DialogRelay, public SavePfxWindowControllerDelegate {
 public:
  using DialogRelay::DialogRelay;
  void getSavePfxWindowData(const QString& pfxFilePath, const QString& pfxFileName, const QString& pfxFilePwd) override;
  SavePfxFileWindowResult result;
};

// The accepted file becomes the current one at once.
class LoadPfxRelay final : public DialogRelay, public LoadPfxWindowControllerDelegate {
 public:
  using DialogRelay::DialogRelay;
  void getLoadPfxWindowData(const QString& pfxFilePath, const QString& pfxFilePwd, const StringMap& certInfo) override;
  LoadPfxFileWindowResult result;
};

class DepCertRelay final : public DialogRelay, public DepCertWindowControllerDelegate {
 public:
  using DialogRelay::DialogRelay;
  void getDepCertWindowData(const std::vector<BrowserRecord>& selectedBrowsersInfo) override {
    result = selectedBrowsersInfo;
  }
  std::vector<BrowserRecord> result;
};

class ChgBtsLoginPwdRelay final : public DialogRelay, public UserChgBtsLoginPwdWindowControllerDelegate {
 public:
  using DialogRelay::DialogRelay;
  [[nodiscard]] std::unique_ptr<KARVLib> newProtocolClient() override;
};

}  // namespace karv::app
