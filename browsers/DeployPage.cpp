#include "browsers/DeployPage.h"

#include "system/CommonUtility.h"
#include "system/PercentEncoding.h"
#include "system/Log.h"

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
  std::string out;
  for (size_t i = 0; i < value.size(); ++i) {
    const auto c = static_cast<unsigned char>(value[i]);
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
      case '<':
        out += "\\u003C";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          out += {'\\', 'u', '0', '0', kDigits[c >> 4], kDigits[c & 0x0F]};
        } else if (c == 0xE2 && i + 2 < value.size() && static_cast<unsigned char>(value[i + 1]) == 0x80 &&
                   (value[i + 2] == '\xA8' || value[i + 2] == '\xA9')) {
          // U+2028 and U+2029 end a line inside older script engines' literals.
          out += value[i + 2] == '\xA8' ? "\\u2028" : "\\u2029";
          i += 2;
        } else {
          out.push_back(static_cast<char>(c));
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
  const CommonUtility utility;
  const std::string folder = utility.getPrivateKeyFolder();
  utility.removeFile(folder, kOldPages);
  const std::string path = folder + "/PLIXDepCert." + utility.getCurrentTimeStr("yyyyMMddHHmmssSSS") + ".html";
  if (!utility.saveFile(path, html, 0600)) {
    logLine("deployment page not written");
    return std::nullopt;
  }
  return "file:///" + percentEncode(path, true);
}

}  // namespace karv
