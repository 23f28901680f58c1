// The user's .pfx file: the Save-PFX, Load-PFX and Change-PFX-password
// dialogs, and the current .pfx file they hand back.
#include "AppDelegate.h"
#include "ChgPfxPwdWindowController.h"
#include "Log.h"
#include "PfxPasswordRules.h"

namespace karv::app {
namespace {

QString textOf(const std::optional<std::string>& value) { return QString::fromStdString(value.value_or("")); }

}  // namespace

void AppDelegate::showSavePfxWindow(const QString& b64Cert, const QString& b64PrivateKey, SheetHandler handler) {
  beginSheet(
      savePfxFileController_,
      [&](SavePfxWindowController& c) {
        c.setPfxFile(textOf(getKARVlib()->getCurrentPfxFilePath()));
        c.setB64Cert(b64Cert);
        c.setB64PrivateKey(b64PrivateKey);
        c.setRules(PfxPasswordRules::fromSvrCfg(getKARVlib()->getSvrCfg()));
        c.setFileChooser(services_.fileChooser);
        c.windowDidLoad();
      },
      std::move(handler));
}

void AppDelegate::getSavePfxWindowData(const QString& pfxFilePath, const QString& pfxFileName,
                                       const QString& pfxFilePwd) {
  savePfxFileWindowResult_ = {pfxFilePath, pfxFileName, pfxFilePwd};
  setCurrentPfxFilePath(pfxFilePath + "/" + pfxFileName);
  setCurrentPfxFilePwd(pfxFilePwd);
}

void AppDelegate::showLoadPfxWindow(const QString& cnToCmp, const QString& issuerToCmp, const QString& hexSerialToCmp,
                                    const QString& certHashToCmp, SheetHandler handler) {
  beginSheet(
      loadPfxFileController_,
      [&](LoadPfxWindowController& c) {
        c.setComparison(cnToCmp, issuerToCmp, hexSerialToCmp, certHashToCmp);
        c.setPfxFilePath(textOf(getKARVlib()->getCurrentPfxFilePath()));
        c.setFileChooser(services_.fileChooser);
        c.windowDidLoad();
      },
      std::move(handler));
}

void AppDelegate::getLoadPfxWindowData(const QString& pfxFilePath, const QString& pfxFilePwd,
                                       const StringMap& certInfo) {
  loadPfxFileWindowResult_ = {pfxFilePath, pfxFilePwd, certInfo};
  setCurrentPfxFilePath(pfxFilePath);
  setCurrentPfxFilePwd(pfxFilePwd);
  rememberCurrentCertificate(pfxFilePath, certInfo);
}

void AppDelegate::setCurrentPfxFilePwd(const QString& pwd) {
  getKARVlib()->setCurrentPfxFilePwd(pwd.isNull() ? std::nullopt : std::optional(pwd.toStdString()));
}

void AppDelegate::showChgPfxPwdWindow(SheetHandler handler) {
  beginSheet(
      chgPfxPwdController_,
      [&](ChgPfxPwdWindowController& c) {
        c.setRules(PfxPasswordRules::fromSvrCfg(getKARVlib()->getSvrCfg()));
        c.setPfxFilePath(textOf(getKARVlib()->getCurrentPfxFilePath()));
        logLine("setPfxFilePath done!!");
        c.setFileChooser(services_.fileChooser);
        c.windowDidLoad();
      },
      std::move(handler));
}

void AppDelegate::doChangePfxPwd(const QString&) {
  showChgPfxPwdWindow([this](int returnCode) {
    if (returnCode == PfxDialog::kCancelled)
      doAlert("使用者按下取消鍵");
    else if (returnCode == PfxDialog::kDone)
      doAlert("密碼變更完成");
  });
}

}  // namespace karv::app
