// What the gateway and the local .pfx hold about the user's certificate,
// shown in the main window's two tables.
#include "app/AppDelegate.h"
#include "app/RecordText.h"
#include "app/dialogs/LoadPfxWindowController.h"
#include "system/CommonUtility.h"
#include "ui_MainWindow.h"

namespace karv::app {
namespace {
// The gateway's "state" of a revoked certificate.
const QString kRevokedState = QStringLiteral("2");
}  // namespace

int32_t AppDelegate::doQrySvrCertInfo(const QString& cn) {
  std::optional<StringMap> record;
  std::optional<std::string> errMsg;
  KARVLib* lib = getKARVlib();
  const std::string cnText = cn.toStdString();
  const int32_t result = runBlocking([&] { return lib->qrySvrCertInfo(cnText, record, errMsg); });
  if (result == 0) {
    if (record)
      renderSvrCertInfo(*record);
    else
      certificateTables_.clearSvrCertInfo();  // rejected: no certificate to show
  }
  // Revoked elsewhere too (at a branch, say): the gateway's record says so.
  if (record && recordText(*record, "state") == kRevokedState)
    noteCertificateRevoked(recordText(*record, "cn"), recordText(*record, "serial"));
  return result;
}

int32_t AppDelegate::doQryClntCertInfo(const QString& cn, bool tryToLoad) {
  if (tryToLoad) {
    KARVLib* lib = getKARVlib();
    const std::string path = lib->getCurrentPfxFilePath().value_or("");
    const std::string pwd = lib->getCurrentPfxFilePwd().value_or("");
    StringMap record;
    int32_t result = -1;
    runBlockingWork("正在讀取憑證檔...", [&] {
      std::optional<std::string> errMsg;
      result = lib->qryClntCertInfo(cn.toStdString(), path, pwd, record, errMsg);
    });
    if (result == 0) {
      renderClntCertInfo(record);
      rememberCurrentCertificate(QString::fromStdString(path), record);
      return 0;
    }
  }
  // No file yet, or it does not open with the current password: the user picks it.
  showLoadPfxWindow("", "", "", "", [this](int returnCode, const LoadPfxFileWindowResult& loaded) {
    if (returnCode == PfxDialog::kCancelled)
      doAlert("使用者按下取消鍵，無法查詢用戶端憑證資訊");
    else if (returnCode == PfxDialog::kDone)
      renderClntCertInfo(loaded.certInfo);
  });
  return -1;
}

void AppDelegate::renderSvrCertInfo(const StringMap& record) { certificateTables_.renderSvrCertInfo(record); }

void AppDelegate::renderClntCertInfo(const StringMap& record) { certificateTables_.renderClntCertInfo(record); }

}  // namespace karv::app
