// The whole opening of a gateway reply, as the client does it.
#include <openssl/evp.h>

#include <array>
#include <optional>
#include <string>

#include "FuzzTargets.h"
#include "HarnessKey.h"
#include "crypto/RSAUtility.h"
#include "gateway/ServerCrypto.h"
#include "protocol/EncryptedExchange.h"
#include "protocol/GatewayReply.h"
#include "system/CommonUtility.h"
#include "system/TextCodec.h"

namespace karv::fuzz {
namespace {

constexpr char kSessionKey[] = "Fz0123456789abcd";
// Sealing costs one private-key operation per RSA block: three are enough
// to join blocks.
constexpr size_t kMaxRsaPlainBytes = 3 * 245;

// The fields and records the calls read from their replies.
constexpr std::array<const char*, 13> kFields = {"idno",  "brnhId",   "acctNo",         "aeskey", "sessionId",
                                                 "cn",    "fnStatus", "certCount",      "email",  "phone",
                                                 "birth", "cert",     "effectCertCount"};

const EncryptedExchange& exchange() {
  static const EncryptedExchange instance(
      GatewayEndpoint{"http://127.0.0.1:9/RACGW/api/", harnessPublicKeyPem(), "", 1});
  return instance;
}

// The gateway's side, with the harness key.
const gateway::ServerCrypto& sealer() {
  static const gateway::ServerCrypto instance([] {
    EVP_PKEY* key = harnessKey();
    if (key) EVP_PKEY_up_ref(key);
    return PkeyPtr(key);
  }());
  return instance;
}

void readAsTheCallsDo(const std::optional<std::string>& text) {
  const GatewayReply reply = GatewayReply::open(0, text);
  std::optional<std::string> errMsg;
  reply.passMessage(errMsg);
  (void)reply.accepted();
  for (const char* field : kFields) (void)reply.field(field);
  (void)reply.map("//Root");
  (void)reply.map("//Root/certInfo");
}

// The body as the transport hands it over: Big5 text.
std::optional<std::string> received(const std::string& body) { return big5ToUtf8(body); }

}  // namespace

void replyOpening(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return;
  const unsigned mode = data[0] % 16;
  const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::optional<std::string> text;
  if (mode < 6) {
    text = exchange().openAesReply(kSessionKey, received(sealer().sealAesReply(kSessionKey, bytes)));
  } else if (mode < 9) {
    text = exchange().openPubKeyReply(received(bytes));
  } else if (mode < 15) {
    text = exchange().openAesReply(kSessionKey, received(bytes));
  } else {
    if (bytes.size() > kMaxRsaPlainBytes) return;
    text = exchange().openPubKeyReply(received(sealer().sealRsaReply(bytes)));
  }
  readAsTheCallsDo(text);
}

}  // namespace karv::fuzz
