#pragma once
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "protocol/GDataXMLDocument.h"

namespace karv {

using ReplyMap = std::map<std::string, std::string>;

// Reading the gateway's reply documents: the envelope ("//Root/rtnCode",
// "//Root/rtnMsg"), single values and leaf maps.
class ReplyEnvelope {
 public:
  // None for an absent or empty text and for text that is not XML.
  [[nodiscard]] static std::unique_ptr<GDataXMLDocument> getXmlDoc(const std::optional<std::string>& text);
  // As above, and when a document results, rtnCode and rtnMsg are set from it;
  // otherwise both are left as the caller set them.
  [[nodiscard]] static std::unique_ptr<GDataXMLDocument> getXmlDoc(const std::optional<std::string>& text,
                                                                   std::optional<std::string>& rtnCode,
                                                                   std::optional<std::string>& rtnMsg);
  // Text of the first match; "" when there is no document or no match.
  [[nodiscard]] static std::string getXPathValue(const GDataXMLDocument* doc, const std::string& xpath);
  // The children of an element with fewer than two child nodes, by name.
  [[nodiscard]] static std::optional<ReplyMap> xmlNodeToMap(const GDataXMLNodePtr& element);
};

}  // namespace karv
