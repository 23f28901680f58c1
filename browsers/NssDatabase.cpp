#include "browsers/NssDatabase.h"

#include <openssl/crypto.h>
#include <openssl/pkcs12.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <vector>

#include "browsers/NssLibrary.h"
#include "crypto/CertInfo.h"
#include "crypto/CertStatus.h"
#include "crypto/PfxReader.h"
#include "crypto/X509Names.h"
#include "system/SecureFiles.h"

namespace karv {
namespace {

// NSS objects exist only once NSS has loaded, so their deleters find it loaded.
const NssLibrary& nss() { return NssLibrary::loaded(); }
void shutdownContext(NSSInitContext* c) noexcept { nss().NSS_ShutdownContext(c); }
void closeUserDb(PK11SlotInfo* slot) noexcept {
  nss().SECMOD_CloseUserDB(slot);
  nss().PK11_FreeSlot(slot);
}
void destroyCert(CERTCertificate* c) noexcept { nss().CERT_DestroyCertificate(c); }
void destroyCertList(CERTCertList* l) noexcept { nss().CERT_DestroyCertList(l); }
void destroyKey(SECKEYPrivateKey* k) noexcept { nss().SECKEY_DestroyPrivateKey(k); }
void finishDecoder(SEC_PKCS12DecoderContext* d) noexcept { nss().SEC_PKCS12DecoderFinish(d); }
using NssContextPtr = std::unique_ptr<NSSInitContext, FreeWith<shutdownContext>>;
using UserDbSlotPtr = std::unique_ptr<PK11SlotInfo, FreeWith<closeUserDb>>;
using NssCertPtr = std::unique_ptr<CERTCertificate, FreeWith<destroyCert>>;
using NssCertListPtr = std::unique_ptr<CERTCertList, FreeWith<destroyCertList>>;
using NssPrivateKeyPtr = std::unique_ptr<SECKEYPrivateKey, FreeWith<destroyKey>>;
using Pkcs12DecoderPtr = std::unique_ptr<SEC_PKCS12DecoderContext, FreeWith<finishDecoder>>;

std::string lastNssError() {
  const char* name = nss().PR_ErrorToName(nss().PR_GetError());
  return name ? name : "unknown NSS error";
}

// NSS module specs quote values with '...'; a quote or backslash in a folder
// name is escaped with a backslash.
std::string quotedSpecValue(const std::string& value) {
  std::string out;
  for (char c : value) {
    if (c == '\'' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  return out;
}

// PKCS#12 passwords are BMPStrings: UTF-16 big-endian with a terminating
// zero, made as OpenSSL makes them when it checks the file, so that both
// libraries read the same password from the same bytes.
std::string pkcs12Password(const std::string& utf8) {
  unsigned char* uni = nullptr;
  int length = 0;
  if (!OPENSSL_utf82uni(utf8.data(), static_cast<int>(std::min<size_t>(utf8.size(), INT_MAX)), &uni, &length))
    return {};
  std::string out(reinterpret_cast<const char*>(uni), static_cast<size_t>(length));
  OPENSSL_clear_free(uni, static_cast<size_t>(length));
  return out;
}

SECItem itemOver(std::string& bytes) {
  return SECItem{siBuffer, reinterpret_cast<unsigned char*>(bytes.data()), static_cast<unsigned int>(bytes.size())};
}

// Called by NSS when a certificate of the file has no friendly name, or one
// that a certificate of another subject already uses, and again with each
// answer until one is free: "<name> #2", "#3", ... Every answer differs from
// the one before, so the search always ends.
SECItem* PR_CALLBACK newNickname(SECItem* oldNickname, PRBool* cancel, void* leafCert) {
  *cancel = PR_FALSE;
  std::string base;
  if (oldNickname && oldNickname->data)
    base.assign(reinterpret_cast<const char*>(oldNickname->data),
                strnlen(reinterpret_cast<const char*>(oldNickname->data), oldNickname->len));
  if (base.empty() && leafCert) {
    if (char* cn = nss().CERT_GetCommonName(&static_cast<CERTCertificate*>(leafCert)->subject)) {
      base = cn;
      nss().PORT_Free(cn);
    }
  }
  if (base.empty()) base = "KARV";
  int next = 2;
  if (const auto mark = base.rfind(" #"); mark != std::string::npos) {
    const std::string digits = base.substr(mark + 2);
    if (!digits.empty() && digits.size() < 4 && digits.find_first_not_of("0123456789") == std::string::npos) {
      next = std::stoi(digits) + 1;
      base.resize(mark);
    }
  }
  if (next > 999) {
    *cancel = PR_TRUE;
    return nullptr;
  }
  const std::string nickname = base + " #" + std::to_string(next);
  SECItem* item = nss().SECITEM_AllocItem(nullptr, nullptr, static_cast<unsigned int>(nickname.size() + 1));
  if (!item) return nullptr;
  std::memcpy(item->data, nickname.c_str(), nickname.size() + 1);
  item->len = static_cast<unsigned int>(nickname.size());
  item->type = siAsciiString;
  return item;
}

// The DER form of the file's keyed certificate, read with OpenSSL (which
// also checks the password against the file's MAC); "" when it does not open.
std::string keyedCertificateDer(const std::string& pkcs12Der, const std::string& password) {
  Pkcs12Ptr pkcs12;
  OpenedPfx opened;
  if (decodePkcs12(pkcs12Der, pkcs12) != certstatus::kOk ||
      openPkcs12(pkcs12.get(), password, opened) != certstatus::kOk || !opened.cert || !opened.key)
    return {};
  unsigned char* der = nullptr;
  const int len = i2d_X509(opened.cert.get(), &der);
  OpenSslStringPtr owned(reinterpret_cast<char*>(der));
  return len > 0 ? std::string(owned.get(), static_cast<size_t>(len)) : std::string();
}

// One database open at a time in the process: NSS contexts started and user
// databases opened from several threads at once hang or crash inside NSS.
std::mutex& nssTurn() {
  static std::mutex turn;
  return turn;
}

}  // namespace

struct NssDatabase::Impl {
  std::lock_guard<std::mutex> turn{nssTurn()};  // declared first: held until everything below is closed
  NssContextPtr context;                        // shut down after the slot is closed
  UserDbSlotPtr slot;

  // Certificate and key both in the database.
  bool holds(std::string& certDer) {
    SECItem item = itemOver(certDer);
    NssCertPtr cert(nss().PK11_FindCertFromDERCertItem(slot.get(), &item, nullptr));
    if (!cert) return false;
    NssPrivateKeyPtr key(nss().PK11_FindKeyByDERCert(slot.get(), cert.get(), nullptr));
    return key != nullptr;
  }
};

NssDatabase::NssDatabase(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
NssDatabase::~NssDatabase() = default;

bool NssDatabase::existsIn(const std::string& folder) {
  std::error_code ec;
  return std::filesystem::is_regular_file(folder + "/cert9.db", ec);
}

std::unique_ptr<NssDatabase> NssDatabase::open(const std::string& folder, bool createWhenMissing, std::string& error) {
  if (!existsIn(folder)) {
    if (!createWhenMissing) {
      error = "no certificate database in " + folder;
      return nullptr;
    }
    if (!makeFolders(folder, 0700)) {
      error = "cannot make " + folder;
      return nullptr;
    }
  }
  if (!NssLibrary::get(error)) return nullptr;
  auto impl = std::make_unique<Impl>();
  // NSS without a database of its own; each browser database joins as a user database.
  impl->context.reset(nss().NSS_InitContext("", "", "", "", nullptr,
                                            NSS_INIT_READONLY | NSS_INIT_NOCERTDB | NSS_INIT_NOMODDB |
                                                NSS_INIT_FORCEOPEN | NSS_INIT_NOROOTINIT | NSS_INIT_OPTIMIZESPACE));
  if (!impl->context) {
    error = "NSS did not start: " + lastNssError();
    return nullptr;
  }
  // Each open database needs a token name of its own.
  static std::atomic<int> opened{0};
  const std::string spec =
      "configDir='sql:" + quotedSpecValue(folder) + "' tokenDescription='KARV " + std::to_string(++opened) + "'";
  impl->slot.reset(nss().SECMOD_OpenUserDB(spec.c_str()));
  if (!impl->slot || !nss().PK11_IsPresent(impl->slot.get())) {
    error = "cannot open the database in " + folder + ": " + lastNssError();
    return nullptr;
  }
  // A new database gets the empty password browsers give theirs.
  if (nss().PK11_NeedUserInit(impl->slot.get()) && nss().PK11_InitPin(impl->slot.get(), nullptr, "") != SECSuccess) {
    error = "cannot initialise the database in " + folder + ": " + lastNssError();
    return nullptr;
  }
  if (nss().PK11_NeedLogin(impl->slot.get()) &&
      nss().PK11_Authenticate(impl->slot.get(), PR_TRUE, nullptr) != SECSuccess) {
    error = "the database in " + folder + " is protected by a password";
    return nullptr;
  }
  return std::unique_ptr<NssDatabase>(new NssDatabase(std::move(impl)));
}

NssDatabase::Import NssDatabase::importPkcs12(const Bytes& pkcs12Der, const std::string& password, std::string& error) {
  std::string data(pkcs12Der.begin(), pkcs12Der.end());  // NSS wants writable bytes
  std::string certDer = keyedCertificateDer(data, password);
  if (certDer.empty()) {
    error = "the file does not open with its password";
    return Import::kFailed;
  }
  if (impl_->holds(certDer)) return Import::kAlreadyPresent;

  std::string unicodePassword = pkcs12Password(password);
  SECItem passwordItem = itemOver(unicodePassword);
  Pkcs12DecoderPtr decoder(nss().SEC_PKCS12DecoderStart(&passwordItem, impl_->slot.get(), nullptr, nullptr, nullptr,
                                                        nullptr, nullptr, nullptr));
  const bool imported = decoder &&
                        nss().SEC_PKCS12DecoderUpdate(decoder.get(), reinterpret_cast<unsigned char*>(data.data()),
                                                      data.size()) == SECSuccess &&
                        nss().SEC_PKCS12DecoderVerify(decoder.get()) == SECSuccess &&
                        nss().SEC_PKCS12DecoderValidateBags(decoder.get(), newNickname) == SECSuccess &&
                        nss().SEC_PKCS12DecoderImportBags(decoder.get()) == SECSuccess;
  // The password's copy is wiped as soon as NSS is done with it.
  decoder.reset();
  std::fill(unicodePassword.begin(), unicodePassword.end(), '\0');
  if (!imported) {
    error = "NSS refused the file: " + lastNssError();
    return Import::kFailed;
  }
  if (!impl_->holds(certDer)) {
    error = "certificate or key missing after the import";
    return Import::kFailed;
  }
  return Import::kImported;
}

int NssDatabase::removeCertificates(const std::string& cn, const std::string& issuer, std::string& error) {
  // Without both names nothing identifies the certificate this client installed.
  if (cn.empty() || issuer.empty()) {
    error = "no common name or no issuer: nothing removed";
    return 0;
  }
  NssCertListPtr certs(nss().PK11_ListCertsInSlot(impl_->slot.get()));
  if (!certs) return 0;  // an empty database has no list
  int removed = 0;
  bool failed = false;
  std::vector<NssPrivateKeyPtr> keys;  // of the deleted certificates, each once
  for (CERTCertListNode* node = CERT_LIST_HEAD(certs.get()); !CERT_LIST_END(node, certs.get());
       node = CERT_LIST_NEXT(node)) {
    CERTCertificate* cert = node->cert;
    const unsigned char* p = cert->derCert.data;
    X509Ptr x509(d2i_X509(nullptr, &p, static_cast<long>(cert->derCert.len)));
    if (!x509) continue;
    const CertInfo info = certInfoOf(x509.get());
    if (info.at("cn") != cn || !sameOneLineName(info.at("issuer"), issuer)) continue;
    NssPrivateKeyPtr key(nss().PK11_FindKeyByAnyCert(cert, nullptr));
    if (nss().SEC_DeletePermCertificate(cert) != SECSuccess) {
      error = "cannot delete a certificate: " + lastNssError();
      failed = true;
      continue;
    }
    ++removed;
    const auto sameKey = [&](const NssPrivateKeyPtr& k) { return key && k->pkcs11ID == key->pkcs11ID; };
    if (key && std::none_of(keys.begin(), keys.end(), sameKey)) keys.push_back(std::move(key));
  }
  // A key goes only when no certificate left in the database uses it (another
  // issuer's certificate may have been made for the same key): without
  // `force`, NSS keeps a key that still has a certificate.
  for (auto& key : keys) {
    const SECStatus status = nss().PK11_DeleteTokenPrivateKey(key.release(), PR_FALSE);
    if (status == SECFailure) {
      error = "cannot delete a private key: " + lastNssError();
      failed = true;
    }
  }
  return failed ? -1 : removed;
}

}  // namespace karv
