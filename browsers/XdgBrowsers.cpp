#include "browsers/XdgBrowsers.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "system/XdgDirs.h"
#include "system/XdgKeyFile.h"

namespace karv {
namespace {

constexpr char kEntryGroup[] = "Desktop Entry";

// Exec quoting: arguments split at blanks; inside "..." the characters
// '"', '`', '$' and '\' are escaped with '\'. None for an unclosed quote.
std::optional<std::vector<std::string>> splitExec(const std::string& exec) {
  std::vector<std::string> args;
  std::string arg;
  bool quoted = false;
  bool started = false;
  for (size_t i = 0; i < exec.size(); ++i) {
    const char c = exec[i];
    if (quoted) {
      if (c == '"')
        quoted = false;
      else
        arg.push_back(c == '\\' && i + 1 < exec.size() ? exec[++i] : c);
    } else if (c == '"') {
      quoted = started = true;
    } else if (c == ' ' || c == '\t') {
      if (started) args.push_back(arg);
      arg.clear();
      started = false;
    } else {
      arg.push_back(c);
      started = true;
    }
  }
  if (quoted) return std::nullopt;
  if (started) args.push_back(arg);
  return args;
}

bool isExecutableFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The absolute path of a program as Exec or TryExec names it, "" when absent.
std::string findProgram(const std::string& name) {
  if (name.empty()) return {};
  if (name.find('/') != std::string::npos) return name[0] == '/' && isExecutableFile(name) ? name : std::string();
  const char* path = std::getenv("PATH");
  std::istringstream in(path && *path ? path : "/usr/local/bin:/usr/bin:/bin");
  for (std::string dir; std::getline(in, dir, ':');) {
    const std::string candidate = dir + "/" + name;
    if (!dir.empty() && isExecutableFile(candidate)) return candidate;
  }
  return {};
}

std::optional<DesktopEntry> readApplicationEntry(const std::string& id, const std::string& path) {
  const auto file = xdg::KeyFile::load(path);
  if (!file || file->value(kEntryGroup, "Type") != "Application" || file->value(kEntryGroup, "Hidden") == "true")
    return std::nullopt;
  const auto name = file->value(kEntryGroup, "Name");
  const auto exec = splitExec(file->value(kEntryGroup, "Exec").value_or(""));
  if (!name || !exec || exec->empty()) return std::nullopt;
  if (const auto tryExec = file->value(kEntryGroup, "TryExec"); tryExec && findProgram(*tryExec).empty())
    return std::nullopt;
  DesktopEntry entry{id, path, *name, file->value(kEntryGroup, "Icon").value_or(""), *exec, findProgram(exec->front())};
  if (entry.program.empty()) return std::nullopt;
  return entry;
}

}  // namespace

std::vector<std::string> DesktopEntry::expandExec(const std::string* url, bool& urlPlaced) const {
  std::vector<std::string> argv;
  urlPlaced = false;
  for (const std::string& arg : exec) {
    if (arg == "%i") {
      if (!icon.empty()) argv.insert(argv.end(), {"--icon", icon});
      continue;
    }
    std::string out;
    for (size_t i = 0; i < arg.size(); ++i) {
      if (arg[i] != '%' || i + 1 == arg.size()) {
        out.push_back(arg[i]);
        continue;
      }
      switch (arg[++i]) {
        case 'u':
        case 'U':
        case 'f':
        case 'F':
          if (url && !urlPlaced) out += *url;
          urlPlaced = urlPlaced || url != nullptr;
          break;
        case 'c':
          out += name;
          break;
        case 'k':
          out += path;
          break;
        case '%':
          out.push_back('%');
          break;
        default:
          break;  // deprecated codes are dropped
      }
    }
    if (!out.empty() || arg.empty()) argv.push_back(out);
  }
  return argv;
}

std::vector<std::string> DesktopEntry::commandFor(const std::string& url) const {
  bool urlPlaced = false;
  std::vector<std::string> argv = expandExec(&url, urlPlaced);
  // An entry without a field code still has to get the address.
  if (!urlPlaced) argv.push_back(url);
  return argv;
}

std::vector<std::string> DesktopEntry::commandWith(const std::vector<std::string>& arguments) const {
  bool urlPlaced = false;
  std::vector<std::string> argv = expandExec(nullptr, urlPlaced);
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return argv;
}

XdgBrowsers::XdgBrowsers() : desktops_(xdg::currentDesktops()) {
  applicationDirs_.push_back(xdg::dataHome() + "/applications");
  for (const auto& dir : xdg::dataDirs()) applicationDirs_.push_back(dir + "/applications");
  configDirs_.push_back(xdg::configHome());
  for (const auto& dir : xdg::configDirs()) configDirs_.push_back(dir);
}

const std::vector<XdgBrowsers::Candidate>& XdgBrowsers::candidates() {
  // Safari has no Linux entry; it stays in the list because the gateway's
  // configuration names it.
  static const std::vector<Candidate> kCandidates = [] {
    std::vector<Candidate> list = {{"com.apple.Safari", {}}, {kChromeFamily, {}}, {kFirefoxFamily, {}}};
    for (const auto& layout : browserLayouts())
      for (auto& candidate : list)
        if (std::string(candidate.bundleId) == layout.bundleId) candidate.desktopIds.push_back(layout.desktopId);
    return list;
  }();
  return kCandidates;
}

std::optional<DesktopEntry> XdgBrowsers::findApplication(const std::string& desktopId) const {
  if (desktopId.empty() || desktopId.find('/') != std::string::npos) return std::nullopt;
  for (const auto& dir : applicationDirs_) {
    const std::string path = dir + "/" + desktopId;
    std::error_code ec;
    // The first file by precedence decides, even when it hides the application.
    if (std::filesystem::is_regular_file(path, ec)) return readApplicationEntry(desktopId, path);
  }
  return std::nullopt;
}

std::optional<DesktopEntry> XdgBrowsers::findBrowser(const std::string& bundleId) const {
  for (const auto& candidate : candidates()) {
    if (bundleId != candidate.bundleId) continue;
    for (const char* id : candidate.desktopIds)
      if (auto entry = findApplication(id)) return entry;
  }
  return std::nullopt;
}

std::vector<InstalledBrowser> XdgBrowsers::installedForms(const std::string& bundleId) const {
  std::vector<InstalledBrowser> forms;
  for (const auto& layout : browserLayouts())
    if (bundleId == layout.bundleId)
      if (auto entry = findApplication(layout.desktopId)) forms.push_back({layout, std::move(*entry)});
  return forms;
}

std::vector<std::string> XdgBrowsers::mimeappsLists() const {
  std::vector<std::string> files;
  auto addFolder = [&](const std::string& dir) {
    for (const auto& desktop : desktops_) files.push_back(dir + "/" + desktop + "-mimeapps.list");
    files.push_back(dir + "/mimeapps.list");
  };
  for (const auto& dir : configDirs_) addFolder(dir);
  for (const auto& dir : applicationDirs_) addFolder(dir);
  return files;
}

std::optional<std::string> XdgBrowsers::defaultApplication(const std::string& mimeType) const {
  for (const auto& listFile : mimeappsLists()) {
    const auto file = xdg::KeyFile::load(listFile);
    if (!file) continue;
    for (const auto& id : file->list("Default Applications", mimeType))
      if (findApplication(id)) return id;
  }
  return std::nullopt;
}

std::string XdgBrowsers::versionOf(const DesktopEntry& entry) {
  std::error_code ec;
  const auto program = std::filesystem::canonical(entry.program, ec);
  if (ec) return {};
  const auto ini = xdg::KeyFile::load((program.parent_path() / "application.ini").string());
  return ini ? ini->value("App", "Version").value_or("") : std::string();
}

std::optional<std::vector<BrowserRecord>> XdgBrowsers::browserInfo() const {
  // The default is compared by browser, not by desktop entry: Chromium as the
  // default makes the "com.google.Chrome" record the default one even when
  // that record was found through google-chrome.desktop.
  const auto defaultId = defaultApplication("x-scheme-handler/https");
  std::string defaultBrowser;
  for (const auto& candidate : candidates())
    for (const char* id : candidate.desktopIds)
      if (defaultId == id) defaultBrowser = candidate.bundleId;
  std::vector<BrowserRecord> records;
  for (const auto& candidate : candidates()) {
    const auto entry = findBrowser(candidate.bundleId);
    if (!entry) continue;
    records.push_back({{"bundleId", candidate.bundleId},
                       {"name", entry->name},
                       {"path", entry->path},
                       {"version", versionOf(*entry)},
                       {"defaultBrowser", defaultBrowser == candidate.bundleId ? "Y" : "N"}});
  }
  if (records.empty()) return std::nullopt;
  return records;
}

std::optional<std::vector<BrowserRecord>> getBrowserInfo() { return XdgBrowsers().browserInfo(); }

}  // namespace karv
