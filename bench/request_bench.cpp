// The client's own cost of one gateway request without the network: five
// values encrypted, the form built, a two-block reply opened, decoded, parsed
// and its envelope read; next to the bare OpenSSL operations it cannot avoid
// (five RSA public-key encryptions and two RSA public-key recoveries).
#include <benchmark/benchmark.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include "KarvBuildConfig.h"
#include "crypto/RSAUtility.h"
#include "gateway/ServerCrypto.h"
#include "protocol/HttpTransport.h"
#include "protocol/ReplyEnvelope.h"
#include "system/CommonUtility.h"
#include "system/TextCodec.h"

namespace {

const std::string& twoBlockReply() {
  static const std::string reply = [] {
    karv::gateway::ServerCrypto server(std::string(karv::build::kDevPkiDir) + "/gateway-rsa.pem");
    std::string xml = "<?xml version=\"1.0\" encoding=\"Big5\"?><Root><rtnCode>0</rtnCode><rtnMsg>成功</rtnMsg>";
    while (xml.size() < 400) xml += "<certCount>1</certCount><fnStatus>10</fnStatus>";
    xml += "</Root>";
    return server.sealRsaReply(*karv::utf8ToBig5(xml));
  }();
  return reply;
}

const karv::ParamList kValues{
    {"loginType", "1"}, {"brnhId", "001"}, {"acctNo", "1234567"}, {"idno", "A123456789"}, {"pwd", "Passw0rd"}};

void ClientRequestWork(benchmark::State& state) {
  karv::RSAUtility rsa(karv::build::kPublicKeyPem);
  karv::CommonUtility util;
  for (auto _ : state) {
    karv::ParamList sealed;
    for (const auto& [name, value] : kValues) sealed.put(name, rsa.encryptAndB64WithPublicKey(value));
    std::string form = karv::HttpTransport::getHttpSendData(&sealed);
    auto raw = util.base64Decode(twoBlockReply());
    auto plain = rsa.decryptWithPublicKey(*raw);
    auto text = karv::big5ToUtf8(std::string_view(reinterpret_cast<const char*>(plain->data()), plain->size()));
    std::optional<std::string> code;
    std::optional<std::string> msg;
    auto doc = karv::ReplyEnvelope::getXmlDoc(text, code, msg);
    benchmark::DoNotOptimize(form);
    benchmark::DoNotOptimize(doc);
    if (code != "0") state.SkipWithError("reply did not open");
  }
}

void BareOpenSslWork(benchmark::State& state) {
  const std::string pem = karv::build::kPublicKeyPem;
  BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
  EVP_PKEY* key = PEM_read_bio_PUBKEY(bio, nullptr, nullptr, nullptr);
  BIO_free(bio);
  auto raw = *karv::CommonUtility().base64Decode(twoBlockReply());
  unsigned char out[256];
  for (auto _ : state) {
    for (const auto& [name, value] : kValues) {
      EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr);
      EVP_PKEY_encrypt_init(ctx);
      EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING);
      size_t len = sizeof out;
      EVP_PKEY_encrypt(ctx, out, &len, reinterpret_cast<const unsigned char*>(value.data()), value.size());
      EVP_PKEY_CTX_free(ctx);
    }
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr);
    EVP_PKEY_verify_recover_init(ctx);
    EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING);
    for (size_t off = 0; off < raw.size(); off += 256) {
      size_t len = sizeof out;
      EVP_PKEY_verify_recover(ctx, out, &len, raw.data() + off, 256);
    }
    EVP_PKEY_CTX_free(ctx);
    benchmark::DoNotOptimize(out);
  }
  EVP_PKEY_free(key);
}

// A reply of about 100 KB that declares entities, each ten of the one before:
// read as it comes it would expand to gigabytes at every field read; the
// client refuses it at the declaration.
void EntityBombReplyRefused(benchmark::State& state) {
  std::string xml = "<?xml version=\"1.0\"?><!DOCTYPE Root [<!ENTITY a \"" + std::string(100000, 'x') + "\">";
  // Appended piece by piece: GCC 12 at -O3 takes "..." + a temporary string
  // for an overlapping copy (-Wrestrict).
  for (char e = 'b'; e <= 'k'; ++e) {
    xml.append("<!ENTITY ").append(1, e).append(" \"");
    for (int i = 0; i < 10; ++i) xml.append("&").append(1, static_cast<char>(e - 1)).append(";");
    xml += "\">";
  }
  xml += "]><Root><rtnCode>0</rtnCode><rtnMsg>&k;</rtnMsg></Root>";
  const std::optional<std::string> text = xml;
  for (auto _ : state) {
    std::optional<std::string> code;
    std::optional<std::string> msg;
    auto doc = karv::ReplyEnvelope::getXmlDoc(text, code, msg);
    if (doc) state.SkipWithError("the reply was accepted");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * xml.size()));
}

BENCHMARK(BareOpenSslWork)->Unit(benchmark::kMicrosecond);
BENCHMARK(EntityBombReplyRefused)->Unit(benchmark::kMicrosecond);
BENCHMARK(ClientRequestWork)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
