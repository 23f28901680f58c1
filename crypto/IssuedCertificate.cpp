#include "crypto/IssuedCertificate.h"

#include <openssl/err.h>
#include <openssl/x509v3.h>

#include "crypto/X509Names.h"
#include "system/CommonUtility.h"

namespace karv {
namespace {

constexpr size_t kMaxFriendlyNameBytes = 255;

std::string trimWhite(const std::string& s) {
  const char* white = " \t\r\n";
  const auto first = s.find_first_not_of(white);
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(white) - first + 1);
}

STACK_OF(X509) * certificatesOf(PKCS7* p7) {
  if (PKCS7_type_is_signed(p7)) return p7->d.sign ? p7->d.sign->cert : nullptr;
  if (PKCS7_type_is_signedAndEnveloped(p7))
    return p7->d.signed_and_enveloped ? p7->d.signed_and_enveloped->cert : nullptr;
  return nullptr;
}

// True for a certificate whose basicConstraints extension says cA false.
bool isEndEntity(X509* cert) {
  int critical = 0;
  auto* bc = static_cast<BASIC_CONSTRAINTS*>(X509_get_ext_d2i(cert, NID_basic_constraints, &critical, nullptr));
  if (!bc) return false;
  const bool endEntity = bc->ca == 0;
  BASIC_CONSTRAINTS_free(bc);
  return endEntity;
}

bool belongsTo(X509* cert, EVP_PKEY* key) {
  if (!key) return false;
  const bool match = X509_check_private_key(cert, key) == 1;
  ERR_clear_error();  // a mismatch is an answer here, not an error
  return match;
}

X509StackPtr stackOf(const std::vector<X509Ptr>& certs, const X509* except) {
  X509StackPtr stack(sk_X509_new_null());
  for (const auto& c : certs) {
    if (c.get() == except) continue;
    X509_up_ref(c.get());
    if (!stack || !sk_X509_push(stack.get(), c.get())) {
      X509_free(c.get());
      return nullptr;
    }
  }
  return stack;
}

}  // namespace

std::optional<IssuedCertificates> readIssuedCertificates(const std::string& b64Cert) {
  const auto der = CommonUtility().base64Decode(trimWhite(b64Cert));
  if (!der || der->empty()) return std::nullopt;
  IssuedCertificates issued;
  const unsigned char* p = der->data();
  if (X509Ptr cert{d2i_X509(nullptr, &p, static_cast<long>(der->size()))}) {
    issued.certs.push_back(std::move(cert));
    return issued;
  }
  p = der->data();
  Pkcs7Ptr p7(d2i_PKCS7(nullptr, &p, static_cast<long>(der->size())));
  ERR_clear_error();  // the failed certificate attempt is expected for a chain
  STACK_OF(X509)* list = p7 ? certificatesOf(p7.get()) : nullptr;
  for (int i = 0; i < sk_X509_num(list); ++i) {
    X509* c = sk_X509_value(list, i);
    X509_up_ref(c);
    issued.certs.emplace_back(c);
  }
  if (issued.certs.empty()) return std::nullopt;
  issued.chain = true;
  return issued;
}

KeyedCertificate selectKeyedCertificate(const IssuedCertificates& issued, EVP_PKEY* key) {
  KeyedCertificate keyed;
  if (issued.certs.empty()) return keyed;
  if (!issued.chain) {
    keyed.cert = issued.certs.front().get();
    return keyed;
  }
  for (auto it = issued.certs.rbegin(); it != issued.certs.rend(); ++it) {
    if (isEndEntity(it->get())) {
      keyed.cert = it->get();
      keyed.ca = stackOf(issued.certs, keyed.cert);
      return keyed;
    }
  }
  keyed.cert = issued.certs.front().get();
  for (const auto& c : issued.certs) {
    if (belongsTo(c.get(), key)) {
      keyed.cert = c.get();
      break;
    }
  }
  keyed.ca = stackOf(issued.certs, nullptr);
  return keyed;
}

std::string friendlyNameOf(const X509* cert) {
  std::string name = x509NamePart(X509_get_subject_name(cert), NID_commonName);
  if (name.size() <= kMaxFriendlyNameBytes) return name;
  size_t cut = kMaxFriendlyNameBytes;
  while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;  // not inside a character
  return name.substr(0, cut);
}

}  // namespace karv
