#include "gateway/DevCa.h"

#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <optional>

#include "gateway/CertFormat.h"
#include "gateway/KeyCache.h"
#include "system/Log.h"
#include "system/SecureFiles.h"

namespace karv::gateway {
namespace {
constexpr long kDay = 86400;

struct CaPem {
  std::string root;
  std::string issuing;
  std::string issuingKey;
};

X509NamePtr makeName(std::initializer_list<std::pair<const char*, std::string>> parts) {
  X509NamePtr name(X509_NAME_new());
  for (const auto& [field, value] : parts)
    if (!name || X509_NAME_add_entry_by_txt(name.get(), field, MBSTRING_UTF8,
                                            reinterpret_cast<const unsigned char*>(value.c_str()), -1, -1, 0) != 1)
      return nullptr;
  return name;
}

bool addExtension(X509* cert, X509* issuer, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509ExtensionPtr ext(X509V3_EXT_conf_nid(nullptr, &ctx, nid, value));
  return ext && X509_add_ext(cert, ext.get(), -1) == 1;
}

struct Extension {
  int nid;
  const char* value;
};

// A certificate for `key` named `subject`, signed by issuerKey (issuer none: self-signed).
X509Ptr makeCert(EVP_PKEY* key, const X509_NAME* subject, X509* issuer, EVP_PKEY* issuerKey, std::uint64_t serial,
                 std::time_t from, std::time_t to, std::initializer_list<Extension> extensions) {
  X509Ptr cert(X509_new());
  if (!cert) return nullptr;
  X509* c = cert.get();
  X509* signer = issuer ? issuer : c;
  bool ok = X509_set_version(c, 2) == 1 && ASN1_INTEGER_set_uint64(X509_get_serialNumber(c), serial) == 1 &&
            ASN1_TIME_set(X509_getm_notBefore(c), from) && ASN1_TIME_set(X509_getm_notAfter(c), to) &&
            X509_set_subject_name(c, subject) == 1 && X509_set_issuer_name(c, X509_get_subject_name(signer)) == 1 &&
            X509_set_pubkey(c, key) == 1;
  for (const auto& e : extensions) ok = ok && addExtension(c, signer, e.nid, e.value);
  ok = ok && X509_sign(c, issuerKey, EVP_sha256()) > 0;
  if (!ok) {
    logOpenSslErrors("dev CA certificate");
    return nullptr;
  }
  return cert;
}

std::optional<CaPem> generateCa(const std::string& keyCacheDir) {
  const std::time_t now = std::time(nullptr);
  PkeyPtr rootKey = cachedRsaKey("ca-root", keyCacheDir);
  PkeyPtr issuingKey = cachedRsaKey("ca-issuing", keyCacheDir);
  if (!rootKey || !issuingKey) return std::nullopt;
  X509NamePtr rootName = makeName({{"C", "TW"}, {"O", "KARV Development"}, {"CN", "KARV Development Root CA"}});
  X509NamePtr issuingName = makeName({{"C", "TW"},
                                      {"ST", "Taipei"},
                                      {"O", "KARV Development"},
                                      {"OU", "Certificate Services"},
                                      {"CN", "KARV Development Issuing CA"}});
  if (!rootName || !issuingName) return std::nullopt;
  X509Ptr root = makeCert(rootKey.get(), rootName.get(), nullptr, rootKey.get(), 1, now - kDay, now + 3650 * kDay,
                          {{NID_basic_constraints, "critical,CA:TRUE"},
                           {NID_key_usage, "critical,keyCertSign,cRLSign"},
                           {NID_subject_key_identifier, "hash"}});
  if (!root) return std::nullopt;
  X509Ptr issuing =
      makeCert(issuingKey.get(), issuingName.get(), root.get(), rootKey.get(), 2, now - kDay, now + 1825 * kDay,
               {{NID_basic_constraints, "critical,CA:TRUE,pathlen:0"},
                {NID_key_usage, "critical,keyCertSign,cRLSign"},
                {NID_subject_key_identifier, "hash"},
                {NID_authority_key_identifier, "keyid:always"}});
  if (!issuing) return std::nullopt;
  return CaPem{toPem(root.get()), toPem(issuing.get()), privateKeyPem(issuingKey.get())};
}

// The folder's CA; none when it has none yet.
std::optional<CaPem> readFolder(const std::string& folder) {
  auto root = readWholeFile(folder + "/root.pem");
  auto issuing = readWholeFile(folder + "/issuing.pem");
  auto key = readWholeFile(folder + "/issuing-key.pem");
  if (!root || !issuing || !key) return std::nullopt;
  return CaPem{*root, *issuing, *key};
}

bool writeFolder(const std::string& folder, const CaPem& ca) {
  return makeFolders(folder, 0700) && writeFileAtomically(folder + "/root.pem", ca.root, 0644) &&
         writeFileAtomically(folder + "/issuing.pem", ca.issuing, 0644) &&
         writeFileAtomically(folder + "/issuing-key.pem", ca.issuingKey, 0600);
}
}  // namespace

std::unique_ptr<DevCa> DevCa::openOrCreate(const std::string& folder, const std::string& keyCacheDir,
                                           std::string& error) {
  std::optional<CaPem> pem = folder.empty() ? std::nullopt : readFolder(folder);
  if (!pem) {
    pem = generateCa(keyCacheDir);
    if (!pem) {
      error = "cannot make the development CA";
      return nullptr;
    }
    if (!folder.empty() && !writeFolder(folder, *pem)) {
      error = "cannot write the development CA to " + folder;
      return nullptr;
    }
  }
  std::unique_ptr<DevCa> ca(new DevCa);
  ca->root_ = certFromPem(pem->root);
  ca->issuing_ = certFromPem(pem->issuing);
  ca->issuingKey_ = privateKeyFromPem(pem->issuingKey);
  if (!ca->root_ || !ca->issuing_ || !ca->issuingKey_ ||
      X509_check_private_key(ca->issuing_.get(), ca->issuingKey_.get()) != 1) {
    error = "the development CA in " + folder + " does not load";
    return nullptr;
  }
  return ca;
}

X509Ptr DevCa::issue(EVP_PKEY* subjectKey, const std::string& cn, std::time_t from, std::time_t to,
                     std::uint64_t serial) const {
  X509NamePtr subject = makeName({{"C", "TW"}, {"O", "KARV Development"}, {"OU", "Customers"}, {"CN", cn}});
  if (!subject) return nullptr;
  return makeCert(subjectKey, subject.get(), issuing_.get(), issuingKey_.get(), serial, from, to,
                  {{NID_basic_constraints, "critical,CA:FALSE"},
                   {NID_key_usage, "critical,digitalSignature,nonRepudiation,keyEncipherment"},
                   {NID_ext_key_usage, "clientAuth,emailProtection"},
                   {NID_subject_key_identifier, "hash"},
                   {NID_authority_key_identifier, "keyid:always"}});
}

}  // namespace karv::gateway
