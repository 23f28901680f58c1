// Certificate application once the identity is verified: the agreement, the
// request (a new key pair, or the key kept from an application left
// unfinished), the Save-PFX dialog, the activation report and the offer to
// install the certificate into the browsers.
#include "app/AppDelegate.h"
#include "app/SecretText.h"
#include "app/dialogs/SavePfxWindowController.h"
#include "app/dialogs/UserAgreementWindowController.h"

namespace karv::app {

void AppDelegate::doApplyCert(const QString& cn) {
  askUserAgreement([this, cn](int returnCode) {
    if (returnCode == UserAgreementWindowController::kCancelled)
      hideMask();
    else if (returnCode == UserAgreementWindowController::kAgreed)
      applyAgreed(cn);
  });
}

void AppDelegate::applyAgreed(const QString& cn) {
  showMask("正在進行憑證申請...");
  KARVLib* lib = getKARVlib();
  const std::string cnText = cn.toStdString();
  std::string b64PrivateKey;
  std::string b64Cert;
  StringMap certInfo;
  std::optional<std::string> errMsg;
  const int32_t result = runBlocking([&] { return lib->applyCert(cnText, b64PrivateKey, b64Cert, certInfo, errMsg); });
  showMask("正在取回憑證資訊...");
  if (result != 0) {
    wipeSecret(b64PrivateKey);
    hideMask();
    showErrMsg(result, errMsg);
    setBtnStatus();
    return;
  }
  applyCertInfo_ = std::move(certInfo);
  showMask("正在儲存憑證資訊...");
  const QString currentPath = QString::fromStdString(lib->getCurrentPfxFilePath().value_or(""));
  doApplyCertSaveToPfx(QString::fromStdString(b64Cert), QString::fromStdString(b64PrivateKey), currentPath, QString(),
                       errMsg);
  wipeSecret(b64PrivateKey);  // the dialog has its own copy, which it wipes when it ends
}

void AppDelegate::doApplyCertSaveToPfx(const QString& b64Cert, const QString& b64PrivateKey,
                                       const QString& /*pfxFilePath*/, const QString& /*pfxFilePwd*/,
                                       const std::optional<std::string>& /*errMsg*/) {
  showSavePfxWindow(b64Cert, b64PrivateKey,
                    [this](int returnCode, const SavePfxFileWindowResult& saved) { applySaved(returnCode, saved); });
}

void AppDelegate::applySaved(int returnCode, const SavePfxFileWindowResult& saved) {
  if (returnCode == PfxDialog::kCancelled) {
    doAlert("使用者取消儲存憑證檔，憑證申請未完成");
    hideMask();
    return;
  }
  if (returnCode != PfxDialog::kDone) return;
  // The gateway learns the folder of the file.
  reportSavedCert(applyCertInfo_, saved, saved.pfxFilePath.toStdString(),
                  {QString(), "已完成憑證儲存", "憑證申請失敗", "憑證申請完成"});
}

}  // namespace karv::app
