#pragma once
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace karv::xdg {

// The freedesktop.org "[Group]" / "Key=Value" files: desktop entries,
// mimeapps.list, application.ini.
class KeyFile {
 public:
  [[nodiscard]] static KeyFile parse(std::string_view text);
  // None when the file cannot be read.
  [[nodiscard]] static std::optional<KeyFile> load(const std::string& path);

  // The value with its escapes (\s \n \t \r \\) resolved; none when absent.
  [[nodiscard]] std::optional<std::string> value(const std::string& group, const std::string& key) const;
  // A ";"-separated list ("\;" stands for ";" inside an item); empty items dropped.
  [[nodiscard]] std::vector<std::string> list(const std::string& group, const std::string& key) const;
  [[nodiscard]] bool hasGroup(const std::string& group) const { return groups_.count(group) != 0; }
  // The names of all groups, sorted.
  [[nodiscard]] std::vector<std::string> groupNames() const {
    std::vector<std::string> names;
    for (const auto& group : groups_) names.push_back(group.first);
    return names;
  }

 private:
  [[nodiscard]] const std::string* raw(const std::string& group, const std::string& key) const;

  // Raw values as written; the first of repeated keys or groups wins.
  std::map<std::string, std::map<std::string, std::string>> groups_;
};

}  // namespace karv::xdg
