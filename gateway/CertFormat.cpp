#include "gateway/CertFormat.h"

#include <openssl/pem.h>

#include <cstdio>
#include <utility>

#include "system/CommonUtility.h"

namespace karv::gateway {
namespace {
std::time_t toTime(const ASN1_TIME* t) {
  std::tm tm{};
  if (!t || ASN1_TIME_to_tm(t, &tm) != 1) return 0;
  return timegm(&tm);
}
}  // namespace

std::string nameEntry(const X509_NAME* name, int nid) {
  const int index = X509_NAME_get_index_by_NID(name, nid, -1);
  if (index < 0) return {};
  const ASN1_STRING* data = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, index));
  unsigned char* utf8 = nullptr;
  const int len = ASN1_STRING_to_UTF8(&utf8, data);
  if (len < 0) return {};
  OpenSslStringPtr owned(reinterpret_cast<char*>(utf8));
  return std::string(owned.get(), static_cast<size_t>(len));
}

std::string oneLineName(const X509_NAME* name) {
  std::string line = "CN=" + nameEntry(name, NID_commonName);
  const std::pair<const char*, int> parts[] = {{"OU", NID_organizationalUnitName},
                                               {"O", NID_organizationName},
                                               {"L", NID_localityName},
                                               {"S", NID_stateOrProvinceName},
                                               {"C", NID_countryName}};
  for (const auto& [label, nid] : parts) {
    const std::string value = nameEntry(name, nid);
    if (!value.empty()) line += std::string(", ") + label + "=" + value;
  }
  return line;
}

std::string serialHexOf(std::uint64_t serial) {
  char text[32];
  std::snprintf(text, sizeof text, "%llX", static_cast<unsigned long long>(serial));
  return text;
}

// Serials here are below 2^63, so the value the client reads (a long) is the whole serial.
std::string serialHex(const X509* cert) {
  return serialHexOf(static_cast<std::uint64_t>(ASN1_INTEGER_get(X509_get0_serialNumber(cert))));
}

std::time_t notBefore(const X509* cert) { return toTime(X509_get0_notBefore(cert)); }
std::time_t notAfter(const X509* cert) { return toTime(X509_get0_notAfter(cert)); }

std::string localTimeText(std::time_t t, const char* format) {
  std::tm tm{};
  localtime_r(&t, &tm);
  char text[64];
  return std::strftime(text, sizeof text, format, &tm) ? text : "";
}

std::string localTime14(std::time_t t) { return localTimeText(t, "%Y%m%d%H%M%S"); }

Bytes derOf(const X509* cert) {
  unsigned char* der = nullptr;
  const int len = i2d_X509(cert, &der);
  if (len <= 0) return {};
  OpenSslStringPtr owned(reinterpret_cast<char*>(der));
  return Bytes(der, der + len);
}

std::string derBase64(const X509* cert) {
  const Bytes der = derOf(cert);
  return CommonUtility().base64Encode(der.data(), static_cast<int32_t>(der.size()));
}

X509Ptr certFromDerBase64(const std::string& b64) {
  const auto der = CommonUtility().base64Decode(b64);
  if (!der) return nullptr;
  const unsigned char* p = der->data();
  X509Ptr cert(d2i_X509(nullptr, &p, static_cast<long>(der->size())));
  if (cert && p != der->data() + der->size()) return nullptr;  // trailing bytes
  return cert;
}

std::string pkcs7Base64(const std::vector<const X509*>& certs) {
  Pkcs7Ptr p7(PKCS7_new());
  if (!p7 || PKCS7_set_type(p7.get(), NID_pkcs7_signed) != 1 || PKCS7_content_new(p7.get(), NID_pkcs7_data) != 1)
    return {};
  for (const X509* cert : certs)
    if (PKCS7_add_certificate(p7.get(), const_cast<X509*>(cert)) != 1) return {};
  unsigned char* der = nullptr;
  const int len = i2d_PKCS7(p7.get(), &der);
  if (len <= 0) return {};
  OpenSslStringPtr owned(reinterpret_cast<char*>(der));
  return CommonUtility().base64Encode(der, len);
}

std::string toPem(const X509* cert) {
  BioPtr bio(BIO_new(BIO_s_mem()));
  if (!bio || PEM_write_bio_X509(bio.get(), cert) != 1) return {};
  return bioToString(bio.get());
}

X509Ptr certFromPem(const std::string& pem) {
  BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  return X509Ptr(bio ? PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr) : nullptr);
}

}  // namespace karv::gateway
