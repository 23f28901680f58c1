#include "gateway/ApiTypes.h"

namespace karv::gateway {
namespace {
std::string escapeXml(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (char c : s) {
    switch (c) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}
void element(std::string& xml, const std::string& name, const std::string& value) {
  xml += "<" + name + ">" + escapeXml(value) + "</" + name + ">";
}
}  // namespace

std::optional<std::string> ApiRequest::param(const std::string& name) const {
  auto it = params.find(name);
  if (it == params.end()) return std::nullopt;
  return it->second;
}

std::string ApiReply::toXml() const {
  std::string xml = "<?xml version=\"1.0\" encoding=\"Big5\"?><Root>";
  element(xml, "rtnCode", rtnCode);
  element(xml, "rtnMsg", rtnMsg);
  for (const auto& [name, value] : fields) element(xml, name, value);
  for (const auto& [name, children] : groups) {
    xml += "<" + name + ">";
    for (const auto& [child, value] : children) element(xml, child, value);
    xml += "</" + name + ">";
  }
  xml += "</Root>";
  return xml;
}

}  // namespace karv::gateway
