#pragma once
// A read-only document layer over libxml2: a document owns its tree; nodes
// point into it and live only as long as the document.
#include <libxml/tree.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace karv {

class GDataXMLNode {
 public:
  explicit GDataXMLNode(xmlNodePtr node) : node_(node) {}
  virtual ~GDataXMLNode() = default;

  // Text content (all descendant text for an element), or none.
  [[nodiscard]] std::optional<std::string> stringValue() const;
  // Qualified name ("prefix:local" inside a prefixed namespace).
  [[nodiscard]] std::string name() const;
  // Direct children in document order; none when there are none.
  [[nodiscard]] std::optional<std::vector<std::shared_ptr<GDataXMLNode>>> children() const;
  [[nodiscard]] size_t childCount() const;

  [[nodiscard]] bool isElement() const { return node_ && node_->type == XML_ELEMENT_NODE; }
  [[nodiscard]] xmlNodePtr xmlNode() const { return node_; }

  // Wraps a libxml2 node in the matching kind (element or plain node).
  static std::shared_ptr<GDataXMLNode> wrap(xmlNodePtr node);

 private:
  xmlNodePtr node_;
  mutable std::optional<std::string> name_;
  mutable std::optional<std::vector<std::shared_ptr<GDataXMLNode>>> children_;
  mutable bool childrenRead_ = false;
};

class GDataXMLElement : public GDataXMLNode {
 public:
  using GDataXMLNode::GDataXMLNode;
};

using GDataXMLNodePtr = std::shared_ptr<GDataXMLNode>;

}  // namespace karv
