#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "protocol/GDataXMLDocument.h"
#include "protocol/ReplyEnvelope.h"

namespace karv {

// One opened reply: the transport status, the document (when the reply
// opened and parsed) and its envelope.
struct GatewayReply {
  // Reads the envelope of a reply text that came with the transport status.
  [[nodiscard]] static GatewayReply open(int32_t status, const std::optional<std::string>& text) {
    GatewayReply reply;
    reply.status = status;
    if (status == 0) reply.doc = ReplyEnvelope::getXmlDoc(text, reply.rtnCode, reply.rtnMsg);
    return reply;
  }

  int32_t status = 1;
  std::unique_ptr<GDataXMLDocument> doc;
  std::optional<std::string> rtnCode;
  std::optional<std::string> rtnMsg;

  [[nodiscard]] bool transportFailed() const { return status != 0; }
  [[nodiscard]] bool accepted() const { return status == 0 && rtnCode == "0"; }
  // "//Root/<name>", "" when missing.
  [[nodiscard]] std::string field(const std::string& name) const {
    return ReplyEnvelope::getXPathValue(doc.get(), "//Root/" + name);
  }
  // The leaf map of the first element the XPath finds; none without one.
  [[nodiscard]] std::optional<ReplyMap> map(const std::string& xpath = "//Root") const {
    if (!doc) return std::nullopt;
    return ReplyEnvelope::xmlNodeToMap(doc->firstNodeForXPath(xpath));
  }
  // Hands the gateway's message on; left alone when no envelope was read.
  void passMessage(std::optional<std::string>& errMsg) const {
    if (doc) errMsg = rtnMsg;
  }
};

}  // namespace karv
