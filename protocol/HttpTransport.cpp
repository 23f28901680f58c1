#include "HttpTransport.h"

#include <curl/curl.h>

#include <memory>

#include "CommonUtility.h"
#include "Log.h"
#include "TextCodec.h"

namespace karv {
namespace {

struct CurlDeleter {
  void operator()(CURL* c) const noexcept { curl_easy_cleanup(c); }
};
struct CurlSlistDeleter {
  void operator()(curl_slist* l) const noexcept { curl_slist_free_all(l); }
};
using CurlPtr = std::unique_ptr<CURL, CurlDeleter>;
using CurlSlistPtr = std::unique_ptr<curl_slist, CurlSlistDeleter>;

void ensureCurlGlobalInit() {
  static const bool done = [] { return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; }();
  (void)done;
}

size_t appendBody(char* data, size_t size, size_t count, void* userdata) {
  auto* body = static_cast<Bytes*>(userdata);
  body->insert(body->end(), data, data + size * count);
  return size * count;
}

bool isUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '~';
}

}  // namespace

HttpTransport::HttpTransport(std::string extraCaPem, long timeoutSeconds)
    : extraCaPem_(std::move(extraCaPem)), timeoutSeconds_(timeoutSeconds) {
  ensureCurlGlobalInit();
}

std::string HttpTransport::urlEncode(const std::string& text) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (unsigned char c : text) {
    if (isUnreserved(c)) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(kDigits[c >> 4]);
      out.push_back(kDigits[c & 0x0F]);
    }
  }
  return out;
}

std::string HttpTransport::getHttpSendData(const ParamList* params) {
  std::string form;
  if (!params) return form;
  for (const auto& [name, value] : *params) {
    if (!form.empty()) form.push_back('&');
    form += name;
    form.push_back('=');
    if (!value.empty()) form += urlEncode(value);
  }
  return form;
}

int32_t HttpTransport::httpConnect(const std::string& url, const std::string& connectMethod, const ParamList* dataSend,
                                   Bytes& responseData, long* httpStatus) const {
  logLine("begin http");
  const bool isPost = connectMethod == "POST";
  if (!isPost && connectMethod != "GET") return kNotSent;

  logLine("prepare http param data");
  const std::string form = getHttpSendData(dataSend);
  const std::string requestUrl = (!isPost && !form.empty()) ? url + "?" + form : url;

  CurlPtr curl(curl_easy_init());
  if (!curl) return kNoResponse;
  CURL* h = curl.get();
  logLine("set http connection");
  curl_easy_setopt(h, CURLOPT_URL, requestUrl.c_str());
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_TIMEOUT, timeoutSeconds_);
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!extraCaPem_.empty()) {
    // The extra anchor in place of the bundle file, next to the system's
    // hashed certificate folder. curl copies the blob.
    curl_blob anchor{const_cast<char*>(extraCaPem_.data()), extraCaPem_.size(), CURL_BLOB_COPY};
    curl_easy_setopt(h, CURLOPT_CAINFO_BLOB, &anchor);
    curl_easy_setopt(h, CURLOPT_CAPATH, "/etc/ssl/certs");
  }
  logLine("set http contentType");
  CurlSlistPtr headers(curl_slist_append(nullptr, "Content-Type: application/x-www-form-urlencoded; charset=UTF-8"));
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
  if (isPost) {
    curl_easy_setopt(h, CURLOPT_POST, 1L);
    curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE, static_cast<long>(form.size()));
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, form.c_str());
    if (!form.empty()) {
      // The values are ciphertext by now, so the body may be logged.
      logf("HTTP DATA SEND:%s",
           CommonUtility()
               .hexEncode(reinterpret_cast<const std::uint8_t*>(form.data()), static_cast<int32_t>(form.size()))
               .c_str());
    }
  } else {
    curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    // Downloads often sit behind a redirect; stay on http(s) and verified TLS.
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  }
  Bytes body;
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, appendBody);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &body);

  logLine("ready to send");
  const CURLcode rc = curl_easy_perform(h);
  if (rc != CURLE_OK) {
    logf("http failed: %s", curl_easy_strerror(rc));
    logLine("http response text get");
    return kNoResponse;
  }
  responseData = std::move(body);
  if (httpStatus) curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, httpStatus);
  logLine("http response text get");
  return kResponse;
}

int32_t HttpTransport::httpPost(const std::string& url, const ParamList* dataSend,
                                std::optional<std::string>& responseTxt) const {
  Bytes body;
  const int32_t status = httpConnect(url, "POST", dataSend, body);
  if (status == kResponse) {
    responseTxt = big5ToUtf8(std::string_view(reinterpret_cast<const char*>(body.data()), body.size()));
    logf("httpPost return:%s", responseTxt ? responseTxt->c_str() : "");
  } else {
    logLine("httpPost return null");
  }
  return status;
}

bool HttpTransport::httpDownload(const std::string& url, Bytes& body) const {
  return httpConnect(url, "GET", nullptr, body) == kResponse && !body.empty();
}

bool HttpTransport::httpDownloadAsFile(const std::string& url, const std::string& filePath, mode_t mode) const {
  Bytes body;
  long status = 0;
  if (httpConnect(url, "GET", nullptr, body, &status) != kResponse || body.empty()) return false;
  // An error page is not the file that was asked for.
  if (status < 200 || status > 299) {
    logf("download failed: HTTP status %ld", status);
    return false;
  }
  return CommonUtility().saveFile(filePath, body, mode);
}

}  // namespace karv
