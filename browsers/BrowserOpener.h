#pragma once
#include <string>

namespace karv {

// Opens an address in the browser that a browser identifier
// ("com.google.Chrome") names, starting it if needed, without waiting for it.
class BrowserOpener {
 public:
  virtual ~BrowserOpener() = default;
  // False when the browser is not installed or could not be started.
  virtual bool openUrlWithBrowser(const std::string& bundleId, const std::string& url) = 0;
};

// The desktop's way: the command of the browser's desktop entry for the
// address, started detached and without a shell.
class XdgBrowserOpener : public BrowserOpener {
 public:
  bool openUrlWithBrowser(const std::string& bundleId, const std::string& url) override;
};

}  // namespace karv
