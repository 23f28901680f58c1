#pragma once
#include <string>
#include <vector>

namespace karv::xdg {

// The XDG base directories as the environment sets them, with the standard
// defaults; relative settings are ignored, as the base-directory rules ask.
[[nodiscard]] std::string dataHome();                 // $XDG_DATA_HOME, ~/.local/share
[[nodiscard]] std::vector<std::string> dataDirs();    // $XDG_DATA_DIRS, /usr/local/share:/usr/share
[[nodiscard]] std::string configHome();               // $XDG_CONFIG_HOME, ~/.config
[[nodiscard]] std::vector<std::string> configDirs();  // $XDG_CONFIG_DIRS, /etc/xdg
// $XDG_CURRENT_DESKTOP in lower case, most important first.
[[nodiscard]] std::vector<std::string> currentDesktops();

// A user folder from user-dirs.dirs ("DESKTOP" reads XDG_DESKTOP_DIR), with
// "$HOME" and "~" expanded and no trailing "/"; <home>/<fallback> when the
// file does not name it.
[[nodiscard]] std::string userDir(const std::string& name, const std::string& fallback);

}  // namespace karv::xdg
