// The development gateway's reading of request bodies.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "FuzzTargets.h"
#include "gateway/FormBody.h"
#include "protocol/HttpTransport.h"
#include "protocol/ParamList.h"

namespace karv::fuzz {

void formBody(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  (void)gateway::isFormContentType(text);
  const auto fields = gateway::parseFormBody(text);
  if (!fields) return;
  // Whatever values the client sends, the gateway reads back unchanged
  // (the client's names are plain words).
  ParamList sent;
  int n = 0;
  for (const auto& [name, value] : *fields) {
    // Appended rather than "f" + std::to_string(...): GCC 12 at -O3 takes the
    // insert at the front of that temporary for an overlapping copy (-Wrestrict).
    std::string fieldName = "f";
    fieldName += std::to_string(n++);
    sent.put(fieldName, value);
  }
  const auto read = gateway::parseFormBody(HttpTransport::getHttpSendData(&sent));
  if (!read || read->size() != fields->size()) {
    std::fputs("form body: the client's encoding does not read back\n", stderr);
    std::abort();
  }
  for (const auto& [name, value] : *read) {
    if (sent.values().at(name) != value) {
      std::fputs("form body: a value changed on the way\n", stderr);
      std::abort();
    }
  }
}

}  // namespace karv::fuzz
