#pragma once
#include <QString>
#include <QUrl>

#include "browsers/BrowserOpener.h"

namespace karv::app {

// What the client asks of the desktop: opening addresses and files (also in
// a given browser), showing a file in the file manager. Tests install a
// recording double.
class DesktopServices : public BrowserOpener {
 public:
  ~DesktopServices() override = default;
  // Opens an https address in the default browser.
  virtual bool openUrl(const QUrl& url) = 0;
  // Opens a local file with its associated application; false when that failed.
  virtual bool openFile(const QString& path) = 0;
  // Shows the file selected in the file manager (or at least its folder);
  // false when nothing answered.
  virtual bool revealFile(const QString& path) = 0;
};

class XdgDesktopServices : public DesktopServices {
 public:
  bool openUrl(const QUrl& url) override;
  bool openFile(const QString& path) override;
  bool revealFile(const QString& path) override;
  bool openUrlWithBrowser(const std::string& bundleId, const std::string& url) override;
};

}  // namespace karv::app
