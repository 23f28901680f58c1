#include "support/GatewayPki.h"

#include <openssl/pem.h>

#include "CommonUtility.h"
#include "DevGateway.h"
#include "KeyCache.h"

namespace karv::test {
namespace {

std::string derToBase64(int len, unsigned char* der) {
  OpenSslStringPtr owned(reinterpret_cast<char*>(der));
  return len > 0 ? CommonUtility().base64Encode(der, len) : std::string();
}
}  // namespace

EVP_PKEY* requestKey() {
  static PkeyPtr key = gateway::cachedRsaKey("test-request", gateway::GatewayOptions::defaultKeyCacheDir());
  return key.get();
}

std::string clientCsr(const std::string& cn, EVP_PKEY* key) {
  X509ReqPtr req(X509_REQ_new());
  X509_NAME* name = X509_REQ_get_subject_name(req.get());
  X509_REQ_set_version(req.get(), 0);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(cn.c_str()), -1, -1, 0);
  X509_REQ_set_pubkey(req.get(), key);
  X509_REQ_sign(req.get(), key, EVP_sha256());
  BioPtr bio(BIO_new(BIO_s_mem()));
  PEM_write_bio_X509_REQ(bio.get(), req.get());
  std::string pem = bioToString(bio.get());
  // Without the armour: what follows the first line, up to the line feed before the END line.
  const auto bodyStart = pem.find('\n') + 1;
  const auto endLine = pem.rfind("\n-----END");
  return pem.substr(bodyStart, endLine - bodyStart) + "\n";
}

std::string clientCsrWithBadSignature(const std::string& cn) {
  std::string b64 = clientCsr(cn);
  std::erase(b64, '\n');
  auto der = CommonUtility().base64Decode(b64);
  if (!der) return {};
  der->back() ^= 0x01;
  return CommonUtility().base64Encode(der->data(), static_cast<int32_t>(der->size())) + "\n";
}

std::string renewalSignature(const std::string& content, X509* cert, EVP_PKEY* key) {
  Pkcs7Ptr p7(PKCS7_new());
  PKCS7_set_type(p7.get(), NID_pkcs7_signed);
  PKCS7_add_signature(p7.get(), cert, key, EVP_sha1());
  PKCS7_add_certificate(p7.get(), cert);
  PKCS7_content_new(p7.get(), NID_pkcs7_data);
  BioPtr data(PKCS7_dataInit(p7.get(), nullptr));
  BIO_write(data.get(), content.data(), static_cast<int>(content.size()));
  (void)BIO_flush(data.get());
  PKCS7_dataFinal(p7.get(), data.get());
  unsigned char* der = nullptr;
  const int len = i2d_PKCS7(p7.get(), &der);
  return derToBase64(len, der);
}

PfxContent readPfx(const std::string& path, const std::string& password) {
  PfxContent out;
  BioPtr bio(BIO_new_file(path.c_str(), "rb"));
  Pkcs12Ptr p12(bio ? d2i_PKCS12_bio(bio.get(), nullptr) : nullptr);
  EVP_PKEY* key = nullptr;
  X509* cert = nullptr;
  if (p12 && PKCS12_parse(p12.get(), password.c_str(), &key, &cert, nullptr) == 1) {
    out.key.reset(key);
    out.cert.reset(cert);
  }
  return out;
}

}  // namespace karv::test
