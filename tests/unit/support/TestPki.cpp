#include "support/TestPki.h"

#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <map>

#include "gateway/DevGateway.h"
#include "gateway/KeyCache.h"
#include "system/CommonUtility.h"

namespace karv::test {
namespace {

EVP_PKEY* cachedKey(const char* name) {
  static std::map<std::string, PkeyPtr> keys;
  PkeyPtr& key = keys[name];
  if (!key) key = gateway::cachedRsaKey(std::string("test-") + name, gateway::GatewayOptions::defaultKeyCacheDir());
  return key.get();
}

void addName(X509_NAME* name, const char* field, const std::string& value) {
  if (!value.empty())
    X509_NAME_add_entry_by_txt(name, field, MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(value.c_str()), -1,
                               -1, 0);
}

// Base64 of DER that OpenSSL allocated, which this frees.
std::string b64Of(int len, unsigned char* der) {
  OpenSslStringPtr owned(reinterpret_cast<char*>(der));
  return len > 0 ? CommonUtility().base64Encode(der, len) : std::string();
}

}  // namespace

EVP_PKEY* rootKey() { return cachedKey("root"); }
EVP_PKEY* intermediateKey() { return cachedKey("intermediate"); }
EVP_PKEY* userKey() { return cachedKey("request"); }
EVP_PKEY* otherUserKey() { return cachedKey("other-request"); }

X509Ptr makeCert(const Subject& subject, EVP_PKEY* subjectKey, X509* issuer, EVP_PKEY* issuerKey,
                 const CertOptions& options) {
  X509Ptr cert(X509_new());
  X509_set_version(cert.get(), X509_VERSION_3);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), options.serial);
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), 0);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), 365L * 24 * 3600);
  X509_NAME* name = X509_get_subject_name(cert.get());
  addName(name, "C", subject.c);
  addName(name, "ST", subject.st);
  addName(name, "L", subject.l);
  addName(name, "O", subject.o);
  addName(name, "OU", subject.ou);
  addName(name, "CN", subject.cn);
  X509_set_issuer_name(cert.get(), issuer ? X509_get_subject_name(issuer) : name);
  X509_set_pubkey(cert.get(), subjectKey);
  if (options.caConstraint) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer ? issuer : cert.get(), cert.get(), nullptr, nullptr, 0);
    const char* value = *options.caConstraint ? "critical,CA:TRUE" : "CA:FALSE";
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, NID_basic_constraints, value);
    X509_add_ext(cert.get(), ext, -1);
    X509_EXTENSION_free(ext);
  }
  X509_sign(cert.get(), issuerKey, EVP_sha256());
  return cert;
}

const Chain& standardChain() {
  static const Chain chain = [] {
    Chain c;
    c.root = makeCert({"Test Root CA", "", "Test Org", "", "", "TW"}, rootKey(), nullptr, rootKey(), {100, true});
    c.intermediate = makeCert({"Test Issuing CA", "", "Test Org", "", "", "TW"}, intermediateKey(), c.root.get(),
                              rootKey(), {101, true});
    c.user = makeCert({"X12345-01", "Retail", "", "", "", "TW"}, userKey(), c.intermediate.get(), intermediateKey(),
                      {0x0A1B, false});
    return c;
  }();
  return chain;
}

std::string b64Der(X509* cert) {
  unsigned char* der = nullptr;
  const int len = i2d_X509(cert, &der);
  return b64Of(len, der);
}

std::string b64Pkcs7(const std::vector<X509*>& certs) {
  Pkcs7Ptr p7(PKCS7_new());
  PKCS7_set_type(p7.get(), NID_pkcs7_signed);
  PKCS7_content_new(p7.get(), NID_pkcs7_data);
  for (X509* c : certs) PKCS7_add_certificate(p7.get(), c);
  unsigned char* der = nullptr;
  const int len = i2d_PKCS7(p7.get(), &der);
  return b64Of(len, der);
}

std::string certPem(X509* cert) {
  BioPtr bio(BIO_new(BIO_s_mem()));
  PEM_write_bio_X509(bio.get(), cert);
  return bioToString(bio.get());
}

std::string keyPem(EVP_PKEY* key) { return gateway::privateKeyPem(key); }

std::string clientCsr(const std::string& cn, EVP_PKEY* key) {
  X509ReqPtr req(X509_REQ_new());
  X509_REQ_set_version(req.get(), 0);
  addName(X509_REQ_get_subject_name(req.get()), "CN", cn);
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
  return b64Of(len, der);
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
