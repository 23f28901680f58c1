#pragma once
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "crypto/OpenSslHandles.h"
#include "protocol/ParamList.h"

namespace karv {

// The HTTP exchange with the gateway over libcurl: synchronous, TLS always
// verified, status code not examined.
class HttpTransport {
 public:
  static constexpr int32_t kResponse = 0;     // any HTTP response came
  static constexpr int32_t kNoResponse = -1;  // connection, TLS or timeout failure
  static constexpr int32_t kNotSent = 1;      // nothing was sent

  // Bodies larger than these are refused: the exchange counts as one that
  // brought no response.
  static constexpr size_t kMaxReplyBytes = size_t{1} << 20;       // API replies and pages
  static constexpr size_t kMaxDownloadBytes = size_t{512} << 20;  // installer files

  // extraCaPem: a PEM trust anchor used besides the system store ("" for none).
  explicit HttpTransport(std::string extraCaPem = {}, long timeoutSeconds = 60);

  // Whether the URL's scheme is https (any letter case).
  [[nodiscard]] static bool isHttpsUrl(const std::string& url);
  // "name=value&..." with encoded values; "" for an absent list.
  [[nodiscard]] static std::string getHttpSendData(const ParamList* params);

  // method is "POST" or "GET"; anything else returns kNotSent without traffic,
  // and so does an option libcurl refuses. A GET follows redirects, never from
  // https to anything else. A body over maxBytes gives kNoResponse.
  // httpStatus, when given, receives the HTTP status.
  [[nodiscard]] int32_t httpConnect(const std::string& url, const std::string& connectMethod, const ParamList* dataSend,
                                    Bytes& responseData, long* httpStatus = nullptr,
                                    size_t maxBytes = kMaxReplyBytes) const;
  // POST, the body decoded as Big5 into responseTxt (left untouched on failure).
  [[nodiscard]] int32_t httpPost(const std::string& url, const ParamList* dataSend,
                                 std::optional<std::string>& responseTxt) const;
  // GET of a URL into memory; true when a successful (2xx), non-empty body of
  // at most maxBytes came (an error page is not what was asked for).
  [[nodiscard]] bool httpDownload(const std::string& url, Bytes& body, size_t maxBytes = kMaxReplyBytes) const;
  // GET of a URL saved to a file (folders made, file replaced atomically);
  // true when a successful (2xx), non-empty download of at most
  // kMaxDownloadBytes was saved. A file that could not be written, or an error
  // page, gives false and writes nothing.
  [[nodiscard]] bool httpDownloadAsFile(const std::string& url, const std::string& filePath, mode_t mode = 0644) const;

 private:
  std::string extraCaPem_;
  long timeoutSeconds_;
};

}  // namespace karv
