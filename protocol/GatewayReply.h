#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "GDataXMLDocument.h"
#include "ReplyEnvelope.h"

namespace karv {

// One opened reply: the transport status, the document (when the reply
// opened and parsed) and its envelope.
struct GatewayReply {
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
  // Hands the gateway's message on; left alone when no envelope was read.
  void passMessage(std::optional<std::string>& errMsg) const {
    if (doc) errMsg = rtnMsg;
  }
};

}  // namespace karv
