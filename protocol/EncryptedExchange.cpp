#include "protocol/EncryptedExchange.h"

#include <algorithm>
#include <array>
#include <functional>

#include "system/CommonUtility.h"
#include "system/Log.h"
#include "system/TextCodec.h"

namespace karv {
namespace {

// Base64 reply body -> opened bytes -> Big5 text; absent at any failure.
std::optional<std::string> openReply(const std::optional<std::string>& body,
                                     const std::function<std::optional<Bytes>(const Bytes&)>& open) {
  if (!body || body->empty()) return std::nullopt;
  auto raw = CommonUtility().base64Decode(*body);
  if (!raw || raw->empty()) return std::nullopt;
  auto plain = open(*raw);
  if (!plain) return std::nullopt;
  return big5ToUtf8(std::string_view(reinterpret_cast<const char*>(plain->data()), plain->size()));
}

}  // namespace

EncryptedExchange::EncryptedExchange(const GatewayEndpoint& endpoint)
    : rsa_(endpoint.publicKeyPem), transport_(endpoint.extraCaPem, endpoint.timeoutSeconds) {}

std::optional<std::string> EncryptedExchange::openPubKeyReply(const std::optional<std::string>& body) const {
  return openReply(body, [this](const Bytes& b) { return rsa_.decryptWithPublicKey(b); });
}

std::optional<std::string> EncryptedExchange::openAesReply(const std::string& aesKey,
                                                           const std::optional<std::string>& body) const {
  return openReply(body, [&](const Bytes& b) { return rsa_.decryptWithAes(aesKey, b); });
}

std::string EncryptedExchange::loggedParamValue(const std::string& name, const std::string& value) {
  static constexpr std::array<std::string_view, 4> kSecret = {"pwd", "oldPwd", "newPwd", "authcode"};
  static constexpr std::array<std::string_view, 8> kPersonal = {"idno", "userId", "acctNo", "account",
                                                                "cn",   "mail",   "phone",  "birth"};
  const auto named = [&](const auto& names) { return std::find(names.begin(), names.end(), name) != names.end(); };
  if (named(kSecret)) return kMasked;
  return named(kPersonal) ? maskPersonal(value) : value;
}

int32_t EncryptedExchange::httpPubKeyEncPost(const std::string& url, const ParamList& postParams,
                                             std::optional<std::string>& dataOut) const {
  ParamList encrypted;
  for (const auto& [name, value] : postParams) {
    logf("http param: %s=%s", name.c_str(), loggedParamValue(name, value).c_str());
    if (value.empty()) {
      encrypted.put(name, std::string());
      logLine("encrypt ParamValue is empty");
    } else {
      const std::string sealed = rsa_.encryptAndB64WithPublicKey(value);
      encrypted.put(name, sealed);
      // The sealed value replays as well as the plain one: only its size is logged.
      logf("ecnrypt param %s=%s (%zu bytes)", name.c_str(), kMasked, sealed.size());
    }
  }
  std::optional<std::string> body;
  const int32_t status = transport_.httpPost(url, &encrypted, body);
  if (auto text = openPubKeyReply(body)) dataOut = text;
  return status;
}

int32_t EncryptedExchange::httpAesEncPost(const std::string& url, const std::string& aesKey,
                                          const ParamList& postParams, std::optional<std::string>& dataOut) const {
  if (aesKey.empty()) return HttpTransport::kNotSent;
  ParamList encrypted;
  for (const auto& [name, value] : postParams)
    encrypted.put(name, value.empty() ? std::string() : rsa_.encryptAndB64WithAes(aesKey, value));
  std::optional<std::string> body;
  const int32_t status = transport_.httpPost(url, &encrypted, body);
  if (auto text = openAesReply(aesKey, body)) dataOut = text;
  return status;
}

}  // namespace karv
