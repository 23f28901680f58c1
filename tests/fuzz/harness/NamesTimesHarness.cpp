// Names and times of certificates as texts.
#include <openssl/asn1.h>

#include <array>
#include <string>

#include "FuzzTargets.h"
#include "crypto/Asn1TimeText.h"
#include "crypto/OpenSslHandles.h"
#include "crypto/X509Names.h"

namespace karv::fuzz {
namespace {

using Asn1StringPtr = std::unique_ptr<ASN1_STRING, OpenSslDeleter<ASN1_STRING_free>>;

constexpr std::array<int, 6> kNameParts = {NID_commonName,   NID_organizationalUnitName, NID_organizationName,
                                           NID_localityName, NID_stateOrProvinceName,    NID_countryName};
// The time types of certificates, and one that is neither.
constexpr std::array<int, 3> kTimeTypes = {V_ASN1_UTCTIME, V_ASN1_GENERALIZEDTIME, V_ASN1_PRINTABLESTRING};

void oneLineNames(const std::string& text) {
  (void)parseOneLineName(text);
  (void)userIdFromCommonName(text);
  const auto newline = text.find('\n');
  if (newline != std::string::npos) (void)sameOneLineName(text.substr(0, newline), text.substr(newline + 1));
}

void derName(const std::string& der) {
  const auto* p = reinterpret_cast<const unsigned char*>(der.data());
  X509NamePtr name(d2i_X509_NAME(nullptr, &p, static_cast<long>(der.size())));
  if (!name) return;
  for (int nid : kNameParts) (void)x509NamePart(name.get(), nid);
  // The line the client makes is read back by the load-PFX comparison.
  (void)sameOneLineName(oneLineName(name.get()), oneLineName(name.get()));
}

void certificateTime(int type, const std::string& text) {
  Asn1StringPtr time(ASN1_STRING_type_new(type));
  if (!time || ASN1_STRING_set(time.get(), text.data(), static_cast<int>(text.size())) != 1) return;
  (void)localTimeText(time.get());
}

}  // namespace

void namesAndTimes(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return;
  const std::string rest(reinterpret_cast<const char*>(data) + 2, size - 2);
  switch (data[0] % 3) {
    case 0:
      oneLineNames(rest);
      break;
    case 1:
      derName(rest);
      break;
    default:
      certificateTime(kTimeTypes[data[1] % kTimeTypes.size()], rest);
  }
}

}  // namespace karv::fuzz
