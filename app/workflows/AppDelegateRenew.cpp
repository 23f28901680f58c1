// Renewal of a certificate about to expire: no new identity verification,
// the new request is signed with the key of the old .pfx instead. A renewal
// left unfinished (the new certificate issued, not saved) is continued
// without a signature, and saved with the key kept from that attempt.
#include "app/AppDelegate.h"
#include "app/RecordText.h"
#include "app/SecretText.h"
#include "app/dialogs/LoadPfxWindowController.h"
#include "app/dialogs/SavePfxWindowController.h"
#include "app/dialogs/UserAgreementWindowController.h"

namespace karv::app {
namespace {

// The renewal position of the function status as a number: 1 renew, 2
// continue, anything else (no digit, no position) refuses.
int renewalState(const QString& fnStatus) {
  return fnStatus.size() >= 2 && fnStatus[1].isDigit() ? fnStatus[1].digitValue() : 0;
}

}  // namespace

void AppDelegate::doRenewCert(const QString& cn) {
  askUserAgreement([this, cn](int returnCode) {
    if (returnCode == UserAgreementWindowController::kCancelled) {
      hideMask();
      doAlert("使用者按下取消鍵，無法進行憑證更新");
    } else if (returnCode == UserAgreementWindowController::kAgreed) {
      renewAgreed(cn);
    }
  });
}

void AppDelegate::renewAgreed(const QString& cn) {
  switch (renewalState(currentFnStatus_)) {
    case 2:
      showMask("正在接續前次未完成的憑證更新...");
      (void)doRenewCert(cn, QString(), QString());
      break;
    case 1:
      showMask("正在進行憑證更新...");
      doRenewCertWithSign(cn);
      break;
    default:
      hideMask();
      doAlert("您目前不允許進行憑證更新");
  }
}

void AppDelegate::doRenewCertWithSign(const QString& cn) {
  showMask("取得將屆期舊憑證資訊中...");
  KARVLib* lib = getKARVlib();
  const auto lastActive = runBlocking([lib, cnText = cn.toStdString()] { return lib->getLastActiveCertInfo(cnText); });
  if (!lastActive || lastActive->empty()) {
    hideMask();
    doAlert("讀取伺服器端將屆期憑證資訊失敗，請稍後再嘗試進行憑證更新");
    return;
  }
  showMask("正在驗證舊憑證資訊");
  // Only the user's file of the certificate being renewed passes.
  showLoadPfxWindow(cn, recordText(*lastActive, "issuer"), recordText(*lastActive, "serial"), QString(),
                    [this, cn](int returnCode, const LoadPfxFileWindowResult& loaded) {
                      if (returnCode == PfxDialog::kCancelled) {
                        hideMask();
                        doAlert("使用者按下取消鍵，憑證更新取消");
                      } else if (returnCode == PfxDialog::kDone) {
                        showMask("正在進行憑證更新");
                        (void)doRenewCert(cn, loaded.pfxFilePath, loaded.pfxFilePwd);
                      }
                    });
}

int32_t AppDelegate::doRenewCert(const QString& cn, const QString& pfxFilePath, const QString& pfxFilePwd) {
  KARVLib* lib = getKARVlib();
  const std::string cnText = cn.toStdString();
  const std::string path = pfxFilePath.toStdString();
  std::string pwd = pfxFilePwd.toStdString();
  std::string b64Cert;
  StringMap certInfo;
  std::optional<std::string> errMsg;
  const int32_t result = runBlocking([&] { return lib->renewCert(cnText, path, pwd, b64Cert, certInfo, errMsg); });
  wipeSecret(pwd);
  if (result != 0) {
    hideMask();
    showErrMsg(result, errMsg);
    setBtnStatus();
    return result;
  }
  renewCertInfo_ = std::move(certInfo);
  showMask("正在儲存憑證資訊");
  // No key here: the dialog takes the one that key generation kept.
  showSavePfxWindow(QString::fromStdString(b64Cert), QString(),
                    [this](int returnCode, const SavePfxFileWindowResult& saved) { renewSaved(returnCode, saved); });
  return 0;
}

void AppDelegate::renewSaved(int returnCode, const SavePfxFileWindowResult& saved) {
  if (returnCode == PfxDialog::kCancelled) {
    hideMask();
    doAlert("使用者按下取消鍵，無法儲存憑證，憑證更新未完成");
    return;
  }
  if (returnCode != PfxDialog::kDone) return;
  // Unlike an application, the report names no place for the file.
  reportSavedCert(renewCertInfo_, saved, std::nullopt,
                  {"正在回報憑證儲存狀態", QString(), "憑證更新失敗!!", "憑證更新完成!!"});
}

}  // namespace karv::app
