#pragma once
#include <string>

namespace karv::gateway {

// What the gateway serves by plain GET: the browser deployment template
// (Big5, holding "#importCertInfo#" inside its script) and the installer
// package of a newer client.
class DownloadPages {
 public:
  // Reads the template (UTF-8 on disk) and the installer ("" for a small
  // stand-in package). False, with the reason, when either cannot be had or
  // the template has characters without a Big5 form.
  [[nodiscard]] bool load(const std::string& templateFile, const std::string& installerFile, std::string& error);

  [[nodiscard]] const std::string& templateBig5() const { return templateBig5_; }
  [[nodiscard]] const std::string& installer() const { return installer_; }

 private:
  std::string templateBig5_;
  std::string installer_;
};

}  // namespace karv::gateway
