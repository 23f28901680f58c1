#include "system/XdgKeyFile.h"

#include <sstream>

#include "system/SecureFiles.h"

namespace karv::xdg {
namespace {

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// Resolves the value escapes ("\;" too, which only matters inside lists).
std::string unescape(std::string_view raw) {
  std::string out;
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] != '\\' || i + 1 == raw.size()) {
      out.push_back(raw[i]);
      continue;
    }
    const char next = raw[++i];
    switch (next) {
      case 's':
        out.push_back(' ');
        break;
      case 'n':
        out.push_back('\n');
        break;
      case 't':
        out.push_back('\t');
        break;
      case 'r':
        out.push_back('\r');
        break;
      default:
        out.push_back(next);  // "\\", "\;" and unknown escapes
    }
  }
  return out;
}

}  // namespace

KeyFile KeyFile::parse(std::string_view text) {
  KeyFile file;
  std::map<std::string, std::string>* group = nullptr;
  std::istringstream in{std::string(text)};
  for (std::string line; std::getline(in, line);) {
    const std::string_view l = trimmed(line);
    if (l.empty() || l.front() == '#') continue;
    if (l.front() == '[' && l.back() == ']') {
      const std::string name(l.substr(1, l.size() - 2));
      group = file.groups_.count(name) ? nullptr : &file.groups_[name];
      continue;
    }
    const auto eq = l.find('=');
    if (!group || eq == std::string_view::npos) continue;
    group->emplace(std::string(trimmed(l.substr(0, eq))), std::string(trimmed(l.substr(eq + 1))));
  }
  return file;
}

std::optional<KeyFile> KeyFile::load(const std::string& path) {
  auto text = readWholeFile(path);
  if (!text) return std::nullopt;
  return parse(*text);
}

const std::string* KeyFile::raw(const std::string& group, const std::string& key) const {
  const auto g = groups_.find(group);
  if (g == groups_.end()) return nullptr;
  const auto v = g->second.find(key);
  return v == g->second.end() ? nullptr : &v->second;
}

std::optional<std::string> KeyFile::value(const std::string& group, const std::string& key) const {
  const std::string* text = raw(group, key);
  if (!text) return std::nullopt;
  return unescape(*text);
}

std::vector<std::string> KeyFile::list(const std::string& group, const std::string& key) const {
  std::vector<std::string> items;
  const std::string* text = raw(group, key);
  if (!text) return items;
  // Split on the ";" that are not escaped, then resolve each item.
  std::string item;
  for (size_t i = 0; i <= text->size(); ++i) {
    if (i == text->size() || (*text)[i] == ';') {
      if (!item.empty()) items.push_back(unescape(item));
      item.clear();
      continue;
    }
    item.push_back((*text)[i]);
    if ((*text)[i] == '\\' && i + 1 < text->size()) item.push_back((*text)[++i]);
  }
  return items;
}

}  // namespace karv::xdg
