#include "gateway/RequestChecks.h"

#include <openssl/err.h>

#include <algorithm>

#include "gateway/CertFormat.h"
#include "system/CommonUtility.h"

namespace karv::gateway {
namespace {
constexpr int kMinKeyBits = 2048;

// Whole-buffer DER decoding: trailing bytes are refused.
template <class Ptr, class Fn>
Ptr decodeDer(const Bytes& der, Fn d2i) {
  const unsigned char* p = der.data();
  Ptr object(d2i(nullptr, &p, static_cast<long>(der.size())));
  if (!object || p != der.data() + der.size()) return nullptr;
  return object;
}
}  // namespace

X509ReqPtr parseClientCsr(const std::string& text) {
  std::string b64 = text;
  b64.erase(std::remove_if(b64.begin(), b64.end(), [](char c) { return c == '\n' || c == '\r'; }), b64.end());
  const auto der = CommonUtility().base64Decode(b64);
  if (!der) return nullptr;
  return decodeDer<X509ReqPtr>(*der, d2i_X509_REQ);
}

CsrVerdict checkCsr(X509_REQ* req, const std::string& cn) {
  EVP_PKEY* key = X509_REQ_get0_pubkey(req);
  if (!key || EVP_PKEY_get_base_id(key) != EVP_PKEY_RSA || EVP_PKEY_get_bits(key) < kMinKeyBits)
    return CsrVerdict::Malformed;
  if (X509_REQ_verify(req, key) != 1) {
    ERR_clear_error();
    return CsrVerdict::BadSignature;
  }
  const X509_NAME* subject = X509_REQ_get_subject_name(req);
  if (X509_NAME_get_index_by_NID(subject, NID_commonName, -1) < 0) return CsrVerdict::WrongCn;
  return nameEntry(subject, NID_commonName) == cn ? CsrVerdict::Ok : CsrVerdict::WrongCn;
}

bool verifyRenewalSignature(const std::string& signB64, const std::string& content, X509* signer) {
  const auto der = CommonUtility().base64Decode(signB64);
  if (!der || !signer) return false;
  Pkcs7Ptr p7 = decodeDer<Pkcs7Ptr>(*der, d2i_PKCS7);
  if (!p7 || !PKCS7_type_is_signed(p7.get()) || PKCS7_get_detached(p7.get())) return false;
  X509StackPtr signers(sk_X509_new_null());
  if (!signers || !sk_X509_push(signers.get(), signer)) return false;
  X509_up_ref(signer);
  BioPtr out(BIO_new(BIO_s_mem()));
  // Only the given certificate may have signed (NOINTERN); the client's
  // certificate chain is the gateway's own, so it is not verified again here.
  const int ok = PKCS7_verify(p7.get(), signers.get(), nullptr, nullptr, out.get(),
                              PKCS7_NOINTERN | PKCS7_NOVERIFY | PKCS7_BINARY);
  if (ok != 1) {
    ERR_clear_error();
    return false;
  }
  return bioToString(out.get()) == content;
}

}  // namespace karv::gateway
