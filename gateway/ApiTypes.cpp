#include "ApiTypes.h"

namespace karv::gateway {
namespace {
std::string escapeXml(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (char c : s) {
    switch (c) {
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '&': out += "&amp;"; break;
      default: out.push_back(c);
    }
  }
  return out;
}
void element(std::string& xml, const std::string& name, const std::string& value) {
  xml += "<" + name + ">" + escapeXml(value) + "</" + name + ">";
}
}  // namespace

std::string ApiReply::toXml() const {
  std::string xml = "<?xml version=\"1.0\" encoding=\"Big5\"?><Root>";
  element(xml, "rtnCode", rtnCode);
  element(xml, "rtnMsg", rtnMsg);
  for (const auto& [name, value] : fields) element(xml, name, value);
  xml += "</Root>";
  return xml;
}

}  // namespace karv::gateway
