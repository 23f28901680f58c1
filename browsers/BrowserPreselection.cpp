#include "browsers/BrowserPreselection.h"

#include <map>

namespace karv {
namespace {

// The names the configuration may use; names of browsers this client
// cannot install into stand for no identifier.
const std::map<std::string, std::string>& browserNames() {
  static const std::map<std::string, std::string> kNames = {
      {"Safari", "com.apple.Safari"}, {"Chrome", "com.google.Chrome"}, {"FireFox", "org.mozilla.Firefox"},
      {"Internet Explorer", ""},      {"Microsoft Edge", ""},          {"Chrome64", ""},
  };
  return kNames;
}

std::vector<std::string> splitAtCommas(const std::optional<std::string>& text) {
  std::vector<std::string> entries;
  if (!text) return entries;
  size_t start = 0;
  for (size_t comma = text->find(','); comma != std::string::npos; comma = text->find(',', start)) {
    entries.push_back(text->substr(start, comma - start));
    start = comma + 1;
  }
  entries.push_back(text->substr(start));
  return entries;
}

// Chooses the first record the entry stands for ("DEFAULT" or a name).
void selectOne(std::vector<BrowserRecord>& records, const std::string& entry) {
  std::string key = "defaultBrowser";
  std::string wanted = "Y";
  if (entry != "DEFAULT") {
    const auto name = browserNames().find(entry);
    if (name == browserNames().end() || name->second.empty()) return;
    key = "bundleId";
    wanted = name->second;
  }
  for (auto& record : records) {
    if (const auto value = record.find(key); value != record.end() && value->second == wanted) {
      record.insert_or_assign("selected", "Y");
      return;
    }
  }
}

}  // namespace

std::vector<BrowserRecord> preselectBrowsers(std::vector<BrowserRecord> records, const std::optional<std::string>& mode,
                                             const std::optional<std::string>& selectedBrowser) {
  // insert_or_assign rather than record["selected"] = "N": GCC 12 at -O3 (the
  // Release build) warns falsely about overlapping copies there (-Wrestrict).
  for (auto& record : records) record.insert_or_assign("selected", "N");
  const bool several = mode == "M" || mode == "N";
  for (const auto& entry : splitAtCommas(selectedBrowser)) {
    if (entry == "ALL") {
      if (!several) continue;
      for (auto& record : records) record.insert_or_assign("selected", "Y");
      break;
    }
    selectOne(records, entry);
    if (!several) break;
  }
  return records;
}

}  // namespace karv
