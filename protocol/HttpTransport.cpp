#include "protocol/HttpTransport.h"

#include <cctype>
#include <cstdint>
#include <memory>
#include <string_view>

#include "protocol/CurlLibrary.h"
#include "system/CommonUtility.h"
#include "system/Log.h"
#include "system/PercentEncoding.h"
#include "system/TextCodec.h"

namespace karv {
namespace {

// Handles exist only once libcurl has loaded.
struct CurlDeleter {
  void operator()(CURL* c) const noexcept { CurlLibrary::get()->curl_easy_cleanup(c); }
};
struct CurlSlistDeleter {
  void operator()(curl_slist* l) const noexcept { CurlLibrary::get()->curl_slist_free_all(l); }
};
using CurlPtr = std::unique_ptr<CURL, CurlDeleter>;
using CurlSlistPtr = std::unique_ptr<curl_slist, CurlSlistDeleter>;

// The response body as it arrives, refused once it would pass its limit.
struct BodySink {
  Bytes bytes;
  size_t limit;
};

size_t appendBody(char* data, size_t size, size_t count, void* userdata) {
  auto* body = static_cast<BodySink*>(userdata);
  if (size != 0 && count > SIZE_MAX / size) return 0;
  const size_t n = size * count;
  // Returning less than n makes libcurl abort the transfer.
  if (n > body->limit - body->bytes.size()) return 0;
  body->bytes.insert(body->bytes.end(), data, data + n);
  return n;
}

}  // namespace

HttpTransport::HttpTransport(std::string extraCaPem, long timeoutSeconds)
    : extraCaPem_(std::move(extraCaPem)), timeoutSeconds_(timeoutSeconds) {}

bool HttpTransport::isHttpsUrl(const std::string& url) {
  static constexpr std::string_view kHttps = "https://";
  if (url.size() < kHttps.size()) return false;
  for (size_t i = 0; i < kHttps.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(url[i])) != kHttps[i]) return false;
  return true;
}

std::string HttpTransport::getHttpSendData(const ParamList* params) {
  std::string form;
  if (!params) return form;
  for (const auto& [name, value] : *params) {
    if (!form.empty()) form.push_back('&');
    form += name;
    form.push_back('=');
    if (!value.empty()) form += percentEncode(value);
  }
  return form;
}

int32_t HttpTransport::httpConnect(const std::string& url, const std::string& connectMethod, const ParamList* dataSend,
                                   Bytes& responseData, long* httpStatus, size_t maxBytes) const {
  logLine("begin http");
  const bool isPost = connectMethod == "POST";
  if (!isPost && connectMethod != "GET") return kNotSent;

  logLine("prepare http param data");
  const std::string form = getHttpSendData(dataSend);
  const std::string requestUrl = (!isPost && !form.empty()) ? url + "?" + form : url;

  const CurlLibrary* lib = CurlLibrary::get();
  if (!lib) return kNoResponse;
  CurlPtr curl(lib->curl_easy_init());
  if (!curl) return kNoResponse;
  CURL* h = curl.get();
  // Every option counts: a request missing one of them is not sent at all.
  bool optionsTaken = true;
  auto take = [&optionsTaken](CURLcode rc) { optionsTaken = optionsTaken && rc == CURLE_OK; };
  logLine("set http connection");
  take(lib->curl_easy_setopt(h, CURLOPT_URL, requestUrl.c_str()));
  take(lib->curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L));
  take(lib->curl_easy_setopt(h, CURLOPT_TIMEOUT, timeoutSeconds_));
  take(lib->curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, 10L));  // an unreachable gateway is reported fast
  take(lib->curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https"));
  take(lib->curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L));
  take(lib->curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L));
  take(lib->curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(maxBytes)));
  if (!extraCaPem_.empty()) {
    // The anchor as text replaces the default bundle file; the system's
    // hashed certificate folder stays in use beside it.
    curl_blob anchor{const_cast<char*>(extraCaPem_.data()), extraCaPem_.size(), CURL_BLOB_COPY};
    take(lib->curl_easy_setopt(h, CURLOPT_CAINFO_BLOB, &anchor));
    take(lib->curl_easy_setopt(h, CURLOPT_CAPATH, "/etc/ssl/certs"));
  }
  logLine("set http contentType");
  CurlSlistPtr headers(
      lib->curl_slist_append(nullptr, "Content-Type: application/x-www-form-urlencoded; charset=UTF-8"));
  take(headers ? lib->curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get()) : CURLE_OUT_OF_MEMORY);
  if (isPost) {
    take(lib->curl_easy_setopt(h, CURLOPT_POST, 1L));
    take(lib->curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(form.size())));
    take(lib->curl_easy_setopt(h, CURLOPT_POSTFIELDS, form.c_str()));
    // The body carries the sealed values: its size is all the log gets.
    if (!form.empty()) logf("HTTP DATA SEND:%s (%zu bytes)", kMasked, form.size());
  } else {
    take(lib->curl_easy_setopt(h, CURLOPT_HTTPGET, 1L));
    // Downloads often sit behind a redirect; verified TLS is never given up
    // on the way.
    take(lib->curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L));
    take(lib->curl_easy_setopt(h, CURLOPT_MAXREDIRS, 5L));
    take(lib->curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, isHttpsUrl(requestUrl) ? "https" : "http,https"));
  }
  BodySink body{{}, maxBytes};
  take(lib->curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, appendBody));
  take(lib->curl_easy_setopt(h, CURLOPT_WRITEDATA, &body));
  if (!optionsTaken) {
    logLine("http options refused, nothing sent");
    return kNotSent;
  }

  logLine("ready to send");
  const CURLcode rc = lib->curl_easy_perform(h);
  if (rc != CURLE_OK) {
    logf("http failed: %s", lib->curl_easy_strerror(rc));
    logLine("http response text get");
    return kNoResponse;
  }
  responseData = std::move(body.bytes);
  if (httpStatus && lib->curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, httpStatus) != CURLE_OK) *httpStatus = 0;
  logLine("http response text get");
  return kResponse;
}

int32_t HttpTransport::httpPost(const std::string& url, const ParamList* dataSend,
                                std::optional<std::string>& responseTxt) const {
  Bytes body;
  const int32_t status = httpConnect(url, "POST", dataSend, body);
  if (status == kResponse) {
    responseTxt = big5ToUtf8(std::string_view(reinterpret_cast<const char*>(body.data()), body.size()));
    // A sealed reply, openable by anyone holding the public or the session key.
    logf("httpPost return:%s (%zu bytes)", kMasked, body.size());
  } else {
    logLine("httpPost return null");
  }
  return status;
}

bool HttpTransport::httpDownload(const std::string& url, Bytes& body, size_t maxBytes) const {
  long status = 0;
  if (httpConnect(url, "GET", nullptr, body, &status, maxBytes) != kResponse || body.empty()) return false;
  // An error page is not the page that was asked for.
  if (status < 200 || status > 299) {
    logf("download failed: HTTP status %ld", status);
    body.clear();
    return false;
  }
  return true;
}

bool HttpTransport::httpDownloadAsFile(const std::string& url, const std::string& filePath, mode_t mode) const {
  Bytes body;
  return httpDownload(url, body, kMaxDownloadBytes) && CommonUtility().saveFile(filePath, body, mode);
}

}  // namespace karv
