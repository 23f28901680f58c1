// Installing the user's certificate into the browsers, and removing it: the
// browser choice (by the user, or by the configuration in mode "N"), then
// the protocol client imports the .pfx into the browsers' databases, writes
// the page and opens it.
#include <algorithm>

#include "app/AppDelegate.h"
#include "app/DialogRelays.h"
#include "app/RecordText.h"
#include "browsers/BrowserLayouts.h"
#include "system/Log.h"

namespace karv::app {
namespace {

// A running browser of the Chromium family keeps, for the rest of its run,
// the answer a site got when it asked for a certificate before there was
// one; a new certificate reaches that site only after a restart. Firefox
// looks in its database again at each request.
constexpr char kChromiumRestartNotice[] =
    "若 Chrome、Chromium、Brave、Edge、Vivaldi 或 Opera 瀏覽器在安裝前已經開啟，請將該瀏覽器完全關閉後重新開啟，"
    "才能以新憑證登入網站";

bool includesChromiumFamily(const std::vector<BrowserRecord>& browsers) {
  return std::any_of(browsers.begin(), browsers.end(), [](const BrowserRecord& r) {
    return r.contains("bundleId") && r.at("bundleId") == kChromeFamily;
  });
}

}  // namespace

void AppDelegate::doDepCert(const QString& cn) {
  KARVLib* lib = getKARVlib();
  const auto lastActive = runBlocking([lib, cn = cn.toStdString()] { return lib->getLastActiveCertInfo(cn); });
  // Without a record from the gateway any readable .pfx is accepted.
  auto field = [&](const char* key) { return lastActive ? recordText(*lastActive, key) : QString(); };
  showLoadPfxWindow(field("cn"), field("issuer"), field("hexSerial"), QString(),
                    [this](int returnCode, const LoadPfxFileWindowResult&) {
                      if (returnCode == LoadPfxWindowController::kCancelled) {
                        doAlert("使用者按下取消鍵，無法進行瀏覽器憑證安裝");
                      } else if (returnCode == LoadPfxWindowController::kDone) {
                        doDepCertChooseBrowser();  // the dialog's data made its file the current one
                      }
                    });
}

void AppDelegate::doDepCertChooseBrowser() {
  KARVLib* lib = getKARVlib();
  const auto mode = runBlocking([lib] { return lib->getSysCfg("depCert.mode"); });
  logf("depCert.mode=%s", mode.value_or("(null)").c_str());
  if (mode == "N") {
    doAlert("接下來將為您進行瀏覽器憑證安裝");
    auto browsers = runBlocking([lib] { return lib->getDefaultSelectedBrowserInfo(); });
    std::erase_if(browsers, [](const BrowserRecord& r) { return !r.contains("selected") || r.at("selected") != "Y"; });
    deployCertToBrowsers(browsers);
    return;
  }
  showDepCertWindow(mode, [this](int returnCode, const std::vector<BrowserRecord>& chosen) {
    if (returnCode == DepCertWindowController::kCancelled)
      doAlert("使用者按下取消鍵");
    else if (returnCode == DepCertWindowController::kChosen)
      deployCertToBrowsers(chosen);
  });
}

void AppDelegate::deployCertToBrowsers(const std::vector<BrowserRecord>& browsers) {
  KARVLib* lib = getKARVlib();
  const std::string path = lib->getCurrentPfxFilePath().value_or("");
  const std::string pwd = lib->getCurrentPfxFilePwd().value_or("");
  int32_t result = 1;
  runBlockingWork("正在安裝瀏覽器憑證...", [&] { result = lib->deployCert(path, pwd, browsers); });
  if (result != 0)
    doAlert("瀏覽器憑證安裝失敗");
  else if (includesChromiumFamily(browsers))
    doAlert(kChromiumRestartNotice);
}

void AppDelegate::showDepCertWindow(const std::optional<std::string>& mode,
                                    ResultHandler<std::vector<BrowserRecord>> handler) {
  KARVLib* lib = getKARVlib();
  auto browsers = runBlocking([lib] { return lib->getDefaultSelectedBrowserInfo(); });
  sheets_.open<DepCertWindowController>(
      std::make_shared<DepCertRelay>(*this),
      [selectMode = QString::fromStdString(mode.value_or("")), browsers](DepCertWindowController& dialog) {
        dialog.setSelectMode(selectMode);
        dialog.setBrowsersInfo(browsers);
        dialog.windowDidLoad();
      },
      std::move(handler));
}

int32_t AppDelegate::doRmvDepCert(const QString& cn) {
  KARVLib* lib = getKARVlib();
  return runBlocking([lib, cn = cn.toStdString()] { return lib->removeDeploiedCert(cn); });
}

}  // namespace karv::app
