#pragma once
#include <map>
#include <optional>
#include <string>

namespace karv {

// Form parameters of one request. An empty value is sent as an empty field;
// an absent value (put()) removes the name, so the field is not sent at all.
class ParamList {
 public:
  ParamList() = default;
  ParamList(std::initializer_list<std::pair<const std::string, std::string>> init) : values_(init) {}

  void put(const std::string& name, const std::optional<std::string>& value) {
    if (value)
      values_[name] = *value;
    else
      values_.erase(name);
  }
  [[nodiscard]] const std::map<std::string, std::string>& values() const { return values_; }
  [[nodiscard]] bool empty() const { return values_.empty(); }
  auto begin() const { return values_.begin(); }
  auto end() const { return values_.end(); }

 private:
  std::map<std::string, std::string> values_;
};

}  // namespace karv
