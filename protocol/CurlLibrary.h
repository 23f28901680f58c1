#pragma once
#include <curl/curl.h>

#include "system/SharedLibrary.h"

namespace karv {

// The functions of libcurl the transport calls. The program does not link
// libcurl: it is loaded at the first request, on the thread that makes it, so
// that the start-up's version check loads it beside the window being set up.
// clang-format off
#define KARV_CURL_FUNCTIONS(X) \
  X(curl_global_init)          \
  X(curl_easy_init)            \
  X(curl_easy_setopt)          \
  X(curl_easy_perform)         \
  X(curl_easy_getinfo)         \
  X(curl_easy_cleanup)         \
  X(curl_easy_strerror)        \
  X(curl_slist_append)         \
  X(curl_slist_free_all)
// clang-format on

struct CurlLibrary {
  KARV_CURL_FUNCTIONS(KARV_LIBRARY_MEMBER)

  // libcurl, loaded and globally initialised on the first call (from any
  // thread); null, with the reason logged once, when it cannot be loaded.
  [[nodiscard]] static const CurlLibrary* get();
};

}  // namespace karv
