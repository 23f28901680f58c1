#include "protocol/ReplyEnvelope.h"

namespace karv {

std::unique_ptr<GDataXMLDocument> ReplyEnvelope::getXmlDoc(const std::optional<std::string>& text) {
  if (!text || text->empty()) return nullptr;
  return GDataXMLDocument::initWithXMLString(*text);
}

std::unique_ptr<GDataXMLDocument> ReplyEnvelope::getXmlDoc(const std::optional<std::string>& text,
                                                           std::optional<std::string>& rtnCode,
                                                           std::optional<std::string>& rtnMsg) {
  auto doc = getXmlDoc(text);
  if (doc) {
    rtnCode = getXPathValue(doc.get(), "//Root/rtnCode");
    rtnMsg = getXPathValue(doc.get(), "//Root/rtnMsg");
  }
  return doc;
}

std::string ReplyEnvelope::getXPathValue(const GDataXMLDocument* doc, const std::string& xpath) {
  if (!doc) return {};
  GDataXMLNodePtr node = doc->firstNodeForXPath(xpath);
  if (!node) return {};
  return node->stringValue().value_or(std::string());
}

std::optional<ReplyMap> ReplyEnvelope::xmlNodeToMap(const GDataXMLNodePtr& element) {
  if (!element) return std::nullopt;
  auto children = element->children();
  if (!children) return std::nullopt;
  ReplyMap map;
  for (const auto& child : *children) {
    if (child->childCount() < 2) map[child->name()] = child->stringValue().value_or(std::string());
  }
  return map;
}

}  // namespace karv
