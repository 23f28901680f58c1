#pragma once
#include <QIcon>
#include <QString>

namespace karv::app {

// The icon an application's desktop entry names: a file when the entry gives
// a path, else the icon theme's (the hicolor theme and the pixmaps folders
// when no desktop theme is set). A generic icon when none is found.
[[nodiscard]] QIcon applicationIcon(const QString& desktopEntryPath);

// KARV's own icon (scalable, sharp at any scale): the windows' icon and the
// picture of its messages.
[[nodiscard]] QIcon karvIcon();

}  // namespace karv::app
