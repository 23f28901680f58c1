#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "crypto/CertInfo.h"
#include "crypto/OpenSslHandles.h"
#include "crypto/X509Names.h"

namespace karv {

// Parameter encryption of the gateway protocol: RSA with the gateway's public
// key before login, AES-128-CBC with the session key after it. Stateless apart
// from the gateway's public key text it is given (none: the public-key
// operations fail).
// Also the face of the certificate work: key pairs and requests, .pfx files,
// signing, names and times (status codes in CertStatus.h).
class RSAUtility {
 public:
  RSAUtility() = default;
  explicit RSAUtility(std::string publicKeyPem);

  // Status codes of the sized forms.
  static constexpr int32_t kOk = 0;
  static constexpr int32_t kFailed = 1;
  static constexpr int32_t kBlockSize = 256;
  static constexpr char kAesIv[] = "5820417396285013";

  // Base64 of the RSA ciphertext of the value; "" for "" or on failure.
  [[nodiscard]] std::string encryptAndB64WithPublicKey(const std::string& value) const;
  [[nodiscard]] int32_t encryptWithPublicKey(const std::uint8_t* dataIn, int32_t dataInSize, Bytes& dataOut,
                                             int32_t& dataOutSize) const;
  // Opens a reply made with the gateway's private key, 256 bytes per block;
  // a block that does not open is skipped.
  [[nodiscard]] std::optional<Bytes> decryptWithPublicKey(const Bytes& dataIn) const;
  [[nodiscard]] int32_t decryptWithPublicKey(const std::uint8_t* dataIn, int32_t dataInSize, Bytes& dataOut,
                                             int32_t& dataOutSize) const;

  [[nodiscard]] std::string encryptAndB64WithAes(const std::string& key, const std::string& value) const;
  [[nodiscard]] int32_t encryptWithAes(const std::string& key, const std::uint8_t* dataIn, int32_t dataInSize,
                                       Bytes& dataOut, int32_t& dataOutSize) const;
  [[nodiscard]] std::optional<Bytes> decryptWithAes(const std::string& key, const Bytes& dataIn) const;
  [[nodiscard]] int32_t decryptWithAes(const std::string& key, const std::uint8_t* dataIn, int32_t dataInSize,
                                       Bytes& dataOut, int32_t& dataOutSize) const;

  // A 2048-bit (keyLength) RSA key pair and its PKCS#10 request for the
  // common name; the key is also kept in a new key file of the hidden working
  // folder. The outputs are set only on success (0).
  [[nodiscard]] int32_t createCSR(const std::string& cn, int32_t keyLength, std::string& csr,
                                  std::string& privateKey) const;

  // .pfx files: written with the issued certificate text and a PEM key, with
  // the key found among the key files, or as a ready structure.
  [[nodiscard]] int32_t savePfxFile(const std::string& b64Cert, const std::string& b64PrivateKey,
                                    const std::string& pfxFilePath, const std::string& pfxFilePwd) const;
  [[nodiscard]] int32_t savePfxFile(const std::string& b64Cert, const std::string& pfxFilePath,
                                    const std::string& pfxFilePwd) const;
  [[nodiscard]] int32_t savePfxFile(PKCS12* pkcs12, const std::string& pfxFilePath) const;
  // Removes the key files whose key the .pfx (opened with its password) holds
  // with its certificate; how many, or -1 when the .pfx does not hold its key.
  [[nodiscard]] int removeKeyFilesSavedIn(const std::string& pfxFilePath, const std::string& pfxFilePwd) const;
  [[nodiscard]] int32_t loadPfx(const std::string& pfxFilePath, const std::string& pfxFilePwd, Pkcs12Ptr& pkcs12,
                                CertInfo& certInfo) const;
  [[nodiscard]] int32_t loadPfx(const std::string& pfxFilePath, const std::string& pfxFilePwd,
                                CertInfo& certInfo) const;
  [[nodiscard]] int32_t loadPfx(const std::string& pfxFilePath, const std::string& pfxFilePwd, std::string& b64X509Cert,
                                std::string& b64P12Cert, CertInfo& certInfo) const;
  // Whether the file opens with the password; the expected issuer and serial
  // are the caller's to compare.
  [[nodiscard]] int32_t checkPfxFile(const std::string& pfxFilePath, const std::string& pfxFilePwd,
                                     const std::string& certIssuer, const std::string& certHexSerial) const;
  [[nodiscard]] int32_t changePwd(const std::string& pfxFilePath, const std::string& pfxFileOldPwd,
                                  const std::string& pfxFileNewPwd) const;

  // DER PKCS#7 SignedData over plainText with the key of the .pfx.
  [[nodiscard]] int32_t signPKCS7(const std::string& pfxFilePath, const std::string& pfxFilePwd, const Bytes& plainText,
                                  Bytes& sign) const;
  [[nodiscard]] int32_t signPKCS7(PKCS12* p12Cert, const std::string& p12CertPwd, const Bytes& plainText,
                                  Bytes& sign) const;

  // Names and times as texts.
  [[nodiscard]] std::string getX509NamePart(const X509_NAME* name, int nid) const;
  [[nodiscard]] std::optional<std::string> asn1TimeToLocalTimeStr(const ASN1_TIME* time) const;
  [[nodiscard]] std::string getCertUserIdFromCn(const std::string& cn) const;
  [[nodiscard]] std::optional<NameParts> parseSubject(const std::string& subject) const;
  [[nodiscard]] bool cmpSubject(const std::string& subject1, const std::string& subject2) const;

 private:
  std::string publicKeyPem_;
};

// The parsed form of a PEM public key. Parsing through the OpenSSL 3 decoders
// costs more than the RSA operation itself, so each distinct text is parsed
// once per process; the key is public, so keeping it is harmless.
const EVP_PKEY* sharedPublicKey(const std::string& pem);

}  // namespace karv
