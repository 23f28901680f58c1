#pragma once
#include <QString>
#include <QStringList>
#include <optional>

class QWidget;

namespace karv::app {

// Every file chooser of the client goes through one chooser, so tests can
// hand back the next path (or a cancel) from a script.
class FileChooser {
 public:
  struct Request {
    QWidget* parent = nullptr;
    QString title;
    QString startPath;  // a folder, or a file to preselect
    bool files = true;
    bool folders = false;
    QStringList extensions;  // without the dot; empty: any file
  };
  virtual ~FileChooser() = default;
  // The chosen path, or none when the user cancelled.
  [[nodiscard]] virtual std::optional<QString> choose(const Request& request) = 0;
};

// The real chooser: QFileDialog. Qt's dialog cannot offer files and folders
// as one choice, so a request for both opens a save-style dialog: the user
// picks a .pfx file, or goes into a folder and keeps or types the file name.
class QtFileChooser : public FileChooser {
 public:
  [[nodiscard]] std::optional<QString> choose(const Request& request) override;
};

}  // namespace karv::app
