#include "support/TestPki.h"

#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <array>
#include <stdexcept>

#include "CommonUtility.h"

namespace karv::test {
namespace {

PkeyPtr generate() {
  PkeyPtr key(EVP_RSA_gen(2048));
  if (!key) throw std::runtime_error("test key generation failed");
  return key;
}

// Key generation is the slow part of the tests: each key is made once per run.
EVP_PKEY* cachedKey(size_t slot) {
  static std::array<PkeyPtr, 4> keys;
  if (!keys.at(slot)) keys[slot] = generate();
  return keys[slot].get();
}

void addName(X509_NAME* name, const char* field, const std::string& value) {
  if (!value.empty())
    X509_NAME_add_entry_by_txt(name, field, MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(value.c_str()), -1,
                               -1, 0);
}

std::string b64Of(const unsigned char* der, int len) {
  std::string out = CommonUtility().base64Encode(der, len);
  OPENSSL_free(const_cast<unsigned char*>(der));
  return out;
}

}  // namespace

EVP_PKEY* rootKey() { return cachedKey(0); }
EVP_PKEY* intermediateKey() { return cachedKey(1); }
EVP_PKEY* userKey() { return cachedKey(2); }
EVP_PKEY* otherUserKey() { return cachedKey(3); }

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
  return b64Of(der, len);
}

std::string b64Pkcs7(const std::vector<X509*>& certs) {
  Pkcs7Ptr p7(PKCS7_new());
  PKCS7_set_type(p7.get(), NID_pkcs7_signed);
  PKCS7_content_new(p7.get(), NID_pkcs7_data);
  for (X509* c : certs) PKCS7_add_certificate(p7.get(), c);
  unsigned char* der = nullptr;
  const int len = i2d_PKCS7(p7.get(), &der);
  return b64Of(der, len);
}

std::string certPem(X509* cert) {
  BioPtr bio(BIO_new(BIO_s_mem()));
  PEM_write_bio_X509(bio.get(), cert);
  return bioToString(bio.get());
}

std::string keyPem(EVP_PKEY* key) {
  BioPtr bio(BIO_new(BIO_s_mem()));
  PEM_write_bio_PKCS8PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr);
  return bioToString(bio.get());
}

void writeText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

}  // namespace karv::test
