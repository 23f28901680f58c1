#include "app/ApplicationIcon.h"

#include <QApplication>
#include <QFileInfo>
#include <QStyle>

#include "system/XdgDirs.h"
#include "system/XdgKeyFile.h"

namespace karv::app {
namespace {

// Where icon themes and loose application icons live.
QStringList iconFilesFor(const QString& name) {
  std::vector<std::string> dataDirs{xdg::dataHome()};
  for (const auto& dir : xdg::dataDirs()) dataDirs.push_back(dir);
  QStringList files;
  for (const auto& dir : dataDirs) {
    const QString base = QString::fromStdString(dir);
    for (const char* size : {"256x256", "128x128", "64x64", "48x48", "scalable"})
      for (const char* ext : {".png", ".svg"})
        files << QString("%1/icons/hicolor/%2/apps/%3%4").arg(base, size, name, ext);
    files << QString("%1/pixmaps/%2.png").arg(base, name) << QString("%1/pixmaps/%2.xpm").arg(base, name);
  }
  return files;
}

}  // namespace

QIcon applicationIcon(const QString& desktopEntryPath) {
  const auto entry = xdg::KeyFile::load(desktopEntryPath.toStdString());
  const QString name = QString::fromStdString(entry ? entry->value("Desktop Entry", "Icon").value_or("") : "");
  if (QFileInfo(name).isAbsolute() && QFileInfo::exists(name)) return QIcon(name);
  if (!name.isEmpty() && !name.contains('/')) {
    if (QIcon themed = QIcon::fromTheme(name); !themed.isNull()) return themed;
    for (const QString& file : iconFilesFor(name))
      if (QFileInfo::exists(file)) return QIcon(file);
  }
  return QApplication::style()->standardIcon(QStyle::SP_DesktopIcon);
}

QIcon karvIcon() { return QIcon(QStringLiteral(":/karv.svg")); }

}  // namespace karv::app
