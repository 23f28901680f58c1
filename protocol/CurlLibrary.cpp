#include "protocol/CurlLibrary.h"

#include <optional>

#include "system/Log.h"

namespace karv {

const CurlLibrary* CurlLibrary::get() {
  static const std::optional<CurlLibrary> loaded = []() -> std::optional<CurlLibrary> {
    SharedLibrary library("libcurl.so.4");
    CurlLibrary api;
    if (!(KARV_CURL_FUNCTIONS(KARV_LIBRARY_RESOLVE) true)) {
      logf("libcurl not available: %s", library.error().c_str());
      return std::nullopt;
    }
    if (api.curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
      logLine("libcurl did not initialise");
      return std::nullopt;
    }
    return api;
  }();
  return loaded ? &*loaded : nullptr;
}

}  // namespace karv
