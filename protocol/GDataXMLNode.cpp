#include "protocol/GDataXMLNode.h"

namespace karv {
namespace {
struct XmlCharDeleter {
  void operator()(xmlChar* p) const noexcept { xmlFree(p); }
};
using XmlStringPtr = std::unique_ptr<xmlChar, XmlCharDeleter>;

std::string toString(const xmlChar* s) { return s ? std::string(reinterpret_cast<const char*>(s)) : std::string(); }
}  // namespace

std::shared_ptr<GDataXMLNode> GDataXMLNode::wrap(xmlNodePtr node) {
  if (!node) return nullptr;
  if (node->type == XML_ELEMENT_NODE) return std::make_shared<GDataXMLElement>(node);
  return std::make_shared<GDataXMLNode>(node);
}

std::optional<std::string> GDataXMLNode::stringValue() const {
  if (!node_) return std::nullopt;
  if (node_->type == XML_NAMESPACE_DECL) {
    auto* ns = reinterpret_cast<xmlNsPtr>(node_);
    return ns->href ? std::optional(toString(ns->href)) : std::nullopt;
  }
  XmlStringPtr content(xmlNodeGetContent(node_));
  if (!content) return std::nullopt;
  return toString(content.get());
}

std::string GDataXMLNode::name() const {
  if (name_) return *name_;
  std::string result;
  if (node_ && node_->type == XML_NAMESPACE_DECL) {
    result = toString(reinterpret_cast<xmlNsPtr>(node_)->prefix);
  } else if (node_) {
    const bool namespaced = node_->type == XML_ELEMENT_NODE || node_->type == XML_ATTRIBUTE_NODE;
    if (namespaced && node_->ns && node_->ns->prefix)
      result = toString(node_->ns->prefix) + ":" + toString(node_->name);
    else
      result = toString(node_->name);
  }
  name_ = result;
  return result;
}

std::optional<std::vector<std::shared_ptr<GDataXMLNode>>> GDataXMLNode::children() const {
  if (!childrenRead_) {
    childrenRead_ = true;
    if (node_ && node_->type != XML_NAMESPACE_DECL && node_->children) {
      std::vector<std::shared_ptr<GDataXMLNode>> list;
      for (xmlNodePtr c = node_->children; c; c = c->next) list.push_back(wrap(c));
      children_ = std::move(list);
    }
  }
  return children_;
}

size_t GDataXMLNode::childCount() const {
  auto list = children();
  return list ? list->size() : 0;
}

}  // namespace karv
