// KARVLib: installing the certificate into the browsers and removing it:
// the page from the gateway's template, opened in the browsers, and (since a
// page cannot hand a Linux browser a client certificate) the import into
// their certificate databases.
#include "browsers/BrowserCertStores.h"
#include "browsers/BrowserPreselection.h"
#include "browsers/DeployPage.h"
#include "protocol/HttpTransport.h"
#include "protocol/KARVLib.h"
#include "system/Log.h"
#include "crypto/RSAUtility.h"
#include "system/TextCodec.h"

namespace karv {
namespace {
std::string bundleIdOf(const BrowserRecord& record) {
  const auto it = record.find("bundleId");
  return it == record.end() ? std::string() : it->second;
}
}  // namespace

std::vector<BrowserRecord> KARVLib::getDefaultSelectedBrowserInfo() {
  return preselectBrowsers(getBrowserInfo().value_or(std::vector<BrowserRecord>{}),
                           getSysCfg("depCert.mode"), getSysCfg("depCert.selectedBrowser"));
}

std::optional<std::string> KARVLib::downloadDeployTemplate() {
  const auto configured = getSysCfg("depCert.templateUrl");
  if (!configured) return std::nullopt;
  Bytes body;
  const HttpTransport transport(endpoint_.extraCaPem, endpoint_.timeoutSeconds);
  if (!transport.httpDownload(DeployPage::templateUrl(*configured), body)) return std::nullopt;
  auto text = big5ToUtf8(std::string_view(reinterpret_cast<const char*>(body.data()), body.size()));
  if (!text) {
    logLine("deployment template is not Big5 text");
  } else if (!DeployPage::isTemplate(*text)) {
    // A page with no place for the certificate would install nothing.
    logLine("deployment template has no certificate placeholder");
    return std::nullopt;
  }
  return text;
}

void KARVLib::openInBrowsers(const std::vector<BrowserRecord>& browsers, const std::string& url) {
  for (const auto& record : browsers)
    if (!browserOpener_->openUrlWithBrowser(bundleIdOf(record), url)) logLine("open fail!!");
}

int32_t KARVLib::deployCert(const std::string& pfxFilePath, const std::string& pfxFilePwd,
                            const std::vector<BrowserRecord>& browserInfo) {
  if (browserInfo.empty()) return 1;
  const auto pageTemplate = downloadDeployTemplate();
  if (!pageTemplate) return 1;
  std::string b64X509Cert;
  std::string b64P12Cert;
  CertInfo certInfo;
  if (const int32_t status = RSAUtility().loadPfx(pfxFilePath, pfxFilePwd, b64X509Cert, b64P12Cert, certInfo);
      status != 0)
    return status;
  const auto page = DeployPage::fill(*pageTemplate, DeployPage::deploymentBlock(certInfo, b64P12Cert, b64X509Cert));
  const auto url = page ? DeployPage::save(*page) : std::nullopt;
  if (!url) return 1;
  openInBrowsers(browserInfo, *url);

  const auto pkcs12Der = CommonUtility().base64Decode(b64P12Cert);
  if (!pkcs12Der) return 1;
  bool imported = true;
  const BrowserCertStores stores;
  for (const auto& record : browserInfo)
    imported = stores.importInto(bundleIdOf(record), *pkcs12Der, pfxFilePwd) && imported;
  return imported ? 0 : 1;
}

int32_t KARVLib::removeDeploiedCert(const std::string& cn) {
  const auto browsers = getBrowserInfo();
  if (!browsers) return 1;
  const auto pageTemplate = downloadDeployTemplate();
  if (!pageTemplate) return 1;
  std::optional<StringMap> record;
  std::optional<std::string> errMsg;
  if (const int32_t status = qrySvrCertInfo(cn, record, errMsg); status != 0) return status;
  const auto page = DeployPage::fill(*pageTemplate, DeployPage::removalBlock(record));
  const auto url = page ? DeployPage::save(*page) : std::nullopt;
  if (!url) return 1;
  openInBrowsers(*browsers, *url);

  const std::string issuer = record && record->count("issuer") ? record->at("issuer") : std::string();
  bool removed = true;
  const BrowserCertStores stores;
  for (const auto& browser : *browsers) removed = stores.removeFrom(bundleIdOf(browser), cn, issuer) && removed;
  return removed ? 0 : 1;
}

}  // namespace karv
