// The reply document layer alone: every way the client reads a document.
#include <array>
#include <string>

#include "FuzzTargets.h"
#include "protocol/GDataXMLDocument.h"
#include "protocol/ReplyEnvelope.h"

namespace karv::fuzz {
namespace {

// The client's own expressions, and a few that reach the other node kinds
// (attributes, namespaces, text, comments) and results that are no node set.
constexpr std::array<const char*, 13> kXPaths = {
    "//Root/rtnCode", "//Root/rtnMsg",  "//Root",   "//Root/certInfo", "//Root/cert",    "/*",        "//*",
    "//@*",           "//namespace::*", "//text()", "//comment()",     "//_def_ns:Root", "count(//*)"};

// Node kinds libxml2 may hand out, read the way the reply maps read them.
void readNode(const GDataXMLNodePtr& node, int depth) {
  if (!node) return;
  (void)node->name();
  (void)node->stringValue();
  (void)ReplyEnvelope::xmlNodeToMap(node);
  // The parser refuses documents deeper than this anyway.
  if (depth > 300) return;
  if (auto children = node->children())
    for (const auto& child : *children) readNode(child, depth + 1);
}

}  // namespace

void xmlDocument(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::optional<std::string> rtnCode;
  std::optional<std::string> rtnMsg;
  const auto doc = ReplyEnvelope::getXmlDoc(text, rtnCode, rtnMsg);
  if (!doc) return;
  readNode(doc->rootElement(), 0);
  for (const char* xpath : kXPaths) {
    (void)ReplyEnvelope::getXPathValue(doc.get(), xpath);
    if (auto nodes = doc->nodesForXPath(xpath))
      for (const auto& node : *nodes) {
        (void)node->name();
        (void)node->stringValue();
        (void)node->childCount();
        (void)ReplyEnvelope::xmlNodeToMap(node);
      }
  }
}

}  // namespace karv::fuzz
