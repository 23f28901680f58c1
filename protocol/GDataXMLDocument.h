#pragma once
#include <libxml/tree.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "protocol/GDataXMLNode.h"

namespace karv {

class GDataXMLDocument {
 public:
  // Parses UTF-8 text (blank text nodes dropped, CDATA read as text); none
  // when the text is not XML.
  static std::unique_ptr<GDataXMLDocument> initWithXMLString(const std::string& text);

  ~GDataXMLDocument();
  GDataXMLDocument(const GDataXMLDocument&) = delete;
  GDataXMLDocument& operator=(const GDataXMLDocument&) = delete;

  // Nodes of the result node set in order; an empty list for a result that is
  // not a node set; none when the expression does not evaluate.
  [[nodiscard]] std::optional<std::vector<GDataXMLNodePtr>> nodesForXPath(const std::string& xpath) const;
  [[nodiscard]] GDataXMLNodePtr firstNodeForXPath(const std::string& xpath) const;
  [[nodiscard]] GDataXMLNodePtr rootElement() const;

 private:
  explicit GDataXMLDocument(xmlDocPtr doc) : doc_(doc) {}
  xmlDocPtr doc_;
};

}  // namespace karv
