#include "gateway/FormBody.h"

#include <cctype>

namespace karv::gateway {
namespace {
int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}
}  // namespace

std::optional<std::string> percentDecode(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out.push_back(' ');
    } else if (text[i] != '%') {
      out.push_back(text[i]);
    } else {
      const int hi = i + 2 < text.size() ? hexValue(text[i + 1]) : -1;
      const int lo = i + 2 < text.size() ? hexValue(text[i + 2]) : -1;
      if (hi < 0 || lo < 0) return std::nullopt;
      out.push_back(static_cast<char>(hi * 16 + lo));
      i += 2;
    }
  }
  return out;
}

bool isFormContentType(const std::string& contentType) {
  static const std::string kForm = "application/x-www-form-urlencoded";
  if (contentType.size() < kForm.size()) return false;
  for (size_t i = 0; i < kForm.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(contentType[i])) != kForm[i]) return false;
  const std::string rest = contentType.substr(kForm.size());
  return rest.empty() || rest[0] == ';' || rest[0] == ' ';
}

std::optional<std::map<std::string, std::string>> parseFormBody(const std::string& body) {
  std::map<std::string, std::string> fields;
  if (body.empty()) return fields;
  size_t start = 0;
  while (start <= body.size()) {
    size_t end = body.find('&', start);
    if (end == std::string::npos) end = body.size();
    const std::string field = body.substr(start, end - start);
    const auto eq = field.find('=');
    if (eq == std::string::npos) return std::nullopt;
    auto name = percentDecode(field.substr(0, eq));
    auto value = percentDecode(field.substr(eq + 1));
    if (!name || !value || name->empty() || fields.count(*name)) return std::nullopt;
    fields[*name] = *value;
    start = end + 1;
  }
  return fields;
}

}  // namespace karv::gateway
