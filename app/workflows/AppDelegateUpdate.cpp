// The client update after the gateway refused this version: download the
// installer, hand it to the system, and let the version check quit.
#include "app/AppDelegate.h"

namespace karv::app {

void AppDelegate::runClientUpdate() {
  doAlert("您目前使用的用戶端軟體版本過舊，將為您自動進行軟體更新");
  KARVLib* lib = getKARVlib();
  const QString installer = QString::fromStdString(runBlocking([lib] { return lib->dlNewClient(); }));
  if (installer.isEmpty()) {
    doAlert("檔案下載失敗，請稍後再重新嘗試檔案更新");
    return;
  }
  doAlert("新版用戶端軟體安裝檔下載完成!!\n\n接下來請按照系統指引安裝新用戶端軟體");
  if (!services_.desktop->openFile(installer)) doAlert("軟體更新失敗，無法啟動新用戶端軟體安裝程序");
}

}  // namespace karv::app
