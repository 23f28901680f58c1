#include "gateway/DataLines.h"

#include <sstream>

#include "system/SecureFiles.h"

namespace karv::gateway {

bool forEachDataLine(const std::string& text, const std::string& where,
                     const std::function<bool(const std::string& line, std::string& error)>& record,
                     std::string& error) {
  std::istringstream lines(text);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos || line[line.find_first_not_of(" \t")] == '#') continue;
    std::string what;
    if (!record(line, what)) {
      error = where + ":" + std::to_string(number) + ": " + what;
      return false;
    }
  }
  return true;
}

bool forEachDataLineOfFile(const std::string& path,
                           const std::function<bool(const std::string& line, std::string& error)>& record,
                           std::string& error) {
  const auto text = readWholeFile(path);
  if (!text) {
    error = "cannot read " + path;
    return false;
  }
  return forEachDataLine(*text, path, record, error);
}

}  // namespace karv::gateway
