#include "app/DialogRelays.h"

#include "app/AppDelegate.h"

namespace karv::app {

void DialogRelay::showDialogError(const QString& message) { app_.showDialogError(message); }

bool DialogRelay::askDialogQuestion(const QString& message, const QStringList& buttons) {
  return app_.askDialogQuestion(message, buttons);
}

void DialogRelay::runBlockingWork(const QString& prompt, const std::function<void()>& work) {
  app_.runBlockingWork(prompt, work);
}

void SavePfxRelay::getSavePfxWindowData(const QString& pfxFilePath, const QString& pfxFileName,
                                        const QString& pfxFilePwd) {
  result = {pfxFilePath, pfxFileName, pfxFilePwd};
  app_.getSavePfxWindowData(pfxFilePath, pfxFileName, pfxFilePwd);
}

void LoadPfxRelay::getLoadPfxWindowData(const QString& pfxFilePath, const QString& pfxFilePwd,
                                        const StringMap& certInfo) {
  result = {pfxFilePath, pfxFilePwd, certInfo};
  app_.getLoadPfxWindowData(pfxFilePath, pfxFilePwd, certInfo);
}

std::unique_ptr<KARVLib> ChgBtsLoginPwdRelay::newProtocolClient() { return app_.newProtocolClient(); }

}  // namespace karv::app
