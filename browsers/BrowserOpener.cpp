#include "browsers/BrowserOpener.h"

#include "browsers/DetachedProcess.h"
#include "browsers/XdgBrowsers.h"

namespace karv {

bool XdgBrowserOpener::openUrlWithBrowser(const std::string& bundleId, const std::string& url) {
  const auto entry = XdgBrowsers().findBrowser(bundleId);
  return entry && launchDetached(entry->program, entry->commandFor(url));
}

}  // namespace karv
