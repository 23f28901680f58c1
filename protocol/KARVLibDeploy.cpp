// KARVLib: installing the certificate into the browsers and removing it:
// the page from the gateway's template, opened in the browsers, and (since a
// page cannot hand a Linux browser a client certificate) the import into
// their certificate databases.
#include <algorithm>

#include "browsers/BrowserCertStores.h"
#include "browsers/BrowserPreselection.h"
#include "browsers/DeployPage.h"
#include "crypto/RSAUtility.h"
#include "protocol/HttpTransport.h"
#include "protocol/KARVLib.h"
#include "system/Log.h"
#include "system/TextCodec.h"

namespace karv {
namespace {
std::string valueOf(const StringMap& map, const char* key) {
  const auto it = map.find(key);
  return it == map.end() ? std::string() : it->second;
}
std::string bundleIdOf(const BrowserRecord& record) { return valueOf(record, "bundleId"); }

// Why the gateway's record cannot say which certificate to remove from the
// browsers' databases, or none when it can: it must name the user's own
// common name and an issuer.
std::optional<const char*> unusableForRemoval(const std::optional<StringMap>& record, const std::string& cn) {
  if (!record) return "the gateway gave no certificate record";
  if (valueOf(*record, "cn").empty() || valueOf(*record, "cn") != cn) return "the record is not of this common name";
  if (valueOf(*record, "issuer").empty()) return "the record has no issuer";
  return std::nullopt;
}
}  // namespace

std::vector<BrowserRecord> KARVLib::getDefaultSelectedBrowserInfo() {
  return preselectBrowsers(getBrowserInfo().value_or(std::vector<BrowserRecord>{}), getSysCfg("depCert.mode"),
                           getSysCfg("depCert.selectedBrowser"));
}

std::optional<std::string> KARVLib::downloadDeployTemplate() {
  const auto configured = getSysCfg("depCert.templateUrl");
  if (!configured) return std::nullopt;
  // The page runs the template's script beside the encrypted PKCS#12: only
  // a template that came over verified TLS (redirects included).
  const std::string url = DeployPage::templateUrl(*configured);
  if (!HttpTransport::isHttpsUrl(url)) {
    logLine("deployment template refused: not an https address");
    return std::nullopt;
  }
  Bytes body;
  const HttpTransport transport(endpoint_.extraCaPem, endpoint_.timeoutSeconds);
  if (!transport.httpDownload(url, body)) return std::nullopt;
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

namespace {
// The browser identifiers of the records, each once, in order.
std::vector<std::string> familiesOf(const std::vector<BrowserRecord>& records) {
  std::vector<std::string> ids;
  for (const auto& record : records)
    if (std::find(ids.begin(), ids.end(), bundleIdOf(record)) == ids.end()) ids.push_back(bundleIdOf(record));
  return ids;
}
}  // namespace

int32_t KARVLib::deployCert(const std::string& pfxFilePath, const std::string& pfxFilePwd,
                            const std::vector<BrowserRecord>& browserInfo) {
  if (browserInfo.empty()) return 1;
  std::string b64X509Cert;
  std::string b64P12Cert;
  CertInfo certInfo;
  if (const int32_t status = RSAUtility().loadPfx(pfxFilePath, pfxFilePwd, b64X509Cert, b64P12Cert, certInfo);
      status != 0)
    return status;

  // The browsers' databases are this client's own work here and come first:
  // whatever becomes of the gateway's page, the certificate is installed.
  const auto pkcs12Der = CommonUtility().base64Decode(b64P12Cert);
  bool imported = pkcs12Der.has_value();
  const BrowserCertStores stores;
  for (const auto& bundleId : familiesOf(browserInfo))
    imported = pkcs12Der && stores.importInto(bundleId, *pkcs12Der, pfxFilePwd) && imported;

  const auto pageTemplate = downloadDeployTemplate();
  if (!pageTemplate) return 1;
  const auto page = DeployPage::fill(*pageTemplate, DeployPage::deploymentBlock(certInfo, b64P12Cert, b64X509Cert));
  const auto url = page ? DeployPage::save(*page) : std::nullopt;
  if (!url) return 1;
  openInBrowsers(browserInfo, *url);
  return imported ? 0 : 1;
}

int32_t KARVLib::removeDeploiedCert(const std::string& cn) {
  const auto browsers = getBrowserInfo();
  if (!browsers) return 1;
  std::optional<StringMap> record;
  std::optional<std::string> errMsg;
  if (const int32_t status = qrySvrCertInfo(cn, record, errMsg); status != 0) return status;

  // As with installation, the databases come first and do not wait for the
  // page. Only the certificate the record names goes; without a usable
  // record, nothing does.
  bool removed = true;
  if (const auto reason = unusableForRemoval(record, cn)) {
    logf("certificate removal from the browsers' databases skipped: %s", *reason);
  } else {
    const BrowserCertStores stores;
    for (const auto& bundleId : familiesOf(*browsers))
      removed = stores.removeFrom(bundleId, cn, record->at("issuer")) && removed;
  }

  const auto pageTemplate = downloadDeployTemplate();
  if (!pageTemplate) return 1;
  const auto page = DeployPage::fill(*pageTemplate, DeployPage::removalBlock(record));
  const auto url = page ? DeployPage::save(*page) : std::nullopt;
  if (!url) return 1;
  openInBrowsers(*browsers, *url);
  return removed ? 0 : 1;
}

}  // namespace karv
