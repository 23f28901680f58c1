// .pfx files from their bytes, as the PFX dialogs, the queries and the
// renewal's signature read them.
#include <openssl/err.h>

#include <string>

#include "FuzzTargets.h"
#include "crypto/CertInfo.h"
#include "crypto/PfxReader.h"
#include "crypto/RSAUtility.h"
#include "system/CommonUtility.h"

namespace karv::fuzz {
namespace {

// What the client does with a file that opened: the record, the encodings
// of the deployment page, a signature.
void useOpened(PKCS12* pkcs12, const std::string& password) {
  OpenedPfx opened;
  if (openPkcs12(pkcs12, password, opened) != 0) return;
  (void)certInfoOf(opened.cert.get());
  unsigned char* der = nullptr;
  const int len = i2d_PKCS12(pkcs12, &der);
  const OpenSslStringPtr owned(reinterpret_cast<char*>(der));
  if (len > 0) (void)CommonUtility().base64Encode(der, len);
  Bytes sign;
  (void)RSAUtility().signPKCS7(pkcs12, password, Bytes{'c', 's', 'r'}, sign);
}

}  // namespace

void pfxReader(const std::uint8_t* data, std::size_t size) {
  Pkcs12Ptr pkcs12;
  if (decodePkcs12(std::string(reinterpret_cast<const char*>(data), size), pkcs12) != 0) return;
  useOpened(pkcs12.get(), kPfxPassword);
  useOpened(pkcs12.get(), "not the password");
  // A changed byte breaks the MAC, and nothing behind it would be read: with
  // the MAC made good (one iteration, cheap) the contents are read as well.
  if (PKCS12_set_mac(pkcs12.get(), kPfxPassword, -1, nullptr, 0, 1, EVP_sha1()) == 1)
    useOpened(pkcs12.get(), kPfxPassword);
  ERR_clear_error();
}

}  // namespace karv::fuzz
