#include "browsers/DeployPage.h"

#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <climits>
#include <cstdint>

#include "system/CommonUtility.h"
#include "system/Log.h"
#include "system/PercentEncoding.h"
#include "system/SecureFiles.h"

namespace karv {
namespace {

constexpr char kPlaceholder[] = "#importCertInfo#";
constexpr size_t kMaxPageBytes = size_t{8} << 20;
constexpr char kOldPages[] = R"(^PLIXDepCert\.[0-9]+\.html$)";

std::string valueOf(const CertInfo& info, const char* key) {
  const auto it = info.find(key);
  return it == info.end() ? std::string() : it->second;
}

}  // namespace

std::string DeployPage::templateUrl(const std::string& configuredUrl) {
  return CommonUtility::replaceAll(configuredUrl, "depCert", "depCertForMac");
}

std::string DeployPage::javaScriptString(const std::string& value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  const auto unicodeEscape = [](std::string& out, uint16_t unit) {
    out += {
        '\\', 'u', kDigits[unit >> 12], kDigits[(unit >> 8) & 0x0F], kDigits[(unit >> 4) & 0x0F], kDigits[unit & 0x0F]};
  };
  std::string out;
  const auto length = static_cast<int32_t>(std::min<size_t>(value.size(), INT32_MAX));
  for (int32_t i = 0; i < length;) {
    UChar32 c;
    U8_NEXT(value.data(), i, length, c);
    if (c < 0) c = 0xFFFD;  // not UTF-8: the replacement character
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '<':  // no "</script>" or "<!--" inside the script element
        unicodeEscape(out, '<');
        break;
      default:
        // Only printable ASCII stays as it is: the page is also read in the
        // template's Big5, where a multi-byte character could swallow the
        // backslash of an escape that follows it.
        if (c >= 0x20 && c < 0x7F) {
          out.push_back(static_cast<char>(c));
        } else if (c <= 0xFFFF) {
          unicodeEscape(out, static_cast<uint16_t>(c));
        } else {
          unicodeEscape(out, U16_LEAD(c));
          unicodeEscape(out, U16_TRAIL(c));
        }
    }
  }
  return out;
}

std::string DeployPage::certInfoBlock(const Members& members, bool commaAfterLast) {
  std::string block = "var certInfo={\n";
  for (size_t i = 0; i < members.size(); ++i) {
    const bool comma = commaAfterLast || i + 1 < members.size();
    block += "\"" + members[i].first + "\":\"" + javaScriptString(members[i].second) + "\"" + (comma ? "," : "") + "\n";
  }
  return block + "};";
}

std::string DeployPage::deploymentBlock(const CertInfo& info, const std::string& b64P12Cert,
                                        const std::string& b64X509Cert) {
  return certInfoBlock({{"opType", "deploy"},
                        {"cn", valueOf(info, "cn")},
                        {"serial", valueOf(info, "serial")},
                        {"issuer", valueOf(info, "issuer")},
                        {"subject", valueOf(info, "subject")},
                        {"notBefore", valueOf(info, "notBefore")},
                        {"notAfter", valueOf(info, "notAfter")},
                        {"certfinger", valueOf(info, "certHash")},
                        {"b64P12Cert", b64P12Cert},
                        {"certb64", b64X509Cert}},
                       true);
}

std::string DeployPage::removalBlock(const std::optional<CertInfo>& record) {
  const CertInfo info = record.value_or(CertInfo{});
  return certInfoBlock({{"opType", "remove"}, {"cn", valueOf(info, "cn")}, {"issuer", valueOf(info, "issuer")}}, false);
}

bool DeployPage::isTemplate(const std::string& text) { return text.find(kPlaceholder) != std::string::npos; }

std::optional<std::string> DeployPage::fill(const std::string& pageTemplate, const std::string& block) {
  const std::string placeholder = kPlaceholder;
  size_t count = 0;
  for (size_t at = pageTemplate.find(placeholder); at != std::string::npos;
       at = pageTemplate.find(placeholder, at + placeholder.size()))
    ++count;
  // A template of many placeholders would make a page of gigabytes.
  if (count > 0 && block.size() > placeholder.size() &&
      count > (kMaxPageBytes - std::min(kMaxPageBytes, pageTemplate.size())) / (block.size() - placeholder.size())) {
    logf("deployment page would pass %zu bytes", kMaxPageBytes);
    return std::nullopt;
  }
  return CommonUtility::replaceAll(pageTemplate, placeholder, block);
}

std::optional<std::string> DeployPage::save(const std::string& html) {
  removeSaved();
  const CommonUtility utility;
  const std::string folder = utility.getPrivateKeyFolder();
  const std::string path = folder + "/PLIXDepCert." + utility.getCurrentTimeStr("yyyyMMddHHmmssSSS") + ".html";
  if (!utility.saveFile(path, html, 0600)) {
    logLine("deployment page not written");
    return std::nullopt;
  }
  return "file:///" + percentEncode(path, true);
}

void DeployPage::removeSaved() {
  // Only the user's own hidden folder, never one that a link leads elsewhere.
  const CommonUtility utility;
  const std::string folder = utility.getPrivateKeyFolder();
  if (isOwnRealFolder(folder)) utility.removeFile(folder, kOldPages);
}

}  // namespace karv
