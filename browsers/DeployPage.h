#pragma once
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "crypto/CertInfo.h"

namespace karv {

// The browser installation and removal pages: the gateway's template with a
// JavaScript block that defines certInfo in place of "#importCertInfo#",
// saved as the one page of the hidden working folder.
class DeployPage {
 public:
  using Members = std::vector<std::pair<std::string, std::string>>;

  // What the template address of the configuration becomes for this client:
  // every "depCert" turns into "depCertForMac".
  [[nodiscard]] static std::string templateUrl(const std::string& configuredUrl);

  // The text of a JavaScript string literal between double quotes, in ASCII
  // only and safe inside an HTML script element: quotes, backslashes, line
  // breaks, "<" (so no "</script>" or "<!--") and everything outside printable
  // ASCII (as \uXXXX UTF-16 code units) are escaped.
  [[nodiscard]] static std::string javaScriptString(const std::string& value);

  // "var certInfo={", one line "name":"value", per member, "};" (no line
  // feed after it). The last member keeps its comma only when asked.
  [[nodiscard]] static std::string certInfoBlock(const Members& members, bool commaAfterLast);

  // The installation block: every member line ends with a comma.
  [[nodiscard]] static std::string deploymentBlock(const CertInfo& certInfo, const std::string& b64P12Cert,
                                                   const std::string& b64X509Cert);
  // The removal block from the gateway's record (empty values without one).
  [[nodiscard]] static std::string removalBlock(const std::optional<CertInfo>& record);

  // Whether the text has a placeholder for the block.
  [[nodiscard]] static bool isTemplate(const std::string& text);
  // Every placeholder replaced by the block, as plain text; none when the
  // page would pass 8 MB (a template of thousands of placeholders).
  [[nodiscard]] static std::optional<std::string> fill(const std::string& pageTemplate, const std::string& block);

  // Deletes the older pages, then writes the page (owner-only, atomically)
  // as PLIXDepCert.<17 digits of local time>.html into the hidden working
  // folder. Its file:// address, or none when it could not be written.
  [[nodiscard]] static std::optional<std::string> save(const std::string& html);
  // Deletes every saved page (the one holding the encrypted PKCS#12 included):
  // the files of the hidden working folder named like one, never links or
  // folders.
  static void removeSaved();
};

}  // namespace karv
