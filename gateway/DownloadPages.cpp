#include "gateway/DownloadPages.h"

#include "system/SecureFiles.h"
#include "system/TextCodec.h"

namespace karv::gateway {

bool DownloadPages::load(const std::string& templateFile, const std::string& installerFile, std::string& error) {
  const auto page = readWholeFile(templateFile);
  if (!page || page->find("#importCertInfo#") == std::string::npos) {
    error = "cannot read a deployment template with \"#importCertInfo#\" from " + templateFile;
    return false;
  }
  const auto big5 = utf8ToBig5(*page);
  if (!big5) {
    error = "the deployment template " + templateFile + " has characters without a Big5 form";
    return false;
  }
  templateBig5_ = *big5;
  if (installerFile.empty()) {
    installer_ = "KARV development installer package (a stand-in served by karv-gateway)\n";
    return true;
  }
  const auto package = readWholeFile(installerFile, size_t{512} << 20);
  if (!package || package->empty()) {
    error = "cannot read the installer package " + installerFile;
    return false;
  }
  installer_ = *package;
  return true;
}

}  // namespace karv::gateway
