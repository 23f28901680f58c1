#pragma once
#include <QString>

#include "protocol/KARVLib.h"

namespace karv::app {

// The text of a certificate record (or any record of texts) under the key;
// "" when the record has no such entry.
[[nodiscard]] inline QString recordText(const StringMap& record, const char* key) {
  const auto it = record.find(key);
  return it == record.end() ? QString() : QString::fromStdString(it->second);
}

}  // namespace karv::app
