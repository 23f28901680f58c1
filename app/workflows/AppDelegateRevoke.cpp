// Revocation once the identity is verified: one request to the gateway. It
// works on the gateway's record alone; the local .pfx, the current file and
// the browsers are left as they are.
#include "app/AppDelegate.h"

namespace karv::app {

void AppDelegate::doRevokeCert(const QString& cn) {
  showMask("正在進行憑證廢止...");
  KARVLib* lib = getKARVlib();
  const std::string cnText = cn.toStdString();
  std::optional<std::string> errMsg;
  const int32_t result = runBlocking([&] { return lib->revokeCert(cnText, nullptr, errMsg); });
  hideMask();
  if (result != 0) {
    showErrMsg(result, errMsg);
  } else {
    doAlert("廢止憑證完成");
    noteCertificateRevoked(cn);
  }
  setBtnStatus();  // the buttons and the server table follow the gateway's view
}

}  // namespace karv::app
