// The user's .pfx file: the Save-PFX, Load-PFX and Change-PFX-password
// dialogs, the current .pfx file they hand back, and what follows once an
// issued certificate is saved.
#include "app/AppDelegate.h"
#include "app/DialogRelays.h"
#include "app/RecordText.h"
#include "app/SecretText.h"
#include "app/dialogs/ChgPfxPwdWindowController.h"
#include "app/dialogs/PfxPasswordRules.h"
#include "crypto/RSAUtility.h"
#include "system/Log.h"

namespace karv::app {
namespace {

QString textOf(const std::optional<std::string>& value) { return QString::fromStdString(value.value_or("")); }

// Asked once the gateway knows of a saved certificate.
const char kInstallQuestion[] =
    "點選確定後，系統將自動開啟瀏覽器進行憑證匯入瀏覽器作業，"
    "待匯入完成後，將此程式與開啟之網頁關閉即可開始線上交易。";

// The gateway's identifier of an issued certificate; 0 when the record has
// none or it is not a 32-bit number.
int32_t certApplyIdOf(const StringMap& certInfo) {
  bool ok = false;
  const int32_t id = recordText(certInfo, "certId").trimmed().toInt(&ok);
  return ok ? id : 0;
}

}  // namespace

void AppDelegate::showSavePfxWindow(const QString& b64Cert, const QString& b64PrivateKey,
                                    ResultHandler<SavePfxFileWindowResult> handler) {
  // The key is copied into the setting up only: the dialog wipes its copy when it ends.
  sheets_.open<SavePfxWindowController>(
      std::make_shared<SavePfxRelay>(*this),
      [this, b64Cert, b64PrivateKey](SavePfxWindowController& c) {
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
  setCurrentPfxFilePath(pfxFilePath + "/" + pfxFileName);
  setCurrentPfxFilePwd(pfxFilePwd);
}

void AppDelegate::showLoadPfxWindow(const QString& cnToCmp, const QString& issuerToCmp, const QString& hexSerialToCmp,
                                    const QString& certHashToCmp, ResultHandler<LoadPfxFileWindowResult> handler) {
  // After a save the installation and the client table may both ask for the
  // file: the host opens the second dialog once the first has ended, and it
  // proposes the file current by then.
  sheets_.open<LoadPfxWindowController>(
      std::make_shared<LoadPfxRelay>(*this),
      [=, this](LoadPfxWindowController& c) {
        c.setComparison(cnToCmp, issuerToCmp, hexSerialToCmp, certHashToCmp);
        c.setPfxFilePath(textOf(getKARVlib()->getCurrentPfxFilePath()));
        c.setFileChooser(services_.fileChooser);
        c.windowDidLoad();
      },
      std::move(handler));
}

void AppDelegate::getLoadPfxWindowData(const QString& pfxFilePath, const QString& pfxFilePwd,
                                       const StringMap& certInfo) {
  setCurrentPfxFilePath(pfxFilePath);
  setCurrentPfxFilePwd(pfxFilePwd);
  rememberCurrentCertificate(pfxFilePath, certInfo);
}

void AppDelegate::setCurrentPfxFilePwd(const QString& pwd) {
  getKARVlib()->setCurrentPfxFilePwd(pwd.isNull() ? std::nullopt : std::optional(pwd.toStdString()));
}

void AppDelegate::reportSavedCert(const StringMap& certInfo, const SavePfxFileWindowResult& saved,
                                  const std::optional<std::string>& certPath, const SavedCertTexts& texts) {
  if (!texts.reportPrompt.isEmpty()) showMask(texts.reportPrompt);
  KARVLib* lib = getKARVlib();
  const int32_t certApplyId = certApplyIdOf(certInfo);
  const int32_t result = runBlocking([&] {
    std::optional<std::string> unused;  // the activation hands back no message
    return lib->activeCert(certApplyId, certPath, unused);
  });
  if (result != 0) {
    doAlert(texts.failed);
    hideMask();
  } else {
    removeKeyFilesOfSavedPfx(saved);
    if (!texts.savedPrompt.isEmpty()) showMask(texts.savedPrompt);
    hideMask();
    doAlert(texts.done);
    if (doConfirm(kInstallQuestion)) doDepCert(userCn());  // returns with its Load-PFX dialog open
  }
  // The file stays written and current either way: the client table shows it.
  setBtnStatus();
  doQryClntCertInfo(userCn(), true);
}

void AppDelegate::removeKeyFilesOfSavedPfx(const SavePfxFileWindowResult& saved) {
  const std::string path = (saved.pfxFilePath + "/" + saved.pfxFileName).toStdString();
  std::string pwd = saved.pfxFilePwd.toStdString();
  const int removed = runBlocking([&] { return RSAUtility().removeKeyFilesSavedIn(path, pwd); });
  wipeSecret(pwd);
  if (removed < 0) logLine("saved pfx file does not hold its key: key files kept");
}

void AppDelegate::showChgPfxPwdWindow(SheetHandler handler) {
  sheets_.open<ChgPfxPwdWindowController>(
      [this](ChgPfxPwdWindowController& c) {
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
